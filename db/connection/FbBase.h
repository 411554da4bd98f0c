#pragma once
// TFbBase: the link by which a statement or data set follows its database and transaction, and
// the list in which a database or transaction keeps its links.

#include <QList>
#include <QObject>
#include <functional>
#include <ibase.h>

class TFbDatabase;
class TFbTransaction;

// The link a statement or data set owns to follow its database and transaction. Its owner fills
// in the events.
class TFbBase {
public:
    explicit TFbBase(QObject* owner);
    ~TFbBase();
    TFbBase(const TFbBase&) = delete;
    TFbBase& operator=(const TFbBase&) = delete;

    QObject* Owner() const { return FOwner; }
    TFbDatabase* Database() const { return FDatabase; }
    void SetDatabase(TFbDatabase* value);

    TFbTransaction* Transaction() const { return FTransaction; }
    void SetTransaction(TFbTransaction* value);

    // DatabaseNotAssigned without a database, then the database's CheckActive.
    void CheckDatabase();
    // The address of the database's attachment handle, after CheckDatabase.
    isc_db_handle* DBHandle();
    // TransactionNotAssigned without a transaction, then the transaction's CheckInTransaction.
    void CheckTransaction();
    // The address of the transaction's handle, after CheckTransaction.
    isc_tr_handle* TRHandle();

    std::function<void()> OnDatabaseConnecting;
    std::function<void()> OnDatabaseConnected;
    std::function<void()> OnDatabaseDisconnecting;
    std::function<void()> OnDatabaseDisconnected;
    std::function<void()> OnDatabaseFree;
    // The connection was lost: the statement forgets its handle and closes without the server.
    std::function<void()> OnDatabaseLostConnect;
    std::function<void()> OnTransactionStarting;
    std::function<void()> OnTransactionStarted;
    std::function<void()> OnTransactionEnding;
    std::function<void()> OnTransactionEnded;
    std::function<void()> OnTransactionFree;

private:
    // The owner, or a component above it, is being read from a stored layout.
    bool OwnerLoading() const;

    QObject* FOwner;
    TFbDatabase* FDatabase = nullptr;
    TFbTransaction* FTransaction = nullptr;
};

// The links of a database or transaction, in no promised order: a removed link's place goes to
// the last one.
class TFbLinkList {
public:
    void Add(TFbBase* link) { FItems.append(link); }
    void Remove(TFbBase* link);
    bool Contains(TFbBase* link) const { return FItems.contains(link); }
    int Count() const { return int(FItems.size()); }
    TFbBase* At(int index) const { return FItems.at(index); }
    // Calls `event` of every link that is still listed when its turn comes, from a copy of the
    // list (an event may add or remove links), first to last or last to first.
    void Notify(std::function<void()> TFbBase::*event, bool lastFirst = false) const;
    // Hands every link still listed to `f`, which returns false to end the round.
    template <class F> void ForEach(F&& f) const {
        const QList<TFbBase*> links = FItems;
        for (TFbBase* link : links)
            if (FItems.contains(link) && !f(*link)) return;
    }

    // Empties the list from the last link, for an owner that is being destroyed: calls the
    // link's `freeEvent` (a failure of it is ignored), then `release`, which lets the link go.
    template <class F> void FreeAll(std::function<void()> TFbBase::*freeEvent, F&& release) {
        while (!FItems.isEmpty()) {
            TFbBase* link = FItems.last();
            try {
                if (link->*freeEvent) (link->*freeEvent)();
            } catch (...) {
            }
            release(*link);
            Remove(link);
        }
    }

private:
    QList<TFbBase*> FItems;
};

// What a link may do to the database and the transaction it follows: join and leave their lists
// of links. Nothing else of theirs is open to it.
class TFbLinkGate {
    friend class TFbBase;
    static void Join(TFbDatabase& database, TFbBase& link);
    static void Leave(TFbDatabase& database, TFbBase& link);
    static void Join(TFbTransaction& transaction, TFbBase& link);
    static void Leave(TFbTransaction& transaction, TFbBase& link);
};
