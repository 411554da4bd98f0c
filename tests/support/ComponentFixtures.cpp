#include "ComponentFixtures.h"
#include "ExpectedErrors.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

QString LoopbackName(const QString& path) {
    const QByteArray setting = qgetenv("TARVELO_FB_PORT");
    const int port = setting.isEmpty() ? 30531 : setting.toInt();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answers = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    if (!answers) return {};
    return QStringLiteral("127.0.0.1/%1:%2").arg(port).arg(path);
}

const QString TablesChangedElsewhere =
    QStringLiteral("create table t (id integer, b integer, s varchar(10));\n"
                   "create table u (id integer);\n"
                   "insert into t values (1, 2, 'x');\ninsert into u values (1);\n");

void ExpectTablesChangedElsewhereSeen(const std::function<int(const QString&)>& columns,
                                      const std::function<void(const QString&)>& alter) {
    const QString tText = QStringLiteral("select id, b, s from t");
    const QString uText = QStringLiteral("select * from u");
    EXPECT_EQ(columns(tText), 3);
    EXPECT_EQ(columns(uText), 1);
    alter(QStringLiteral("alter table t drop b"));
    alter(QStringLiteral("alter table u add s2 varchar(10)"));
    EXPECT_EQ(columns(uText), 2);
    const QString unknown = ErrorOf<EFbInterBaseError>([&] { columns(tText); });
    EXPECT_TRUE(unknown.contains(QStringLiteral("Column unknown"))) << unknown.toStdString();
}
