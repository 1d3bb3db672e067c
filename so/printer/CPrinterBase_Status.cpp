// CPrinterBase, status monitoring: the three ways to read the printer's state, the reports
// made of changes, and the drawer query.
#include <chrono>
#include <thread>

#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/CPrinterTaskThreadContext.h"
#include "so/printer/PrinterReplies.h"
#include "so/printer/StatusLock.h"

namespace QVO::Printer {

using namespace QVO::Opos;

namespace {
constexpr auto kStepPause = std::chrono::milliseconds(10);
constexpr auto kSlowLinkPause = std::chrono::milliseconds(50);
constexpr int32_t kForcedAttempts = 6;
constexpr int32_t kStatusLockTimeoutMs = 10000;
constexpr int32_t kAsbReadBytes = 64;
constexpr int32_t kUsbReplyBytes = 256;
// Reads of one status answer: process-ID answers and status blocks in front of it go to
// their own readers, and the answer may still follow.
constexpr int32_t kReadsPerAnswer = 12;
constexpr int32_t kRealTimePrinterStatus = 1;
constexpr int32_t kRealTimeOfflineCause = 2;
constexpr int32_t kRealTimeRollPaper = 4;
constexpr int32_t kTransmitPaperSensor = 1;
constexpr int32_t kTransmitDrawer = 2;
}  // namespace

void CPrinterBase::RaiseStateUpdateEvent(int32_t status) {
    if (events_) events_->StatusUpdate(status);
}

int32_t CPrinterBase::GetPrinterState(bool force) {
    if (cmd_ == nullptr || !port_ || !bidirectional_) return -1;
    PollPrinterState(force);
    return 0;
}

bool CPrinterBase::PollPrinterState(bool force) {
    if (cmd_ == nullptr || !port_ || !bidirectional_) return false;
    Platform::MutexLock poll(pollMutex_);
    tagPrinterStatus status = cached_;
    bool answered = false;
    for (int32_t attempt = 0; attempt < (force ? kForcedAttempts : 1) && !answered; ++attempt)
        answered = QueryOnce(status);
    if (!answered) return false;
    if (force)
        ReportForced(status);
    else
        ReportChanges(status);
    return true;
}

bool CPrinterBase::QueryOnce(tagPrinterStatus& status) {
    if (asbInUse_) {
        // The drawer sensor comes with every block, as with the other readers.
        if (!GetPrinterStateByASB(status)) return false;
        status.drawerOpen = openVoltage_ != 0 ? (status.drawerSignal != 0) : (status.drawerSignal == 0);
        return true;
    }
    const bool drawerOnly = (modeBits_ & kCashDrawerMode) != 0 && (modeBits_ & kPrinterMode) == 0;
    if (drawerOnly) {
        int32_t valid = 0;
        status.drawerOpen = GetDrawerOpenState(0, &valid);
        return true;
    }
    bool ok = false;
    if (parameters_.statusMethod & kStatusByRealTime)
        ok = GetPrinterStateByRealTime(status, false);
    else if (parameters_.statusMethod & kStatusByTransmitStatus)
        ok = GetPrinterStateBySendCmd(status, false);
    if (ok) status.drawerOpen = openVoltage_ != 0 ? (status.drawerSignal != 0) : (status.drawerSignal == 0);
    return ok;
}

void CPrinterBase::StoreStatusFlags(const tagPrinterStatus& status) {
    cached_.coverOpen = status.coverOpen;
    cached_.paperEnd = status.paperEnd;
    cached_.paperNearEnd = status.paperNearEnd;
    cached_.offline = status.offline;
    cached_.drawerSignal = status.drawerSignal;
    coverOpen_.store(status.coverOpen != 0 ? 1 : 0);
    recEmpty_.store(status.paperEnd != 0 ? 1 : 0);
    recNearEnd_.store(status.paperNearEnd != 0 ? 1 : 0);
    // Outputs wait in a printer that waits: no answer then is no sign of a lost link.
    if (output_) output_->SetPrinterWaiting(status.coverOpen != 0 || status.paperEnd != 0 || status.offline != 0);
}

// Every condition, changed or not: what the application sees right after enabling.
void CPrinterBase::ReportForced(const tagPrinterStatus& status) {
    StoreStatusFlags(status);
    if (status.paperEnd != 0) RaiseStateUpdateEvent(PTR_SUE_REC_EMPTY);
    if (status.paperNearEnd != 0) RaiseStateUpdateEvent(PTR_SUE_REC_NEAREMPTY);
    if (status.paperEnd == 0 && status.paperNearEnd == 0) RaiseStateUpdateEvent(PTR_SUE_REC_PAPEROK);
    RaiseStateUpdateEvent(status.coverOpen != 0 ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
}

void CPrinterBase::ReportChanges(const tagPrinterStatus& status) {
    const tagPrinterStatus old = cached_;
    if ((status.coverOpen != 0) != (old.coverOpen != 0))
        RaiseStateUpdateEvent(status.coverOpen != 0 ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
    if (status.paperEnd != 0 && old.paperEnd == 0) RaiseStateUpdateEvent(PTR_SUE_REC_EMPTY);
    if (status.paperNearEnd != 0 && (old.paperNearEnd == 0 || (old.paperEnd != 0 && status.paperEnd == 0)))
        RaiseStateUpdateEvent(PTR_SUE_REC_NEAREMPTY);
    if (status.paperNearEnd == 0 && status.paperEnd == 0 && (old.paperNearEnd != 0 || old.paperEnd != 0))
        RaiseStateUpdateEvent(PTR_SUE_REC_PAPEROK);
    StoreStatusFlags(status);
    if (modeBits_ == 0) return;
    if (status.drawerOpen == 0 && old.drawerOpen != 0) {
        cached_.drawerOpen = 0;
        cachedDrawerOpen_.store(0);
        RaiseStateUpdateEvent(kDrawerReportedClosed);
    } else if (status.drawerOpen != 0 && old.drawerOpen == 0) {
        cached_.drawerOpen = 1;
        cachedDrawerOpen_.store(1);
        RaiseStateUpdateEvent(kDrawerReportedOpen);
    }
}

// Every status reader reads through the output worker's splitter, so the answers confirming
// outputs and the status blocks are never taken for each other. `local` serves before open.
static PrinterReplies& ReplyStream(const std::shared_ptr<CPrinterTaskThreadContext>& output, PrinterReplies& local) {
    return output ? output->Replies() : local;
}

// The oldest status block that came, also one the output worker read while looking for answers.
bool CPrinterBase::GetPrinterStateByASB(tagPrinterStatus& status) {
    if (!port_->TimedLock(kStatusLockTimeoutMs)) return false;
    PortLockHolder held(*port_, std::adopt_lock);
    PrinterReplies local;
    PrinterReplies& replies = ReplyStream(output_, local);
    PrinterReplies::AutoStatusBlock block{};
    if (!replies.TakeAutoStatus(block)) {
        int32_t count = 0;
        port_->Port().ReadOnce(statusReply_.data(), 0, kAsbReadBytes, count, 0);
        if (count > 0) replies.Feed(statusReply_.data(), static_cast<size_t>(count));
        if (!replies.TakeAutoStatus(block)) {
            if (!replies.AutoStatusStarted()) return false;
            std::this_thread::sleep_for(kStepPause);
            count = 0;
            port_->ReadOnceLocked(statusReply_.data(), 0, kAsbReadBytes, count);
            if (count > 0) replies.Feed(statusReply_.data(), static_cast<size_t>(count));
            if (!replies.TakeAutoStatus(block)) return false;
        }
    }
    return cmd_->ParseAutoStatus(std::span<const uint8_t, 4>(block.data(), block.size()), &status);
}

// Sends one request and returns the last byte of the answer; false when none came.
bool CPrinterBase::RequestAndReadByte(PrinterBuffer& request, uint8_t& answer) {
    PrinterReplies local;
    PrinterReplies& replies = ReplyStream(output_, local);
    replies.DropOthers();  // whatever came before the request answers something else
    if (port_->WriteLocked(request.Data(), 0, static_cast<int32_t>(request.Size())) == 0) return false;
    const int32_t wanted = isUsb_ ? kUsbReplyBytes : 1;
    std::this_thread::sleep_for(kStepPause);
    bool waited = false;
    for (int32_t read = 0; read < kReadsPerAnswer; ++read) {
        int32_t got = 0;
        port_->ReadLocked(statusReply_.data(), 0, wanted, got, 0);
        if (got > 0) replies.Feed(statusReply_.data(), static_cast<size_t>(got));
        if (replies.TakeLastOther(answer)) return true;
        if (got > 0) continue;  // only bytes for the other readers so far
        if (waited || !(isUsb_ || isLpt_)) return false;
        std::this_thread::sleep_for(kSlowLinkPause);
        waited = true;
    }
    return false;
}

bool CPrinterBase::GetPrinterStateByRealTime(tagPrinterStatus& status, bool onlyFirst) {
    Platform::MutexLock statusLock(StatusLock());
    statusReply_.fill(0);
    int32_t step = kRealTimePrinterStatus;
    for (;;) {
        PrinterBuffer request;
        cmd_->RequestRealTimeStatus(request, step);
        uint8_t answer = 0;
        if (!RequestAndReadByte(request, answer)) return false;
        if (step == kRealTimePrinterStatus) {
            if (!cmd_->ParsePrinterStatusByte(answer, &status)) return false;
            if (onlyFirst) return true;
            if (status.offline == 0) {
                status.coverOpen = status.paperNearEnd = status.paperEnd = 0;
                if (!parameters_.capRecNearEndSensor) return true;
                step = kRealTimeRollPaper;
            } else {
                step = kRealTimeOfflineCause;
            }
        } else if (step == kRealTimeOfflineCause) {
            cmd_->ParseOfflineStatusByte(answer, &status);
            step = kRealTimeRollPaper;
        } else {
            return cmd_->ParsePaperStatusByte(answer, &status);
        }
        std::this_thread::sleep_for(kStepPause);
    }
}

bool CPrinterBase::GetPrinterStateBySendCmd(tagPrinterStatus& status, bool drawerOnly) {
    uint8_t answer = 0;
    if (!drawerOnly) {
        PrinterBuffer paper;
        cmd_->RequestStatus(paper, kTransmitPaperSensor);
        if (!RequestAndReadByte(paper, answer)) return false;
        cmd_->ParsePaperSensorByte(answer, &status);
        std::this_thread::sleep_for(kStepPause);
    }
    PrinterBuffer drawer;
    cmd_->RequestStatus(drawer, kTransmitDrawer);
    if (!RequestAndReadByte(drawer, answer)) return false;
    cmd_->ParseDrawerByte(answer, &status.drawerSignal);
    return true;
}

int32_t CPrinterBase::GetDrawerOpenState(int32_t, int32_t* valid) {
    int32_t open = cachedDrawerOpen_.load();
    if (valid != nullptr) *valid = 0;
    Platform::MutexLock statusLock(StatusLock());
    if (cmd_ == nullptr || !port_ || !bidirectional_) return open;
    PrinterBuffer request;
    cmd_->RequestDrawerStatus(request);
    if (!port_->TimedLock(kStatusLockTimeoutMs)) return open;
    PortLockHolder held(*port_, std::adopt_lock);
    uint8_t answer = 0;
    if (RequestAndReadByte(request, answer)) {
        open = openVoltage_ != 0 ? (answer == 1) : (answer == 0);
        if (valid != nullptr) *valid = 1;
    }
    return open;
}

}  // namespace QVO::Printer
