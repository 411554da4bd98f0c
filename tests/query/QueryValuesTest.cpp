// Values through parameters and columns against the server: blobs of text and bytes.
#include "QueryTestSupport.h"

#include <QBuffer>
#include <QRandomGenerator>

class QueryValues : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        Tr->StartTransaction();
    }
    QByteArray RandomBytes(int size) {
        QByteArray bytes(size, '\0');
        QRandomGenerator generator(12345);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(generator.bounded(256));
        return bytes;
    }
    void Insert(int id, const QString& text, const QByteArray& bytes) {
        SetLines(*Q, {QStringLiteral("insert into docs (id, txt, bin) values (:id, :txt, :bin)")});
        Q->ParamByName(QStringLiteral("id")).SetAsInteger(id);
        Q->ParamByName(QStringLiteral("txt")).SetAsString(text);
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        Q->ParamByName(QStringLiteral("bin")).LoadFromStream(buffer);
        Q->ExecQuery();
    }
    void Read(int id, QString& text, QByteArray& bytes) {
        SetLines(*Q, {QStringLiteral("select txt, bin from docs where id = :id")});
        Q->ParamByName(QStringLiteral("id")).SetAsInteger(id);
        Q->ExecQuery();
        ASSERT_FALSE(Q->Eof());
        text = Q->FieldByName(QStringLiteral("txt")).AsString();
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        Q->FieldByName(QStringLiteral("bin")).SaveToStream(out);
        bytes = out.data();
        Q->Close();
    }
};

TEST_F(QueryValues, TextAndBinaryBlobsGoInAndComeBackByteForByte) {
    const QString text = QStringLiteral("Łódź – zażółć gęślą jaźń\r\nline 2");
    const QByteArray small = RandomBytes(300);
    Insert(1, text, small);
    QString textBack;
    QByteArray bytesBack;
    Read(1, textBack, bytesBack);
    EXPECT_EQ(textBack, text);
    EXPECT_EQ(bytesBack, small);
    // The text as the server stored it, in the connection's code page.
    Tr->Commit();
    EXPECT_EQ(ReadInt(QStringLiteral("select char_length(txt) from docs where id = 1")), text.size());
}

TEST_F(QueryValues, AOneMegabyteBlobOfEachKind) {
    const QByteArray big = RandomBytes(1 << 20);
    QString bigText;
    bigText.reserve(1 << 20);
    for (int i = 0; bigText.size() < (1 << 20); ++i)
        bigText += QStringLiteral("wiersz %1 ąę\n").arg(i);
    bigText.truncate(1 << 20);
    Insert(2, bigText, big);
    Tr->Commit();
    Tr->StartTransaction();
    QString textBack;
    QByteArray bytesBack;
    Read(2, textBack, bytesBack);
    EXPECT_EQ(bytesBack.size(), big.size());
    EXPECT_TRUE(bytesBack == big);
    EXPECT_EQ(textBack.size(), bigText.size());
    EXPECT_TRUE(textBack == bigText);
    EXPECT_EQ(ReadInt(QStringLiteral("select octet_length(bin) from docs where id = 2")), 1 << 20);
}

TEST_F(QueryValues, NullParametersTakeTheServersDescriptionAndStayNull) {
    SetLines(*Q, {QStringLiteral("insert into formy (id, nazwa, counter) values (:id, :nazwa, :counter)")});
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(400);
    Q->ParamByName(QStringLiteral("nazwa")).Clear();
    Q->Prepare();
    TFbXSQLVAR& counter = Q->ParamByName(QStringLiteral("counter"));
    EXPECT_TRUE(counter.IsNull());
    EXPECT_EQ(counter.SQLType(), SQL_LONG);
    EXPECT_EQ(Q->ParamByName(QStringLiteral("nazwa")).SQLType(), SQL_VARYING);
    Q->ExecQuery();
    EXPECT_EQ(ReadInt(QStringLiteral("select count(*) from formy where id = 400")), 0); // not committed yet
    Tr->Commit();
    EXPECT_EQ(ReadInt(QStringLiteral("select count(*) from formy where id = 400 and nazwa is null and "
                                     "counter is null")),
              1);
}

TEST_F(QueryValues, ParametersFoundOnlyInAMacroValueKeepTheirValues) {
    SetLines(*Q, {QStringLiteral("update m set @@assign%name=name@ where id = :id")});
    Q->ParamByName(QStringLiteral("assign")).SetAsString(QStringLiteral("amount = :a, name = :n"));
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(1);
    Q->ParamByName(QStringLiteral("a")).SetAsInteger(5);
    Q->ParamByName(QStringLiteral("n")).SetAsString(QStringLiteral("new"));
    Q->ExecQuery();
    SetLines(*Q, {QStringLiteral("select count(*) from m where @@cond%1=0@")});
    Q->ParamByName(QStringLiteral("cond")).SetAsString(QStringLiteral("name = :p"));
    Q->ParamByName(QStringLiteral("p")).SetAsString(QStringLiteral("new"));
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 1);
    Q->Close();
    Tr->Commit();
    EXPECT_EQ(ReadInt(QStringLiteral("select count(*) from m where amount = 5 and name = 'new'")), 1);
}

TEST_F(QueryValues, ABlobOnAMacroOnlyParameterIsWrittenAndItsItemStays) {
    const QByteArray bytes = RandomBytes(100);
    SetLines(*Q, {QStringLiteral("update m set @@assign%name=name@ where id = 1")});
    Q->ParamByName(QStringLiteral("assign")).SetAsString(QStringLiteral("bin = :b"));
    TFbXSQLVAR& b = Q->ParamByName(QStringLiteral("b"));
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    b.LoadFromStream(buffer);
    Q->ExecQuery();
    // The item handed out is still the statement's (it would dangle if the rebuild freed it).
    EXPECT_EQ(&Q->ParamByName(QStringLiteral("b")), &b);
    Tr->Commit();
    EXPECT_EQ(ReadInt(QStringLiteral("select octet_length(bin) from m where id = 1")), bytes.size());
}

TEST_F(QueryValues, ABlobParameterSetOnceIsWrittenAgainForEveryExecution) {
    Insert(1, QStringLiteral("a"), QByteArray("x"));
    Insert(2, QStringLiteral("b"), QByteArray("y"));
    const QByteArray bytes = RandomBytes(50);
    SetLines(*Q, {QStringLiteral("update docs set txt = :txt, bin = :bin where id = :id")});
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    Q->ParamByName(QStringLiteral("bin")).LoadFromStream(buffer);
    for (int id = 1; id <= 2; ++id) {
        Q->ParamByName(QStringLiteral("txt")).SetAsString(QStringLiteral("row %1").arg(id));
        Q->ParamByName(QStringLiteral("id")).SetAsInteger(id);
        Q->ExecQuery();
        Tr->Commit();
        Tr->StartTransaction();
    }
    for (int id = 1; id <= 2; ++id) {
        QString text;
        QByteArray back;
        Read(id, text, back);
        EXPECT_EQ(text, QStringLiteral("row %1").arg(id));
        EXPECT_EQ(back, bytes) << "row " << id;
    }
}

TEST_F(QueryValues, ATextBlobAssignedOnAUnicodeConnectionKeepsItsCharacterSet) {
    const QString text = QStringLiteral("Gęś żółta");
    Insert(1, text, QByteArray("x"));
    Tr->Commit();
    auto* utf8 = new TpFbDatabase(Form.get());
    utf8->SetDBName(Dir.filePath(QStringLiteral("formy_db.fdb")));
    utf8->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=UTF8")});
    utf8->SetSQLDialect(3);
    utf8->SetConnected(true);
    TpFbTransaction* tr = NewTransaction(QStringLiteral("pFbTransactionUtf8"), utf8);
    tr->StartTransaction();
    TpFbQuery* source = NewQuery(QStringLiteral("pFbQuerySource"), utf8, tr);
    TpFbQuery* target = NewQuery(QStringLiteral("pFbQueryTarget"), utf8, tr);
    SetLines(*source, {QStringLiteral("select txt from docs where id = 1")});
    source->ExecQuery();
    SetLines(*target, {QStringLiteral("insert into docs (id, txt) values (2, :txt)")});
    target->ParamByName(QStringLiteral("txt")).Assign(source->FieldByName(QStringLiteral("txt")));
    target->ExecQuery();
    source->Close();
    tr->Commit();
    Tr->StartTransaction();
    QString back;
    QByteArray bytes;
    Read(2, back, bytes);
    EXPECT_EQ(back, text);
}

TEST_F(QueryValues, TextSetOnAUtf8ConnectionArrivesUnchangedInEveryKindOfTextColumn) {
    // UTF-8 bytes are labelled with a Unicode column's own character set and UNICODE_FSS
    // otherwise; each column must hold the characters given, read back as stored.
    const QString path = Dir.filePath(QStringLiteral("utf8.fdb"));
    RunIsql(QStringLiteral("create database '%1' user 'SYSDBA' default character set UTF8;\n"
                           "create table t (u varchar(20), f varchar(20) character set unicode_fss,\n"
                           "  w varchar(20) character set win1250);\n"
                           "commit;\n")
                .arg(path));
    auto* utf8 = new TpFbDatabase(Form.get());
    utf8->SetDBName(path);
    utf8->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=UTF8")});
    utf8->SetSQLDialect(3);
    utf8->SetConnected(true);
    TpFbTransaction* tr = NewTransaction(QStringLiteral("pFbTransactionUtf8"), utf8);
    tr->StartTransaction();
    TpFbQuery* q = NewQuery(QStringLiteral("pFbQueryUtf8"), utf8, tr);
    const QString wide = QStringLiteral("Łódź \U0001F600 ż");
    const QString polish = QStringLiteral("Łódź gęś");
    SetLines(*q, {QStringLiteral("insert into t (u, f, w) values (:u, :f, :w)")});
    for (int i = 0; i < 2; ++i) { // the second execution reuses the prepared statement
        q->ParamByName(QStringLiteral("u")).SetAsString(wide);
        q->ParamByName(QStringLiteral("f")).SetAsString(polish);
        q->ParamByName(QStringLiteral("w")).SetAsString(polish);
        q->ExecQuery();
    }
    SetLines(*q, {QStringLiteral("select u, f, w, octet_length(u) as n from t")});
    q->ExecQuery();
    for (int i = 0; i < 2; ++i) {
        ASSERT_FALSE(q->Eof());
        EXPECT_EQ(q->FieldByName(QStringLiteral("u")).AsString(), wide);
        EXPECT_EQ(q->FieldByName(QStringLiteral("n")).AsInteger(), wide.toUtf8().size());
        EXPECT_EQ(q->FieldByName(QStringLiteral("f")).AsString(), polish);
        EXPECT_EQ(q->FieldByName(QStringLiteral("w")).AsString(), polish);
        q->Next();
    }
    EXPECT_TRUE(q->Eof());
    q->Close();
    tr->Rollback();
}
