// Packet framing of the maker's model: every transmission travels in checksummed packets.
#include "so/cmd/CmdHelper_RX4270.h"
#include "so/cmd/CmdBytes.h"

namespace QVO::Printer {

using namespace CmdBytes;

void CmdHelper_RX4270::AppendPacket(PrinterBuffer& target, const uint8_t* chunk, size_t length) {
    uint8_t check = 0;
    for (size_t i = 0; i < length; ++i) check ^= chunk[i];
    Put(target, {kPacketStart, static_cast<uint8_t>(length)});
    target.Append(chunk, length);
    Put(target, {check, kPacketEnd});
}

// Chunks of at most kMaxChunk bytes in order; an empty source sends no packet at all.
void CmdHelper_RX4270::FrameForPort(PrinterBuffer& target, const PrinterBuffer& source) {
    if (&target == &source) {
        // Framing a buffer into itself would read what is being written; work from a copy.
        const PrinterBuffer copy(source);
        FrameForPort(target, copy);
        return;
    }
    const uint8_t* data = source.Data();
    for (size_t offset = 0; offset < source.Size(); offset += kMaxChunk)
        AppendPacket(target, data + offset, std::min(kMaxChunk, source.Size() - offset));
}

// The real-time request goes out as its own packet; the check byte is computed for every n.
void CmdHelper_RX4270::RequestRealTimeStatus(PrinterBuffer& target, int32_t n) {
    const uint8_t request[] = {DLE, 0x04, Byte(n)};
    AppendPacket(target, request, sizeof request);
}

}  // namespace QVO::Printer
