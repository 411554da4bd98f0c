#include "platform/StringList.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(StringList, NoticesBeforeAndAfterEveryChange) {
    TStringList l;
    QStringList log;
    l.OnChanging = [&] { log << QStringLiteral("before:%1").arg(l.Count()); };
    l.OnChange = [&] { log << QStringLiteral("after:%1").arg(l.Count()); };
    l.Add(QStringLiteral("a"));
    l.Delete(0);
    EXPECT_EQ(log, (QStringList{"before:0", "after:1", "before:1", "after:0"}));
    log.clear();
    l.SetText(QStringLiteral("x\r\ny\nz\rw"));
    EXPECT_EQ(log, (QStringList{"before:0", "after:4"}));
    EXPECT_EQ(l.Strings(), (QStringList{"x", "y", "z", "w"}));
    log.clear();
    l.BeginUpdate();
    l.Add(QStringLiteral("1"));
    l.Add(QStringLiteral("2"));
    l.EndUpdate();
    EXPECT_EQ(log, (QStringList{"before:4", "after:6"}));
    log.clear();
    l.Clear();
    l.Clear();
    EXPECT_EQ(log.size(), 2);
}

TEST(StringList, TextAndNameValueLines) {
    TStringList l;
    l.SetText(QStringLiteral("user_name=SYSDBA\r\nPassword=tulip=wand\r\n"));
    EXPECT_EQ(l.Count(), 2);
    EXPECT_EQ(l.Text(), QStringLiteral("user_name=SYSDBA\r\nPassword=tulip=wand\r\n"));
    EXPECT_EQ(l.Values(QStringLiteral("USER_NAME")), QStringLiteral("SYSDBA"));
    EXPECT_EQ(l.Values(QStringLiteral("password")), QStringLiteral("tulip=wand"));
    EXPECT_EQ(l.Names(1), QStringLiteral("Password"));
    l.SetValue(QStringLiteral("lc_ctype"), QStringLiteral("WIN1250"));
    EXPECT_EQ(l[2], QStringLiteral("lc_ctype=WIN1250"));
    l.SetValue(QStringLiteral("USER_NAME"), QString());
    EXPECT_EQ(l.Count(), 2);
    EXPECT_THROW(l.Get(5), EStringListError);
    EXPECT_THROW(l.Insert(-1, QString()), EStringListError);
}

TEST(StringList, SetStringsReplacesEverythingWithOnePairOfNotices) {
    TStringList l;
    l.SetText(QStringLiteral("a\r\nb\r\n"));
    int before = 0, after = 0;
    l.OnChanging = [&] { ++before; };
    l.OnChange = [&] { ++after; };
    l.SetStrings({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")});
    EXPECT_EQ(l.Strings(), (QStringList{"x", "y", "z"}));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
}
