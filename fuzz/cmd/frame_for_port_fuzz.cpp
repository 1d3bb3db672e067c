// Frames arbitrary data into packets, unpacks it again and checks that nothing was lost,
// reordered or mis-checked; the buffer's growth settings come from the input too.
#include <cstdint>
#include <cstdlib>

#include "so/cmd/CmdHelper_RX4270.h"
#include "so/cmd/PrinterBuffer.h"

using QVO::Printer::CmdHelper_RX4270;
using QVO::Printer::PrinterBuffer;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Walks the packets and appends their data to out; checks each packet's frame and check byte.
void Unframe(const PrinterBuffer& framed, PrinterBuffer& out) {
    size_t pos = 0;
    while (pos < framed.Size()) {
        Check(framed.Size() - pos >= 4);
        Check(framed[pos] == CmdHelper_RX4270::kPacketStart);
        const size_t length = framed[pos + 1];
        Check(length >= 1 && length <= CmdHelper_RX4270::kMaxChunk);
        Check(pos + length + 4 <= framed.Size());
        uint8_t check = 0;
        for (size_t i = 0; i < length; ++i) check ^= framed[pos + 2 + i];
        Check(framed[pos + 2 + length] == check);
        Check(framed[pos + 3 + length] == CmdHelper_RX4270::kPacketEnd);
        // Every packet but the last is full.
        Check(pos + length + 4 == framed.Size() || length == CmdHelper_RX4270::kMaxChunk);
        Check(out.Append(framed.Data() + pos + 2, length));
        pos += length + 4;
    }
}

// Every byte after the content is zero and there is at least one, once a block exists.
bool TrailingZeros(const PrinterBuffer& buffer) {
    const auto block = buffer.Block();
    if (block.empty()) return buffer.IsEmpty();  // never allocated
    if (buffer.Size() >= block.size()) return false;
    for (size_t i = buffer.Size(); i < block.size(); ++i)
        if (block[i] != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t capacity = data[0];
    const int32_t step = data[1] % 64;
    data += 2;
    size -= 2;

    PrinterBuffer source(capacity, step);
    for (size_t i = 0; i < size; ++i) {
        // Mix single-byte and run appends so both growth rules are exercised.
        if (i % 3 == 0) {
            Check(source.Append(data[i]));
        } else {
            const size_t run = std::min<size_t>(size - i, 5);
            Check(source.Append(data + i, run));
            i += run - 1;
        }
        Check(TrailingZeros(source));
    }
    Check(source.Size() == size);

    CmdHelper_RX4270 helper;
    PrinterBuffer framed(capacity, step);
    helper.FrameForPort(framed, source);
    Check(TrailingZeros(framed));
    const size_t packets = (size + CmdHelper_RX4270::kMaxChunk - 1) / CmdHelper_RX4270::kMaxChunk;
    Check(framed.Size() == size + 4 * packets);

    PrinterBuffer unpacked(capacity, step);
    Unframe(framed, unpacked);
    Check(unpacked.Size() == size);
    for (size_t i = 0; i < size; ++i) Check(unpacked[i] == data[i]);

    // Putting the data back in front of itself must keep both copies intact.
    Check(unpacked.Insert(0, source.Begin(), source.End()));
    Check(unpacked.Size() == 2 * size && TrailingZeros(unpacked));
    for (size_t i = 0; i < size; ++i) Check(unpacked[i] == data[i] && unpacked[size + i] == data[i]);
    return 0;
}
