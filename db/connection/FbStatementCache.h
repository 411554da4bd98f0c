#pragma once
// The idle prepared statements of one connection, found by the text the server prepared: a
// statement whose new text was prepared before on the same connection takes that handle and the
// server's description of it instead of preparing (and describing) again.

#include "FbOwners.h"

#include <QByteArray>
#include <QPointer>
#include <list>
#include <vector>

class TFbTransaction;

// What the server said of one prepared text: the statement type and the descriptions of the
// parameters and columns, kept without their data and null-flag addresses.
struct TFbPreparedForm {
    QByteArray Text; // exactly as given to isc_dsql_prepare
    int Dialect = 0;
    quint64 Generation = 0; // the cache's metadata generation when it was prepared
    int StatementType = 0;
    short OutputCount = 0;       // the column count the prepare reported
    std::vector<XSQLVAR> Output; // the first column after the prepare, all of them once described
    bool InputDescribed = false;
    short InputCount = 0;
    std::vector<XSQLVAR> Input;

    // The descriptions of `da`'s items as the server filled them in.
    static std::vector<XSQLVAR> Items(const XSQLDA* da);
    // Writes the kept descriptions into `da` as the client call would: the count into sqld, the
    // items that fit into sqlvar, each keeping its own data and null-flag addresses.
    static void Replay(XSQLDA* da, short count, const std::vector<XSQLVAR>& items);
};

// Off by default: a kept handle keeps the table format of its prepare, and a table changed by
// another attachment since (a column dropped or added, committed) is not reported to it, so its
// next user would read rows in the old format. Turn it on for a span of work in which the tables do
// not change (the application: one update run), and off again at its end.
class TFbStatementCache {
public:
    TFbStatementCache() = default;
    TFbStatementCache(const TFbStatementCache&) = delete;
    TFbStatementCache& operator=(const TFbStatementCache&) = delete;

    // The number of idle handles kept; 0 turns the cache off.
    int Capacity() const { return FCapacity; }
    // Drops the least recently used idle handles beyond the new capacity. Turning the cache on or
    // off starts a new span: handles prepared before it are never kept (they may be from before a
    // change of the tables), neither idle ones nor those in use when given back.
    void SetCapacity(int value);
    int IdleCount() const { return int(FIdle.size()); }
    quint64 Generation() const { return FGeneration; }

    // Moves the idle handle prepared from `text` in `dialect` into `handle`; false when there is
    // none (or the cache is off, or metadata is being changed).
    bool Take(const QByteArray& text, int dialect, TFbStatementHandle& handle, TFbPreparedForm& form);
    // Takes the handle (its cursor closed) away from `handle`. It is dropped instead when the cache
    // is off or the metadata changed since it was prepared; the least recently used idle handle
    // beyond the capacity is dropped.
    void Give(TFbStatementHandle& handle, TFbPreparedForm&& form);

    // A metadata change runs in `transaction` on this connection: the idle handles are dropped (they
    // would hold the changed objects in use), handles in use are dropped when given back, and until
    // that transaction ends nothing is kept (what is prepared before its commit may go stale by it).
    void MetadataChanging(TFbTransaction* transaction);
    // The prepared forms may be stale: drop the idle handles, and those in use when given back.
    void Invalidate();
    // Drops every idle handle on the server (the connection is about to close).
    void DropAll();
    // Forgets every idle handle without the server (the connection is gone).
    void ForgetAll();

private:
    struct TEntry {
        TFbStatementHandle Handle;
        TFbPreparedForm Form;
    };
    // Whether a metadata change is still uncommitted; once its transaction ended, invalidates.
    bool Suspended();
    void DropBeyond(int count);

    std::list<TEntry> FIdle; // most recently given back first
    int FCapacity = 0;
    quint64 FGeneration = 1;
    QPointer<QObject> FChangingTransaction; // the TFbTransaction
    int FChangingTransactionID = 0;
    bool FChanging = false;
};
