#include "platform/Application.h"
#include "platform/Exceptions.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace platform;

TEST(Application, TitleFromExecutableName) {
    EXPECT_EQ(TitleFromExeName(QStringLiteral("/opt/x/TARVELO.EXE")), QStringLiteral("Tarvelo"));
    EXPECT_EQ(TitleFromExeName(QStringLiteral("/opt/x/tarvelo")), QStringLiteral("tarvelo"));
    EXPECT_EQ(TitleFromExeName(QStringLiteral("/opt/x/ŁÓDŹ.v2.bin")), QStringLiteral("Łódź"));
}

TEST(Application, FullStopRule) {
    EXPECT_EQ(ExceptionDisplayText(QStringLiteral("Database name is missing.")),
              QStringLiteral("Database name is missing."));
    EXPECT_EQ(ExceptionDisplayText(QStringLiteral("abc")), QStringLiteral("abc."));
    EXPECT_EQ(ExceptionDisplayText(QStringLiteral("ends with -")), QStringLiteral("ends with -"));
    EXPECT_EQ(ExceptionDisplayText(QStringLiteral("ends with /")), QStringLiteral("ends with /."));
    EXPECT_EQ(ExceptionDisplayText(QStringLiteral("line\r\n")), QStringLiteral("line\r\n"));
    EXPECT_EQ(ExceptionDisplayText(QString()), QString());
}

TEST(Application, GuardedCallsReachTheErrorDisplay) {
    QStringList shown;
    Application().MessageBoxHook = [&](const QString& text, const QString& caption, bool isError) {
        shown << QStringLiteral("%1|%2|%3").arg(text, caption).arg(isError);
    };
    Application().SetTitle(QStringLiteral("Tarvelo"));
    Guarded([] { throw EConvertError(QStringLiteral("bad value")); });
    Guarded([] { throw EAbort(QStringLiteral("silent")); });
    Guarded([] { throw std::runtime_error("std failure"); });
    Application().ShowMessage(QStringLiteral("hello"));
    Application().MessageBoxHook = nullptr;
    Application().SetTitle(QString());
    EXPECT_EQ(shown, (QStringList{"bad value.|Tarvelo|1", "std failure.|Tarvelo|1", "hello|Tarvelo|0"}));
}
