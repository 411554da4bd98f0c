#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <cfenv>
#include <gtest/gtest.h>

using namespace platform;

TEST(DateTime, EncodeAndDecodeKnownDays) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(2019, 3, 31), 43555.0);
    EXPECT_EQ(EncodeDate(1858, 11, 17), -15018.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    int y, m, d;
    DecodeDate(43555.0, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20190331);
    DecodeDate(EncodeDate(2000, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    DecodeDate(EncodeDate(2100, 12, 31), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 21001231);
    DecodeDate(EncodeDate(1600, 1, 1), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 16000101);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

TEST(DateTime, TimeStampConversions) {
    const TDateTime dt = EncodeDate(2019, 3, 31) + EncodeTime(11, 56, 4, 500);
    const TTimeStamp ts = DateTimeToTimeStamp(dt);
    EXPECT_EQ(ts.Date, 693594 + 43555);
    EXPECT_EQ(ts.Time, ((11 * 60 + 56) * 60 + 4) * 1000 + 500);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), dt);

    // Before 1899-12-30 the fraction is subtracted; milliseconds are the absolute remainder.
    const TTimeStamp before = DateTimeToTimeStamp(-1.25);
    EXPECT_EQ(before.Date, 693593);
    EXPECT_EQ(before.Time, 21600000);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(before), -1.25);

    // Half a millisecond rounds to even; the caller's rounding mode stays as it was.
    EXPECT_EQ(DateTimeToTimeStamp(0.5 / MSecsPerDay).Time, 0);
    EXPECT_EQ(DateTimeToTimeStamp(1.5 / MSecsPerDay).Time, 2);
    EXPECT_EQ(DateTimeToTimeStamp(-1 - 1.5 / MSecsPerDay).Time, 2);
    EXPECT_EQ(DateTimeToTimeStamp(2.75 / MSecsPerDay).Time, 3);
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(DateTimeToTimeStamp(1.5 / MSecsPerDay).Time, 2);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(FE_TONEAREST);
}

TEST(DateTime, InvalidTimeStampRaisesWithBothNumbers) {
    try {
        TimeStampToDateTime(TTimeStamp{5, 0});
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'0.5' is not a valid timestamp"));
    }
    EXPECT_THROW(TimeStampToDateTime(TTimeStamp{-1, 10}), EConvertError);
    EXPECT_NO_THROW(TimeStampToDateTime(TTimeStamp{0, 1}));
}

TEST(DateTime, FormattingPatterns) {
    const TDateTime dt = EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 3, 42);
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy-mm-dd  hh:mm:ss"), dt),
              QStringLiteral("2024-03-07  09:05:03"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz"), dt),
              QStringLiteral("2024-03-07 09:05:03.042"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("d.m.yy h:n"), dt), QStringLiteral("7.3.24 9:5"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("'mm' mm"), dt), QStringLiteral("mm 03"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("c"), dt), QStringLiteral("2024-03-07 09:05:03"));
}

TEST(DateTime, DateTimeToStrLeavesOutMidnight) {
    const TDateTime day = EncodeDate(2024, 3, 1);
    EXPECT_EQ(DateTimeToStr(day), QStringLiteral("2024-03-01"));
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 1, 0)), QStringLiteral("2024-03-01 00:00:01"));
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(23, 59, 59, 0)), QStringLiteral("2024-03-01 23:59:59"));
}

TEST(DateTime, ClockCanBeReplaced) {
    SetClock([] { return EncodeDate(2030, 1, 2) + 0.5; });
    EXPECT_EQ(Now(), EncodeDate(2030, 1, 2) + 0.5);
    EXPECT_EQ(Date(), EncodeDate(2030, 1, 2));
    SetClock({});
    EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
}
