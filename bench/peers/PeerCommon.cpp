#include "PeerBench.h"

#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/statements/pFbQuery.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <cstdlib>
#include <unistd.h>

QString CaseName(TPeerCase c) {
    switch (c) {
    case TPeerCase::Fetch:
        return QStringLiteral("fetch");
    case TPeerCase::Insert:
        return QStringLiteral("insert");
    case TPeerCase::Point:
        return QStringLiteral("point");
    case TPeerCase::UpdateRun:
        return QStringLiteral("updaterun");
    case TPeerCase::Transaction:
        return QStringLiteral("transaction");
    }
    return QString();
}

bool ParseCase(const QString& name, TPeerCase& result) {
    for (TPeerCase c : {TPeerCase::Fetch, TPeerCase::Insert, TPeerCase::Point, TPeerCase::UpdateRun,
                        TPeerCase::Transaction})
        if (CaseName(c) == name) {
            result = c;
            return true;
        }
    return false;
}

TPeerSizes TPeerSizes::FromEnvironment() {
    TPeerSizes sizes;
    const char* env = std::getenv("TARVELO_BENCH_ROWS");
    const int rows = env ? std::atoi(env) : 0;
    if (rows > 0 && rows < sizes.Rows) {
        // Every case shrinks in proportion, the point selects and moulds never below 10.
        sizes.Inserts = std::max(10, int((long long)(sizes.Inserts) * rows / sizes.Rows));
        sizes.Points = std::max(10, int((long long)(sizes.Points) * rows / sizes.Rows));
        sizes.Moulds = std::max(10, int((long long)(sizes.Moulds) * rows / sizes.Rows));
        sizes.Rows = std::max(rows, sizes.Points);
    }
    return sizes;
}

QString TPeerRun::Path(const QString& file) const {
    return QDir(Dir).filePath(CharSet + QLatin1Char('/') + file);
}

QString TPeerRun::DatabaseName(const QString& file) const {
    return (Remote ? QString::fromLatin1(RemotePrefix) : QString()) + Path(file);
}

QString InsertText(int k) {
    return QStringLiteral("Łódź-żółć-forma-wtryskowa-nr-%1-gniazdo-%2").arg(k).arg(k % 7);
}

QStringDecoder DecoderFor(const QString& charSet) {
    return charSet == QStringLiteral("UTF8") ? QStringDecoder(QStringConverter::Utf8)
                                             : QStringDecoder("windows-1250");
}

QStringEncoder EncoderFor(const QString& charSet) {
    return charSet == QStringLiteral("UTF8") ? QStringEncoder(QStringConverter::Utf8)
                                             : QStringEncoder("windows-1250");
}

std::tm InsertInstant(int k) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = k % 12;
    t.tm_mday = 1 + k % 28;
    t.tm_hour = k % 24;
    t.tm_min = k % 60;
    t.tm_sec = (k * 7) % 60;
    return t;
}

namespace {

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// User and system time of the loopback server's process, from the kernel's clock ticks; -1 without it.
double ServerCpuSeconds() {
    const QString dir = qEnvironmentVariableIsEmpty("TARVELO_FB_DIR")
                            ? QStringLiteral("/tmp/tarvelo-firebird-%1").arg(getuid())
                            : qEnvironmentVariable("TARVELO_FB_DIR");
    QFile pidFile(dir + QStringLiteral("/firebird.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) return -1;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pidFile.readAll()).trimmed()));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    // The fields after the command name (which may hold spaces): state is the first, utime the 12th.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::unique_ptr<TpFbDatabase> AdminConnect(const TPeerRun& run, const QString& file) {
    auto db = std::make_unique<TpFbDatabase>();
    db->SetDBName(run.DatabaseName(file));
    db->SetDBParams({QStringLiteral("user_name=") + QLatin1String(UserName),
                     QStringLiteral("password=") + QLatin1String(Password),
                     QStringLiteral("lc_ctype=") + run.CharSet});
    db->SetSQLDialect(3);
    db->SetConnected(true);
    return db;
}

} // namespace

void TStopwatch::Start() {
    FWall0 = WallSeconds();
    FCpu0 = CpuSeconds();
    FServerCpu0 = ServerCpuSeconds();
}

void TStopwatch::Stop() {
    FWall = WallSeconds() - FWall0;
    FCpu = CpuSeconds() - FCpu0;
    const double server = ServerCpuSeconds();
    FServerCpu = server >= 0 && FServerCpu0 >= 0 ? server - FServerCpu0 : -1;
}

void AdminExecute(const TPeerRun& run, const QString& file, const QStringList& statements) {
    auto db = AdminConnect(run, file);
    TpFbTransaction tr;
    tr.SetDefaultDatabase(db.get());
    TpFbQuery q;
    q.SetDatabase(db.get());
    q.SetTransaction(&tr);
    for (const QString& sql : statements) {
        tr.StartTransaction();
        q.SetSQL({sql});
        q.ExecQuery();
        q.Close();
        tr.Commit();
    }
}

long long AdminInteger(const TPeerRun& run, const QString& file, const QString& sql) {
    auto db = AdminConnect(run, file);
    TpFbTransaction tr;
    tr.SetDefaultDatabase(db.get());
    tr.StartTransaction();
    TpFbQuery q;
    q.SetDatabase(db.get());
    q.SetTransaction(&tr);
    q.SetSQL({sql});
    q.ExecQuery();
    const long long value = q.Fields(0).AsInt64();
    q.Close();
    tr.Rollback();
    return value;
}

std::vector<TPeerApi> AllApis() {
    std::vector<TPeerApi> apis;
    AddRawApis(apis);
    AddOurApis(apis);
    AddSociApis(apis);
    AddQtApis(apis);
    return apis;
}

TPeerApi EveryCaseApi(const QString& name, const QString& label, const TPeerCaseSet& cases) {
    return {
        name,
        label,
        {TPeerCase::Fetch, TPeerCase::Insert, TPeerCase::Point, TPeerCase::UpdateRun, TPeerCase::Transaction},
        [cases](const TPeerRun& run, TStopwatch& clock) {
            switch (run.Case) {
            case TPeerCase::Fetch:
                return cases.Fetch(run, clock);
            case TPeerCase::Insert:
                return cases.Insert(run, clock);
            case TPeerCase::Point:
                return cases.Point(run, clock);
            case TPeerCase::UpdateRun:
                return cases.UpdateRun(run, clock);
            case TPeerCase::Transaction:
                return cases.Transaction(run);
            }
            return TPeerTally();
        }};
}
