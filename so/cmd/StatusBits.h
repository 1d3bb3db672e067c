// The bits of each status reply a printer sends back, named per reply.
#pragma once

#include <cstdint>

namespace QVO::Printer::StatusBits {

// Real-time replies (DLE EOT n) all carry bits 0x12 set, 0x81 clear.
constexpr uint8_t kRealTimeFixedMask = 0x12;

// DLE EOT 1: printer status.
namespace PrinterStatus {
constexpr uint8_t kDrawerSignal = 0x04;  // drawer kick-out connector pin 3
constexpr uint8_t kOffline = 0x08;
}  // namespace PrinterStatus

// DLE EOT 2: offline cause.
namespace OfflineCause {
constexpr uint8_t kCoverOpen = 0x04;
}  // namespace OfflineCause

// DLE EOT 4: roll paper sensors (each condition sets two bits).
namespace RollPaper {
constexpr uint8_t kNearEnd = 0x0C;
constexpr uint8_t kPaperEnd = 0x60;
}  // namespace RollPaper

// GS r 1: paper sensor status (transmit status; no fixed bits).
namespace PaperSensor {
constexpr uint8_t kNearEnd = 0x03;
constexpr uint8_t kPaperEnd = 0x0C;
}  // namespace PaperSensor

// GS r 2: drawer kick-out connector status.
namespace DrawerSensor {
constexpr uint8_t kDrawerSignal = 0x01;
}  // namespace DrawerSensor

// Automatic status back: four bytes; byte 0 has 0x10 set and 0x83 clear, bytes 1 to 3 have
// 0x90 clear.
namespace AutoStatus {
constexpr uint8_t kFirstByteFixedMask = 0x93;
constexpr uint8_t kFirstByteFixedValue = 0x10;
constexpr uint8_t kOtherBytesFixedMask = 0x90;
// byte 0
constexpr uint8_t kDrawerSignal = 0x04;
constexpr uint8_t kOffline = 0x08;
constexpr uint8_t kCoverOpen = 0x20;
// byte 1: the flag reported as its own status value when it changes
constexpr uint8_t kReportedFlag = 0x08;
// byte 2: paper sensors (each condition sets two bits)
constexpr uint8_t kNearEnd = 0x03;
constexpr uint8_t kPaperEnd = 0x0C;
constexpr int kCoverByte = 0;
constexpr int kFlagByte = 1;
constexpr int kPaperByte = 2;
}  // namespace AutoStatus

}  // namespace QVO::Printer::StatusBits
