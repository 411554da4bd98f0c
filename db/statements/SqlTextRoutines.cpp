#include "SqlTextRoutines.h"
#include "SqlTextInternal.h"

#include "platform/Encoding.h"

#include <cstring>

namespace db::statements {

namespace sqlchars {

namespace {

// One bit per class, looked up for code points below 256.
enum : unsigned short {
    cWordBefore = 1 << 0,
    cWordAfter = 1 << 1,
    cLeadSkip = 1 << 2,
    cName = 1 << 3,
    cLineEnd = 1 << 4,
    cMacroEnd = 1 << 5,
    cScanBlank = 1 << 6,
    cOperatorSkip = 1 << 7,
    cNegation = 1 << 8,
    cComparison = 1 << 9,
};

struct TClassTable {
    unsigned short bits[256] = {};
    void Add(const char* chars, std::size_t count, unsigned short bit) {
        for (std::size_t i = 0; i < count; ++i)
            bits[static_cast<unsigned char>(chars[i])] |= bit;
    }
    template <std::size_t N> void Add(const char (&chars)[N], unsigned short bit) { Add(chars, N - 1, bit); }
    TClassTable() {
        Add("\t\n\r \")", cWordBefore);
        Add("\0\t\n\r \"(-/;^", cWordAfter);
        Add("\0\t\n\r (;^", cLeadSkip);
        Add("#$%._", cName);
        for (int c = '0'; c <= '9'; ++c)
            bits[c] |= cName;
        for (int c = 'A'; c <= 'Z'; ++c)
            bits[c] |= cName;
        for (int c = 'a'; c <= 'z'; ++c)
            bits[c] |= cName;
        Add("\0\n\r", cLineEnd);
        Add("\n\r ", cMacroEnd);
        Add("\t\n\r ", cScanBlank);
        Add("\0\t\n\r \"(-/;^", cOperatorSkip);
        Add("!^~", cNegation);
        Add("<>", cComparison);
    }
};

const TClassTable kClasses;

inline bool Has(char16_t c, unsigned short bit) {
    return c < 256 && (kClasses.bits[c] & bit) != 0;
}

} // namespace

bool IsWordBefore(char16_t c) {
    return Has(c, cWordBefore);
}
bool IsWordAfter(char16_t c) {
    return Has(c, cWordAfter);
}
bool IsLeadSkip(char16_t c) {
    return Has(c, cLeadSkip);
}
bool IsNameChar(char16_t c) {
    return Has(c, cName);
}
bool IsLineEnd(char16_t c) {
    return Has(c, cLineEnd);
}
bool IsMacroEnd(char16_t c) {
    return Has(c, cMacroEnd);
}
bool IsScanBlank(char16_t c) {
    return Has(c, cScanBlank);
}
bool IsOperatorSkip(char16_t c) {
    return Has(c, cOperatorSkip);
}
bool IsNegation(char16_t c) {
    return Has(c, cNegation);
}
bool IsComparison(char16_t c) {
    return Has(c, cComparison);
}

} // namespace sqlchars

using namespace sqlchars;

namespace {

// Character at 1-based position p; NUL outside the text.
inline char16_t At(const QString& text, qsizetype p) {
    return (p >= 1 && p <= text.size()) ? text.at(p - 1).unicode() : u'\0';
}

} // namespace

bool IsWordAt(const char* word, const QString& text, int pos) {
    const qsizetype n = text.size();
    const qsizetype wordLen = static_cast<qsizetype>(std::strlen(word));
    if (pos < 1) return false;
    if (pos >= 2 && !IsWordBefore(At(text, pos - 1))) return false;
    if (n - pos + 1 < wordLen) return false;
    for (qsizetype i = 0; i < wordLen; ++i) {
        const char16_t w = static_cast<unsigned char>(word[i]);
        const char16_t t = At(text, pos + i);
        // The word is upper case; only ASCII letters match their lower-case form.
        if (t != w && !(w >= u'A' && w <= u'Z' && t == w + 32)) return false;
    }
    if (pos + wordLen <= n && !IsWordAfter(At(text, pos + wordLen))) return false;
    return true;
}

void SkipBlanks(const QString& text, int len, int& pos) {
    const int n = std::min<int>(len, static_cast<int>(text.size()));
    int p = std::max(pos, 1);
    while (p < n) {
        const char16_t c = At(text, p);
        if (!IsLeadSkip(c) && c != u'-' && c != u'/') break;
        while (p <= n && IsLeadSkip(At(text, p)))
            ++p;
        if (p < n && At(text, p) == u'-' && At(text, p + 1) == u'-') {
            while (p <= n && At(text, p) != u'\n' && At(text, p) != u'\r')
                ++p;
        } else if (p < n && At(text, p) == u'/' && At(text, p + 1) == u'*') {
            p += 2;
            while (p < n && !(At(text, p) == u'*' && At(text, p + 1) == u'/'))
                ++p;
            p += 2;
        } else if (p <= n && (At(text, p) == u'-' || At(text, p) == u'/')) {
            break;
        }
    }
    // An unclosed comment must not leave the position further than just past the text.
    pos = std::min(p, n + 1);
}

bool IsWhereAt(const QString& text, int pos) {
    return IsWordAt("WHERE", text, pos);
}

bool IsWhereEndAt(const QString& text, int pos) {
    if (pos > text.size()) return true;
    static const char* const kEndWords[] = {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"};
    for (const char* w : kEndWords)
        if (IsWordAt(w, text, pos)) return true;
    return false;
}

TSQLKind DetectSQLKind(const QString& text, int firstPos) {
    const int len = static_cast<int>(text.size());
    const int p = firstPos;
    if (IsWordAt("SELECT", text, p) || IsWordAt("MERGE", text, p)) return TSQLKind::skSelect;
    if (IsWordAt("UPDATE", text, p)) {
        int q = p + 6;
        SkipBlanks(text, len, q);
        return IsWordAt("OR", text, q) ? TSQLKind::skUpdateOrInsert : TSQLKind::skUpdate;
    }
    if (IsWordAt("DELETE", text, p)) return TSQLKind::skDelete;
    if (IsWordAt("INSERT", text, p)) return TSQLKind::skInsert;
    if (IsWordAt("EXECUTE", text, p)) {
        int q = p + 7;
        SkipBlanks(text, len, q);
        if (IsWordAt("PROCEDURE", text, q)) return TSQLKind::skExecuteProc;
        if (IsWordAt("BLOCK", text, q)) return TSQLKind::skExecuteBlock;
    }
    if (len > 0 && p <= len && (p == 1 || IsWordBefore(At(text, p - 1)))) {
        bool ddl = false;
        switch (At(text, p)) {
        case u'A':
        case u'a':
            ddl = IsWordAt("ALTER", text, p);
            break;
        case u'C':
        case u'c':
            ddl = IsWordAt("CREATE", text, p) || IsWordAt("COMMENT", text, p);
            break;
        case u'D':
        case u'd':
            ddl = IsWordAt("DROP", text, p) || IsWordAt("DECLARE", text, p);
            break;
        case u'G':
        case u'g':
            ddl = IsWordAt("GRANT", text, p);
            break;
        case u'R':
        case u'r':
            ddl = IsWordAt("RECREATE", text, p) || IsWordAt("REVOKE", text, p);
            break;
        case u'S':
        case u's':
            if (IsWordAt("SET", text, p)) {
                int q = p + 4;
                while (q <= len && IsWordBefore(At(text, q)))
                    ++q;
                ddl = IsWordAt("GENERATOR", text, q);
            } else {
                ddl = true;
            }
            break;
        default:
            break;
        }
        if (ddl) return TSQLKind::skDDL;
    }
    return TSQLKind::skUnknown;
}

bool HasNoParamMarkers(const QString& text, QChar macroChar) {
    const qsizetype n = text.size();
    if (n <= 1) return true;
    // Comment openers and closers are taken as pairs, as the parameter scan takes them: the '/' of
    // "*/" never opens the next comment.
    enum { Normal, InString, InBlock, InLine } state = Normal;
    char16_t quote = 0;
    const char16_t macro = macroChar.unicode();
    for (qsizetype p = 1; p <= n; ++p) {
        const char16_t c = At(text, p);
        const char16_t next = At(text, p + 1);
        switch (state) {
        case Normal:
            if (c == u'"' || c == u'\'') {
                state = InString;
                quote = c;
            } else if (c == u'/' && next == u'*') {
                state = InBlock;
                ++p;
            } else if (c == u'-' && next == u'-') {
                state = InLine;
                ++p;
            } else if (c == u':' || c == u'?' || c == macro) {
                return false;
            }
            break;
        case InString:
            if (c == quote) state = Normal;
            break;
        case InBlock:
            if (c == u'*' && next == u'/') {
                state = Normal;
                ++p;
            }
            break;
        case InLine:
            // Ends where the scan's line comment ends, so that both agree on what is code.
            if (IsLineEnd(c)) state = Normal;
            break;
        }
    }
    return true;
}

} // namespace db::statements

using namespace db::statements;

void TSQLParser::SetSQLText(const QString& text) {
    FSQLText = text;
    FLen = static_cast<int>(text.size());
    FFirstPos = 1;
    SkipBlanks(FSQLText, FLen, FFirstPos);
    FSQLKind = DetectSQLKind(FSQLText, FFirstPos);
    FCanParamsCheck = FSQLKind != TSQLKind::skDDL;
}

QString db::statements::SQLScanErrorText(TSQLScanError error) {
    switch (error) {
    case TSQLScanError::EofInComment:
        return QStringLiteral("EOF in comment detected");
    case TSQLScanError::EofInString:
        return QStringLiteral("EOF in string detected");
    case TSQLScanError::ParamNameExpected:
        return QStringLiteral("Parameter name expected");
    case TSQLScanError::None:
        break;
    }
    return {};
}

namespace {

class TScanner {
public:
    TScanner(const QString& text, TSQLKind kind, bool canParamsCheck, QChar macroChar, bool writeOutput)
        : FText(text), FN(text.size()), FKind(kind), FCanParamsCheck(canParamsCheck),
          FMacro(macroChar.unicode()), FWrite(writeOutput) {
        FTrackWhere = kind != TSQLKind::skExecuteProc && kind != TSQLKind::skExecuteBlock;
    }

    TSQLScanResult Run();

private:
    enum class TState {
        Normal,
        BlockComment,
        String,
        ParamName,
        QuotedName,
        MacroName,
        MacroName2,
        LineComment
    };

    char16_t C(qsizetype p) const { return At(FText, p); }
    void Put(qsizetype p, char16_t c) {
        if (FWrite) FOut[p - 1] = QChar(c);
    }
    void Copy(qsizetype p) { Put(p, C(p)); }
    void Fail(TSQLScanError e, qsizetype p) {
        FResult.Error = e;
        FResult.ErrorPos = static_cast<int>(p);
    }
    void CloseParen() {
        if (FInWhere && --FDepth < 0) FInWhere = false;
    }
    bool Step(qsizetype& p);
    void StepNormal(qsizetype& p);
    bool StepName(qsizetype& p);
    void CopyAfterName(qsizetype& p);
    void StepQuotedName(qsizetype& p);
    void Finish();
    void TrackWhere(qsizetype& p);
    void StartName(qsizetype p, bool macro);
    void EndName(qsizetype endPos);
    bool NullRewriteAllowedAfter(qsizetype p) const;

    const QString& FText;
    const qsizetype FN;
    const TSQLKind FKind;
    const bool FCanParamsCheck;
    const char16_t FMacro;
    const bool FWrite;
    bool FTrackWhere;

    TSQLScanResult FResult;
    QChar* FOut = nullptr;
    TState FState = TState::Normal;
    char16_t FQuote = 0;
    bool FInWhere = false;
    int FDepth = 0;
    bool FParamsAllowed = true;
    TScannedName FCur;
};

void TScanner::StartName(qsizetype p, bool macro) {
    FCur = TScannedName();
    FCur.IsMacro = macro;
    FCur.BeginPos = static_cast<int>(p);
}

bool TScanner::NullRewriteAllowedAfter(qsizetype p) const {
    while (p <= FN && IsScanBlank(C(p)))
        ++p;
    if (p > FN) return true;
    switch (C(p)) {
    case u'*':
    case u'+':
    case u'|':
        return false;
    case u'-':
        return C(p + 1) == u'-';
    case u'/':
        return C(p + 1) == u'*';
    default:
        return true;
    }
}

void TScanner::EndName(qsizetype endPos) {
    FCur.EndPos = static_cast<int>(endPos);
    FCur.InWhereClause = FInWhere;
    FCur.CanForceIsNull = FInWhere && NullRewriteAllowedAfter(endPos + 1);
    FResult.Names.append(FCur);
    FState = TState::Normal;
}

// First letters of the words that end a WHERE clause.
inline bool MayEndWhere(char16_t c) {
    switch (c | 0x20) {
    case u'f':
    case u'g':
    case u'h':
    case u'o':
    case u'p':
    case u's':
    case u'u':
        return c < 128;
    default:
        return false;
    }
}

void TScanner::TrackWhere(qsizetype& p) {
    const int pos = static_cast<int>(p);
    const char16_t c = C(p);
    if (FInWhere) {
        if (c == u'(') {
            ++FDepth;
        } else if (c == u')') {
            CloseParen();
        } else if (MayEndWhere(c) && IsWhereEndAt(FText, pos)) {
            FInWhere = false;
        }
    } else if ((c == u'W' || c == u'w') && IsWhereAt(FText, pos)) {
        FInWhere = true;
        FDepth = 0;
        if (!FWrite) p += 4; // the loop steps past the fifth letter
    }
}

TSQLScanResult TScanner::Run() {
    if (FWrite) {
        FResult.ProcessedSQL.resize(FN);
        FOut = FResult.ProcessedSQL.data();
    }
    for (qsizetype p = 1; p <= FN; ++p)
        if (!Step(p)) return FResult;
    Finish();
    return FResult;
}

// One character (or a pair) in the current state; false when the text cannot be scanned.
bool TScanner::Step(qsizetype& p) {
    const char16_t c = C(p);
    switch (FState) {
    case TState::Normal:
        StepNormal(p);
        return true;
    case TState::String:
        Copy(p);
        if (c == FQuote) {
            if (C(p + 1) == FQuote)
                Copy(++p);
            else
                FState = TState::Normal;
        }
        return true;
    case TState::BlockComment:
        Copy(p);
        if (c == u'*' && C(p + 1) == u'/') {
            Copy(++p);
            FState = TState::Normal;
        }
        return true;
    case TState::LineComment:
        Copy(p);
        if (IsLineEnd(c)) FState = TState::Normal;
        return true;
    case TState::ParamName:
    case TState::MacroName:
        return StepName(p);
    case TState::QuotedName:
        StepQuotedName(p);
        return true;
    case TState::MacroName2:
        Copy(p);
        if (c == FMacro)
            EndName(p);
        else
            FCur.Name += QChar(c);
        return true;
    }
    return true;
}

void TScanner::StepNormal(qsizetype& p) {
    if (FTrackWhere) {
        const qsizetype before = p;
        TrackWhere(p);
        if (p != before) return;
    }
    const char16_t c = C(p);
    const char16_t next = C(p + 1);
    if (c == u'"' || c == u'\'') {
        FState = TState::String;
        FQuote = c;
        Copy(p);
    } else if (c == u'-' && next == u'-') {
        FState = TState::LineComment;
        Copy(p);
        Copy(++p);
    } else if (c == u'/' && next == u'*') {
        FState = TState::BlockComment;
        Copy(p);
        Copy(++p);
    } else if ((c == u':' || c == u'?') && FCanParamsCheck && FParamsAllowed) {
        StartName(p, false);
        FState = TState::ParamName;
        Put(p, u'?');
    } else if (c == FMacro) {
        StartName(p, true);
        Copy(p);
        if (next == FMacro) {
            FState = TState::MacroName2;
            Copy(++p);
        } else {
            FState = TState::MacroName;
        }
    } else {
        // In an execute block the body starts at AS; its ':' names are local variables.
        if (FKind == TSQLKind::skExecuteBlock && (c == u'A' || c == u'a') &&
            IsWordAt("AS", FText, static_cast<int>(p)))
            FParamsAllowed = false;
        Copy(p);
    }
}

bool TScanner::StepName(qsizetype& p) {
    const char16_t c = C(p);
    const char16_t next = C(p + 1);
    if (FCur.Name.isEmpty() && c == u'"' && p == FCur.BeginPos + 1) {
        FState = TState::QuotedName;
        FCur.Quoted = true;
        if (FCur.IsMacro)
            Copy(p);
        else
            Put(p, u' ');
        if (next == u'"') {
            Fail(TSQLScanError::ParamNameExpected, p);
            return false;
        }
        return true;
    }
    if (FState == TState::MacroName) {
        if (p == FCur.BeginPos + 1 && IsMacroEnd(c)) {
            Fail(TSQLScanError::ParamNameExpected, p);
            return false;
        }
        FCur.Name += QChar(c);
        Copy(p);
        if (p == FN || IsMacroEnd(next)) EndName(p);
        return true;
    }
    if (!IsNameChar(c)) {
        Fail(TSQLScanError::ParamNameExpected, p);
        return false;
    }
    FCur.Name += QChar(c);
    Put(p, u' ');
    if (!IsNameChar(next)) {
        EndName(p);
        if (p < FN) CopyAfterName(++p);
    }
    return true;
}

// The character right after an unquoted name is taken as it is, except that a comment opened
// there is kept whole and ')' still closes a bracket.
void TScanner::CopyAfterName(qsizetype& p) {
    const char16_t after = C(p);
    const char16_t after2 = C(p + 1);
    Copy(p);
    if (after == u'-' && after2 == u'-') {
        FState = TState::LineComment;
        Copy(++p);
    } else if (after == u'/' && after2 == u'*') {
        FState = TState::BlockComment;
        Copy(++p);
    } else if (after == u')' && FTrackWhere) {
        CloseParen();
    }
}

void TScanner::StepQuotedName(qsizetype& p) {
    FCur.Name += QChar(C(p));
    if (FCur.IsMacro)
        Copy(p);
    else
        Put(p, u' ');
    if (C(p + 1) == u'"' && p < FN) {
        ++p;
        if (FCur.IsMacro)
            Copy(p);
        else
            Put(p, u' ');
        EndName(p);
    }
}

// The state the text ends in.
void TScanner::Finish() {
    switch (FState) {
    case TState::BlockComment:
        Fail(TSQLScanError::EofInComment, FN);
        break;
    case TState::String:
    case TState::QuotedName:
        Fail(TSQLScanError::EofInString, FN);
        break;
    case TState::ParamName:
    case TState::MacroName:
        // Only a marker at the very end of the text gets here: no name follows it.
        Fail(TSQLScanError::ParamNameExpected, FN + 1);
        break;
    case TState::MacroName2:
        // An unclosed "@@" macro runs to the end of the text.
        if (FCur.Name.isEmpty()) {
            Fail(TSQLScanError::ParamNameExpected, FN + 1);
        } else {
            EndName(FN);
        }
        break;
    default:
        break;
    }
}

} // namespace

TSQLScanResult db::statements::ScanSQLText(const QString& text, TSQLKind kind, bool canParamsCheck,
                                           QChar macroChar, bool writeOutput) {
    return TScanner(text, kind, canParamsCheck, macroChar, writeOutput).Run();
}

QString db::statements::AsciiUpperCase(const QString& s) {
    QString r = s;
    for (QChar& ch : r)
        if (ch.unicode() >= u'a' && ch.unicode() <= u'z') ch = QChar(ch.unicode() - 32);
    return r;
}

QList<TParamListEntry> db::statements::PlanParamList(const QList<TScannedName>& names,
                                                     const IScanParamList* previous, bool keepMacros) {
    QList<TParamListEntry> entries;
    entries.reserve(names.size());
    const int oldCount = previous ? previous->ParamCount() : 0;
    QList<QString> oldNames;
    QList<bool> taken(oldCount, false);
    oldNames.reserve(oldCount);
    for (int i = 0; i < oldCount; ++i)
        oldNames.append(previous->ParamName(i));

    for (const TScannedName& s : names) {
        if (s.IsMacro && !keepMacros) continue;
        TParamListEntry e{};
        e.KeepIndex = -1;
        e.SetMacroValue = false;
        TParamTextData& d = e.TextData;
        d.FInWhereClause = s.InWhereClause;
        d.FCanForceIsNull = s.CanForceIsNull;
        d.FBeginPosInText = s.BeginPos;
        d.FEndPosInText = s.EndPos;
        if (s.IsMacro) {
            const qsizetype pct = s.Name.indexOf(u'%');
            QString name = pct < 0 ? s.Name : s.Name.left(pct);
            QString def = pct < 0 ? QString() : s.Name.mid(pct + 1);
            d.FIsMacro = true;
            if (def.startsWith(u'#')) {
                d.FQuoted = true;
                def.remove(0, 1);
            }
            d.FDefMacroValue = def;
            e.Name = AsciiUpperCase(name.left(255));
            e.NameQuoted = false;
            e.MacroValue = def;
        } else {
            d.FQuoted = s.Quoted;
            e.Name = s.Quoted ? s.Name : AsciiUpperCase(s.Name);
            e.NameQuoted = s.Quoted;
        }
        for (int i = 0; i < oldCount; ++i) {
            if (!taken[i] && oldNames[i] == e.Name && !previous->ParamHoldsBlobId(i)) {
                taken[i] = true;
                e.KeepIndex = i;
                break;
            }
        }
        e.SetMacroValue = d.FIsMacro && e.KeepIndex < 0;
        entries.append(std::move(e));
    }
    return entries;
}

TSQLTextState::TSQLTextState(IStatementContext& owner) : FOwner(owner) {}

bool TSQLTextState::HasNoParamMarkers(const QString& text) const {
    return db::statements::HasNoParamMarkers(text, FMacroChar);
}

void TSQLTextState::SetPrepared(const QByteArray& bytes) {
    FPreparedSQL = bytes;
    FPreparedSource = FProcessedSQL;
}

void TSQLTextState::SetSQLText(const QString& text, bool paramCheck) {
    FParser.SetSQLText(text);
    FCodePageApplied = false;
    if (!paramCheck || text.isEmpty() || HasNoParamMarkers(text)) {
        FOwner.UserParamList().RebuildFromScan({});
        FOwner.ServerParamList().RebuildFromScan({});
        FHaveMacros = false;
        FProcessedSQL = text;
        SetPrepared(FOwner.IsUnicodeConnect() ? platform::Encode(text, platform::TTextEncoding::UTF8)
                                              : platform::AnsiFromString(text));
        vUserParamsCreated = true;
        return;
    }
    // Until the scan succeeds nothing of the previous text may be prepared or run: a failed scan
    // leaves the list to be built (and the error raised again) on first use.
    vUserParamsCreated = false;
    FProcessedSQL.clear();
    FPreparedSQL.clear();
    FPreparedSource.clear();
    if (!ScanParameters(text, true)) return; // loading a stored form: the list is built on first use
    vUserParamsCreated = true;
    if (FOwner.UserParamList().ParamCount() > 0) {
        FProcessedSQL.clear();
        FPreparedSQL.clear();
        FPreparedSource.clear();
    } else {
        FProcessedSQL = text;
        SetPrepared(platform::AnsiFromString(text));
    }
}

bool TSQLTextState::ScanParameters(const QString& text, bool buildUserList) {
    TSQLScanResult scan =
        ScanSQLText(text, FParser.SQLKind(), FParser.CanParamsCheck(), FMacroChar, !buildUserList);
    if (scan.Error != TSQLScanError::None) {
        // While loading, a missing name stops the scan without an error and without a list.
        if (scan.Error == TSQLScanError::ParamNameExpected && FOwner.BeingLoaded()) return false;
        FOwner.RaiseSQLParseError(SQLScanErrorText(scan.Error));
    }
    IScanParamList& list = buildUserList ? FOwner.UserParamList() : FOwner.ServerParamList();
    const QList<TParamListEntry> entries = PlanParamList(scan.Names, &list, buildUserList);
    list.RebuildFromScan(entries);
    if (buildUserList) {
        FHaveMacros = false;
        for (const TParamListEntry& e : entries)
            FHaveMacros = FHaveMacros || e.TextData.FIsMacro;
    } else {
        FProcessedSQL = std::move(scan.ProcessedSQL);
        FCodePageApplied = false;
    }
    return true;
}

namespace {

// A macro value put into the text as a string literal.
QString QuoteMacroValue(const QString& value) {
    if (value.isEmpty()) return QStringLiteral("''");
    if (value.startsWith(u'\'')) return value;
    QString body = value.startsWith(u'#') ? value.mid(1) : value;
    body.replace(u'\'', QStringLiteral("''"));
    return u'\'' + body + u'\'';
}

} // namespace

QString TSQLTextState::ReadySQLText(bool forExecution) {
    const QString& source = FParser.SQLText();
    const bool noForceIsNull = FOwner.NoForceIsNull();
    if (!FHaveMacros && noForceIsNull) return source;
    if (forExecution) vDiffParams = false;
    const bool mayRewrite = !noForceIsNull && (FOwner.Executing() || !FOwner.Preparing());
    const int n = static_cast<int>(source.size());

    QString result = source;
    qsizetype shift = 0;
    int lastEnd = 0; // end of the previous replaced or kept item, in source positions
    IScanParamList& list = FOwner.UserParamList();
    for (int i = 0, count = list.ParamCount(); i < count; ++i) {
        IScanParam& param = list.Param(i);
        const TParamTextData& d = param.TextData();
        const int begin = d.FBeginPosInText;
        const int end = d.FEndPosInText;
        // Positions come from a scan of this very text; anything else is left alone.
        if (begin <= lastEnd || end < begin || end > n) continue;
        if (d.FIsMacro) {
            const QString value = param.MacroValue();
            const QString text = d.FQuoted ? QuoteMacroValue(value) : value;
            result.replace(begin - 1 + shift, end - begin + 1, text);
            shift += text.size() - (end - begin + 1);
            param.SetOldValue(value);
            if (forExecution) vDiffParams = true;
        } else if (mayRewrite && d.FInWhereClause && d.FCanForceIsNull && param.IsNull()) {
            // Back from the marker over blanks and the like to the comparison operator.
            int j = begin - 1;
            // A bracket or a quote on the way would be cut in half by the replacement: no rewrite.
            bool unsafe = false;
            while (j > lastEnd && IsOperatorSkip(At(source, j))) {
                unsafe = unsafe || At(source, j) == u'(' || At(source, j) == u'"';
                --j;
            }
            int opStart = 0;
            const char16_t* replacement = nullptr;
            if (j > lastEnd && !unsafe) {
                const char16_t op = At(source, j);
                const char16_t before = j - 1 > lastEnd ? At(source, j - 1) : u'\0';
                if (op == u'=' && IsNegation(before)) {
                    opStart = j - 1;
                    replacement = u" IS NOT NULL ";
                } else if (op == u'>' && before == u'<') {
                    opStart = j - 1;
                    replacement = u" IS NOT NULL ";
                } else if (op == u'=' && !IsComparison(before)) {
                    opStart = j;
                    replacement = u" IS NULL ";
                }
            }
            if (replacement) {
                const QString text = QString::fromUtf16(replacement);
                result.replace(opStart - 1 + shift, end - opStart + 1, text);
                shift += text.size() - (end - opStart + 1);
                param.SetOldValue(QVariant());
                if (forExecution) vDiffParams = true;
            }
        }
        lastEnd = end;
    }
    return result;
}

void TSQLTextState::ApplyCodePage() {
    if (FCodePageApplied) return;
    if (FParser.SQLKind() != TSQLKind::skDDL) {
        if (FOwner.IsUnicodeConnect())
            SetPrepared(platform::Encode(FProcessedSQL, platform::TTextEncoding::UTF8));
        else if (FOwner.IsKOI8Connect())
            SetPrepared(platform::Encode(FProcessedSQL, platform::TTextEncoding::KOI8R));
        else
            SetPrepared(platform::AnsiFromString(FProcessedSQL));
    } else if (FOwner.NeedUTFEncodeDDL()) {
        SetPrepared(platform::Encode(FProcessedSQL, platform::TTextEncoding::UTF8));
    } else if (FPreparedSource != FProcessedSQL || (FPreparedSQL.isEmpty() && !FProcessedSQL.isEmpty())) {
        // The text was rebuilt since it was encoded: encoding the old text would run a stale one.
        SetPrepared(platform::AnsiFromString(FProcessedSQL));
    }
    FCodePageApplied = true;
}

void TSQLTextState::RebuildForPrepare() {
    const QString ready = ReadySQLText(true);
    ScanParameters(ready, false);
    ApplyCodePage();
}
