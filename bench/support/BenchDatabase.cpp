#include "BenchDatabase.h"

#include <ctime>

#include <QProcess>
#include <cstdio>
#include <cstdlib>

void RunIsqlOrExit(const QString& script, int timeoutMs) {
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA")});
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

QString BigRowsFillScript(int rows) {
    return QStringLiteral(
               "set term ^ ;\n"
               "execute block as declare i integer = 0; begin while (i < %1) do begin "
               "insert into big_rows values (:i, substring('Łódź,żółć-gęślą-jaźń:forma-wtryskowa-nr-' "
               "|| :i || '-' || :i from 1 for 20 + mod(:i, 31)), "
               "dateadd(:i second to timestamp '2024-01-01 06:00:00')); i = i + 1; end end^\n"
               "set term ; ^\n")
        .arg(rows);
}

void Check(IIBClientLibrary& library, ISC_STATUS result) {
    if (result > 0) db::connection::RaiseIBError(library, nullptr);
}

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
