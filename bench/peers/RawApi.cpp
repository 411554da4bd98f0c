// The baseline: hand-written calls of the Firebird client API. The attachment is made through our
// database component before the clock starts; everything measured is plain isc_* calls on its handle.

#include "PeerBench.h"
#include "RawUpdateRun.h"

#include "db/connection/pFbDatabase.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace db::connection;
using rawrun::Dialect;

namespace {

std::unique_ptr<TpFbDatabase> Attach(const TPeerRun& run, const QString& file, const QString& charSet) {
    auto db = std::make_unique<TpFbDatabase>();
    db->SetDBName(run.DatabaseName(file));
    db->SetDBParams({QStringLiteral("user_name=") + QLatin1String(UserName),
                     QStringLiteral("password=") + QLatin1String(Password),
                     QStringLiteral("lc_ctype=") + charSet});
    db->SetSQLDialect(3);
    db->SetConnected(true);
    return db;
}

// One transaction with the common parameters (write, nowait, read committed, record versions).
class TRawTransaction {
public:
    explicit TRawTransaction(TFbDatabase& db) : L(db.ClientLibrary()) {
        struct {
            isc_db_handle* Database;
            int Length;
            const char* TPB;
        } teb{db.HandleAddress(), int(sizeof rawrun::ReadCommitted), rawrun::ReadCommitted};
        Check(L, L.isc_start_multiple(StatusVector(), &Handle, 1, &teb));
    }
    ~TRawTransaction() {
        if (Handle) L.isc_rollback_transaction(StatusVector(), &Handle);
    }
    void Commit() { Check(L, L.isc_commit_transaction(StatusVector(), &Handle)); }
    IIBClientLibrary& L;
    isc_tr_handle Handle = 0;
};

// A described output list with buffers of its own.
struct TRawRow {
    explicit TRawRow(int count)
        : Buffer(size_t(XSQLDA_LENGTH(count)), 0), Data(size_t(count)), Nulls(size_t(count)) {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = short(count);
    }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }
    void Allocate() {
        for (int i = 0; i < Da()->sqld; ++i) {
            XSQLVAR& v = Da()->sqlvar[i];
            Data[size_t(i)].assign(size_t(v.sqllen) + 2, 0);
            v.sqldata = Data[size_t(i)].data();
            v.sqlind = &Nulls[size_t(i)];
        }
    }
    std::vector<char> Buffer;
    std::vector<std::vector<char>> Data;
    std::vector<short> Nulls;
};

// A statement handle dropped on every path.
struct TRawStatement {
    TRawStatement(TFbDatabase& db) : L(db.ClientLibrary()) {
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &Handle));
    }
    ~TRawStatement() { L.isc_dsql_free_statement(StatusVector(), &Handle, DSQL_drop); }
    IIBClientLibrary& L;
    isc_stmt_handle Handle = 0;
};

// Reads the current row of id, txt, ts into an int, a QString and a date-time (days since 1899-12-30,
// the form our layer hands back).
void ReadRow(TRawRow& row, QStringDecoder& decoder, TPeerTally& tally) {
    ++tally.Rows;
    if (!row.Nulls[0]) tally.Ids += *reinterpret_cast<const ISC_LONG*>(row.Data[0].data());
    if (!row.Nulls[1]) {
        const auto length = *reinterpret_cast<const unsigned short*>(row.Data[1].data());
        const QString text = decoder.decode(QByteArrayView(row.Data[1].data() + 2, length));
        tally.Chars += text.size();
    }
    if (!row.Nulls[2]) {
        const auto* ts = reinterpret_cast<const ISC_TIMESTAMP*>(row.Data[2].data());
        const double days = double(ts->timestamp_date) - 15018 + double(ts->timestamp_time) / (864000000.0);
        if (days > 0) ++tally.Stamps;
    }
}

TPeerTally Fetch(const TPeerRun& run, TStopwatch& clock) {
    auto db = Attach(run, QLatin1String(BigFile), run.CharSet);
    IIBClientLibrary& L = db->ClientLibrary();
    QStringDecoder decoder = DecoderFor(run.CharSet);
    TPeerTally tally;
    tally.Chars = 0;
    clock.Start();
    {
        TRawTransaction tr(*db);
        TRawStatement stmt(*db);
        TRawRow row(3);
        Check(L,
              L.isc_dsql_prepare(StatusVector(), &tr.Handle, &stmt.Handle, 0, FetchSql, Dialect, row.Da()));
        row.Allocate();
        Check(L, L.isc_dsql_execute(StatusVector(), &tr.Handle, &stmt.Handle, Dialect, nullptr));
        ISC_STATUS fetched;
        while ((fetched = L.isc_dsql_fetch(StatusVector(), &stmt.Handle, Dialect, row.Da())) == 0)
            ReadRow(row, decoder, tally);
        if (fetched != 100) Check(L, fetched);
        Check(L, L.isc_dsql_free_statement(StatusVector(), &stmt.Handle, DSQL_close));
        tr.Commit();
    }
    clock.Stop();
    return tally;
}

TPeerTally Insert(const TPeerRun& run, TStopwatch& clock) {
    auto db = Attach(run, QLatin1String(BigFile), run.CharSet);
    IIBClientLibrary& L = db->ClientLibrary();
    // The values as a Qt program holds them: texts as QString (encoded here per row, as an application
    // must), instants already in the client's form.
    std::vector<QString> texts;
    std::vector<ISC_TIMESTAMP> instants(InsertValues);
    for (int k = 0; k < InsertValues; ++k) {
        texts.push_back(InsertText(k));
        std::tm t = InsertInstant(k);
        L.isc_encode_timestamp(&t, &instants[size_t(k)]);
    }
    QStringEncoder encoder = EncoderFor(run.CharSet);
    std::vector<char> in(size_t(XSQLDA_LENGTH(3)), 0);
    auto* da = reinterpret_cast<XSQLDA*>(in.data());
    da->version = SQLDA_VERSION1;
    da->sqln = da->sqld = 3;
    ISC_LONG id = 0;
    short nulls[3] = {};
    char text[2 + 256];
    clock.Start();
    {
        TRawTransaction tr(*db);
        TRawStatement stmt(*db);
        Check(L,
              L.isc_dsql_prepare(StatusVector(), &tr.Handle, &stmt.Handle, 0, InsertSql, Dialect, nullptr));
        // The parameters in the form the server describes them (the text as its VARCHAR), as a
        // program written against the API binds them.
        Check(L, L.isc_dsql_describe_bind(StatusVector(), &stmt.Handle, Dialect, da));
        if (da->sqlvar[0].sqltype != (SQL_LONG | 1) || da->sqlvar[1].sqltype != (SQL_VARYING | 1) ||
            da->sqlvar[1].sqllen > 256 || da->sqlvar[2].sqltype != (SQL_TIMESTAMP | 1))
            throw std::runtime_error("the insert's parameters are not described as expected");
        da->sqlvar[0].sqldata = reinterpret_cast<char*>(&id);
        da->sqlvar[1].sqldata = text;
        for (int i = 0; i < 3; ++i)
            da->sqlvar[i].sqlind = &nulls[i];
        for (int i = 0; i < run.Sizes.Inserts; ++i) {
            const int k = i % InsertValues;
            id = i;
            char* end = encoder.appendToBuffer(text + 2, texts[size_t(k)]);
            const unsigned short length = static_cast<unsigned short>(end - (text + 2));
            std::memcpy(text, &length, sizeof length);
            da->sqlvar[2].sqldata = reinterpret_cast<char*>(&instants[size_t(k)]);
            Check(L, L.isc_dsql_execute(StatusVector(), &tr.Handle, &stmt.Handle, Dialect, da));
        }
        tr.Commit();
    }
    clock.Stop();
    return TPeerTally(); // counted in the database afterwards
}

TPeerTally Point(const TPeerRun& run, TStopwatch& clock) {
    auto db = Attach(run, QLatin1String(BigFile), run.CharSet);
    IIBClientLibrary& L = db->ClientLibrary();
    QStringDecoder decoder = DecoderFor(run.CharSet);
    TPeerTally tally;
    tally.Chars = 0;
    std::vector<char> in(size_t(XSQLDA_LENGTH(1)), 0);
    auto* da = reinterpret_cast<XSQLDA*>(in.data());
    da->version = SQLDA_VERSION1;
    da->sqln = da->sqld = 1;
    ISC_LONG key = 0;
    short keyNull = 0;
    da->sqlvar[0].sqltype = SQL_LONG | 1;
    da->sqlvar[0].sqllen = sizeof key;
    da->sqlvar[0].sqldata = reinterpret_cast<char*>(&key);
    da->sqlvar[0].sqlind = &keyNull;
    clock.Start();
    {
        TRawTransaction tr(*db);
        TRawStatement stmt(*db);
        TRawRow row(3);
        Check(L,
              L.isc_dsql_prepare(StatusVector(), &tr.Handle, &stmt.Handle, 0, PointSql, Dialect, row.Da()));
        row.Allocate();
        for (int k = 0; k < run.Sizes.Points; ++k) {
            key = PointKey(k, run.Sizes.Rows);
            Check(L, L.isc_dsql_execute(StatusVector(), &tr.Handle, &stmt.Handle, Dialect, da));
            const ISC_STATUS fetched = L.isc_dsql_fetch(StatusVector(), &stmt.Handle, Dialect, row.Da());
            if (fetched == 0)
                ReadRow(row, decoder, tally);
            else if (fetched != 100)
                Check(L, fetched);
            Check(L, L.isc_dsql_free_statement(StatusVector(), &stmt.Handle, DSQL_close));
        }
        tr.Commit();
    }
    clock.Stop();
    return tally;
}

TPeerTally UpdateRun(const TPeerRun& run, TStopwatch& clock) {
    // Connected as the application connects.
    auto formy = Attach(run, QLatin1String(FormyFile), QStringLiteral("WIN1250"));
    auto vorek = Attach(run, QLatin1String(VorekFile), QStringLiteral("WIN1250"));
    TPeerTally tally;
    clock.Start();
    {
        rawrun::TRawRun raw(*formy, *vorek);
        tally.Rows = raw.Run();
    }
    clock.Stop();
    return tally;
}

TPeerTally Transaction(const TPeerRun& run) {
    auto db = Attach(run, QLatin1String(BigFile), run.CharSet);
    IIBClientLibrary& L = db->ClientLibrary();
    TRawTransaction tr(*db);
    TRawStatement stmt(*db);
    TRawRow row(3);
    Check(L,
          L.isc_dsql_prepare(StatusVector(), &tr.Handle, &stmt.Handle, 0, TransactionSql, Dialect, row.Da()));
    row.Allocate();
    Check(L, L.isc_dsql_execute(StatusVector(), &tr.Handle, &stmt.Handle, Dialect, nullptr));
    Check(L, L.isc_dsql_fetch(StatusVector(), &stmt.Handle, Dialect, row.Da()));
    auto value = [&](int i) { return *reinterpret_cast<const ISC_LONG*>(row.Data[size_t(i)].data()); };
    TPeerTally tally;
    tally.Ids = value(0);
    tally.Rows = value(1);
    tally.Stamps = value(2);
    return tally;
}

} // namespace

void AddRawApis(std::vector<TPeerApi>& apis) {
    apis.push_back(EveryCaseApi(QStringLiteral("raw"), QStringLiteral("raw client API"),
                                {Fetch, Insert, Point, UpdateRun, Transaction}));
}
