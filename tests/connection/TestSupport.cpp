#include "TestSupport.h"

#include "db/connection/fb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace db::connection;

void CreateDatabase(const QString& path, const QString& charset, int dialect) {
    RunIsql(
        QStringLiteral("set sql dialect %1;\ncreate database '%2' user 'SYSDBA' default character set %3;\n")
            .arg(dialect)
            .arg(path, charset));
}

namespace {
struct TTeb {
    isc_db_handle* Database;
    int TpbLength;
    const char* Tpb;
};
} // namespace

void ExecSQL(TFbDatabase& database, const QByteArray& sql) {
    IIBClientLibrary& library = database.ClientLibrary();
    isc_tr_handle transaction = 0;
    TTeb teb{database.HandleAddress(), 0, nullptr};
    database.Call(
        library.isc_start_multiple(StatusVector(), &transaction, short(1), static_cast<void*>(&teb)), true);
    try {
        database.Call(library.isc_dsql_execute_immediate(StatusVector(), database.HandleAddress(),
                                                         &transaction, static_cast<unsigned short>(0),
                                                         sql.constData(), static_cast<unsigned short>(3),
                                                         static_cast<const XSQLDA*>(nullptr)),
                      true);
    } catch (...) {
        library.isc_rollback_transaction(StatusVector(), &transaction);
        throw;
    }
    database.Call(library.isc_commit_transaction(StatusVector(), &transaction), true);
}

int ServerPort() {
    const QByteArray port = qgetenv("TARVELO_FB_PORT");
    return port.isEmpty() ? 30531 : port.toInt();
}

bool ServerRunning() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(ServerPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}

QString RemoteName(const QString& path, int port) {
    return QStringLiteral("127.0.0.1/%1:%2").arg(port).arg(path);
}

QStringList ApplicationParams(const QString& password, const QString& charset) {
    return {QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + password,
            QStringLiteral("lc_ctype=") + charset};
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
