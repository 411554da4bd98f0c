#include "lib/quorvel/Tmytime.h"
#include "QtPrinters.h"
#include "platform/Exceptions.h"

#include <QStringList>
#include <ctime>
#include <gtest/gtest.h>
#include <vector>

using platform::EncodeDate;
using platform::EncodeTime;
using quorvel::Tmytime;

namespace {
const double Jan = EncodeDate(2026, 1, 5) + EncodeTime(7, 8, 9, 0);      // a Monday
const double Dec = EncodeDate(2025, 12, 31) + EncodeTime(23, 59, 58, 0); // a Wednesday
const double DayAndAHourMinuteSecond = 90061.0 / 86400;
} // namespace

TEST(Tmytime, CzasToStrEveryStyleInJanuaryAndDecember) {
    platform::SetClock([] { return Jan + DayAndAHourMinuteSecond; });
    const QStringList jan{"2026-01-05  07:08:09",
                          "05-01/07:08",
                          "05-01 07:08",
                          "05-01_07:08",
                          "2026-01-05(Pn) 07:08:09",
                          "05-01 [Poniedziałek] 07:08",
                          "Styczeń  2026",
                          "2026-01-05(Pn)",
                          "05-01(Pn) 07:08:09",
                          "05-01(Pn) 07:08:09  [ 1D 01:01:01 ]",
                          "2026-01-05(Pn) 07:08:09  [ 1D 01:01:01 ]",
                          "2026-01-05(Pn) 07:08:09",
                          ""};
    for (int styl = 0; styl < jan.size(); ++styl)
        EXPECT_EQ(Tmytime::CzasToStr(Jan, styl), jan[styl]) << "style " << styl;
    platform::SetClock([] { return Dec + 3725.0 / 86400; });
    const QStringList dec{"2025-12-31  23:59:58",
                          "31-12/23:59",
                          "31-12 23:59",
                          "31-12_23:59",
                          "2025-12-31(Śr) 23:59:58",
                          "31-12 [Środa] 23:59",
                          "Grudzień  2025",
                          "2025-12-31(Śr)",
                          "31-12(Śr) 23:59:58",
                          "31-12(Śr) 23:59:58  [ 01:02:05 ]",
                          "2025-12-31(Śr) 23:59:58  [ 01:02:05 ]",
                          "2025-12-31(Śr) 23:59:58",
                          ""};
    for (int styl = 0; styl < dec.size(); ++styl)
        EXPECT_EQ(Tmytime::CzasToStr(Dec, styl), dec[styl]) << "style " << styl;
    platform::SetClock(nullptr);
    EXPECT_EQ(Tmytime::CzasToStr(0, 11), QString());
    EXPECT_EQ(Tmytime::CzasToStr(Jan, -1), QString());
    EXPECT_EQ(Tmytime::TTostr(0), QStringLiteral("-- -- --"));
}

TEST(Tmytime, CompactTextsAndTheirInverse) {
    EXPECT_EQ(Tmytime::DateFileName(Dec, false), QStringLiteral("2025_12_31_23_59"));
    EXPECT_EQ(Tmytime::DateFileName(Jan, true), QStringLiteral("2026_01_05_07_08_09"));
    EXPECT_EQ(Tmytime::date_time_code(Jan), QStringLiteral("202601050708"));
    EXPECT_DOUBLE_EQ(Tmytime::decode_date_time(QStringLiteral("202601050708")),
                     EncodeDate(2026, 1, 5) + EncodeTime(7, 8, 0, 0));
    EXPECT_EQ(Tmytime::decode_date_time(QStringLiteral("20260105070")), 0);
    EXPECT_EQ(Tmytime::decode_date_time(QStringLiteral("2026x1050708")), 0);
    EXPECT_EQ(Tmytime::decode_date_time(QStringLiteral("202613050708")), 0); // no month 13
    EXPECT_EQ(Tmytime::Rok(Dec) * 10000 + Tmytime::Mies(Dec) * 100 + Tmytime::Dzien(Dec), 20251231);
    EXPECT_EQ(Tmytime::Godzina(Dec) * 100 + Tmytime::Minuta(Dec), 2359);
}

TEST(Tmytime, DurationsKeepTheSlightlyLargeDivisor) {
    EXPECT_EQ(Tmytime::SekundOdDo(Jan, Jan + 1), 86400);
    EXPECT_EQ(Tmytime::SekundOdDo(Jan, Jan + 100), 100 * 86400 - 4);
    EXPECT_EQ(Tmytime::SekundOdDo(Jan + 1, Jan), -86400);
    EXPECT_EQ(Tmytime::SecTcDGM(90061), QStringLiteral("1D 01:01:01"));
    EXPECT_EQ(Tmytime::SecTcDGM(86400), QStringLiteral("24:00:00"));
    EXPECT_EQ(Tmytime::SecTcDGM(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(Tmytime::SecTcDGM2(-5), QStringLiteral("0"));
    EXPECT_EQ(Tmytime::SecToGMS(4000 * 3600.0 + 61), QStringLiteral("999:180061:01")); // hours stop at 999
    EXPECT_EQ(Tmytime::LhToLhStr(3600.0 * 1234.5), QStringLiteral("1\u00A0234,50"));
    EXPECT_FLOAT_EQ(Tmytime::LhToLh(5400), 1.5f);
}

TEST(Tmytime, MonthLengthsAndFirstDays) {
    EXPECT_EQ(Tmytime::Dni_w_miesiacu(2, 2024), 29);
    EXPECT_EQ(Tmytime::Dni_w_miesiacu(2, 1900), 28);
    EXPECT_EQ(Tmytime::Dni_w_miesiacu(11, 2025), 30);
    EXPECT_EQ(Tmytime::Dni_w_miesiacu(13, 2025), 0);
    EXPECT_DOUBLE_EQ(Tmytime::EncodeDateEnd(2024, 2), EncodeDate(2024, 2, 29));
    EXPECT_DOUBLE_EQ(Tmytime::EncodeDateEnd(2025, 2), EncodeDate(2025, 2, 28));
    EXPECT_DOUBLE_EQ(Tmytime::EncodeDateEnd(2025, 12), EncodeDate(2025, 12, 31));
    EXPECT_THROW(Tmytime::EncodeDateEnd(2025, 0), platform::EConvertError);
    EXPECT_DOUBLE_EQ(Tmytime::RokMcToDate(2025, 6), EncodeDate(2025, 6, 1));
    EXPECT_EQ(Tmytime::RokMcToDate(0, 6), 0);
    EXPECT_EQ(Tmytime::RokMcToDate(2025, 32), 0);
    EXPECT_THROW(Tmytime::RokMcToDate(2025, 13), platform::EConvertError);
}

TEST(Tmytime, RangesAndNames) {
    EXPECT_TRUE(Tmytime::GMwZakresie(22, 0, 22, 0, 23, 59));
    EXPECT_TRUE(Tmytime::GMwZakresie(23, 59, 22, 0, 23, 59));
    EXPECT_FALSE(Tmytime::GMwZakresie(21, 59, 22, 0, 23, 59));
    EXPECT_FALSE(Tmytime::GMwZakresie(23, 30, 22, 0, 6, 0)); // across midnight never matches
    EXPECT_FALSE(Tmytime::GMwZakresie(1, 0, 22, 0, 6, 0));
    EXPECT_TRUE(Tmytime::CzasWZakresie(Jan, 7, 8, 7, 8));
    EXPECT_EQ(Tmytime::MiesiacAsString(10), QStringLiteral("Październik"));
    EXPECT_EQ(Tmytime::MiesiacAsString(13), QString());
    EXPECT_EQ(Tmytime::DzienT(7), QStringLiteral("Sobota"));
    EXPECT_EQ(Tmytime::DzienTshort(0), QString());
    EXPECT_EQ(Tmytime::DateToDzienT(Dec), QStringLiteral("Środa"));
    platform::SetClock([] { return Jan; });
    EXPECT_EQ(Tmytime::DniOdDoTeraz(Dec), 4); // from 31 December 23:59 to 5 January
    EXPECT_EQ(Tmytime::DniOdTerazDo(Dec), -4);
    platform::SetClock(nullptr);
}

// Impossible components are refused, not carried into the next day, month or year.
TEST(Tmytime, SetSystemTimeRefusesImpossibleDates) {
    std::vector<std::tm> set;
    Tmytime::SetClockHook = [&](const timeval& tv) {
        const time_t t = tv.tv_sec;
        std::tm local{};
        localtime_r(&t, &local);
        set.push_back(local);
        return true;
    };
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 2, 30, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2023, 2, 29, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 13, 1, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 0, 1, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 4, 0, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 4, 31, 10, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 3, 1, 24, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 3, 1, -1, 0));
    EXPECT_FALSE(Tmytime::SetSystemTime(2024, 3, 1, 10, 75));
    EXPECT_EQ(set.size(), 0u);
    EXPECT_TRUE(Tmytime::SetSystemTime(2024, 2, 29, 23, 59));
    Tmytime::SetClockHook = nullptr;
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].tm_year, 124);
    EXPECT_EQ(set[0].tm_mon, 1);
    EXPECT_EQ(set[0].tm_mday, 29);
    EXPECT_EQ(set[0].tm_hour, 23);
    EXPECT_EQ(set[0].tm_min, 59);
}
