// PrinterReplies: the reply stream cut into process-ID answers, status blocks and the rest.
#include "so/printer/PrinterReplies.h"

#include "so/cmd/StatusBits.h"

namespace QVO::Printer {

namespace {
namespace AutoStatus = StatusBits::AutoStatus;

// 37 22 d1 d2 d3 d4 00
constexpr uint8_t kAnswerHeader0 = 0x37;
constexpr uint8_t kAnswerHeader1 = 0x22;
constexpr uint8_t kAnswerEnd = 0x00;
constexpr size_t kIdAt = 2;
constexpr size_t kIdBytes = 4;
constexpr size_t kAnswerBytes = 7;
constexpr size_t kAutoStatusBytes = 4;
constexpr uint8_t kLowestIdByte = 0x20;
constexpr uint8_t kHighestIdByte = 0x7E;
constexpr uint32_t kIdDigits = kHighestIdByte - kLowestIdByte + 1;  // 95
constexpr uint32_t kFirstIdDigits = kIdDigits - 1;                  // 94: 'F' left out
constexpr uint8_t kSynchronousIdByte = 'F';
// Answers are matched while pending, so this only says "wait for more".
constexpr size_t kNeedMore = static_cast<size_t>(-1);

bool IsIdByte(uint8_t byte) { return byte >= kLowestIdByte && byte <= kHighestIdByte; }
}  // namespace

uint32_t ProcessIdForOutput(int32_t outputId) {
    uint32_t rest = static_cast<uint32_t>(outputId) % (kFirstIdDigits * kIdDigits * kIdDigits * kIdDigits);
    uint32_t id = 0;
    for (size_t i = 0; i + 1 < kIdBytes; ++i) {
        id |= (kLowestIdByte + rest % kIdDigits) << (8 * i);
        rest /= kIdDigits;
    }
    uint32_t first = kLowestIdByte + rest;
    if (first >= kSynchronousIdByte) ++first;
    return id | (first << 24);
}

void PrinterReplies::Feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    lastByteAt_.store(Clock::now().time_since_epoch().count());
    Platform::MutexLock lock(mutex_);
    pending_.insert(pending_.end(), data, data + size);
    ScanLocked();
}

size_t PrinterReplies::MatchProcessIdLocked() const {
    if (pending_.front() != kAnswerHeader0) return 0;
    if (pending_.size() < 2) return kNeedMore;
    if (pending_[1] != kAnswerHeader1) return 0;
    for (size_t i = kIdAt; i < kIdAt + kIdBytes; ++i) {
        if (pending_.size() <= i) return kNeedMore;
        if (!IsIdByte(pending_[i])) return 0;
    }
    if (pending_.size() < kAnswerBytes) return kNeedMore;
    return pending_[kAnswerBytes - 1] == kAnswerEnd ? kAnswerBytes : 0;
}

size_t PrinterReplies::MatchAutoStatusLocked() const {
    if ((pending_.front() & AutoStatus::kFirstByteFixedMask) != AutoStatus::kFirstByteFixedValue) return 0;
    for (size_t i = 1; i < kAutoStatusBytes; ++i) {
        if (pending_.size() <= i) return kNeedMore;
        if ((pending_[i] & AutoStatus::kOtherBytesFixedMask) != 0) return 0;
    }
    return kAutoStatusBytes;
}

void PrinterReplies::ScanLocked() {
    while (!pending_.empty()) {
        // The two kinds never start with the same byte (0x37 has bit 0 set), so at most one
        // of them can claim the front.
        if (const size_t answer = MatchProcessIdLocked(); answer == kNeedMore) {
            return;
        } else if (answer != 0) {
            uint32_t id = 0;
            for (size_t i = kIdAt; i < kIdAt + kIdBytes; ++i) id = (id << 8) | pending_[i];
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(answer));
            if (id == kSynchronousProcessId) continue;
            if (processIds_.size() == kMaxProcessIds) processIds_.pop_front();
            processIds_.push_back(id);
            continue;
        }
        if (const size_t block = MatchAutoStatusLocked(); block == kNeedMore) {
            return;
        } else if (block != 0) {
            AutoStatusBlock bytes{};
            for (size_t i = 0; i < kAutoStatusBytes; ++i) bytes[i] = pending_[i];
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(block));
            if (autoStatus_.size() == kMaxAutoStatus) autoStatus_.pop_front();
            autoStatus_.push_back(bytes);
            continue;
        }
        AddOtherLocked(pending_.front());
        pending_.pop_front();
    }
}

void PrinterReplies::AddOtherLocked(uint8_t byte) {
    if (others_.size() == kMaxOthers) others_.pop_front();
    others_.push_back(byte);
}

std::vector<uint32_t> PrinterReplies::TakeProcessIds() {
    Platform::MutexLock lock(mutex_);
    std::vector<uint32_t> ids(processIds_.begin(), processIds_.end());
    processIds_.clear();
    return ids;
}

bool PrinterReplies::TakeAutoStatus(AutoStatusBlock& block) {
    Platform::MutexLock lock(mutex_);
    if (autoStatus_.empty()) return false;
    block = autoStatus_.front();
    autoStatus_.pop_front();
    return true;
}

bool PrinterReplies::AutoStatusStarted() const {
    Platform::MutexLock lock(mutex_);
    return !pending_.empty() && MatchAutoStatusLocked() == kNeedMore;
}

bool PrinterReplies::TakeLastOther(uint8_t& byte) {
    Platform::MutexLock lock(mutex_);
    if (others_.empty()) return false;
    byte = others_.back();
    others_.clear();
    return true;
}

void PrinterReplies::DropOthers() {
    Platform::MutexLock lock(mutex_);
    others_.clear();
}

PrinterReplies::Clock::time_point PrinterReplies::LastByteAt() const {
    return Clock::time_point(Clock::duration(lastByteAt_.load()));
}

}  // namespace QVO::Printer
