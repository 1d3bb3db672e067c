// Feeds arbitrary host bytes to the virtual printer (decoder, state, paper) in two pieces,
// as either identity, and lays out the paper: nothing may crash, hang or read out of bounds.
#include "sim/VirtualPrinter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the identity and where the stream is split, so partial commands
    // at piece boundaries are exercised too.
    const bool framed = data[0] & 1;
    const size_t split = size > 1 ? (data[0] >> 1) % size : 0;
    ++data;
    --size;
    QVO::Sim::VirtualPrinter printer(QVO::Sim::PrinterIdentity::ForModel(framed ? "RX4270" : "TM-T88IV"));
    const size_t first = split < size ? split : size;
    printer.Receive(data, first);
    printer.Receive(data + first, size - first);
    printer.EndOfStream();
    printer.TakeAllReplies();
    printer.Picture();
    return 0;
}
