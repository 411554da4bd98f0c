#pragma once
// The counter update run written by hand on the raw client API: the same statements in the same
// transactions as the application's run, each prepared per mould as the run does. The baseline of
// the update run benchmarks (bench/updaterun, bench/peers).

#include "BenchDatabase.h"
#include "db/connection/FbDatabase.h"
#include "db/connection/fb.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace rawrun {

using namespace db::connection;

inline constexpr unsigned short Dialect = 3;
inline const char* const ListSql =
    "select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and id_vorek<>0";
inline const char* const SumSql = "select sum( t.cx ) as scykli from tools_data t    where t.id_t=?";
inline const char* const UpdateSql = "UPDATE formy set counter=?, counttch=?  \r\nWHERE id = ?";
inline const char* const HistorySql =
    "Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( ?,?,?,?,?,? )";
inline const char ReadCommitted[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_read_committed,
                                     isc_tpb_rec_version};

// An XSQLDA whose items own their data and null flags.
struct TRawDA {
    explicit TRawDA(int count)
        : Buffer(size_t(XSQLDA_LENGTH(count)), 0), Data(size_t(count)), Nulls(size_t(count)) {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = Da()->sqld = short(count);
    }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }
    XSQLVAR& Var(int i) { return Da()->sqlvar[i]; }
    // Gives every described item a buffer of its length.
    void Allocate() {
        for (int i = 0; i < Da()->sqld; ++i) {
            XSQLVAR& v = Var(i);
            Data[size_t(i)].assign(size_t(v.sqllen) + 2, 0);
            v.sqldata = Data[size_t(i)].data();
            v.sqlind = &Nulls[size_t(i)];
        }
    }
    void SetInt(int i, int value) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_LONG | 1;
        v.sqllen = 4;
        v.sqlscale = 0;
        Data[size_t(i)].assign(8, 0);
        std::memcpy(Data[size_t(i)].data(), &value, 4);
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    void SetText(int i, const QByteArray& text) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_TEXT | 1;
        v.sqllen = short(text.size());
        Data[size_t(i)].assign(text.begin(), text.end());
        Data[size_t(i)].push_back(0);
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    void SetNow(IIBClientLibrary& library, int i) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_TIMESTAMP | 1;
        v.sqllen = sizeof(ISC_TIMESTAMP);
        Data[size_t(i)].assign(sizeof(ISC_TIMESTAMP), 0);
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        library.isc_encode_timestamp(&local, reinterpret_cast<ISC_TIMESTAMP*>(Data[size_t(i)].data()));
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    int Int(int i) const {
        if (Nulls[size_t(i)]) return 0;
        const XSQLVAR& v = const_cast<TRawDA*>(this)->Var(i);
        if ((v.sqltype & ~1) == SQL_INT64) {
            ISC_INT64 value;
            std::memcpy(&value, v.sqldata, 8);
            return int(value);
        }
        int value;
        std::memcpy(&value, v.sqldata, 4);
        return value;
    }
    QString Text(int i) const {
        if (Nulls[size_t(i)]) return QString();
        const XSQLVAR& v = const_cast<TRawDA*>(this)->Var(i);
        short length;
        std::memcpy(&length, v.sqldata, 2);
        return QString::fromLatin1(v.sqldata + 2, length);
    }
    std::vector<char> Buffer;
    std::vector<std::vector<char>> Data;
    std::vector<short> Nulls;
};

// The run written by hand: the list in its transaction, then per mould the sum in a restarted
// transaction, the counter update and the history row each in a transaction of its own.
class TRawRun {
public:
    TRawRun(TFbDatabase& formy, TFbDatabase& vorek)
        : FFormy(formy), FVorek(vorek), L(formy.ClientLibrary()) {}
    ~TRawRun() {
        for (isc_tr_handle* tr : {&FList, &FSum})
            if (*tr) L.isc_rollback_transaction(StatusVector(), tr);
    }

    int Run() {
        if (FList) Check(L, L.isc_rollback_transaction(StatusVector(), &FList));
        Start(FFormy, FList);
        isc_stmt_handle list = 0, sum = 0, write = 0;
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FFormy.HandleAddress(), &list));
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FVorek.HandleAddress(), &sum));
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FFormy.HandleAddress(), &write));
        TRawDA row(6);
        Check(L, L.isc_dsql_prepare(StatusVector(), &FList, &list, 0, ListSql, Dialect, row.Da()));
        row.Allocate();
        Check(L, L.isc_dsql_execute(StatusVector(), &FList, &list, Dialect, nullptr));
        int moulds = 0;
        while (L.isc_dsql_fetch(StatusVector(), &list, Dialect, row.Da()) == 0) {
            const QString name = row.Text(1) + QLatin1Char('[') + row.Text(2);
            const int id = row.Int(0), counter = row.Int(3), tool = row.Int(5);
            const int cycles = Sum(sum, tool);
            Write(write, id, cycles, counter, name);
            ++moulds;
        }
        for (isc_stmt_handle* s : {&list, &sum, &write})
            L.isc_dsql_free_statement(StatusVector(), s, DSQL_drop);
        return moulds;
    }

private:
    void Start(TFbDatabase& db, isc_tr_handle& tr) {
        struct {
            isc_db_handle* Database;
            int Length;
            const char* TPB;
        } teb{db.HandleAddress(), int(sizeof ReadCommitted), ReadCommitted};
        Check(L, L.isc_start_multiple(StatusVector(), &tr, 1, &teb));
    }
    int Sum(isc_stmt_handle& sum, int tool) {
        if (FSum) Check(L, L.isc_rollback_transaction(StatusVector(), &FSum));
        Start(FVorek, FSum);
        TRawDA out(1), in(1);
        Check(L, L.isc_dsql_prepare(StatusVector(), &FSum, &sum, 0, SumSql, Dialect, out.Da()));
        out.Allocate();
        in.SetInt(0, tool);
        Check(L, L.isc_dsql_execute(StatusVector(), &FSum, &sum, Dialect, in.Da()));
        Check(L, L.isc_dsql_fetch(StatusVector(), &sum, Dialect, out.Da()));
        const int value = out.Int(0);
        Check(L, L.isc_dsql_free_statement(StatusVector(), &sum, DSQL_close));
        return value;
    }
    void Write(isc_stmt_handle& write, int id, int cycles, int counter, const QString&) {
        isc_tr_handle tr = 0;
        Start(FFormy, tr);
        Check(L, L.isc_dsql_prepare(StatusVector(), &tr, &write, 0, UpdateSql, Dialect, nullptr));
        TRawDA update(3);
        update.SetInt(0, cycles);
        update.SetNow(L, 1);
        update.SetInt(2, id);
        Check(L, L.isc_dsql_execute(StatusVector(), &tr, &write, Dialect, update.Da()));
        Check(L, L.isc_commit_transaction(StatusVector(), &tr));

        Start(FFormy, tr);
        Check(L, L.isc_dsql_prepare(StatusVector(), &tr, &write, 0, HistorySql, Dialect, nullptr));
        TRawDA history(6);
        history.SetInt(0, id);
        history.SetInt(1, cycles);
        history.SetInt(2, counter);
        history.SetText(3, QByteArrayLiteral("Raport Vorek"));
        history.SetInt(4, -1);
        history.SetInt(5, 0);
        Check(L, L.isc_dsql_execute(StatusVector(), &tr, &write, Dialect, history.Da()));
        Check(L, L.isc_commit_transaction(StatusVector(), &tr));
    }

    TFbDatabase& FFormy;
    TFbDatabase& FVorek;
    IIBClientLibrary& L;
    isc_tr_handle FList = 0;
    isc_tr_handle FSum = 0;
};

} // namespace rawrun
