// Base command set: status requests, status reply parsers and status comparisons.
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdBytes.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {

using namespace CmdBytes;
using namespace QVO::Opos;

namespace {
constexpr uint8_t kDrawerBit = 0x04;
constexpr uint8_t kOfflineBit = 0x08;
constexpr uint8_t kCoverBit = 0x20;
constexpr uint8_t kNearEndPair = 0x03;
constexpr uint8_t kPaperEndPair = 0x0C;
// Values for the 0x08 flag of the second automatic status byte.
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
void CCmdHelperBase::SetAutoStatusAll(PrinterBuffer& target, bool on) { Put(target, {GS, 'a', on ? uint8_t{0xFF} : uint8_t{0}}); }
void CCmdHelperBase::RequestPaperSensorStatus(PrinterBuffer& target) { RequestStatus(target, 1); }
void CCmdHelperBase::RequestDrawerStatus(PrinterBuffer& target) { RequestStatus(target, 2); }

// A block is ours only if byte 0 has its fixed bits (0x10 set, 0x01, 0x02, 0x80 clear) and
// bytes 1 to 3 have bits 4 and 7 clear; anything else is data from another conversation.
bool CCmdHelperBase::ParseAutoStatus(std::span<const uint8_t, 4> status, tagPrinterStatus* record) {
    if ((status[0] & 0x93) != 0x10) return false;
    for (size_t i = 1; i < 4; ++i)
        if ((status[i] & 0x90) != 0) return false;
    if (record != nullptr) {
        record->drawerSignal = status[0] & kDrawerBit;
        record->offline = status[0] & kOfflineBit;
        record->coverOpen = status[0] & kCoverBit;
        record->paperNearEnd = PairSet(status[2], kNearEndPair) ? kNearEndPair : 0;
        record->paperEnd = PairSet(status[2], kPaperEndPair) ? kPaperEndPair : 0;
    }
    return true;
}

namespace {
bool IsRealTimeReply(uint8_t reply) { return (reply & 0x12) == 0x12; }
}  // namespace

bool CCmdHelperBase::ParsePrinterStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) {
        record->offline = reply & 0x08;
        record->drawerSignal = reply & 0x04;
    }
    return true;
}

bool CCmdHelperBase::ParseOfflineStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) record->coverOpen = reply & 0x04;
    return true;
}

bool CCmdHelperBase::ParsePaperStatusByte(uint8_t reply, tagPrinterStatus* record) {
    if (!IsRealTimeReply(reply)) return false;
    if (record != nullptr) {
        record->paperNearEnd = reply & 0x0C;
        record->paperEnd = reply & 0x60;
    }
    return true;
}

// Transmit-status answers have no fixed bits to check, so every byte is taken.
bool CCmdHelperBase::ParsePaperSensorByte(uint8_t reply, tagPrinterStatus* record) {
    if (record != nullptr) {
        record->paperNearEnd = reply & 0x03;
        record->paperEnd = reply & 0x0C;
    }
    return true;
}

bool CCmdHelperBase::ParseDrawerByte(uint8_t reply, int32_t* drawerSignal) {
    if (drawerSignal != nullptr) *drawerSignal = reply & 0x01;
    return true;
}

int32_t CCmdHelperBase::CompareStatusFields(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored,
                                           int coverByte, int flagByte, int paperByte) {
    const uint8_t newCover = fresh[coverByte];
    if ((newCover ^ stored[coverByte]) & kCoverBit) {
        TakeBits(newCover, stored[coverByte], kCoverBit);
        return (newCover & kCoverBit) ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK;
    }
    if (flagByte >= 0 && ((fresh[flagByte] ^ stored[flagByte]) & kOfflineBit)) {
        TakeBits(fresh[flagByte], stored[flagByte], kOfflineBit);
        return (fresh[flagByte] & kOfflineBit) ? kStatusFlagSet : kStatusFlagCleared;
    }
    const uint8_t newPaper = fresh[paperByte];
    uint8_t& oldPaper = stored[paperByte];
    for (const uint8_t pair : {kPaperEndPair, kNearEndPair}) {
        if (PairSet(newPaper, pair) != PairSet(oldPaper, pair)) {
            TakeBits(newPaper, oldPaper, pair);
            return ReceiptPaperUpdate(PairSet(oldPaper, kPaperEndPair), PairSet(oldPaper, kNearEndPair));
        }
    }
    return 0;
}

// One change per call, so a caller repeats until 0 to pick up every change of a block.
int32_t CCmdHelperBase::CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) {
    return CompareStatusFields(fresh, stored, 0, 1, 2);
}

// Kind 2 is the offline-cause byte (cover, 0x04), kind 4 the paper byte (near end 0x0C,
// paper end 0x60). As with the block, one field changes per call; paper end is looked at
// before near end, and the value reported is the receipt state after the change.
int32_t CCmdHelperBase::CompareStatusByte(uint8_t fresh, uint8_t& stored, int32_t kind) {
    if (kind == 2) {
        if (((fresh ^ stored) & 0x04) == 0) return 0;
        TakeBits(fresh, stored, 0x04);
        return (fresh & 0x04) ? PTR_SUE_REC_COVER_OPEN : PTR_SUE_REC_COVER_OK;
    }
    if (kind != 4) return 0;
    for (const uint8_t field : {uint8_t{0x60}, uint8_t{0x0C}}) {
        if (((fresh & field) != 0) != ((stored & field) != 0)) {
            TakeBits(fresh, stored, field);
            return ReceiptPaperUpdate((stored & 0x60) != 0, (stored & 0x0C) != 0);
        }
    }
    return 0;
}

// A changed drawer bit counts, except a change to "set" reported against a clear first byte
// while the caller's flag says that direction is not of interest.
bool CCmdHelperBase::DrawerBitChanged(uint8_t first, uint8_t second, bool flag) {
    if (((first ^ second) & kDrawerBit) == 0) return false;
    return !((first & kDrawerBit) == 0 && flag);
}

bool CCmdHelperBase::TestDrawerBit(uint8_t status, bool flag) {
    const bool set = (status & kDrawerBit) != 0;
    return flag ? set : !set;
}

}  // namespace QVO::Printer
