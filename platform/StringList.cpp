#include "StringList.h"

#include "Exceptions.h"
#include "Format.h"

namespace platform {

namespace {
[[noreturn]] void IndexError(int index) {
    throw EStringListError(Format(rtl::SListIndexError, {index}));
}
} // namespace

void TStringList::Changing() {
    if (FUpdateCount == 0 && OnChanging) OnChanging();
}

void TStringList::Changed() {
    if (FUpdateCount == 0 && OnChange) OnChange();
}

void TStringList::BeginUpdate() {
    if (FUpdateCount == 0) Changing();
    ++FUpdateCount;
}

void TStringList::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

const QString& TStringList::Get(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return FItems[index];
}

void TStringList::Put(int index, const QString& s) {
    if (index < 0 || index >= Count()) IndexError(index);
    Changing();
    FItems[index] = s;
    Changed();
}

int TStringList::Add(const QString& s) {
    Insert(Count(), s);
    return Count() - 1;
}

void TStringList::Insert(int index, const QString& s) {
    if (index < 0 || index > Count()) IndexError(index);
    Changing();
    FItems.insert(index, s);
    Changed();
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    Changing();
    FItems.removeAt(index);
    Changed();
}

void TStringList::Clear() {
    if (FItems.isEmpty()) return;
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Assign(const TStringList& other) {
    if (&other == this) return;
    BeginUpdate();
    FItems = other.FItems;
    EndUpdate();
}

void TStringList::AddStrings(const QStringList& lines) {
    BeginUpdate();
    FItems.append(lines);
    EndUpdate();
}

void TStringList::SetStrings(const QStringList& lines) {
    BeginUpdate();
    FItems = lines;
    EndUpdate();
}

int TStringList::IndexOf(const QString& s) const {
    const Qt::CaseSensitivity cs = FCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < Count(); ++i)
        if (FItems[i].compare(s, cs) == 0) return i;
    return -1;
}

QString TStringList::Text() const {
    QString out;
    qsizetype size = 0;
    for (const QString& line : FItems)
        size += line.size() + 2;
    out.reserve(size);
    for (const QString& line : FItems) {
        out += line;
        out += QLatin1String("\r\n");
    }
    return out;
}

void TStringList::SetText(const QString& text) {
    BeginUpdate();
    FItems.clear();
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            FItems.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
            start = i + 1;
        }
    }
    if (start < n) FItems.append(text.mid(start));
    EndUpdate();
}

QString TStringList::Names(int index) const {
    const QString& s = Get(index);
    const int eq = s.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : s.left(eq);
}

QString TStringList::ValueFromIndex(int index) const {
    const QString& s = Get(index);
    const int eq = s.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : s.mid(eq + 1);
}

int TStringList::IndexOfName(const QString& name) const {
    const Qt::CaseSensitivity cs = FCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < Count(); ++i) {
        const int eq = FItems[i].indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(FItems[i]).left(eq).compare(name, cs) == 0) return i;
    }
    return -1;
}

QString TStringList::Values(const QString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? QString() : ValueFromIndex(i);
}

void TStringList::SetValue(const QString& name, const QString& value) {
    int i = IndexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i < 0)
        Add(name + QLatin1Char('=') + value);
    else
        Put(i, name + QLatin1Char('=') + value);
}

} // namespace platform
