// The value conversions on their own: exact scaled integers, rounding, number and date texts.
#include "db/statements/ValueConversions.h"

#include <cfenv>
#include <climits>
#include <gtest/gtest.h>

using namespace db::statements;

TEST(ValueConversions, ScaledIntegersAreExactAtTheEdges) {
    EXPECT_EQ(ScaledDecimal(1234, -2, ","), "12,34");
    EXPECT_EQ(ScaledDecimal(-5, -2, ","), "-0,05");
    EXPECT_EQ(ScaledDecimal(1200, -2, "."), "12");
    EXPECT_EQ(ScaledDecimal(LLONG_MIN, -4, ","), "-922337203685477,5808");
    EXPECT_EQ(ScaledDecimal(7, 3, ","), "7000");
    EXPECT_EQ(ScaleInteger(-12345, -2), -123);
    EXPECT_EQ(ScaleInteger(5, -19), 0);
    EXPECT_EQ(ScaleInteger(5, 19), 0);
    EXPECT_EQ(DivideHalfEven(125, -1), 12);
    EXPECT_EQ(DivideHalfEven(135, -1), 14);
    EXPECT_EQ(DivideHalfEven(-135, -1), -14);
    EXPECT_EQ(DivideHalfEven(-126, -1), -13);
    EXPECT_EQ(DivideHalfEven(3, 2), 300);
    EXPECT_EQ(IntegerDigits(0.5L), 0);
    EXPECT_EQ(IntegerDigits(9.99L), 1);
    EXPECT_EQ(IntegerDigits(10.0L), 2);
    EXPECT_EQ(IntegerDigits(1e30L), 19);
    EXPECT_EQ(Low32(0x1'0000'0005LL), 5);
    int64_t out = 0;
    EXPECT_TRUE(TruncToInt64(-2.9L, out));
    EXPECT_EQ(out, -2);
    EXPECT_FALSE(TruncToInt64(9223372036854775808.0L, out));
}

TEST(ValueConversions, RoundingIsHalfToEvenWhateverTheCallersMode) {
    const int saved = std::fegetround();
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(RoundEven(2.5L), 2.0L);
    EXPECT_EQ(RoundEven(-3.5L), -4.0L);
    EXPECT_EQ(RoundEven(2.4L), 2.0L);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(saved);
}

TEST(ValueConversions, FloatTextsUseTheGivenSeparator) {
    EXPECT_EQ(FloatToStrGeneral(12.5, QLatin1Char(',')), QStringLiteral("12,5"));
    EXPECT_EQ(FloatToStrGeneral(1e-20, QLatin1Char(',')), QStringLiteral("1E-20"));
    EXPECT_EQ(FloatToStrGeneral(-1.25e300, QLatin1Char('.')), QStringLiteral("-1.25E300"));
    EXPECT_EQ(FloatToStrGeneral(std::numeric_limits<double>::infinity(), QLatin1Char(',')),
              QStringLiteral("INF"));
    double d = 0;
    EXPECT_TRUE(ParseFloat(QStringLiteral(" 12,75 "), QLatin1Char(','), d));
    EXPECT_EQ(d, 12.75);
    EXPECT_FALSE(ParseFloat(QStringLiteral("12.75"), QLatin1Char(','), d));
    EXPECT_FALSE(ParseFloat(QStringLiteral("1 000"), QLatin1Char(','), d));
    int64_t i = 0;
    EXPECT_TRUE(ParseInt64(QStringLiteral("-9223372036854775808"), i));
    EXPECT_EQ(i, LLONG_MIN);
    EXPECT_FALSE(ParseInt64(QStringLiteral("9223372036854775808"), i));
}

TEST(ValueConversions, DateTimeTextsFollowTheSettings) {
    platform::TFormatSettings fs;
    fs.ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    fs.DateSeparator = QLatin1Char('.');
    fs.TimeSeparator = QLatin1Char(':');
    fs.DecimalSeparator = QLatin1Char(',');
    platform::TDateTime v = 0;
    ASSERT_TRUE(ParseDateTime(QStringLiteral("31.03.2019 11:56:04,5"), fs, v));
    EXPECT_NEAR(v, platform::EncodeDate(2019, 3, 31) + platform::EncodeTime(11, 56, 4, 500), 1e-9);
    ASSERT_TRUE(ParseDateTime(QStringLiteral("1.2.19"), fs, v));
    EXPECT_EQ(v, platform::EncodeDate(2019, 2, 1));
    ASSERT_TRUE(ParseDateTime(QStringLiteral("06:30"), fs, v));
    EXPECT_NEAR(v, 0.2708333333, 1e-9);
    // Before 1899-12-30 the time counts away from zero.
    ASSERT_TRUE(ParseDateTime(QStringLiteral("29.12.1899 12:00"), fs, v));
    EXPECT_EQ(v, -1.5);
    for (const char* bad : {"", "31.02.2019", "31.03", "a.b.c", "25:00", "12:00:00:00", "31.03.2019 x"})
        EXPECT_FALSE(ParseDateTime(QString::fromLatin1(bad), fs, v)) << bad;
    EXPECT_EQ(QtToDateTime(QDateTime(QDate(1899, 12, 29), QTime(18, 0))), -1.75);
}
