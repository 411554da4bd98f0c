// One counter update run of the built program (--run-once), checked by the rows it writes, the
// log file it leaves and what it prints.
#include "ProgramFixture.h"

#include <QDate>
#include <QStringDecoder>
#include <sys/stat.h>

namespace {

const QString kStamp = QStringLiteral(R"(^\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?   )");

struct RunOnceTest : ProgramFixture {
    QString LogName() const {
        const QDate today = QDate::currentDate();
        return QStringLiteral("log_%1_%2.txt").arg(today.year()).arg(today.month());
    }
    // The log file decoded from Windows-1250, each line's time stamp replaced by "T".
    QStringList LogLines() const {
        QStringDecoder decode("windows-1250");
        const QString text = decode(Read(LogName()));
        QStringList lines = text.split(QStringLiteral("\r\n"));
        for (QString& line : lines)
            line.replace(QRegularExpression(kStamp), QStringLiteral("T   "));
        return lines;
    }
    static QStringList Masked(const QString& out) {
        QStringList lines = out.split(QLatin1Char('\n'));
        for (QString& line : lines)
            line.replace(QRegularExpression(kStamp), QStringLiteral("T   "));
        return lines;
    }
    QStringList Counters() const {
        return Rows(Formy(),
                    QStringLiteral("select id || '|' || counter || '|' || iif(counttch is null, 'null', "
                                   "'set') from formy order by id"));
    }
    QStringList History() const {
        return Rows(Formy(),
                    QStringLiteral("select id_f || '|' || stan || '|' || ostan || '|' || opis || '|' || id_p "
                                   "|| '|' || lm from FORMY_LICZNIKI order by id"));
    }
};

const QString kMoulds = QStringLiteral("insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                       "values (150, 'Łódź obudowa', 'OB-150', 500, 1, 7);\n"
                                       "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                       "values (151, 'Pokrywa zaczepu', 'PZ-151', 44, 1, 8);\n"
                                       "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                       "values (152, 'Uchwyt', 'U-152', 77, 0, 7);\n"
                                       "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                       "values (153, 'Wkładka', 'W-153', 12, 1, 0);\n"
                                       "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                       "values (154, 'Rączka', 'R-154', 2147483000, 1, 9);\n");
const QString kCycles = QStringLiteral("insert into tools_data (id_t, cx) values (7, 600);\n"
                                       "insert into tools_data (id_t, cx) values (7, 400);\n"
                                       "insert into tools_data (id_t, cx) values (9, 2147483000);\n");
const QByteArray kDeltas = "[delta]\r\n150=-20\r\n151=5\r\n154=1000\r\n";

} // namespace

TEST_F(RunOnceTest, WritesCountersHistoryAndTheLogFileOfTheFirstRun) {
    Databases(kMoulds, kCycles);
    Settings("[set]\r\nlog=1\r\nhistoria=1\r\n" + kDeltas);
    const ProgramRun run = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Err, QString());

    // Sum plus delta; a tool without records counts the delta alone; the sum wraps in 32 bits.
    EXPECT_EQ(Counters(),
              (QStringList{"150|980|set", "151|5|set", "152|77|null", "153|12|null", "154|-2147483296|set"}));
    EXPECT_EQ(History(), (QStringList{"150|1000|500|Raport Vorek|-1|0", "151|0|44|Raport Vorek|-1|0",
                                      "154|2147483000|2147483000|Raport Vorek|-1|0"}));

    const QStringList runLines{
        "T   start sesji",
        "T   Sprawdzenie formy: Łódź obudowa[OB-150]",
        "T     Zaktualizowano licznik formy :Łódź obudowa[OB-150]  stan: 1000+ {-20}",
        "T   Sprawdzenie formy: Pokrywa zaczepu[PZ-151]",
        "T     Zaktualizowano licznik formy :Pokrywa zaczepu[PZ-151]  stan: 0+ {5}",
        "T   Sprawdzenie formy: Rączka[R-154]",
        "T     Zaktualizowano licznik formy :Rączka[R-154]  stan: 2147483000+ {1000}",
    };
    // Windows-1250 without a byte-order mark, every line ended by CR LF.
    const QByteArray bytes = Read(LogName());
    EXPECT_TRUE(bytes.startsWith("Memo1\r\n"));
    EXPECT_TRUE(bytes.contains("\xA3\xF3\x64\x9F obudowa"));
    EXPECT_TRUE(bytes.endsWith("{1000}\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n'));
    EXPECT_EQ(LogLines(), (QStringList{"Memo1", "T   start programu"} + runLines + QStringList{""}));

    // Standard output: the same lines in UTF-8 as they are logged, then the counts.
    QStringList out = Masked(run.Out);
    ASSERT_GE(out.size(), 2);
    EXPECT_EQ(out.takeLast(), QString());
    EXPECT_TRUE(out.takeLast().startsWith(QStringLiteral("Zaktualizowane formy: 3, z błędem: 0, czas: ")));
    EXPECT_EQ(out, (QStringList{"T   start programu"} + runLines));
}

TEST_F(RunOnceTest, NoCountedMouldLogsTheSessionStartAndSavesTheFile) {
    Databases(QStringLiteral("insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                             "values (152, 'Uchwyt', 'U-152', 77, 0, 7);"),
              kCycles);
    Settings("[set]\r\nlog=1\r\n");
    EXPECT_EQ(Run({QStringLiteral("--run-once")}).Exit, 0);
    EXPECT_EQ(LogLines(), (QStringList{"Memo1", "T   start programu", "T   start sesji", ""}));
    EXPECT_EQ(Counters(), QStringList{"152|77|null"});
}

TEST_F(RunOnceTest, HistorySwitchOffWritesNoHistory) {
    Databases(kMoulds, kCycles);
    Settings("[set]\r\nhistoria=0\r\n" + kDeltas);
    const ProgramRun run = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(Counters().first(), QStringLiteral("150|980|set"));
    EXPECT_EQ(History(), QStringList());
    // Logging off: no lines on standard output either, only the counts; the file holds "Memo1".
    EXPECT_TRUE(run.Out.startsWith(QStringLiteral("Zaktualizowane formy: 3,"))) << run.Out.toStdString();
    EXPECT_EQ(Read(LogName()), QByteArray("Memo1\r\n"));
}

TEST_F(RunOnceTest, FailedWritesAreRolledBackReportedAndTheRunGoesOn) {
    Databases(QStringLiteral("alter table formy add constraint licznik_limit check (counter < 1000000);\n"
                             "alter table FORMY_LICZNIKI add constraint bez_13 check (ostan <> 13);\n"
                             "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (160, "
                             "'Duża', 'D', 1, 1, 1);\n"
                             "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (161, "
                             "'Mała', 'M', 2, 1, 2);\n"
                             "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (162, "
                             "'Pech', 'P', 13, 1, 2);\n"),
              QStringLiteral("insert into tools_data (id_t, cx) values (1, 2000000);\n"
                             "insert into tools_data (id_t, cx) values (2, 30);\n"));
    Settings("[set]\r\nlog=1\r\nhistoria=1\r\n");
    const ProgramRun run = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(run.Exit, 3) << run.Err.toStdString();
    EXPECT_EQ(Counters(), (QStringList{"160|1|null", "161|30|set", "162|30|set"}));
    // The history row does not depend on the counter update; the failed one is rolled back.
    EXPECT_EQ(History(), (QStringList{"160|2000000|1|Raport Vorek|-1|0", "161|30|2|Raport Vorek|-1|0"}));
    const QStringList lines = LogLines();
    const auto at = [&](const QString& start) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const QString& l) { return l.startsWith(start); }) -
               lines.begin();
    };
    const qsizetype failedUpdate = at(QStringLiteral("T     Błąd aktualizacji licznika formy :Duża[D]: "));
    ASSERT_LT(failedUpdate, lines.size()) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[failedUpdate].contains(QStringLiteral("LICZNIK_LIMIT")))
        << lines[failedUpdate].toStdString();
    EXPECT_EQ(at(QStringLiteral("T     Zaktualizowano licznik formy :Duża")), lines.size());
    const qsizetype updated = at(QStringLiteral("T     Zaktualizowano licznik formy :Pech[P]  stan: 30"));
    ASSERT_LT(updated + 1, lines.size());
    EXPECT_TRUE(lines[updated + 1].startsWith(
        QStringLiteral("T     Błąd zapisu historii licznika formy :Pech[P]: ")));
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Zaktualizowane formy: 1, z błędem: 2, czas: ")));
}

TEST_F(RunOnceTest, DryRunWritesNothingAndShowsWhatARunWrites) {
    Databases(kMoulds, kCycles);
    Settings("[set]\r\nlog=1\r\nhistoria=1\r\n" + kDeltas);
    const QStringList before = Counters();
    const ProgramRun dry = Run({QStringLiteral("--run-once"), QStringLiteral("--dry-run")});
    EXPECT_EQ(dry.Exit, 0) << dry.Err.toStdString();
    EXPECT_EQ(Counters(), before);
    EXPECT_EQ(History(), QStringList());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("log_")), QStringList());
    EXPECT_EQ(Rows(Vorek(), QStringLiteral("select count(*) from tools_data")), QStringList{"3"});

    // Its table (id, name, counter, new counter, delta) holds what the real run then writes.
    QStringList table;
    for (const QString& line : dry.Out.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("     15"))) table << line.simplified();
    EXPECT_EQ(table, (QStringList{"150 Łódź obudowa 500 980 -20", "151 Pokrywa zaczepu 44 5 5",
                                  "154 Rączka 2147483000 -2147483296 1000"}));
    EXPECT_EQ(Run({QStringLiteral("--run-once")}).Exit, 0);
    EXPECT_EQ(Counters(),
              (QStringList{"150|980|set", "151|5|set", "152|77|null", "153|12|null", "154|-2147483296|set"}));
}

TEST_F(RunOnceTest, ALogFileThatCannotBeWrittenStopsTheRunAfterTheWrites) {
    Databases(kMoulds, kCycles);
    Settings("[set]\r\nlog=1\r\n");
    // The monthly file is a link into a folder that is gone (a share that is not mounted): there is
    // nothing to load, and the save cannot create the file.
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("unmounted/log.txt")), dir.filePath(LogName())));
    const ProgramRun run = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("Cannot create file"))) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("(przebieg przerwany)"))) << run.Out.toStdString();
    EXPECT_EQ(Counters().first(), QStringLiteral("150|1000|set"));
}

// A named pipe at the log path (no reader at its other end) neither blocks the run nor is read:
// it is reported at start as a file that cannot be loaded, and the run's lines go to a file beside.
TEST_F(RunOnceTest, ANamedPipeAtTheLogPathBlocksNothing) {
    Databases(kMoulds, kCycles);
    Settings("[set]\r\nlog=1\r\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path(LogName())).constData(), 0666), 0);
    const ProgramRun run = Run({QStringLiteral("--run-once")});
    EXPECT_NE(run.Exit, -1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("Not a regular file"))) << run.Err.toStdString();
    const QStringList beside = QDir(dir.path()).entryList({LogName().chopped(4) + QStringLiteral("_*.txt")});
    ASSERT_EQ(beside.size(), 1);
    EXPECT_TRUE(Read(beside.first()).contains("Zaktualizowano licznik formy :Pokrywa zaczepu[PZ-151]"));
}

TEST_F(RunOnceTest, CommandLineAnswersAndAFailedStart) {
    ProgramRun run = Run({QStringLiteral("--version")});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, QStringLiteral("Tarvelo    ver 2.0\n"));
    run = Run({QStringLiteral("--help")});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_TRUE(run.Out.contains(QStringLiteral("--dry-run")));
    run = Run({QStringLiteral("--run-once"), QStringLiteral("--fast")});
    EXPECT_EQ(run.Exit, 64);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("--fast")));
    EXPECT_EQ(run.Out, QString());
    // No setup.ini: start-up cannot connect, the message goes to standard error.
    run = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Err, QStringLiteral("tarvelo: Database name is missing."));
}
