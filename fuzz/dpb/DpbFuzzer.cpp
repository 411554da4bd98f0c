// Fuzzes GenerateDPB over arbitrary parameter lines. The first byte picks the Firebird or InterBase
// numbering; the rest is UTF-8 text split into lines. A build either raises one of the layer's
// documented errors or yields a well-formed buffer: the version byte, then clumplets of code,
// length and exactly that many bytes, ending at the buffer's end.

#include "db/connection/FbParams.h"
#include "db/connection/fb.h"
#include "platform/Exceptions.h"

#include <cstdint>
#include <cstdlib>

using namespace db::connection;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool isFirebird = (data[0] & 1) != 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    TDBParams params;
    params.SetText(text);
    const int lines = params.Count();
    QByteArray dpb = "unchanged";
    short length = -1;
    try {
        GenerateDPB(params, dpb, length, isFirebird);
    } catch (const EFbClientError& e) {
        if (e.SQLCode() != 8 && e.SQLCode() != 9 && e.SQLCode() != -1) abort();
        if (dpb != "unchanged" || length != -1) abort();
        return 0;
    } catch (const platform::EConvertError&) {
        if (dpb != "unchanged" || length != -1) abort();
        return 0;
    }

    if (params.Count() != lines) abort();
    if (length != dpb.size() || dpb.isEmpty() || dpb[0] != char(isc_dpb_version1)) abort();
    qsizetype i = 1;
    while (i < dpb.size()) {
        if (i + 1 >= dpb.size()) abort();
        i += 2 + quint8(dpb[i + 1]);
    }
    if (i != dpb.size()) abort();
    return 0;
}
