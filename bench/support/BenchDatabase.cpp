#include "BenchDatabase.h"

#include <QProcess>
#include <cstdio>
#include <cstdlib>

void RunIsqlOrExit(const QString& script, int timeoutMs) {
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA")});
    isql.waitForStarted();
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    isql.waitForFinished(timeoutMs);
    const QByteArray errors = isql.readAllStandardError();
    if (isql.exitStatus() != QProcess::NormalExit || isql.exitCode() != 0 || !errors.isEmpty()) {
        std::fprintf(stderr, "isql-fb failed: %s\n", errors.constData());
        std::exit(1);
    }
}

std::unique_ptr<TpFbDatabase> ConnectBenchDatabase(const QString& path, const QString& charSet) {
    auto db = std::make_unique<TpFbDatabase>();
    db->SetDBName(path);
    db->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=") + charSet});
    db->SetSQLDialect(3);
    db->SetConnected(true);
    return db;
}
