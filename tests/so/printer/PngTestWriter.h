// PNG files written for the image tests: chunks with their checksums and zlib streams of stored
// blocks, byte by byte, so that a test can damage any part of a file on purpose.
#pragma once

#include <libdeflate.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace QVO::Printer::Image::TestPng {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

inline void Chunk(Bytes& png, const char* type, const Bytes& data, bool badCrc = false) {
    Put32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put32(png, libdeflate_crc32(0, &png[start], png.size() - start) ^ (badCrc ? 1u : 0u));
}

// A zlib stream of stored (uncompressed) blocks: enough for a decoder to inflate.
inline Bytes Stored(const Bytes& raw) {
    Bytes z = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
    Put32(z, libdeflate_adler32(1, raw.data(), raw.size()));
    return z;
}

}  // namespace QVO::Printer::Image::TestPng
