#include "TmyStr.h"

#include "platform/RegionalSettings.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

QString TmyStr::iff(bool state, const QString& str_false, const QString& str_true) {
    return state ? str_true : str_false;
}

QString TmyStr::FirstWord(const QString& s) {
    const QString t = BezSpacjiZLewej(s);
    const qsizetype p = t.indexOf(u' ');
    return p < 0 ? t : t.left(p);
}

int TmyStr::WordInString(const QString& s, QChar ds) {
    int words = 0;
    bool inWord = false;
    for (QChar c : s) {
        const bool sep = c == u' ' || c == ds;
        if (!sep && !inWord) ++words;
        inWord = !sep;
    }
    return words;
}

bool TmyStr::IsCharInString(QChar c, const QString& S) {
    return S.contains(c);
}
int TmyStr::CountCharInStr(QChar c, const QString& S) {
    return int(S.count(c));
}

QString TmyStr::WywalOstatniZnak(const QString& s, QChar znak) {
    QString t = BezSpacjiZPrawej(s);
    if (t.size() > 1 && t.back() == znak) t.chop(1);
    return t;
}

void TmyStr::SL_Sort_RemoveDuplicate(platform::TStringList& sl) {
    QStringList lines = sl.Strings();
    std::stable_sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    QStringList unique;
    for (const QString& l : lines)
        if (unique.isEmpty() || unique.back().compare(l, Qt::CaseInsensitive) != 0) unique << l;
    sl.SetStrings(unique);
}

QString TmyStr::WywalOgonki(const QString& s) {
    static const char16_t* const table[][2] = {
        {u"ą", u"a"}, {u"Ą", u"A"}, {u"ę", u"e"}, {u"Ę", u"E"}, {u"ś", u"s"}, {u"Ś", u"S"}, {u"ć", u"c"},
        {u"Ć", u"C"}, {u"ó", u"o"}, {u"Ó", u"O"}, {u"ż", u"z"}, {u"Ż", u"Z"}, {u"ź", u"z"}, {u"Ź", u"Z"}};
    QString r = s;
    for (const auto& pair : table)
        r.replace(QString::fromUtf16(pair[0]), QString::fromUtf16(pair[1]));
    return r;
}

QString TmyStr::MyFormatFloat(const QString& aFormat, double aValue) {
    const qsizetype point = aFormat.indexOf(u'.');
    const QString intPart = point < 0 ? aFormat : aFormat.left(point);
    const QString fracPart = point < 0 ? QString() : aFormat.mid(point + 1);
    const int minInt = int(intPart.count(u'0'));
    const bool group = intPart.contains(u',');
    const int minFrac = int(fracPart.count(u'0'));
    const int maxFrac = minFrac + int(fracPart.count(u'#'));

    // Halves away from zero, as the runtime's number formatting rounds.
    const double scale = std::pow(10.0, maxFrac);
    double v = std::round(std::fabs(aValue) * scale) / scale;
    QString digits = QString::number(v, 'f', maxFrac);
    QString ip = digits, fp;
    if (const qsizetype p = digits.indexOf(u'.'); p >= 0) {
        ip = digits.left(p);
        fp = digits.mid(p + 1);
    }
    while (fp.size() > minFrac && fp.endsWith(u'0'))
        fp.chop(1);
    if (ip == QLatin1String("0") && minInt == 0) ip.clear();
    while (ip.size() < minInt)
        ip.prepend(u'0');
    const auto& rs = platform::RegionalSettings();
    if (group)
        for (qsizetype i = ip.size() - 3; i > 0; i -= 3)
            ip.insert(i, rs.ThousandSeparator);
    QString r = ip;
    if (!fp.isEmpty()) r += rs.DecimalSeparator + fp;
    if (aValue < 0 && v != 0) r.prepend(u'-');
    return BezSpacjiZLewej(r);
}

QString TmyStr::MyStringReplace(const QString& str, const QString& old, const QString& neww) {
    QString r = str;
    return old.isEmpty() ? r : r.replace(old, neww, Qt::CaseInsensitive);
}

QString TmyStr::DeleteSubStringInString(const QString& substring, const QString& InputString) {
    QString r = InputString;
    if (substring.isEmpty()) return r;
    while (r.contains(substring))
        r.remove(substring);
    return r;
}

QString TmyStr::DeleteLineBreaks(const QString& S) {
    QString r = S;
    r.replace(u'\r', u' ').replace(u'\n', u' ');
    return r;
}

QByteArray TmyStr::StrRestOf(const QByteArray& S, int N) {
    return N <= 1 ? S : S.mid(N - 1);
}
QByteArray TmyStr::StrLeft(const QByteArray& S, int Count) {
    return S.left(std::max(Count, 0));
}

QByteArray TmyStr::StrAfter(const QByteArray& SubStr, const QByteArray& S) {
    const qsizetype p = S.indexOf(SubStr);
    return p < 0 ? QByteArray() : S.mid(p + SubStr.size());
}

QByteArray TmyStr::StrBefore(const QByteArray& SubStr, const QByteArray& S) {
    const qsizetype p = S.indexOf(SubStr);
    return p < 0 ? S : S.left(p);
}

bool TmyStr::CharIsHex(QChar C) {
    const char16_t c = C.unicode();
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

bool TmyStr::StrIsHex(const QString& S) {
    return !S.isEmpty() && std::all_of(S.begin(), S.end(), CharIsHex);
}

bool TmyStr::CharIsAlpha(QChar C) {
    return C.unicode() >= u'0' && C.unicode() <= u'9';
}

bool TmyStr::StrIsAlpha(const QString& S) {
    return !S.isEmpty() && std::all_of(S.begin(), S.end(), CharIsAlpha);
}

bool TmyStr::StrIsRealAlpha(const QString& S) {
    return !S.isEmpty() &&
           std::all_of(S.begin(), S.end(), [](QChar c) { return CharIsAlpha(c) || c == u'.' || c == u','; });
}

QString TmyStr::BezSpacji(const QString& InputString) {
    QString r = InputString;
    return r.remove(u' ');
}

QString TmyStr::BezSpacjiZLewej(const QString& InputString) {
    qsizetype i = 0;
    while (i < InputString.size() && InputString[i] == u' ')
        ++i;
    return InputString.mid(i);
}

QString TmyStr::BezSpacjiZPrawej(const QString& InputString) {
    qsizetype n = InputString.size();
    while (n > 0 && InputString[n - 1] == u' ')
        --n;
    return InputString.left(n);
}

} // namespace quorvel
