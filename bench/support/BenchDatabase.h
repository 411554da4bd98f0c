#pragma once
// Fixture databases of the benchmarks: made with isql-fb, connected as the application connects.

#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"

#include <QString>
#include <memory>

// Runs an isql-fb script; a failure ends the benchmark program, since nothing can be measured.
void RunIsqlOrExit(const QString& script, int timeoutMs = 600000);

// The isql lines that fill big_rows (id, txt, ts) with `rows` rows: texts of 20 to 50 characters with
// Polish letters, time stamps one second apart.
QString BigRowsFillScript(int rows);

// A connected database component on a local file, dialect 3, with the given character set.
std::unique_ptr<TpFbDatabase> ConnectBenchDatabase(const QString& path,
                                                   const QString& charSet = QStringLiteral("WIN1250"));

// Raises the client library's error when a raw client call failed.
void Check(IIBClientLibrary& library, ISC_STATUS result);

// CPU time of the calling thread, in seconds: the measure the in-process comparisons use.
double ThreadSeconds();
