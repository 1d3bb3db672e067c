// Base command set: status requests, status reply parsers and status comparisons.
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdBytes.h"
#include "so/cmd/StatusBits.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {

using namespace CmdBytes;
using namespace QVO::Opos;

namespace {
namespace AutoStatus = StatusBits::AutoStatus;

// Status values for the flag bit of the second automatic status byte.
constexpr int32_t kStatusFlagCleared = 20;
constexpr int32_t kStatusFlagSet = 21;

bool PairSet(uint8_t value, uint8_t pair) { return (value & pair) == pair; }

// Copies the bits of mask from fresh into stored.
void TakeBits(uint8_t fresh, uint8_t& stored, uint8_t mask) {
    stored = static_cast<uint8_t>((stored & ~mask) | (fresh & mask));
}

int32_t ReceiptPaperUpdate(bool empty, bool nearEnd) {
    if (empty) return PTR_SUE_REC_EMPTY;
    return nearEnd ? PTR_SUE_REC_NEAREMPTY : PTR_SUE_REC_PAPEROK;
}
}  // namespace

void CCmdHelperBase::RequestRealTimeStatus(PrinterBuffer& target, int32_t n) { Put(target, {DLE, 0x04, Byte(n)}); }

void CCmdHelperBase::DrawerStatusCommand(std::span<uint8_t, 3> record) {
    record[0] = GS;
    record[1] = 'r';
    record[2] = 0x02;
}

void CCmdHelperBase::RequestStatus(PrinterBuffer& target, int32_t n) { Put(target, {GS, 'r', Byte(n)}); }

bool CCmdHelperBase::RealTimeRequest(PrinterBuffer& target, int32_t n) {
    if (n > 2) return false;
    Put(target, {DLE, 0x05, Byte(n)});
    return true;
}

void CCmdHelperBase::RealTimePulse(PrinterBuffer& target, int32_t, int32_t) { Put(target, {DLE, 0x14}); }
void CCmdHelperBase::RealTimeShortCommand(PrinterBuffer& target) { Put(target, {DLE, 0x14, 0x01, 0x08}); }

void CCmdHelperBase::ClearPrinterBuffers(PrinterBuffer& target) {
    Put(target, {DLE, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08});
}

void CCmdHelperBase::EnableAutoStatusBack(PrinterBuffer& target, int32_t n) { Put(target, {GS, 'a', Byte(n)}); }
void CCmdHelperBase::SetAutoStatusAll(PrinterBuffer& target, bool on) {
    Put(target, {GS, 'a', on ? uint8_t{0xFF} : uint8_t{0}});
}
void CCmdHelperBase::RequestPaperSensorStatus(PrinterBuffer& target) { RequestStatus(target, 1); }
void CCmdHelperBase::RequestDrawerStatus(PrinterBuffer& target) { RequestStatus(target, 2); }

// A block is ours only if byte 0 has its fixed bits (0x10 set, 0x01, 0x02, 0x80 clear) and
// bytes 1 to 3 have bits 4 and 7 clear; anything else is data from another conversation.
bool CCmdHelperBase::ParseAutoStatus(std::span<const uint8_t, 4> status, tagPrinterStatus* record) {
    if ((status[0] & AutoStatus::kFirstByteFixedMask) != AutoStatus::kFirstByteFixedValue) return false;
    for (size_t i = 1; i < 4; ++i)
        if ((status[i] & AutoStatus::kOtherBytesFixedMask) != 0) return false;
    if (record != nullptr) {
        const uint8_t paper = status[AutoStatus::kPaperByte];
        record->drawerSignal = status[0] & AutoStatus::kDrawerSignal;
        record->offline = status[0] & AutoStatus::kOffline;
        record->coverOpen = status[0] & AutoStatus::kCoverOpen;
        record->paperNearEnd = PairSet(paper, AutoStatus::kNearEnd) ? AutoStatus::kNearEnd : 0;
        record->paperEnd = PairSet(paper, AutoStatus::kPaperEnd) ? AutoStatus::kPaperEnd : 0;
    }
    return true;
}

namespace {
bool IsRealTimeReply(uint8_t reply) {
    return (reply & StatusBits::kRealTimeFixedMask) == StatusBits::kRealTimeFixedMask;
}
}  // namespace

bool CCmdHelperBase::ParsePrinterStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) {
        record->offline = reply & StatusBits::PrinterStatus::kOffline;
        record->drawerSignal = reply & StatusBits::PrinterStatus::kDrawerSignal;
    }
    return true;
}

bool CCmdHelperBase::ParseOfflineStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) record->coverOpen = reply & StatusBits::OfflineCause::kCoverOpen;
    return true;
}

bool CCmdHelperBase::ParsePaperStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) {
        record->paperNearEnd = reply & StatusBits::RollPaper::kNearEnd;
        record->paperEnd = reply & StatusBits::RollPaper::kPaperEnd;
    }
    return true;
}

// Transmit-status answers have no fixed bits to check, so every byte is taken.
bool CCmdHelperBase::ParsePaperSensorByte(uint8_t reply, tagPrinterStatus* record) {
    if (record != nullptr) {
        record->paperNearEnd = reply & StatusBits::PaperSensor::kNearEnd;
        record->paperEnd = reply & StatusBits::PaperSensor::kPaperEnd;
    }
    return true;
}

bool CCmdHelperBase::ParseDrawerByte(uint8_t reply, int32_t* drawerSignal) {
    if (drawerSignal != nullptr) *drawerSignal = reply & StatusBits::DrawerSensor::kDrawerSignal;
    return true;
}

int32_t CCmdHelperBase::CompareStatusFields(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored,
                                            int coverByte, int flagByte, int paperByte) {
    const uint8_t newCover = fresh[coverByte];
    if ((newCover ^ stored[coverByte]) & AutoStatus::kCoverOpen) {
        TakeBits(newCover, stored[coverByte], AutoStatus::kCoverOpen);
        return (newCover & AutoStatus::kCoverOpen) ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK;
    }
    if (flagByte >= 0 && ((fresh[flagByte] ^ stored[flagByte]) & AutoStatus::kReportedFlag)) {
        TakeBits(fresh[flagByte], stored[flagByte], AutoStatus::kReportedFlag);
        return (fresh[flagByte] & AutoStatus::kReportedFlag) ? kStatusFlagSet : kStatusFlagCleared;
    }
    const uint8_t newPaper = fresh[paperByte];
    uint8_t& oldPaper = stored[paperByte];
    for (const uint8_t pair : {AutoStatus::kPaperEnd, AutoStatus::kNearEnd}) {
        if (PairSet(newPaper, pair) != PairSet(oldPaper, pair)) {
            TakeBits(newPaper, oldPaper, pair);
            return ReceiptPaperUpdate(PairSet(oldPaper, AutoStatus::kPaperEnd),
                                      PairSet(oldPaper, AutoStatus::kNearEnd));
        }
    }
    return 0;
}

// One change per call, so a caller repeats until 0 to pick up every change of a block.
int32_t CCmdHelperBase::CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) {
    return CompareStatusFields(fresh, stored, AutoStatus::kCoverByte, AutoStatus::kFlagByte, AutoStatus::kPaperByte);
}

// The offline-cause byte reports the cover, the roll-paper byte near end and paper end. As
// with the block, one field changes per call; paper end is looked at before near end, and the
// value reported is the receipt state after the change.
int32_t CCmdHelperBase::CompareStatusByte(uint8_t fresh, uint8_t& stored, int32_t statusByteKind) {
    using StatusBits::OfflineCause::kCoverOpen;
    using StatusBits::RollPaper::kNearEnd;
    using StatusBits::RollPaper::kPaperEnd;
    if (statusByteKind == kStatusByteOfflineCause) {
        if (((fresh ^ stored) & kCoverOpen) == 0) return 0;
        TakeBits(fresh, stored, kCoverOpen);
        return (fresh & kCoverOpen) ? PTR_SUE_REC_COVER_OPEN : PTR_SUE_REC_COVER_OK;
    }
    if (statusByteKind != kStatusByteRollPaper) return 0;
    for (const uint8_t field : {kPaperEnd, kNearEnd}) {
        if (((fresh & field) != 0) != ((stored & field) != 0)) {
            TakeBits(fresh, stored, field);
            return ReceiptPaperUpdate((stored & kPaperEnd) != 0, (stored & kNearEnd) != 0);
        }
    }
    return 0;
}

// A changed drawer bit counts, except a change away from a clear previous bit when the caller
// is not interested in that direction.
bool CCmdHelperBase::DrawerBitChanged(uint8_t previous, uint8_t current, bool ignoreChangeFromClear) {
    constexpr uint8_t kDrawer = StatusBits::PrinterStatus::kDrawerSignal;
    if (((previous ^ current) & kDrawer) == 0) return false;
    return !((previous & kDrawer) == 0 && ignoreChangeFromClear);
}

bool CCmdHelperBase::TestDrawerBit(uint8_t status, bool expectSet) {
    const bool set = (status & StatusBits::PrinterStatus::kDrawerSignal) != 0;
    return expectSet ? set : !set;
}

}  // namespace QVO::Printer
