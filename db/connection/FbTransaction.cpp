#include "FbTransaction.h"

#include "FbInternal.h"
#include "FbParams.h"

#include "FbInfo.h"
#include "FbSafeTimer.h"
#include "fb.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <array>
#include <climits>
#include <limits>
#include <vector>

using namespace db::connection;

namespace {

// The TPB parameter names without their "isc_tpb_" prefix; the code is the position, from 1.
constexpr std::array<const char*, 21> TPBNames = {
    "consistency",      "concurrency",  "shared",         "protected",  "exclusive",   "wait",
    "nowait",           "read",         "write",          "lock_read",  "lock_write",  "verb_time",
    "commit_time",      "ignore_limbo", "read_committed", "autocommit", "rec_version", "no_rec_version",
    "restart_requests", "no_auto_undo", "no_savepoint"};

int TPBCode(const QByteArray& name) {
    for (size_t i = 0; i < TPBNames.size(); ++i)
        if (name == TPBNames[i]) return int(i) + 1;
    return 0;
}

// The action a disconnect or destruction ends a transaction with: retaining actions become hard.
TTransactionAction HardAction(TTransactionAction action) {
    switch (action) {
    case TTransactionAction::TACommitRetaining:
        return TTransactionAction::TACommit;
    case TTransactionAction::TARollbackRetaining:
        return TTransactionAction::TARollback;
    default:
        return action;
    }
}

// One entry of the transaction existence block given to isc_start_multiple.
struct TTeb {
    isc_db_handle* Database;
    int TPBLength;
    const char* TPB;
};

} // namespace

void db::connection::GenerateTPB(platform::TStringList& params, QByteArray& tpb, short& tpbLength) {
    if (params.Count() == 0) {
        tpb.clear();
        tpbLength = 0;
        return;
    }
    QByteArray buffer(1, char(isc_tpb_version3));
    for (int i = 0; i < params.Count(); ++i) {
        const TParamLine parsed = ReadParamLine(params, i, "isc_tpb_");
        if (parsed.Empty) continue;
        const QByteArray& name = parsed.Name;
        const QByteArray& value = parsed.Value;

        const int code = TPBCode(name);
        switch (code) {
        case 0:
            RaiseFbError(FbClientError::TPBConstantUnknown, {platform::StringFromAnsi(name)});
        case isc_tpb_verb_time:
        case isc_tpb_commit_time:
        case isc_tpb_autocommit:
        case isc_tpb_restart_requests:
            RaiseFbError(FbClientError::TPBConstantUnsupported, {QString::fromLatin1(TPBNames[code - 1])});
        case isc_tpb_lock_read:
        case isc_tpb_lock_write:
            // The length of the table name goes into one byte.
            if (value.size() > 255)
                RaiseFbErrorText(QStringLiteral("TPB Constant (isc_tpb_%s) value is longer than 255 bytes."),
                                 {QString::fromLatin1(name)});
            buffer += char(code);
            buffer += char(value.size());
            buffer += value;
            break;
        default:
            buffer += char(code);
            break;
        }
    }
    if (buffer.size() > std::numeric_limits<short>::max())
        RaiseFbErrorText(QStringLiteral("The transaction parameter buffer is longer than %d bytes."),
                         {int(std::numeric_limits<short>::max())});
    tpb = buffer;
    tpbLength = short(buffer.size());
}

TFbTransaction::TFbTransaction(platform::TComponent* owner) : platform::TComponent(owner) {
    FTRParams.OnChanging = [this] { CheckNotInTransaction(); };
    FTRParams.OnChange = [this] { FTRParamsChanged = true; };
}

TFbTransaction::~TFbTransaction() {
    Destroying_();
    // No time-out may arrive while the transaction is torn down.
    delete FTimer;
    FTimer = nullptr;
    EndOnDestroy();
    FNotices.CallAllLastFirst(TNotice::Destroy, this);
    FFbBases.FreeAll(&TFbBase::OnTransactionFree, [this](TFbBase& link) {
        if (link.Transaction() == this) link.SetTransaction(nullptr);
    });
    while (!FDatabases.isEmpty())
        RemoveDatabase(int(FDatabases.size() - 1));
}

void TFbTransaction::EndOnDestroy() {
    if (!InTransaction()) return;
    try {
        EndTransaction(HardAction(FTimeoutAction), true);
    } catch (...) {
        // Nothing may escape a destructor. A handler failed before the end reached the server:
        // roll back there so no transaction and its locks outlive this component.
        if (FHandle && !FHandleIsShared) {
            try {
                ClientLibrary().isc_rollback_transaction(StatusVector(), &FHandle);
            } catch (...) {
            }
        }
        FHandle = 0;
        FHandleIsShared = false;
        FState = TTransactionState::tsClosed;
    }
}

void TFbTransaction::SetActive(bool value) {
    if (Loading()) {
        FStreamedActive = value;
        return;
    }
    if (value && !InTransaction())
        StartTransaction();
    else if (!value && InTransaction())
        Rollback();
}

void TFbTransaction::Loaded() {
    platform::TComponent::Loaded();
    if (FStreamedActive) {
        FStreamedActive = false;
        SetActive(true);
    }
}

void TFbTransaction::SetDefaultDatabase(TFbDatabase* value) {
    CheckNotInTransaction();
    if (value != FDefaultDatabase) {
        // The old default leaves first, so the library check compares the new one with the
        // databases that stay.
        if (FDefaultDatabase) {
            const int index = FindDatabase(FDefaultDatabase);
            if (index >= 0) RemoveDatabase(index);
            FDefaultDatabase = nullptr;
        }
        if (value) AddDatabase(value);
    }
    FDefaultDatabase = value;
}

TFbDatabase* TFbTransaction::MainDatabase() const {
    if (FDefaultDatabase) return FDefaultDatabase;
    return FDatabases.isEmpty() ? nullptr : FDatabases.first();
}

void TFbTransaction::SetTRParams(const QStringList& lines) {
    FTRParams.SetStrings(lines);
}

void TFbTransaction::SetTimeout(quint32 value) {
    FTimeout = value;
    if (!SetTimeoutTimer(FTimer, value, [this] { TimerTick(); })) return;
    if (InTransaction()) FTimer->SetEnabled(true);
}

void TFbTransaction::TimerTick() {
    if (!InTransaction()) return;
    if (!FCanTimeout) {
        FCanTimeout = true;
        return;
    }
    EndTransaction(FTimeoutAction, true);
    // The handler may destroy this transaction (and with it the handler): it runs from a copy
    // and nothing is touched after it.
    const TNotifyEvent handler = OnTimeout;
    if (handler) handler(this);
}

void TFbTransaction::SetHandle(isc_tr_handle value) {
    CheckNotInTransaction();
    FHandle = value;
    FHandleIsShared = value != 0;
    FState = value ? TTransactionState::tsActive : TTransactionState::tsClosed;
    FTransactionID = 0;
}

int TFbTransaction::TransactionID() {
    if (FTransactionID != 0 || !FHandle) return FTransactionID;
    char item = isc_info_tra_id;
    char buffer[32] = {};
    Call(ClientLibrary().isc_transaction_info(StatusVector(), &FHandle, short(1), &item,
                                              short(sizeof(buffer)), buffer),
         true);
    const std::optional<QByteArray> value = db::connection::InfoValue(buffer, sizeof(buffer), item);
    if (!value) return 0;
    FTransactionID = int(db::connection::InfoInteger(*value));
    return FTransactionID;
}

int TFbTransaction::AddDatabase(TFbDatabase* database) {
    return InternalAddDatabase(database, QString(), false);
}

int TFbTransaction::AddDatabase(TFbDatabase* database, const QString& trParams) {
    return InternalAddDatabase(database, trParams, true);
}

int TFbTransaction::InternalAddDatabase(TFbDatabase* database, const QString& trParams, bool setText) {
    if (!database) return -1;
    int index = FindDatabase(database);
    if (index < 0) {
        if (!FDatabases.isEmpty() && FDatabases.first()->LibraryName() != database->LibraryName()) {
            if (Loading()) return -1;
            throw platform::Exception(platform::Format(
                u"%s.\r\nTransaction can't work with different client library.", {FullName()}));
        }
        database->AddTransaction(this);
        FDatabases.append(database);
        FDatabaseTRParams.append(QString());
        index = int(FDatabases.size() - 1);
    }
    if (setText) FDatabaseTRParams[index] = trParams;
    return index;
}

void TFbTransaction::RemoveDatabase(int index) {
    if (index < 0 || index >= FDatabases.size()) return;
    TFbDatabase* database = FDatabases.takeAt(index);
    FDatabaseTRParams.removeAt(index);
    database->RemoveTransaction(this);
    if (FDefaultDatabase == database) FDefaultDatabase = nullptr;
}

void TFbTransaction::ReplaceDatabase(TFbDatabase* oldDatabase, TFbDatabase* newDatabase) {
    const int index = FindDatabase(oldDatabase);
    if (index < 0 || !newDatabase || oldDatabase == newDatabase) return;
    if (FindDatabase(newDatabase) >= 0) {
        RemoveDatabase(index);
        return;
    }
    if (FDatabases.size() > 1) {
        TFbDatabase* other = FDatabases.at(index == 0 ? 1 : 0);
        if (other->LibraryName() != newDatabase->LibraryName())
            throw platform::Exception(platform::Format(
                u"%s.\r\nTransaction can't work with different client library.", {FullName()}));
    }
    const bool wasDefault = FDefaultDatabase == oldDatabase;
    RemoveDatabase(index);
    newDatabase->AddTransaction(this);
    FDatabases.insert(index, newDatabase);
    FDatabaseTRParams.insert(index, QString());
    if (wasDefault) FDefaultDatabase = newDatabase;
}

IIBClientLibrary& TFbTransaction::ClientLibrary() {
    TFbDatabase* database = MainDatabase();
    if (!database) CheckDatabasesInList();
    return database->ClientLibrary();
}

void TFbTransaction::CheckInTransaction() {
    if (FStreamedActive && !FHandle && !Loading()) Loaded();
    if (FHandle) return;
    bool reconnecting = !FDatabases.isEmpty();
    for (TFbDatabase* database : FDatabases)
        reconnecting = reconnecting && database->AutoReconnect();
    if (!reconnecting) RaiseFbError(FbClientError::TransactionNotActive, {FullName()});
    StartTransaction();
}

void TFbTransaction::CheckNotInTransaction() {
    if (FHandle) RaiseFbError(FbClientError::TransactionActive, {FullName()});
}

void TFbTransaction::CheckDatabasesInList() {
    if (FDatabases.isEmpty()) RaiseFbError(FbClientError::NoDatabasesInTransaction, {FullName()});
}

ISC_STATUS TFbTransaction::Call(ISC_STATUS errCode, bool raiseError) {
    // Each database's check restores the floating-point state too.
    if (FDatabases.isEmpty()) RestoreDefaultFPUState();
    FCanTimeout = false;
    // The databases' checks neither add nor remove databases: no copy of the list (after every
    // client call of every statement).
    for (TFbDatabase* database : std::as_const(FDatabases))
        database->Call(errCode, false);
    if (raiseError && errCode > 0) RaiseIBError(ClientLibrary(), this);
    return errCode;
}

void TFbTransaction::StartTransaction() {
    CheckNotInTransaction();
    CheckDatabasesInList();
    const QList<TFbDatabase*> databases = FDatabases;
    for (TFbDatabase* database : databases) {
        database->CheckActive(!Loading());
        if (!database->Connected()) return;
    }

    if (FTRParamsChanged) {
        GenerateTPB(FTRParams, FTPB, FTPBLength);
        FTRParamsChanged = false;
    }

    // The buffers must live until the start call returns.
    std::vector<QByteArray> ownTPBs(size_t(databases.size()));
    std::vector<TTeb> teb(size_t(databases.size()));
    for (qsizetype i = 0; i < databases.size(); ++i) {
        teb[i] = {databases[i]->HandleAddress(), FTPBLength, FTPBLength > 0 ? FTPB.constData() : nullptr};
        if (FDatabaseTRParams[i].isEmpty()) continue;
        platform::TStringList lines;
        lines.SetText(FDatabaseTRParams[i]);
        short length = 0;
        GenerateTPB(lines, ownTPBs[i], length);
        if (length > 0) teb[i] = {databases[i]->HandleAddress(), length, ownTPBs[i].constData()};
    }

    FFbBases.Notify(&TFbBase::OnTransactionStarting);

    if (!InTransaction()) {
        CallNotices(TNotice::BeforeStart, true);
        IIBClientLibrary& library = ClientLibrary();
        const ISC_STATUS result = Call(library.isc_start_multiple(StatusVector(), &FHandle, short(teb.size()),
                                                                  static_cast<void*>(teb.data())),
                                       false);
        if (result > 0) {
            FHandle = 0;
            if (!Loading()) RaiseIBError(library, this);
            // Not raised (read from a stored layout, or an error handler cancelled it): not started.
            return;
        }
        FHandleIsShared = false;
        CallNotices(TNotice::AfterStart, true);
    }

    FFbBases.Notify(&TFbBase::OnTransactionStarted);

    FState = TTransactionState::tsActive;
    FTransactionID = 0;
    if (FTimer && FTimer->Interval() > 0) FTimer->SetEnabled(true);
}

void TFbTransaction::EndTransaction(TTransactionAction action, bool force) {
    CheckInTransaction();
    switch (action) {
    case TTransactionAction::TARollback:
    case TTransactionAction::TACommit:
        if (FHandleIsShared && action != FTimeoutAction && !force)
            RaiseFbError(FbClientError::CannotEndSharedTransaction);
        FState = action == TTransactionAction::TARollback ? TTransactionState::tsDoRollback
                                                          : TTransactionState::tsDoCommit;
        break;
    case TTransactionAction::TARollbackRetaining:
        FState = TTransactionState::tsDoRollbackRetaining;
        break;
    case TTransactionAction::TACommitRetaining:
        FState = TTransactionState::tsDoCommitRetaining;
        break;
    }

    FFbBases.Notify(&TFbBase::OnTransactionEnding, true);
    CallEndNotices(TEndNotice::BeforeEnd, action, force);

    IIBClientLibrary& library = ClientLibrary();
    switch (action) {
    case TTransactionAction::TARollbackRetaining:
        Call(library.isc_rollback_retaining(StatusVector(), &FHandle), true);
        break;
    case TTransactionAction::TACommitRetaining:
        Call(library.isc_commit_retaining(StatusVector(), &FHandle), true);
        break;
    case TTransactionAction::TACommit:
    case TTransactionAction::TARollback:
        if (FHandleIsShared) {
            FHandle = 0;
            FHandleIsShared = false;
            break;
        }
        {
            ISC_STATUS result = Call(action == TTransactionAction::TACommit
                                         ? library.isc_commit_transaction(StatusVector(), &FHandle)
                                         : library.isc_rollback_transaction(StatusVector(), &FHandle),
                                     false);
            if (result > 0 && force) {
                // A forced end that the server refused becomes a rollback, and the handle is
                // forgotten whatever happens.
                Call(library.isc_rollback_transaction(StatusVector(), &FHandle), false);
            }
            if (force || result <= 0)
                FHandle = 0;
            else
                RaiseIBError(library, this);
        }
        break;
    }

    FFbBases.Notify(&TFbBase::OnTransactionEnded, true);
    CallEndNotices(TEndNotice::AfterEnd, action, force);

    if (FHandle) {
        FState = TTransactionState::tsActive;
    } else {
        FState = TTransactionState::tsClosed;
        if (FTimer) FTimer->SetEnabled(false);
    }
    FTransactionID = 0;
}

void TFbTransaction::DoOnSQLExec(QObject*, int, bool) {}

void TFbTransaction::OnDatabaseDisconnecting(TFbDatabase*) {
    if (InTransaction()) EndTransaction(HardAction(FTimeoutAction), true);
}

void TFbTransaction::OnDatabaseLostConnect(TFbDatabase*) {
    if (!InTransaction()) return;
    // The server is gone: the transaction is only forgotten.
    FHandleIsShared = true;
    try {
        EndTransaction(TTransactionAction::TACommit, true);
    } catch (...) {
    }
    FHandle = 0;
    FHandleIsShared = false;
    FState = TTransactionState::tsClosed;
}

void TFbTransaction::OnDatabaseFree(TFbDatabase* database) {
    const int index = FindDatabase(database);
    if (index >= 0) RemoveDatabase(index);
    if (FDefaultDatabase == database) FDefaultDatabase = nullptr;
}

void TFbTransaction::AddEvent(TNotice notice, const void* key, TNotifyEvent callback) {
    FNotices.Add(notice, key, std::move(callback));
}

void TFbTransaction::RemoveEvent(TNotice notice, const void* key) {
    FNotices.Remove(notice, key);
}

void TFbTransaction::AddEndEvent(TEndNotice notice, const void* key, TEndEvent callback) {
    FEndNotices.Add(notice, key, std::move(callback));
}

void TFbTransaction::RemoveEndEvent(TEndNotice notice, const void* key) {
    FEndNotices.Remove(notice, key);
}

void TFbTransaction::CallNotices(TNotice notice, bool lastFirst) {
    FNotices.Round(notice, lastFirst, [this](const TNotifyEvent& callback) {
        callback(this);
        return true;
    });
}

void TFbTransaction::CallEndNotices(TEndNotice notice, TTransactionAction action, bool force) {
    FEndNotices.Round(notice, false, [&](const TEndEvent& callback) {
        callback(this, action, force);
        return true;
    });
}

void TFbTransaction::AddFbBase(TFbBase* link) {
    FFbBases.Add(link);
}

void TFbTransaction::RemoveFbBase(TFbBase* link) {
    FFbBases.Remove(link);
}
