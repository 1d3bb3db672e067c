// The virtual printer's conditions under test control: cover, paper, drawer, offline, mute,
// link rate, drop and power cycle, and what a change of them sets off (ASB, held printing).
#include "sim/VirtualPrinter.h"

#include "sim/EscPosCodes.h"

namespace QVO::Sim {

using namespace EscPos;
using QVO::Platform::MutexLock;

namespace {

constexpr int kLastDrawerPin = 1;  // ESC p m: pin 2 or pin 5

// The ASB kinds (GS a n bits) whose state differs between two sets of conditions.
int ChangedAsbKinds(const PrinterConditions& before, const PrinterConditions& after) {
    int changed = 0;
    if (before.DrawerLevel() != after.DrawerLevel()) changed |= AsbEnable::kDrawer;
    if (before.Offline() != after.Offline() || before.coverOpen != after.coverOpen) changed |= AsbEnable::kOnline;
    if (before.paper != after.paper) changed |= AsbEnable::kPaper;
    return changed;
}

}  // namespace

bool VirtualPrinter::ApplyDrawerLocked(const Command& cmd) {
    switch (cmd.op) {
        case Op::Pulse:
            if (SelectorValue(cmd.args[0]) <= kLastDrawerPin) PulseDrawerLocked();
            return true;
        case Op::RealTimePulse:
            PulseDrawerLocked();
            return true;
        default:
            return false;
    }
}

void VirtualPrinter::PulseDrawerLocked() {
    ++state_.drawerPulses;
    if (conditions_.drawerAutoCloseMs >= 0) {
        drawerClosing_ = true;
        drawerCloseAt_ = Clock::now() + std::chrono::milliseconds(conditions_.drawerAutoCloseMs);
    }
    if (conditions_.drawerOpen) return;
    PrinterConditions next = conditions_;
    next.drawerOpen = true;
    ChangeConditionsLocked(next);
}

void VirtualPrinter::Tick(Clock::time_point now) {
    MutexLock lock(mutex_);
    if (!drawerClosing_ || now < drawerCloseAt_) return;
    drawerClosing_ = false;
    NoteLocked("drawer", "closed by itself");
    PrinterConditions next = conditions_;
    next.drawerOpen = false;
    ChangeConditionsLocked(next);
}

void VirtualPrinter::ChangeConditionsLocked(const PrinterConditions& next) {
    const PrinterConditions before = conditions_;
    conditions_ = next;
    if (ChangedAsbKinds(before, conditions_) & state_.asbMask) SendAutoStatusLocked();
    if (before.Offline() && !conditions_.Offline()) ReleaseHeldLocked();
}

// Back online: the commands held meanwhile are carried out in the order they came.
void VirtualPrinter::ReleaseHeldLocked() {
    std::vector<Command> held;
    held.swap(held_);
    heldBytes_ = 0;
    for (const Command& cmd : held) ApplyLocked(cmd);
}

template <typename Field>
void VirtualPrinter::ChangeCondition(Field PrinterConditions::*field, Field value) {
    MutexLock lock(mutex_);
    PrinterConditions next = conditions_;
    next.*field = value;
    ChangeConditionsLocked(next);
}

void VirtualPrinter::SetCoverOpen(bool open) { ChangeCondition(&PrinterConditions::coverOpen, open); }

void VirtualPrinter::SetPaper(PaperLevel level) { ChangeCondition(&PrinterConditions::paper, level); }

void VirtualPrinter::SetDrawerOpenLevel(bool high) { ChangeCondition(&PrinterConditions::drawerOpenLevel, high); }

void VirtualPrinter::SetOffline(bool offline) { ChangeCondition(&PrinterConditions::offlineSwitch, offline); }

void VirtualPrinter::SetDrawerAutoClose(int ms) { ChangeCondition(&PrinterConditions::drawerAutoCloseMs, ms); }

void VirtualPrinter::SetMute(bool mute) { ChangeCondition(&PrinterConditions::mute, mute); }

void VirtualPrinter::SetRate(uint32_t bytesPerSecond) {
    ChangeCondition(&PrinterConditions::bytesPerSecond, bytesPerSecond);
}

void VirtualPrinter::SetDrawerOpen(bool open) {
    MutexLock lock(mutex_);
    drawerClosing_ = false;  // a drawer moved by hand forgets a pending close
    PrinterConditions next = conditions_;
    next.drawerOpen = open;
    ChangeConditionsLocked(next);
}

void VirtualPrinter::Drop() {
    MutexLock lock(mutex_);
    ++generation_;
    NoteLocked("drop", "");
    replies_.clear();  // answers not yet sent went with the connection
    WakeLocked();
}

void VirtualPrinter::PowerCycle() {
    MutexLock lock(mutex_);
    NoteLocked("power_cycle", "");
    decoder_.Reset();
    inPacket_ = false;
    lastInputFramed_ = false;
    held_.clear();
    heldBytes_ = 0;
    replies_.clear();
    drawerClosing_ = false;
    paper_->Reset();
    state_.asbMask = 0;
    ResetStateLocked();
    ++generation_;
    WakeLocked();
}

}  // namespace QVO::Sim
