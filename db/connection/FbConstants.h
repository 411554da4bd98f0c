#pragma once
// Numbers of the server and the client API that <ibase.h> does not name.

#include <ibase.h>

namespace db::connection {

// Character set ids of the server (RDB$CHARACTER_SETS).
constexpr int CharSetNone = 0;
constexpr int CharSetOctets = 1;
constexpr int CharSetUnicodeFss = 3;
constexpr int CharSetUtf8 = 4;
constexpr int CharSetKoi8R = 63;
constexpr int CharSetKoi8U = 64;
constexpr bool IsKoi8CharSet(int id) {
    return id == CharSetKoi8R || id == CharSetKoi8U;
}

// What isc_dsql_fetch returns after the last row.
constexpr ISC_STATUS FetchEnd = 100;

// Time stamps count days from 1858-11-17: the day of 1899-12-30, where date-time values start.
constexpr int TimeStampDayOf18991230 = 15018;

} // namespace db::connection
