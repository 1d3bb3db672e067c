// One decoded printer command: what the byte-stream decoder hands to the printer model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace QVO::Sim {

// What a command does, as the decoder recognised it from its bytes. The printer dispatches
// on it; OpName is the name the log shows. The first three are decoder outcomes.
enum class Op : uint8_t {
    Truncated,  // the stream ended before the command's selector was known
    Unknown,    // an introducer or selector this printer does not know: skipped
    Oversized,  // a length no real command has: decoding resumed after the introducer
    Text,
    // single control bytes
    HorizontalTab,
    LineFeed,
    FormFeed,
    CarriageReturn,
    Cancel,
    Nul,
    Control,
    // ESC
    PrintPage,
    CharSpacing,
    PrintModes,
    AbsolutePosition,
    UserChars,
    Underline,
    DefaultLineSpacing,
    LineSpacing,
    SelectPeripheral,
    CancelUserChar,
    Initialize,
    Emphasis,
    DoubleStrike,
    FeedUnits,
    PageMode,
    Font,
    InternationalSet,
    StandardMode,
    PageDirection,
    Rotate90,
    PageArea,
    RelativePosition,
    Justify,
    PanelSensors,
    FeedLines,
    CutFullLegacy,
    CutPartialLegacy,
    Pulse,
    Color,
    CodeTable,
    UpsideDown,
    BitImage,
    TabStops,
    Buzzer,
    Extended,  // ESC ( and GS ( forms without a function of their own here
    // GS
    CharSize,
    AbsoluteVerticalPosition,
    PrintDownloaded,
    Macro,
    Reverse,
    PrintDensity,
    HriPosition,
    PrinterInfo,
    LeftMargin,
    MotionUnits,
    PrintAreaWidth,
    RelativeVerticalPosition,
    ExecuteMacro,
    AsbEnable,
    Smoothing,
    HriFont,
    Maintenance,
    BarcodeHeight,
    TransmitStatus,
    ModuleWidth,
    TestPrint,
    UserSetup,
    PrintControl,
    CharacterColor,
    ProcessIdRequest,  // GS ( H: answered once everything before it was processed
    RasterImage,
    Barcode,
    DefineDownloaded,
    CutFull,
    CutPartial,
    LineSegments,
    CurvedText,
    // GS ( L and GS 8 L graphics functions
    Graphics,
    NvCapacity,
    PrintBufferGraphics,
    GraphicsCapacity,
    NvListKeys,
    NvDeleteAll,
    NvDelete,
    NvDefine,
    NvPrint,
    StoreBufferGraphics,
    StoreBufferGraphicsColumn,
    // GS ( k symbol functions
    Symbol,
    Pdf417Columns,
    Pdf417Rows,
    Pdf417ModuleWidth,
    Pdf417RowHeight,
    Pdf417ErrorLevel,
    Pdf417Options,
    Pdf417Store,
    Pdf417Print,
    Pdf417Size,
    QrModel,
    QrModuleSize,
    QrErrorLevel,
    QrStore,
    QrPrint,
    QrSize,
    // FS
    KanjiModes,
    KanjiOn,
    KanjiOff,
    KanjiUnderline,
    KanjiCode,
    KanjiSpacing,
    KanjiQuad,
    PrintNvImage,
    DefineNvImages,
    // DLE: real-time commands
    RealTimeStatus,
    RealTimeRequest,
    RealTimePulse,
    RealTimePowerOff,
    RealTimeBuzzer,
    RealTimeClearBuffers,
    RealTimeCommand,
};

// "justify", "qr_store", ...: the stable names of the JSON log.
const char* OpName(Op op);
// DLE commands act at once, even on an offline or deselected printer.
bool IsRealTime(Op op);

// A value type; copyable on purpose (tests keep lists of them).
struct Command {
    uint64_t offset = 0;        // stream offset of the first byte
    Op op = Op::Truncated;      // stays Truncated until the decoder knows the command
    std::string code;           // readable form of the introducer: "ESC a", "GS ( k", "text"
    std::vector<int> args;      // numeric parameters in command order
    std::vector<uint8_t> data;  // payload: text bytes, image rows, barcode data
    std::vector<uint8_t> raw;   // every byte of the command as received
    bool truncated = false;     // the stream ended inside it

    const char* name() const { return OpName(op); }
    // Not a command this printer knows: logged and skipped.
    bool unknown() const { return op == Op::Unknown || op == Op::Control || op == Op::Oversized; }
};

// The readable form used by traces: "ESC a 1", "text \"Total\"", "GS ( k (truncated)".
std::string TraceText(const Command& cmd);

}  // namespace QVO::Sim
