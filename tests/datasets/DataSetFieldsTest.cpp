// Field definitions, field classes and the values they read.
#include "DataSetTestSupport.h"

#include "platform/DateTime.h"

namespace {

const char* TypesSchema =
    "create domain dom_boolean as integer;\n"
    "create domain dom_guid as char(16) character set octets;\n"
    "create table klucze (g dom_guid, o char(16) character set octets);\n"
    "insert into klucze values (x'00112233445566778899AABBCCDDEEFF', x'00112233445566778899AABBCCDDEEFF');\n"
    "create table typy (id integer not null primary key, v30 varchar(30), c10 char(10), c20 char(20),\n"
    "  v12 varchar(12), v13 varchar(13), sm smallint, flag dom_boolean, n92 numeric(9,2),\n"
    "  n182 numeric(18,2), n186 numeric(18,6), bi bigint, ts timestamp, d date, t time,\n"
    "  i integer default 7, memo blob sub_type 1, bin blob sub_type 0, dbl double precision);\n"
    "insert into typy values (1, 'tekst   ', 'AB', 'AB', 'dwanascie 12', 'trzynascie 13', -32768, 5,\n"
    "  12.34, 1234567.89, 1.234567, 9007199254740993, '1858-11-17 00:00:00', '2024-02-29', '23:59:59.999',\n"
    "  42, 'Łódź, żółć', 'abc', 0.5);\n"
    "insert into typy values (2, '', null, null, '', '', null, 0, -0.05, -0.01, null, -1,\n"
    "  '2100-12-31 23:59:59.999', null, null, null, null, null, null);\n"
    "insert into typy (id, v30, v12) values (3, 'A' || ascii_char(0) || 'B', 'C' || ascii_char(0) || 'D');\n"
    "insert into typy (id, v30, i) values (4, null, null);\n";

class DataSetFields : public DataSetTest {
protected:
    void SetUp() override {
        DataSetTest::SetUp();
        MakeDataSet(MakeDatabase(QStringLiteral("pFbDatabaseFormy"), QStringLiteral("typy.fdb"),
                                 QString::fromUtf8(TypesSchema)));
    }
    void OpenAt(int id) {
        if (Ds->Active()) Ds->Close();
        SetSelect(QStringLiteral("select * from typy where id = %1").arg(id));
        Ds->Open();
        ASSERT_FALSE(Ds->Eof());
    }
    TField& F(const char* name) { return Ds->FieldByName(QString::fromLatin1(name)); }
};

} // namespace

TEST_F(DataSetFields, NullAndEmptyTextBothReadEmptyAndOnlyIsNullTellsThemApart) {
    OpenAt(2);
    EXPECT_EQ(F("v30").AsString(), "");
    EXPECT_FALSE(F("v30").IsNull());
    EXPECT_EQ(F("v12").AsString(), "");
    EXPECT_FALSE(F("v12").IsNull());
    OpenAt(4);
    EXPECT_EQ(F("v30").AsString(), "");
    EXPECT_TRUE(F("v30").IsNull());
    EXPECT_TRUE(F("i").IsNull());
    EXPECT_EQ(F("i").AsInteger(), 0);
    EXPECT_EQ(F("i").AsString(), "");
    EXPECT_EQ(ErrorOf<platform::EConvertError>([&] { F("v30").AsInteger(); }),
              "'''' is not a valid integer value");
}

TEST_F(DataSetFields, CharBlanksFollowTheTrimOptionAndTheSizeAndTextEndsAtAZeroByte) {
    OpenAt(1);
    EXPECT_EQ(F("c10").AsString(), "AB");
    EXPECT_EQ(F("c20").AsString(), "AB");
    EXPECT_EQ(F("v30").AsString(), "tekst");
    EXPECT_EQ(F("v12").AsString(), "dwanascie 12");
    EXPECT_EQ(F("v13").AsString(), "trzynascie 13");
    Ds->Close();
    Ds->SetOptions(Ds->Options() & ~TpFbDsOptions(TpFbDsOption::poTrimCharFields));
    Ds->Open();
    EXPECT_EQ(F("c10").AsString(), "AB        ");
    EXPECT_EQ(F("c20").AsString(), "AB");
    EXPECT_EQ(F("v30").AsString(), "tekst   ");
    OpenAt(3);
    EXPECT_EQ(F("v30").AsString(), "A");
    EXPECT_EQ(F("v12").AsString(), "C");
}

TEST_F(DataSetFields, NumericColumnsGetTheirFieldClassesAndValues) {
    OpenAt(1);
    EXPECT_NE(dynamic_cast<TFbSmallIntField*>(&F("sm")), nullptr);
    EXPECT_EQ(F("sm").AsInteger(), -32768);
    EXPECT_NE(dynamic_cast<TFbIntegerField*>(&F("i")), nullptr);
    EXPECT_EQ(F("i").DefaultExpression(), "7");
    auto* flag = dynamic_cast<TFbBooleanField*>(&F("flag"));
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->AsInteger(), 1);
    EXPECT_EQ(flag->AsString(), "True");
    EXPECT_NE(dynamic_cast<TFbFloatField*>(&F("n92")), nullptr);
    EXPECT_DOUBLE_EQ(F("n92").AsFloat(), 12.34);
    EXPECT_EQ(F("n92").DisplayFormat(), "#,##0.00");
    EXPECT_EQ(F("n92").AsInteger(), 12);
    auto* n182 = dynamic_cast<TFbBCDField*>(&F("n182"));
    ASSERT_NE(n182, nullptr);
    EXPECT_EQ(n182->Size(), 2);
    EXPECT_EQ(n182->AsString(), "1234567,89");
    EXPECT_EQ(n182->AsLargeInt(), 1234567);
    EXPECT_NE(dynamic_cast<TFbFloatField*>(&F("n186")), nullptr);
    EXPECT_DOUBLE_EQ(F("n186").AsFloat(), 1.234567);
    auto* bi = dynamic_cast<TFbBCDField*>(&F("bi"));
    ASSERT_NE(bi, nullptr);
    EXPECT_EQ(bi->Size(), 0);
    EXPECT_EQ(bi->AsString(), "9007199254740993");
    EXPECT_NE(dynamic_cast<TFbFloatField*>(&F("dbl")), nullptr);
    EXPECT_EQ(F("dbl").AsString(), "0,5");
    OpenAt(2);
    EXPECT_EQ(F("flag").AsInteger(), 0);
    EXPECT_DOUBLE_EQ(F("n92").AsFloat(), -0.05);
    EXPECT_EQ(F("n182").AsString(), "-0,01");
    EXPECT_EQ(F("bi").AsString(), "-1");
    EXPECT_EQ(F("sm").AsString(), "");

    Ds->Close();
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psUseLargeIntField);
    Ds->Open();
    EXPECT_NE(dynamic_cast<TFbLargeIntField*>(&F("bi")), nullptr);
    Ds->Close();
    Ds->SetPrepareOptions(Ds->PrepareOptions() & ~TpPrepareOptions(TpPrepareOption::psUseBooleanField));
    Ds->Open();
    EXPECT_NE(dynamic_cast<TFbIntegerField*>(&F("flag")), nullptr);
}

// Products of NUMERIC(18,x) columns come with scales below -18 (-20, -22, -36): their values are
// exact, as doubles and, with psSQLINT64ToBCD, as scaled integers.
TEST_F(DataSetFields, ScalesBelowEighteenDecimalsKeepTheirValues) {
    Exec(QStringLiteral("create table skale (a numeric(18,10), b numeric(18,10), c numeric(18,18),\n"
                        "  d numeric(18,12), e numeric(18,10))"));
    Exec(QStringLiteral("insert into skale values (0.0617, 1, 0.000000001, 0.0000025, 0.1)"));
    SetSelect(QStringLiteral("select a * b as ab, e * d as ed, c * c as cc from skale"));
    Ds->Open();
    EXPECT_DOUBLE_EQ(F("ab").AsFloat(), 0.0617);
    EXPECT_DOUBLE_EQ(F("ed").AsFloat(), 2.5e-7);
    EXPECT_DOUBLE_EQ(F("cc").AsFloat(), 1e-18);
    Ds->Close();
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psSQLINT64ToBCD);
    Ds->Open();
    EXPECT_EQ(F("cc").Size(), 36);
    EXPECT_EQ(F("cc").AsString(), QStringLiteral("0,") + QString(17, QLatin1Char('0')) + QStringLiteral("1") +
                                      QString(18, QLatin1Char('0')));
    EXPECT_DOUBLE_EQ(F("cc").AsFloat(), 1e-18);
    EXPECT_DOUBLE_EQ(F("ab").AsFloat(), 0.0617);
    EXPECT_EQ(F("ab").AsLargeInt(), 0);
}

// Values outside the range of the integer asked for raise the conversion error instead of
// reading as another number.
TEST_F(DataSetFields, IntegersOutsideTheirRangeRaiseTheConversionError) {
    Exec(QStringLiteral("create table duze (bi bigint, n numeric(18,2), dbl double precision)"));
    Exec(QStringLiteral("insert into duze values (4294967297, 3000000000.50, 1e10)"));
    Exec(QStringLiteral("insert into duze values (-2147483649, -2147483648.4, 1e30)"));
    const auto conversion = [](const std::function<void()>& read) {
        ClientErrorOf(int(FbClientError::InvalidDataConversion), read);
    };
    SetSelect(QStringLiteral("select * from duze"));
    Ds->Open();
    for (const char* name : {"bi", "n", "dbl"})
        conversion([&] { F(name).AsInteger(); });
    EXPECT_EQ(F("bi").AsLargeInt(), 4294967297LL);
    EXPECT_EQ(F("dbl").AsLargeInt(), 10000000000LL);
    Ds->Next();
    conversion([&] { F("bi").AsInteger(); });
    EXPECT_EQ(F("n").AsInteger(), -2147483648);
    conversion([&] { F("dbl").AsLargeInt(); });
    Ds->Close();
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psUseLargeIntField);
    Ds->Open();
    ASSERT_NE(dynamic_cast<TFbLargeIntField*>(&F("bi")), nullptr);
    conversion([&] { F("bi").AsInteger(); });
    EXPECT_EQ(F("bi").AsLargeInt(), 4294967297LL);
}

TEST_F(DataSetFields, GuidDomainColumnsBecomeGuidFieldsOnlyWhenAsked) {
    SetSelect(QStringLiteral("select g, o from klucze"));
    Ds->Open();
    EXPECT_EQ(F("g").DataType(), TFieldType::ftString);
    Ds->Close();
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psUseGuidField);
    Ds->Open();
    ASSERT_NE(dynamic_cast<TFbGuidField*>(&F("g")), nullptr);
    EXPECT_EQ(F("g").Size(), 38);
    EXPECT_EQ(F("g").AsString(), "{33221100-5544-7766-8899-AABBCCDDEEFF}");
    EXPECT_EQ(F("o").DataType(), TFieldType::ftString);
}

TEST_F(DataSetFields, TimeStampsAtBothEndsOfTheRangeKeepTheirMilliseconds) {
    OpenAt(1);
    EXPECT_DOUBLE_EQ(F("ts").AsDateTime(), platform::EncodeDate(1858, 11, 17));
    EXPECT_EQ(F("ts").DisplayFormat(), "dd.mm.yyyy hh:mm AMPM");
    EXPECT_DOUBLE_EQ(F("d").AsDateTime(), platform::EncodeDate(2024, 2, 29));
    EXPECT_NEAR(F("t").AsDateTime(), platform::EncodeTime(23, 59, 59, 999), 1e-12);
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { F("ts").AsInteger(); }),
              "Cannot access field 'TS' as type Integer");
    OpenAt(2);
    const platform::TDateTime ts = F("ts").AsDateTime();
    int y, mo, d, h, mi, s, ms;
    platform::DecodeDate(ts, y, mo, d);
    platform::DecodeTime(ts, h, mi, s, ms);
    EXPECT_EQ(QList<int>({y, mo, d, h, mi, s, ms}), QList<int>({2100, 12, 31, 23, 59, 59, 999}));
    auto* field = dynamic_cast<TFbDateTimeField*>(&F("ts"));
    ASSERT_NE(field, nullptr);
    field->SetShowMsec(true);
    EXPECT_TRUE(field->AsString().endsWith(QStringLiteral(".999"))) << field->AsString().toStdString();
}

TEST_F(DataSetFields, BlobsAndMemosAreReadOncePerRowAndField) {
    OpenAt(1);
    EXPECT_EQ(F("memo").AsString(), QStringLiteral("Łódź, żółć"));
    EXPECT_EQ(dynamic_cast<TFbBlobField&>(F("bin")).AsBytes(), QByteArray("abc"));
    // The content stays with the row: readable after the transaction that could read it ended.
    Ds->Close();
    Ds->SetOptions(Ds->Options() | TpFbDsOption::poDontCloseAfterEndTransaction);
    Ds->Open();
    EXPECT_EQ(F("memo").AsString(), QStringLiteral("Łódź, żółć"));
    Tr->Commit();
    EXPECT_EQ(F("memo").AsString(), QStringLiteral("Łódź, żółć"));
    OpenAt(2);
    EXPECT_TRUE(F("memo").IsNull());
    EXPECT_EQ(F("memo").AsString(), "");
}

// With a blob cache limit only that many contents stay loaded, the least recently read going
// first; one asked for again is read again.
TEST_F(DataSetFields, TheBlobCacheLimitKeepsOnlyTheMostRecentlyReadContents) {
    Exec(QStringLiteral("create table bloby (id integer, b blob sub_type 0)"));
    Exec(QStringLiteral(
        "execute block as declare i integer = 1; begin\n"
        "  while (i <= 5) do begin insert into bloby values (:i, 'tresc ' || :i); i = i + 1; end\n"
        "end"));
    const auto walk = [&](int limit) {
        TCacheModelOptions options = Ds->CacheModelOptions();
        options.BlobCacheLimit = limit;
        if (Ds->Active()) Ds->Close();
        Ds->SetCacheModelOptions(options);
        SetSelect(QStringLiteral("select id, b from bloby order by id"));
        Ds->Open();
        for (int i = 1; i <= 5; ++i, Ds->Next())
            EXPECT_EQ(dynamic_cast<TFbBlobField&>(F("b")).AsBytes(), "tresc " + QByteArray::number(i));
        Ds->First();
        EXPECT_EQ(dynamic_cast<TFbBlobField&>(F("b")).AsBytes(), "tresc 1");
        return Ds->LoadedBlobCount();
    };
    EXPECT_EQ(walk(2), 2);
    EXPECT_EQ(walk(0), 5);
}

// String defaults that are server keywords stand as they are and DEFAULT NULL is none;
// milliseconds always show as three digits; a memo not read while its transaction ran raises
// instead of reading empty.
TEST_F(DataSetFields, KeywordDefaultsMillisecondsAndMemosAfterTheirTransactionReadRight) {
    Exec(QStringLiteral("create table drobne (id integer, u varchar(31) default USER,\n"
                        "  r varchar(31) default CURRENT_ROLE, n varchar(10) default null,\n"
                        "  t varchar(10) default 'USER', ts timestamp, memo blob sub_type 1)"));
    Exec(QStringLiteral(
        "insert into drobne (id, ts, memo) values (1, '2024-01-02 03:04:05.005', 'pierwsza')"));
    Exec(QStringLiteral("insert into drobne (id, ts, memo) values (2, '2024-01-02 03:04:05.050', 'druga')"));
    Ds->SetOptions(Ds->Options() | TpFbDsOption::poDontCloseAfterEndTransaction);
    SetSelect(QStringLiteral("select * from drobne order by id"));
    Ds->Open();
    EXPECT_EQ(F("u").DefaultExpression(), "USER");
    EXPECT_EQ(F("r").DefaultExpression(), "CURRENT_ROLE");
    EXPECT_EQ(F("n").DefaultExpression(), "");
    EXPECT_EQ(F("t").DefaultExpression(), "'USER'");
    auto* ts = dynamic_cast<TFbDateTimeField*>(&F("ts"));
    ASSERT_NE(ts, nullptr);
    ts->SetShowMsec(true);
    EXPECT_TRUE(ts->AsString().endsWith(QStringLiteral(":05.005"))) << ts->AsString().toStdString();
    EXPECT_EQ(F("memo").AsString(), "pierwsza");
    Ds->Next();
    EXPECT_TRUE(ts->AsString().endsWith(QStringLiteral(":05.050"))) << ts->AsString().toStdString();
    Tr->Commit();
    ClientErrorOf(int(FbClientError::TransactionNotActive), [&] { F("memo").AsString(); });
    Ds->First();
    EXPECT_EQ(F("memo").AsString(), "pierwsza");
}

TEST_F(DataSetFields, PolishTextReadsBackExactlyFromWin1250AndUtf8Databases) {
    const QString text = QStringLiteral("Łódź, żółć");
    const QString script =
        QStringLiteral("create table t (id integer, v varchar(20), c char(10), s varchar(5));\n"
                       "insert into t values (1, 'Łódź, żółć', 'żółć', 'Łódź');\n");
    for (const QString& charSet : {QStringLiteral("WIN1250"), QStringLiteral("UTF8")}) {
        SCOPED_TRACE(charSet.toStdString());
        auto* database = MakeDatabase(QStringLiteral("pFbDatabase") + charSet,
                                      charSet + QStringLiteral(".fdb"), script, charSet);
        auto* ds = DataSetOn(database);
        ds->SelectSQL().Add(QStringLiteral("select v, c, s from t"));
        ds->Open();
        EXPECT_EQ(ds->FieldByName(QStringLiteral("v")).AsString(), text);
        EXPECT_EQ(ds->FieldByName(QStringLiteral("c")).AsString(), QStringLiteral("żółć"));
        EXPECT_EQ(ds->FieldByName(QStringLiteral("s")).AsString(), QStringLiteral("Łódź"));
        const bool unicode = charSet == QStringLiteral("UTF8");
        EXPECT_EQ(ds->FieldByName(QStringLiteral("v")).DataType(),
                  unicode ? TFieldType::ftWideString : TFieldType::ftString);
        EXPECT_EQ(ds->FieldByName(QStringLiteral("v")).Size(), 20);
        if (!unicode) continue;
        // A byte order mark in front is a character of the text and stays one.
        ds->Close();
        ds->SelectSQL().Clear();
        ds->SelectSQL().Add(QStringLiteral("select cast('\uFEFFab' as varchar(5)) m from rdb$database"));
        ds->Open();
        EXPECT_EQ(ds->FieldByName(QStringLiteral("m")).AsString(), QStringLiteral("\uFEFFab"));
    }
}

// Table and column names with Polish letters or a double quote keep their facts (Boolean domain,
// default, origin) on WIN1250 and UTF8 connections alike.
TEST_F(DataSetFields, PolishAndQuotedNamesKeepTheirColumnFactsOnEveryConnection) {
    const QString script =
        QStringLiteral("create domain dom_boolean as integer;\n"
                       "create table \"Łódź\" (id integer, \"Żółw\" dom_boolean default 1, \"Opis_ą\" "
                       "varchar(10) default 'abc');\n"
                       "create table \"a\"\"b\" (id integer, flaga dom_boolean);\n"
                       "insert into \"Łódź\" values (1, 1, 'x');\ninsert into \"a\"\"b\" values (1, 0);\n");
    for (const QString& charSet : {QStringLiteral("WIN1250"), QStringLiteral("UTF8")}) {
        SCOPED_TRACE(charSet.toStdString());
        auto* database =
            MakeDatabase(QStringLiteral("pFbDatabase") + charSet,
                         QStringLiteral("nazwy_") + charSet + QStringLiteral(".fdb"), script, charSet);
        auto* ds = DataSetOn(database);
        ds->SelectSQL().Add(QStringLiteral("select * from \"Łódź\""));
        ds->Open();
        EXPECT_NE(dynamic_cast<TFbBooleanField*>(&ds->FieldByName(QStringLiteral("Żółw"))), nullptr);
        TField& opis = ds->FieldByName(QStringLiteral("Opis_ą"));
        EXPECT_EQ(opis.DefaultExpression(), QStringLiteral("'abc'"));
        EXPECT_EQ(opis.Origin(), QStringLiteral("Łódź.Opis_ą"));
        ds->Close();
        ds->SelectSQL().Clear();
        ds->SelectSQL().Add(QStringLiteral("select * from \"a\"\"b\""));
        ds->Open();
        EXPECT_NE(dynamic_cast<TFbBooleanField*>(&ds->FieldByName(QStringLiteral("FLAGA"))), nullptr);
        EXPECT_EQ(ds->FieldByName(QStringLiteral("FLAGA")).Origin(), QStringLiteral("a\"b.FLAGA"));
    }
}

TEST_F(DataSetFields, FieldByNameIgnoresCaseAndNamesTheDataSetWhenNothingMatches) {
    SetSelect(QStringLiteral("select id, v30 as \"Nazwa\" from typy order by id"));
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { Ds->FieldByName(QStringLiteral("id")); }),
              "pFbDataSetFormy: Field 'id' not found");
    Ds->Open();
    for (const char* name : {"nazwa", "NAZWA", "NaZwA"})
        EXPECT_EQ(&Ds->FieldByName(QString::fromLatin1(name)), Ds->Fields().at(1)) << name;
    EXPECT_EQ(Ds->FindField(QStringLiteral("brak")), nullptr);
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { Ds->FieldByName(QStringLiteral("brak")); }),
              "pFbDataSetFormy: Field 'brak' not found");
    EXPECT_EQ(Ds->FieldByName(QStringLiteral("ID")).Origin(), "TYPY.ID");
}

TEST_F(DataSetFields, TheMouldListReadsAsTheUpdateRunReadsIt) {
    auto* db = MakeDatabase(
        QStringLiteral("pFbDatabaseFormy2"), QStringLiteral("formy_db.fdb"),
        QStringLiteral(
            "create table formy (id integer not null primary key, nazwa varchar(60), kod1 varchar(20),\n"
            "  counter integer, countmode integer, id_vorek integer, counttch timestamp);\n"
            "insert into formy values (150, 'Pokrywa żółta', 'K150', 500, 1, 7, null);\n"
            "insert into formy values (151, 'Forma 151', null, null, 1, 8, null);\n"
            "insert into formy values (152, 'Forma 152', 'K152', 0, 0, 9, null);\n"
            "insert into formy values (153, 'Forma 153', 'K153', 3, 1, 0, null);\n"));
    auto* ds = DataSetOn(db);
    // One run as the update run makes it: close if open, replace the text, open, walk.
    auto run = [&] {
        if (ds->Active()) ds->Close();
        ds->SelectSQL().Clear();
        ds->SelectSQL().Add(QStringLiteral("select id,nazwa,kod1,counter,countmode,id_vorek from  formy "
                                           "where  countmode=1  and id_vorek<>0"));
        ds->Open();
        ds->First();
        QStringList rows;
        while (!ds->Eof()) {
            rows << QStringLiteral("%1|%2|%3|%4|%5")
                        .arg(ds->FieldByName(QStringLiteral("id")).AsInteger())
                        .arg(ds->FieldByName(QStringLiteral("nazwa")).AsString(),
                             ds->FieldByName(QStringLiteral("kod1")).AsString())
                        .arg(ds->FieldByName(QStringLiteral("counter")).AsInteger())
                        .arg(ds->FieldByName(QStringLiteral("id_vorek")).AsInteger());
            ds->Next();
        }
        rows.sort();
        return rows;
    };
    EXPECT_EQ(run(), QStringList({QStringLiteral("150|Pokrywa żółta|K150|500|7"),
                                  QStringLiteral("151|Forma 151||0|8")}));
    // The next run, in the same still active transaction, sees what was committed since.
    Exec(QStringLiteral("update formy set counter = 1500 where id = 150"), db);
    EXPECT_TRUE(ds->Transaction()->Active());
    EXPECT_EQ(run(), QStringList({QStringLiteral("150|Pokrywa żółta|K150|1500|7"),
                                  QStringLiteral("151|Forma 151||0|8")}));
    QStringList names;
    for (TField* f : ds->Fields())
        names << f->FieldName();
    EXPECT_EQ(names, QStringList({"ID", "NAZWA", "KOD1", "COUNTER", "COUNTMODE", "ID_VOREK"}));
    EXPECT_NE(dynamic_cast<TFbStringField*>(&ds->FieldByName(QStringLiteral("nazwa"))), nullptr);
    EXPECT_NE(dynamic_cast<TFbIntegerField*>(&ds->FieldByName(QStringLiteral("counter"))), nullptr);
    EXPECT_TRUE(ds->Active());
}
