#include "FbInfo.h"

#include <ibase.h>

namespace db::connection {

std::optional<QByteArray> InfoValue(const char* answer, qsizetype size, char item) {
    qsizetype at = 0;
    while (at + 3 <= size) {
        const char code = answer[at];
        if (code == isc_info_end || code == isc_info_truncated) break;
        const qsizetype length = qsizetype(InfoInteger(QByteArrayView(answer + at + 1, 2)) & 0xFFFF);
        const qsizetype start = at + 3;
        if (code == item) return QByteArray(answer + start, qMin(length, size - start));
        at = start + length;
    }
    return std::nullopt;
}

qint64 InfoInteger(QByteArrayView bytes) {
    if (bytes.isEmpty() || bytes.size() > 8) return 0;
    quint64 value = 0;
    for (qsizetype i = bytes.size() - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[i]);
    // The last byte carries the sign.
    const int unused = int(8 - bytes.size()) * 8;
    return qint64(value << unused) >> unused;
}

} // namespace db::connection
