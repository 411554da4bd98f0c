#include "ComponentFixtures.h"

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
