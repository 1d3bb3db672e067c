// The open-instance table and the open/close lock.
#include "so/com/OpenInstances.h"

#include <chrono>
#include <thread>

#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

Platform::RecursiveMutex g_openCloseMutex;

namespace {
// How often a waiter on the event thread looks whether firing was stopped meanwhile.
constexpr auto kEventThreadLockStep = std::chrono::milliseconds(5);

// A plain lock on every thread but a firing event thread, which tries and looks again, so it
// can give up once its primary stops firing. (Timed locks are avoided: the thread sanitizer
// does not follow them.)
template <class Mutex>
bool Acquire(Mutex& mutex) QUVO_NO_THREAD_SAFETY_ANALYSIS {
    if (!CQVOOposPrinterSO::OnEventThread()) {
        mutex.lock();
        return true;
    }
    for (;;) {
        if (mutex.try_lock()) return true;
        if (CQVOOposPrinterSO::OnStoppedEventThread()) return false;
        std::this_thread::sleep_for(kEventThreadLockStep);
    }
}
}  // namespace

bool EnterOpenClose() QUVO_NO_THREAD_SAFETY_ANALYSIS { return Acquire(g_openCloseMutex); }

bool EnterService(CQVOOposPrinterSO& target) QUVO_NO_THREAD_SAFETY_ANALYSIS { return Acquire(target.serviceMutex_); }

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
