#include "pFbTransaction.h"

#include "pFbDatabase.h"

TpFbTransaction::TpFbTransaction(platform::TComponent* owner) : TFbTransaction(owner) {}

TpFbTransaction::~TpFbTransaction() {
    Destroying_();
    // Ended here, while the events of this class still exist.
    EndOnDestroy();
}

void TpFbTransaction::StartTransaction() {
    if (InTransaction()) return;
    switch (FTPBMode) {
    case TTPBMode::tpbReadCommitted:
        SetTRParams({QStringLiteral("write"), QStringLiteral("isc_tpb_nowait"),
                     QStringLiteral("read_committed"), QStringLiteral("rec_version")});
        break;
    case TTPBMode::tpbRepeatableRead:
        SetTRParams(
            {QStringLiteral("write"), QStringLiteral("isc_tpb_nowait"), QStringLiteral("concurrency")});
        break;
    case TTPBMode::tpbDefault:
        break;
    }
    auto* database = qobject_cast<TpFbDatabase*>(DefaultDatabase());
    if (database && database->BeforeStartTransaction) database->BeforeStartTransaction(database);
    if (BeforeStart) BeforeStart(this);
    TFbTransaction::StartTransaction();
    if (AfterStart) AfterStart(this);
    if (database && database->AfterStartTransaction) database->AfterStartTransaction(database);
}

void TpFbTransaction::EndTransaction(TTransactionAction action, bool force) {
    auto* database = qobject_cast<TpFbDatabase*>(DefaultDatabase());
    if (database && database->BeforeEndTransaction) database->BeforeEndTransaction(database);
    if (BeforeEnd) BeforeEnd(this, action, force);
    TFbTransaction::EndTransaction(action, force);
    if (AfterEnd) AfterEnd(this, action, force);
    if (database && database->AfterEndTransaction) database->AfterEndTransaction(database);
}

void TpFbTransaction::DoOnSQLExec(QObject* statement, int sqlKind, bool before) {
    const TSQLExecuteEvent& event = before ? BeforeSQLExecute : AfterSQLExecute;
    if (event) event(statement, sqlKind);
}
