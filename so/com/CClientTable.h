// The primary's table of the instances that share its engine, its own row included.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/sync/Mutex.h"

namespace QVO::SO {

class CQVOOposPrinterSO;

// The six drawer numbers of a cash-drawer entry, in the order the engine takes them.
struct DrawerSettings {
    int32_t pins = 0;
    int32_t openVoltage = 0;
    int32_t capStatus = 0;
    int32_t onTime = 16;
    int32_t offTime = 16;
    int32_t closeTimeoutMs = 60000;
};

// Event method lookups of one client, by event kind (see EventKind).
using EventDispids = std::array<DISPID, 4>;

struct ClientRow {
    CQVOOposPrinterSO* client = nullptr;  // null: the row is free
    bool open = false;
    bool claimed = false;
    bool enabled = false;
    bool printer = false;
    IDispatch* receiver = nullptr;  // the control object's; not counted here
    EventDispids dispids{};
    bool frozen = false;
    DrawerSettings drawer;
};

// One row of a snapshot taken for firing: the receiver is held for the time of the call.
struct FireTarget {
    bool printer = false;
    Platform::Com::ComPtr<IDispatch> receiver;
    EventDispids dispids{};
};

// 255 rows, searched from the first. Rows are touched by the calling threads of every control
// object sharing the engine and read by the event thread, so every access takes the table's
// own lock, innermost: no call leaves the table while it is held.
class CClientTable {
public:
    static constexpr size_t kRows = 255;

    // False when every row is taken.
    bool Add(const ClientRow& row);
    void Remove(const CQVOOposPrinterSO* client);
    // A copy of the client's row; false when it has none.
    bool Find(const CQVOOposPrinterSO* client, ClientRow& row) const;
    // Changes the client's row; false when it has none.
    bool Update(const CQVOOposPrinterSO* client, const std::function<void(ClientRow&)>& change);

    bool AnyOpen() const;
    bool AnyClaimedBesides(const CQVOOposPrinterSO* client) const;
    bool AnyEnabled() const;
    // An enabled row of that kind (printer or cash drawer).
    bool AnyEnabledOfKind(bool printer) const;
    // Every row in use has frozen events (false when no row is in use).
    bool AllFrozen() const;
    // The enabled, unfrozen rows with a receiver, in row order.
    std::vector<FireTarget> FireTargets() const;

private:
    template <class Test>
    bool AnyRow(Test test) const;

    mutable Platform::Mutex mutex_;
    std::array<ClientRow, kRows> rows_ QUVO_GUARDED_BY(mutex_){};
};

}  // namespace QVO::SO
