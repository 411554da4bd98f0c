#pragma once
// TFbTransaction: one Firebird transaction over one or more connected databases, started from a
// transaction parameter buffer (TPB) built from its TRParams lines and ended only through
// EndTransaction; it tells its statements and data sets before and after, and can end itself
// after an idle time-out.

#include "FbDatabase.h"
#include "IB_Intf.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class TFbCustomTimer;

enum class TTransactionAction { TARollback, TARollbackRetaining, TACommit, TACommitRetaining };
enum class TTransactionState {
    tsActive,
    tsClosed,
    tsDoRollback,
    tsDoRollbackRetaining,
    tsDoCommit,
    tsDoCommitRetaining
};
enum class TMDTTransactionRole { mtrNone, mtrSeparateTransaction, mtrAutoDefine };

// Builds the TPB from parameter lines ("write", "isc_tpb_nowait", "lock_write=PARTS").
// Every line is trimmed of characters with codes 32 and below and written back trimmed; empty
// lines are skipped; no lines give an empty TPB. Raises TPBConstantUnsupported for a name the
// builder does not support, TPBConstantUnknown for an unknown name, and a client error (SQLCode -1) for a
// table name longer than 255 bytes or a buffer longer than 32767 bytes. The outputs change only when the
// build succeeds.
void GenerateTPB(platform::TStringList& params, QByteArray& tpb, short& tpbLength);

class TFbTransaction : public platform::TComponent, public IFbTransactionLink {
    Q_OBJECT
public:
    explicit TFbTransaction(platform::TComponent* owner = nullptr);
    ~TFbTransaction() override;

    using TNotifyEvent = std::function<void(TFbTransaction* sender)>;
    using TEndEvent = std::function<void(TFbTransaction* sender, TTransactionAction action, bool force)>;

    // True exactly while the handle is set.
    bool Active() const { return FHandle != 0; }
    // True starts the transaction when it is not active; False rolls it back when it is.
    void SetActive(bool value);
    bool InTransaction() const override { return FHandle != 0; }

    TFbDatabase* DefaultDatabase() const override { return FDefaultDatabase; }
    void SetDefaultDatabase(TFbDatabase* value);
    // DefaultDatabase, else the first database of the list, else none.
    TFbDatabase* MainDatabase() const;

    platform::TStringList& TRParams() { return FTRParams; }
    void SetTRParams(const QStringList& lines);
    // The TPB of the last start (the databases without parameters of their own use it).
    QByteArray TPB() const { return FTPB.left(FTPBLength); }

    quint32 Timeout() const { return FTimeout; }
    // Non-zero: idle milliseconds after which an active transaction ends with TimeoutAction.
    void SetTimeout(quint32 value);
    TTransactionAction TimeoutAction() const { return FTimeoutAction; }
    void SetTimeoutAction(TTransactionAction value) { FTimeoutAction = value; }
    TMDTTransactionRole MDTTransactionRole() const { return FMDTTransactionRole; }
    void SetMDTTransactionRole(TMDTTransactionRole value) { FMDTTransactionRole = value; }

    isc_tr_handle Handle() const { return FHandle; }
    isc_tr_handle* HandleAddress() { return &FHandle; }
    // Uses a transaction started elsewhere; ending it by commit or rollback then only forgets it.
    void SetHandle(isc_tr_handle value);
    bool HandleIsShared() const { return FHandleIsShared; }
    TTransactionState State() const { return FState; }
    // The server's id of the running transaction, read once per start; 0 when not active.
    int TransactionID();

    int DatabaseCount() const override { return int(FDatabases.size()); }
    TFbDatabase* Databases(int index) const { return FDatabases.at(index); }
    int AddDatabase(TFbDatabase* database);
    // Also gives the database its own parameter lines (CR LF separated) for the start.
    int AddDatabase(TFbDatabase* database, const QString& trParams);
    void RemoveDatabase(int index);
    void ReplaceDatabase(TFbDatabase* oldDatabase, TFbDatabase* newDatabase);
    int FindDatabase(TFbDatabase* database) const { return int(FDatabases.indexOf(database)); }

    int FbBaseCount() const { return int(FFbBases.size()); }
    TFbBase* FbBases(int index) const { return FFbBases.at(index); }

    // The binding of the main database.
    IIBClientLibrary& ClientLibrary();

    // The one place where a transaction ends.
    virtual void EndTransaction(TTransactionAction action, bool force);
    // Statements report here before and after they execute; `sqlKind` is the statement's kind as
    // its number.
    virtual void DoOnSQLExec(QObject* statement, int sqlKind, bool before);
    virtual void StartTransaction();
    virtual void Commit() { EndTransaction(TTransactionAction::TACommit, false); }
    virtual void CommitRetaining() { EndTransaction(TTransactionAction::TACommitRetaining, false); }
    virtual void Rollback() { EndTransaction(TTransactionAction::TARollback, false); }
    virtual void RollbackRetaining() { EndTransaction(TTransactionAction::TARollbackRetaining, false); }

    // TransactionNotActive unless active (an inactive transaction whose databases all reconnect by
    // themselves is started instead).
    void CheckInTransaction();
    void CheckNotInTransaction();
    void CheckDatabasesInList();
    // Epilogue of every client call made for the transaction.
    ISC_STATUS Call(ISC_STATUS errCode, bool raiseError);

    void OnDatabaseDisconnecting(TFbDatabase* database) override;
    void OnDatabaseLostConnect(TFbDatabase* database) override;
    void OnDatabaseFree(TFbDatabase* database) override;

    // Callbacks of other components, registered under a key (usually the registering object).
    // Start callbacks run from the last registered to the first, end callbacks in registration
    // order, destroy callbacks from the last to the first.
    enum class TNotice { BeforeStart, AfterStart, Destroy };
    enum class TEndNotice { BeforeEnd, AfterEnd };
    void AddEvent(TNotice notice, const void* key, TNotifyEvent callback);
    void RemoveEvent(TNotice notice, const void* key);
    void AddEndEvent(TEndNotice notice, const void* key, TEndEvent callback);
    void RemoveEndEvent(TEndNotice notice, const void* key);

    // Called after a time-out ended the transaction.
    TNotifyEvent OnTimeout;

protected:
    void Loaded() override;
    // Ends an active transaction with its time-out action made hard, forced; nothing escapes.
    void EndOnDestroy();

    bool FStreamedActive = false;

private:
    friend class TFbBase;
    struct TNoticeEntry {
        int Kind;
        const void* Key;
        quint64 Id;
        TNotifyEvent Callback;
        TEndEvent EndCallback;
    };

    int InternalAddDatabase(TFbDatabase* database, const QString& trParams, bool setText);
    void CallNotices(int kind, bool lastFirst);
    void CallEndNotices(TEndNotice kind, TTransactionAction action, bool force);
    void TimerTick();
    void AddFbBase(TFbBase* link);
    void RemoveFbBase(TFbBase* link);

    isc_tr_handle FHandle = 0;
    bool FHandleIsShared = false;
    TTransactionState FState = TTransactionState::tsClosed;
    TFbDatabase* FDefaultDatabase = nullptr;
    QList<TFbDatabase*> FDatabases;
    QStringList FDatabaseTRParams;
    QList<TFbBase*> FFbBases;
    platform::TStringList FTRParams;
    bool FTRParamsChanged = true;
    QByteArray FTPB;
    short FTPBLength = 0;
    quint32 FTimeout = 0;
    TTransactionAction FTimeoutAction = TTransactionAction::TARollback;
    TMDTTransactionRole FMDTTransactionRole = TMDTTransactionRole::mtrAutoDefine;
    TFbCustomTimer* FTimer = nullptr;
    bool FCanTimeout = false;
    int FTransactionID = 0;
    QList<TNoticeEntry> FNotices;
    quint64 FNextNoticeId = 1;
};

// The action a disconnect or destruction ends a transaction with: retaining actions become hard.
TTransactionAction HardAction(TTransactionAction action);
