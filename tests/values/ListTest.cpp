// The lists as containers: sizing the descriptor, names and lookups, the server's description,
// the common store with shared names and null state, whole-list operations, and the lists under
// the SQL text routines.
#include "ValuesTestSupport.h"

#include "platform/Exceptions.h"

namespace {

TFbXSQLDA& NamedParams(TTestQuery& q, std::initializer_list<const char*> names) {
    q.User.SetCount(int(names.size()));
    int i = 0;
    for (const char* n : names) {
        q.User.AddName(QString::fromLatin1(n), i, false);
        ++i;
    }
    return q.User;
}

void SetAlias(TFbXSQLDA& list, int index, const QByteArray& alias) {
    XSQLVAR& v = *list.Vars(index).Data();
    std::memset(v.aliasname, 0, sizeof v.aliasname);
    std::memcpy(v.aliasname, alias.constData(), size_t(alias.size()));
    v.aliasname_length = short(alias.size());
}

} // namespace

TEST(ListSizing, DescriptorGrowsNeverShrinksAndItemsFollowIt) {
    TTestQuery q;
    EXPECT_EQ(q.User.AsXSQLDA(), nullptr);
    q.User.SetCount(3);
    XSQLDA* da = q.User.AsXSQLDA();
    ASSERT_NE(da, nullptr);
    EXPECT_EQ(da->version, SQLDA_VERSION1);
    EXPECT_EQ(da->sqln, 3);
    EXPECT_EQ(da->sqld, 3);
    EXPECT_EQ(q.User.RecordSize(), int(XSQLDA_LENGTH(3)) + 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(q.User.Vars(i).Data(), &da->sqlvar[i]);
        EXPECT_EQ(q.User.Vars(i).Index(), i);
    }
    q.User.AddName(QStringLiteral("a"), 2, false);
    q.User.Vars(2).SetAsInteger(42);
    TFbXSQLVAR* third = &q.User.Vars(2);

    q.User.SetCount(1);
    EXPECT_EQ(q.User.Capacity(), 3);
    EXPECT_EQ(q.User.AsXSQLDA()->sqld, 1);
    EXPECT_EQ(q.User.RecordSize(), int(XSQLDA_LENGTH(3)) + 4);
    ExpectClientError(23, [&] { q.User.Vars(2); });

    q.User.SetCount(40);
    da = q.User.AsXSQLDA();
    EXPECT_EQ(da->sqln, 40);
    EXPECT_EQ(&q.User.Vars(2), third);
    EXPECT_EQ(third->Data(), &da->sqlvar[2]);
    EXPECT_EQ(third->AsInteger(), 42);
    EXPECT_EQ(q.User.Vars(39).Data(), &da->sqlvar[39]);
    EXPECT_EQ(q.User.Vars(39).SQLType(), 0);
    EXPECT_TRUE(q.User.Vars(39).IsNull());
}

TEST(ListSizing, IndexOutsideTheListIsClientError23) {
    TTestQuery q;
    q.User.SetCount(2);
    EXPECT_EQ(ExpectClientError(23, [&] { q.User.Vars(-1); }), QStringLiteral("XSQLDA index out of range."));
    ExpectClientError(23, [&] { q.User.Vars(2); });
    q.User.SetCount(0);
    ExpectClientError(23, [&] { q.User.Vars(0); });
}

TEST(ListNames, SharedNamesReachEveryItem) {
    TTestQuery q;
    NamedParams(q, {"p", "x", "P"});
    EXPECT_EQ(q.User.Names(), QStringList({"P", "X", "P"}));
    EXPECT_EQ(q.User.EqualNameIndexes(QStringLiteral("P")), QList<int>({0, 2}));
    q.User.ParamByName(QStringLiteral("p")).SetAsInteger(7);
    EXPECT_EQ(q.User.Vars(0).AsInteger(), 7);
    EXPECT_EQ(q.User.Vars(2).AsInteger(), 7);
    EXPECT_TRUE(q.User.Vars(1).IsNull());
    q.User.Vars(2).SetIsNull(true);
    EXPECT_TRUE(q.User.Vars(0).IsNull());
    q.User.Vars(0).SetAsAnsiString("abc");
    EXPECT_EQ(q.User.Vars(2).AsAnsiString(), QByteArray("abc"));

    // Column lists never share values.
    q.Columns.SetCount(2);
    q.Columns.AddName(QStringLiteral("C"), 0, true);
    q.Columns.AddName(QStringLiteral("C"), 1, true);
    q.Columns.Vars(0).SetAsInteger(1);
    EXPECT_EQ(q.Columns.Vars(1).SQLType(), 0);
}

TEST(ListNames, LookupByNameCaseQuotesCacheAndServerList) {
    TTestQuery q;
    q.User.SetCount(3);
    q.User.AddName(QStringLiteral("tid"), 0, false);
    q.User.AddName(QStringLiteral("Mixed"), 1, true);
    q.User.AddName(QStringLiteral("x"), 2, false);
    TFbXSQLVAR* tid = q.User.FindParam(QStringLiteral("tid"));
    ASSERT_NE(tid, nullptr);
    EXPECT_EQ(tid->Name(), QStringLiteral("TID"));
    EXPECT_EQ(q.User.FindParam(QStringLiteral("TiD")), tid);
    EXPECT_EQ(q.User.FindParam(QStringLiteral("Mixed")), &q.User.Vars(1));
    EXPECT_EQ(q.User.FindParam(QStringLiteral("\"Mixed\"")), &q.User.Vars(1));
    EXPECT_EQ(q.User.FindParam(QStringLiteral("MIXED")), nullptr);
    EXPECT_EQ(q.User.FindParam(QStringLiteral("mixed")), nullptr);
    EXPECT_EQ(q.User.FindParam(QStringLiteral("\"x\"")), nullptr);

    // A name asked before is answered from the cache, even after the name list lost it.
    q.User.AddName(QStringLiteral("other"), 0, false);
    EXPECT_EQ(q.User.FindParam(QStringLiteral("tid")), tid);
    q.User.SetCount(3); // sizing clears the names and the cache
    EXPECT_EQ(q.User.FindParam(QStringLiteral("tid")), nullptr);

    // Missing in the user list: changed macros are applied, then the server list answers.
    q.Server.SetCount(1);
    q.Server.AddName(QStringLiteral("ONLYSRV"), 0, false);
    EXPECT_EQ(q.User.FindParam(QStringLiteral("onlysrv")), &q.Server.Vars(0));
    EXPECT_EQ(q.ApplyMacrosCalls, 0);
    q.MacroChangedFlag = true;
    EXPECT_EQ(q.User.FindParam(QStringLiteral("onlysrv")), &q.Server.Vars(0));
    EXPECT_EQ(q.ApplyMacrosCalls, 1);
    // The server list itself does not fall back further.
    EXPECT_EQ(q.Server.FindParam(QStringLiteral("nothing")), nullptr);
    EXPECT_EQ(q.ApplyMacrosCalls, 1);

    try {
        q.User.ParamByName(QStringLiteral("nothing"));
        ADD_FAILURE();
    } catch (const EFbError&) {
        ADD_FAILURE() << "a general exception is expected";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Parameter \"nothing\" does not exist in Form1.pFbQueryFormy"));
    }
}

TEST(ListDescription, ColumnNamesAreGeneratedDeduplicatedAndCut) {
    TTestQuery q;
    const QByteArray long32 = QByteArray(32, 'L');
    q.Columns.SetCount(7);
    const short types[7] = {SQL_LONG, SQL_VARYING, SQL_LONG, SQL_TEXT, SQL_LONG, SQL_LONG, SQL_INT64};
    const QByteArray aliases[7] = {"A", "", "A", "", long32, long32, "A1"};
    for (int i = 0; i < 7; ++i) {
        Describe(q.Columns, i, types[i], i == 6 ? -2 : 0, types[i] == SQL_VARYING ? 20 : 4, i != 0, 52);
        SetAlias(q.Columns, i, aliases[i]);
    }
    q.Columns.InitializeVars();
    EXPECT_EQ(q.Columns.Names(),
              QStringList({"A", "F_1", "A1", "F_2", QString(32, 'L'), QString(31, 'L') + "1", "A11"}));
    EXPECT_EQ(q.Columns.Vars(1).AliasName(), QStringLiteral("F_1"));
    EXPECT_EQ(q.Columns.Vars(3).Data()->aliasname_length, 3);
    EXPECT_EQ(q.Columns.FindParam(QStringLiteral("f_1")), &q.Columns.Vars(1));

    TFbXSQLVAR& a = q.Columns.Vars(0);
    EXPECT_TRUE(a.Initialized());
    EXPECT_EQ(a.ServerSQLType(), SQL_LONG);
    EXPECT_EQ(a.Data()->sqlind, nullptr); // not nullable
    EXPECT_NE(q.Columns.Vars(1).Data()->sqlind, nullptr);
    EXPECT_EQ(q.Columns.Vars(1).ServerSize(), 20);
    EXPECT_EQ(q.Columns.Vars(1).CharacterSet(), QStringLiteral("WIN1251"));
    EXPECT_EQ(q.Columns.Vars(6).ServerSQLScale(), -2);
    // The data area takes a full VARCHAR: count and text.
    const char varying[22] = "\x13\x00"
                             "0123456789012345678";
    std::memcpy(q.Columns.Vars(1).Data()->sqldata, varying, 21);
    EXPECT_EQ(q.Columns.Vars(1).AsAnsiString(), QByteArray("0123456789012345678"));
}

TEST(ListDescription, UntypedItemsOnlyInTheUserList) {
    TTestQuery q;
    q.User.SetCount(1);
    q.User.InitializeVars();
    EXPECT_FALSE(q.User.Vars(0).Initialized() && q.User.Vars(0).ServerSQLType() != 0);
    q.Server.SetCount(1);
    q.Server.AddName(QStringLiteral("A"), 0, false);
    EXPECT_EQ(ExpectClientError(30, [&] { q.Server.InitializeVars(); }),
              QStringLiteral("Unknown SQL Data type (0)."));
}

TEST(ListDescription, CharacterSetNames) {
    TTestQuery q;
    q.Columns.SetCount(1);
    const auto name = [&](short sub) {
        q.Columns.Vars(0).Data()->sqltype = SQL_TEXT;
        q.Columns.Vars(0).Data()->sqlsubtype = sub;
        return q.Columns.Vars(0).CharacterSet();
    };
    EXPECT_EQ(name(0), "NONE");
    EXPECT_EQ(name(4), "UTF8");
    EXPECT_EQ(name(7), "UNKNOWN");
    EXPECT_EQ(name(19), "NEXT");
    EXPECT_EQ(name(23), "ISO8859_3");
    EXPECT_EQ(name(24), "UNKNOWN");
    EXPECT_EQ(name(33), "UNKNOWN");
    EXPECT_EQ(name(34), "ISO8859_4");
    EXPECT_EQ(name(40), "ISO8859_13");
    EXPECT_EQ(name(43), "UNKNOWN");
    EXPECT_EQ(name(44), "KSC_5601");
    EXPECT_EQ(name(51), "WIN1250");
    EXPECT_EQ(name(60), "WIN1257");
    EXPECT_EQ(name(61), "UNKNOWN");
    EXPECT_EQ(name(short(0x0133)), "WIN1250"); // the collation byte is ignored
    // Text blobs carry their character set in the scale.
    q.Columns.Vars(0).Data()->sqltype = SQL_BLOB;
    q.Columns.Vars(0).Data()->sqlsubtype = 1;
    q.Columns.Vars(0).Data()->sqlscale = 4;
    EXPECT_EQ(q.Columns.Vars(0).CharacterSet(), "UTF8");
}

TEST(CommonStore, NullStateFlagsAndDescriptorCopies) {
    TTestQuery q;
    TFbXSQLVAR& p = NamedParams(q, {"p"}).Vars(0);
    p.SetIsNull(true);
    EXPECT_EQ(p.SQLType(), SQL_TEXT);
    EXPECT_EQ(p.Size(), 0);
    EXPECT_TRUE(p.IsNullable());
    EXPECT_EQ(*p.Data()->sqlind, -1);
    EXPECT_TRUE(p.Modified());

    p.SetAsInteger(5);
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(*p.Data()->sqlind, 0);
    EXPECT_TRUE(p.IsNullable());
    p.SetIsNullable(false);
    EXPECT_EQ(p.Data()->sqlind, nullptr);
    EXPECT_FALSE(p.IsNull());
    p.SetIsNull(true); // becomes nullable again to hold the null
    EXPECT_TRUE(p.IsNull());
    EXPECT_NE(p.Data()->sqlind, nullptr);
    p.SetIsNull(false);
    EXPECT_FALSE(p.IsNull());
    p.SetScale(-3);
    EXPECT_EQ(p.AsInteger(), 0);
    EXPECT_DOUBLE_EQ(p.AsDouble(), 0.005);
    p.SetAsInteger(6); // a store resets the scale
    EXPECT_EQ(p.Scale(), 0);

    q.User.ClearModified();
    EXPECT_FALSE(q.User.Modified());
    p.SetAsShort(1);
    EXPECT_TRUE(q.User.Modified());

    // Copying another item's descriptor keeps this item's own data area.
    q.Columns.SetCount(1);
    Describe(q.Columns, 0, SQL_VARYING, 0, 10, true, 51);
    q.Columns.InitializeVars();
    std::memcpy(q.Columns.Vars(0).Data()->sqldata, "\x03\x00xyz", 5);
    *q.Columns.Vars(0).Data()->sqlind = 0;
    p.Assign(q.Columns.Vars(0));
    EXPECT_EQ(p.SQLType(), SQL_VARYING);
    EXPECT_NE(p.Data()->sqldata, q.Columns.Vars(0).Data()->sqldata);
    EXPECT_EQ(p.AsAnsiString(), QByteArray("xyz"));
    std::memcpy(q.Columns.Vars(0).Data()->sqldata + 2, "abc", 3);
    EXPECT_EQ(p.AsAnsiString(), QByteArray("xyz"));
    *q.Columns.Vars(0).Data()->sqlind = -1;
    p.Assign(q.Columns.Vars(0));
    EXPECT_TRUE(p.IsNull());
}

TEST(CommonStore, ForceNullAndMacroFlagsFollowTheStatementOptions) {
    TTestQuery q;
    TFbXSQLVAR& p = NamedParams(q, {"p", "m"}).Vars(0);
    p.TextData().FCanForceIsNull = true;
    p.SetAsInteger(1); // null -> value
    EXPECT_TRUE(q.ForceNull);
    q.ForceNull = false;
    p.SetAsInteger(2); // value -> value: no change of null state
    EXPECT_FALSE(q.ForceNull);
    q.NoForce = true;
    p.SetIsNull(true);
    EXPECT_FALSE(q.ForceNull);
    q.NoForce = false;
    p.SetIsNull(false);
    EXPECT_TRUE(q.ForceNull);

    TFbXSQLVAR& m = q.User.Vars(1);
    m.TextData().FIsMacro = true;
    m.SetOldValue(QStringLiteral("t1"));
    m.SetAsString(QStringLiteral("t1"));
    EXPECT_FALSE(q.MacroChangedFlag);
    m.SetAsString(QStringLiteral("t2"));
    EXPECT_TRUE(q.MacroChangedFlag);
}

TEST(ListOperations, ClearValuesRestoresNullability) {
    TTestQuery q;
    NamedParams(q, {"a", "b"});
    q.User.Vars(0).SetIsNull(true);
    q.User.Vars(0).SetAsInteger(1);
    q.User.Vars(1).SetAsInteger(2);
    q.User.Vars(1).SetIsNullable(false);
    q.User.ClearValues();
    EXPECT_TRUE(q.User.Vars(0).IsNull());
    EXPECT_TRUE(q.User.Vars(0).IsNullable());
    EXPECT_FALSE(q.User.Vars(1).IsNullable());
    EXPECT_EQ(q.User.Vars(1).Data()->sqlind, nullptr);
}

TEST(ListOperations, AssignValuesCopiesByName) {
    TTestQuery q;
    NamedParams(q, {"a", "b", "c", "d", "only_user"});
    q.Server.SetCount(4);
    Describe(q.Server, 0, SQL_LONG, 0, 4);
    Describe(q.Server, 1, SQL_INT64, -2, 8);
    Describe(q.Server, 2, SQL_VARYING, 0, 10, true, 51);
    Describe(q.Server, 3, SQL_BLOB, 0, 8, true, 1);
    q.Server.AddName(QStringLiteral("A"), 0, false);
    q.Server.AddName(QStringLiteral("B"), 1, false);
    q.Server.AddName(QStringLiteral("C"), 2, false);
    q.Server.AddName(QStringLiteral("D"), 3, false);
    q.Server.InitializeVars();
    q.Server.Vars(0).SetAsInteger(99);

    q.User.Vars(0).SetIsNull(true);
    q.User.Vars(1).SetAsInt64(1234);
    q.User.Vars(2).SetAsString(QStringLiteral("tekst"));
    q.User.Vars(3).SetAsInt64(5); // an INT64 into a blob target
    q.User.Vars(4).SetAsInteger(1);
    q.Server.AssignValues(q.User);
    EXPECT_TRUE(q.Server.Vars(0).IsNull());
    EXPECT_EQ(q.Server.Vars(1).SQLType(), SQL_INT64);
    EXPECT_EQ(q.Server.Vars(1).AsInt64(), 1234);
    EXPECT_EQ(q.Server.Vars(2).AsString(), QStringLiteral("tekst"));
    EXPECT_EQ(q.Server.Vars(3).SQLType(), SQL_INT64);
    EXPECT_EQ(q.Server.Vars(3).AsInteger(), 5);
}

TEST(TextRoutineLists, ScanBuildsNamedItemsThatSurviveATextChange) {
    TTestQuery q;
    TSQLTextState text(q);
    text.SetSQLText(QStringLiteral("select * from t where a = :a and b = :B and c = :a\r\n"), true);
    EXPECT_EQ(q.User.Names(), QStringList({"A", "B", "A"}));
    EXPECT_TRUE(q.User.Vars(0).IsNull());
    EXPECT_TRUE(q.User.Vars(0).CanForceIsNull());
    q.User.ParamByName(QStringLiteral("a")).SetAsInteger(3);
    EXPECT_EQ(q.User.Vars(2).AsInteger(), 3);
    q.User.ParamByName(QStringLiteral("b")).SetAsString(QStringLiteral("bee"));
    TFbXSQLVAR* b = &q.User.ParamByName(QStringLiteral("B"));

    // The null parameter is compared with IS NULL; the list given to the server has the rest.
    q.User.Vars(0).SetIsNull(true);
    text.RebuildForPrepare();
    EXPECT_EQ(text.ProcessedSQL(),
              QStringLiteral("select * from t where a  IS NULL  and b = ?  and c  IS NULL \r\n"));
    EXPECT_EQ(q.Server.Names(), QStringList({"B"}));

    text.SetSQLText(QStringLiteral("select * from t where b = :b or x = :x\r\n"), true);
    EXPECT_EQ(q.User.Names(), QStringList({"B", "X"}));
    EXPECT_EQ(&q.User.Vars(0), b);
    EXPECT_EQ(b->Data(), &q.User.AsXSQLDA()->sqlvar[0]);
    EXPECT_EQ(b->AsString(), QStringLiteral("bee"));
    EXPECT_TRUE(q.User.Vars(1).IsNull());
    EXPECT_EQ(q.User.EqualNameIndexes(QStringLiteral("A")), QList<int>());

    // Macros take their default as value.
    text.SetSQLText(QStringLiteral("select * from @@tab%formy@ where id = :id\r\n"), true);
    EXPECT_EQ(q.User.Names(), QStringList({"TAB", "ID"}));
    EXPECT_EQ(q.User.Vars(0).AsString(), QStringLiteral("formy"));
    q.User.Vars(1).SetAsInteger(1);
    EXPECT_EQ(text.ReadySQLText(false), QStringLiteral("select * from formy where id = :id\r\n"));
}
