#pragma once
// Reading the answers of the client's information calls (isc_database_info, isc_transaction_info,
// isc_dsql_sql_info): a run of items, each a code byte, a two-byte little-endian length and the
// value, ended by isc_info_end (or isc_info_truncated when the buffer was too small).

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace db::connection {

// The value of `item` in an answer of `size` bytes; none when the answer does not hold it. A
// length that runs past the buffer is cut to what is there.
std::optional<QByteArray> InfoValue(const char* answer, qsizetype size, char item);

// A little-endian signed integer of up to 8 bytes, as the client's integers in an answer are
// written; longer values give 0.
qint64 InfoInteger(QByteArrayView bytes);

} // namespace db::connection
