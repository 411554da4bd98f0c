#pragma once
// A list of text lines with name=value access and before-change / after-change notices.

#include <QString>
#include <QStringList>
#include <functional>

namespace platform {

class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList& other) : FItems(other.FItems), FCaseSensitive(other.FCaseSensitive) {}
    TStringList& operator=(const TStringList& other) {
        Assign(other);
        return *this;
    }

    std::function<void()> OnChanging; // before a change
    std::function<void()> OnChange;   // after a change

    int Count() const { return int(FItems.size()); }
    const QString& operator[](int index) const { return Get(index); }
    const QString& Get(int index) const;
    void Put(int index, const QString& s);
    int Add(const QString& s);
    void Insert(int index, const QString& s);
    void Delete(int index);
    void Clear();
    void Assign(const TStringList& other);
    void AddStrings(const QStringList& lines);
    // Replaces every line, with one pair of notices.
    void SetStrings(const QStringList& lines);
    int IndexOf(const QString& s) const;
    const QStringList& Strings() const { return FItems; }

    // Every line followed by CR LF.
    QString Text() const;
    // Splits at CR LF, lone CR or lone LF; a final line break adds no empty line.
    void SetText(const QString& text);

    // name=value lines; names compare without regard to case unless CaseSensitive.
    QString Names(int index) const;
    QString ValueFromIndex(int index) const;
    QString Values(const QString& name) const;
    void SetValue(const QString& name, const QString& value);
    int IndexOfName(const QString& name) const;
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value) { FCaseSensitive = value; }

    void BeginUpdate();
    void EndUpdate();

private:
    void Changing();
    void Changed();

    QStringList FItems;
    bool FCaseSensitive = false;
    int FUpdateCount = 0;
};

} // namespace platform
