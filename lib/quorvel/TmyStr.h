#pragma once
// Text helpers: words, characters, trimming, Polish diacritics, number formatting, replacing and
// cutting. Routines on QByteArray work on 8-bit text in the system's code page.

#include "platform/StringList.h"

#include <QByteArray>
#include <QString>

namespace quorvel {

class TmyStr {
public:
    static QString iff(bool state, const QString& str_false, const QString& str_true);
    static QString FirstWord(const QString& s);
    // Words are runs of characters other than the blank and ds.
    static int WordInString(const QString& s, QChar ds);
    static bool IsCharInString(QChar c, const QString& S);
    static int CountCharInStr(QChar c, const QString& S);
    static QString WywalOstatniZnak(const QString& s, QChar znak);
    // Sorted, each line once; lines differing only in letter case count as one.
    static void SL_Sort_RemoveDuplicate(platform::TStringList& sl);
    static QString WywalOgonki(const QString& s);
    // Number format patterns of "#,##0.00" kind: '0' a digit always shown, '#' a digit when
    // significant, ',' thousands grouping, '.' the decimal point; regional separators in the text.
    static QString MyFormatFloat(const QString& aFormat, double aValue);
    static QString MyStringReplace(const QString& str, const QString& old, const QString& neww);
    static QString DeleteSubStringInString(const QString& substring, const QString& InputString);
    static QString DeleteLineBreaks(const QString& S);
    static QByteArray StrRestOf(const QByteArray& S, int N);
    static QByteArray StrLeft(const QByteArray& S, int Count);
    static QByteArray StrAfter(const QByteArray& SubStr, const QByteArray& S);
    static QByteArray StrBefore(const QByteArray& SubStr, const QByteArray& S);
    static bool CharIsHex(QChar C);
    static bool StrIsHex(const QString& S);
    static bool CharIsAlpha(QChar C); // digits only, as the name has always meant here
    static bool StrIsAlpha(const QString& S);
    static bool StrIsRealAlpha(const QString& S);
    static QString BezSpacji(const QString& InputString);
    static QString BezSpacjiZLewej(const QString& InputString);
    static QString BezSpacjiZPrawej(const QString& InputString);
};

} // namespace quorvel
