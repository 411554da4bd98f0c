// The record cache: block sizing, the string collection, old values and the change log, and rows
// fetched from a real database stored and read back for every SQL type.

#include "db/datasets/FbCacheManage.h"
#include "db/datasets/FbRecordLayout.h"
#include "db/statements/FbQuery.h"

#include "ComponentFixtures.h"
#include "FirebirdScript.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

template <class F> QString CacheErrorOf(F body) {
    try {
        body();
    } catch (const EMemManagerError& e) {
        return e.Message();
    }
    return QStringLiteral("no EMemManagerError");
}

template <class T> T Read(const char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

TEST(RecordCacheTest, BlocksFollowTheSizeRuleAndMissingBlocksFail) {
    // 32 x 10 bytes is below 1024: the block is the next multiple of the row buffer size (85).
    TRecordsCache small(32, 0, 10, 85);
    EXPECT_EQ(small.BlockSize(), 1105);
    EXPECT_EQ(small.RecInBlock(), 110);
    TRecordsCache large(128, 0, 10, 85);
    EXPECT_EQ(large.BlockSize(), 1280);
    TRecordsCache exact(32, 0, 8, 64); // 1024 is a multiple of 64: the next one above it
    EXPECT_EQ(exact.BlockSize(), 1088);

    char buffer[85] = {};
    EXPECT_EQ(CacheErrorOf([&] { small.ReadRecord(1, buffer); }), "Can't read Buffer.Incorrect RecordNo");
    for (int r = 1; r <= 110; ++r)
        small.PrepareMemory(r)[1] = char(r);
    EXPECT_EQ(small.BlockCount(), 1);
    small.PrepareMemory(111);
    EXPECT_EQ(small.BlockCount(), 2);
    EXPECT_EQ(small.Capacity(), 220);
    EXPECT_EQ(small.GetSize(), 2 * 1105);
    small.ReadRecord(110, buffer);
    EXPECT_EQ(buffer[1], char(110));
    EXPECT_EQ(CacheErrorOf([&] { small.ReadRecord(221, buffer); }), "Can't read Buffer.Incorrect RecordNo");
    EXPECT_EQ(CacheErrorOf([&] { small.ReadRecord(0, buffer); }), "Can't read Buffer.Incorrect RecordNo");
    EXPECT_EQ(CacheErrorOf([&] { small.WriteRecord(300, buffer, false); }),
              "Can't write to Buffer.Incorrect RecordNo");
    EXPECT_EQ(CacheErrorOf([&] { small.WriteField(300, 0, 1, nullptr); }),
              "Can't write to Field to Buffer.Incorrect RecordNo");
    EXPECT_EQ(CacheErrorOf([&] { small.GetNonStringFieldData(112, 0); }),
              "Can't read  FieldData .Incorrect RecordNo");
    EXPECT_EQ(small.BlockCount(), 2) << "a failed call leaves the cache as it was";
}

TEST(RecordCacheTest, ManyBlocksStayZeroFilledApartAndInPlace) {
    // Blocks of 32 000 bytes: 10 000 records take 313 of them, cut from several pieces of memory.
    TRecordsCache cache(32, 0, 1000, 1005);
    std::vector<char*> places;
    for (int r = 1; r <= 10000; ++r) {
        char* stored = cache.PrepareMemory(r);
        ASSERT_TRUE(std::all_of(stored, stored + 1000, [](char c) { return c == 0; })) << r;
        std::memset(stored, char(r % 251 + 1), 1000);
        places.push_back(stored);
    }
    EXPECT_EQ(cache.BlockCount(), 313);
    std::vector<char> buffer(1005);
    for (int r = 1; r <= 10000; ++r) {
        ASSERT_EQ(cache.PrepareMemory(r), places[size_t(r - 1)]) << r;
        cache.ReadRecord(r, buffer.data() + 5);
        ASSERT_TRUE(std::all_of(buffer.begin() + 5, buffer.end(), [r](char c) {
            return c == char(r % 251 + 1);
        })) << r;
    }
}

TEST(RecordCacheTest, StringCollectionKeepsEveryValueUnderRandomRewrites) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    TStringCollection strings(2);
    std::vector<QByteArray> model[2];
    for (int step = 0; step < 60000; ++step) {
        const int x = int(random() % 2);
        // Mostly appends (a fetch), then rewrites anywhere (editing, ring slots), some of them long.
        if (strings.Count() < 300 || random() % 4 == 0) {
            strings.AddRow();
            model[0].emplace_back();
            model[1].emplace_back();
        }
        const int y = random() % 3 == 0 ? int(random() % strings.Count()) : strings.Count() - 1;
        const int length = random() % 50 == 0 ? int(random() % 3000) : int(random() % 40);
        QByteArray value(length, char('a' + step % 26));
        if (length > 1) value[length / 2] = '\0';
        strings.SetValue(x, y, value);
        model[x][size_t(y)] = value;
        // Reads between writes, in order and anywhere (places found are remembered).
        const int near = std::min(y + 1, strings.Count() - 1), any = int(random() % strings.Count());
        for (const int r : {near, any})
            ASSERT_EQ(strings.Value(x, r).toByteArray(), model[x][size_t(r)]) << x << "," << r;
        if (step % 997 != 0) continue;
        for (int c = 0; c < 2; ++c)
            for (int r = 0; r < strings.Count(); ++r)
                ASSERT_EQ(strings.Value(c, r).toByteArray(), model[c][size_t(r)]) << c << "," << r;
    }
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < strings.Count(); ++r)
            ASSERT_EQ(strings.Value(c, r).toByteArray(), model[c][size_t(r)]);
    EXPECT_GT(strings.Capacity(), strings.Count() - 1);
    try {
        strings.Value(2, 0);
        ADD_FAILURE() << "bad column accepted";
    } catch (const platform::EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Can't read value to StrCollection. Bad X-Index (pFbLists)");
    }
    try {
        strings.SetValue(0, strings.Count(), "x", 1);
        ADD_FAILURE() << "bad row accepted";
    } catch (const platform::EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Can't write value to StrCollection. Bad Y-Index (pFbLists)");
    }
}

TEST(RecordCacheTest, ChangeLogAndRecordMapKeepOldValuesAndOrder) {
    // Row buffer: 5 header bytes, status, one null flag, a 4-byte value, one separate string of 20.
    const int bufferSize = 5 + 1 + 1 + 4 + 24;
    TRecordsCache cache(4, 1, 6, bufferSize);
    cache.SetStrOffset(1, 6, 20);
    cache.SetSaveChangeLog(true);
    auto row = [&](int value, const QByteArray& text) {
        std::vector<char> buffer(size_t(bufferSize), 0);
        std::memcpy(buffer.data() + 7, &value, 4);
        const int32_t length = int32_t(text.size());
        std::memcpy(buffer.data() + 11, &length, 4);
        std::memcpy(buffer.data() + 15, text.constData(), size_t(length));
        return buffer;
    };
    auto valueOf = [&](const char* buffer) { return Read<int>(buffer + 7); };
    auto textOf = [&](const char* buffer) { return QByteArray(buffer + 15, Read<int32_t>(buffer + 11)); };
    for (int r = 1; r <= 9; ++r)
        cache.WriteRecord(r, row(r, "old " + QByteArray::number(r)).data() + 5, true);
    // Records changed out of order, one of them twice: the log keeps the first state.
    for (int r : {7, 2, 9, 4, 2}) {
        cache.SaveToChangeLog(r);
        cache.WriteRecord(r, row(100 + r, "new").data() + 5, false);
    }
    EXPECT_EQ(cache.ChangesCount(), 4);
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    for (int r = 1; r <= 9; ++r) {
        const char* old = cache.OldBuffer(r);
        EXPECT_EQ(valueOf(old), r);
        EXPECT_EQ(textOf(old), "old " + QByteArray::number(r));
        cache.ReadRecordBuffer(r, buffer.data() + 5, false);
        EXPECT_EQ(valueOf(buffer.data()), cache.InChangeLog(r) ? 100 + r : r);
    }
    cache.RevertRecord(7);
    cache.ReadRecord(7, buffer.data() + 5);
    EXPECT_EQ(valueOf(buffer.data()), 7);
    EXPECT_EQ(textOf(buffer.data()), "old 7");
    EXPECT_FALSE(cache.InChangeLog(7));
    EXPECT_EQ(cache.OldBuffer(10)[6], 1) << "beyond the cache every old value is NULL";

    // The record map: an inserted record, a move, a swap; bookmarks follow the records.
    cache.Insert(3);
    cache.WriteRecord(3, row(33, "inserted").data() + 5, false);
    const int inserted = cache.BookMarkByRecord(2);
    EXPECT_EQ(cache.RecordByBookMark(inserted), 3);
    cache.MoveRecord(3, 1);
    cache.SwapRecords(1, 10);
    EXPECT_EQ(cache.RecordByBookMark(inserted), 10);
    cache.ReadRecord(10, buffer.data() + 5);
    EXPECT_EQ(textOf(buffer.data()), "inserted");
    cache.ReadRecord(1, buffer.data() + 5);
    EXPECT_EQ(valueOf(buffer.data()), 9 + 100);
    cache.CancelInsert(10);
    EXPECT_FALSE(cache.BookMarkValid(inserted));
    EXPECT_EQ(cache.MappedCount(), 9);
    EXPECT_EQ(cache.RecordCount(), 9);
}

TEST(RecordCacheTest, EditedTextIsStoredInTheAnsiCodePageCutAndTrimmed) {
    TRecordsCache cache(32, 1, 2, 5 + 2 + 4 + 8);
    cache.SetStrOffset(1, 2, 8);
    cache.PrepareMemory(1);
    auto stored = [&](const QString* text) {
        cache.SetStringValue(0, 0, text);
        return cache.GetStringFieldData(1, 0).toByteArray();
    };
    const QString polish = QStringLiteral("Łódź  ");
    EXPECT_EQ(stored(&polish), QByteArray("\xA3\xF3\x64\x9F")) << "Windows-1250, trailing blanks dropped";
    const QString longer = QStringLiteral("ABCDEFG\tXYZ");
    EXPECT_EQ(stored(&longer), QByteArray("ABCDEFG")) << "cut at the column size, control character dropped";
    const QString exact = QStringLiteral("ABCDEFGHIJ");
    EXPECT_EQ(stored(&exact), QByteArray("ABCDEFGH"));
    const QString inner = QStringLiteral(" a b");
    EXPECT_EQ(stored(&inner), QByteArray(" a b"));
    const QString empty;
    EXPECT_EQ(stored(&empty), QByteArray());
    stored(&inner);
    EXPECT_EQ(stored(nullptr), QByteArray());
}

TEST(RecordCacheTest, ColumnSizesFollowTheCharacterSetRules) {
    auto column = [](short type, short length, short charSet, const char* name = "C") {
        XSQLVAR v{};
        v.sqltype = short(type | 1);
        v.sqllen = length;
        v.sqlsubtype = charSet;
        v.sqlname_length = short(std::strlen(name));
        std::memcpy(v.sqlname, name, size_t(v.sqlname_length));
        return v;
    };
    TFbCharSetFacts win1250; // a Firebird 3 connection that takes UTF8 columns as they come
    win1250.Connected = win1250.IsFirebird = true;
    win1250.ServerMajorVersion = 3;
    TFbCharSetFacts utf8 = win1250; // a Unicode connection translates them
    utf8.IsUnicodeConnect = true;
    TFbCharSetFacts firebird1 = win1250;
    firebird1.ServerMajorVersion = 1;
    EXPECT_EQ(FieldDataSize(column(SQL_VARYING, 40, 4), win1250), 10);
    EXPECT_EQ(FieldDataSize(column(SQL_VARYING, 40, 4), utf8), 40);
    EXPECT_EQ(FieldDataSize(column(SQL_TEXT, 40, 51), win1250), 40);
    EXPECT_EQ(FieldDataSize(column(SQL_TEXT, 93, 3, "RDB$FIELD_NAME"), win1250), 31);
    EXPECT_EQ(FieldDataSize(column(SQL_TEXT, 93, 3, "RDB$FIELD_NAME"), firebird1), 93) << "declared size";
    EXPECT_EQ(FieldDataSize(column(SQL_TEXT, 93, 3, "RDB$"), firebird1), 31);
    EXPECT_EQ(FieldDataSize(column(SQL_VARYING, 40, 4), TFbCharSetFacts()), 40) << "UTF8 before connecting";
    EXPECT_EQ(FieldDataSize(column(SQL_VARYING, 30, 3), TFbCharSetFacts()), 10);
    EXPECT_EQ(FieldDataSize(column(SQL_TIMESTAMP, 8, 0), win1250), 8);
    EXPECT_EQ(FieldDataSize(column(SQL_TYPE_DATE, 4, 0), win1250), 4);
    EXPECT_EQ(FieldDataSize(column(SQL_SHORT, 2, 0), win1250), 2);
    EXPECT_EQ(FieldDataSize(column(SQL_BOOLEAN, 1, 0), win1250), 1);

    // A 16-byte GUID column stays in the record; other text over 12 bytes is a separate string.
    std::vector<char> area(XSQLDA_LENGTH(3));
    auto* columns = reinterpret_cast<XSQLDA*>(area.data());
    columns->version = SQLDA_VERSION1;
    columns->sqln = columns->sqld = 3;
    columns->sqlvar[0] = column(SQL_TEXT, 16, 1);
    columns->sqlvar[1] = column(SQL_TEXT, 16, 1);
    columns->sqlvar[2] = column(SQL_BLOB, 8, 0);
    TFbLayoutOptions options;
    options.CalcFieldsSize = 6;
    const TFbRecordLayout layout = BuildRecordLayout(
        *columns, {TAddedTypeFields::atfGuidField, TAddedTypeFields::atfStandard}, {}, win1250, options);
    EXPECT_FALSE(layout.Fields[0].fdIsSeparateString);
    EXPECT_EQ(layout.Fields[0].fdDataOfs, 9);
    EXPECT_TRUE(layout.Fields[1].fdIsSeparateString);
    EXPECT_EQ(layout.Fields[1].fdStrIndex, 0);
    EXPECT_EQ(layout.Fields[1].fdDataOfs, 9 + 16 + 8);
    EXPECT_EQ(layout.Fields[2].fdDataOfs, 9 + 16);
    EXPECT_EQ(layout.RecordSize, 9 + 16 + 8 + 20);
    EXPECT_EQ(layout.BlobCacheOffset, 4 + 16 + 8);
    EXPECT_EQ(layout.BlockReadSize, 4 + 16 + 8 + 4);
    EXPECT_EQ(layout.CalcFieldsOffset, layout.RecordSize + 4);
    EXPECT_EQ(layout.RecordBufferSize, layout.RecordSize + 4 + 6);
    EXPECT_EQ(layout.BufferChunkSize, layout.RecordBufferSize * 32);
}

class FetchedRowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Form.SetName(QStringLiteral("Form1"));
        const QString path = Dir.filePath(QStringLiteral("types.fdb"));
        RunIsql(
            QStringLiteral(
                "create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                "create table t (id integer not null, sm smallint, bg bigint, n92 numeric(9,2),\n"
                "  n182 numeric(18,2), n186 numeric(18,6), fl float, db double precision, d date,\n"
                "  tm time, ts timestamp, c10 char(10), c20 char(20), v12 varchar(12), v13 varchar(13),\n"
                "  v30 varchar(30), b boolean, bl blob sub_type 0);\n"
                "insert into t values (1, -12345, 9000000000000000001, 1234567.89, -12345678901234.56,\n"
                "  123456.654321, 1.5, 2.25e300, '2019-03-31', '11:56:04.5', '1858-11-17 00:00',\n"
                "  'AB', 'AB', 'ABCDEFGHIJKL', 'ABCDEFGHIJKL', 'A' || ascii_char(0) || 'B', true, 'blob');\n"
                "insert into t (id, v30) values (2, '');\n"
                "insert into t (id, ts, v12, v13, c20) values (3, '2100-12-31 23:59:59.999',\n"
                "  'X' || ascii_char(0) || 'Y', 'ABCDEFGHIJKLM', '   padded   ');\n"
                "set term ^;\nexecute block as declare i integer = 4; begin while (i <= 40) do begin\n"
                "  insert into t (id, v30) values (:i, 'row ' || :i); i = i + 1; end end^\nset term ;^\n"
                "commit;\n")
                .arg(path));
        Db = ConnectedDatabase(&Form, QStringLiteral("pFbDatabaseFormy"), path);
        Tr = RollbackTransaction(&Form, QStringLiteral("pFbTransaction1"), Db);
        Tr->StartTransaction();
        Q = new TFbQuery(&Form);
        Q->SetDatabase(Db);
        Q->SetTransaction(Tr);
        Q->SetGoToFirstRecordOnExecute(false);
    }

    // Opens the select, lays out its row and stores every fetched row, in ring slots when asked.
    void FetchAll(const QString& sql, bool ring = false, int bufferChunks = 32) {
        Q->SQL().Clear();
        Q->SQL().Add(sql);
        Q->ExecQuery();
        TFbLayoutOptions options;
        options.BufferChunks = bufferChunks;
        Layout = BuildRecordLayout(*Q->Current().AsXSQLDA(), {}, {}, TFbCharSetFacts::Of(*Db), options);
        Cache = CreateRecordsCache(Layout, false);
        Rows = 0;
        while (Q->Next()) {
            StoreFetchedRow(*Cache, Layout, *Q->Current().AsXSQLDA(), CacheSlot(Rows, ring, bufferChunks),
                            false);
            ++Rows;
        }
        Q->Close();
    }
    // Row `index` as the data set would read it into its row buffer.
    const char* Row(int index, bool ring = false) {
        Buffer.assign(size_t(Layout.RecordBufferSize), char(0x5A));
        ReadRowBuffer(*Cache, Layout, index, CacheSlot(index, ring, Layout.BufferChunks), Buffer.data());
        return Buffer.data();
    }
    const TFbFieldDescr& Field(int column) const { return Layout.Fields[size_t(column)]; }
    template <class T> T Value(int column) const { return Read<T>(Buffer.data() + Field(column).fdDataOfs); }
    QByteArray InRecord(int column) const {
        return QByteArray(Buffer.data() + Field(column).fdDataOfs, Field(column).fdDataSize);
    }
    QByteArray Separate(int column) const {
        return RowSeparateString(Buffer.data(), Field(column)).toByteArray();
    }

    QTemporaryDir Dir;
    platform::TComponent Form;
    TpFbDatabase* Db = nullptr;
    TpFbTransaction* Tr = nullptr;
    TFbQuery* Q = nullptr;
    TFbRecordLayout Layout;
    std::unique_ptr<TRecordsCache> Cache;
    std::vector<char> Buffer;
    int Rows = 0;
};

TEST_F(FetchedRowTest, EverySqlTypeIsCachedInItsOwnForm) {
    FetchAll(QStringLiteral("select id, sm, bg, n92, n182, n186, fl, db, d, tm, ts, c10, c20, b, bl from t "
                            "where id <= 3 order by id"));
    ASSERT_EQ(Rows, 3);
    // 15 columns; CHAR(20) is the only separate string.
    EXPECT_EQ(Layout.StringFieldCount, 1);
    EXPECT_EQ(Layout.BlobFieldCount, 1);
    const int inRecord = 4 + 2 + 8 + 4 + 8 + 8 + 4 + 8 + 4 + 4 + 8 + 10 + 1 + 8;
    EXPECT_EQ(Layout.BlockReadSize, 1 + 15 + inRecord + 4);
    EXPECT_EQ(Layout.RecordSize, 6 + 15 + inRecord + 20 + 4);
    EXPECT_EQ(Layout.RecordBufferSize, Layout.RecordSize + 4);
    EXPECT_EQ(Cache->RecordSize(), Layout.BlockReadSize);

    Row(0);
    EXPECT_EQ(Read<int32_t>(Buffer.data()), 0);
    EXPECT_EQ(Buffer[5], 0) << "status of a fetched row";
    for (int c = 0; c < 15; ++c)
        EXPECT_EQ(Buffer[6 + c], 0) << c;
    EXPECT_EQ(Value<int32_t>(0), 1);
    EXPECT_EQ(Value<int16_t>(1), -12345);
    EXPECT_EQ(Value<int64_t>(2), 9000000000000000001LL);
    EXPECT_EQ(Value<int32_t>(3), 123456789) << "NUMERIC(9,2) keeps its scaled integer";
    EXPECT_EQ(Value<int64_t>(4), -1234567890123456LL) << "NUMERIC(18,2) keeps its scaled integer";
    EXPECT_EQ(Value<double>(5), 123456.654321) << "NUMERIC(18,6) becomes the scaled double";
    EXPECT_EQ(Value<float>(6), 1.5f);
    EXPECT_EQ(Value<double>(7), 2.25e300);
    EXPECT_EQ(Value<int32_t>(8), 693594 + 43555) << "2019-03-31 as a day number";
    EXPECT_EQ(Value<int32_t>(9), 42964500) << "11:56:04.5 in milliseconds";
    EXPECT_EQ(Value<double>(10), 678576.0 * 86400000.0) << "1858-11-17 00:00";
    EXPECT_EQ(InRecord(11), QByteArray("AB        ")) << "CHAR(10) keeps its blanks in the record";
    EXPECT_EQ(Separate(12), QByteArray("AB")) << "CHAR(20) is cached without its blanks";
    EXPECT_EQ(Value<uint8_t>(13), 1);
    EXPECT_NE(Value<int64_t>(14), 0) << "blob id";

    Row(2);
    EXPECT_EQ(Value<double>(10), (88433.0 + 678576.0) * 86400000.0 + 86399999.0) << "2100-12-31 23:59:59.999";
    EXPECT_EQ(Separate(12), QByteArray("   padded")) << "only trailing blanks go";

    // First row again, from the cache.
    Row(0);
    EXPECT_EQ(Value<int32_t>(0), 1);
}

TEST_F(FetchedRowTest, ShortAndLongTextsNullsAndZeroBytesReadBackExactly) {
    FetchAll(QStringLiteral("select v12, v13, v30 from t where id <= 3 order by id"));
    ASSERT_EQ(Rows, 3);
    EXPECT_FALSE(Field(0).fdIsSeparateString) << "VARCHAR(12) stays in the record";
    EXPECT_TRUE(Field(1).fdIsSeparateString) << "VARCHAR(13) is a separate string";
    Row(0);
    EXPECT_EQ(InRecord(0), QByteArray("ABCDEFGHIJKL"));
    EXPECT_EQ(Separate(1), QByteArray("ABCDEFGHIJKL"));
    EXPECT_EQ(Buffer[Field(1).fdDataOfs + 4 + 12], 0) << "a zero byte after a text shorter than the column";
    EXPECT_EQ(Separate(2), QByteArray("A\0B", 3)) << "a zero byte inside is kept";

    // Row 2: NULL VARCHAR(13) and empty VARCHAR(30): both empty strings, only the flag differs.
    Row(1);
    EXPECT_EQ(Buffer[6 + 0], 1);
    EXPECT_EQ(Buffer[6 + 1], 1);
    EXPECT_EQ(Separate(1), QByteArray());
    EXPECT_EQ(Buffer[6 + 2], 0);
    EXPECT_EQ(Separate(2), QByteArray());

    Row(2);
    EXPECT_EQ(InRecord(0), QByteArray("X\0Y\0\0\0\0\0\0\0\0\0", 12))
        << "zeros after the text, none left over";
    EXPECT_EQ(Separate(1), QByteArray("ABCDEFGHIJKLM"));
    EXPECT_EQ(Buffer[6 + 2], 1);
    EXPECT_EQ(Separate(2), QByteArray()) << "a NULL after a value leaves no text behind";
}

TEST_F(FetchedRowTest, UniDirectionalRowsReuseTheSlotsOfEarlierRows) {
    FetchAll(QStringLiteral("select id, v30 from t order by id"), true, 32);
    ASSERT_EQ(Rows, 40);
    EXPECT_EQ(Cache->RecordCount(), 32) << "40 rows in 32 slots";
    EXPECT_EQ(Cache->BlockCount(), 1);
    Row(32, true);
    EXPECT_EQ(Read<int32_t>(Buffer.data()), 32) << "the buffer carries the row index, not the slot";
    EXPECT_EQ(Value<int32_t>(0), 33);
    EXPECT_EQ(Separate(1), "row 33");
    Row(39, true);
    EXPECT_EQ(Value<int32_t>(0), 40);
    Row(8, true);
    EXPECT_EQ(Value<int32_t>(0), 9) << "slot 8 still holds row 9";
}
