// The cases of the peer comparison for our layer against the raw client API, written as a user of
// each writes them: a 1 000 000-row walk reading every column (statement and data set), prepared
// inserts with parameters set by name, and point selects by key. Each case runs alone under
// callgrind (instructions per operation, repeatable) or interleaved with its raw twin (ratio of
// thread CPU times, so that the load of the machine weighs on both alike).
//
//   bench_layercases make <db> <charset> <rows>
//   bench_layercases run <case> raw|ours <db> <charset> <count>   (under callgrind --instr-atstart=no)
//   bench_layercases ratio <case> <db> <charset> <count> <rounds>
//   bench_layercases                                              (every case, temporary databases)
// Cases: fetch, dsfetch, insert, point. Only counts and ratios are meant to be compared.

#include "BenchDatabase.h"
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <valgrind/callgrind.h>
#include <vector>

using namespace db::connection;

namespace {

constexpr unsigned short Dialect = 3;
const char* const WalkSql = "select id, txt, ts from big_rows";
const char* const PointSql = "select id, txt, ts from big_rows where id = ?";
const char* const InsertSql = "insert into ins_rows (id, txt, ts) values (?, ?, ?)";
// 1899-12-30 (day 0 of a TDateTime) on the client's day count.
constexpr int ClientDay0 = 15018;

void MakeDatabase(const QString& path, const QString& charSet, int rows) {
    RunIsqlOrExit(
        QStringLiteral(
            "set names UTF8;\n"
            "create database '%1' user 'SYSDBA' default character set %2;\n"
            "create table big_rows (id integer not null primary key, txt varchar(60), ts timestamp);\n"
            "create table ins_rows (id integer, txt varchar(60), ts timestamp);\n")
            .arg(path, charSet) +
        BigRowsFillScript(rows) + QStringLiteral("commit;\n"));
}

// Texts the insert case stores, made before any measuring.
const std::vector<QString>& InsertTexts() {
    static const std::vector<QString> texts = [] {
        std::vector<QString> t;
        for (int i = 0; i < 64; ++i)
            t.push_back(QStringLiteral("Łódź,żółć-gęślą-jaźń:forma-nr-%1").arg(i * 7919));
        return t;
    }();
    return texts;
}

struct TTotals {
    long long Ids = 0;
    long long Chars = 0;
    double Days = 0;
    void Add(int id, const QString& text, double days) {
        Ids += id;
        Chars += text.size();
        Days += days;
    }
};

// ---- the raw client API

struct TRawDa {
    explicit TRawDa(int n) : Buffer(XSQLDA_LENGTH(n), '\0') {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = Da()->sqld = short(n);
    }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }
    QByteArray Buffer;
};

class TRaw {
public:
    TRaw(TFbDatabase& db, TFbTransaction& tr, bool utf8)
        : Library(db.ClientLibrary()), Tr(tr), Db(db), Utf8(utf8),
          Decoder(utf8 ? QStringDecoder(QStringConverter::Utf8) : QStringDecoder("windows-1250")),
          Encoder(utf8 ? QStringEncoder(QStringConverter::Utf8) : QStringEncoder("windows-1250")) {}
    ~TRaw() {
        if (Stmt) Library.isc_dsql_free_statement(StatusVector(), &Stmt, DSQL_drop);
    }

    void Prepare(const char* sql, bool withColumns) {
        Check(Library, Library.isc_dsql_alloc_statement2(StatusVector(), Db.HandleAddress(), &Stmt));
        Check(Library, Library.isc_dsql_prepare(StatusVector(), Tr.HandleAddress(), &Stmt, 0, sql, Dialect,
                                                withColumns ? Out.Da() : nullptr));
        if (!withColumns) return;
        for (int i = 0; i < 3; ++i) {
            XSQLVAR& v = Out.Da()->sqlvar[i];
            Data[i].resize(size_t(v.sqllen) + 2);
            v.sqldata = Data[i].data();
            v.sqlind = &Nulls[i];
        }
    }

    void ReadRow(TTotals& totals) {
        const int id = Nulls[0] ? 0 : *reinterpret_cast<const ISC_LONG*>(Data[0].data());
        QString text;
        if (!Nulls[1]) {
            const auto length = *reinterpret_cast<const unsigned short*>(Data[1].data());
            text = Decoder.decode(QByteArrayView(Data[1].data() + 2, length));
        }
        double days = 0;
        if (!Nulls[2]) {
            const auto* ts = reinterpret_cast<const ISC_TIMESTAMP*>(Data[2].data());
            days = double(ts->timestamp_date) - ClientDay0 + double(ts->timestamp_time / 10) / 86400000.0;
        }
        totals.Add(id, text, days);
    }

    void Walk(TTotals& totals) {
        Check(Library, Library.isc_dsql_execute(StatusVector(), Tr.HandleAddress(), &Stmt, Dialect, nullptr));
        while (Library.isc_dsql_fetch(StatusVector(), &Stmt, Dialect, Out.Da()) == 0)
            ReadRow(totals);
        Check(Library, Library.isc_dsql_free_statement(StatusVector(), &Stmt, DSQL_close));
    }

    void BindPoint() {
        XSQLVAR& v = In1.Da()->sqlvar[0];
        v.sqltype = SQL_LONG | 1;
        v.sqllen = 4;
        v.sqldata = reinterpret_cast<char*>(&Key);
        v.sqlind = &InNulls[0];
    }
    void Point(int key, TTotals& totals) {
        Key = key;
        Check(Library,
              Library.isc_dsql_execute(StatusVector(), Tr.HandleAddress(), &Stmt, Dialect, In1.Da()));
        if (Library.isc_dsql_fetch(StatusVector(), &Stmt, Dialect, Out.Da()) == 0) ReadRow(totals);
        Check(Library, Library.isc_dsql_free_statement(StatusVector(), &Stmt, DSQL_close));
    }

    void BindInsert() {
        XSQLVAR* v = In3.Da()->sqlvar;
        v[0].sqltype = SQL_LONG | 1;
        v[0].sqllen = 4;
        v[0].sqldata = reinterpret_cast<char*>(&Key);
        v[0].sqlind = &InNulls[0];
        v[1].sqltype = SQL_TEXT | 1;
        v[1].sqlind = &InNulls[1];
        v[2].sqltype = SQL_TIMESTAMP | 1;
        v[2].sqllen = sizeof(ISC_TIMESTAMP);
        v[2].sqldata = reinterpret_cast<char*>(&Stamp);
        v[2].sqlind = &InNulls[2];
    }
    void Insert(int i, const QString& text, double when) {
        Key = i;
        const QByteArray bytes = Encoder.encode(text);
        XSQLVAR& t = In3.Da()->sqlvar[1];
        t.sqllen = short(bytes.size());
        t.sqldata = const_cast<char*>(bytes.constData());
        const double day = double(int(when));
        Stamp.timestamp_date = ISC_DATE(int(day) + ClientDay0);
        Stamp.timestamp_time = ISC_TIME(qint64((when - day) * 86400000.0 + 0.5) * 10);
        Check(Library,
              Library.isc_dsql_execute(StatusVector(), Tr.HandleAddress(), &Stmt, Dialect, In3.Da()));
    }

    IIBClientLibrary& Library;
    TFbTransaction& Tr;
    TFbDatabase& Db;
    bool Utf8;
    QStringDecoder Decoder;
    QStringEncoder Encoder;
    isc_stmt_handle Stmt = 0;
    TRawDa Out{3}, In1{1}, In3{3};
    std::vector<char> Data[3];
    short Nulls[3] = {};
    short InNulls[3] = {};
    int Key = 0;
    ISC_TIMESTAMP Stamp{};
};

// ---- our layer, as the application uses it

class TOurs {
public:
    TOurs(TFbDatabase& db, TFbTransaction& tr, const char* sql) {
        Q.SetDatabase(&db);
        Q.SetTransaction(&tr);
        Q.SQL().Add(QString::fromLatin1(sql));
    }
    void ReadRow(TTotals& totals) {
        totals.Add(Q.FieldByName(QStringLiteral("id")).AsInteger(),
                   Q.FieldByName(QStringLiteral("txt")).AsString(),
                   Q.FieldByName(QStringLiteral("ts")).AsDateTime());
    }
    void Walk(TTotals& totals) {
        Q.ExecQuery();
        while (!Q.Eof()) {
            ReadRow(totals);
            Q.Next();
        }
        Q.Close();
    }
    void Point(int key, TTotals& totals) {
        Q.ParamByName(QStringLiteral("id")).SetAsInteger(key);
        Q.ExecQuery();
        if (!Q.Eof()) ReadRow(totals);
        Q.Close();
    }
    void Insert(int i, const QString& text, double when) {
        Q.ParamByName(QStringLiteral("id")).SetAsInteger(i);
        Q.ParamByName(QStringLiteral("txt")).SetAsString(text);
        Q.ParamByName(QStringLiteral("ts")).SetAsDateTime(when);
        Q.ExecQuery();
    }
    TpFbQuery Q;
};

class TOursDataSet {
public:
    TOursDataSet(TFbDatabase& db, TFbTransaction& tr) {
        Ds.SetDatabase(&db);
        Ds.SetTransaction(&tr);
        Ds.SelectSQL().Add(QString::fromLatin1(WalkSql));
    }
    void Walk(TTotals& totals) {
        Ds.Open();
        TField& id = Ds.FieldByName(QStringLiteral("id"));
        TField& txt = Ds.FieldByName(QStringLiteral("txt"));
        TField& ts = Ds.FieldByName(QStringLiteral("ts"));
        while (!Ds.Eof()) {
            totals.Add(id.AsInteger(), txt.AsString(), ts.AsDateTime());
            Ds.Next();
        }
        Ds.Close();
    }
    TpFbDataSet Ds;
};

// ---- one case: the raw and our way, each able to run `count` operations

struct TCase {
    std::function<void(int count, TTotals&)> Raw, Ours;
};

struct TSession {
    std::unique_ptr<TpFbDatabase> Db;
    std::unique_ptr<TpFbTransaction> Tr;
    std::unique_ptr<TRaw> Raw;
    std::unique_ptr<TOurs> Ours;
    std::unique_ptr<TOursDataSet> OursDs;
    int NextId = 0, NextOurId = 0;
    int Rows = 0;
};

// The point selects read within the first 20 000 rows, whose pages stay in the engine's page cache
// once read: which of the two ways read a page first does not decide the comparison.
constexpr int PointWindow = 20000;
int PointKey(const TSession& s, int n) {
    return int((long long)n * 7919 % std::min(s.Rows, PointWindow));
}

TCase MakeCase(TSession& s, const QString& name, const QString& path, const QString& charSet) {
    s.Db = ConnectBenchDatabase(path, charSet);
    s.Tr = std::make_unique<TpFbTransaction>();
    s.Tr->SetDefaultDatabase(s.Db.get());
    s.Tr->StartTransaction();
    const bool utf8 = charSet == QStringLiteral("UTF8");
    s.Raw = std::make_unique<TRaw>(*s.Db, *s.Tr, utf8);
    {
        TpFbQuery count;
        count.SetDatabase(s.Db.get());
        count.SetTransaction(s.Tr.get());
        count.SQL().Add(QStringLiteral("select count(*) from big_rows"));
        count.ExecQuery();
        s.Rows = count.Fields(0).AsInteger();
        count.Close();
    }
    TCase c;
    if (name == QStringLiteral("fetch") || name == QStringLiteral("dsfetch")) {
        s.Raw->Prepare(WalkSql, true);
        c.Raw = [&s](int count, TTotals& t) {
            for (int k = 0; k < count; ++k)
                s.Raw->Walk(t);
        };
        if (name == QStringLiteral("fetch")) {
            s.Ours = std::make_unique<TOurs>(*s.Db, *s.Tr, WalkSql);
            c.Ours = [&s](int count, TTotals& t) {
                for (int k = 0; k < count; ++k)
                    s.Ours->Walk(t);
            };
        } else {
            s.OursDs = std::make_unique<TOursDataSet>(*s.Db, *s.Tr);
            c.Ours = [&s](int count, TTotals& t) {
                for (int k = 0; k < count; ++k)
                    s.OursDs->Walk(t);
            };
        }
    } else if (name == QStringLiteral("point")) {
        s.Raw->Prepare(PointSql, true);
        s.Raw->BindPoint();
        s.Ours = std::make_unique<TOurs>(*s.Db, *s.Tr, "select id, txt, ts from big_rows where id = :id");
        // Keys spread by a fixed stride over the first rows, the same sequence for both.
        c.Raw = [&s](int count, TTotals& t) {
            for (int k = 0; k < count; ++k, ++s.NextId)
                s.Raw->Point(PointKey(s, s.NextId), t);
        };
        c.Ours = [&s](int count, TTotals& t) {
            for (int k = 0; k < count; ++k, ++s.NextOurId)
                s.Ours->Point(PointKey(s, s.NextOurId), t);
        };
    } else if (name == QStringLiteral("insert")) {
        s.Raw->Prepare(InsertSql, false);
        s.Raw->BindInsert();
        s.Ours = std::make_unique<TOurs>(*s.Db, *s.Tr,
                                         "insert into ins_rows (id, txt, ts) values (:id, :txt, :ts)");
        const std::vector<QString>& texts = InsertTexts();
        c.Raw = [&s, &texts](int count, TTotals&) {
            for (int k = 0; k < count; ++k, ++s.NextId)
                s.Raw->Insert(s.NextId, texts[size_t(s.NextId) % texts.size()],
                              45000.25 + s.NextId / 86400.0);
        };
        c.Ours = [&s, &texts](int count, TTotals&) {
            for (int k = 0; k < count; ++k, ++s.NextOurId)
                s.Ours->Insert(s.NextOurId, texts[size_t(s.NextOurId) % texts.size()],
                               45000.25 + s.NextOurId / 86400.0);
        };
    } else {
        std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
        std::exit(2);
    }
    return c;
}

void EndSession(TSession& s) {
    s.Ours.reset();
    s.OursDs.reset();
    s.Raw.reset();
    s.Tr->Rollback();
    s.Tr.reset();
    s.Db.reset();
}

// One way alone; callgrind counts only the operations.
int RunOne(const QString& name, bool raw, const QString& path, const QString& charSet, int count) {
    TSession s;
    const TCase c = MakeCase(s, name, path, charSet);
    const auto& run = raw ? c.Raw : c.Ours;
    TTotals warm, totals;
    run(1, warm); // the first execution prepares, the first walk fills caches
    const double t0 = ThreadSeconds();
    CALLGRIND_ZERO_STATS;
    CALLGRIND_START_INSTRUMENTATION;
    run(count, totals);
    CALLGRIND_STOP_INSTRUMENTATION;
    const double t1 = ThreadSeconds();
    std::printf("%s %s %s: %.6f s cpu, ids %lld chars %lld days %.3f\n", qPrintable(name),
                raw ? "raw" : "ours", qPrintable(charSet), t1 - t0, totals.Ids, totals.Chars, totals.Days);
    EndSession(s);
    return 0;
}

// Interleaved rounds; prints the median ratio of the rounds and the ratio of the sums.
double Ratio(const QString& name, const QString& path, const QString& charSet, int count, int rounds) {
    TSession s;
    const TCase c = MakeCase(s, name, path, charSet);
    TTotals warm;
    c.Raw(name == QStringLiteral("point") ? PointWindow : 1, warm);
    c.Ours(1, warm);
    s.NextId = s.NextOurId = 0;
    std::vector<double> ratios;
    double rawSum = 0, ourSum = 0;
    for (int r = 0; r < rounds; ++r) {
        // The way that goes second finds the pages the first one read in the page cache: the
        // two take turns at going first.
        TTotals rt, ot;
        double rawTime = 0, ourTime = 0;
        const auto timed = [](const std::function<void(int, TTotals&)>& way, int n, TTotals& t) {
            const double start = ThreadSeconds();
            way(n, t);
            return ThreadSeconds() - start;
        };
        if (r % 2 == 0) {
            rawTime = timed(c.Raw, count, rt);
            ourTime = timed(c.Ours, count, ot);
        } else {
            ourTime = timed(c.Ours, count, ot);
            rawTime = timed(c.Raw, count, rt);
        }
        if (rt.Ids != ot.Ids || rt.Chars != ot.Chars || rt.Days != ot.Days) {
            std::fprintf(stderr, "%s: raw %lld %lld %.6f, ours %lld %lld %.6f\n", qPrintable(name), rt.Ids,
                         rt.Chars, rt.Days, ot.Ids, ot.Chars, ot.Days);
            std::exit(3);
        }
        rawSum += rawTime;
        ourSum += ourTime;
        ratios.push_back(ourTime / rawTime);
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("%-8s %-8s raw %9.3f us/op  ours %9.3f us/op  ratio median %.3f  sums %.3f\n",
                qPrintable(name), qPrintable(charSet), rawSum / rounds / count * 1e6,
                ourSum / rounds / count * 1e6, median, ourSum / rawSum);
    EndSession(s);
    return median;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.size() > 1 ? args[1] : QString();
    try {
        if (mode == QStringLiteral("make") && args.size() == 5) {
            MakeDatabase(args[2], args[3], args[4].toInt());
            return 0;
        }
        if (mode == QStringLiteral("run") && args.size() == 7)
            return RunOne(args[2], args[3] == QStringLiteral("raw"), args[4], args[5], args[6].toInt());
        if (mode == QStringLiteral("ratio") && args.size() == 7) {
            Ratio(args[2], args[3], args[4], args[5].toInt(), args[6].toInt());
            return 0;
        }
        if (!mode.isEmpty() && !mode.startsWith(QStringLiteral("--"))) {
            std::fprintf(stderr, "usage: see the head of LayerCases.cpp\n");
            return 2;
        }
        // Every case on fresh databases of 1 000 000 rows.
        QTemporaryDir dir;
        for (const QString& charSet : {QStringLiteral("UTF8"), QStringLiteral("WIN1250")}) {
            const QString path = dir.filePath(charSet + QStringLiteral(".fdb"));
            MakeDatabase(path, charSet, 1000000);
            Ratio(QStringLiteral("fetch"), path, charSet, 1, 5);
            Ratio(QStringLiteral("dsfetch"), path, charSet, 1, 5);
            Ratio(QStringLiteral("insert"), path, charSet, 10000, 10);
            Ratio(QStringLiteral("point"), path, charSet, 1000, 10);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
