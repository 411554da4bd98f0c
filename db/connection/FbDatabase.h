#pragma once
// TFbDatabase: one attachment to one Firebird database, reached through the client library
// binding; TFbBase: the link by which statements and data sets follow a database.

#include "FbBase.h"
#include "FbNoticeList.h"
#include "FbParams.h"
#include "FbStatementCache.h"
#include "IB_Intf.h"
#include "platform/Component.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class TFbDatabase;
class TFbTransaction;
class TFbCustomTimer;

enum class TDesignDBOption { ddoIsDefaultDatabase = 1, ddoStoreConnected = 2, ddoNotSavePassword = 4 };
Q_DECLARE_FLAGS(TDesignDBOptions, TDesignDBOption)
enum class TUseRepository { urFieldsInfo = 1, urDataSetInfo = 2, urErrorMessagesInfo = 4 };
Q_DECLARE_FLAGS(TUseRepositories, TUseRepository)

enum class TActionOnIdle { aiCloseConnect, aiKeepLiveConnect };

// What a database needs of a transaction that includes it. The transaction component implements
// it and registers itself with AddTransaction / RemoveTransaction.
class IFbTransactionLink {
public:
    virtual ~IFbTransactionLink();
    virtual bool InTransaction() const = 0;
    virtual int DatabaseCount() const = 0;
    virtual TFbDatabase* DefaultDatabase() const = 0;
    // The database disconnects: an active transaction ends with its time-out action, retaining
    // actions turned into hard ones, forced.
    virtual void OnDatabaseDisconnecting(TFbDatabase* database) = 0;
    // The database lost its connection: the transaction ends as committed without calling the
    // server.
    virtual void OnDatabaseLostConnect(TFbDatabase* database) = 0;
    // The database is being destroyed: the transaction forgets it.
    virtual void OnDatabaseFree(TFbDatabase* database) = 0;
};

// Cancels the client call an attachment is waiting in, from any thread: fb_cancel_raise makes the
// call fail with isc_cancelled; fb_cancel_abort also returns a call to a server that stopped
// answering, and the attachment is lost. A handle detached since is refused by the client.
class TFbAttachmentCancel {
public:
    bool Raise() const { return Cancel(fb_cancel_raise); }
    bool Abort() const { return Cancel(fb_cancel_abort); }

private:
    friend class TFbDatabase;
    bool Cancel(int option) const;
    IIBClientLibraryPtr FLibrary;
    isc_db_handle FHandle = 0;
};

class TFbDatabase : public platform::TComponent {
    Q_OBJECT
public:
    explicit TFbDatabase(platform::TComponent* owner = nullptr);
    ~TFbDatabase() override;

    using TNotifyEvent = std::function<void(TFbDatabase* sender)>;
    using TIdleConnectEvent =
        std::function<void(TFbDatabase* sender, quint32 idleTicks, TActionOnIdle& action)>;

    bool Connected() const { return FHandle != 0; }
    void SetConnected(bool value);
    QString DBName() const { return FDBName; }
    void SetDBName(const QString& value);
    QString DatabaseName() const { return FDBName; }
    void SetDatabaseName(const QString& value) { SetDBName(value); }
    TDBParams& DBParams() { return FDBParams; }
    void SetDBParams(const QStringList& lines);
    TConnectParams& ConnectParams() { return FConnectParams; }
    int SQLDialect() const { return FSQLDialect; }
    void SetSQLDialect(int value);
    quint32 Timeout() const { return FTimeout; }
    void SetTimeout(quint32 value);
    bool UseLoginPrompt() const { return FUseLoginPrompt; }
    void SetUseLoginPrompt(bool value) { FUseLoginPrompt = value; }
    bool SynchronizeTime() const { return FSynchronizeTime; }
    void SetSynchronizeTime(bool value) { FSynchronizeTime = value; }
    bool UpperOldNames() const { return FUpperOldNames; }
    void SetUpperOldNames(bool value) { FUpperOldNames = value; }
    bool AutoReconnect() const { return FAutoReconnect; }
    void SetAutoReconnect(bool value) { FAutoReconnect = value; }
    TDesignDBOptions DesignDBOptions() const { return FDesignDBOptions; }
    void SetDesignDBOptions(TDesignDBOptions value) { FDesignDBOptions = value; }
    TUseRepositories UseRepositories() const { return FUseRepositories; }
    void SetUseRepositories(TUseRepositories value) { FUseRepositories = value; }

    QString LibraryName() const { return FLibraryName; }
    void SetLibraryName(const QString& value);
    // The binding of LibraryName, obtained (and loaded) on first use.
    IIBClientLibrary& ClientLibrary();
    QString ClientVersion();
    int ClientMajorVersion();
    int ClientMinorVersion();
    bool Busy() const { return FClientLibrary && FClientLibrary->Busy(); }

    isc_db_handle Handle() const { return FHandle; }
    isc_db_handle* HandleAddress() { return &FHandle; }
    // Uses an attachment made elsewhere; closing then forgets it without detaching.
    void SetHandle(isc_db_handle value);
    bool HandleIsShared() const { return FHandleIsShared; }
    // What another thread needs to cancel this attachment's waiting call; inert when not connected.
    TFbAttachmentCancel AttachmentCancel() const;
    // Local time minus the server's time, in days, as read after the last attach; 0 otherwise.
    double DifferenceTime() const { return Connected() ? FDifferenceTime : 0; }
    // The server's current time; reads it with a one-value query in the internal transaction.
    double GetServerTime();
    // How many idle prepared statements the connection keeps for reuse by text (0, the default:
    // none, each text change prepares anew); lowering it drops the least recently used at once.
    // Kept handles do not see tables changed by other attachments (FbStatementCache.h): turn it on
    // only for a span of work and back to 0 at its end.
    int StatementCacheSize() const { return FStatementCache.Capacity(); }
    void SetStatementCacheSize(int value) { FStatementCache.SetCapacity(value); }
    // The idle prepared statements of the connection (statements take and give back handles).
    TFbStatementCache& StatementCache() { return FStatementCache; }
    // The database's own transaction, used for its own queries.
    TFbTransaction* InternalTransaction() const { return vInternalTransaction; }

    virtual void Open(bool raiseExcept = true);
    void Close();
    void ForceClose();

    // Epilogue of every client call made for this database; raises the status-vector error
    // when asked and errCode > 0.
    ISC_STATUS Call(ISC_STATUS errCode, bool raiseError);
    void CheckActive(bool tryReconnect = false);
    void CheckInactive();
    void CheckDatabaseName();
    bool TestConnected();

    int AttachmentID();
    int DBSQLDialect();
    int FBAttachCharsetID();
    QString FBVersion();
    QString Version();
    int ODSMajorVersion();
    int ODSMinorVersion();
    int BaseLevel();

    bool IsFirebirdConnect() const { return FIsFireBirdConnect; }
    bool IsIB2007Connect() const { return FIsIB2007Connect; }
    bool IsUnicodeConnect() const { return FIsUnicodeConnect; }
    bool IsNoneConnect() const { return FIsNoneConnect; }
    bool IsKOI8Connect() const { return FIsKOI8Connect; }
    bool NeedUnicodeFieldsTranslation() const { return FNeedUnicodeFieldsTranslation; }
    bool NeedUTFEncodeDDL() const { return FNeedUTFDecodeDDL; }
    int ServerMajorVersion();
    int ServerMinorVersion();
    int ServerRelease();
    int ServerBuild();

    // Transactions that include this database. One that is removed is no default transaction of
    // it any more.
    int AddTransaction(IFbTransactionLink* transaction);
    void RemoveTransaction(IFbTransactionLink* transaction);
    int TransactionCount() const { return int(FTransactions.size()); }
    IFbTransactionLink* Transactions(int index) const { return FTransactions.at(index); }
    int ActiveTransactionCount() const;
    IFbTransactionLink* FirstActiveTransaction() const;
    int FbBaseCount() const { return FFbBases.Count(); }
    TFbBase* FbBases(int index) const { return FFbBases.At(index); }

    // Transactions that statements and data sets of this database get when they have none.
    // Assigning one adds this database to it and, when it has no default database, makes this
    // database its default database.
    TFbTransaction* DefaultTransaction() const { return FDefaultTransaction; }
    void SetDefaultTransaction(TFbTransaction* value);
    TFbTransaction* DefaultUpdateTransaction() const { return FDefaultUpdateTransaction; }
    void SetDefaultUpdateTransaction(TFbTransaction* value);
    // The same operations of DefaultTransaction; TransactionNotAssigned without one.
    void StartTransaction();
    void Commit();
    void CommitRetaining();
    void Rollback();
    void RollbackRetaining();

    // Callbacks of other components for the connected, before-disconnect and destroy notices,
    // registered under a key (usually the registering object).
    enum class TNotice { Connected, BeforeDisconnect, Destroy };
    void AddEvent(TNotice notice, const void* key, TNotifyEvent callback);
    void RemoveEvent(TNotice notice, const void* key);

    TNotifyEvent OnConnect;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;
    TNotifyEvent OnTimeout;
    TIdleConnectEvent OnIdleConnect;

protected:
    virtual void InternalClose(bool force);
    virtual void SaveAlias() {}
    void Loaded() override;
    // Forgets the attachment without calling the server (the connection is gone).
    void CloseLostConnect();

    bool FStreamedConnected = false;

private:
    friend class TFbLinkGate;

    void InternalOpen(bool raiseExcept);
    void RunLoginDialog();
    void ReadServerVersion();
    void SetConnectionFacts();
    // One database information item, asked with a 512-byte (or larger) answer buffer; none when
    // the server does not return it.
    std::optional<QByteArray> DatabaseInfo(char item, int bufferSize = 512);
    int DatabaseInfoInteger(char item, int missing);
    QString DatabaseInfoString(char item, int bufferSize);
    void CallNotices(TNotice notice, bool whileConnected);
    // The transactions a disconnect ends: the internal one first, then those of the list.
    QList<IFbTransactionLink*> TransactionsToEnd() const;
    bool StillListed(IFbTransactionLink* transaction) const;
    // Detaches the attachment; false when it is still there (an unforced close then raises).
    bool Detach(bool force);
    void IdleTimerTick();
    void AddFbBase(TFbBase* link);
    void RemoveFbBase(TFbBase* link);
    void AssignDefaultTransaction(TFbTransaction*& slot, TFbTransaction* value);

    isc_db_handle FHandle = 0;
    bool FHandleIsShared = false;
    QString FDBName;
    TDBParams FDBParams;
    TConnectParams FConnectParams;
    int FSQLDialect = 1;
    quint32 FTimeout = 0;
    bool FUseLoginPrompt = false;
    bool FSynchronizeTime = true;
    bool FUpperOldNames = false;
    bool FAutoReconnect = false;
    TDesignDBOptions FDesignDBOptions = TDesignDBOption::ddoStoreConnected;
    TUseRepositories FUseRepositories = TUseRepositories(TUseRepository::urFieldsInfo) |
                                        TUseRepository::urDataSetInfo | TUseRepository::urErrorMessagesInfo;
    QString FLibraryName = QString::fromUtf16(DefaultLibraryName);
    IIBClientLibraryPtr FClientLibrary;
    bool FClientLibLoaded = false;
    bool FDBParamsChanged = true;
    bool FDPBForFirebird = true;
    QByteArray FDPB;
    short FDPBLength = 0;
    TFbLinkList FFbBases;
    QList<IFbTransactionLink*> FTransactions;
    TFbTransaction* FDefaultTransaction = nullptr;
    TFbTransaction* FDefaultUpdateTransaction = nullptr;
    db::connection::TFbNoticeList<TNotice, TNotifyEvent> FNotices;
    int vAttachmentID = -1;
    int FServerMajorVersion = -1;
    int FServerMinorVersion = -1;
    int FServerRelease = -1;
    int FServerBuild = -1;
    bool FIsFireBirdConnect = false;
    bool FIsIB2007Connect = false;
    bool FIsUnicodeConnect = false;
    bool FIsNoneConnect = false;
    bool FIsKOI8Connect = false;
    bool FNeedUnicodeFieldsTranslation = false;
    bool FNeedUTFDecodeDDL = false;
    double FDifferenceTime = 0;
    TFbTransaction* vInternalTransaction = nullptr;
    TFbCustomTimer* FTimer = nullptr;
    quint32 FLastActiveTime = 0;
    TFbStatementCache FStatementCache;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TDesignDBOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(TUseRepositories)

// Login dialog seam: shows the database name (see LoginDialogDatabaseName) and lets the user edit
// user name, password and role; returns false when cancelled. Empty by default, which counts as
// cancelled.
using TFbLoginDialog =
    std::function<bool(const QString& databaseName, QString& userName, QString& password, QString& roleName)>;
namespace db::connection {
void SetFbLoginDialog(TFbLoginDialog dialog);
} // namespace db::connection
