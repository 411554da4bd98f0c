#include "lib/quorvel/TmyStr.h"
#include "QtPrinters.h"
#include "lib/quorvel/TmyLogic.h"

#include <gtest/gtest.h>

using quorvel::TmyLogic;
using quorvel::TmyStr;

TEST(TmyStr, WordsAndTrimming) {
    EXPECT_EQ(TmyStr::WordInString(QStringLiteral("ab   cd"), u';'), 2);
    EXPECT_EQ(TmyStr::WordInString(QStringLiteral(" ;a;;b c; "), u';'), 3);
    EXPECT_EQ(TmyStr::WordInString(QString(), u';'), 0);
    EXPECT_EQ(TmyStr::FirstWord(QStringLiteral("   forma")), QStringLiteral("forma"));
    EXPECT_EQ(TmyStr::FirstWord(QStringLiteral("  ab cd")), QStringLiteral("ab"));
    EXPECT_EQ(TmyStr::WywalOstatniZnak(QStringLiteral("a,b,  "), u','), QStringLiteral("a,b"));
    EXPECT_EQ(TmyStr::WywalOstatniZnak(QStringLiteral("a,b,  "), u';'), QStringLiteral("a,b,"));
    EXPECT_EQ(TmyStr::WywalOstatniZnak(QStringLiteral(","), u','), QStringLiteral(","));
    EXPECT_EQ(TmyStr::BezSpacjiZLewej(QStringLiteral(" \t a ")), QStringLiteral("\t a "));
    EXPECT_EQ(TmyStr::BezSpacjiZPrawej(QStringLiteral(" a \t ")), QStringLiteral(" a \t"));
    EXPECT_EQ(TmyStr::BezSpacji(QStringLiteral(" a b ")), QStringLiteral("ab"));
    EXPECT_EQ(TmyStr::DeleteLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a  b"));
}

TEST(TmyStr, DiacriticsAndReplacing) {
    EXPECT_EQ(TmyStr::WywalOgonki(QStringLiteral("Łódź")), QStringLiteral("Łodz"));
    EXPECT_EQ(TmyStr::WywalOgonki(QStringLiteral("Żaba")), QStringLiteral("Zaba"));
    EXPECT_EQ(TmyStr::WywalOgonki(QStringLiteral("ĄĘŚĆÓŹąęśćóźżńŃ")), QStringLiteral("AESCOZaescozzńŃ"));
    EXPECT_EQ(
        TmyStr::MyStringReplace(QStringLiteral("Id=:ID or id"), QStringLiteral("iD"), QStringLiteral("x")),
        QStringLiteral("x=:x or x"));
    EXPECT_EQ(TmyStr::DeleteSubStringInString(QStringLiteral("ab"), QStringLiteral("aabbAB")),
              QStringLiteral("AB"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("#,##0.00"), -1234567.125),
              QStringLiteral("-1\u00A0234\u00A0567,13"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("#,##0.##"), 0.5), QStringLiteral("0,5"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("#.00"), 0.25), QStringLiteral(",25"));
}

TEST(TmyStr, CharacterClassesAndEightBitCuts) {
    EXPECT_FALSE(TmyStr::StrIsHex(QString()));
    EXPECT_TRUE(TmyStr::StrIsHex(QStringLiteral("09afAF")));
    EXPECT_FALSE(TmyStr::StrIsHex(QStringLiteral("0g")));
    EXPECT_TRUE(TmyStr::StrIsAlpha(QStringLiteral("0123")));
    EXPECT_FALSE(TmyStr::StrIsAlpha(QStringLiteral("a1")));
    EXPECT_TRUE(TmyStr::StrIsRealAlpha(QStringLiteral("1,5.2")));
    EXPECT_FALSE(TmyStr::StrIsRealAlpha(QString()));
    EXPECT_EQ(TmyStr::CountCharInStr(u'a', QStringLiteral("banana")), 3);
    EXPECT_EQ(TmyStr::StrRestOf("abcdef", 3), QByteArray("cdef"));
    EXPECT_EQ(TmyStr::StrLeft("abcdef", 2), QByteArray("ab"));
    EXPECT_EQ(TmyStr::StrAfter("=", "a=b=c"), QByteArray("b=c"));
    EXPECT_EQ(TmyStr::StrAfter(";", "a=b"), QByteArray());
    EXPECT_EQ(TmyStr::StrBefore("=", "a=b=c"), QByteArray("a"));
    EXPECT_EQ(TmyStr::StrBefore(";", "a=b"), QByteArray("a=b"));
    platform::TStringList sl;
    sl.SetStrings({"b", "A", "a", "c", "B"});
    TmyStr::SL_Sort_RemoveDuplicate(sl);
    EXPECT_EQ(sl.Strings(), (QStringList{"A", "b", "c"}));
}

TEST(TmyLogic, BitsOfAByteAndOutOfRangeBitNumbers) {
    EXPECT_TRUE(TmyLogic::TestBit(5, 2));
    EXPECT_FALSE(TmyLogic::TestBit(5, 1));
    EXPECT_TRUE(TmyLogic::TestBit(0x80, 7));
    EXPECT_EQ(TmyLogic::ChangeBit(5, 0, false), 4);
    EXPECT_EQ(TmyLogic::ChangeBit(5, 7, true), 0x85);
    EXPECT_FALSE(TmyLogic::TestBit(0xFF, 31));
    EXPECT_EQ(TmyLogic::ChangeBit(0xFF, 31, false), 0xFF);
    EXPECT_EQ(TmyLogic::ChangeBit(0x00, 31, true), 0x00);
    const quorvel::TVec v = TmyLogic::ByteToBin(0xA5);
    EXPECT_EQ(v, (quorvel::TVec{true, false, true, false, false, true, false, true}));
    EXPECT_EQ(TmyLogic::BinToByte(v), 0xA5);
    EXPECT_EQ(TmyLogic::BoolTxt(true, QStringLiteral("nie"), QStringLiteral("tak")), QStringLiteral("tak"));
}

// Sections for positive, negative and zero values, quoted and plain literals, and exponents, as
// the number format patterns have them.
TEST(TmyStr, FormatPatternsWithSectionsLiteralsAndExponents) {
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00;(0.00)"), 2.5), QStringLiteral("2,50"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00;(0.00)"), -2.5), QStringLiteral("(2,50)"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00;(0.00);'zero'"), 0), QStringLiteral("zero"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00;;'zero'"), -1), QStringLiteral("-1,00"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00E+00"), 1234.5), QStringLiteral("1,23E+03"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.00E+00"), -0.000125), QStringLiteral("-1,25E-04"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.0e-0"), 99.96), QStringLiteral("1,0e2"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("#,##0.00 'kg'"), 1234.5),
              QStringLiteral("1\u00A0234,50 kg"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("\"nr \"00-00"), 1234), QStringLiteral("nr 12-34"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("0.## %"), 5), QStringLiteral("5 %"));
    EXPECT_EQ(TmyStr::MyFormatFloat(QStringLiteral("#,###,##0"), 1234567890),
              QStringLiteral("1\u00A0234\u00A0567\u00A0890"));
}

// Whatever removing an occurrence joins up is removed as well, in one pass over the text.
TEST(TmyStr, DeletingASubstringRemovesWhatItsRemovalJoins) {
    EXPECT_EQ(TmyStr::DeleteSubStringInString(QStringLiteral("ab"), QStringLiteral("aaabbbc")),
              QStringLiteral("c"));
    EXPECT_EQ(TmyStr::DeleteSubStringInString(QStringLiteral("aba"), QStringLiteral("abababa")),
              QStringLiteral("b"));
    EXPECT_EQ(TmyStr::DeleteSubStringInString(QStringLiteral("aa"), QStringLiteral("aaa")),
              QStringLiteral("a"));
    const QString nested = QString(20000, u'(') + QString(20000, u')') + QStringLiteral("x");
    EXPECT_EQ(TmyStr::DeleteSubStringInString(QStringLiteral("()"), nested), QStringLiteral("x"));
}
