// OPOS POSPrinter constants that the command builders map to printer command values.
#pragma once

#include <cstdint>

namespace QVO::Printer::OposPtr {

// Character sets (CharacterSet property) that are not plain code page numbers.
inline constexpr int32_t PTR_CS_UNICODE = 997;
inline constexpr int32_t PTR_CS_ASCII = 998;
inline constexpr int32_t PTR_CS_ANSI = 999;

// Barcode symbologies.
inline constexpr int32_t PTR_BCS_UPCA = 101;
inline constexpr int32_t PTR_BCS_UPCE = 102;
inline constexpr int32_t PTR_BCS_JAN8 = 103;
inline constexpr int32_t PTR_BCS_EAN8 = 103;
inline constexpr int32_t PTR_BCS_JAN13 = 104;
inline constexpr int32_t PTR_BCS_EAN13 = 104;
inline constexpr int32_t PTR_BCS_TF = 105;
inline constexpr int32_t PTR_BCS_ITF = 106;
inline constexpr int32_t PTR_BCS_Codabar = 107;
inline constexpr int32_t PTR_BCS_Code39 = 108;
inline constexpr int32_t PTR_BCS_Code93 = 109;
inline constexpr int32_t PTR_BCS_Code128 = 110;
inline constexpr int32_t PTR_BCS_EAN128 = 120;
inline constexpr int32_t PTR_BCS_Code128_Parsed = 123;
inline constexpr int32_t PTR_BCS_RSS14 = 131;
inline constexpr int32_t PTR_BCS_RSS_EXPANDED = 132;
inline constexpr int32_t PTR_BCS_PDF417 = 201;
inline constexpr int32_t PTR_BCS_QRCODE = 204;

// Rotations.
inline constexpr int32_t PTR_RP_NORMAL = 0x0001;
inline constexpr int32_t PTR_RP_RIGHT90 = 0x0101;
inline constexpr int32_t PTR_RP_LEFT90 = 0x0102;
inline constexpr int32_t PTR_RP_ROTATE180 = 0x0103;

// Bitmap and barcode alignments.
inline constexpr int32_t PTR_BM_LEFT = -1;
inline constexpr int32_t PTR_BM_CENTER = -2;
inline constexpr int32_t PTR_BM_RIGHT = -3;
inline constexpr int32_t PTR_BC_LEFT = -1;
inline constexpr int32_t PTR_BC_CENTER = -2;
inline constexpr int32_t PTR_BC_RIGHT = -3;

// Human-readable text position of a barcode.
inline constexpr int32_t PTR_BC_TEXT_NONE = -11;
inline constexpr int32_t PTR_BC_TEXT_ABOVE = -12;
inline constexpr int32_t PTR_BC_TEXT_BELOW = -13;

// Status update values.
inline constexpr int32_t PTR_SUE_COVER_OPEN = 11;
inline constexpr int32_t PTR_SUE_COVER_OK = 12;
inline constexpr int32_t PTR_SUE_REC_EMPTY = 24;
inline constexpr int32_t PTR_SUE_REC_NEAREMPTY = 25;
inline constexpr int32_t PTR_SUE_REC_PAPEROK = 26;
inline constexpr int32_t PTR_SUE_REC_COVER_OPEN = 62;
inline constexpr int32_t PTR_SUE_REC_COVER_OK = 63;

}  // namespace QVO::Printer::OposPtr
