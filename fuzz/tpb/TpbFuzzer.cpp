// Fuzz target for the TPB builder: arbitrary TRParams text, split into lines as the component
// splits it. Beyond memory safety it checks the buffer's shape: the version byte, one byte per
// plain parameter, and the length byte of each lock parameter matching its table name.
#include "db/connection/FbTransaction.h"
#include "db/connection/fb.h"

#include <cstdint>
#include <cstdlib>

using namespace db::connection;

namespace {

// Walks the buffer as the server would; false when it is not well formed.
bool WellFormed(const QByteArray& tpb) {
    if (tpb.isEmpty()) return true;
    if (tpb[0] != char(isc_tpb_version3)) return false;
    for (qsizetype i = 1; i < tpb.size();) {
        const int code = quint8(tpb[i++]);
        if (code < 1 || code > 21 || code == 12 || code == 13 || code == 16 || code == 19) return false;
        if (code == isc_tpb_lock_read || code == isc_tpb_lock_write) {
            if (i >= tpb.size()) return false;
            i += 1 + quint8(tpb[i]);
            if (i > tpb.size()) return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text arrives as UTF-16 in the component; decode the bytes as UTF-8 (invalid sequences
    // become replacement characters, which the system code page cannot represent either).
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    platform::TStringList params;
    params.SetText(text);
    const QStringList before = params.Strings();
    QByteArray tpb = "untouched";
    short length = 7;
    try {
        GenerateTPB(params, tpb, length);
    } catch (const EFbClientError&) {
        if (tpb != "untouched" || length != 7) std::abort();
        return 0;
    }
    if (length != tpb.size() || !WellFormed(tpb)) std::abort();
    if (before.isEmpty() != tpb.isEmpty()) std::abort();
    // Lines are only trimmed, never added or removed.
    if (params.Count() != before.size()) std::abort();
    for (int i = 0; i < params.Count(); ++i)
        if (!before[i].contains(params[i])) std::abort();
    return 0;
}
