// Feeds arbitrary host bytes to the virtual printer and lays out its paper: text, images,
// barcodes, symbols and pages must never crash, hang or write outside the picture. The
// paper is narrow and short so that one input costs little.
#include "sim/VirtualPrinter.h"

#include <cstddef>
#include <cstdint>

using QVO::Sim::PrinterIdentity;
using QVO::Sim::VirtualPrinter;

namespace {

constexpr int kWidthDots = 96;
constexpr int kRollRows = 256;
constexpr int kPageSide = 128;

PrinterIdentity SmallPaper(const char* model) {
    PrinterIdentity identity = PrinterIdentity::ForModel(model);
    identity.printWidthDots = kWidthDots;
    identity.paperMm = kWidthDots * identity.dotMm;
    identity.maxRollRows = kRollRows;
    identity.maxPageSide = kPageSide;
    return identity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the identity and where the stream is split, as in the stream target.
    const bool framed = data[0] & 1;
    const size_t split = (data[0] >> 1) % size;
    ++data;
    --size;
    VirtualPrinter printer(SmallPaper(framed ? "RX4270" : "TM-T88IV"));
    const size_t first = split < size ? split : size;
    printer.Receive(data, first);
    printer.Receive(data + first, size - first);
    printer.EndOfStream();
    printer.Picture();
    return 0;
}
