#include "db/connection/FbParams.h"
#include "db/connection/FbInternal.h"
#include "TestSupport.h"
#include "db/connection/fb.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

using namespace db::connection;

namespace {

QByteArray Bytes(std::initializer_list<int> bytes) {
    QByteArray result;
    for (int b : bytes)
        result += char(b);
    return result;
}

struct Built {
    QByteArray Dpb;
    short Length = -1;
};

Built Build(TDBParams& params, bool isFirebird = true) {
    Built built;
    GenerateDPB(params, built.Dpb, built.Length, isFirebird);
    EXPECT_EQ(built.Length, built.Dpb.size());
    return built;
}

Built Build(const QStringList& lines, bool isFirebird = true) {
    TDBParams params;
    params.AddStrings(lines);
    return Build(params, isFirebird);
}

} // namespace

TEST(GenerateDPB, ApplicationLinesGiveThe29ByteBuffer) {
    const Built built = Build({Q("user_name=SYSDBA"), Q("password=tulipwand"), Q("lc_ctype=WIN1250")});
    const QByteArray expected =
        Bytes({1, 28, 6}) + "SYSDBA" + Bytes({29, 9}) + "tulipwand" + Bytes({48, 7}) + "WIN1250";
    EXPECT_EQ(built.Length, 29);
    EXPECT_EQ(built.Dpb, expected);

    // Line order is kept.
    EXPECT_EQ(Build({Q("lc_ctype=UTF8"), Q("user_name=A")}).Dpb,
              Bytes({1, 48, 4}) + "UTF8" + Bytes({28, 1}) + "A");
}

TEST(GenerateDPB, LinesAreTrimmedAndWrittenBackAndNamesNormalised) {
    TDBParams params;
    params.AddStrings({Q("  user_name=SYSDBA \t"), Q(""), Q("   "), Q("USER_NAME=B"),
                       Q("isc_dpb_user_name=C"), Q("ISC_DPB_PASSWORD=Pw")});
    int changes = 0;
    params.OnChange = [&] { ++changes; };
    const Built built = Build(params);
    EXPECT_EQ(built.Dpb, Bytes({1, 28, 6}) + "SYSDBA" + Bytes({28, 1}) + "B" + Bytes({28, 1}) + "C" +
                             Bytes({29, 2}) + "Pw");
    EXPECT_EQ(params[0], Q("user_name=SYSDBA"));
    EXPECT_EQ(params[2], QString());
    EXPECT_GT(changes, 0);
    // Only the empty list gives the version byte alone.
    EXPECT_EQ(Build(QStringList{}).Dpb, Bytes({1}));
}

TEST(GenerateDPB, UnknownAndUnsupportedNamesAreClientErrors) {
    EFbClientError e = CatchClientError([] { Build({Q("user_name =SYSDBA")}); });
    EXPECT_EQ(e.SQLCode(), 9);
    EXPECT_EQ(e.Message(), Q("DPB Constant (user_name ) is unknown."));

    e = CatchClientError([] { Build({Q("ISC_DPB_Whatever=1")}); });
    EXPECT_EQ(e.Message(), Q("DPB Constant (whatever) is unknown."));

    e = CatchClientError([] { Build({Q("page_size=8192")}); });
    EXPECT_EQ(e.SQLCode(), 8);
    EXPECT_EQ(e.Message(), Q("DPB Constant (isc_dpb_page_size) is unsupported."));
    // The first and last names of the table.
    EXPECT_EQ(CatchClientError([] { Build({Q("cdd_pathname=x")}); }).Message(),
              Q("DPB Constant (isc_dpb_cdd_pathname) is unsupported."));
    EXPECT_EQ(CatchClientError([] { Build({Q("force")}); }).Message(),
              Q("DPB Constant (isc_dpb_force) is unsupported."));

    // A failed build leaves the caller's buffer alone.
    TDBParams params;
    params.AddStrings({Q("user_name=A"), Q("page_size=1")});
    QByteArray dpb = "old";
    short length = 3;
    EXPECT_THROW(GenerateDPB(params, dpb, length, true), EFbClientError);
    EXPECT_EQ(dpb, QByteArray("old"));
    EXPECT_EQ(length, 3);
}

TEST(GenerateDPB, NumericAndFlagEncodings) {
    EXPECT_EQ(Build({Q("sql_dialect=3")}).Dpb, Bytes({1, 63, 1, 3}));
    EXPECT_EQ(Build({Q("num_buffers=300")}).Dpb, Bytes({1, 5, 1, 44}));
    EXPECT_EQ(Build({Q("connect_timeout=-1")}).Dpb, Bytes({1, 57, 1, 255}));
    EXPECT_EQ(Build({Q("sweep_interval=20000")}).Dpb, Bytes({1, 22, 4, 0x20, 0x4E, 0, 0}));
    EXPECT_EQ(Build({Q("sweep")}).Dpb, Bytes({1, 10, 1, 2}));
    EXPECT_EQ(Build({Q("garbage_collect"), Q("no_garbage_collect")}).Dpb, Bytes({1, 8, 1, 1, 16, 1, 1}));
    EXPECT_EQ(Build({Q("activate_shadow"), Q("quit_log")}).Dpb, Bytes({1, 21, 1, 0, 26, 1, 0}));
    EXPECT_EQ(Build({Q("online")}).Dpb, Bytes({1, 51, 0}));

    EXPECT_EQ(Build({Q("shutdown=single,force")}).Dpb, Bytes({1, 50, 1, 56}));
    EXPECT_EQ(Build({Q("shutdown=")}).Dpb, Bytes({1, 50, 0}));
    EXPECT_EQ(Build({Q("shutdown=CACHE;;16")}).Dpb, Bytes({1, 50, 1, 17}));
    EXPECT_EQ(Build({Q("shutdown=full,bogus")}).Dpb, Bytes({1, 50, 1, 255}));

    try {
        Build({Q("num_buffers=abc")});
        FAIL() << "accepted";
    } catch (const platform::EConvertError& e) {
        EXPECT_EQ(e.Message(), Q("''abc'' is not a valid integer value"));
    }
}

TEST(GenerateDPB, FirebirdAndInterBaseNumbering) {
    const QStringList lines{Q("set_db_charset=UTF8"), Q("no_db_triggers"), Q("utf8_filename"),
                            Q("instance_name=i")};
    EXPECT_EQ(Build(lines, true).Dpb, Bytes({1, 68, 4}) + "UTF8" + Bytes({72, 1, 1, 77, 0}));
    EXPECT_EQ(Build(lines, false).Dpb, Bytes({1, 75, 1}) + "i");
    // The InterBase names sharing those codes are encoded the same way.
    EXPECT_EQ(Build({Q("gbak_ods_version=x"), Q("client_interbase_var")}, true).Dpb,
              Bytes({1, 68, 1, 'x', 72, 1, 1}));
}

TEST(GenerateDPB, OverlongValuesAreRefusedInsteadOfCorruptingTheBuffer) {
    EXPECT_EQ(Build({Q("password=") + QString(255, QLatin1Char('p'))}).Length, 1 + 2 + 255);
    EFbClientError e = CatchClientError([] { Build({Q("password=") + QString(256, QLatin1Char('p'))}); });
    EXPECT_EQ(e.SQLCode(), -1);
    EXPECT_EQ(e.Message(), Q("DPB Constant (isc_dpb_password) value is longer than 255 bytes."));

    QStringList many;
    for (int i = 0; i < 140; ++i)
        many << Q("lc_messages=") + QString(250, QLatin1Char('m'));
    e = CatchClientError([&] { Build(many); });
    EXPECT_EQ(e.Message(), Q("The database parameter buffer is longer than 32767 bytes."));
}

TEST(GenerateDPB, ValuesAreSentInTheSystemCodePage) {
    // "Łódź" in Windows-1250.
    EXPECT_EQ(Build({Q("user_name=Łódź")}).Dpb, Bytes({1, 28, 4, 0xA3, 0xF3, 0x64, 0x9F}));
}

TEST(DBParamsLookup, IndexOfDBConstIsACaseInsensitivePrefixTestAtOneOrNine) {
    TDBParams params;
    params.AddStrings(
        {Q("xuser_name=no"), Q("lc_ctype=WIN1250"), Q("USER_NAME2=yes"), Q("isc_dpb_password=p")});
    EXPECT_EQ(params.IndexOfDBConst(Q("user_name")), 2);
    EXPECT_EQ(params.IndexOfDBConst(Q("Password")), 3);
    EXPECT_EQ(params.IndexOfDBConst(Q("LC_CTYPE")), 1);
    EXPECT_EQ(params.IndexOfDBConst(Q("sql_role_name")), -1);
}

TEST(ConnectParams, ReadWriteAndDeleteLinesByRole) {
    TDBParams params;
    params.AddStrings({Q("user_name=SYSDBA"), Q("password=a=b")});
    TConnectParams connect(params);
    EXPECT_EQ(connect.UserName(), Q("SYSDBA"));
    EXPECT_EQ(connect.Password(), Q("a=b"));
    EXPECT_EQ(connect.RoleName(), QString());
    EXPECT_TRUE(connect.IsFirebird());

    connect.SetCharSet(Q("win1250"));
    connect.SetUserName(Q("ADMIN"));
    connect.SetPassword(QString());
    EXPECT_EQ(params.Strings(), (QStringList{Q("user_name=ADMIN"), Q("lc_ctype=WIN1250")}));
    EXPECT_EQ(connect.CharSet(), Q("WIN1250"));
}
