// Blob content and whole values through a real embedded Firebird database: the blob stream,
// pending blob values written before execution, and lists used by the client's own dynamic SQL.
#include "FileSizeLimit.h"
#include "FirebirdScript.h"
#include "ValuesTestSupport.h"

#include "db/connection/FbDatabase.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

using namespace db::connection;
using namespace db::statements;

namespace {

struct TTeb {
    isc_db_handle* db;
    long tpbLength;
    const char* tpb;
};

// One database file per test, attached through the database component, with one transaction
// started through the client library.
class BlobDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FPath = FDir.filePath(QStringLiteral("values.fdb"));
        RunIsql(
            QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                           "create table notes (id integer, body blob sub_type text, bin blob sub_type 0,\n"
                           "  num numeric(10,2), ts timestamp, txt varchar(20));\n"
                           "commit;\n")
                .arg(FPath));
        if (HasFailure()) return;

        FDatabase.SetDBName(FPath);
        FDatabase.SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=WIN1250")});
        FDatabase.SetSQLDialect(3);
        FDatabase.SetConnected(true);
        ASSERT_TRUE(FDatabase.Connected());
        Lib().isc_start_multiple(StatusVector(), &FTransaction, short(1), static_cast<void*>(&FTebStorage()));
        Check();
        Query.Blob.Library = &Lib();
        Query.Blob.DBHandle = FDatabase.HandleAddress();
        Query.Blob.TRHandle = &FTransaction;
    }

    void TearDown() override {
        if (FTransaction) Lib().isc_rollback_transaction(StatusVector(), &FTransaction);
        if (FDatabase.Connected()) FDatabase.Close();
    }

    IIBClientLibrary& Lib() { return FDatabase.ClientLibrary(); }
    void Check() {
        const ISC_STATUS* s = StatusVector();
        if (s[0] == 1 && s[1] > 0) RaiseIBError(Lib(), nullptr);
    }

    // Prepares `sql` into a statement handle; describes its input into `params` and its output
    // into `columns` (each sized to what the server reports).
    isc_stmt_handle Prepare(const char* sql, TFbXSQLDA* params, TFbXSQLDA* columns) {
        isc_stmt_handle stmt = 0;
        Lib().isc_dsql_alloc_statement2(StatusVector(), FDatabase.HandleAddress(), &stmt);
        Check();
        Query.Columns.SetCount(1);
        Lib().isc_dsql_prepare(StatusVector(), &FTransaction, &stmt, ISC_USHORT(0), sql, ISC_USHORT(3),
                               Query.Columns.AsXSQLDA());
        Check();
        if (params) {
            params->SetCount(1);
            Lib().isc_dsql_describe_bind(StatusVector(), &stmt, ISC_USHORT(1), params->AsXSQLDA());
            Check();
            const int n = params->AsXSQLDA()->sqld;
            params->SetCount(n);
            Lib().isc_dsql_describe_bind(StatusVector(), &stmt, ISC_USHORT(1), params->AsXSQLDA());
            Check();
            for (int i = 0; i < n; ++i)
                params->AddName(QString::number(i), i, true);
            params->InitializeVars();
        }
        if (columns) {
            const int n = columns->AsXSQLDA()->sqld;
            columns->SetCount(n);
            Lib().isc_dsql_describe(StatusVector(), &stmt, ISC_USHORT(1), columns->AsXSQLDA());
            Check();
            columns->InitializeVars();
        }
        return stmt;
    }

    void Execute(isc_stmt_handle& stmt, TFbXSQLDA* params) {
        Lib().isc_dsql_execute(StatusVector(), &FTransaction, &stmt, ISC_USHORT(3),
                               params ? params->AsXSQLDA() : nullptr);
        Check();
    }

    void Free(isc_stmt_handle& stmt) {
        Lib().isc_dsql_free_statement(StatusVector(), &stmt, ISC_USHORT(DSQL_drop));
    }

    TTestQuery Query;

private:
    TTeb& FTebStorage() {
        FTeb = TTeb{FDatabase.HandleAddress(), 0, nullptr};
        return FTeb;
    }

    QTemporaryDir FDir;
    QString FPath;
    TFbDatabase FDatabase;
    isc_tr_handle FTransaction = 0;
    TTeb FTeb{};
};

QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

TEST_F(BlobDatabase, StreamWritesAndReadsContentOfAnySize) {
    for (int size : {0, 1, 32767, 32768, 100000}) {
        const QByteArray content = Pattern(size);
        const ISC_QUAD id = FbWriteBlob(Query.Blob, content, 0);
        EXPECT_EQ(FbReadBlob(Query.Blob, id), content) << size;
    }
    // An id that names no blob is the client library's error.
    ISC_QUAD bogus{0x7fff, 0x7fffffff};
    EXPECT_THROW(FbReadBlob(Query.Blob, bogus), EFbError);
}

TEST_F(BlobDatabase, ValuesTravelThroughTheClientAndBack) {
    TSettingsGuard guard;
    isc_stmt_handle insert = Prepare(
        "insert into notes (id, body, bin, num, ts, txt) values (?, ?, ?, ?, ?, ?)", &Query.Server, nullptr);
    TFbXSQLDA& in = Query.Server;
    ASSERT_EQ(in.Count(), 6);
    EXPECT_EQ(in.Vars(1).ServerSQLType(), SQL_BLOB);
    EXPECT_EQ(in.Vars(1).ServerSQLSubType(), 1);
    EXPECT_EQ(in.Vars(3).ServerSQLType(), SQL_INT64);

    const QString longText = QString(40000, QLatin1Char('z')) + QStringLiteral("Łódź");
    const QByteArray binary = Pattern(70000);
    const double when = platform::EncodeDate(2019, 3, 31) + platform::EncodeTime(11, 56, 4, 500);
    in.Vars(0).SetAsInteger(7);
    in.Vars(1).SetAsString(longText);
    QBuffer source;
    source.setData(binary);
    source.open(QIODevice::ReadOnly);
    in.Vars(2).LoadFromStream(source);
    in.Vars(3).SetAsString(QStringLiteral("12,99"));
    in.Vars(4).SetAsDateTime(when);
    in.Vars(5).SetAsString(QStringLiteral("Raport Vorek"));
    EXPECT_TRUE(Query.StreamParams);
    in.WriteStreamParams();
    EXPECT_EQ(in.Vars(1).SQLType(), SQL_BLOB);
    EXPECT_TRUE(in.Vars(1).HasStreamValue()); // kept for the next execution
    Execute(insert, &in);
    in.DropStreamValues();
    EXPECT_FALSE(in.Vars(1).HasStreamValue());
    EXPECT_EQ(in.Vars(1).AsAnsiString(), QByteArray("(BLOB)")); // a parameter without content
    EXPECT_TRUE(in.Vars(1).AsString() == longText);             // the text given is remembered
    Free(insert);

    isc_stmt_handle select = Prepare("select id, body, bin, num, ts, txt, cast(null as integer) from notes",
                                     nullptr, &Query.Columns);
    TFbXSQLDA& out = Query.Columns;
    ASSERT_EQ(out.Count(), 7);
    EXPECT_EQ(out.Names(), QStringList({"ID", "BODY", "BIN", "NUM", "TS", "TXT", "CAST"}));
    Execute(select, nullptr);
    Query.Records = 0;
    EXPECT_TRUE(out.Vars(0).IsNull());
    ASSERT_EQ(Lib().isc_dsql_fetch(StatusVector(), &select, ISC_USHORT(3), out.AsXSQLDA()), 0);
    Query.Records = 1;
    EXPECT_EQ(out.ParamByName(QStringLiteral("ID")).AsInteger(), 7);
    EXPECT_TRUE(out.Vars(1).AsString() == longText);
    EXPECT_TRUE(out.Vars(1).AsAnsiString() == platform::AnsiFromString(longText));
    QBuffer target;
    target.open(QIODevice::WriteOnly);
    out.Vars(2).SaveToStream(target);
    EXPECT_EQ(target.data(), binary);
    EXPECT_EQ(out.Vars(3).AsInteger(), 12);
    EXPECT_EQ(out.Vars(3).AsAnsiString(), QByteArray("12,99"));
    EXPECT_EQ(out.Vars(3).AsCurrency().Scaled, 129900);
    EXPECT_EQ(platform::DateTimeToTimeStamp(out.Vars(4).AsDateTime()).Time,
              platform::DateTimeToTimeStamp(when).Time);
    EXPECT_EQ(out.Vars(5).AsString(), QStringLiteral("Raport Vorek"));
    EXPECT_TRUE(out.Vars(6).IsNull());
    EXPECT_EQ(out.Vars(6).AsInteger(), 0);

    // A column holding an id the server does not know reads as "(BLOB)".
    ISC_QUAD bogus{0x7fff, 0x7fffffff};
    std::memcpy(out.Vars(1).Data()->sqldata, &bogus, 8);
    EXPECT_EQ(out.Vars(1).AsString(), QStringLiteral("(BLOB)"));
    EXPECT_THROW(out.Vars(1).SaveToStream(target), EFbError);
    Free(select);
}

TEST_F(BlobDatabase, FilesAndAssignMoveBlobContent) {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.bin"));
    const QString out = dir.filePath(QStringLiteral("out.bin"));
    QFile file(in);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Pattern(5000));
    file.close();

    Query.Server.SetCount(2);
    Query.Server.AddName(QStringLiteral("A"), 0, false);
    Query.Server.AddName(QStringLiteral("B"), 1, false);
    TFbXSQLVAR& a = Query.Server.Vars(0);
    a.LoadFromFile(in);
    EXPECT_FALSE(a.IsNullable());
    EXPECT_FALSE(a.IsNull());
    Query.User.SetCount(1);
    Query.User.AddName(QStringLiteral("a"), 0, false);
    Query.Server.WriteStreamParams();
    Query.Server.DropStreamValues();
    ISC_QUAD id = a.AsQuad();
    EXPECT_TRUE(id.gds_quad_high != 0 || id.gds_quad_low != 0);
    // The user parameter of the same name holds the new blob too.
    EXPECT_EQ(Query.User.Vars(0).SQLType(), SQL_BLOB);
    EXPECT_EQ(std::memcmp(Query.User.Vars(0).Data()->sqldata, &id, 8), 0);

    // A column holding the written blob: its content goes to a file and into another item.
    Query.Columns.SetCount(1);
    Describe(Query.Columns, 0, SQL_BLOB, 0, 8, true, 0);
    Query.Columns.InitializeVars();
    TFbXSQLVAR& column = Query.Columns.Vars(0);
    column.SetAsQuad(id);
    column.SaveToFile(out);
    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), Pattern(5000));
    // Saved on a full disk: the error escapes and the file there keeps its old bytes.
    const QString kept = dir.filePath(QStringLiteral("kept.bin"));
    {
        QFile old(kept);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    {
        FileSizeLimit limit(1000);
        EXPECT_THROW(column.SaveToFile(kept), platform::EFCreateError);
    }
    QFile keptFile(kept);
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(keptFile.readAll(), QByteArray("old"));

    TFbXSQLVAR& b = Query.Server.Vars(1);
    b.Assign(column); // not a blob: the content becomes text
    EXPECT_EQ(b.SQLType(), SQL_TEXT);
    EXPECT_EQ(b.AsAnsiString(), Pattern(5000));
    b.SetAsQuad(ISC_QUAD{});
    b.Assign(column); // a blob: the content waits to be written into a new blob
    EXPECT_TRUE(b.HasStreamValue());
    EXPECT_EQ(b.StreamValue(), Pattern(5000));

    EXPECT_THROW(a.LoadFromFile(dir.filePath(QStringLiteral("missing.bin"))), platform::EFOpenError);
}
