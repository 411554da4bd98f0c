// Qt SQL's Firebird driver (QIBASE). Its transaction is opened before prepare: otherwise every
// statement runs in a transaction of its own. Qt 6.4's driver always connects as UTF8 and starts its
// transactions with the client's default parameters; neither can be changed through its interface.

#include "PeerBench.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <stdexcept>

namespace {

void Require(bool ok, const QSqlError& error, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + ": " + error.text().toStdString());
}

// A connection of the process, named after the file.
QSqlDatabase Open(const TPeerRun& run, const QString& file, const QString& connection) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), connection);
    if (!db.isValid()) throw std::runtime_error("the QIBASE driver is not available");
    db.setDatabaseName(run.Path(file));
    if (run.Remote) {
        db.setHostName(QLatin1String(RemoteHost));
        db.setPort(RemotePort);
    }
    db.setUserName(QLatin1String(UserName));
    db.setPassword(QLatin1String(Password));
    Require(db.open(), db.lastError(), "open");
    return db;
}

void Begin(QSqlDatabase& db) {
    Require(db.transaction(), db.lastError(), "start transaction");
}
void Commit(QSqlDatabase& db) {
    Require(db.commit(), db.lastError(), "commit");
}

QSqlQuery Prepared(QSqlDatabase& db, const char* sql) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    Require(q.prepare(QString::fromLatin1(sql)), q.lastError(), "prepare");
    return q;
}

void ReadRow(const QSqlQuery& q, TPeerTally& tally) {
    ++tally.Rows;
    tally.Ids += q.value(0).toInt();
    tally.Chars += q.value(1).toString().size();
    if (q.value(2).toDateTime().isValid()) ++tally.Stamps;
}

TPeerTally Fetch(const TPeerRun& run, TStopwatch& clock) {
    QSqlDatabase db = Open(run, QLatin1String(BigFile), QStringLiteral("rows"));
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    {
        Begin(db);
        QSqlQuery q = Prepared(db, FetchSql);
        Require(q.exec(), q.lastError(), "execute");
        while (q.next())
            ReadRow(q, tally);
        q.finish();
        Commit(db);
    }
    clock.Stop();
    return tally;
}

TPeerTally Insert(const TPeerRun& run, TStopwatch& clock) {
    QSqlDatabase db = Open(run, QLatin1String(BigFile), QStringLiteral("rows"));
    std::vector<QVariant> texts, instants;
    for (int k = 0; k < InsertValues; ++k) {
        texts.emplace_back(InsertText(k));
        const std::tm t = InsertInstant(k);
        instants.emplace_back(QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                                        QTime(t.tm_hour, t.tm_min, t.tm_sec)));
    }
    clock.Start();
    {
        Begin(db);
        QSqlQuery q = Prepared(db, InsertSql);
        for (int i = 0; i < run.Sizes.Inserts; ++i) {
            const int k = i % InsertValues;
            q.bindValue(0, i);
            q.bindValue(1, texts[size_t(k)]);
            q.bindValue(2, instants[size_t(k)]);
            Require(q.exec(), q.lastError(), "insert");
        }
        Commit(db);
    }
    clock.Stop();
    return TPeerTally();
}

TPeerTally Point(const TPeerRun& run, TStopwatch& clock) {
    QSqlDatabase db = Open(run, QLatin1String(BigFile), QStringLiteral("rows"));
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    {
        Begin(db);
        QSqlQuery q = Prepared(db, PointSql);
        for (int k = 0; k < run.Sizes.Points; ++k) {
            q.bindValue(0, PointKey(k, run.Sizes.Rows));
            Require(q.exec(), q.lastError(), "select");
            if (q.next()) ReadRow(q, tally);
        }
        q.finish();
        Commit(db);
    }
    clock.Stop();
    return tally;
}

// The update run: one transaction per connection in Qt, so the list and the writes on the Formy
// database need a connection each (the others use one attachment with two transactions).
TPeerTally UpdateRun(const TPeerRun& run, TStopwatch& clock) {
    QSqlDatabase list = Open(run, QLatin1String(FormyFile), QStringLiteral("formy-list"));
    QSqlDatabase write = Open(run, QLatin1String(FormyFile), QStringLiteral("formy-write"));
    QSqlDatabase vorek = Open(run, QLatin1String(VorekFile), QStringLiteral("vorek"));
    TPeerTally tally;
    clock.Start();
    {
        bool sumStarted = false;
        Begin(list);
        QSqlQuery moulds = Prepared(list, ListSql);
        Require(moulds.exec(), moulds.lastError(), "list");
        while (moulds.next()) {
            const QString name = moulds.value(1).toString() + QLatin1Char('[') + moulds.value(2).toString();
            const int id = moulds.value(0).toInt(), counter = moulds.value(3).toInt(),
                      tool = moulds.value(5).toInt();
            // The sum in a transaction restarted per mould, as the run does.
            if (sumStarted) vorek.rollback();
            Begin(vorek);
            sumStarted = true;
            int cycles = 0;
            {
                QSqlQuery sum = Prepared(vorek, SumSql);
                sum.bindValue(0, tool);
                Require(sum.exec(), sum.lastError(), "sum");
                if (sum.next()) cycles = sum.value(0).toInt();
            }
            Begin(write);
            {
                QSqlQuery update = Prepared(write, UpdateSql);
                update.bindValue(0, cycles);
                update.bindValue(1, QDateTime::currentDateTime());
                update.bindValue(2, id);
                Require(update.exec(), update.lastError(), "update");
            }
            Commit(write);
            Begin(write);
            {
                QSqlQuery history = Prepared(write, HistorySql);
                history.bindValue(0, id);
                history.bindValue(1, cycles);
                history.bindValue(2, counter);
                history.bindValue(3, QString::fromLatin1(HistoryText));
                history.bindValue(4, -1);
                history.bindValue(5, 0);
                Require(history.exec(), history.lastError(), "history");
            }
            Commit(write);
            (void)name;
            ++tally.Rows;
        }
        moulds.finish();
        Commit(list);
        if (sumStarted) vorek.rollback();
    }
    clock.Stop();
    return tally;
}

TPeerTally Transaction(const TPeerRun& run) {
    QSqlDatabase db = Open(run, QLatin1String(BigFile), QStringLiteral("rows"));
    TPeerTally tally;
    Begin(db);
    {
        QSqlQuery q = Prepared(db, TransactionSql);
        Require(q.exec() && q.next(), q.lastError(), "monitoring query");
        tally.Ids = q.value(0).toInt();
        tally.Rows = q.value(1).toInt();
        tally.Stamps = q.value(2).toInt();
    }
    db.rollback();
    return tally;
}

} // namespace

void AddQtApis(std::vector<TPeerApi>& apis) {
    // The headers come with Qt's development package; the driver is a plugin of its own package.
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE"))) {
        std::fprintf(stderr, "bench_peers: no QIBASE driver (libqt6sql6-ibase), Qt SQL left out\n");
        return;
    }
    apis.push_back(EveryCaseApi(QStringLiteral("qt"), QStringLiteral("Qt SQL 6.4 (QIBASE)"),
                                {Fetch, Insert, Point, UpdateRun, Transaction}));
}
