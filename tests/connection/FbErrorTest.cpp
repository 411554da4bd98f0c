#include "TestSupport.h"
#include "db/connection/FbInternal.h"
#include "db/connection/IB_Intf.h"
#include "db/connection/fb.h"
#include "platform/Component.h"

#include <gtest/gtest.h>
#include <thread>

using namespace db::connection;

namespace {

// Fills the calling thread's status vector with one error whose text is given as is.
void SetStatusText(const char* text) {
    ISC_STATUS* status = StatusVector();
    status[0] = isc_arg_gds;
    status[1] = isc_random;
    status[2] = isc_arg_string;
    status[3] = reinterpret_cast<ISC_STATUS>(text);
    status[4] = isc_arg_end;
}

struct RestoreParts {
    ~RestoreParts() {
        SetFbErrorMessageParts(TFbErrorMessageParts());
        SetFbErrorHandler(nullptr);
    }
};

} // namespace

TEST(FbClientErrors, TextsAreFormattedFromArgumentsAndCarryNoRaiserLine) {
    // Client error 12 names the component in its text only.
    platform::TComponent form;
    form.SetName(Q("Form1"));
    auto* database = new platform::TComponent(&form);
    database->SetName(Q("pFbDatabaseFormy"));
    EFbClientError e = CatchClientError([&] { RaiseFbError(12, {database->FullName()}); });
    EXPECT_EQ(e.Message(), Q("Form1.pFbDatabaseFormy: Cannot perform operation -- DB is not open."));
    EXPECT_EQ(e.SQLCode(), 12);
    EXPECT_EQ(e.Msg(), e.Message());
    EXPECT_TRUE(e.RaiserName().isEmpty());
    EXPECT_EQ(e.SenderObj(), nullptr);

    e = CatchClientError([] { RaiseFbError(51, {Q("select ?"), Q("Token unknown")}); });
    EXPECT_EQ(e.Message(), Q("SQL Parse Error in :select ? \r\n\r\nToken unknown"));
    EXPECT_EQ(e.SQLCode(), 51);

    e = CatchClientError([] { RaiseFbError(55, {5, 255}); });
    EXPECT_EQ(e.Message(), Q("Windows API error. (Windows error 5 [$000000FF])"));

    e = CatchClientError([] { RaiseFbError(75, {Q("Form1.q")}); });
    EXPECT_EQ(e.Message().split(Q("\r\n")).size(), 6);
    EXPECT_TRUE(e.Message().startsWith(Q("Form1.q. Can't use limited cache. \r\n")));
    EXPECT_TRUE(
        e.Message().endsWith(Q("\r\nUpdateTransaction must be equel Transaction or AutoCommit=True ")));

    // Codes are taken modulo 128.
    e = CatchClientError([] { RaiseFbError(128 + 14); });
    EXPECT_EQ(e.SQLCode(), 14);
    EXPECT_EQ(e.Message(), Q("Database name is missing."));

    e = CatchClientError([] { RaiseFbErrorText(Q("Row %d of %s"), {3, Q("T")}); });
    EXPECT_EQ(e.SQLCode(), -1);
    EXPECT_EQ(e.Message(), Q("Row 3 of T"));
}

TEST(FbClientErrors, TableHoldsExactlyTheNumbersZeroTo84) {
    for (int code = 0; code <= 84; ++code)
        EXPECT_FALSE(FbClientErrorText(code).isEmpty()) << code;
    EXPECT_TRUE(FbClientErrorText(85).isEmpty());
    EXPECT_EQ(FbClientErrorText(0), Q("Unknown error."));
    EXPECT_EQ(FbClientErrorText(37), Q("Can't %s , because  query is empty"));
    EXPECT_EQ(FbClientErrorText(38), Q("Can't \"open\" a non-select statement. Use ExecQuery."));
    EXPECT_EQ(FbClientErrorText(84), Q("MDT. Savepoint \"%s\" not found"));
}

TEST(FbErrorComposition, RaiserNameLineNeedsTwoCharactersAndNamedComponent) {
    platform::TComponent one;
    one.SetName(Q("X"));
    EFbInterBaseError single(-902, Q("Line.\r\n"), Q("Sql."), QString(), &one);
    EXPECT_EQ(single.Message(), Q("Sql.Line.\r\n"));

    platform::TComponent two;
    two.SetName(Q("XY"));
    EFbInterBaseError named(-902, Q("Line.\r\n"), Q("Sql."), QString(), &two);
    EXPECT_EQ(named.Message(), Q("XY:\r\nSql.Line.\r\n"));
    EXPECT_EQ(named.RaiserName(), Q("XY"));

    QObject notAComponent;
    notAComponent.setObjectName(Q("Named"));
    EFbInterBaseError plain(-902, Q("Line.\r\n"), Q("Sql."), QString(), &notAComponent);
    EXPECT_TRUE(plain.RaiserName().isEmpty());
    EXPECT_EQ(plain.Message(), Q("Sql.Line.\r\n"));

    // Assigning a text field composes the message again, custom text before Msg.
    named.SetCustomMessage(Q("[custom]"));
    named.SetMsg(Q("[msg]"));
    EXPECT_EQ(named.Message(), Q("XY:\r\nSql.Line.\r\n[custom][msg]"));
}

TEST(RaiseIBError, ComposesFromStatusVectorThroughTheClient) {
    RestoreParts restore;
    IIBClientLibraryPtr library = GetIBClientLibrary(QString::fromUtf16(DefaultLibraryName));
    platform::TComponent form;
    form.SetName(Q("Form1"));
    auto* sender = new platform::TComponent(&form);
    sender->SetName(Q("pFbDatabaseVorek"));

    SetStatusText("lower case line without stop");
    try {
        RaiseIBError(*library, sender);
        FAIL() << "not raised";
    } catch (const EFbInterBaseError& e) {
        EXPECT_EQ(e.SQLCode(), library->isc_sqlcode(StatusVector()));
        EXPECT_EQ(e.IBErrorCode(), isc_random);
        EXPECT_EQ(e.RaiserName(), Q("Form1.pFbDatabaseVorek"));
        EXPECT_EQ(e.IBMessage(), Q("Lower case line without stop.\r\n"));
        // The SQL text starts with a capital and ends with "." and (only when it had to be
        // added) a line break.
        ASSERT_FALSE(e.SQLMessage().isEmpty());
        EXPECT_TRUE(e.SQLMessage()[0].isUpper());
        EXPECT_FALSE(e.SQLMessage().contains(Q("\\n")));
        EXPECT_TRUE(e.SQLMessage().endsWith(Q(".")) || e.SQLMessage().endsWith(Q(".\r\n")));
        EXPECT_EQ(e.Message(), Q("Form1.pFbDatabaseVorek:\r\n") + e.SQLMessage() + e.IBMessage());
    }

    // A line that already ends with "." gets only the line break.
    SetStatusText("Already a sentence.");
    SetFbErrorMessageParts({false, false, true});
    try {
        RaiseIBError(*library, sender);
        FAIL() << "not raised";
    } catch (const EFbInterBaseError& e) {
        EXPECT_EQ(e.Message(), Q("Already a sentence.\r\n"));
        EXPECT_TRUE(e.SQLMessage().isEmpty());
    }
}

TEST(RaiseIBError, RegisteredHandlerMayCancelTheRaise) {
    RestoreParts restore;
    IIBClientLibraryPtr library = GetIBClientLibrary(QString::fromUtf16(DefaultLibraryName));
    SetStatusText("handled");
    QString seen;
    SetFbErrorHandler([&](QObject*, EFbError& error, bool& doRaise) {
        seen = error.IBMessage();
        doRaise = false;
    });
    EXPECT_NO_THROW(RaiseIBError(*library, nullptr));
    EXPECT_EQ(seen, Q("Handled.\r\n"));

    SetFbErrorHandler([](QObject*, EFbError&, bool&) { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(RaiseIBError(*library, nullptr), std::runtime_error);
}

TEST(StatusVector, EachThreadHasItsOwn) {
    ISC_STATUS* mine = StatusVector();
    mine[1] = 12345;
    ISC_STATUS* other = nullptr;
    ISC_STATUS otherEntry = -1;
    std::thread([&] {
        other = StatusVector();
        otherEntry = other[1];
    }).join();
    EXPECT_NE(other, mine);
    EXPECT_EQ(otherEntry, 0);
    EXPECT_EQ(StatusVector()[1], 12345);
    // The client error records what the last client call left in entry 1.
    EXPECT_EQ(CatchClientError([] { RaiseFbError(0); }).IBErrorCode(), 12345);
}
