// Who the virtual printer is: its identity, and the table of model names it can play.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QVO::Sim {

// The kind of line a printer is reached over, as far as its back channel goes.
enum class LinkType { Serial, Parallel, Usb, Network, File };

// Who the printer says it is and how it is built. Copyable value.
struct PrinterIdentity {
    std::string modelName = "TM-T88IV";
    std::string maker = "QUVO";
    std::string firmware = "1.00";
    std::string serial = "QV0000001";
    bool framed = false;     // speaks the checksummed AA ... BB packets
    bool cutter = true;      // reported in the type ID; without one GS V only feeds
    bool multiByte = false;  // FS & switches to two-byte characters
    // Its parallel and USB printer-class interfaces carry no replies at all.
    bool outputOnlyOnPrinterPort = false;
    uint8_t modelId = 0x20;       // GS I 1
    uint8_t romVersionId = 0x40;  // GS I 3
    double dotMm = 0.141;         // horizontal dot pitch
    double unitMm = 0.0705;       // vertical motion unit
    int printWidthDots = 512;     // printable width
    double paperMm = 80.0;
    // Bounds of the picture, so that a runaway feed or page area cannot eat the machine's
    // memory (the renderer's fuzzer makes them small so that one input costs little).
    int maxRollRows = 100000;
    int maxPageSide = 4000;

    // Whether anything the printer answers reaches the host over `link`.
    bool AnswersOn(LinkType link) const;

    // The identity of a model in the table; none for a name it does not hold. Names compare
    // exactly, as the printers report them.
    static std::optional<PrinterIdentity> FindModel(const std::string& name);
    // The table's identity for a known name; any other name is an ESC/POS printer with the
    // common 80 mm geometry and a cutter, under that name.
    static PrinterIdentity ForModel(const std::string& name);
    // Every model name of the table, in table order.
    static std::vector<std::string> ModelNames();
    // The names grouped by build, one group per line, for a help text.
    static std::string ModelListText();
};

}  // namespace QVO::Sim
