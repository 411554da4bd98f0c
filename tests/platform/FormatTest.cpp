#include "platform/Format.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Format, IntegersStringsAndHex) {
    EXPECT_EQ(Format(u"%s: %d", {QStringLiteral("Łódź"), -42}), QStringLiteral("Łódź: -42"));
    EXPECT_EQ(Format(u"%x", {255}), QStringLiteral("FF"));
    EXPECT_EQ(Format(u"%.8x", {0x1A2B}), QStringLiteral("00001A2B"));
    EXPECT_EQ(Format(u"[%-8.8x]", {0xAB}), QStringLiteral("[000000AB]"));
    EXPECT_EQ(Format(u"[%-6x]", {0xAB}), QStringLiteral("[AB    ]"));
    EXPECT_EQ(Format(u"[%6d]", {42}), QStringLiteral("[    42]"));
    EXPECT_EQ(Format(u"%.3d", {-7}), QStringLiteral("-007"));
    // A negative 32-bit value prints as its unsigned 32-bit pattern in hex.
    EXPECT_EQ(Format(u"%x", {-1}), QStringLiteral("FFFFFFFF"));
    EXPECT_EQ(Format(u"%x", {static_cast<long long>(-1)}), QStringLiteral("FFFFFFFFFFFFFFFF"));
    EXPECT_EQ(Format(u"100%% %s", {QStringLiteral("done")}), QStringLiteral("100% done"));
    EXPECT_EQ(Format(u"%1:s %0:s", {QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("b a"));
    EXPECT_EQ(Format(u"%.2s", {QStringLiteral("abcdef")}), QStringLiteral("ab"));
}

// A width or precision taken from the arguments is not mistaken for an argument index.
TEST(Format, StarTakesWidthFromTheArguments) {
    EXPECT_EQ(Format(u"%*d|", {6, 42}), QStringLiteral("    42|"));
    EXPECT_EQ(Format(u"%*d|", {-6, 42}), QStringLiteral("42    |"));
    EXPECT_EQ(Format(u"%-*d|%.*d", {4, 7, 3, 5}), QStringLiteral("7   |005"));
    EXPECT_EQ(Format(u"%1:*d|", {QStringLiteral("x"), 3, 9}), QStringLiteral("  9|"));
}

TEST(Format, RuntimeTextsExpand) {
    EXPECT_EQ(Format(rtl::SInvalidTimeStamp, {-3, 17}), QStringLiteral("'-3.17' is not a valid timestamp"));
    EXPECT_EQ(Format(rtl::SInvalidInteger, {QStringLiteral("abc")}),
              QStringLiteral("''abc'' is not a valid integer value"));
    EXPECT_EQ(Format(rtl::SFCreateErrorEx,
                     {QStringLiteral("/x/y.txt"), QStringLiteral("No such file or directory")}),
              QStringLiteral("Cannot create file \"/x/y.txt\". No such file or directory"));
}

TEST(Format, FloatsUseTheDecimalSeparator) {
    EXPECT_EQ(Format(u"%.2f", {12.5}), QStringLiteral("12,50"));
    EXPECT_EQ(Format(u"%g", {0.25}), QStringLiteral("0,25"));
}

TEST(Format, MismatchedOrMissingArgumentsRaise) {
    EXPECT_THROW(Format(u"%d", {QStringLiteral("x")}), EConvertError);
    EXPECT_THROW(Format(u"%s", {5}), EConvertError);
    EXPECT_THROW(Format(u"%s %s", {QStringLiteral("x")}), EConvertError);
    EXPECT_THROW(Format(u"%q", {5}), EConvertError);
    EXPECT_THROW(Format(u"abc %", {5}), EConvertError);
    try {
        Format(u"%d", {QStringLiteral("x")});
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Format '%d' invalid or incompatible with argument"));
        EXPECT_STREQ(e.what(), "Format '%d' invalid or incompatible with argument");
    }
}
