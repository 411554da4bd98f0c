#pragma once
// The peer comparison: one process runs one case through one client API and reports its time and
// what it read or wrote, so that the driver (PeerMatrix.cpp) can check every API did the same work.

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <ctime>
#include <functional>
#include <vector>

// Transaction is no timed case: it reports the parameters of the API's transaction as the server sees
// them (isolation in Ids, lock timeout in Rows, read-only in Stamps), for the notes of the table.
enum class TPeerCase { Fetch, Insert, Point, UpdateRun, Transaction };

QString CaseName(TPeerCase c);
bool ParseCase(const QString& name, TPeerCase& result);

// The sizes of the cases; TARVELO_BENCH_ROWS shrinks them for a quick check.
struct TPeerSizes {
    int Rows = 1000000; // rows of the fetched table
    int Inserts = 100000;
    int Points = 10000;
    int Moulds = 1000;
    static TPeerSizes FromEnvironment();
};

// What one process is asked to run.
struct TPeerRun {
    TPeerCase Case = TPeerCase::Fetch;
    QString CharSet; // UTF8 or WIN1250: of the databases and, where the API lets us, of the connection
    bool Remote = false;
    QString Dir; // folder of the benchmark databases
    TPeerSizes Sizes;
    // A database file of the folder by the name the API attaches to: over the loopback server when remote.
    QString DatabaseName(const QString& file) const;
    QString Path(const QString& file) const;
};

constexpr const char* RemotePrefix = "127.0.0.1/30531:";
constexpr const char* RemoteHost = "127.0.0.1";
constexpr int RemotePort = 30531;
constexpr const char* UserName = "SYSDBA";
constexpr const char* Password = "tulipwand";
constexpr const char* BigFile = "rows.fdb";
constexpr const char* FormyFile = "formy_db.fdb";
constexpr const char* VorekFile = "vorek_mes.fdb";

// The statements of the cases, the same text for every API (Qt and SOCI mark parameters their way).
constexpr const char* FetchSql = "select id, txt, ts from big_rows";
constexpr const char* InsertSql = "insert into ins_rows (id, txt, ts) values (?, ?, ?)";
constexpr const char* PointSql = "select id, txt, ts from big_rows where id = ?";
// The update run's statements, as the application sends them.
constexpr const char* ListSql =
    "select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and id_vorek<>0";
constexpr const char* SumSql = "select sum( t.cx ) as scykli from tools_data t    where t.id_t=?";
constexpr const char* UpdateSql = "UPDATE formy set counter=?, counttch=?  \r\nWHERE id = ?";
constexpr const char* HistorySql =
    "Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( ?,?,?,?,?,? )";
constexpr const char* HistoryText = "Raport Vorek";
constexpr const char* TransactionSql =
    "select cast(mon$isolation_mode as integer), cast(mon$lock_timeout as integer), cast(mon$read_only as "
    "integer) from mon$transactions where mon$transaction_id = current_transaction";

// The key of the k-th point select: spread over the table, never repeating within 10 000 selects.
inline int PointKey(int k, int rows) {
    return int((long long)(k)*7919 % rows);
}
// The 100 texts and instants the inserts cycle through (the API's own value types are built from them
// before the clock starts).
QString InsertText(int k);
std::tm InsertInstant(int k);
constexpr int InsertValues = 100;
// Between the connection's character set and the QString a Qt program holds (UTF8 or WIN1250).
QStringDecoder DecoderFor(const QString& charSet);
QStringEncoder EncoderFor(const QString& charSet);

// What a case read or wrote: a sum of the integers, the text lengths in characters (and, for what was
// written, in bytes as stored), and how many date-times came back valid.
struct TPeerTally {
    long long Rows = 0;
    long long Ids = 0;
    long long Chars = -1;
    long long Bytes = -1;
    long long Stamps = 0;
};

// The clock around the measured part: wall time, the process's CPU time and the loopback server's (its
// process named by the pid file of scripts/firebird-server; negative when there is none).
class TStopwatch {
public:
    void Start();
    void Stop();
    double Wall() const { return FWall; }
    double Cpu() const { return FCpu; }
    double ServerCpu() const { return FServerCpu; }

private:
    double FWall0 = 0, FCpu0 = 0, FServerCpu0 = -1, FWall = 0, FCpu = 0, FServerCpu = -1;
};

// One row of the table: an API (or a variant of one) and the cases it runs.
struct TPeerApi {
    QString Name;  // command-line name
    QString Label; // row label of the table
    std::vector<TPeerCase> Cases;
    std::function<TPeerTally(const TPeerRun&, TStopwatch&)> Run;
};

// The functions of an API that runs every case, each taking the run and (but the transaction query)
// the stopwatch it starts and stops around the measured part.
using TPeerCaseRun = TPeerTally (*)(const TPeerRun&, TStopwatch&);
struct TPeerCaseSet {
    TPeerCaseRun Fetch, Insert, Point, UpdateRun;
    TPeerTally (*Transaction)(const TPeerRun&);
};
TPeerApi EveryCaseApi(const QString& name, const QString& label, const TPeerCaseSet& cases);

void AddRawApis(std::vector<TPeerApi>& apis);
void AddOurApis(std::vector<TPeerApi>& apis);
void AddQtApis(std::vector<TPeerApi>& apis);   // empty when built without Qt SQL
void AddSociApis(std::vector<TPeerApi>& apis); // empty when built without SOCI
std::vector<TPeerApi> AllApis();

// Outside the clock: statements and integer queries through our own layer, on a connection of their own.
void AdminExecute(const TPeerRun& run, const QString& file, const QStringList& statements);
long long AdminInteger(const TPeerRun& run, const QString& file, const QString& sql);

// Runs the whole matrix and prints the table; the exit code of the program.
int RunMatrix(const QStringList& arguments);
