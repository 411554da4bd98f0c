// Getters and setters of single items: dates and times to the millisecond, scaled integers,
// the getter table's conversions and errors, variants.
#include "ValuesTestSupport.h"

#include "platform/DateTime.h"

#include <QPoint>
#include <cmath>

using platform::EncodeDate;
using platform::EncodeTime;
using platform::TDateTime;

using namespace db::statements;

namespace {

struct StoredTimeStamp {
    ISC_DATE date;
    ISC_TIME time;
};

StoredTimeStamp StoredTs(const TFbXSQLVAR& item) {
    StoredTimeStamp ts;
    std::memcpy(&ts.date, item.Data()->sqldata, 4);
    std::memcpy(&ts.time, item.Data()->sqldata + 4, 4);
    return ts;
}

TFbXSQLVAR& FreshParam(TTestQuery& q) {
    q.User.SetCount(1);
    q.User.AddName(QStringLiteral("p"), 0, false);
    return q.User.Vars(0);
}

} // namespace

TEST(DateTimeValues, DateTimeStoresClientDateAndTimeAndReadsBackToTheMillisecond) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    const TDateTime when = EncodeDate(2019, 3, 31) + EncodeTime(11, 56, 4, 500);
    p.SetAsDateTime(when);
    EXPECT_EQ(p.SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(p.Size(), 8);
    EXPECT_EQ(StoredTs(p).date, 58573);
    EXPECT_EQ(StoredTs(p).time, 429645000u);
    EXPECT_EQ(platform::DateTimeToTimeStamp(p.AsDateTime()).Time, platform::DateTimeToTimeStamp(when).Time);
    EXPECT_NEAR(p.AsDateTime(), when, 0.5 / platform::MSecsPerDay);
    EXPECT_EQ(p.AsTimeStamp().Date, 693594 + 43555);
    EXPECT_EQ(p.AsTimeStamp().Time, 42964500);

    // Before 1899-12-30 the fraction counts backwards: -1.5 is 1899-12-28 12:00.
    p.SetAsDateTime(-1.5);
    EXPECT_EQ(StoredTs(p).date, 15017);
    EXPECT_EQ(StoredTs(p).time, 432000000u);
    EXPECT_DOUBLE_EQ(p.AsDateTime(), -1.5);
}

TEST(DateTimeValues, DateAndTimeSettersAndColumnTypes) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    p.SetAsDate(43555.75);
    EXPECT_EQ(StoredTs(p).date, 58573);
    EXPECT_EQ(StoredTs(p).time, 0u);
    p.SetAsTime(0.25);
    EXPECT_EQ(StoredTs(p).date, 15018);
    EXPECT_EQ(StoredTs(p).time, 216000000u);

    const ISC_DATE date = 58573;
    TFbXSQLVAR& d = ColumnValue(q, SQL_TYPE_DATE, 0, 4, &date);
    EXPECT_DOUBLE_EQ(d.AsDateTime(), 43555.0);
    EXPECT_EQ(d.AsTimeStamp().Date, 693594 + 43555);
    EXPECT_EQ(d.AsTimeStamp().Time, 0);
    EXPECT_EQ(d.AsAnsiString(), QByteArray("2019-03-31"));

    const ISC_TIME time = 429645000;
    TFbXSQLVAR& t = ColumnValue(q, SQL_TYPE_TIME, 0, 4, &time);
    EXPECT_DOUBLE_EQ(t.AsDateTime(), 429645000.0 / 864000000.0);
    EXPECT_EQ(t.AsTimeStamp().Date, 0);
    EXPECT_EQ(t.AsTimeStamp().Time, 42964500);
    EXPECT_EQ(t.AsAnsiString(), QByteArray("11:56:04"));

    const ISC_TIMESTAMP ts{58573, 429645000};
    TFbXSQLVAR& s = ColumnValue(q, SQL_TIMESTAMP, 0, 8, &ts);
    EXPECT_EQ(s.AsString(), QStringLiteral("2019-03-31 11:56:04"));
    EXPECT_EQ(s.AsVariant().value<TVarDate>().Value, s.AsDateTime());
    ExpectClientError(33, [&] { (void)s.AsInteger(); });
    ExpectClientError(33, [&] { (void)s.AsDouble(); });
}

TEST(DateTimeValues, NullAndTextAndWrongTypes) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(p.AsDateTime(), 0);
    EXPECT_EQ(p.AsTimeStamp().Date, 0);
    EXPECT_EQ(p.AsTimeStamp().Time, 0);

    p.SetAsAnsiString("2019-03-31 11:56:04.500");
    EXPECT_NEAR(p.AsDateTime(), EncodeDate(2019, 3, 31) + EncodeTime(11, 56, 4, 500), 1e-9);
    p.SetAsAnsiString("31.03.2019");
    ExpectClientError(33, [&] { (void)p.AsDateTime(); });
    p.SetAsInteger(5);
    ExpectClientError(33, [&] { (void)p.AsDateTime(); });
    ExpectClientError(33, [&] { (void)p.AsTimeStamp(); });
}

TEST(ScaledIntegers, AnsiStringOfInt64IsTheExactDecimal) {
    TSettingsGuard guard;
    TTestQuery q;
    const auto text = [&](int64_t value, short scale) {
        return ColumnValue(q, SQL_INT64, scale, 8, &value).AsAnsiString();
    };
    platform::RegionalSettings().DecimalSeparator = QLatin1Char('.');
    EXPECT_EQ(text(1234, -2), QByteArray("12.34"));
    EXPECT_EQ(text(1200, -2), QByteArray("12"));
    EXPECT_EQ(text(5, -2), QByteArray("0.05"));
    EXPECT_EQ(text(0, -2), QByteArray("0"));
    EXPECT_EQ(text(-5, -2), QByteArray("-0.05"));
    EXPECT_EQ(text(-1230, -3), QByteArray("-1.23"));
    EXPECT_EQ(text(INT64_MIN, -4), QByteArray("-922337203685477.5808"));
    EXPECT_EQ(text(42, 0), QByteArray("42"));
    platform::RegionalSettings().DecimalSeparator = QLatin1Char(',');
    EXPECT_EQ(text(1234, -2), QByteArray("12,34"));
    EXPECT_EQ(text(7, 2), QByteArray("700"));
}

TEST(ScaledIntegers, IntegerGettersTruncateAndKeepTheLow32Bits) {
    TTestQuery q;
    const int64_t big = (int64_t(1) << 32) + 7;
    TFbXSQLVAR& c = ColumnValue(q, SQL_INT64, 0, 8, &big);
    EXPECT_EQ(c.AsInteger(), 7);
    EXPECT_EQ(c.AsInt64(), big);
    const int64_t three = 3000000000LL;
    EXPECT_EQ(ColumnValue(q, SQL_INT64, 0, 8, &three).AsInteger(),
              int(int64_t(3000000000LL) - (int64_t(1) << 32)));

    const int64_t price = 1299; // NUMERIC(10,2) 12.99
    TFbXSQLVAR& n = ColumnValue(q, SQL_INT64, -2, 8, &price);
    EXPECT_EQ(n.AsInteger(), 12);
    EXPECT_EQ(n.AsInt64(), 12);
    EXPECT_EQ(n.AsShort(), 12);
    EXPECT_DOUBLE_EQ(n.AsDouble(), 12.99);
    EXPECT_EQ(n.AsCurrency().Scaled, 129900);
    EXPECT_EQ(n.AsVariant().toDouble(), 12.99);
    const int64_t negative = -1299;
    EXPECT_EQ(ColumnValue(q, SQL_INT64, -2, 8, &negative).AsInteger(), -12);

    const int32_t scaledLong = 1299;
    TFbXSQLVAR& l = ColumnValue(q, SQL_LONG, -2, 4, &scaledLong);
    EXPECT_EQ(l.AsInteger(), 12);
    EXPECT_EQ(l.AsAnsiString(), QByteArray("12,99"));
    EXPECT_EQ(l.AsVariant().typeId(), QMetaType::Double);

    const int16_t small = -70;
    TFbXSQLVAR& s = ColumnValue(q, SQL_SHORT, 0, 2, &small);
    EXPECT_EQ(s.AsInteger(), -70);
    EXPECT_EQ(s.AsVariant(), QVariant(-70));
    EXPECT_FALSE(s.AsBoolean());

    const int32_t lowBits = 0x12345;
    EXPECT_EQ(ColumnValue(q, SQL_LONG, 0, 4, &lowBits).AsShort(), short(0x2345));

    const double real = -7.9;
    TFbXSQLVAR& r = ColumnValue(q, SQL_DOUBLE, 0, 8, &real);
    EXPECT_EQ(r.AsInteger(), -7);
    EXPECT_EQ(r.AsInt64(), -7);
    ExpectClientError(33, [&] { (void)r.AsBoolean(); });
    const double huge = 1e300;
    TFbXSQLVAR& h = ColumnValue(q, SQL_DOUBLE, 0, 8, &huge);
    ExpectClientError(33, [&] { (void)h.AsSingle(); });
    ExpectClientError(33, [&] { (void)h.AsInt64(); });
}

TEST(ScaledIntegers, NullSumReadsZeroAndColumnsAreNullBeforeTheFirstFetch) {
    TTestQuery q;
    const int64_t sum = 0;
    TFbXSQLVAR& c = ColumnValue(q, SQL_INT64, 0, 8, &sum);
    *c.Data()->sqlind = -1;
    EXPECT_TRUE(c.IsNull());
    EXPECT_EQ(c.AsInteger(), 0);
    EXPECT_EQ(c.AsCurrency().Scaled, 0);
    EXPECT_EQ(c.AsAnsiString(), QByteArray());
    EXPECT_TRUE(VarIsNull(c.AsVariant()));
    EXPECT_EQ(c.AsPointer(), nullptr);

    *c.Data()->sqlind = 0;
    EXPECT_FALSE(c.IsNull());
    q.Records = 0;
    EXPECT_TRUE(c.IsNull());
    q.ProcExec = true;
    EXPECT_FALSE(c.IsNull());
}

TEST(NumericSetters, TypesLengthsAndDialects) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    p.SetAsInteger(77);
    EXPECT_EQ(p.SQLType(), SQL_LONG);
    EXPECT_EQ(p.Size(), 4);
    EXPECT_EQ(p.AsInteger(), 77);
    p.SetAsShort(-3);
    EXPECT_EQ(p.SQLType(), SQL_SHORT);
    EXPECT_EQ(p.Size(), 2);
    p.SetAsBoolean(true);
    EXPECT_EQ(p.SQLType(), SQL_SHORT);
    EXPECT_TRUE(p.AsBoolean());
    p.SetAsDouble(2.5);
    EXPECT_EQ(p.SQLType(), SQL_DOUBLE);
    EXPECT_EQ(p.Size(), 8);
    p.SetAsSingle(1.25f);
    EXPECT_EQ(p.SQLType(), SQL_FLOAT);
    EXPECT_EQ(p.Size(), 4);
    EXPECT_EQ(p.AsSingle(), 1.25f);

    const int64_t big = (int64_t(5) << 32) | 9;
    p.SetAsInt64(big);
    EXPECT_EQ(p.SQLType(), SQL_INT64);
    EXPECT_EQ(p.AsInt64(), big);
    p.SetAsCurrency(TCurrency{123456});
    EXPECT_EQ(p.SQLType(), SQL_INT64);
    EXPECT_EQ(p.Scale(), -4);
    EXPECT_DOUBLE_EQ(p.AsDouble(), 12.3456);
    EXPECT_EQ(p.AsCurrency().Scaled, 123456);

    p.SetAsExtended(12.5L);
    EXPECT_EQ(p.SQLType(), SQL_INT64);
    EXPECT_EQ(p.Scale(), -16);
    EXPECT_EQ(p.AsInt64(), 12);
    int64_t raw;
    std::memcpy(&raw, p.Data()->sqldata, 8);
    EXPECT_EQ(raw, 125000000000000000LL);
    p.SetAsExtended(-0.5L);
    EXPECT_EQ(p.Scale(), -18);
    std::memcpy(&raw, p.Data()->sqldata, 8);
    EXPECT_EQ(raw, -500000000000000000LL);
    EXPECT_EQ(double(p.AsExtended()), -0.5);

    q.Dialect = 1;
    p.SetAsInt64(big);
    EXPECT_EQ(p.SQLType(), SQL_LONG);
    EXPECT_EQ(p.AsInteger(), 9);
    p.SetAsCurrency(TCurrency{123456});
    EXPECT_EQ(p.SQLType(), SQL_DOUBLE);
    EXPECT_DOUBLE_EQ(p.AsDouble(), 12.3456);
    p.SetAsExtended(12.5L);
    EXPECT_EQ(p.SQLType(), SQL_DOUBLE);
}

TEST(TextGetters, ParsingWithTheLocaleAndErrors) {
    TSettingsGuard guard;
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    p.SetAsAnsiString(" 123 ");
    EXPECT_EQ(p.AsInteger(), 123);
    EXPECT_EQ(p.AsInt64(), 123);
    p.SetAsAnsiString("12,5");
    EXPECT_DOUBLE_EQ(p.AsDouble(), 12.5);
    EXPECT_EQ(p.AsCurrency().Scaled, 125000);
    ExpectClientError(33, [&] { (void)p.AsInteger(); });
    ExpectClientError(33, [&] { (void)p.AsBoolean(); });
    p.SetAsAnsiString("12.5");
    ExpectClientError(33, [&] { (void)p.AsDouble(); });
    platform::RegionalSettings().DecimalSeparator = QLatin1Char('.');
    EXPECT_DOUBLE_EQ(p.AsDouble(), 12.5);
    p.SetAsAnsiString("99999999999");
    ExpectClientError(33, [&] { (void)p.AsInteger(); });
    EXPECT_EQ(p.AsInt64(), 99999999999LL);
}

TEST(OtherTypes, BooleanArrayNullAndUnknownTypes) {
    TTestQuery q;
    const unsigned char yes = 1;
    TFbXSQLVAR& b = ColumnValue(q, SQL_BOOLEAN, 0, 1, &yes);
    EXPECT_TRUE(b.AsBoolean());
    EXPECT_EQ(b.AsInteger(), 1);
    EXPECT_EQ(b.AsDouble(), 1.0);
    EXPECT_EQ(b.AsAnsiString(), QByteArray("True"));
    EXPECT_EQ(b.AsVariant(), QVariant(true));

    const ISC_QUAD id{1, 2};
    TFbXSQLVAR& a = ColumnValue(q, SQL_ARRAY, 0, 8, &id);
    EXPECT_EQ(a.AsAnsiString(), QByteArray("(ARRAY)"));
    EXPECT_EQ(a.AsVariant(), QVariant(QStringLiteral("(Array)")));
    EXPECT_EQ(a.AsQuad().gds_quad_low, 2u);
    ExpectClientError(33, [&] { (void)a.AsInteger(); });

    TFbXSQLVAR& n = ColumnValue(q, SQL_NULL, 0, 0, nullptr);
    EXPECT_TRUE(n.IsNull());
    EXPECT_EQ(n.AsInteger(), 0);

    q.Columns.SetCount(1);
    Describe(q.Columns, 0, 998, 0, 4);
    const QString message = ExpectClientError(30, [&] { q.Columns.InitializeVars(); });
    EXPECT_EQ(message, QStringLiteral("Unknown SQL Data type (998)."));
}

TEST(Variants, SetterChoosesTheTypeAndGetterMirrorsIt) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    p.SetAsVariant(QVariant(true));
    EXPECT_EQ(p.SQLType(), SQL_LONG);
    EXPECT_EQ(p.AsInteger(), 1);
    EXPECT_EQ(TFbXSQLVAR::VariantTrue.typeId(), QMetaType::UChar);
    p.SetAsVariant(QVariant(short(-4)));
    EXPECT_EQ(p.SQLType(), SQL_LONG);
    p.SetAsVariant(QVariant(uint(4000000000u)));
    EXPECT_EQ(p.SQLType(), SQL_INT64);
    EXPECT_EQ(p.AsInt64(), 4000000000LL);
    p.SetAsVariant(QVariant(qlonglong(1) << 40));
    EXPECT_EQ(p.SQLType(), SQL_INT64);
    EXPECT_EQ(p.AsVariant(), QVariant(qlonglong(1) << 40));
    p.SetAsVariant(QVariant(2.75));
    EXPECT_EQ(p.SQLType(), SQL_DOUBLE);
    EXPECT_EQ(p.AsVariant(), QVariant(2.75));
    p.SetAsVariant(QVariant::fromValue(TCurrency{25000}));
    EXPECT_EQ(p.Scale(), -4);
    EXPECT_EQ(p.AsVariant().toDouble(), 2.5);
    p.SetAsVariant(QVariant::fromValue(TVarDate{43555.5}));
    EXPECT_EQ(p.SQLType(), SQL_TIMESTAMP);
    EXPECT_DOUBLE_EQ(p.AsVariant().value<TVarDate>().Value, 43555.5);
    p.SetAsVariant(QVariant(QStringLiteral("Łódź")));
    EXPECT_EQ(p.SQLType(), SQL_TEXT);
    EXPECT_EQ(p.AsVariant(), QVariant(QStringLiteral("Łódź")));
    p.SetAsVariant(QVariant(QByteArray("abc")));
    EXPECT_EQ(p.AsVariant(), QVariant(QByteArray("abc")));
    p.SetAsVariant(VarNull());
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(VarIsNull(p.AsVariant()));
    p.SetAsVariant(QVariant());
    EXPECT_TRUE(p.IsNull());
    ExpectClientError(2, [&] { p.SetAsVariant(QVariant(QPoint(1, 2))); });
}

TEST(Variants, ServerTypeDecidesDatesAndNumbers) {
    TTestQuery q;
    q.Server.SetCount(3);
    Describe(q.Server, 0, SQL_TYPE_DATE, 0, 4);
    Describe(q.Server, 1, SQL_TYPE_TIME, 0, 4);
    Describe(q.Server, 2, SQL_TIMESTAMP, 0, 8);
    q.Server.InitializeVars();
    TFbXSQLVAR& date = q.Server.Vars(0);
    date.SetAsVariant(QVariant::fromValue(TVarDate{43555.75}));
    EXPECT_EQ(StoredTs(date).time, 0u);
    TFbXSQLVAR& time = q.Server.Vars(1);
    time.SetAsVariant(QVariant::fromValue(TVarDate{0.5}));
    EXPECT_EQ(StoredTs(time).date, 15018);
    EXPECT_EQ(StoredTs(time).time, 432000000u);
    // A number given to a timestamp is a date-time.
    TFbXSQLVAR& stamp = q.Server.Vars(2);
    stamp.SetAsVariant(QVariant(43555.5));
    EXPECT_EQ(stamp.SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(StoredTs(stamp).date, 58573);
    EXPECT_EQ(StoredTs(stamp).time, 432000000u);
    EXPECT_FALSE(stamp.IsDefferedSetting());
}

TEST(DateTimeValues, RoundingToAWholeDayCarriesToTheNextMidnightOnBothSidesOfTheEpoch) {
    TTestQuery q;
    TFbXSQLVAR& p = FreshParam(q);
    struct Case {
        TDateTime value;
        ISC_DATE date; // client day number (1899-12-30 is 15018)
        ISC_TIME time;
    } cases[] = {
        {-1.99999999999, 15018, 0},  // 1899-12-29 23:59:59.99999 -> 1899-12-30 00:00
        {-1.00000000001, 15017, 0},  // 1899-12-29 00:00:00.00001 -> 1899-12-29 00:00
        {-2.5, 15016, 432000000u},   // 1899-12-28 12:00
        {-0.99999999999, 15019, 0},  // 1899-12-30 23:59:59.99999 -> 1899-12-31 00:00
        {1.99999999999, 15020, 0},   // 1899-12-31 23:59:59.99999 -> 1900-01-01 00:00
        {1.00000000001, 15019, 0},   // 1899-12-31 00:00
        {43555.999999999, 58574, 0}, // 2019-03-31 23:59:59.9999 -> 2019-04-01 00:00
    };
    for (const Case& c : cases) {
        p.SetAsDateTime(c.value);
        EXPECT_EQ(StoredTs(p).date, c.date) << c.value;
        EXPECT_EQ(StoredTs(p).time, c.time) << c.value;
    }
}
