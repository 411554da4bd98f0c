#include "TmyStr.h"

#include "platform/RegionalSettings.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <vector>

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

namespace {

// One section of a number format pattern as its parts: digit placeholders ('0' always shows a
// digit, '#' only a significant one), the decimal point (the first '.'), the exponent ("E+",
// "E-", "e+", "e-" and the '0's after it) and literal text (quoted with ' or ", or any other
// character). A ',' anywhere asks for thousand separators and shows nothing itself.
struct TFormatPart {
    enum Kind { IntDigit, Point, FracDigit, Exponent, Literal } kind;
    QString text;  // the literal; for the exponent its letter and sign
    int zeros = 0; // the exponent's least number of digits
};

struct TFormatSection {
    std::vector<TFormatPart> parts;
    bool grouping = false;
    int intDigits = 0, minInt = 0, fracDigits = 0, minFrac = 0;
    bool exponent = false;
};

TFormatSection ParseSection(QStringView f) {
    TFormatSection sec;
    bool afterPoint = false, afterExponent = false;
    int firstZero = -1;
    const auto literal = [&](const QString& t) { sec.parts.push_back({TFormatPart::Literal, t}); };
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype close = f.indexOf(c, i + 1);
            const qsizetype stop = close < 0 ? f.size() : close;
            literal(f.mid(i + 1, stop - i - 1).toString());
            i = stop;
        } else if ((c == u'0' || c == u'#') && !afterExponent) {
            if (afterPoint) {
                ++sec.fracDigits;
                if (c == u'0') sec.minFrac = sec.fracDigits;
                sec.parts.push_back({TFormatPart::FracDigit, {}});
            } else {
                if (c == u'0' && firstZero < 0) firstZero = sec.intDigits;
                ++sec.intDigits;
                sec.parts.push_back({TFormatPart::IntDigit, {}});
            }
        } else if (c == u'.' && !afterPoint && !afterExponent) {
            afterPoint = true;
            sec.parts.push_back({TFormatPart::Point, {}});
        } else if (c == u',') {
            sec.grouping = true;
        } else if ((c == u'E' || c == u'e') && !afterExponent && i + 1 < f.size() &&
                   (f[i + 1] == u'+' || f[i + 1] == u'-')) {
            TFormatPart e{TFormatPart::Exponent, f.mid(i, 2).toString()};
            i += 1;
            while (i + 1 < f.size() && f[i + 1] == u'0' && e.zeros < 4) {
                ++e.zeros;
                ++i;
            }
            sec.exponent = afterExponent = true;
            sec.parts.push_back(e);
        } else if (c == u'.' || c == u'0' || c == u'#') {
            // A second point, or digits after the exponent's: nothing to show.
        } else {
            literal(QString(c));
        }
    }
    sec.minInt = firstZero < 0 ? 0 : sec.intDigits - firstZero;
    return sec;
}

// The sections split at the ';' outside quotes.
QList<QStringView> SplitSections(QStringView f) {
    QList<QStringView> sections;
    qsizetype from = 0;
    QChar quote;
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (!quote.isNull()) {
            if (f[i] == quote) quote = QChar();
        } else if (f[i] == u'\'' || f[i] == u'"') {
            quote = f[i];
        } else if (f[i] == u';') {
            sections << f.mid(from, i - from);
            from = i + 1;
        }
    }
    sections << f.mid(from);
    return sections;
}

// `a` (not negative) rounded to `decimals` places, halves away from zero as the runtime's number
// formatting rounds, as its integer and fraction digits.
void Digits(double a, int decimals, QString& ip, QString& fp) {
    const double scale = std::pow(10.0, decimals);
    const QString digits = QString::number(std::round(a * scale) / scale, 'f', decimals);
    const qsizetype p = digits.indexOf(u'.');
    ip = p < 0 ? digits : digits.left(p);
    fp = p < 0 ? QString() : digits.mid(p + 1);
}

// The section applied to `a` (not negative); `nonZero` tells whether a digit other than 0 shows.
QString FormatSection(const TFormatSection& sec, double a, bool& nonZero) {
    int exp = 0;
    if (sec.exponent && a != 0 && std::isfinite(a)) {
        const int lead = std::max(sec.intDigits, 1);
        exp = int(std::floor(std::log10(a))) - (lead - 1);
        const auto mantissa = [&] { return exp >= 0 ? a / std::pow(10.0, exp) : a * std::pow(10.0, -exp); };
        QString ip, fp;
        Digits(mantissa(), sec.fracDigits, ip, fp);
        if (ip.size() > lead) ++exp; // 9.996 shown with one decimal is 10.0: one more power of ten
        a = mantissa();
    }
    QString ip, fp;
    Digits(a, sec.fracDigits, ip, fp);
    while (fp.size() > sec.minFrac && fp.endsWith(u'0'))
        fp.chop(1);
    if (ip == QLatin1String("0") && sec.minInt == 0) ip.clear();
    while (ip.size() < sec.minInt)
        ip.prepend(u'0');
    nonZero = std::any_of(ip.begin(), ip.end(), [](QChar c) { return c != u'0'; }) ||
              std::any_of(fp.begin(), fp.end(), [](QChar c) { return c != u'0'; });

    const auto& rs = platform::RegionalSettings();
    QString r;
    const auto digit = [&](qsizetype k) {
        r += ip[k];
        const qsizetype fromRight = ip.size() - 1 - k;
        if (sec.grouping && fromRight > 0 && fromRight % 3 == 0) r += rs.ThousandSeparator;
    };
    // Integer digits fill the placeholders from the right; those the placeholders cannot hold
    // go with the first one.
    const qsizetype extra = ip.size() - sec.intDigits;
    int intIndex = 0, fracIndex = 0;
    bool intShown = false;
    for (const TFormatPart& part : sec.parts) {
        switch (part.kind) {
        case TFormatPart::IntDigit: {
            const qsizetype k = intIndex + extra;
            if (intIndex == 0)
                for (qsizetype j = 0; j < extra; ++j)
                    digit(j);
            if (k >= 0) digit(k);
            ++intIndex;
            intShown = true;
            break;
        }
        case TFormatPart::Point:
            if (!intShown) { // no integer placeholder: the integer digits stand before the point
                for (qsizetype j = 0; j < ip.size(); ++j)
                    digit(j);
                intShown = true;
            }
            if (!fp.isEmpty()) r += rs.DecimalSeparator;
            break;
        case TFormatPart::FracDigit:
            if (fracIndex < fp.size()) r += fp[fracIndex];
            ++fracIndex;
            break;
        case TFormatPart::Exponent: {
            r += part.text[0];
            if (exp < 0)
                r += u'-';
            else if (part.text[1] == u'+')
                r += u'+';
            r += QString::number(std::abs(exp)).rightJustified(part.zeros, u'0');
            break;
        }
        case TFormatPart::Literal:
            r += part.text;
            break;
        }
    }
    return r;
}

} // namespace

QString TmyStr::MyFormatFloat(const QString& aFormat, double aValue) {
    const auto& rs = platform::RegionalSettings();
    if (aFormat.isEmpty()) { // no pattern: the general format
        QString r = QString::number(aValue, 'g', 15);
        r.replace(u'.', rs.DecimalSeparator);
        return r;
    }
    // Up to three sections: for positive values; negative ones (shown without a minus sign, the
    // section shows what it wants); zero. A missing or empty section falls back to the first.
    const QList<QStringView> sections = SplitSections(aFormat);
    qsizetype chosen = 0;
    if (aValue < 0 && sections.size() > 1 && !sections[1].isEmpty()) chosen = 1;
    if (aValue == 0 && sections.size() > 2 && !sections[2].isEmpty()) chosen = 2;
    bool nonZero = false;
    QString r = FormatSection(ParseSection(sections[chosen]), std::fabs(aValue), nonZero);
    if (aValue < 0 && chosen == 0 && nonZero) r.prepend(u'-');
    return BezSpacjiZLewej(r);
}

QString TmyStr::MyStringReplace(const QString& str, const QString& old, const QString& neww) {
    QString r = str;
    return old.isEmpty() ? r : r.replace(old, neww, Qt::CaseInsensitive);
}

QString TmyStr::DeleteSubStringInString(const QString& substring, const QString& InputString) {
    if (substring.isEmpty()) return InputString;
    const qsizetype n = substring.size();
    const QStringView sub(substring);
    bool overlaps = false; // a start of the substring that is also its end, as "a" of "aba"
    for (qsizetype k = 1; k < n && !overlaps; ++k)
        overlaps = sub.left(k) == sub.right(k);
    if (overlaps) {
        // Occurrences may overlap, and which of them goes first changes the result: pass by pass
        // from the left, each pass linear.
        QString r = InputString;
        while (r.contains(substring))
            r.remove(substring);
        return r;
    }
    // Occurrences cannot overlap, so the order of removals does not matter: one pass, the text
    // kept so far a stack from whose end each occurrence is taken as soon as it is complete, so
    // that one a removal joins up goes as well, without scanning the text again for each one.
    QString r;
    r.reserve(InputString.size());
    for (QChar c : InputString) {
        r += c;
        if (r.size() >= n && QStringView(r).right(n) == substring) r.chop(n);
    }
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
