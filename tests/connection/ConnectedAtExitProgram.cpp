// Leaves its databases to the end of the program: one connected with a transaction holding
// uncommitted work under TACommit, one connected once and closed again. Usage: program <database>
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const QStringList params = {QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=WIN1250")};

    auto* closed = new TpFbDatabase;
    closed->SetDBParams(params);
    closed->SetDBName(QString::fromLocal8Bit(argv[1]));
    closed->SetConnected(true);
    closed->SetConnected(false);

    auto* database = new TpFbDatabase;
    database->SetDBParams(params);
    database->SetSQLDialect(3);
    database->SetDBName(QString::fromLocal8Bit(argv[1]));
    database->SetConnected(true);
    auto* transaction = new TpFbTransaction;
    transaction->SetDefaultDatabase(database);
    transaction->SetTimeoutAction(TTransactionAction::TACommit);
    transaction->StartTransaction();
    transaction->Call(transaction->ClientLibrary().isc_dsql_execute_immediate(
                          StatusVector(), database->HandleAddress(), transaction->HandleAddress(),
                          static_cast<unsigned short>(0), "insert into t values (2)",
                          static_cast<unsigned short>(3), static_cast<const XSQLDA*>(nullptr)),
                      true);
    return 0;
}
