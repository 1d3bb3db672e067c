// The open-instance table and the open/close lock.
#include "so/com/OpenInstances.h"

#include <chrono>

#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

Platform::RecursiveMutex g_openCloseMutex;

namespace {
// How often a waiter on the event thread looks whether firing was stopped meanwhile.
constexpr auto kEventThreadLockStep = std::chrono::milliseconds(20);
}  // namespace

bool EnterOpenClose() {
    for (;;) {
        if (g_openCloseMutex.try_lock_for(kEventThreadLockStep)) return true;
        if (CQVOOposPrinterSO::OnStoppedEventThread()) return false;
    }
}

bool EnterService(CQVOOposPrinterSO& target) {
    for (;;) {
        if (target.serviceMutex_.try_lock_for(kEventThreadLockStep)) return true;
        if (CQVOOposPrinterSO::OnStoppedEventThread()) return false;
    }
}

OpenInstanceTable& OpenInstanceTable::Instance() {
    static OpenInstanceTable table;
    return table;
}

int32_t OpenInstanceTable::Enter(CQVOOposPrinterSO* primary) {
    Platform::MutexLock lock(mutex_);
    for (int32_t i = 0; i < kSlots; ++i) {
        if (slots_[i] != nullptr) continue;
        slots_[i] = primary;
        return i + 1;
    }
    return 0;
}

void OpenInstanceTable::Leave(CQVOOposPrinterSO* primary) {
    Platform::MutexLock lock(mutex_);
    for (CQVOOposPrinterSO*& slot : slots_)
        if (slot == primary) slot = nullptr;
}

CQVOOposPrinterSO* OpenInstanceTable::FindAndAddRef(const std::wstring& deviceName) {
    Platform::MutexLock lock(mutex_);
    for (CQVOOposPrinterSO* slot : slots_) {
        if (slot == nullptr || slot->DeviceName() != deviceName) continue;
        slot->AddRef();
        return slot;
    }
    return nullptr;
}

}  // namespace QVO::SO
