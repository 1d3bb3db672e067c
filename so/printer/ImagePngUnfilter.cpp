// PNG row unfiltering: Up in 16-byte blocks; Sub, Average and Paeth on 3- and 4-byte pixels a
// pixel at a time in 16-bit vector lanes, branch-free; plain byte loops for 1- and 2-byte pixels.
#include "so/printer/ImagePngUnfilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace QVO::Printer::Image::Png {

namespace {

// GCC vector extensions (also understood by clang): SSE2 on x86-64, NEON on ARM, plain code
// elsewhere, from one source. A C-style cast between two of these reinterprets the bytes.
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));
using Words8 = int16_t __attribute__((vector_size(16)));
using Dwords2 = uint32_t __attribute__((vector_size(8)));

constexpr size_t kBlock = sizeof(Bytes16);
#if !defined(__SSE2__)
constexpr int kSignShift = 15;
#endif

void Up(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length) {
    size_t i = 0;
    for (; i + kBlock <= length; i += kBlock) {
        Bytes16 x;
        Bytes16 b;
        std::memcpy(&x, in + i, kBlock);
        std::memcpy(&b, prior + i, kBlock);
        x += b;
        std::memcpy(out + i, &x, kBlock);
    }
    for (; i < length; ++i) out[i] = uint8_t(in[i] + prior[i]);
}

// One pixel's bytes in the low 16-bit lanes, the other lanes zero. Exactly Bpp bytes are
// read and written: the last pixel of a buffer has nothing after it. The 3-byte pixel is
// put together in a register: a 3-byte copy through memory stalls the store forwarding.
template <size_t Bpp>
uint32_t LoadWord(const uint8_t* p) {
    uint32_t word = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (Bpp == 3) {
        uint16_t low = 0;
        std::memcpy(&low, p, sizeof low);
        return uint32_t(low) | uint32_t(p[2]) << 16;
    }
#endif
    std::memcpy(&word, p, Bpp);
    return word;
}

template <size_t Bpp>
void StoreWord(uint8_t* p, uint32_t word) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (Bpp == 3) {
        const uint16_t low = uint16_t(word);
        std::memcpy(p, &low, sizeof low);
        p[2] = uint8_t(word >> 16);
        return;
    }
#endif
    std::memcpy(p, &word, Bpp);
}

#if defined(__SSE2__)
// Two-instruction widening, narrowing and absolute value where SSE2 is there (all x86-64).
Words8 Widen(uint32_t word) { return (Words8)_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(word)), _mm_setzero_si128()); }

// The lanes hold 0 to 255 here: the saturation of the pack never applies.
uint32_t Narrow(Words8 v) { return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16((__m128i)v, (__m128i)v))); }

Words8 Abs(Words8 v) { return (Words8)_mm_max_epi16((__m128i)v, _mm_sub_epi16(_mm_setzero_si128(), (__m128i)v)); }
#else
Words8 Widen(uint32_t word) {
    const Dwords2 dwords = {word, 0};
    return __builtin_convertvector((Bytes8)dwords, Words8);
}

uint32_t Narrow(Words8 v) {
    const Bytes8 bytes = __builtin_convertvector(v, Bytes8);
    return ((Dwords2)bytes)[0];
}

Words8 Abs(Words8 v) {
    const Words8 sign = v >> kSignShift;
    return (v ^ sign) - sign;
}
#endif

template <size_t Bpp>
Words8 LoadPixel(const uint8_t* p) {
    return Widen(LoadWord<Bpp>(p));
}

template <size_t Bpp>
void StorePixel(uint8_t* p, Words8 v) {
    StoreWord<Bpp>(p, Narrow(v));
}

Words8 Select(Words8 mask, Words8 yes, Words8 no) { return (yes & mask) | (no & ~mask); }

// x + y modulo 256 in each lane, both holding 0 to 255: a byte add leaves the high bytes 0,
// one instruction where an add and a mask would be two on the pixel-to-pixel chain.
Words8 AddModulo256(Words8 x, Words8 y) { return (Words8)((Bytes16)x + (Bytes16)y); }

template <size_t Bpp>
void SubPixels(const uint8_t* in, uint8_t* out, size_t length) {
    Words8 a = {};
    for (size_t i = 0; i < length; i += Bpp) {
        a = AddModulo256(LoadPixel<Bpp>(in + i), a);
        StorePixel<Bpp>(out + i, a);
    }
}

template <size_t Bpp>
void AveragePixels(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length) {
    Words8 a = {};
    for (size_t i = 0; i < length; i += Bpp) {
        a = AddModulo256(LoadPixel<Bpp>(in + i), (a + LoadPixel<Bpp>(prior + i)) >> 1);
        StorePixel<Bpp>(out + i, a);
    }
}

// The predictor is the left (a), upper (b) or upper-left (c) byte, whichever is nearest to
// a + b - c, ties in that order: |p - a| = |b - c|, |p - b| = |a - c|, |p - c| = |a + b - 2c|.
// Written so that the chain through `a` from one pixel to the next stays short.
template <size_t Bpp>
void PaethPixels(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length) {
    Words8 a = {};
    Words8 c = {};
    for (size_t i = 0; i < length; i += Bpp) {
        const Words8 b = LoadPixel<Bpp>(prior + i);
        const Words8 x = LoadPixel<Bpp>(in + i);
        const Words8 fromC = b - c;
        const Words8 pa = Abs(fromC);
        const Words8 aFromC = a - c;
        const Words8 pb = Abs(aFromC);
        const Words8 pc = Abs(aFromC + fromC);
        const Words8 notA = (pa > pb) | (pa > pc);
        const Words8 predictor = Select(notA, Select(pb > pc, c, b), a);
        a = AddModulo256(x, predictor);
        StorePixel<Bpp>(out + i, a);
        c = b;
    }
}

// The byte-at-a-time forms for 1- and 2-byte pixels (grey, palette, grey with alpha).
void SubBytes(const uint8_t* in, uint8_t* out, size_t length, size_t bpp) {
    for (size_t i = 0; i < bpp; ++i) out[i] = in[i];
    for (size_t i = bpp; i < length; ++i) out[i] = uint8_t(in[i] + out[i - bpp]);
}

void AverageBytes(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length, size_t bpp) {
    for (size_t i = 0; i < bpp; ++i) out[i] = uint8_t(in[i] + (prior[i] >> 1));
    for (size_t i = bpp; i < length; ++i) out[i] = uint8_t(in[i] + ((out[i - bpp] + prior[i]) >> 1));
}

uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

void PaethBytes(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length, size_t bpp) {
    for (size_t i = 0; i < bpp; ++i) out[i] = uint8_t(in[i] + prior[i]);
    for (size_t i = bpp; i < length; ++i)
        out[i] = uint8_t(in[i] + PaethPredictor(out[i - bpp], prior[i], prior[i - bpp]));
}

template <size_t Bpp>
void PixelFilter(Filter filter, const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length) {
    if (filter == Filter::Sub) SubPixels<Bpp>(in, out, length);
    if (filter == Filter::Average) AveragePixels<Bpp>(in, prior, out, length);
    if (filter == Filter::Paeth) PaethPixels<Bpp>(in, prior, out, length);
}

void ByteFilter(Filter filter, const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length, size_t bpp) {
    if (filter == Filter::Sub) SubBytes(in, out, length, bpp);
    if (filter == Filter::Average) AverageBytes(in, prior, out, length, bpp);
    if (filter == Filter::Paeth) PaethBytes(in, prior, out, length, bpp);
}

constexpr size_t kRgb = 3;
constexpr size_t kRgba = 4;

}  // namespace

bool UnfilterRow(uint8_t filter, const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length,
                 size_t bytesPerPixel) {
    if (filter > uint8_t(Filter::Paeth) || bytesPerPixel < 1 || bytesPerPixel > kRgba) return false;
    const Filter kind = Filter(filter);
    if (kind == Filter::None) {
        if (out != in) std::memmove(out, in, length);
    } else if (kind == Filter::Up) {
        Up(in, prior, out, length);
    } else if (bytesPerPixel == kRgb) {
        PixelFilter<kRgb>(kind, in, prior, out, length);
    } else if (bytesPerPixel == kRgba) {
        PixelFilter<kRgba>(kind, in, prior, out, length);
    } else {
        ByteFilter(kind, in, prior, out, length, bytesPerPixel);
    }
    return true;
}

}  // namespace QVO::Printer::Image::Png
