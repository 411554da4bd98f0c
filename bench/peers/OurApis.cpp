// Our layer: the statement component (TpFbQuery) for every case, the data set (TpFbDataSet) for the
// fetch, and the application's own update run (TForm1::FireUpdate).

#include "PeerBench.h"

#include "BenchWindow.h"
#include "app/Unit1.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"
#include "platform/DateTime.h"

#include <QDir>
#include <QFile>
#include <memory>
#include <stdexcept>

namespace {

// A variant of our layer: what is set on every database component of a case before the clock starts.
// A new row of the table is one more line in Variants.
struct TOurVariant {
    const char* Suffix; // appended to the API name and label; empty for the plain layer
    const char* Label;
    std::function<void(TpFbDatabase&)> Configure;
    bool EveryCase; // else only the update run, the case the variant is about
    int RunStatementCacheSize; // the application's option for the span of its update run
};
const std::vector<TOurVariant> Variants = {
    {"", "", [](TpFbDatabase&) {}, true, TFormOptions().RunStatementCacheSize},
    // Every text change prepares anew, as without the connection's statement cache.
    {"-nocache", ", statement cache off", [](TpFbDatabase& db) { db.SetStatementCacheSize(0); }, false, 0},
};

std::unique_ptr<TpFbDatabase> Connect(const TPeerRun& run, const TOurVariant& variant) {
    auto db = std::make_unique<TpFbDatabase>();
    db->SetDBName(run.DatabaseName(QLatin1String(BigFile)));
    db->SetDBParams({QStringLiteral("user_name=") + QLatin1String(UserName),
                     QStringLiteral("password=") + QLatin1String(Password),
                     QStringLiteral("lc_ctype=") + run.CharSet});
    db->SetSQLDialect(3);
    db->SetConnected(true);
    variant.Configure(*db);
    return db;
}

// A statement and its transaction on one database; read committed, record versions, nowait, write
// is the transaction component's default.
struct TOurStatement {
    TOurStatement(TpFbDatabase& db, const QString& sql) {
        Tr.SetDefaultDatabase(&db);
        Q.SetDatabase(&db);
        Q.SetTransaction(&Tr);
        Q.SetSQL({sql});
    }
    TpFbTransaction Tr;
    TpFbQuery Q;
};

void ReadRow(TFbXSQLVAR& id, TFbXSQLVAR& txt, TFbXSQLVAR& ts, TPeerTally& tally) {
    ++tally.Rows;
    tally.Ids += id.AsInteger();
    tally.Chars += txt.AsString().size();
    if (ts.AsDateTime() > 0) ++tally.Stamps;
}

TPeerTally QueryFetch(const TPeerRun& run, TStopwatch& clock, const TOurVariant& variant) {
    auto db = Connect(run, variant);
    TOurStatement s(*db, QString::fromLatin1(FetchSql));
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    s.Tr.StartTransaction();
    s.Q.ExecQuery();
    TFbXSQLVAR& id = s.Q.Fields(0);
    TFbXSQLVAR& txt = s.Q.Fields(1);
    TFbXSQLVAR& ts = s.Q.Fields(2);
    while (!s.Q.Eof()) {
        ReadRow(id, txt, ts, tally);
        s.Q.Next();
    }
    s.Q.Close();
    s.Tr.Commit();
    clock.Stop();
    return tally;
}

TPeerTally QueryInsert(const TPeerRun& run, TStopwatch& clock, const TOurVariant& variant) {
    auto db = Connect(run, variant);
    TOurStatement s(*db, QStringLiteral("insert into ins_rows (id, txt, ts) values (:id, :txt, :ts)"));
    std::vector<QString> texts;
    std::vector<platform::TDateTime> instants;
    for (int k = 0; k < InsertValues; ++k) {
        texts.push_back(InsertText(k));
        const std::tm t = InsertInstant(k);
        platform::TDateTime date = 0, time = 0;
        platform::TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date);
        platform::TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time);
        instants.push_back(date + time);
    }
    clock.Start();
    s.Tr.StartTransaction();
    for (int i = 0; i < run.Sizes.Inserts; ++i) {
        const int k = i % InsertValues;
        s.Q.ParamByName(QStringLiteral("id")).SetAsInteger(i);
        s.Q.ParamByName(QStringLiteral("txt")).SetAsString(texts[size_t(k)]);
        s.Q.ParamByName(QStringLiteral("ts")).SetAsDateTime(instants[size_t(k)]);
        s.Q.ExecQuery();
    }
    s.Tr.Commit();
    clock.Stop();
    if (s.Q.PrepareCount() != 1) throw std::runtime_error("the insert was prepared more than once");
    return TPeerTally();
}

TPeerTally QueryPoint(const TPeerRun& run, TStopwatch& clock, const TOurVariant& variant) {
    auto db = Connect(run, variant);
    TOurStatement s(*db, QStringLiteral("select id, txt, ts from big_rows where id = :id"));
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    s.Tr.StartTransaction();
    for (int k = 0; k < run.Sizes.Points; ++k) {
        s.Q.ParamByName(QStringLiteral("id")).SetAsInteger(PointKey(k, run.Sizes.Rows));
        s.Q.ExecQuery();
        if (!s.Q.Eof()) ReadRow(s.Q.Fields(0), s.Q.Fields(1), s.Q.Fields(2), tally);
    }
    s.Q.Close();
    s.Tr.Commit();
    clock.Stop();
    if (s.Q.PrepareCount() != 1) throw std::runtime_error("the select was prepared more than once");
    return tally;
}

TPeerTally DataSetFetch(const TPeerRun& run, TStopwatch& clock, const TOurVariant& variant) {
    auto db = Connect(run, variant);
    TpFbTransaction tr;
    tr.SetDefaultDatabase(db.get());
    TpFbDataSet ds;
    ds.SetDatabase(db.get());
    ds.SetTransaction(&tr);
    ds.SelectSQL().Add(QString::fromLatin1(FetchSql));
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    tr.StartTransaction();
    ds.Open();
    TField& id = ds.FieldByName(QStringLiteral("id"));
    TField& txt = ds.FieldByName(QStringLiteral("txt"));
    TField& ts = ds.FieldByName(QStringLiteral("ts"));
    while (!ds.Eof()) {
        ++tally.Rows;
        tally.Ids += id.AsInteger();
        tally.Chars += txt.AsString().size();
        if (ts.AsDateTime() > 0) ++tally.Stamps;
        ds.Next();
    }
    ds.Close();
    tr.Commit();
    clock.Stop();
    return tally;
}

// The application's run, on the two databases of the case's folder.
TPeerTally WindowRun(const TPeerRun& run, TStopwatch& clock, const TOurVariant& variant) {
    const QString folder = QFileInfo(run.Path(QLatin1String(FormyFile))).absolutePath();
    {
        QFile ini(QDir(folder).filePath(QStringLiteral("setup.ini")));
        if (!ini.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write setup.ini");
        const QByteArray prefix =
            ((run.Remote ? QString::fromLatin1(RemotePrefix) : QString()) + folder + QLatin1Char('/'))
                .toUtf8();
        ini.write("[sql]\nformy=" + prefix + "\nvorek=" + prefix + "\n[set]\nhistoria=1\nlog=0\n");
    }
    TFormOptions options;
    options.RunStatementCacheSize = variant.RunStatementCacheSize;
    TBenchWindow window(folder, options);
    TForm1& form = *window.Form;
    if (!window.Boxes.isEmpty()) throw std::runtime_error(window.Boxes.toStdString());
    variant.Configure(*form.pFbDatabaseFormy);
    variant.Configure(*form.pFbDatabaseVorek);
    clock.Start();
    form.FireUpdate();
    clock.Stop();
    if (form.LastRun().Failed || !window.Boxes.isEmpty()) throw std::runtime_error("the run failed");
    TPeerTally tally;
    tally.Rows = (long long)form.LastRun().Moulds.size();
    return tally;
}

TPeerTally Transaction(const TPeerRun& run, const TOurVariant& variant) {
    auto db = Connect(run, variant);
    TOurStatement s(*db, QString::fromLatin1(TransactionSql));
    s.Tr.StartTransaction();
    s.Q.ExecQuery();
    TPeerTally tally;
    tally.Ids = s.Q.Fields(0).AsInteger();
    tally.Rows = s.Q.Fields(1).AsInteger();
    tally.Stamps = s.Q.Fields(2).AsInteger();
    s.Q.Close();
    s.Tr.Rollback();
    return tally;
}

} // namespace

void AddOurApis(std::vector<TPeerApi>& apis) {
    for (const TOurVariant& v : Variants) {
        const QString suffix = QString::fromLatin1(v.Suffix), label = QString::fromLatin1(v.Label);
        apis.push_back({QStringLiteral("ours") + suffix, QStringLiteral("ours (TpFbQuery)") + label,
                        v.EveryCase
                            ? std::vector<TPeerCase>{TPeerCase::Fetch, TPeerCase::Insert, TPeerCase::Point,
                                                     TPeerCase::UpdateRun, TPeerCase::Transaction}
                            : std::vector<TPeerCase>{TPeerCase::UpdateRun, TPeerCase::Transaction},
                        [&v](const TPeerRun& run, TStopwatch& clock) {
                            switch (run.Case) {
                            case TPeerCase::Fetch:
                                return QueryFetch(run, clock, v);
                            case TPeerCase::Insert:
                                return QueryInsert(run, clock, v);
                            case TPeerCase::Point:
                                return QueryPoint(run, clock, v);
                            case TPeerCase::UpdateRun:
                                return WindowRun(run, clock, v);
                            case TPeerCase::Transaction:
                                return Transaction(run, v);
                            }
                            return TPeerTally();
                        }});
        if (!v.EveryCase) continue;
        apis.push_back(
            {QStringLiteral("ours-dataset") + suffix,
             QStringLiteral("ours (TpFbDataSet)") + label,
             {TPeerCase::Fetch},
             [&v](const TPeerRun& run, TStopwatch& clock) { return DataSetFetch(run, clock, v); }});
    }
}
