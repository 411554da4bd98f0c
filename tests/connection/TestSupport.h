#pragma once
// Fixture databases for the connection tests: made with isql-fb in a per-test temp directory;
// the loopback server started by scripts/firebird-server for remote cases.

#include "FirebirdScript.h"
#include "QtPrinters.h"
#include "db/connection/FbDatabase.h"
#include "db/connection/fb.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <ostream>

// Creates a database file with the given character set and dialect.
void CreateDatabase(const QString& path, const QString& charset = QStringLiteral("WIN1250"), int dialect = 3);

// Executes one SQL statement in its own transaction through the database's binding.
void ExecSQL(TFbDatabase& database, const QByteArray& sql);

int ServerPort();
bool ServerRunning();
// The remote name of a local file through the loopback server.
QString RemoteName(const QString& path, int port = ServerPort());

// The application's connection parameters.
QStringList ApplicationParams(const QString& password = QStringLiteral("tulipwand"),
                              const QString& charset = QStringLiteral("WIN1250"));

// Processes events until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int milliseconds);


inline QString Q(const char* s) {
    return QString::fromUtf8(s);
}

// The client error that f raises; a test failure when it raises none.
template <class F> EFbClientError CatchClientError(F&& f) {
    try {
        f();
    } catch (const EFbClientError& e) {
        return e;
    }
    ADD_FAILURE() << "no EFbClientError";
    return EFbClientError(0, QString(), nullptr);
}
