#pragma once
// The callbacks other components register with a database or a transaction, by notice and key.

#include <QList>
#include <utility>

namespace db::connection {

// Registering again under the same notice and key replaces the callback. A round walks the
// callbacks registered when it began; one removed by an earlier callback of the round is not
// called.
template <class Notice, class Callback> class TFbNoticeList {
public:
    void Add(Notice notice, const void* key, Callback callback) {
        Remove(notice, key);
        if (callback) FEntries.append({notice, key, FNextId++, std::move(callback)});
    }

    void Remove(Notice notice, const void* key) {
        FEntries.removeIf([&](const TEntry& e) { return e.Kind == notice && e.Key == key; });
    }

    // Hands each callback of `notice` to `call` (which returns false to end the round), in
    // registration order or from the last registered to the first.
    template <class F> void Round(Notice notice, bool lastFirst, F&& call) const {
        const QList<TEntry> entries = FEntries;
        for (qsizetype n = 0; n < entries.size(); ++n) {
            const TEntry& entry = entries[lastFirst ? entries.size() - 1 - n : n];
            if (entry.Kind != notice || !Registered(entry.Id)) continue;
            if (!call(entry.Fn)) return;
        }
    }

    // Calls every callback of `notice` with `args`, from the last registered to the first; one
    // that raises does not keep the others from their turn (the owner is being destroyed).
    template <class... A> void CallAllLastFirst(Notice notice, A&&... args) const {
        Round(notice, true, [&](const Callback& callback) {
            try {
                callback(args...);
            } catch (...) {
            }
            return true;
        });
    }

private:
    struct TEntry {
        Notice Kind;
        const void* Key;
        quint64 Id;
        Callback Fn;
    };

    bool Registered(quint64 id) const {
        for (const TEntry& entry : FEntries)
            if (entry.Id == id) return true;
        return false;
    }

    QList<TEntry> FEntries;
    quint64 FNextId = 1;
};

} // namespace db::connection
