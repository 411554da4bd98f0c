#pragma once
// The built program in a folder of its own with setup.ini and the two databases beside it,
// created from the schema scripts of scripts/sql; runs it and reads what it left.

#include "FirebirdScript.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A Firebird server of the test's own on loopback, with its state in the test's folder and a port
// of its own, so stopping it disturbs no other test.
struct OwnFirebirdServer {
    QString StateDir;
    int Port = 0;

    OwnFirebirdServer(const QString& stateDir, int port) : StateDir(stateDir), Port(port) {}
    ~OwnFirebirdServer() { Script(QStringLiteral("stop")); }
    // A database path as the server names it.
    QString Remote(const QString& path) const {
        return QStringLiteral("127.0.0.1/%1:%2").arg(Port).arg(path);
    }
    bool Script(const QString& command) const {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TARVELO_FB_PORT"), QString::number(Port));
        env.insert(QStringLiteral("TARVELO_FB_DIR"), StateDir);
        script.setProcessEnvironment(env);
        script.start(QStringLiteral(TARVELO_SOURCE_DIR "/scripts/firebird-server"), {command});
        return script.waitForFinished(60000) && script.exitCode() == 0;
    }
    // A start has been seen to fail at once while other tests started their servers: tried again.
    bool Start() const {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (Script(QStringLiteral("start"))) return true;
            Script(QStringLiteral("stop"));
        }
        return false;
    }
    bool Stop() const { return Script(QStringLiteral("stop")); }
};

struct ProgramRun {
    int Exit = -1;
    QString Out; // UTF-8 standard output
    QString Err; // standard error
};

struct ProgramFixture : ::testing::Test {
    QTemporaryDir dir;
    QString exe = dir.filePath(QStringLiteral("tarvelo"));

    void SetUp() override { ASSERT_TRUE(QFile::copy(QStringLiteral(TARVELO_EXE), exe)); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Formy() const { return Path(QStringLiteral("formy_db.fdb")); }
    QString Vorek() const { return Path(QStringLiteral("vorek_mes.fdb")); }

    void Write(const QString& name, const QByteArray& bytes) {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const QString& name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // setup.ini naming both databases beside the program, with more settings after [sql].
    void Settings(const QByteArray& more) {
        Write(QStringLiteral("setup.ini"),
              "[sql]\r\nformy=" + dir.path().toUtf8() + "/\r\nvorek=" + dir.path().toUtf8() + "/\r\n" + more);
    }
    // Both databases with their tables; the SQL (UTF-8) fills them.
    void Databases(const QString& formySql, const QString& vorekSql) {
        const QString schema = QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/");
        RunIsql(QStringLiteral(
                    "set names UTF8;\ncreate database '%1' user 'SYSDBA' default character set WIN1250;\n"
                    "input '%2formy.sql';\ncommit;\n%3\ncommit;\n"
                    "create database '%4' user 'SYSDBA' default character set WIN1250;\n"
                    "input '%2vorek.sql';\ncommit;\n%5\ncommit;\n")
                    .arg(Formy(), schema, formySql, Vorek(), vorekSql));
    }
    // The rows of a one-column select (write "a || '|' || b"), each trimmed, over a UTF-8 connection.
    QStringList Rows(const QString& database, const QString& select) const {
        const QString out = RunIsql(
            QStringLiteral("set names UTF8;\nconnect '%1';\nset heading off;\n%2;\n").arg(database, select));
        QStringList rows;
        for (const QString& line : out.split(QLatin1Char('\n')))
            if (!line.trimmed().isEmpty()) rows << line.trimmed();
        return rows;
    }

    ProgramRun Run(const QStringList& args) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // As under cron or a service: no session, so no runtime folder named.
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QDir::tempPath());
        program.start(exe, args);
        EXPECT_TRUE(program.waitForStarted());
        EXPECT_TRUE(program.waitForFinished(120000)) << "the program did not end";
        ProgramRun run;
        run.Exit = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        run.Out = QString::fromUtf8(program.readAllStandardOutput());
        run.Err = QString::fromUtf8(program.readAllStandardError()).trimmed();
        return run;
    }
};
