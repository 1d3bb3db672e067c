// Process-wide state of the service object: the open-instance table of primaries and the lock
// that serialises every open and close in the process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sync/Mutex.h"

namespace QVO::SO {

class CQVOOposPrinterSO;

// Held for a whole OpenService or CloseService (and a final release), so that two instances
// never both become the primary of one printer, and a primary that is closing cannot be
// attached to. Outermost lock of the service object.
extern Platform::RecursiveMutex g_openCloseMutex;

// Takes g_openCloseMutex; false only on an event thread whose firing was stopped.
bool EnterOpenClose() QUVO_TRY_ACQUIRE(true, g_openCloseMutex);

// The 255 slots of the primaries that have a printer open, searched from the first.
// Its own lock is innermost.
class OpenInstanceTable {
public:
    static constexpr int32_t kSlots = 255;

    static OpenInstanceTable& Instance();

    // The 1-based slot taken, or 0 when every slot is in use.
    int32_t Enter(CQVOOposPrinterSO* primary);
    void Leave(CQVOOposPrinterSO* primary);
    // The primary that has `deviceName` open (exact, case-sensitive), with one COM
    // reference taken for the caller; null when none.
    CQVOOposPrinterSO* FindAndAddRef(const std::wstring& deviceName);

private:
    Platform::Mutex mutex_;
    CQVOOposPrinterSO* slots_[kSlots] QUVO_GUARDED_BY(mutex_) = {};
};

}  // namespace QVO::SO
