#include "FbStatementCache.h"

#include "FbTransaction.h"

using db::connection::RestoreDefaultFPUState;

namespace {

// The server's id of an active transaction (read once per start); -1 when it cannot be read.
int TransactionIdOf(TFbTransaction& transaction) {
    try {
        return transaction.TransactionID();
    } catch (...) {
        return -1;
    }
}

} // namespace

std::vector<XSQLVAR> TFbPreparedForm::Items(const XSQLDA* da) {
    std::vector<XSQLVAR> items;
    if (!da) return items;
    const int n = std::min<int>(da->sqln, da->sqld);
    items.reserve(size_t(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        XSQLVAR v = da->sqlvar[i];
        v.sqldata = nullptr;
        v.sqlind = nullptr;
        items.push_back(v);
    }
    return items;
}

void TFbPreparedForm::Replay(XSQLDA* da, short count, const std::vector<XSQLVAR>& items) {
    if (!da) return;
    da->sqld = count;
    const int n = std::min<int>(std::min<int>(da->sqln, count), int(items.size()));
    for (int i = 0; i < n; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        char* const data = v.sqldata;
        short* const indicator = v.sqlind;
        v = items[size_t(i)];
        v.sqldata = data;
        v.sqlind = indicator;
    }
}

void TFbStatementCache::SetCapacity(int value) {
    value = std::max(value, 0);
    const bool newSpan = (value == 0) != (FCapacity == 0);
    FCapacity = value;
    if (newSpan)
        Invalidate();
    else
        DropBeyond(FCapacity);
}

bool TFbStatementCache::Suspended() {
    if (!FChanging) return false;
    auto* transaction = qobject_cast<TFbTransaction*>(FChangingTransaction.data());
    // Still the same transaction: the same id (read once per start, so a round trip only for a new one).
    if (transaction && transaction->InTransaction() && FChangingTransactionID > 0 &&
        TransactionIdOf(*transaction) == FChangingTransactionID)
        return true;
    FChanging = false;
    FChangingTransaction.clear();
    Invalidate();
    return false;
}

bool TFbStatementCache::Take(const QByteArray& text, int dialect, TFbStatementHandle& handle,
                             TFbPreparedForm& form) {
    if (FCapacity == 0 || FIdle.empty() || Suspended()) return false;
    for (auto it = FIdle.begin(); it != FIdle.end(); ++it) {
        if (it->Form.Dialect != dialect || it->Form.Text != text) continue;
        handle.MoveFrom(it->Handle);
        form = std::move(it->Form);
        FIdle.erase(it);
        return true;
    }
    return false;
}

void TFbStatementCache::Give(TFbStatementHandle& handle, TFbPreparedForm&& form) {
    if (!handle) return;
    if (FCapacity == 0 || form.Generation != FGeneration || Suspended()) {
        handle.Drop();
        RestoreDefaultFPUState();
        return;
    }
    // Drop first what the new entry pushes out; a failing allocation leaves the handle where it was.
    DropBeyond(FCapacity - 1);
    FIdle.emplace_front();
    TEntry& entry = FIdle.front();
    entry.Handle.MoveFrom(handle);
    entry.Form = std::move(form);
}

void TFbStatementCache::MetadataChanging(TFbTransaction* transaction) {
    Invalidate();
    if (!transaction || !transaction->InTransaction()) return;
    FChanging = true;
    FChangingTransaction = transaction;
    FChangingTransactionID = TransactionIdOf(*transaction);
}

void TFbStatementCache::Invalidate() {
    ++FGeneration;
    DropAll();
}

void TFbStatementCache::DropBeyond(int count) {
    bool dropped = false;
    while (int(FIdle.size()) > std::max(count, 0)) {
        FIdle.back().Handle.Drop();
        FIdle.pop_back();
        dropped = true;
    }
    if (dropped) RestoreDefaultFPUState();
}

void TFbStatementCache::DropAll() {
    DropBeyond(0);
}

void TFbStatementCache::ForgetAll() {
    for (TEntry& entry : FIdle)
        entry.Handle.Release();
    FIdle.clear();
}
