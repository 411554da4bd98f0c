// Values through parameters and columns against the server: blobs of text and bytes.
#include "QueryTestSupport.h"

#include "ComponentFixtures.h"

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

// Text parameters, set once prepared (so in the form the server described), store and compare as
// text of their own length would: trailing blanks, empty text, Polish letters and bytes on WIN1250
// and UTF8 connections, values longer than the column, comparisons, LIKE and concatenation.
TEST_F(QueryValues, TextParametersStoreAndCompareAsTheirTextWhateverTheConnection) {
    const QString path = Dir.filePath(QStringLiteral("teksty.fdb"));
    RunIsql(QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                           "create table txt (id integer, v varchar(10), u varchar(5) character set utf8,\n"
                           "  o varchar(4) character set octets, c char(6));\ncommit;\n")
                .arg(path));
    QStringList seen;
    for (const QString& charSet : {QStringLiteral("WIN1250"), QStringLiteral("UTF8")}) {
        auto* db = ConnectedDatabase(Form.get(), QStringLiteral("teksty") + charSet, path);
        db->SetConnected(false);
        db->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=tulipwand"),
                         QStringLiteral("lc_ctype=") + charSet});
        db->SetConnected(true);
        TpFbTransaction* tr = NewTransaction(QStringLiteral("tekstyTr") + charSet, db);
        TpFbQuery* q = NewQuery(QStringLiteral("tekstyQ") + charSet, db, tr);
        tr->StartTransaction();
        SetLines(*q, {QStringLiteral("insert into txt (id, v, u, o, c) values (:id, :v, :u, :o, :c)")});
        q->Prepare();
        const auto insert = [&](int id, const QString& v, const QString& u, const QByteArray& o,
                                const QString& c) {
            q->ParamByName(QStringLiteral("id")).SetAsInteger(id);
            q->ParamByName(QStringLiteral("v")).SetAsString(v);
            q->ParamByName(QStringLiteral("u")).SetAsString(u);
            q->ParamByName(QStringLiteral("o")).SetAsAnsiString(o);
            q->ParamByName(QStringLiteral("c")).SetAsString(c);
            try {
                q->ExecQuery();
                seen << QStringLiteral("%1 stored").arg(id);
            } catch (const EFbInterBaseError& e) {
                // The server's wording around the truncation may differ; that it refuses may not.
                const bool truncation =
                    e.IBMessage().contains(QStringLiteral("string right truncation"), Qt::CaseInsensitive);
                seen << QStringLiteral("%1 %2").arg(id).arg(truncation ? QStringLiteral("refused")
                                                                       : e.IBMessage());
            }
        };
        insert(1, QStringLiteral("ab  "), QStringLiteral("żółć"), QByteArray("ab"), QStringLiteral("x"));
        insert(2, QString(), QStringLiteral("abcde"), QByteArray(), QString());
        insert(3, QStringLiteral("Łódź "), QStringLiteral("ż"), QByteArray("\x01\x02\x03\x04", 4),
               QStringLiteral("ą  "));
        insert(4, QStringLiteral("abcdefghij   "), QStringLiteral("a"), QByteArray("a"), QStringLiteral("a"));
        insert(5, QStringLiteral("abcdefghijk"), QStringLiteral("a"), QByteArray("a"), QStringLiteral("a"));
        insert(6, QStringLiteral("a"), QStringLiteral("abcdef"), QByteArray("a"), QStringLiteral("a"));
        insert(7, QStringLiteral("a"), QStringLiteral("żółćż "), QByteArray("abcde"), QStringLiteral("a"));
        SetLines(*q, {QStringLiteral(
                         "select id, octet_length(v), v || '|', char_length(u), u || '|', octet_length(o),"
                         " c || '|' from txt order by id")});
        q->ExecQuery();
        for (; !q->Eof(); q->Next()) {
            QStringList row;
            for (int i = 0; i < q->FieldCount(); ++i)
                row << q->Fields(i).AsString();
            seen << row.join(QLatin1Char(';'));
        }
        q->Close();
        const auto count = [&](const QString& sql, const QString& value) {
            SetLines(*q, {sql});
            q->Prepare();
            q->ParamByName(QStringLiteral("p")).SetAsString(value);
            q->ExecQuery();
            seen << sql + QStringLiteral(" [") + value + QStringLiteral("] ") + q->Fields(0).AsString();
            q->Close();
        };
        count(QStringLiteral("select count(*) from txt where v = :p"), QStringLiteral("ab"));
        count(QStringLiteral("select count(*) from txt where v = :p"), QStringLiteral("Łódź"));
        count(QStringLiteral("select count(*) from txt where u = :p"), QStringLiteral("żółć "));
        count(QStringLiteral("select count(*) from txt where v starting with :p"), QStringLiteral("ab "));
        count(QStringLiteral("select count(*) from rdb$database where 'ab' like :p"), QStringLiteral("ab "));
        count(QStringLiteral("select cast(:p as varchar(10)) || '|' from rdb$database"),
              QStringLiteral("ż "));
        tr->Rollback();
    }
    const QString truncated = QStringLiteral("refused");
    const QStringList each = {
        QStringLiteral("1 stored"),
        QStringLiteral("2 stored"),
        QStringLiteral("3 stored"),
        QStringLiteral("4 stored"),
        QStringLiteral("5 ") + truncated,
        QStringLiteral("6 ") + truncated,
        QStringLiteral("7 ") + truncated,
        QStringLiteral("1;4;ab  |;4;żółć|;2;x     |"),
        QStringLiteral("2;0;|;5;abcde|;0;      |"),
        QStringLiteral("3;5;Łódź |;1;ż|;4;ą     |"),
        QStringLiteral("4;10;abcdefghij|;1;a|;1;a     |"),
        QStringLiteral("select count(*) from txt where v = :p [ab] 1"),
        QStringLiteral("select count(*) from txt where v = :p [Łódź] 1"),
        QStringLiteral("select count(*) from txt where u = :p [żółć ] 1"),
        QStringLiteral("select count(*) from txt where v starting with :p [ab ] 1"),
        QStringLiteral("select count(*) from rdb$database where 'ab' like :p [ab ] 1"),
        QStringLiteral("select cast(:p as varchar(10)) || '|' from rdb$database [ż ] ż |")};
    EXPECT_EQ(seen, each + each);
}
