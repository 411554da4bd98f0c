#include "app/Schedule.h"
#include "ProgramFolderTest.h"

class ScheduleTest : public ProgramFolderTest {
protected:
    ScheduleTest() : ProgramFolderTest(platform::EncodeDate(2026, 12, 10)) {}
};

// The timer's schedule is the hour the form reads: its default, hexadecimal forms, and no schedule
// where the daily trigger never fires (24, and -1 kept as 65535).
TEST_F(ScheduleTest, HourOfSetupIniAsCalendarEvent) {
    EXPECT_EQ(ConfiguredSchedule(), QStringLiteral("*-*-* 03:05:00"));
    Ini("[SET]\nGodzina = 0x10\n");
    EXPECT_EQ(ConfiguredSchedule(), QStringLiteral("*-*-* 16:05:00"));
    Ini("[set]\ngodzina=$17\n");
    EXPECT_EQ(ConfiguredSchedule(), QStringLiteral("*-*-* 23:05:00"));
    Ini("[set]\ngodzina=0\n");
    EXPECT_EQ(ConfiguredSchedule(), QStringLiteral("*-*-* 00:05:00"));
    Ini("[set]\ngodzina=24\n");
    EXPECT_EQ(ConfiguredSchedule(), QString());
    Ini("[set]\ngodzina=-1\n");
    EXPECT_EQ(ConfiguredSchedule(), QString());
    Ini("[set]\ngodzina=65539\n"); // 3 as a 16-bit value, where the form fires too
    EXPECT_EQ(ConfiguredSchedule(), QStringLiteral("*-*-* 03:05:00"));
}
