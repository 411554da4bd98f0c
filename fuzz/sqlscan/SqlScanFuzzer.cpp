// Scans arbitrary UTF-16 text and rebuilds it with arbitrary null parameters.
// Input: 8 bytes of null flags (bit i: parameter i is null), 1 byte of options, then the text.

#include "ScanTestSupport.h"

#include "db/connection/fb.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace db::statements;

namespace {

void CheckAt(bool ok, int line) {
    if (!ok) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}
#define Check(ok) CheckAt((ok), __LINE__)

void CheckScan(const QString& text, const TSQLParser& parser) {
    const TSQLScanResult out =
        ScanSQLText(text, parser.SQLKind(), parser.CanParamsCheck(), QChar(u'@'), true);
    const TSQLScanResult quiet =
        ScanSQLText(text, parser.SQLKind(), parser.CanParamsCheck(), QChar(u'@'), false);
    Check(out.Error == quiet.Error && out.Names.size() == quiet.Names.size());
    if (out.Error != TSQLScanError::None) return;
    // The written text keeps the length and every position of the input.
    Check(out.ProcessedSQL.size() == text.size());
    int lastEnd = 0;
    QString expected = text;
    for (qsizetype i = 0; i < out.Names.size(); ++i) {
        const TScannedName& n = out.Names[i];
        Check(n.BeginPos == quiet.Names[i].BeginPos && n.EndPos == quiet.Names[i].EndPos);
        Check(n.Name == quiet.Names[i].Name && n.InWhereClause == quiet.Names[i].InWhereClause);
        Check(n.BeginPos > lastEnd && n.EndPos >= n.BeginPos && n.EndPos <= text.size());
        Check(!n.Name.isEmpty() || n.IsMacro);
        lastEnd = n.EndPos;
        if (!n.IsMacro) {
            expected[n.BeginPos - 1] = u'?';
            for (int p = n.BeginPos + 1; p <= n.EndPos; ++p)
                expected[p - 1] = u' ';
        }
    }
    Check(out.ProcessedSQL == expected);
    if (HasNoParamMarkers(text, QChar(u'@'))) Check(out.Names.isEmpty());
}

void CheckRebuild(const QString& text, uint64_t nullFlags, uint8_t options) {
    TTestTextOwner owner;
    owner.NoForce = options & 1;
    owner.InPrepare = options & 2;
    owner.InExecute = options & 4;
    owner.Unicode = options & 8;
    owner.KOI8 = options & 16;
    TSQLTextState state(owner);
    try {
        state.SetSQLText(text, true);
    } catch (const EFbClientError& e) {
        Check(e.SQLCode() == 51);
        return;
    }
    const int count = owner.User.ParamCount();
    bool anyNull = false;
    for (int i = 0; i < count; ++i) {
        TMemoryParam& p = owner.User.Item(i);
        const bool null = (nullFlags >> (i % 64)) & 1;
        if (p.Data.FIsMacro)
            p.Value = null ? QString() : QStringLiteral("m");
        else
            p.Value = null ? QVariant() : QVariant(i);
        anyNull = anyNull || (null && !p.Data.FIsMacro);
        p.OldValue = QStringLiteral("unchanged");
    }
    const QString ready = state.ReadySQLText(true);
    // A text without markers is never scanned; the server sees it as it is.
    if (state.HasNoParamMarkers(text)) return;
    if (!state.HaveMacros()) {
        if (owner.NoForce || !anyNull) Check(ready == text);
        int rewritten = 0;
        bool nextCharMatters = false;
        for (int i = 0; i < count; ++i) {
            const TMemoryParam& p = owner.User.Item(i);
            if (p.OldValue.isValid()) continue;
            ++rewritten;
            // The character right after an unquoted name is not examined by the scan; once the
            // name is gone it is, so a quote, marker or bracket there may scan differently.
            const char16_t next =
                p.Data.FEndPosInText < text.size() ? text[p.Data.FEndPosInText].unicode() : 0;
            if (!p.Data.FQuoted && next != 0 && QStringView(u"\"':?@(").contains(QChar(next)))
                nextCharMatters = true;
        }
        Check(state.DiffParams() == (rewritten > 0));
        if (nextCharMatters) return;
        // What is left of the text scans cleanly to the parameters that were not rewritten.
        try {
            state.ScanParameters(ready, false);
        } catch (const EFbClientError&) {
            Check(false);
        }
        Check(owner.Server.ParamCount() == count - rewritten);
        Check(state.ProcessedSQL().size() == ready.size());
        state.ApplyCodePage();
    } else {
        try {
            state.RebuildForPrepare();
        } catch (const EFbClientError& e) {
            Check(e.SQLCode() == 51);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    uint64_t nullFlags;
    std::memcpy(&nullFlags, data, 8);
    const uint8_t options = data[8];
    data += 9;
    size -= 9;
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        text[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    TSQLParser parser;
    parser.SetSQLText(text);
    Check(parser.FirstPos() >= 1 && parser.FirstPos() <= text.size() + 1);
    CheckScan(text, parser);
    CheckRebuild(text, nullFlags, options);
    return 0;
}
