// The program without a window against a Vorek server that goes away and comes back: a run that
// loses its database stops, the daily trigger connects again before its next run.
#include "ProgramFixture.h"

#include <QDate>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

struct HeadlessTest : ProgramFixture {
    // A port per test process, away from the shared server's and below the kernel's range for the
    // local ends of connections (32768 and up), where another test's client socket may hold it.
    int port = 31000 + int(getpid() % 1700);
    OwnFirebirdServer server{dir.filePath(QStringLiteral("server")), port};

    // Moulds 1..n, each counted from tool 1 (ten cycles); the Vorek database served by our server.
    void Plant(int moulds) {
        QString formy =
            QStringLiteral("set term ^;\nexecute block as declare i integer = 1; begin\n"
                           "while (i <= %1) do begin\n"
                           "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek)"
                           " values (:i, 'Forma ' || :i, 'F' || :i, 0, 1, 1); i = i + 1; end end^\n"
                           "set term ;^\n")
                .arg(moulds);
        Databases(formy, QStringLiteral("insert into tools_data (id_t, cx) values (1, 10);"));
        Write(QStringLiteral("setup.ini"), "[sql]\r\nformy=" + dir.path().toUtf8() +
                                               "/\r\nvorek=" + server.Remote(dir.path()).toUtf8() +
                                               "/\r\n[set]\r\nlog=1\r\n");
    }
    int Updated() const {
        return Rows(Formy(), QStringLiteral("select count(*) from formy where counter = 10"))
            .value(0)
            .toInt();
    }
    // Stops the server mid-run (it then answers nothing), sends SIGTERM and returns how long the
    // program took to end (it must end; the time is printed, not judged); the server runs again
    // afterwards.
    qint64 TerminateWhileTheServerIsSilent(QProcess& program, QString& out) {
        EXPECT_TRUE(WaitForLine(program, out, QStringLiteral("Zaktualizowano licznik formy"), 60000, 20))
            << out.toStdString();
        QFile pidFile(server.StateDir + QStringLiteral("/firebird.pid"));
        EXPECT_TRUE(pidFile.open(QIODevice::ReadOnly));
        const pid_t serverPid = pid_t(pidFile.readAll().trimmed().toInt());
        EXPECT_GT(serverPid, 0);
        ::kill(serverPid, SIGSTOP);
        QThread::msleep(300);
        QElapsedTimer elapsed;
        elapsed.start();
        ::kill(pid_t(program.processId()), SIGTERM);
        const bool ended = program.waitForFinished(10000);
        const qint64 took = elapsed.elapsed();
        ::kill(serverPid, SIGCONT);
        EXPECT_TRUE(ended);
        out += QString::fromUtf8(program.readAllStandardOutput());
        return took;
    }
    static void StartProgram(QProcess& program, const QString& exe, const QStringList& args,
                             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QDir::tempPath());
        program.start(exe, args);
        ASSERT_TRUE(program.waitForStarted());
    }
    // Reads standard output until `text` was seen `times` times; false when the program ended first.
    static bool WaitForLine(QProcess& program, QString& out, const QString& text, int milliseconds,
                            int times = 1) {
        QDeadlineTimer deadline(milliseconds);
        while (out.count(text) < times) {
            if (deadline.hasExpired() || program.state() == QProcess::NotRunning) return false;
            program.waitForReadyRead(100);
            out += QString::fromUtf8(program.readAllStandardOutput());
        }
        return true;
    }
};

} // namespace

TEST_F(HeadlessTest, LosingTheVorekServerMidRunStopsTheRunAndKeepsTheLogFile) {
    ASSERT_TRUE(server.Start());
    Plant(3000);
    const QDate today = QDate::currentDate();
    const QString logName = QStringLiteral("log_%1_%2.txt").arg(today.year()).arg(today.month());
    Write(logName, "Wczoraj\r\n");

    QProcess program;
    StartProgram(program, exe, {QStringLiteral("--run-once")});
    QString out;
    ASSERT_TRUE(WaitForLine(program, out, QStringLiteral("Sprawdzenie formy: Forma 20["), 60000))
        << out.toStdString();
    ASSERT_TRUE(server.Stop());
    ASSERT_TRUE(program.waitForFinished(60000));
    out += QString::fromUtf8(program.readAllStandardOutput());

    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("Form1.pFb")));
    EXPECT_TRUE(out.contains(QStringLiteral("(przebieg przerwany)")));
    // Earlier moulds keep their committed counters; the file keeps its content.
    const int updated = Updated();
    EXPECT_GE(updated, 19) << updated;
    EXPECT_LT(updated, 3000) << updated;
    EXPECT_EQ(Read(logName), QByteArray("Wczoraj\r\n"));
}

TEST_F(HeadlessTest, TheDailyRunConnectsAgainWhenTheServerIsBackAndASignalEndsIt) {
    Plant(3);
    // The program's clock is read from a file the test rewrites; it starts shortly before 03:05
    // (hour 3 is the default), leaving the server time to start. Timers keep real time.
    const QString clock = Path(QStringLiteral("clock"));
    const auto setClock = [&](const QByteArray& at) { Write(QStringLiteral("clock"), "@" + at + "\n"); };
    setClock("2024-03-05 03:04:45");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"),
               QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"));
    env.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), clock);
    env.insert(QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1"));
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    QProcess program;
    StartProgram(program, exe, {QStringLiteral("--headless")}, env);
    // The server is down at start-up: reported, and the program keeps running.
    QString err;
    QDeadlineTimer deadline(30000);
    while (!err.contains(QStringLiteral("Form1.pFbDatabaseVorek:")) && !deadline.hasExpired()) {
        program.waitForReadyRead(100);
        err += QString::fromUtf8(program.readAllStandardError());
    }
    ASSERT_TRUE(err.contains(QStringLiteral("tarvelo: Form1.pFbDatabaseVorek:"))) << err.toStdString();
    ASSERT_TRUE(server.Start());

    // Each run ends with its summary line.
    const QString summary = QStringLiteral("\nZaktualizowane formy: 3, z błędem: 0, czas: ");
    QString out;
    ASSERT_TRUE(WaitForLine(program, out, summary, 45000))
        << out.toStdString() << QString::fromUtf8(program.readAllStandardError()).toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Zaktualizowano licznik formy :Forma 3[F3]")));
    EXPECT_TRUE(out.startsWith(QStringLiteral("2024-03-05 03:0"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("   start programu\n")));

    // The server restarts, so the connection is lost; the next day's run connects again and
    // counts the cycles recorded meanwhile.
    ASSERT_TRUE(server.Stop());
    ASSERT_TRUE(server.Start());
    RunIsql(QStringLiteral(
                "connect '%1' password 'tulipwand';\ninsert into tools_data (id_t, cx) values (1, 5);\n"
                "commit;\n")
                .arg(server.Remote(Vorek())));
    setClock("2024-03-06 01:00:00");
    QThread::msleep(2500);
    setClock("2024-03-06 03:04:58");
    ASSERT_TRUE(WaitForLine(program, out, summary, 45000, 2))
        << out.toStdString() << QString::fromUtf8(program.readAllStandardError()).toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Forma 3[F3]  stan: 15\n"))) << out.toStdString();

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // The program holds the Formy database until it ends.
    EXPECT_EQ(Rows(Formy(), QStringLiteral("select count(*) from formy where counter = 15")),
              QStringList{"3"});
    // Both completed runs saved the file of the month the program started in.
    const QByteArray log = Read(QStringLiteral("log_2024_3.txt"));
    EXPECT_TRUE(log.startsWith("Memo1\r\n2024-03-05 03:0"));
    EXPECT_TRUE(log.endsWith("Forma 3[F3]  stan: 15\r\n"));
}

TEST_F(HeadlessTest, ASignalEndsARunWaitingForASilentServerWithinASecond) {
    ASSERT_TRUE(server.Start());
    Plant(3000);
    QProcess once;
    StartProgram(once, exe, {QStringLiteral("--run-once")});
    QString out;
    const qint64 onceTook = TerminateWhileTheServerIsSilent(once, out);
    std::fprintf(stderr, "run-once ended %lld ms after SIGTERM\n", (long long)onceTook);
    EXPECT_EQ(once.exitCode(), 1);
    EXPECT_TRUE(out.contains(QStringLiteral("   przebieg przerwany: sygnał SIGTERM\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" (przebieg przerwany)\n")));
    // The moulds written before the signal keep their counters.
    const int updated = Updated();
    EXPECT_GE(updated, 20);
    EXPECT_LT(updated, 3000);

    // The same for the daily run of --headless, which then ends as on any termination request.
    RunIsql(QStringLiteral("update formy set counter = 0;\ncommit;\n"), Formy());
    const QString clock = Path(QStringLiteral("clock"));
    Write(QStringLiteral("clock"), "@2024-03-05 03:04:59\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"),
               QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"));
    env.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), clock);
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    QProcess headless;
    StartProgram(headless, exe, {QStringLiteral("--headless")}, env);
    out.clear();
    const qint64 headlessTook = TerminateWhileTheServerIsSilent(headless, out);
    std::fprintf(stderr, "--headless ended %lld ms after SIGTERM\n", (long long)headlessTook);
    EXPECT_EQ(headless.exitCode(), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("   przebieg przerwany: sygnał SIGTERM\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" (przebieg przerwany)\n")));
}

TEST_F(HeadlessTest, UnderSystemdItIsReadyOnceFeedsTheWatchdogThroughALongRunAndShowsItsSummary) {
    // Embedded databases with many moulds, so the run lasts several watchdog intervals.
    constexpr int kMoulds = 4000;
    Databases(QStringLiteral("set term ^;\nexecute block as declare i integer = 1; begin\n"
                             "while (i <= %1) do begin\n"
                             "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek)"
                             " values (:i, 'Forma ' || :i, 'F' || :i, 0, 1, 1); i = i + 1; end end^\n"
                             "set term ;^\n")
                  .arg(kMoulds),
              QStringLiteral("insert into tools_data (id_t, cx) values (1, 10);"));
    Settings("[set]\r\nlog=1\r\n");

    // The service manager's side: a datagram socket named by NOTIFY_SOCKET.
    const QByteArray socketPath = QFile::encodeName(Path(QStringLiteral("notify")));
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_GE(sock, 0);
    const auto closeSocket = qScopeGuard([sock] { ::close(sock); });
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kInterval{1000};
    Write(QStringLiteral("clock"), "@2024-03-05 03:04:58\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"),
               QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"));
    env.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), Path(QStringLiteral("clock")));
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(socketPath));
    env.insert(QStringLiteral("WATCHDOG_USEC"), QString::number(kInterval.count() * 1000));
    env.remove(QStringLiteral("WATCHDOG_PID")); // one of the test's own service would not be ours
    QProcess program;
    StartProgram(program, exe, {QStringLiteral("--headless")}, env);

    // Every datagram with the moment it came; the moments the run's first and last lines came.
    std::vector<std::pair<Clock::time_point, QByteArray>> messages;
    std::optional<Clock::time_point> runStart, runEnd;
    QString out;
    const QString summary = QStringLiteral("\nZaktualizowane formy: %1, z błędem: 0, czas: ").arg(kMoulds);
    QDeadlineTimer deadline(180000);
    while (!runEnd && !deadline.hasExpired() && program.state() == QProcess::Running) {
        char buffer[4096];
        for (ssize_t got; (got = ::recv(sock, buffer, sizeof buffer, 0)) > 0;)
            messages.emplace_back(Clock::now(), QByteArray(buffer, qsizetype(got)));
        program.waitForReadyRead(10);
        out += QString::fromUtf8(program.readAllStandardOutput());
        if (!runStart && out.contains(QStringLiteral("   start sesji\n"))) runStart = Clock::now();
        if (runStart && out.contains(summary)) runEnd = Clock::now();
    }
    ASSERT_TRUE(runEnd) << out.right(2000).toStdString();
    QThread::msleep(200);
    char buffer[4096];
    for (ssize_t got; (got = ::recv(sock, buffer, sizeof buffer, 0)) > 0;)
        messages.emplace_back(Clock::now(), QByteArray(buffer, qsizetype(got)));
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);

    // Ready once, before the run.
    std::vector<Clock::time_point> pings;
    int ready = 0;
    QByteArray status;
    for (const auto& [at, message] : messages) {
        if (message == "READY=1") {
            ++ready;
            EXPECT_LT(at, *runStart);
        } else if (message == "WATCHDOG=1") {
            pings.push_back(at);
        } else if (message.startsWith("STATUS=")) {
            status = message.mid(7);
        }
    }
    EXPECT_EQ(ready, 1);
    // The run must outlast the interval, or it shows nothing.
    const auto run = std::chrono::duration_cast<std::chrono::milliseconds>(*runEnd - *runStart);
    ASSERT_GT(run, 2 * kInterval) << "the run was too short to tell: " << run.count() << " ms";
    // Through the run no stretch without a ping came near the interval: the program aims at half
    // of it, so the full interval leaves room for a loaded machine.
    Clock::time_point last = *runStart;
    std::chrono::milliseconds longest{0};
    for (const Clock::time_point at : pings)
        if (at > *runStart && at <= *runEnd) {
            longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(at - last));
            last = at;
        }
    longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(*runEnd - last));
    std::fprintf(stderr, "run %lld ms, %zu pings, longest stretch without one %lld ms\n",
                 (long long)run.count(), pings.size(), (long long)longest.count());
    EXPECT_LT(longest, kInterval);
    EXPECT_TRUE(status.startsWith(summary.mid(1).toUtf8())) << status.toStdString();
}
