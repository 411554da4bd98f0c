// Text utilities of the label: plain text, tag stripping, marking and unmarking matches.

#include "ui/htmllabel/MiniHtml.h"

#include <utility>
#include <vector>

namespace htmllabel {

QString StripTags(const QString& text) {
    QString r;
    r.reserve(text.size());
    int i = 0;
    const int n = int(text.size());
    while (i < n) {
        if (text[i] == QLatin1Char('<')) {
            const int gt = int(text.indexOf(QLatin1Char('>'), i));
            if (gt < 0) {
                r += text.mid(i);
                break;
            }
            i = gt + 1;
        } else {
            r += text[i++];
        }
    }
    return r;
}

QString HtmlToPlainText(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("<BR>"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
    s.replace(QStringLiteral("<HR>"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
    for (const auto& [open, close] : {std::pair{QStringLiteral("<z>"), QStringLiteral("</z>")},
                                      std::pair{QStringLiteral("<Z>"), QStringLiteral("</Z>")}}) {
        for (;;) {
            const int a = int(s.indexOf(open));
            if (a < 0) break;
            const int b = int(s.indexOf(close, a));
            if (b < 0) break;
            s.remove(a, b + close.size() - a);
        }
    }
    // Remaining tags; an unterminated "<" keeps the rest as it is.
    return StripTags(s);
}

QString WrapMatchesInTag(const QString& text, const QString& search, const QString& tag, bool matchCase) {
    if (search.isEmpty()) return text;
    // Visible characters and where each stands in the marked-up text.
    QString plain;
    std::vector<int> where;
    const int n = int(text.size());
    for (int i = 0; i < n;) {
        if (text[i] == QLatin1Char('<')) {
            const int gt = int(text.indexOf(QLatin1Char('>'), i));
            // After an unterminated "<" nothing is shown; a tag inserted there would close it.
            if (gt < 0) break;
            i = gt + 1;
            continue;
        }
        plain += text[i];
        where.push_back(i);
        ++i;
    }
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    std::vector<std::pair<int, int>> spans;
    for (int from = 0;;) {
        const int at = int(plain.indexOf(search, from, cs));
        if (at < 0) break;
        const int last = at + int(search.size()) - 1;
        spans.emplace_back(where[std::size_t(at)], where[std::size_t(last)] + 1);
        from = at + int(search.size());
    }
    QString r = text;
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QStringLiteral("</") + tag + QLatin1Char('>');
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        r.insert(it->second, close);
        r.insert(it->first, open);
    }
    return r;
}

QString RemoveTag(const QString& text, const QString& tag) {
    QString r = text;
    r.remove(QLatin1Char('<') + tag + QLatin1Char('>'), Qt::CaseInsensitive);
    r.remove(QStringLiteral("</") + tag + QLatin1Char('>'), Qt::CaseInsensitive);
    return r;
}

} // namespace htmllabel
