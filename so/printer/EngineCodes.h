// The engine's own result codes, drawer status values and client mode bits, shared by the
// engine, the service object's COM class and the tests.
#pragma once

#include <cstdint>

namespace QVO::Printer {

// Result codes the engine sets beyond the standard ones (travel as ResultCodeExtended).
inline constexpr int32_t kExtCoverOpen = 201;
inline constexpr int32_t kExtReceiptEmpty = 203;
inline constexpr int32_t kExtUnsupported = 300;
inline constexpr int32_t kExtStationNotReceipt = 301;
inline constexpr int32_t kExtOpenException = 306;
// The largest code that is a result code rather than an extended one.
inline constexpr int32_t kLargestResultCode = 200;

// Status-update values the engine reports for the drawer (its own numbering; the COM layer
// maps them for drawer clients).
inline constexpr int32_t kDrawerReportedClosed = 1;
inline constexpr int32_t kDrawerReportedOpen = 2;

// Which kinds of client are enabled on the engine (mode bits).
inline constexpr int32_t kPrinterMode = 0x01;
inline constexpr int32_t kCashDrawerMode = 0x02;

}  // namespace QVO::Printer
