// Undoing the per-row filters of PNG image data (None, Sub, Up, Average, Paeth).
#pragma once

#include <cstddef>
#include <cstdint>

namespace QVO::Printer::Image::Png {

// The filter byte that opens each row of the inflated image data; anything above Paeth is damage.
enum class Filter : uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Restores one row of `length` bytes (a whole number of pixels of `bytesPerPixel`, 1 to 4)
// from its filtered form `in` and the row above it, `prior`, already restored (all zeros for
// the first row). `out` may be `in` itself or start before it in the same buffer (rows
// compacted towards the start): every pixel is read before it is written. `prior` must not
// overlap either.
// False, with `out` unspecified, for a filter byte above Paeth or a pixel size outside 1 to 4.
// Stateless: safe from any thread.
bool UnfilterRow(uint8_t filter, const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t length,
                 size_t bytesPerPixel);

}  // namespace QVO::Printer::Image::Png
