// The built program, started from outside in a folder of its own with its setup.ini beside it.
#include "FirebirdScript.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ProgramTest : ::testing::Test {
    QTemporaryDir dir;
    QString exe = dir.filePath(QStringLiteral("tarvelo"));

    void SetUp() override { ASSERT_TRUE(QFile::copy(QStringLiteral(TARVELO_EXE), exe)); }

    void Write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    void CreateDatabases() {
        QByteArray script;
        for (const char* name : {"vorek_mes.fdb", "formy_db.fdb"})
            script += "create database '" + dir.filePath(QString::fromLatin1(name)).toUtf8() +
                      "' user 'SYSDBA' default character set WIN1250;\ncommit;\n";
        RunIsql(QString::fromUtf8(script));
    }

    // Runs the program for a while (it is meant to keep running), then ends it; returns what it
    // reported on standard error, where a headless run shows its message boxes.
    QString RunFor(int milliseconds) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QDir::tempPath());
        program.start(exe, {});
        EXPECT_TRUE(program.waitForStarted());
        EXPECT_FALSE(program.waitForFinished(milliseconds)) << "the program ended by itself";
        program.kill();
        program.waitForFinished(5000);
        return QString::fromLocal8Bit(program.readAllStandardError()).trimmed();
    }
};

} // namespace

TEST_F(ProgramTest, WithoutSetupIniItReportsTheMissingDatabaseNameAndKeepsRunning) {
    EXPECT_EQ(RunFor(1500), QStringLiteral("tarvelo: Database name is missing."));
}

TEST_F(ProgramTest, ReadsSetupIniBesideItselfAndConnectsBothDatabases) {
    CreateDatabases();
    Write(QStringLiteral("setup.ini"), "[sql]\r\nformy=" + dir.path().toUtf8() +
                                           "/\r\nvorek=" + dir.path().toUtf8() + "/\r\n[set]\r\nlog=1\r\n");
    EXPECT_EQ(RunFor(2000), QString());
}

TEST_F(ProgramTest, TerminationRequestEndsTheProgramInOrder) {
    CreateDatabases();
    Write(QStringLiteral("setup.ini"),
          "[sql]\r\nformy=" + dir.path().toUtf8() + "/\r\nvorek=" + dir.path().toUtf8() + "/\r\n");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(exe, {});
    ASSERT_TRUE(program.waitForStarted());
    EXPECT_FALSE(program.waitForFinished(1500));
    program.terminate(); // SIGTERM, as at log-out
    ASSERT_TRUE(program.waitForFinished(10000)) << "the termination request did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, ReportsAnUnreachableFormyDatabaseWithItsFullName) {
    CreateDatabases();
    Write(QStringLiteral("setup.ini"),
          "[sql]\r\nformy=" + dir.path().toUtf8() + "/nowhere/\r\nvorek=" + dir.path().toUtf8() + "/\r\n");
    const QString err = RunFor(2000);
    EXPECT_TRUE(err.startsWith(QStringLiteral("tarvelo: Form1.pFbDatabaseFormy:\r\n"))) << err.toStdString();
}
