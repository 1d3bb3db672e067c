// Working state the engine keeps between calls for two of its concerns: the stored-bitmap
// slots and the runs of text printed through several code tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer {

// One stored-bitmap slot: the commands that print it (the raster, or the short command for
// the image downloaded into the printer) and what it was stored with.
struct BitmapSlot {
    PrinterBuffer command;
    int32_t width = 0;
    int32_t height = 0;
    int32_t alignment = 0;  // as SetBitmap was given it (MapMode units or a code)
    int32_t station = 0;
    std::wstring fileName;
    uint8_t mark = 0xFF;  // number - 1 while the slot holds a bitmap
    bool downloaded = false;
};
inline constexpr int32_t kBitmapSlotCount = 20;
inline constexpr uint8_t kNoBitmap = 0xFF;

// Text going out in runs, each in one code table of the model.
struct UnicodeRuns {
    bool active = false;
    char32_t partial = 0;        // the character being collected
    int32_t missing = 0;         // continuation bytes still to come
    int32_t page = 0;            // the code page switched to; 0: the CharacterSet's selection
    std::vector<int32_t> pages;  // the model's pages a character may go out in, best first
};

}  // namespace QVO::Printer
