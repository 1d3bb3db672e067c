// Feeds arbitrary host bytes to the virtual printer's decoder and state, without drawing:
// nothing may crash, hang or read out of bounds, and where the stream is cut into pieces
// must not change what the printer did.
#include "sim/VirtualPrinter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using QVO::Sim::PrinterIdentity;
using QVO::Sim::VirtualPrinter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the identity and where the stream is split, so partial commands
    // at piece boundaries are exercised too.
    const PrinterIdentity identity = PrinterIdentity::ForModel((data[0] & 1) ? "RX4270" : "TM-T88IV");
    const size_t split = (data[0] >> 1) % size;
    ++data;
    --size;
    const size_t first = split < size ? split : size;

    VirtualPrinter pieces(identity, VirtualPrinter::Rendering::Off);
    pieces.Receive(data, first);
    pieces.Receive(data + first, size - first);
    pieces.EndOfStream();

    VirtualPrinter whole(identity, VirtualPrinter::Rendering::Off);
    whole.Receive(data, size);
    whole.EndOfStream();

    if (pieces.Trace() != whole.Trace() || pieces.TakeAllReplies() != whole.TakeAllReplies()) std::abort();
    return 0;
}
