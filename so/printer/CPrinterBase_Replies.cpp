// CPrinterBase, timed reads of the printer's answers and the printer information read at claim.
#include <algorithm>
#include <chrono>
#include <thread>

#include "constants/OposConstants.h"
#include "platform/text/TextConv.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/CPrinterPort.h"

namespace QVO::Printer {

using namespace QVO::Opos;

namespace {
constexpr int32_t kReplyLockTimeoutMs = 10000;
constexpr int32_t kReplyTimeoutMs = 2000;
constexpr auto kMarkerReadPause = std::chrono::milliseconds(50);
constexpr auto kAfterRequest = std::chrono::milliseconds(50);
constexpr auto kBeforeRead = std::chrono::milliseconds(10);
// Reads that brought nothing stored before the loop gives up.
constexpr int32_t kEmptyReadsLimit = 7;
constexpr int32_t kPlainEmptyReadsLimit = 6;
// Printer-information answers: "_" text NUL.
constexpr uint8_t kInfoStart = 0x5F;
constexpr uint8_t kInfoEnd = 0x00;
constexpr int32_t kInfoMaxBytes = 64;
constexpr int32_t kInfoFirmware = 65;
constexpr int32_t kInfoMaker = 66;
constexpr int32_t kInfoModel = 67;
constexpr int32_t kInfoTypeId = 2;
constexpr uint8_t kTypeIdCutter = 0x02;
constexpr size_t kDeviceNameMaxChars = 29;
}  // namespace

// Bytes between a start and an end marker: bytes before the start marker are skipped, the
// markers themselves are not stored. 0 when at least one read succeeded, else OPOS_E_OFFLINE.
int32_t CPrinterBase::ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count,
                               int32_t timeoutMs, uint8_t startMarker, uint8_t endMarker) {
    if (!port_->TimedLock(kReplyLockTimeoutMs)) return OPOS_E_BUSY;
    PortLockHolder held(*port_, std::adopt_lock);
    *count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool started = false, ended = false, anyRead = false;
    for (int32_t reads = 0; !ended && std::chrono::steady_clock::now() < deadline; ++reads) {
        if (*count == 0 && reads >= kEmptyReadsLimit) break;
        int32_t got = 0;
        if (port_->ReadLocked(reply_.data(), 0, static_cast<int32_t>(reply_.size()), got, 0) != 0) anyRead = true;
        for (int32_t i = 0; i < got && !ended; ++i) {
            const uint8_t byte = reply_[static_cast<size_t>(i)];
            if (!started) {
                started = byte == startMarker;
            } else if (byte == endMarker) {
                ended = true;
            } else if (*count < maxLength) {
                destination[position + (*count)++] = byte;
            }
        }
        if (!ended) std::this_thread::sleep_for(kMarkerReadPause);
    }
    return anyRead ? OPOS_SUCCESS : OPOS_E_OFFLINE;
}

// The bytes of each read before the end marker, which ends the answer. 0 when at least one
// read succeeded, else OPOS_E_OFFLINE.
int32_t CPrinterBase::ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count,
                               int32_t timeoutMs, uint8_t endMarker) {
    if (!port_->TimedLock(kReplyLockTimeoutMs)) return OPOS_E_BUSY;
    PortLockHolder held(*port_, std::adopt_lock);
    *count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false, anyRead = false;
    for (int32_t reads = 0; !ended && std::chrono::steady_clock::now() < deadline; ++reads) {
        if (*count == 0 && reads >= kEmptyReadsLimit) break;
        std::this_thread::sleep_for(kBeforeRead);
        int32_t got = 0;
        if (port_->ReadLocked(reply_.data(), 0, static_cast<int32_t>(reply_.size()), got, 0) != 0) anyRead = true;
        for (int32_t i = 0; i < got && !ended; ++i) {
            const uint8_t byte = reply_[static_cast<size_t>(i)];
            if (byte == endMarker)
                ended = true;
            else if (*count < maxLength)
                destination[position + (*count)++] = byte;
        }
    }
    return anyRead ? OPOS_SUCCESS : OPOS_E_OFFLINE;
}

// Reads straight into the destination until maxLength bytes came or the deadline passed.
int32_t CPrinterBase::ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count,
                               int32_t timeoutMs) {
    if (!port_->TimedLock(kReplyLockTimeoutMs)) return OPOS_E_BUSY;
    PortLockHolder held(*port_, std::adopt_lock);
    *count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool anyRead = false;
    for (int32_t reads = 0; *count < maxLength && std::chrono::steady_clock::now() < deadline; ++reads) {
        if (*count == 0 && reads >= kPlainEmptyReadsLimit) break;
        int32_t got = 0;
        if (port_->ReadLocked(destination, position + *count, maxLength - *count, got, 1) != 0) anyRead = true;
        *count += std::max(got, 0);
    }
    return anyRead ? OPOS_SUCCESS : OPOS_E_OFFLINE;
}

int32_t CPrinterBase::SendAndReadString(PrinterBuffer& buffer, uint8_t* reply, int32_t maxLength, int32_t* count,
                                        uint8_t endMarker) {
    *count = 0;
    if (const int32_t sent = DirectSend(buffer, 0, 7); sent != OPOS_SUCCESS) return sent;
    std::this_thread::sleep_for(kAfterRequest);
    return ReadData(reply, 0, maxLength, count, kReplyTimeoutMs, endMarker);
}

int32_t CPrinterBase::SendAndReadString(PrinterBuffer& buffer, uint8_t* reply, int32_t maxLength, int32_t* count,
                                        uint8_t startMarker, uint8_t endMarker) {
    *count = 0;
    if (const int32_t sent = DirectSend(buffer, 0, 7); sent != OPOS_SUCCESS) return sent;
    std::this_thread::sleep_for(kAfterRequest);
    return ReadData(reply, 0, maxLength, count, kReplyTimeoutMs, startMarker, endMarker);
}

// Writes `buffer` and reads exactly `length` answer bytes into reply + offset.
int32_t CPrinterBase::SendAndReadData(PrinterBuffer& buffer, uint8_t* reply, int32_t offset, int32_t length,
                                      int32_t* count) {
    if (!port_->TimedLock(kReplyLockTimeoutMs)) return OPOS_E_BUSY;
    PortLockHolder held(*port_, std::adopt_lock);
    set_printerSettings(buffer);
    if (port_->WriteLocked(buffer.Data(), 0, static_cast<int32_t>(buffer.Size())) == 0) return OPOS_E_OFFLINE;
    if (length <= 0) return OPOS_E_OFFLINE;
    std::this_thread::sleep_for(kBeforeRead);
    int32_t got = 0;
    const int32_t ok = port_->ReadLocked(reply, offset, length, got, 1);
    if (count != nullptr) *count = got;
    return ok != 0 ? OPOS_SUCCESS : OPOS_E_OFFLINE;
}

// One printer-information text: the request (with the printer selected in front when asked),
// then the answer between "_" and NUL.
int32_t CPrinterBase::ReadPrinterInfoText(int32_t request, bool selectFirst, std::string& text) {
    if (selectFirst) cmd_->SelectPeripheral(control_, true);
    cmd_->RequestPrinterId(control_, request);
    if (int32_t error = SendControl(control_); error != 0) return error;
    std::this_thread::sleep_for(kAfterRequest);
    uint8_t answer[kInfoMaxBytes] = {};
    int32_t count = 0;
    if (int32_t error = ReadData(answer, 0, kInfoMaxBytes, &count, kReplyTimeoutMs, kInfoStart, kInfoEnd); error != 0)
        return error;
    text.assign(reinterpret_cast<const char*>(answer), static_cast<size_t>(count));
    return OPOS_SUCCESS;
}

int32_t CPrinterBase::RefreshPrinterInfo() {
    std::string firmware, maker, model;
    if (int32_t error = ReadPrinterInfoText(kInfoFirmware, false, firmware); error != 0) return error;
    firmwareText_ = Platform::Text::AnsiToWide(firmware);
    if (int32_t error = ReadPrinterInfoText(kInfoMaker, false, maker); error != 0) return error;
    makerText_ = Platform::Text::AnsiToWide(maker);
    if (int32_t error = ReadPrinterInfoText(kInfoModel, true, model); error != 0) return error;
    deviceName_ = Platform::Text::AnsiToWide(model).substr(0, kDeviceNameMaxChars);
    PrinterBuffer typeRequest;
    cmd_->SelectPeripheral(typeRequest, true);
    cmd_->RequestPrinterId(typeRequest, kInfoTypeId);
    uint8_t typeId = 0;
    int32_t count = 0;
    if (int32_t error = SendAndReadData(typeRequest, &typeId, 0, 1, &count); error != 0) return error;
    parameters_.capRecPapercut = (typeId & kTypeIdCutter) != 0;
    return OPOS_SUCCESS;
}

}  // namespace QVO::Printer
