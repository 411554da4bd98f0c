// Colour values, the number rule, gradient bands and the text utilities.

#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/MiniHtmlInternal.h"
#include "ui/htmllabel/RecordingSurface.h"

#include <gtest/gtest.h>

using namespace htmllabel;
using namespace htmllabel::internal;

TEST(MiniHtmlValues, ColourAttributeValues) {
    EXPECT_EQ(HtmlColorValue(QStringLiteral("#FF0000")), 0x0000FFu);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("#0080C0")), 0xC08000u);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("#FF")), 0x0000FFu);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("#")), 0u);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clRed")), 0x0000FFu);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("CLNAVY")), 0x800000u);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clTeal")), 0x808000u);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clBtnFace")), SystemColor(15));
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clInfoBk")), SystemColor(24));
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clBackground")), SystemColor(1));
    EXPECT_EQ(HtmlColorValue(QStringLiteral("clBlack")), 0u);
    EXPECT_EQ(HtmlColorValue(QStringLiteral("rosy")), 0u);
    EXPECT_EQ(ColorToRGB(SystemColor(14)), 0xFFFFFFu);
    EXPECT_EQ(ColorToRGB(SystemColor(999)), 0u);
    EXPECT_EQ(ToQColor(clNone).alpha(), 0);
    EXPECT_EQ(ToQColor(0x0080FF), QColor(255, 128, 0));
}

TEST(MiniHtmlValues, NumberRule) {
    struct Case {
        const char* Text;
        int Value;
        bool Valid;
    };
    const Case cases[] = {
        {"120", 120, true},      {"  -7", -7, true},
        {"+5", 5, true},         {"$1F", 31, true},
        {"0x10", 16, true},      {"X0a", 10, true},
        {"$FFFFFFFF", -1, true}, {"-2147483648", INT_MIN, true},
        {"12a", 12, false},      {"-3z", -3, false},
        {"abc", 0, false},       {"-", 0, false},
        {"", 0, false},          {"2147483648", 214748364, false},
        {"1 2", 1, false},
    };
    for (const auto& c : cases) {
        bool valid = !c.Valid;
        EXPECT_EQ(HtmlStrToInt(QString::fromLatin1(c.Text), &valid), c.Value) << c.Text;
        EXPECT_EQ(valid, c.Valid) << c.Text;
    }
}

TEST(MiniHtmlValues, GradientBands) {
    TRecordingSurface s;
    s.SetBrushColor(0x010203);
    DrawGradientBands(s, RGBColor(0, 0, 0), RGBColor(100, 200, 40), THtmlRect{0, 0, 10, 5}, 4, true);
    const auto f = s.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(f.size(), 4);
    // Band size 2.5: starts round(i × 2.5), each 3 pixels wide, clipped at the right.
    EXPECT_EQ(f[0].R, (THtmlRect{0, 0, 3, 5}));
    EXPECT_EQ(f[1].R, (THtmlRect{2, 0, 5, 5}));
    EXPECT_EQ(f[2].R, (THtmlRect{5, 0, 8, 5}));
    EXPECT_EQ(f[3].R, (THtmlRect{8, 0, 10, 5}));
    EXPECT_EQ(f[0].Brush, RGBColor(0, 0, 0));
    EXPECT_EQ(f[1].Brush, RGBColor(25, 50, 10));
    EXPECT_EQ(f[3].Brush, RGBColor(75, 150, 30));
    EXPECT_EQ(s.BrushColor(), 0x010203u);

    TRecordingSurface v;
    DrawGradientBands(v, SystemColor(5), 0, THtmlRect{0, 10, 4, 20}, 0, false);
    const auto g = v.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(g.size(), 1);
    EXPECT_EQ(g[0].R, (THtmlRect{0, 10, 4, 20}));
    EXPECT_EQ(g[0].Brush, 0xFFFFFFu);
}

TEST(MiniHtmlText, PlainTextAndStripping) {
    EXPECT_EQ(HtmlToPlainText(QStringLiteral("a<br>b<HR>c<z>hid<b>x</b></z>d<Z>y</Z>e<b>f</b>")),
              QStringLiteral("a\r\nb\r\ncdef"));
    EXPECT_EQ(HtmlToPlainText(QStringLiteral("a<Z>keep</z>b")), QStringLiteral("akeepb"));
    EXPECT_EQ(HtmlToPlainText(QStringLiteral("x<i>y</i> <unterminated z")),
              QStringLiteral("xy <unterminated z"));
    EXPECT_EQ(StripTags(QStringLiteral("<p align=\"right\">one<br>two</p> <end")),
              QStringLiteral("onetwo <end"));
}

TEST(MiniHtmlText, WrapAndRemoveTags) {
    EXPECT_EQ(
        WrapMatchesInTag(QStringLiteral("a<b>bc</b>d bc"), QStringLiteral("BC"), QStringLiteral("hi"), false),
        QStringLiteral("a<b><hi>bc</hi></b>d <hi>bc</hi>"));
    EXPECT_EQ(
        WrapMatchesInTag(QStringLiteral("ab<i>cd</i>"), QStringLiteral("bc"), QStringLiteral("e"), false),
        QStringLiteral("a<e>b<i>c</e>d</i>"));
    EXPECT_EQ(WrapMatchesInTag(QStringLiteral("Abc abc"), QStringLiteral("abc"), QStringLiteral("e"), true),
              QStringLiteral("Abc <e>abc</e>"));
    EXPECT_EQ(WrapMatchesInTag(QStringLiteral("aaaa"), QStringLiteral("aa"), QStringLiteral("e"), true),
              QStringLiteral("<e>aa</e><e>aa</e>"));
    EXPECT_EQ(WrapMatchesInTag(QStringLiteral("abc"), QString(), QStringLiteral("e"), true),
              QStringLiteral("abc"));
    // Nothing is wrapped after an unterminated "<": the inserted tag would end it.
    EXPECT_EQ(WrapMatchesInTag(QStringLiteral("x a</a"), QStringLiteral("a"), QStringLiteral("e"), true),
              QStringLiteral("x <e>a</e></a"));
    // Inside a tag nothing matches.
    EXPECT_EQ(WrapMatchesInTag(QStringLiteral("<font color=\"red\">x</font>"), QStringLiteral("red"),
                               QStringLiteral("e"), false),
              QStringLiteral("<font color=\"red\">x</font>"));

    const QString marked =
        WrapMatchesInTag(QStringLiteral("one two one"), QStringLiteral("one"), QStringLiteral("hi"), false);
    EXPECT_EQ(RemoveTag(marked, QStringLiteral("HI")), QStringLiteral("one two one"));
    EXPECT_EQ(RemoveTag(QStringLiteral("<e>x</E><hi>y</hi>"), QStringLiteral("e")),
              QStringLiteral("x<hi>y</hi>"));
}
