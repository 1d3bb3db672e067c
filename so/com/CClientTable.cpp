// CClientTable: the rows of the instances sharing one engine.
#include "so/com/CClientTable.h"

namespace QVO::SO {

bool CClientTable::Add(const ClientRow& row) {
    Platform::MutexLock lock(mutex_);
    for (ClientRow& r : rows_) {
        if (r.client != nullptr) continue;
        r = row;
        return true;
    }
    return false;
}

void CClientTable::Remove(const CQVOOposPrinterSO* client) {
    Platform::MutexLock lock(mutex_);
    for (ClientRow& r : rows_)
        if (r.client == client) r = ClientRow{};
}

bool CClientTable::Find(const CQVOOposPrinterSO* client, ClientRow& row) const {
    Platform::MutexLock lock(mutex_);
    for (const ClientRow& r : rows_) {
        if (r.client != client) continue;
        row = r;
        return true;
    }
    return false;
}

bool CClientTable::Update(const CQVOOposPrinterSO* client, const std::function<void(ClientRow&)>& change) {
    Platform::MutexLock lock(mutex_);
    for (ClientRow& r : rows_) {
        if (r.client != client) continue;
        change(r);
        return true;
    }
    return false;
}

template <class Test>
bool CClientTable::AnyRow(Test test) const {
    Platform::MutexLock lock(mutex_);
    for (const ClientRow& r : rows_)
        if (r.client != nullptr && test(r)) return true;
    return false;
}

bool CClientTable::AnyOpen() const {
    return AnyRow([](const ClientRow& r) { return r.open; });
}

bool CClientTable::AnyClaimedBesides(const CQVOOposPrinterSO* client) const {
    return AnyRow([client](const ClientRow& r) { return r.claimed && r.client != client; });
}

bool CClientTable::AnyEnabled() const {
    return AnyRow([](const ClientRow& r) { return r.enabled; });
}

bool CClientTable::AnyEnabledOfKind(bool printer) const {
    return AnyRow([printer](const ClientRow& r) { return r.enabled && r.printer == printer; });
}

bool CClientTable::AllFrozen() const {
    bool inUse = false;
    const bool someThawed = AnyRow([&inUse](const ClientRow& r) {
        inUse = true;
        return !r.frozen;
    });
    return inUse && !someThawed;
}

std::vector<FireTarget> CClientTable::FireTargets() const {
    std::vector<FireTarget> targets;
    Platform::MutexLock lock(mutex_);
    for (const ClientRow& r : rows_) {
        if (r.client == nullptr || !r.enabled || r.frozen || r.receiver == nullptr) continue;
        FireTarget t;
        t.printer = r.printer;
        t.receiver = Platform::Com::ComPtr<IDispatch>(r.receiver);
        t.dispids = r.dispids;
        targets.push_back(std::move(t));
    }
    return targets;
}

}  // namespace QVO::SO
