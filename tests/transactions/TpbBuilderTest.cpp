// The transaction parameter buffer built from TRParams lines.
#include "db/connection/FbTransaction.h"
#include "db/connection/fb.h"

#include <gtest/gtest.h>

using namespace db::connection;

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes += char(v);
    return bytes;
}

QByteArray Build(const QStringList& lines, short* lengthOut = nullptr) {
    platform::TStringList params;
    params.AddStrings(lines);
    QByteArray tpb;
    short length = -1;
    GenerateTPB(params, tpb, length);
    EXPECT_EQ(length, tpb.size());
    if (lengthOut) *lengthOut = length;
    return tpb;
}

// The client error a build raises, as code and message.
std::pair<int, QString> BuildError(const QStringList& lines) {
    platform::TStringList params;
    params.AddStrings(lines);
    QByteArray tpb = "unchanged";
    short length = 9;
    try {
        GenerateTPB(params, tpb, length);
    } catch (const EFbClientError& e) {
        // A failed build leaves the outputs alone.
        EXPECT_EQ(tpb, QByteArray("unchanged"));
        EXPECT_EQ(length, 9);
        return {e.SQLCode(), e.Message()};
    }
    ADD_FAILURE() << "no error";
    return {0, QString()};
}

} // namespace

TEST(TpbBuilder, NamesInAnyCaseWithOrWithoutPrefixGiveTheirCodesAfterVersion3) {
    EXPECT_EQ(Build({"write", "isc_tpb_nowait", "read_committed", "rec_version"}), Bytes({3, 9, 7, 15, 17}));
    EXPECT_EQ(Build({"ISC_TPB_WRITE", "NoWait", "Concurrency"}), Bytes({3, 9, 7, 2}));
}

TEST(TpbBuilder, EveryTableNameMatchesTheClientHeaderCode) {
    const struct {
        const char* Name;
        int Code;
    } names[] = {{"consistency", isc_tpb_consistency},
                 {"concurrency", isc_tpb_concurrency},
                 {"shared", isc_tpb_shared},
                 {"protected", isc_tpb_protected},
                 {"exclusive", isc_tpb_exclusive},
                 {"wait", isc_tpb_wait},
                 {"nowait", isc_tpb_nowait},
                 {"read", isc_tpb_read},
                 {"write", isc_tpb_write},
                 {"ignore_limbo", isc_tpb_ignore_limbo},
                 {"read_committed", isc_tpb_read_committed},
                 {"rec_version", isc_tpb_rec_version},
                 {"no_rec_version", isc_tpb_no_rec_version},
                 {"no_auto_undo", isc_tpb_no_auto_undo},
                 {"no_savepoint", 21}};
    for (const auto& n : names)
        EXPECT_EQ(Build({QString::fromLatin1(n.Name)}), Bytes({3, n.Code})) << n.Name;
}

TEST(TpbBuilder, NoLinesGiveAnEmptyBufferAndBlankLinesAreSkipped) {
    short length = -1;
    EXPECT_TRUE(Build({}, &length).isEmpty());
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Build({"", "  \t", "read"}), Bytes({3, 8}));
    // Only blank lines still give the version byte.
    EXPECT_EQ(Build({" "}), Bytes({3}));
}

TEST(TpbBuilder, LinesAreTrimmedAndWrittenBackTrimmed) {
    platform::TStringList params;
    params.AddStrings({" \twrite\r", "\x01nowait  ", "", "lock_read=T1 "});
    int changes = 0;
    params.OnChange = [&] { ++changes; };
    QByteArray tpb;
    short length = 0;
    GenerateTPB(params, tpb, length);
    EXPECT_EQ(params.Strings(), QStringList({"write", "nowait", "", "lock_read=T1"}));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(tpb, Bytes({3, 9, 7, 10, 2, 'T', '1'}));
}

TEST(TpbBuilder, LockParametersCarryTheTableName) {
    EXPECT_EQ(Build({"lock_write=PARTS"}), Bytes({3, 11, 5, 'P', 'A', 'R', 'T', 'S'}));
    // Split at the first "=", the value kept as written; no value gives a zero length.
    EXPECT_EQ(Build({"ISC_TPB_LOCK_READ=a=b", "lock_write"}), Bytes({3, 10, 3, 'a', '=', 'b', 11, 0}));
    // The table name reaches the server in the system code page.
    EXPECT_EQ(Build({QString::fromUtf8("lock_write=Łódź")}), Bytes({3, 11, 4, 0xA3, 0xF3, 0x64, 0x9F}));
    const QString longest = QString(255, QLatin1Char('X'));
    EXPECT_EQ(Build({"lock_read=" + longest}).size(), 2 + 1 + 255);
}

TEST(TpbBuilder, UnsupportedAndUnknownNamesRaiseTheirClientErrors) {
    EXPECT_EQ(BuildError({"write", "verb_time"}),
              std::make_pair(10, QStringLiteral("TPB Constant (isc_tpb_verb_time) is unsupported.")));
    EXPECT_EQ(BuildError({"ISC_TPB_COMMIT_TIME"}).second,
              QStringLiteral("TPB Constant (isc_tpb_commit_time) is unsupported."));
    EXPECT_EQ(BuildError({"autocommit"}).first, 10);
    EXPECT_EQ(BuildError({"restart_requests"}).first, 10);
    EXPECT_EQ(BuildError({"xyz"}), std::make_pair(11, QStringLiteral("TPB Constant (xyz) is unknown.")));
    // The name as the builder sees it: small letters, without the prefix, before any "=".
    EXPECT_EQ(BuildError({"ISC_TPB_Lock_Timeout=5"}).second,
              QStringLiteral("TPB Constant (lock_timeout) is unknown."));
}

TEST(TpbBuilder, TableNameLongerThanItsLengthByteIsRefused) {
    // A longer name would overflow the length byte and corrupt the buffer.
    const auto [code, message] = BuildError({"lock_write=" + QString(256, QLatin1Char('X'))});
    EXPECT_EQ(code, -1);
    EXPECT_EQ(message, QStringLiteral("TPB Constant (isc_tpb_lock_write) value is longer than 255 bytes."));
}

TEST(TpbBuilder, BufferLongerThanItsSignedLengthIsRefused) {
    QStringList lines;
    for (int i = 0; i < 131; ++i)
        lines << "lock_read=" + QString(250, QLatin1Char('A' + i % 26));
    const auto [code, message] = BuildError(lines);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(message, QStringLiteral("The transaction parameter buffer is longer than 32767 bytes."));
}
