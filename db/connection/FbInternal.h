#pragma once
// Helpers the units of db/connection share with each other and with their tests; other folders
// use the public headers.

#include "fb.h"
#include "platform/StringList.h"

#include <QByteArray>
#include <QString>
#include <functional>

class TFbCustomTimer;

namespace db::connection {

// ---- client errors (fb.cpp)

// The unformatted text of client error `code` (taken modulo 128; codes without a text give "").
QString FbClientErrorText(int code);
QString FbClientErrorText(FbClientError code);

// ---- client library bindings (IB_Intf.cpp)

// Number of bindings in the process-wide list.
int ClientLibraryCount();

// ---- parameter lines (FbParams.cpp)

// Index of the first line whose name starts with `name` (optionally after "isc_dpb_"), letters
// compared without regard to case; -1 when there is none.
int IndexOfDBConst(const QString& name, const platform::TStringList& params);

// One line of a parameter-buffer list, read the way both buffer builders read it: blanks and
// control characters trimmed (the trimmed line written back into the list), the text taken in
// the ANSI code page, the name lower-cased and stripped of `prefix` ("isc_dpb_", "isc_tpb_").
struct TParamLine {
    bool Empty = true;
    QByteArray Name;
    QByteArray Value;
};
TParamLine ReadParamLine(platform::TStringList& params, int index, const char* prefix);

// ---- timers (FbSafeTimer.cpp)

// Keeps a component's time-out timer in step with its time-out value: 0 frees the timer; any other
// value makes it when missing (its ticks calling onTick) and sets the interval. Enabling is left to
// the caller. Returns the timer, or nullptr for 0.
TFbCustomTimer* SetTimeoutTimer(TFbCustomTimer*& timer, quint32 timeout, std::function<void()> onTick);

// Number of timers in the process-wide list.
int FbTimerCount();

// ---- databases (FbDatabase.cpp)

// The database name as the login dialog shows it: longer than 45 characters, its first 10, "..."
// and its last 33.
QString LoginDialogDatabaseName(const QString& databaseName);

// Parses a server version text ("LI-V3.0.11.33703 Firebird 3.0") from its fifth character into
// major, minor, release and build.
void ParseServerVersion(const QString& text, int& major, int& minor, int& release, int& build);

// The server clock query for a dialect: the TIMESTAMP form above dialect 1, the DATE form otherwise.
QByteArray ServerTimeQuery(int sqlDialect);

// Number of databases in the process-wide list.
int FbDatabaseCount();

} // namespace db::connection
