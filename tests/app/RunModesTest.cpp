#include "app/RunModes.h"
#include "app/UpdateRun.h"
#include "db/connection/fb.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"

#include <climits>
#include <gtest/gtest.h>

using namespace updaterun;

TEST(UpdateRunText, WrappingSumDeltaTextAndFailureLine) {
    EXPECT_EQ(AddWrapping(INT_MAX, 1), INT_MIN);
    EXPECT_EQ(AddWrapping(INT_MIN, -1), INT_MAX);
    EXPECT_EQ(AddWrapping(1000, -20), 980);
    EXPECT_EQ(DeltaText(0), QString());
    EXPECT_EQ(DeltaText(25), QStringLiteral("+ {25}"));
    EXPECT_EQ(DeltaText(-3), QStringLiteral("+ {-3}"));
    EXPECT_EQ(OneLine(QStringLiteral("a\tb\x1b\x7f\u0085\u2029ó")),
              QStringLiteral("a\tb\\x1B\\x7F\\x85\\u2029ó"));
    // The server's text, not the generic one nor the raising component's name.
    platform::TComponent query;
    query.SetName(QStringLiteral("pFbQueryFormy"));
    const EFbError error(-803, QStringLiteral("\r\nviolation of PRIMARY or UNIQUE KEY constraint\r\nmore"),
                         QStringLiteral("Integrity constraint violation"), QString(), &query);
    EXPECT_EQ(FailureLine(error), QStringLiteral("violation of PRIMARY or UNIQUE KEY constraint"));
    // The cause in the server's words, not the generic lines around it.
    using db::connection::TFbStatusLine;
    const QList<TFbStatusLine> deadlock{
        {isc_deadlock, false, QStringLiteral("deadlock")},
        {isc_update_conflict, false, QStringLiteral("update conflicts with concurrent update")},
        {isc_concurrent_transaction, true, QStringLiteral("concurrent transaction number is 13")}};
    EXPECT_EQ(db::connection::StatusCause(deadlock),
              QStringLiteral("update conflicts with concurrent update"));
    const QList<TFbStatusLine> unique{
        {isc_unique_key_violation, true,
         QStringLiteral("violation of PRIMARY or UNIQUE KEY constraint \"PK\" on table \"FORMY\"")},
        {isc_random, true, QStringLiteral("Problematic key value is (\"ID\" = 1)")}};
    EXPECT_EQ(db::connection::StatusCause(unique), unique[0].Text);
    const EFbError client(-1, QStringLiteral("Database name is missing."), &query);
    EXPECT_EQ(FailureLine(client), QStringLiteral("Database name is missing."));
    EXPECT_EQ(FailureLine(platform::EInOutError(QStringLiteral("\nI/O error 5\nx"))),
              QStringLiteral("I/O error 5"));
}

TEST(CommandLine, ModesAndWrongOptions) {
    EXPECT_EQ(ParseCommandLine({}).Mode, TRunMode::Window);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--run-once")}).Mode, TRunMode::RunOnce);
    const TCommandLine dry = ParseCommandLine({QStringLiteral("--dry-run"), QStringLiteral("--run-once")});
    EXPECT_EQ(dry.Mode, TRunMode::RunOnce);
    EXPECT_TRUE(dry.DryRun);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--headless")}).Mode, TRunMode::Headless);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--headless"), QStringLiteral("--help")}).Mode,
              TRunMode::Help);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--version")}).Mode, TRunMode::Version);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--print-schedule")}).Mode, TRunMode::PrintSchedule);
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--runonce")}, QStringList{QStringLiteral("--dry-run")},
          QStringList{QStringLiteral("--headless"), QStringLiteral("--dry-run")},
          QStringList{QStringLiteral("--run-once"), QStringLiteral("--headless")},
          QStringList{QStringLiteral("--print-schedule"), QStringLiteral("--run-once")},
          QStringList{QStringLiteral("x")}})
        EXPECT_FALSE(ParseCommandLine(wrong).Error.isEmpty()) << wrong.join(' ').toStdString();
    EXPECT_TRUE(ParseCommandLine({QStringLiteral("--bogus")}).Error.contains(QStringLiteral("--bogus")));
}
