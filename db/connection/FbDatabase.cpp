#include "FbDatabase.h"

#include "FbConstants.h"
#include "FbOwners.h"

#include "FbBase.h"
#include "FbInfo.h"
#include "FbInternal.h"
#include "FbSafeTimer.h"
#include "FbTransaction.h"
#include "fb.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QFile>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <link.h>
#include <mutex>

using namespace db::connection;

namespace {

// Serialises every attach of the process.
std::recursive_mutex& ConnectLock() {
    static std::recursive_mutex lock;
    return lock;
}

// Every database of the process. Never destroyed: the exit hook below reads it after static
// destruction may have begun.
struct TDatabaseList {
    std::mutex Lock;
    QList<TFbDatabase*> Items;
    // Shared objects loaded when the exit hook was last registered.
    unsigned long long HookedAtLoads = 0;
};

TDatabaseList& Databases() {
    static TDatabaseList* const list = new TDatabaseList;
    return *list;
}

// Databases still in use when the program ends are closed, their transactions ended with their
// time-out actions. A close that a handler breaks off is forced, so the ends and the detach happen.
void CloseDatabasesAtExit() {
    TDatabaseList& list = Databases();
    QList<TFbDatabase*> items;
    {
        std::lock_guard lock(list.Lock);
        items = list.Items;
    }
    for (TFbDatabase* database : items) {
        {
            std::lock_guard lock(list.Lock);
            if (!list.Items.contains(database)) continue;
        }
        try {
            database->Close();
        } catch (...) {
            try {
                if (database->Connected()) database->ForceClose();
            } catch (...) {
            }
        }
    }
}

// Number of shared objects the process has loaded so far.
unsigned long long LoadedObjectCount() {
    unsigned long long adds = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t size, void* data) {
            if (size >= offsetof(dl_phdr_info, dlpi_adds) + sizeof(info->dlpi_adds))
                *static_cast<unsigned long long*>(data) = info->dlpi_adds;
            return 1;
        },
        &adds);
    return adds;
}

// exit() runs its handlers and the static destructors in the reverse order of their registration,
// and the client library (with the engine it loads on an attach) registers its own clean-up when
// it is loaded. The hook is registered again after every attach that loaded something new, so it
// runs while the client is still whole.
void HookCloseAtExit() {
    const unsigned long long loads = LoadedObjectCount();
    TDatabaseList& list = Databases();
    std::lock_guard lock(list.Lock);
    if (loads == list.HookedAtLoads) return;
    if (std::atexit(CloseDatabasesAtExit) == 0) list.HookedAtLoads = loads;
}

std::mutex gLoginDialogLock;
TFbLoginDialog gLoginDialog;

QString ExceptionText(const std::exception& e) {
    if (auto* own = dynamic_cast<const platform::Exception*>(&e)) return own->Message();
    return QString::fromUtf8(e.what());
}

// Runs a user event; an exception from it becomes a base exception with the event named.
template <class F>
void CallReplacingError(TFbDatabase* database, const char16_t* format, const char16_t* destroyingFormat,
                        F&& f) {
    QString text;
    try {
        f();
        return;
    } catch (const std::exception& e) {
        text = ExceptionText(e);
    } catch (...) {
        text = QString::fromUtf16(platform::rtl::SUnkOSError);
    }
    throw platform::Exception(
        platform::Format(database->Destroying() ? destroyingFormat : format, {database->FullName(), text}));
}

} // namespace

IFbTransactionLink::~IFbTransactionLink() = default;

// ---- TFbDatabase

TFbDatabase::TFbDatabase(platform::TComponent* owner)
    : platform::TComponent(owner), FConnectParams(FDBParams) {
    FDBParams.OnChanging = [this] {
        if (Connected()) RaiseFbError(FbClientError::DatabaseOpen);
    };
    FDBParams.OnChange = [this] { FDBParamsChanged = true; };
    vInternalTransaction = new TFbTransaction(nullptr);
    vInternalTransaction->SetTimeoutAction(TTransactionAction::TACommit);
    vInternalTransaction->SetTRParams({QStringLiteral("write"), QStringLiteral("isc_tpb_nowait"),
                                       QStringLiteral("read_committed"), QStringLiteral("rec_version")});
    vInternalTransaction->SetDefaultDatabase(this);
    // The database's own transaction is not one of the transactions its users work in: it is
    // ended and destroyed by the database itself and never counted with theirs.
    FTransactions.removeAll(vInternalTransaction);
    TDatabaseList& list = Databases();
    std::lock_guard lock(list.Lock);
    list.Items.append(this);
}

TFbDatabase::~TFbDatabase() {
    Destroying_();
    delete FTimer;
    FTimer = nullptr;
    {
        TDatabaseList& list = Databases();
        std::lock_guard lock(list.Lock);
        list.Items.removeAll(this);
    }
    if (vInternalTransaction->InTransaction()) {
        try {
            vInternalTransaction->Commit();
        } catch (...) {
        }
    }
    delete vInternalTransaction;
    vInternalTransaction = nullptr;
    if (Connected()) {
        try {
            ForceClose();
        } catch (...) {
            // Nothing may escape a destructor; the attachment is forgotten below.
        }
    }
    // Handles still kept belong to an attachment that is gone.
    FStatementCache.ForgetAll();
    FNotices.CallAllLastFirst(TNotice::Destroy, this);
    FFbBases.FreeAll(&TFbBase::OnDatabaseFree, [this](TFbBase& link) {
        if (link.Database() == this) link.SetDatabase(nullptr);
        link.SetTransaction(nullptr);
    });
    const QList<IFbTransactionLink*> transactions = FTransactions;
    FTransactions.clear();
    for (IFbTransactionLink* transaction : transactions)
        transaction->OnDatabaseFree(this);
    FClientLibrary.reset();
}

void TFbDatabase::SetConnected(bool value) {
    if (Loading()) {
        FStreamedConnected = value;
        return;
    }
    if (value == Connected()) return;
    if (value)
        Open(true);
    else
        Close();
}

void TFbDatabase::Loaded() {
    platform::TComponent::Loaded();
    if (!Name().isEmpty()) vInternalTransaction->SetName(Name() + QStringLiteral("_InternalTransaction"));
    if (FStreamedConnected) {
        FStreamedConnected = false;
        SetConnected(true);
    }
}

void TFbDatabase::SetDBName(const QString& value) {
    if (value == FDBName) return;
    CheckInactive();
    FDBName = value;
}

void TFbDatabase::SetDBParams(const QStringList& lines) {
    FDBParams.SetStrings(lines);
}

void TFbDatabase::SetSQLDialect(int value) {
    if (value < 1) RaiseFbError(FbClientError::InvalidSQLDialect);
    if (Connected() && value > DBSQLDialect()) RaiseFbError(FbClientError::InvalidSQLDialect);
    FSQLDialect = value;
}

void TFbDatabase::SetTimeout(quint32 value) {
    FTimeout = value;
    if (!SetTimeoutTimer(FTimer, value, [this] { IdleTimerTick(); })) return;
    FLastActiveTime = FbTickCount();
    FTimer->SetEnabled(true);
}

void TFbDatabase::IdleTimerTick() {
    if (!Connected()) return;
    TActionOnIdle action = TActionOnIdle::aiCloseConnect;
    if (OnIdleConnect) OnIdleConnect(this, FbTickCount() - FLastActiveTime, action);
    if (action == TActionOnIdle::aiKeepLiveConnect) return;
    ForceClose();
    if (OnTimeout) OnTimeout(this);
}

void TFbDatabase::SetLibraryName(const QString& value) {
    CheckInactive();
    if (value == FLibraryName) return;
    FLibraryName = value;
    FClientLibrary.reset();
    FClientLibLoaded = false;
    if (!value.isEmpty()) ClientLibrary();
}

bool TFbAttachmentCancel::Cancel(int option) const {
    if (!FLibrary || FHandle == 0) return false;
    // A status vector of its own: the thread's vector may be the one the waiting call reports in.
    ISC_STATUS_ARRAY status = {};
    isc_db_handle handle = FHandle;
    try {
        return FLibrary->fb_cancel_operation(status, &handle, static_cast<unsigned short>(option)) == 0;
    } catch (...) {
        return false; // a client without the entry point: nothing can be cancelled
    }
}

TFbAttachmentCancel TFbDatabase::AttachmentCancel() const {
    TFbAttachmentCancel cancel;
    if (Connected() && FClientLibrary) {
        cancel.FLibrary = FClientLibrary;
        cancel.FHandle = FHandle;
    }
    return cancel;
}

IIBClientLibrary& TFbDatabase::ClientLibrary() {
    if (!FClientLibLoaded) {
        FClientLibrary = GetIBClientLibrary(FLibraryName);
        FClientLibLoaded = true;
    }
    if (!FClientLibrary->LibraryLoaded()) FClientLibrary->LoadIBLibrary();
    return *FClientLibrary;
}

QString TFbDatabase::ClientVersion() {
    char buffer[100] = {};
    ClientLibrary().isc_get_client_version(buffer);
    buffer[sizeof(buffer) - 1] = 0;
    return QString::fromLatin1(buffer);
}

int TFbDatabase::ClientMajorVersion() {
    return ClientLibrary().FbClientVersion();
}

int TFbDatabase::ClientMinorVersion() {
    return ClientLibrary().FbClientMinorVersion();
}

void TFbDatabase::SetHandle(isc_db_handle value) {
    CheckInactive();
    FHandle = value;
    FHandleIsShared = value != 0;
}

ISC_STATUS TFbDatabase::Call(ISC_STATUS errCode, bool raiseError) {
    RestoreDefaultFPUState();
    if (FTimer && FTimer->Enabled()) {
        FTimer->Restart();
        FLastActiveTime = FbTickCount();
    }
    if (raiseError && errCode > 0) RaiseIBError(ClientLibrary(), this);
    return errCode;
}

void TFbDatabase::CheckInactive() {
    if (FHandle) RaiseFbError(FbClientError::DatabaseOpen);
}

void TFbDatabase::CheckDatabaseName() {
    if (FDBName.isEmpty()) RaiseFbError(FbClientError::DatabaseNameMissing);
}

void TFbDatabase::CheckActive(bool tryReconnect) {
    if (FHandle) return; // the common case first: every client call of every statement asks
    if (FStreamedConnected && !Loading()) Loaded();
    if (FHandle) return;
    if (!FAutoReconnect) RaiseFbError(FbClientError::DatabaseNotOpen, {FullName()});
    if (!(tryReconnect || FAutoReconnect)) return;
    const bool oldPrompt = FUseLoginPrompt;
    try {
        FUseLoginPrompt = FConnectParams.Password().isEmpty();
        Open(true);
    } catch (...) {
        if (!oldPrompt && !FUseLoginPrompt) {
            try {
                FUseLoginPrompt = true;
                Open(true);
            } catch (...) {
            }
        }
    }
    FUseLoginPrompt = oldPrompt;
}

bool TFbDatabase::TestConnected() {
    if (!Connected()) return false;
    try {
        BaseLevel();
    } catch (...) {
        ForceClose();
        return false;
    }
    return true;
}

void TFbDatabase::Open(bool raiseExcept) {
    FServerMajorVersion = -1;
    FServerMinorVersion = -1;
    FServerBuild = -1;

    ISC_STATUS result = 0;
    {
        std::lock_guard lock(ConnectLock());
        CheckInactive();
        CheckDatabaseName();
        IIBClientLibrary& library = ClientLibrary();
        FFbBases.Notify(&TFbBase::OnDatabaseConnecting);
        if (FUseLoginPrompt) RunLoginDialog();
        // The buffer also depends on the server kind it was built for.
        if (FDBParamsChanged || FDPBForFirebird != FConnectParams.IsFirebird()) {
            try {
                FDBParamsChanged = false;
                FDPBForFirebird = FConnectParams.IsFirebird();
                GenerateDPB(FDBParams, FDPB, FDPBLength, FDPBForFirebird);
            } catch (...) {
                // No buffer is kept from a failed build.
                FDBParamsChanged = true;
                FDPB.clear();
                FDPBLength = 0;
                throw;
            }
        }
        // File names go to the client in the file-system encoding.
        const QByteArray name = QFile::encodeName(FDBName);
        result = library.isc_attach_database(StatusVector(), short(name.size() <= SHRT_MAX ? name.size() : 0),
                                             name.constData(), &FHandle, FDPBLength, FDPB.constData());
        Call(result, false);
    }
    if (result > 0) {
        FHandle = 0;
        if (raiseExcept) RaiseIBError(ClientLibrary(), this);
        return;
    }
    HookCloseAtExit();

    vInternalTransaction->SetTimeout(1000);
    vAttachmentID = -1;
    AttachmentID();
    FDifferenceTime = 0;

    const int dialect = DBSQLDialect();
    if (dialect < FSQLDialect) FSQLDialect = dialect;
    if (FSynchronizeTime) FDifferenceTime = platform::Now() - GetServerTime();

    SetConnectionFacts();

    if (OnConnect && Connected()) OnConnect(this);
    CallNotices(TNotice::Connected, true);
    FFbBases.ForEach([this](TFbBase& link) {
        if (!Connected()) return false;
        if (link.OnDatabaseConnected) link.OnDatabaseConnected();
        return true;
    });
}

void TFbDatabase::RunLoginDialog() {
    TFbLoginDialog dialog;
    {
        std::lock_guard lock(gLoginDialogLock);
        dialog = gLoginDialog;
    }
    QString user = FConnectParams.UserName();
    QString role = FConnectParams.RoleName();
    QString password;
    if (!dialog || !dialog(LoginDialogDatabaseName(FDBName), user, password, role))
        RaiseFbError(FbClientError::OperationCancelled);
    FConnectParams.SetUserName(user);
    FConnectParams.SetPassword(password);
    FConnectParams.SetRoleName(role);
}

void TFbDatabase::SetConnectionFacts() {
    FIsFireBirdConnect = !FBVersion().isEmpty();
    FIsIB2007Connect = false;
    FIsUnicodeConnect = false;
    FIsNoneConnect = false;
    FIsKOI8Connect = false;
    FNeedUnicodeFieldsTranslation = false;
    FNeedUTFDecodeDDL = false;
    if (!FIsFireBirdConnect) FIsIB2007Connect = ServerMajorVersion() > 7;
    if (FIsFireBirdConnect && ServerMajorVersion() > 1) {
        const int charset = FBAttachCharsetID();
        FIsUnicodeConnect = charset == CharSetUnicodeFss || charset == CharSetUtf8;
        FIsNoneConnect = charset == CharSetNone;
        FNeedUnicodeFieldsTranslation = FIsUnicodeConnect || FIsNoneConnect;
        const bool newServer =
            ServerMajorVersion() > 2 || (ServerMajorVersion() == 2 && ServerMinorVersion() > 0);
        const bool newODS = ODSMajorVersion() > 11 || (ODSMajorVersion() == 11 && ODSMinorVersion() > 0);
        FNeedUTFDecodeDDL = FNeedUnicodeFieldsTranslation && newServer && newODS;
        FIsKOI8Connect = charset == CharSetKoi8R || charset == CharSetKoi8U;
    } else {
        const QString charset = FConnectParams.CharSet().toUpper();
        FIsUnicodeConnect = charset == QLatin1String("UNICODE_FSS") || charset == QLatin1String("UTF8");
        FIsNoneConnect = charset == QLatin1String("NONE") || charset.isEmpty();
        FNeedUnicodeFieldsTranslation = FIsUnicodeConnect || FIsNoneConnect;
    }
}

void TFbDatabase::CallNotices(TNotice notice, bool whileConnected) {
    FNotices.Round(notice, false, [&](const TNotifyEvent& callback) {
        if (whileConnected && !Connected()) return false;
        callback(this);
        return true;
    });
}

void TFbDatabase::AddEvent(TNotice notice, const void* key, TNotifyEvent callback) {
    FNotices.Add(notice, key, std::move(callback));
}

void TFbDatabase::RemoveEvent(TNotice notice, const void* key) {
    FNotices.Remove(notice, key);
}

void TFbDatabase::Close() {
    if (Connected()) InternalClose(false);
    vAttachmentID = -1;
    FDifferenceTime = 0;
    vInternalTransaction->SetTimeout(0);
}

QByteArray db::connection::ServerTimeQuery(int sqlDialect) {
    return sqlDialect > 1 ? QByteArrayLiteral("SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE")
                          : QByteArrayLiteral("SELECT CAST('NOW' AS DATE) from RDB$DATABASE");
}

double TFbDatabase::GetServerTime() {
    CheckActive(false);
    IIBClientLibrary& library = ClientLibrary();
    TFbTransaction& transaction = *vInternalTransaction;
    const QByteArray sql = ServerTimeQuery(FSQLDialect);
    const unsigned short dialect = static_cast<unsigned short>(FSQLDialect);
    const bool started = !transaction.InTransaction();
    if (started) transaction.StartTransaction();

    // One column: a dialect-1 DATE is a time stamp as well.
    alignas(XSQLDA) char descriptor[XSQLDA_LENGTH(1)] = {};
    XSQLDA* out = reinterpret_cast<XSQLDA*>(descriptor);
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    ISC_TIMESTAMP value{};
    short indicator = 0;
    TFbStatementHandle statement;
    try {
        Call(library.isc_dsql_alloc_statement2(StatusVector(), &FHandle, statement.Allocate(library)), true);
        transaction.Call(library.isc_dsql_prepare(StatusVector(), transaction.HandleAddress(),
                                                  statement.Address(), static_cast<unsigned short>(0),
                                                  sql.constData(), dialect, out),
                         true);
        out->sqlvar[0].sqltype = SQL_TIMESTAMP | 1;
        out->sqlvar[0].sqlscale = 0;
        out->sqlvar[0].sqllen = sizeof(ISC_TIMESTAMP);
        out->sqlvar[0].sqldata = reinterpret_cast<char*>(&value);
        out->sqlvar[0].sqlind = &indicator;
        transaction.Call(library.isc_dsql_execute(StatusVector(), transaction.HandleAddress(),
                                                  statement.Address(), dialect,
                                                  static_cast<XSQLDA*>(nullptr)),
                         true);
        const ISC_STATUS fetched = library.isc_dsql_fetch(StatusVector(), statement.Address(), dialect, out);
        if (fetched != FetchEnd) transaction.Call(fetched, true);
        if (fetched == FetchEnd || indicator < 0) {
            // Not expected from RDB$DATABASE; a missing row reads as day 0.
            value = ISC_TIMESTAMP{};
        }
        Call(library.isc_dsql_free_statement(StatusVector(), statement.Address(),
                                             static_cast<unsigned short>(DSQL_drop)),
             true);
        statement.Release();
        if (started) transaction.Commit();
    } catch (...) {
        // The failed query leaves nothing behind: no statement, and no transaction it started.
        statement.Drop();
        if (started && transaction.InTransaction()) {
            try {
                transaction.EndTransaction(TTransactionAction::TARollback, true);
            } catch (...) {
            }
        }
        RestoreDefaultFPUState();
        throw;
    }
    return double(value.timestamp_date - TimeStampDayOf18991230) +
           double(value.timestamp_time) / (86400.0 * ISC_TIME_SECONDS_PRECISION);
}

void TFbDatabase::ForceClose() {
    InternalClose(true);
}

void TFbDatabase::InternalClose(bool force) {
    CheckActive(false);
    // A forced close goes on whatever the before-disconnect handlers raise, and reports the first
    // error once the database is closed.
    std::exception_ptr handlerError;
    const auto beforeDisconnect = [&](auto&& handler) {
        if (!force) return handler();
        try {
            handler();
        } catch (...) {
            if (!handlerError) handlerError = std::current_exception();
        }
    };
    beforeDisconnect([this] {
        CallReplacingError(
            this, u"Error of %s.BeforeDisconnect. %s",
            u"Error of %s.BeforeDisconnect. Probably you are trying to get access to destroyed "
            u"components. %s",
            [this] {
                if (BeforeDisconnect) BeforeDisconnect(this);
            });
    });
    beforeDisconnect([this] { CallNotices(TNotice::BeforeDisconnect, false); });

    for (IFbTransactionLink* transaction : TransactionsToEnd()) {
        if (!StillListed(transaction) || !transaction->InTransaction()) continue;
        try {
            transaction->OnDatabaseDisconnecting(this);
        } catch (...) {
            if (!force) throw;
        }
    }
    FFbBases.ForEach([force](TFbBase& link) {
        try {
            if (link.OnDatabaseDisconnecting) link.OnDatabaseDisconnecting();
        } catch (...) {
            if (!force) throw;
        }
        return true;
    });

    // The statements have given their handles back: none may outlive the attachment.
    FStatementCache.DropAll();
    if (!FHandleIsShared && !Detach(force)) {
        if (handlerError) std::rethrow_exception(handlerError);
        return;
    }
    FHandle = 0;
    FHandleIsShared = false;

    FFbBases.Notify(&TFbBase::OnDatabaseDisconnected);

    CallReplacingError(this, u"Error of %s.AfterDisconnect. %s",
                       u"Error of %s.AfterDisconnect. Probably you are trying to get access to destroyed "
                       u"components. %s",
                       [this] {
                           if (AfterDisconnect) AfterDisconnect(this);
                       });
    if (handlerError) std::rethrow_exception(handlerError);
}

QList<IFbTransactionLink*> TFbDatabase::TransactionsToEnd() const {
    // The internal transaction was the database's first: it ends before the others.
    QList<IFbTransactionLink*> transactions = FTransactions;
    if (vInternalTransaction) transactions.prepend(vInternalTransaction);
    return transactions;
}

bool TFbDatabase::StillListed(IFbTransactionLink* transaction) const {
    return (transaction && transaction == vInternalTransaction) || FTransactions.contains(transaction);
}

bool TFbDatabase::Detach(bool force) {
    IIBClientLibrary& library = ClientLibrary();
    if (Call(library.isc_detach_database(StatusVector(), &FHandle), false) <= 0 || !FHandle) return true;
    // A refused detach (transactions open that nobody here knows of) shuts the attachment down, but
    // it keeps those transactions and their locks until it is detached once more.
    if (Call(library.isc_detach_database(StatusVector(), &FHandle), false) <= 0 || !FHandle) return true;
    if (force) return true;
    RaiseIBError(library, this);
    return false;
}

void TFbDatabase::CloseLostConnect() {
    FStatementCache.ForgetAll();
    FHandle = 0;
    FHandleIsShared = false;
    vAttachmentID = -1;
    FFbBases.ForEach([](TFbBase& link) {
        try {
            if (link.OnDatabaseLostConnect) link.OnDatabaseLostConnect();
        } catch (...) {
        }
        return true;
    });
    for (IFbTransactionLink* transaction : TransactionsToEnd()) {
        try {
            if (StillListed(transaction) && transaction->InTransaction())
                transaction->OnDatabaseLostConnect(this);
        } catch (...) {
        }
    }
}

std::optional<QByteArray> TFbDatabase::DatabaseInfo(char item, int bufferSize) {
    CheckActive(false);
    QByteArray buffer(bufferSize, '\0');
    Call(ClientLibrary().isc_database_info(StatusVector(), &FHandle, 1, &item, short(bufferSize),
                                           buffer.data()),
         true);
    return db::connection::InfoValue(buffer.constData(), buffer.size(), item);
}

int TFbDatabase::DatabaseInfoInteger(char item, int missing) {
    const std::optional<QByteArray> value = DatabaseInfo(item);
    return value ? int(db::connection::InfoInteger(*value)) : missing;
}

QString TFbDatabase::DatabaseInfoString(char item, int bufferSize) {
    // A count of strings, then each as a length byte and its text; the first one is wanted.
    const std::optional<QByteArray> value = DatabaseInfo(item, bufferSize);
    if (!value || value->size() < 2) return QString();
    return QString::fromLatin1(value->mid(2, quint8(value->at(1))));
}

int TFbDatabase::AttachmentID() {
    if (vAttachmentID == -1) vAttachmentID = DatabaseInfoInteger(isc_info_attachment_id, -1);
    return vAttachmentID;
}

int TFbDatabase::DBSQLDialect() {
    return DatabaseInfoInteger(isc_info_db_sql_dialect, 1);
}

int TFbDatabase::FBAttachCharsetID() {
    return DatabaseInfoInteger(frb_info_att_charset, -1);
}

QString TFbDatabase::FBVersion() {
    return DatabaseInfoString(isc_info_firebird_version, 512);
}

QString TFbDatabase::Version() {
    return DatabaseInfoString(isc_info_version, 1024);
}

int TFbDatabase::ODSMajorVersion() {
    return DatabaseInfoInteger(isc_info_ods_version, 0);
}

int TFbDatabase::ODSMinorVersion() {
    return DatabaseInfoInteger(isc_info_ods_minor_version, 0);
}

int TFbDatabase::BaseLevel() {
    const std::optional<QByteArray> value = DatabaseInfo(isc_info_base_level);
    return value && value->size() >= 2 ? quint8(value->at(1)) : 0;
}

void TFbDatabase::ReadServerVersion() {
    const QString firebird = FBVersion();
    const QString text = firebird.isEmpty() ? Version() : firebird;
    ParseServerVersion(text, FServerMajorVersion, FServerMinorVersion, FServerRelease, FServerBuild);
}

int TFbDatabase::ServerMajorVersion() {
    if (FServerMajorVersion == -1 && Connected()) ReadServerVersion();
    return FServerMajorVersion;
}

int TFbDatabase::ServerMinorVersion() {
    if (FServerMajorVersion == -1 && Connected()) ReadServerVersion();
    return FServerMinorVersion;
}

int TFbDatabase::ServerRelease() {
    if (FServerMajorVersion == -1 && Connected()) ReadServerVersion();
    return FServerRelease;
}

int TFbDatabase::ServerBuild() {
    if (FServerMajorVersion == -1 && Connected()) ReadServerVersion();
    return FServerBuild;
}

int TFbDatabase::AddTransaction(IFbTransactionLink* transaction) {
    if (!transaction) return -1;
    const qsizetype index = FTransactions.indexOf(transaction);
    if (index >= 0) return int(index);
    FTransactions.append(transaction);
    return int(FTransactions.size() - 1);
}

void TFbDatabase::RemoveTransaction(IFbTransactionLink* transaction) {
    FTransactions.removeAll(transaction);
    // A transaction that leaves is no default of this database any more.
    if (FDefaultTransaction && static_cast<IFbTransactionLink*>(FDefaultTransaction) == transaction)
        FDefaultTransaction = nullptr;
    if (FDefaultUpdateTransaction &&
        static_cast<IFbTransactionLink*>(FDefaultUpdateTransaction) == transaction)
        FDefaultUpdateTransaction = nullptr;
}

int TFbDatabase::ActiveTransactionCount() const {
    int count = 0;
    for (IFbTransactionLink* transaction : FTransactions)
        if (transaction->InTransaction()) ++count;
    return count;
}

IFbTransactionLink* TFbDatabase::FirstActiveTransaction() const {
    for (IFbTransactionLink* transaction : FTransactions)
        if (transaction->InTransaction() &&
            (transaction->DatabaseCount() < 2 || transaction->DefaultDatabase() == this))
            return transaction;
    return nullptr;
}

void TFbDatabase::AddFbBase(TFbBase* link) {
    FFbBases.Add(link);
}

void TFbDatabase::RemoveFbBase(TFbBase* link) {
    FFbBases.Remove(link);
}

void TFbDatabase::SetDefaultTransaction(TFbTransaction* value) {
    AssignDefaultTransaction(FDefaultTransaction, value);
}

void TFbDatabase::SetDefaultUpdateTransaction(TFbTransaction* value) {
    AssignDefaultTransaction(FDefaultUpdateTransaction, value);
}

void TFbDatabase::AssignDefaultTransaction(TFbTransaction*& slot, TFbTransaction* value) {
    // The transaction must list this database before it is remembered: a refused addition
    // leaves the old assignment in place.
    if (value) {
        value->AddDatabase(this);
        if (!value->DefaultDatabase()) value->SetDefaultDatabase(this);
    }
    slot = value;
}

namespace {
TFbTransaction& DefaultTransactionOf(TFbDatabase* database) {
    if (!database->DefaultTransaction())
        RaiseFbError(FbClientError::TransactionNotAssigned, {database->FullName()});
    return *database->DefaultTransaction();
}
} // namespace

void TFbDatabase::StartTransaction() {
    DefaultTransactionOf(this).StartTransaction();
}

void TFbDatabase::Commit() {
    DefaultTransactionOf(this).Commit();
}

void TFbDatabase::CommitRetaining() {
    DefaultTransactionOf(this).CommitRetaining();
}

void TFbDatabase::Rollback() {
    DefaultTransactionOf(this).Rollback();
}

void TFbDatabase::RollbackRetaining() {
    DefaultTransactionOf(this).RollbackRetaining();
}

void db::connection::SetFbLoginDialog(TFbLoginDialog dialog) {
    std::lock_guard lock(gLoginDialogLock);
    gLoginDialog = std::move(dialog);
}

QString db::connection::LoginDialogDatabaseName(const QString& databaseName) {
    if (databaseName.size() <= 45) return databaseName;
    return databaseName.left(10) + QStringLiteral("...") + databaseName.right(33);
}

void db::connection::ParseServerVersion(const QString& text, int& major, int& minor, int& release,
                                        int& build) {
    int* const parts[] = {&major, &minor, &release, &build};
    int stored = 0;
    QString number;
    for (qsizetype i = 4; i < text.size() && stored < 4; ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number += c;
            continue;
        }
        *parts[stored++] = number.toInt();
        number.clear();
    }
    // A text that ends in digits still gives its last number.
    if (stored < 4 && !number.isEmpty()) *parts[stored] = number.toInt();
}

int db::connection::FbDatabaseCount() {
    TDatabaseList& list = Databases();
    std::lock_guard lock(list.Lock);
    return int(list.Items.size());
}
