#include "ComponentFixtures.h"

TpFbDatabase* ConnectedDatabase(platform::TComponent* owner, const QString& name, const QString& path) {
    auto* database = new TpFbDatabase(owner);
    database->SetName(name);
    database->SetDBName(path);
    database->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=tulipwand"),
                           QStringLiteral("lc_ctype=WIN1250")});
    database->SetSQLDialect(3);
    database->SetConnected(true);
    return database;
}

TpFbTransaction* RollbackTransaction(platform::TComponent* owner, const QString& name,
                                     TFbDatabase* database) {
    auto* transaction = new TpFbTransaction(owner);
    transaction->SetName(name);
    transaction->SetDefaultDatabase(database);
    transaction->SetTimeoutAction(TTransactionAction::TARollback);
    return transaction;
}
