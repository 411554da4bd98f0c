// SOCI's Firebird backend. Its session starts transactions with the client's default parameters; the
// common ones are put in place by restarting the session's transaction on its own handle. Texts come
// back as std::string in the connection's encoding (not decoded) and instants as std::tm.

#include "PeerBench.h"

#include <ibase.h>
#include <soci/firebird/soci-firebird.h>
#include <soci/soci.h>
#include <stdexcept>
#include <string>

namespace {

const char ReadCommitted[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_read_committed,
                              isc_tpb_rec_version};

void Connect(soci::session& sql, const TPeerRun& run, const QString& file, const QString& charSet) {
    sql.open(soci::firebird, ("service=" + run.DatabaseName(file) + " user=" + QLatin1String(UserName) +
                              " password=" + QLatin1String(Password) + " charset=" + charSet)
                                 .toStdString());
}

// The session's transaction handle. The backend keeps it private and its library exports none of its
// functions; an explicit instantiation may name a private member, which gives a pointer to it.
isc_tr_handle soci::firebird_session_backend::*TransactionMember();
template <isc_tr_handle soci::firebird_session_backend::*Member> struct TTransactionAccess {
    friend isc_tr_handle soci::firebird_session_backend::*TransactionMember() { return Member; }
};
template struct TTransactionAccess<&soci::firebird_session_backend::trhp_>;

// Starts the session's transaction with the common parameters in place of the client's defaults; the
// session's statements and its commit then use it.
void Begin(soci::session& sql) {
    auto* backend = static_cast<soci::firebird_session_backend*>(sql.get_backend());
    isc_tr_handle& tr = backend->*TransactionMember();
    ISC_STATUS_ARRAY status;
    if (tr && isc_rollback_transaction(status, &tr))
        throw std::runtime_error("cannot end the SOCI session's transaction");
    if (isc_start_transaction(status, &tr, 1, &backend->dbhp_, (unsigned short)sizeof ReadCommitted,
                              ReadCommitted))
        throw std::runtime_error("cannot start the SOCI session's transaction");
}

void ReadRow(int id, const std::string& txt, const std::tm& ts, QStringDecoder& decoder, TPeerTally& tally) {
    ++tally.Rows;
    tally.Ids += id;
    const QString text = decoder.decode(QByteArrayView(txt.data(), qsizetype(txt.size())));
    tally.Chars += text.size();
    if (ts.tm_year > 0) ++tally.Stamps;
}

TPeerTally Fetch(const TPeerRun& run, TStopwatch& clock) {
    soci::session sql;
    Connect(sql, run, QLatin1String(BigFile), run.CharSet);
    TPeerTally tally;
    tally.Chars = 0;
    QStringDecoder decoder = DecoderFor(run.CharSet);
    clock.Start();
    {
        Begin(sql);
        int id = 0;
        std::string txt;
        std::tm ts{};
        soci::statement st = (sql.prepare << FetchSql, soci::into(id), soci::into(txt), soci::into(ts));
        st.execute();
        while (st.fetch())
            ReadRow(id, txt, ts, decoder, tally);
        sql.commit();
    }
    clock.Stop();
    return tally;
}

TPeerTally Insert(const TPeerRun& run, TStopwatch& clock) {
    soci::session sql;
    Connect(sql, run, QLatin1String(BigFile), run.CharSet);
    std::vector<QString> texts;
    std::vector<std::tm> instants;
    for (int k = 0; k < InsertValues; ++k) {
        texts.push_back(InsertText(k));
        instants.push_back(InsertInstant(k));
    }
    QStringEncoder encoder = EncoderFor(run.CharSet);
    clock.Start();
    {
        Begin(sql);
        int id = 0;
        std::string txt;
        std::tm ts{};
        soci::statement st = (sql.prepare << "insert into ins_rows (id, txt, ts) values (:id, :txt, :ts)",
                              soci::use(id), soci::use(txt), soci::use(ts));
        for (int i = 0; i < run.Sizes.Inserts; ++i) {
            const int k = i % InsertValues;
            id = i;
            // Encoded per row into the bound string's own storage, as the raw API does into its buffer.
            const QString& text = texts[size_t(k)];
            txt.resize(size_t(encoder.requiredSpace(text.size())));
            txt.resize(size_t(encoder.appendToBuffer(txt.data(), text) - txt.data()));
            ts = instants[size_t(k)];
            st.execute(true);
        }
        sql.commit();
    }
    clock.Stop();
    return TPeerTally();
}

TPeerTally Point(const TPeerRun& run, TStopwatch& clock) {
    soci::session sql;
    Connect(sql, run, QLatin1String(BigFile), run.CharSet);
    TPeerTally tally;
    tally.Chars = 0;
    QStringDecoder decoder = DecoderFor(run.CharSet);
    clock.Start();
    {
        Begin(sql);
        int key = 0, id = 0;
        std::string txt;
        std::tm ts{};
        soci::statement st = (sql.prepare << "select id, txt, ts from big_rows where id = :id",
                              soci::use(key), soci::into(id), soci::into(txt), soci::into(ts));
        for (int k = 0; k < run.Sizes.Points; ++k) {
            key = PointKey(k, run.Sizes.Rows);
            if (st.execute(true)) ReadRow(id, txt, ts, decoder, tally);
        }
        sql.commit();
    }
    clock.Stop();
    return tally;
}

// The update run: one transaction per session in SOCI, so the list and the writes on the Formy
// database need a session each (the others use one attachment with two transactions).
TPeerTally UpdateRun(const TPeerRun& run, TStopwatch& clock) {
    const QString charSet = QStringLiteral("WIN1250"); // as the application connects
    soci::session list, write, vorek;
    Connect(list, run, QLatin1String(FormyFile), charSet);
    Connect(write, run, QLatin1String(FormyFile), charSet);
    Connect(vorek, run, QLatin1String(VorekFile), charSet);
    TPeerTally tally;
    clock.Start();
    {
        Begin(list);
        int id = 0, counter = 0, mode = 0, tool = 0;
        std::string nazwa, kod1;
        soci::indicator nazwaNull, kodNull, counterNull, toolNull;
        soci::statement moulds =
            (list.prepare
                 << "select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and "
                    "id_vorek<>0",
             soci::into(id), soci::into(nazwa, nazwaNull), soci::into(kod1, kodNull),
             soci::into(counter, counterNull), soci::into(mode), soci::into(tool, toolNull));
        moulds.execute();
        bool sumStarted = false;
        while (moulds.fetch()) {
            const std::string name = nazwa + '[' + kod1;
            if (sumStarted) vorek.rollback();
            Begin(vorek);
            sumStarted = true;
            long long cycles = 0;
            soci::indicator cyclesNull;
            vorek << "select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid", soci::use(tool),
                soci::into(cycles, cyclesNull);
            if (cyclesNull != soci::i_ok) cycles = 0;
            const int value = int(cycles);
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            Begin(write);
            write << "UPDATE formy set counter=:c, counttch=:t  \r\nWHERE id = :id", soci::use(value),
                soci::use(local), soci::use(id);
            write.commit();
            Begin(write);
            const std::string text = HistoryText;
            const int noUser = -1, zero = 0;
            write << "Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( "
                     ":f,:s,:o,:t,:p,:l )",
                soci::use(id), soci::use(value), soci::use(counter), soci::use(text), soci::use(noUser),
                soci::use(zero);
            write.commit();
            ++tally.Rows;
        }
        list.commit();
        if (sumStarted) vorek.rollback();
    }
    clock.Stop();
    return tally;
}

TPeerTally Transaction(const TPeerRun& run) {
    soci::session sql;
    Connect(sql, run, QLatin1String(BigFile), run.CharSet);
    Begin(sql);
    int isolation = 0, timeout = 0, readOnly = 0;
    sql << TransactionSql, soci::into(isolation), soci::into(timeout), soci::into(readOnly);
    sql.rollback();
    TPeerTally tally;
    tally.Ids = isolation;
    tally.Rows = timeout;
    tally.Stamps = readOnly;
    return tally;
}

} // namespace

void AddSociApis(std::vector<TPeerApi>& apis) {
    apis.push_back(EveryCaseApi(QStringLiteral("soci"), QStringLiteral("SOCI 4.0 (firebird)"),
                                {Fetch, Insert, Point, UpdateRun, Transaction}));
}
