// What monitoring sees of the program's runs: the record of the last run that --check answers
// from, the Prometheus textfile, and the priorities of the lines it writes to the journal.
#include "ProgramFixture.h"

#include <QStandardPaths>

#include <QDateTime>
#include <QHash>
#include <sys/stat.h>

namespace {

struct MonitoringTest : ProgramFixture {
    // Mould 160 counts tool 1, mould 161 tool 2; a counter of a million or more is refused.
    void Plant() {
        Databases(QStringLiteral("alter table formy add constraint licznik_limit check (counter < 1000000);\n"
                                 "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values "
                                 "(160, 'Duża', 'D', 1, 1, 1);\n"
                                 "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values "
                                 "(161, 'Mała', 'M', 2, 1, 2);\n"),
                  QStringLiteral("insert into tools_data (id_t, cx) values (1, 20);\n"
                                 "insert into tools_data (id_t, cx) values (2, 30);\n"));
        Settings("[set]\r\nlog=1\r\n[monitoring]\r\nplik=" + Path(QStringLiteral("tarvelo.prom")).toUtf8() +
                 "\r\n");
    }
    // Mould 160's next counter is refused.
    void BreakMould160() {
        RunIsql(QStringLiteral("insert into tools_data (id_t, cx) values (1, 2000000);\ncommit;\n"), Vorek());
    }
    // A run of the program whose clock starts at `at`.
    ProgramRun RunAt(const QDateTime& at, const QStringList& args) {
        qputenv("LD_PRELOAD", "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1");
        qputenv("FAKETIME", "@" + at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toUtf8());
        qputenv("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        ProgramRun run = Run(args);
        qunsetenv("LD_PRELOAD");
        qunsetenv("FAKETIME");
        qunsetenv("FAKETIME_DONT_FAKE_MONOTONIC");
        return run;
    }
};

// The samples of a node_exporter textfile, read as Prometheus reads its text format: every
// metric has a HELP line, then a TYPE line, then its one sample; names and values well formed.
// Anything else is a failure of the test.
QHash<QString, double> ParseTextfile(const QByteArray& bytes) {
    QHash<QString, double> samples;
    EXPECT_TRUE(bytes.endsWith('\n'));
    EXPECT_FALSE(bytes.contains('\r'));
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    const QRegularExpression name(QStringLiteral("^[a-zA-Z_:][a-zA-Z0-9_:]*$"));
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size() % 3, 0) << bytes.toStdString();
    for (qsizetype i = 0; i + 2 < lines.size(); i += 3) {
        const QStringList help = lines[i].split(QLatin1Char(' '));
        const QStringList type = lines[i + 1].split(QLatin1Char(' '));
        const QStringList sample = lines[i + 2].split(QLatin1Char(' '));
        EXPECT_GE(help.size(), 4) << lines[i].toStdString();
        EXPECT_EQ(type.size(), 4) << lines[i + 1].toStdString();
        EXPECT_EQ(sample.size(), 2) << lines[i + 2].toStdString();
        if (help.size() < 4 || type.size() != 4 || sample.size() != 2) continue;
        EXPECT_EQ(help.mid(0, 2), (QStringList{"#", "HELP"}));
        EXPECT_EQ(type.mid(0, 2), (QStringList{"#", "TYPE"}));
        EXPECT_EQ(help[2], sample[0]);
        EXPECT_EQ(type[2], sample[0]);
        EXPECT_EQ(type[3], QStringLiteral("gauge"));
        EXPECT_TRUE(name.match(sample[0]).hasMatch()) << sample[0].toStdString();
        EXPECT_FALSE(samples.contains(sample[0])) << "twice: " << sample[0].toStdString();
        bool ok = false;
        samples[sample[0]] = sample[1].toDouble(&ok);
        EXPECT_TRUE(ok) << lines[i + 2].toStdString();
    }
    return samples;
}

// promtool's own check of the format (scripts/setup-deps installs it): no output, exit status 0.
void ExpectPromtoolAccepts(const QByteArray& bytes) {
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty()) {
        ADD_FAILURE() << "promtool is not installed (scripts/setup-deps installs it)";
        return;
    }
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    check.write(bytes);
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
    EXPECT_EQ(check.readAll(), QByteArray());
}

} // namespace

TEST_F(MonitoringTest, TheCheckAnswersFromTheRecordsOfRealRuns) {
    Plant();
    ProgramRun check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 2) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.startsWith(QStringLiteral("CRITICAL - brak zapisu przebiegu ")))
        << check.Out.toStdString();

    // A successful run thirty hours ago is stale for the default 26 hours, fresh for 31.
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(RunAt(now.addSecs(-30 * 3600), {QStringLiteral("--run-once")}).Exit, 0);
    check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 2) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.startsWith(QStringLiteral("CRITICAL - brak udanego przebiegu od 30.0 h")))
        << check.Out.toStdString();
    check = Run({QStringLiteral("--check"), QStringLiteral("--max-age"), QStringLiteral("31")});
    EXPECT_EQ(check.Exit, 0) << check.Out.toStdString();

    const ProgramRun success = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(success.Exit, 0) << success.Err.toStdString();
    check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 0) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.startsWith(QStringLiteral("OK - ostatni przebieg "))) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.contains(
        QRegularExpression(QStringLiteral(R"(\| moulds=2 failed=0 duration=\d+\.\d{3}s\n$)"))))
        << check.Out.toStdString();
    EXPECT_EQ(check.Out.count(QLatin1Char('\n')), 1);
    const QHash<QString, double> afterSuccess = ParseTextfile(Read(QStringLiteral("tarvelo.prom")));
    ExpectPromtoolAccepts(Read(QStringLiteral("tarvelo.prom")));

    // A failed mould after that success: a warning, the success still counted.
    BreakMould160();
    EXPECT_EQ(Run({QStringLiteral("--run-once")}).Exit, 3);
    check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 1) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.startsWith(QStringLiteral("WARNING - ostatni przebieg ")))
        << check.Out.toStdString();
    EXPECT_TRUE(check.Out.contains(QStringLiteral("| moulds=1 failed=1 duration=")))
        << check.Out.toStdString();

    const QHash<QString, double> metrics = ParseTextfile(Read(QStringLiteral("tarvelo.prom")));
    EXPECT_EQ(QStringList(metrics.keyBegin(), metrics.keyEnd()).size(), 6);
    EXPECT_EQ(metrics.value(QStringLiteral("tarvelo_moulds_updated"), -1), 1);
    EXPECT_EQ(metrics.value(QStringLiteral("tarvelo_moulds_failed"), -1), 1);
    EXPECT_EQ(metrics.value(QStringLiteral("tarvelo_last_run_success"), -1), 0);
    EXPECT_EQ(afterSuccess.value(QStringLiteral("tarvelo_last_run_success"), -1), 1);
    EXPECT_GE(metrics.value(QStringLiteral("tarvelo_last_run_duration_seconds"), -1), 0);
    // The last success is the earlier run's end, kept; the failed run ended after it.
    EXPECT_EQ(metrics.value(QStringLiteral("tarvelo_last_success_timestamp_seconds")),
              afterSuccess.value(QStringLiteral("tarvelo_last_run_timestamp_seconds")));
    EXPECT_GT(metrics.value(QStringLiteral("tarvelo_last_run_timestamp_seconds")),
              metrics.value(QStringLiteral("tarvelo_last_success_timestamp_seconds")));
    EXPECT_NEAR(metrics.value(QStringLiteral("tarvelo_last_run_timestamp_seconds")),
                double(QDateTime::currentSecsSinceEpoch()), 120);

    // A run that cannot connect is a failed day too.
    Write(QStringLiteral("setup.ini"), "[sql]\r\nformy=" + Path(QStringLiteral("gone/")).toUtf8() + "\r\n");
    EXPECT_EQ(Run({QStringLiteral("--run-once")}).Exit, 2);
    check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 1) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.contains(QStringLiteral(", brak połączenia z bazą | moulds=0 failed=0 duration=")))
        << check.Out.toStdString();

    // A record that cannot be read is no answer.
    Write(QStringLiteral("last_run.txt"), "start=wczoraj\n");
    check = Run({QStringLiteral("--check")});
    EXPECT_EQ(check.Exit, 3) << check.Out.toStdString();
    EXPECT_TRUE(check.Out.startsWith(QStringLiteral("UNKNOWN - "))) << check.Out.toStdString();
}

TEST_F(MonitoringTest, OnTheJournalFailedMouldsAndRunsAreErrors) {
    Plant();
    BreakMould160();
    // Standard output and error both to one file that JOURNAL_STREAM names, as systemd connects
    // a service's output to the journal.
    const QString journal = Path(QStringLiteral("journal"));
    Write(QStringLiteral("journal"), QByteArray());
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(journal).constData(), &st), 0);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino));
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(journal, QIODevice::Append);
    program.setStandardErrorFile(journal, QIODevice::Append);
    program.start(exe, {QStringLiteral("--run-once")});
    ASSERT_TRUE(program.waitForFinished(120000));
    EXPECT_EQ(program.exitCode(), 3);

    QStringList errors, others;
    for (const QString& line :
         QString::fromUtf8(Read(QStringLiteral("journal"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        ASSERT_TRUE(line.startsWith(QStringLiteral("<3>")) || line.startsWith(QStringLiteral("<6>")))
            << line.toStdString();
        (line.startsWith(QStringLiteral("<3>")) ? errors : others) << line.mid(3);
    }
    ASSERT_EQ(errors.size(), 2) << errors.join('\n').toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("   Błąd aktualizacji licznika formy :Duża[D]: ")));
    EXPECT_TRUE(errors[1].startsWith(QStringLiteral("Zaktualizowane formy: 1, z błędem: 1, czas: ")));
    EXPECT_TRUE(others.join('\n').contains(QStringLiteral("Zaktualizowano licznik formy :Mała[M]")));

    // The same run on a pipe: no prefixes.
    const ProgramRun plain = Run({QStringLiteral("--run-once")});
    EXPECT_EQ(plain.Exit, 3);
    EXPECT_FALSE(plain.Out.contains(QStringLiteral("<3>")) || plain.Out.contains(QStringLiteral("<6>")));
}
