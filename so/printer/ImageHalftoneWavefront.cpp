// Grey values four pixels at a time and error diffusion sixteen raster rows at a time in 16-bit
// vector lanes (SSE2, the x86-64 baseline); elsewhere only the plain grey row, and the caller
// takes the portable two-row path. The bytes are those of the portable path in every case.
#include "so/printer/ImageHalftoneKernels.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace QVO::Printer::Image::Kernels {

#ifndef __SSE2__

void GreyRow(const uint8_t* base, const uint32_t* offsets, size_t n, const uint8_t*, uint8_t* out) {
    for (size_t x = 0; x < n; ++x) out[x] = static_cast<uint8_t>(FastGrey(base + (offsets ? offsets[x] : x * kRgb)));
}

bool HalftoneWavefront(const RgbImage&, float, size_t, int32_t, uint8_t*, size_t) { return false; }

#else

namespace {

// ---- Grey values --------------------------------------------------------------------------
// S = 29891 r + 58661 g + 11448 b exactly, with pmaddwd (16-bit pairs multiplied and each pair
// added into 32 bits). Green's weight is beyond a signed 16-bit factor: green goes in twice,
// with the two halves of its weight.
constexpr int32_t kGreenLow = kShareGreen / 2;
constexpr int32_t kGreenHigh = kShareGreen - kGreenLow;
constexpr int32_t kPairShift = 16;
constexpr int32_t kByte = 0xFF;
constexpr int32_t kBitsPerByte = 8;
// S / 100000 rounded down is (S / 32) / 3125 rounded down. S / 32 < 2^20 is exact in a float,
// and its product with the float just above 1/3125 truncates to the right quotient for every
// such value: never short at a multiple of 3125 (the factor is not below 1/3125 and rounding
// is monotonic), never up to the next quotient (at least 1/3125 away, far beyond a float's
// rounding near 256).
constexpr int kQuotientShift = 5;
constexpr int32_t kQuotientDivisor = kShareScale >> kQuotientShift;
static_assert(kQuotientDivisor << kQuotientShift == kShareScale);

constexpr float ReciprocalNotBelow(float divisor) {
    const float r = 1.0f / divisor;
    return static_cast<double>(r) * static_cast<double>(divisor) < 1.0
               ? std::bit_cast<float>(std::bit_cast<uint32_t>(r) + 1)  // the next float up
               : r;
}
constexpr float kReciprocal = ReciprocalNotBelow(static_cast<float>(kQuotientDivisor));

// Four pixels' grey values in 32-bit lanes, from their bytes R, G, B and one more (ignored).
// `nearWhole` gets all ones in the lanes whose S lies within kNearWholeGap below a multiple
// of 100000: there the float formula decides.
inline __m128i GreyFour(__m128i pixels, __m128i& nearWhole) {
    const __m128i redBlue = _mm_and_si128(pixels, _mm_set1_epi32(kByte | kByte << kPairShift));
    const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, kBitsPerByte), _mm_set1_epi32(kByte));
    const __m128i greenTwice = _mm_or_si128(green, _mm_slli_epi32(green, kPairShift));
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(redBlue, _mm_set1_epi32(kShareRed | kShareBlue << kPairShift)),
                                      _mm_madd_epi16(greenTwice, _mm_set1_epi32(kGreenLow | kGreenHigh << kPairShift)));
    const __m128 scaled = _mm_cvtepi32_ps(_mm_srli_epi32(sum, kQuotientShift));
    const __m128i quotient = _mm_cvttps_epi32(_mm_mul_ps(scaled, _mm_set1_ps(kReciprocal)));
    // quotient x 100000 as (quotient x 3125) x 32; the quotient fits the low 16 bits of its lane.
    const __m128i whole = _mm_slli_epi32(_mm_madd_epi16(quotient, _mm_set1_epi32(kQuotientDivisor)), kQuotientShift);
    nearWhole = _mm_cmpgt_epi32(_mm_sub_epi32(sum, whole), _mm_set1_epi32(kShareScale - kNearWholeGap - 1));
    return quotient;
}

constexpr size_t kGreyGroup = 8;
constexpr size_t kWord = sizeof(uint32_t);

// Four bytes from each of four pixels (R, G, B and one more) as the lanes: loads straight into
// vector registers, the arithmetic units being what the grey values keep busy.
inline __m128i FourPixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, const uint8_t* p3) {
    const auto word = [](const uint8_t* p) {
        uint32_t w;
        std::memcpy(&w, p, kWord);
        return _mm_cvtsi32_si128(static_cast<int32_t>(w));
    };
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(word(p0), word(p1)), _mm_unpacklo_epi32(word(p2), word(p3)));
}

// Without offsets the pixels lie one after the other from `base`.
template <bool kAdjacent>
void GreyRowOf(const uint8_t* base, const uint32_t* offsets, size_t n, const uint8_t* end, uint8_t* out) {
    const auto at = [&](size_t x) { return kAdjacent ? base + x * kRgb : base + offsets[x]; };
    // A pixel's read takes a byte beyond it: the pixels whose read would pass `end` go one at
    // a time (without offsets, every pixel but the last of the memory is safe).
    size_t safe = n;
    while (safe > 0 && static_cast<size_t>(end - at(safe - 1)) < kWord) --safe;
    size_t x = 0;
    for (; x + kGreyGroup <= safe; x += kGreyGroup) {
        __m128i nearLow, nearHigh;
        const __m128i low = GreyFour(FourPixels(at(x), at(x + 1), at(x + 2), at(x + 3)), nearLow);
        const __m128i high = GreyFour(FourPixels(at(x + 4), at(x + 5), at(x + 6), at(x + 7)), nearHigh);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x),
                         _mm_packus_epi16(_mm_packs_epi32(low, high), _mm_setzero_si128()));
        if (_mm_movemask_epi8(_mm_or_si128(nearLow, nearHigh)) != 0) [[unlikely]]
            for (size_t k = x; k < x + kGreyGroup; ++k) out[k] = static_cast<uint8_t>(FastGrey(at(k)));
    }
    for (; x < n; ++x) out[x] = static_cast<uint8_t>(FastGrey(at(x)));
}

// ---- Error diffusion ----------------------------------------------------------------------
// Sixteen rows run at once, in two vectors of eight 16-bit lanes, row r in lane r % 8 of vector
// r / 8, each row kLagDots dots behind the one above (as in the two-row path): at step t row r
// works column t - 2r. What a row finishes for the row below at one step is what the row below
// reads at the next, one lane over (from the last lane of the first vector to the first lane
// of the second); the last row's terms go to the error row, which the first row of the next
// sixteen reads. The two vectors' chains from one dot to the next are independent within a
// step, so the processor runs them side by side (the halftoning takes about 15% less time than
// with one vector; three or four gain nothing more).
//
// 16-bit lanes suffice: a dot's error e is v (black, v < 128) or v - 255 (white) with
// v = grey + (terms >> 4), and the terms are earlier errors weighted 7 + 3 + 1 from above and 5
// from the left, 16 in all, so terms >> 4 lies between the smallest and the largest of them.
// Starting from 0, every e therefore stays in -127..127, the terms in +-2032 (16 x 127) and
// v in -127..382, far inside +-32767.
constexpr size_t kLanes = 8;
constexpr size_t kVectors = 2;
constexpr size_t kRows = kLanes * kVectors;  // raster rows a band
constexpr size_t kLagDots = 2;
constexpr size_t kSkew = kLagDots * (kRows - 1);  // the last row's delay in steps
constexpr size_t kBlock = 8;                      // steps whose grey values are transposed at once
constexpr size_t kErrorLead = kSkew + 2;          // spare slots before the error row (see OneStep)
// The widest row the lanes take: the columns of the edge blocks (up to the width + 40) must fit
// a 16-bit lane. Wider rows (only by enlarging) take the portable path.
constexpr size_t kMaxWidth = static_cast<size_t>(kMaxSide);
constexpr int kLaneBytes = 2;
constexpr int kLastLaneBytes = kLaneBytes * (kLanes - 1);

size_t RoundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

// The diffusion state of eight rows, a lane each. After a row's dot at column x the row below
// is owed 3e(x-1) + 7e(x) at x, which e(x+1) completes; `owed` holds that for the last step
// and `owedBefore` for the one before, whose term the last error completed.
struct Lanes {
    __m128i error = _mm_setzero_si128();       // e at the last step
    __m128i triple = _mm_setzero_si128();      // 3e at the last step
    __m128i owed = _mm_setzero_si128();        // 7e at the last step + 3e at the one before
    __m128i owedBefore = _mm_setzero_si128();  // `owed` one step earlier
};

// One dot in every lane; returns all ones in the lanes whose dot is black. `fromAbove` holds,
// in the first lane, the terms the row above that lane finished for it. In edge blocks
// `active` clears the lanes outside the picture, so that their error is 0: before its first
// column a row's state stays empty, and after its last it passes on only what it owes.
// The terms a lane reads are the lane above's owedBefore + error (what that row finished for
// this one at the last step, shifted one lane over) and 5 x this row's last error; their sum
// is grouped so that the chain from one error to the next is as short as it can be.
// `finished` gets the terms the rows finished for the rows below at the last step.
template <bool kEdge>
inline __m128i Step(Lanes& s, __m128i grey, __m128i fromAbove, __m128i active, __m128i& finished) {
    // black when grey + (terms >> 4) < 128, that is when terms < 16 x (128 - grey).
    const __m128i limit =
        _mm_sub_epi16(_mm_set1_epi16(int16_t(kThreshold << kErrorShift)), _mm_slli_epi16(grey, kErrorShift));
    const __m128i early = _mm_add_epi16(_mm_slli_si128(s.owedBefore, kLaneBytes), fromAbove);
    const __m128i fourfold = _mm_slli_epi16(s.error, 2);
    const __m128i terms =
        _mm_add_epi16(_mm_add_epi16(early, fourfold), _mm_add_epi16(_mm_slli_si128(s.error, kLaneBytes), s.error));
    finished = _mm_add_epi16(s.owedBefore, s.error);
    __m128i black = _mm_cmpgt_epi16(limit, terms);
    const __m128i value = _mm_add_epi16(grey, _mm_srai_epi16(terms, kErrorShift));
    __m128i e = _mm_sub_epi16(value, _mm_andnot_si128(black, _mm_set1_epi16(int16_t(kWhite))));
    if constexpr (kEdge) {
        e = _mm_and_si128(e, active);
        black = _mm_and_si128(black, active);
    }
    // 7e and 3e by shifts: the multiplier would lengthen the chain.
    s.owedBefore = s.owed;
    s.owed = _mm_add_epi16(_mm_sub_epi16(_mm_slli_epi16(e, 3), e), s.triple);
    s.triple = _mm_add_epi16(_mm_slli_epi16(e, 1), e);
    s.error = e;
    static_assert(kWeightBelow == 7 && kWeightBelowRight == 3 && kWeightRight == 5);
    return black;
}

// Eight bytes of each of eight skewed grey rows at step t0, turned into steps: pairs[k] holds
// steps t0 + 2k and t0 + 2k + 1, eight rows each.
inline void Transpose(const uint8_t* rows, size_t pitch, size_t t0, __m128i pairs[kBlock / 2]) {
    __m128i a[kLanes];
    for (size_t r = 0; r < kLanes; ++r) a[r] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows + r * pitch + t0));
    const __m128i b0 = _mm_unpacklo_epi8(a[0], a[1]), b1 = _mm_unpacklo_epi8(a[2], a[3]);
    const __m128i b2 = _mm_unpacklo_epi8(a[4], a[5]), b3 = _mm_unpacklo_epi8(a[6], a[7]);
    const __m128i c0 = _mm_unpacklo_epi16(b0, b1), c1 = _mm_unpackhi_epi16(b0, b1);
    const __m128i c2 = _mm_unpacklo_epi16(b2, b3), c3 = _mm_unpackhi_epi16(b2, b3);
    pairs[0] = _mm_unpacklo_epi32(c0, c2);
    pairs[1] = _mm_unpackhi_epi32(c0, c2);
    pairs[2] = _mm_unpacklo_epi32(c1, c3);
    pairs[3] = _mm_unpackhi_epi32(c1, c3);
}

// The working memory of one halftoning: source columns, the sixteen grey rows (row r starting
// 2r bytes in, zeros around it), the error row between bands of sixteen rows, and for each
// vector one byte a step whose bit r is the dot of its row r.
class Wavefront {
public:
    Wavefront(const RgbImage& image, float scale, size_t n)
        : image_(image),
          scale_(scale),
          n_(n),
          steps_(n + kSkew + 2),
          pitch_(RoundUp(steps_, kBlock)),
          end_(image.rgb.get() + size_t(image.width) * size_t(image.height) * kRgb),
          offsets_(SourceOffsets(image.width, scale, n)),
          greys_(kRows * pitch_, 0),
          errors_(kErrorLead + pitch_, 0) {
        for (auto& m : masks_) m.assign(pitch_ + kSkew + kBlock, 0);
        for (size_t x = 0; x < n_; ++x) adjacent_ = adjacent_ && offsets_[x] == x * kRgb;
    }

    void Run(int32_t high, uint8_t* raster, size_t rowBytes) {
        for (int32_t top = 0; top < high; top += int32_t(kRows)) {
            const int32_t rows = std::min(int32_t(kRows), high - top);
            FillGreys(top, rows);
            Diffuse();
            Pack(top, rows, raster, rowBytes);
        }
    }

private:
    // Rows of the last band past the picture keep stale grey values: their lanes run, but
    // nothing reads what they leave and their dots are not packed.
    void FillGreys(int32_t top, int32_t rows) {
        for (int32_t r = 0; r < rows; ++r) {
            uint8_t* row = greys_.data() + size_t(r) * pitch_ + kLagDots * size_t(r);
            const int32_t sy = SourceIndex(top + r, scale_, image_.height);
            if (sy == lastSource_) {  // enlarged images repeat source rows
                std::memcpy(row, lastRow_, n_);
            } else {
                const uint8_t* source = image_.rgb.get() + size_t(sy) * size_t(image_.width) * kRgb;
                GreyRow(source, adjacent_ ? nullptr : offsets_.data(), n_, end_, row);
                lastSource_ = sy;
            }
            lastRow_ = row;
        }
    }

    void Diffuse() {
        Lanes lanes[kVectors];
        for (size_t t0 = 0; t0 < steps_; t0 += kBlock) {
            __m128i pairs[kVectors][kBlock / 2];
            for (size_t v = 0; v < kVectors; ++v) Transpose(greys_.data() + v * kLanes * pitch_, pitch_, t0, pairs[v]);
            if (t0 < kSkew || t0 + kBlock > n_)
                Block<true>(lanes, pairs, t0);
            else
                Block<false>(lanes, pairs, t0);
        }
    }

    template <bool kEdge>
    void Block(Lanes (&lanes)[kVectors], const __m128i (&pairs)[kVectors][kBlock / 2], size_t t0) {
        const __m128i zero = _mm_setzero_si128();
        // Each lane's column, t - 2r, and the width, for the edge blocks.
        static_assert(kLanes == 8 && kLagDots == 2);
        __m128i columns[kVectors];
        columns[0] = _mm_add_epi16(_mm_set1_epi16(int16_t(t0)), _mm_setr_epi16(0, -2, -4, -6, -8, -10, -12, -14));
        for (size_t v = 1; v < kVectors; ++v)
            columns[v] = _mm_sub_epi16(columns[v - 1], _mm_set1_epi16(int16_t(kLagDots * kLanes)));
        const __m128i width = _mm_set1_epi16(int16_t(n_));
#pragma GCC unroll 4
        for (size_t k = 0; k < kBlock / 2; ++k) {
            __m128i greys[kVectors];
            for (size_t v = 0; v < kVectors; ++v) greys[v] = _mm_unpacklo_epi8(pairs[v][k], zero);
            OneStep<kEdge>(lanes, greys, t0 + 2 * k, columns, width);
            for (size_t v = 0; v < kVectors; ++v) greys[v] = _mm_unpackhi_epi8(pairs[v][k], zero);
            OneStep<kEdge>(lanes, greys, t0 + 2 * k + 1, columns, width);
        }
    }

    template <bool kEdge>
    inline void OneStep(Lanes (&lanes)[kVectors], const __m128i (&greys)[kVectors], size_t t,
                        __m128i (&columns)[kVectors], __m128i width) {
        int16_t* errors = errors_.data() + kErrorLead;
        // The first row reads the error row; each vector's first row after it reads what the
        // vector before's last row finished.
        __m128i fromAbove = _mm_cvtsi32_si128(static_cast<uint16_t>(errors[t]));
        for (size_t v = 0; v < kVectors; ++v) {
            __m128i active = _mm_setzero_si128();
            if constexpr (kEdge) {
                active =
                    _mm_and_si128(_mm_cmpgt_epi16(columns[v], _mm_set1_epi16(-1)), _mm_cmpgt_epi16(width, columns[v]));
                columns[v] = _mm_add_epi16(columns[v], _mm_set1_epi16(1));
            }
            __m128i finished;
            const __m128i black = Step<kEdge>(lanes[v], greys[v], fromAbove, active, finished);
            fromAbove = _mm_srli_si128(finished, kLastLaneBytes);
            masks_[v][t] = static_cast<uint8_t>(_mm_movemask_epi8(_mm_packs_epi16(black, black)));
        }
        // At the last step the last row, at column t - kSkew - 1, finished the term of the
        // column before for the next band; the first row read that slot kSkew + 2 steps ago.
        // Before its first column it writes into the spare slots ahead of the row.
        errors[static_cast<ptrdiff_t>(t) - static_cast<ptrdiff_t>(kSkew + 2)] =
            static_cast<int16_t>(_mm_cvtsi128_si32(fromAbove));
    }

    // Row r's dot at column x is bit r % 8 of masks_[r / 8][x + 2r]: eight steps' bytes, shifted
    // and masked to one bit each, pack as the two-row path packs eight dot bytes.
    void Pack(int32_t top, int32_t rows, uint8_t* raster, size_t rowBytes) const {
        const size_t bytes = RoundUp(n_, kGranularity) / kGranularity;
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* masks = masks_[size_t(r) / kLanes].data() + kLagDots * size_t(r);
            const size_t bit = size_t(r) % kLanes;
            uint8_t* out = raster + size_t(top + r) * rowBytes;
            for (size_t i = 0; i < bytes; ++i) {
                uint64_t eight = 0;
                std::memcpy(&eight, masks + i * kGranularity, sizeof eight);
                out[i] = PackEight((eight >> bit) & kLowBitOfEachByte);
            }
        }
    }

    const RgbImage& image_;
    float scale_;
    size_t n_;
    size_t steps_;  // the last row finishes its last column's terms at step n + 30, written at n + 31
    size_t pitch_;
    const uint8_t* end_;
    std::vector<uint32_t> offsets_;
    bool adjacent_ = true;  // the columns are the source's own, one after the other
    std::vector<uint8_t> greys_;
    int32_t lastSource_ = -1;
    const uint8_t* lastRow_ = nullptr;
    std::vector<int16_t> errors_;
    std::array<std::vector<uint8_t>, kVectors> masks_;
};

}  // namespace

void GreyRow(const uint8_t* base, const uint32_t* offsets, size_t n, const uint8_t* end, uint8_t* out) {
    if (offsets == nullptr)
        GreyRowOf<true>(base, offsets, n, end, out);
    else
        GreyRowOf<false>(base, offsets, n, end, out);
}

bool HalftoneWavefront(const RgbImage& image, float scale, size_t wide, int32_t high, uint8_t* raster,
                       size_t rowBytes) {
    if (wide > kMaxWidth) return false;
    Wavefront(image, scale, wide).Run(high, raster, rowBytes);
    return true;
}

#endif

}  // namespace QVO::Printer::Image::Kernels
