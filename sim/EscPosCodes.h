// Byte values of the ESC/POS commands the virtual printer decodes and of the replies it sends.
#pragma once

#include <cstdint>

namespace QVO::Sim::EscPos {

// Control bytes and command introducers.
constexpr uint8_t NUL = 0x00, EOT = 0x04, ENQ = 0x05, HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D;
constexpr uint8_t DLE = 0x10, DC4 = 0x14, CAN = 0x18, ESC = 0x1B, FS = 0x1C, GS = 0x1D;
constexpr uint8_t kFirstPrintable = 0x20;

// Many selectors come as a binary number or as its ASCII digit (1 or '1'): both mean n.
constexpr int SelectorValue(int n) { return n >= '0' ? n - '0' : n; }
// On/off parameters (ESC E n, GS B n, ...): only the lowest bit counts.
constexpr bool SwitchedOn(int n) { return (n & 1) != 0; }

// ESC ! n: print mode bits.
namespace PrintModeBits {
constexpr int kFontB = 0x01, kEmphasized = 0x08, kDoubleHeight = 0x10, kDoubleWidth = 0x20;
constexpr int kUnderline = 0x80;
}  // namespace PrintModeBits

// Scale selectors of GS v 0 m, GS / m and FS p n m (after SelectorValue).
namespace ScaleBits {
constexpr int kDoubleWidth = 0x01, kDoubleHeight = 0x02;
}  // namespace ScaleBits

// ESC * m: bit-image density.
namespace BitImageMode {
constexpr int kSingle8 = 0, kDouble8 = 1, kSingle24 = 32, kDouble24 = 33;
}  // namespace BitImageMode

// GS V m: cut shapes; the first group cuts fully, and some forms carry a feed amount.
namespace CutMode {
constexpr int kFull = 0, kFullAscii = '0', kFullFeed = 65, kPartialFeed = 66;
constexpr int kFullFeedAtPosition = 97, kPartialFeedAtPosition = 98;
constexpr int kFullFeedAndReverse = 103, kPartialFeedAndReverse = 104;
}  // namespace CutMode

// GS ( L and GS 8 L: the function byte fn after m. The binary forms 0, 2, 3 select the
// same functions as 48, 50, 51.
namespace GraphicsFn {
constexpr int kNvCapacity = 48, kPrintBuffer = 50, kBufferCapacity = 51;
constexpr int kNvListKeys = 64, kNvDeleteAll = 65, kNvDelete = 66, kNvDefineRaster = 67, kNvPrint = 69;
constexpr int kStoreRaster = 112, kStoreColumn = 113;
constexpr int kLastBinaryForm = 3;
}  // namespace GraphicsFn

// GS ( k cn fn: cn selects the symbol, fn the function.
namespace Symbol {
constexpr int kPdf417 = 48, kQr = 49;
constexpr int kPdf417Columns = 65, kPdf417Rows = 66, kPdf417ModuleWidth = 67, kPdf417RowHeight = 68;
constexpr int kPdf417ErrorLevel = 69, kPdf417Options = 70;
constexpr int kQrModel = 65, kQrModuleSize = 67, kQrErrorLevel = 69;
constexpr int kStore = 80, kPrint = 81, kSize = 82;  // the same for every symbol
constexpr int kPdf417Truncated = 1;                  // kPdf417Options value
}  // namespace Symbol

// DLE DC4 fn: real-time functions.
namespace RealTimeFn {
constexpr int kPulse = 1, kPowerOff = 2, kBuzzer = 7, kClearBuffers = 8;
constexpr int kLastPulsePin = 1;  // a pin byte above this is the short pulse form
}  // namespace RealTimeFn

// DLE EOT n: which status byte the host asks for.
namespace RealTimeStatus {
constexpr int kPrinter = 1, kOfflineCause = 2, kErrorCause = 3, kPaperSensor = 4;
}  // namespace RealTimeStatus

// The real-time status answers. Every one carries the fixed bits.
namespace RealTimeStatusBits {
constexpr uint8_t kFixed = 0x12;              // bits 1 and 4
constexpr uint8_t kDrawerLevel = 0x04;        // n = 1: drawer connector pin 3 high
constexpr uint8_t kOffline = 0x08;            // n = 1
constexpr uint8_t kCoverOpen = 0x04;          // n = 2
constexpr uint8_t kStoppedByPaperEnd = 0x20;  // n = 2
constexpr uint8_t kNearEnd = 0x0C;            // n = 4: both near-end sensor bits
constexpr uint8_t kPaperEnd = 0x60;           // n = 4: both paper-end sensor bits
}  // namespace RealTimeStatusBits

// GS r n: transmit status, and its answer bits.
namespace TransmitStatus {
constexpr int kPaperSensor = 1, kDrawer = 2;                  // or '1', '2'
constexpr uint8_t kNearEndBits = 0x03, kPaperEndBits = 0x0C;  // n = 1
constexpr uint8_t kDrawerLevelBit = 0x01;                     // n = 2
}  // namespace TransmitStatus

// GS a n: the kinds of change that send an automatic status block.
namespace AsbEnable {
constexpr int kDrawer = 0x01, kOnline = 0x02, kPaper = 0x08;
}  // namespace AsbEnable

// The four-byte automatic status block.
namespace AsbBits {
constexpr uint8_t kFixed0 = 0x10;  // byte 0, bit 4
constexpr uint8_t kDrawerLevel0 = 0x04, kOffline0 = 0x08, kCoverOpen0 = 0x20;
constexpr uint8_t kNearEnd2 = 0x03, kPaperEnd2 = 0x0C;  // byte 2
}  // namespace AsbBits

// GS I n: printer information.
namespace PrinterInfo {
constexpr int kModelId = 1, kTypeId = 2, kRomVersion = 3;  // or '1', '2', '3'
constexpr int kFirmware = 65, kMaker = 66, kModelName = 67, kSerial = 68, kFontLanguage = 69;
constexpr uint8_t kTypeMultiByte = 0x01, kTypeCutter = 0x02;  // type ID bits
constexpr uint8_t kTextHeader = '_';                          // text answers: "_" text NUL
}  // namespace PrinterInfo

// GS ( H fn m d1..d4: process-ID request, answered "37 22 d1..d4 00".
namespace ProcessId {
constexpr int kFunction = 48, kMode = 48;
constexpr size_t kIdBytes = 4;
constexpr uint8_t kLowest = 0x20, kHighest = 0x7E;  // each ID byte
constexpr uint8_t kAnswerHeader0 = 0x37, kAnswerHeader1 = 0x22, kAnswerEnd = 0x00;
}  // namespace ProcessId

// GS g n: maintenance counters.
namespace Maintenance {
constexpr int kTransmitCounter = '2';
}  // namespace Maintenance

}  // namespace QVO::Sim::EscPos
