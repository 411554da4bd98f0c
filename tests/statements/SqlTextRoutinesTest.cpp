#include "QtPrinters.h"
#include "ScanTestSupport.h"
#include "db/statements/SqlTextInternal.h"

#include "db/connection/fb.h"
#include "platform/Encoding.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace db::statements;

namespace {

const QString CRLF = QStringLiteral("\r\n");

// A marker standing for a name of `length` characters with its marker (and quotes).
QString Marker(int length) {
    return QStringLiteral("?") + QString(length - 1, u' ');
}

TSQLScanResult Scan(const QString& text, bool writeOutput = true) {
    TSQLParser parser;
    parser.SetSQLText(text);
    return ScanSQLText(text, parser.SQLKind(), parser.CanParamsCheck(), QChar(u'@'), writeOutput);
}

QStringList ScannedNames(const TSQLScanResult& r) {
    QStringList names;
    for (const TScannedName& n : r.Names)
        names << n.Name;
    return names;
}

TSQLKind Kind(const QString& text) {
    TSQLParser parser;
    parser.SetSQLText(text);
    return parser.SQLKind();
}

// The message of the client error raised by `f`, or "" when nothing was raised.
template <class F> QString ClientError51(F f) {
    try {
        f();
    } catch (const EFbClientError& e) {
        EXPECT_EQ(e.SQLCode(), 51);
        return e.Message();
    }
    return {};
}

} // namespace

TEST(SqlCharClasses, MembersAndCodePointsAbove255) {
    using namespace sqlchars;
    EXPECT_TRUE(IsWordBefore(u')'));
    EXPECT_FALSE(IsWordBefore(u'('));
    EXPECT_TRUE(IsWordAfter(u'\0'));
    EXPECT_TRUE(IsWordAfter(u'^'));
    EXPECT_FALSE(IsWordAfter(u')'));
    EXPECT_TRUE(IsNameChar(u'#') && IsNameChar(u'$') && IsNameChar(u'%') && IsNameChar(u'.'));
    EXPECT_FALSE(IsNameChar(u'@') || IsNameChar(u'-') || IsNameChar(u'"'));
    EXPECT_TRUE(IsLineEnd(u'\0') && IsLineEnd(u'\n') && IsLineEnd(u'\r'));
    EXPECT_FALSE(IsMacroEnd(u'\t'));
    EXPECT_TRUE(IsOperatorSkip(u'"') && IsOperatorSkip(u'('));
    EXPECT_FALSE(IsOperatorSkip(u')'));
    // A letter above 255 whose low byte is an ASCII letter belongs to no class.
    EXPECT_FALSE(IsNameChar(u'\u0141'));   // Ł, low byte 'A'
    EXPECT_FALSE(IsWordBefore(u'\u0120')); // low byte blank
    EXPECT_FALSE(IsLeadSkip(u'\u0100'));   // low byte NUL
}

TEST(IsWordAt, WholeWordsInEitherCase) {
    const QString t = QStringLiteral("select x from\r\n(Where) \"where\"wherex where");
    EXPECT_TRUE(IsWordAt("SELECT", t, 1));
    EXPECT_FALSE(IsWordAt("SELECT", t, 2));
    EXPECT_TRUE(IsWordAt("FROM", t, 10));
    EXPECT_FALSE(IsWordAt("WHERE", t, 17));           // after '(': not a word start
    EXPECT_TRUE(IsWordAt("WHERE", t, 25));            // after '"', before '"'
    EXPECT_FALSE(IsWordAt("WHERE", t, 31));           // "wherex" is longer
    EXPECT_TRUE(IsWordAt("WHERE", t, t.size() - 4));  // ends exactly at the end of the text
    EXPECT_FALSE(IsWordAt("WHERE", t, t.size() - 3)); // fewer characters remain
    EXPECT_FALSE(IsWordAt("WHERE", t, 0));
    EXPECT_FALSE(IsWordAt("WHERE", t, 1000));
    EXPECT_TRUE(IsWordAt("SELECT", QStringLiteral("SeLeCt("), 1));
    EXPECT_FALSE(IsWordAt("SELECT", QStringLiteral("select)"), 1));
}

TEST(IsWordAt, NonAsciiLettersNeverMatch) {
    // U+017A (ź) and U+0165 (ť) have the low bytes of 'z' and 'e'.
    EXPECT_FALSE(IsWordAt("ZE", QString::fromUtf16(u"\u017Ae"), 1));
    EXPECT_FALSE(IsWordAt("ZE", QString::fromUtf16(u"z\u0165"), 1));
    EXPECT_TRUE(IsWordAt("ZE", QStringLiteral("zE"), 1));
}

TEST(SkipBlanks, BlanksBracketsAndComments) {
    auto skip = [](const QString& t, int from = 1) {
        int p = from;
        SkipBlanks(t, static_cast<int>(t.size()), p);
        return p;
    };
    EXPECT_EQ(skip(QStringLiteral("  ( ;^select")), 7);
    EXPECT_EQ(skip(QStringLiteral("-- note\r\n/* a\r\n b */ select")), 22);
    EXPECT_EQ(skip(QStringLiteral("  / 2")), 3); // a lone '/' stops the skipping
    EXPECT_EQ(skip(QStringLiteral("  -1")), 3);  // so does a lone '-'
    EXPECT_EQ(skip(QStringLiteral("select")), 1);
    EXPECT_EQ(skip(QStringLiteral("x  y"), 2), 4);
    // An unclosed comment ends just past the text, never further.
    EXPECT_EQ(skip(QStringLiteral(" /* x")), 6);
    EXPECT_EQ(skip(QStringLiteral("/*")), 3);
    EXPECT_EQ(skip(QStringLiteral("-- x")), 5);
    EXPECT_EQ(skip(QString()), 1);
}

TEST(WhereClauseWords, BeginAndEnd) {
    const QString t = QStringLiteral("select a from t where b=1 order by a");
    EXPECT_TRUE(IsWhereAt(t, 17));
    EXPECT_FALSE(IsWhereAt(t, 18));
    EXPECT_TRUE(IsWhereEndAt(t, 27));
    EXPECT_FALSE(IsWhereEndAt(t, 23));
    EXPECT_TRUE(IsWhereEndAt(t, t.size() + 1));
    for (const char* w : {"for", "GROUP", "having", "Plan", "start", "UNION"})
        EXPECT_TRUE(IsWhereEndAt(QStringLiteral("x ") + QString::fromLatin1(w), 3)) << w;
    EXPECT_FALSE(IsWhereEndAt(QStringLiteral("x formy"), 3));
}

TEST(SQLParser, KindsAndFirstPosition) {
    TSQLParser p;
    EXPECT_EQ(p.SQLKind(), TSQLKind::skUnknown);
    EXPECT_EQ(p.FirstPos(), 1);
    p.SetSQLText(QString());
    EXPECT_EQ(p.SQLKind(), TSQLKind::skUnknown);
    EXPECT_EQ(p.FirstPos(), 1);
    EXPECT_EQ(p.Len(), 0);
    EXPECT_TRUE(p.CanParamsCheck());

    p.SetSQLText(QStringLiteral("  /* c */\r\n-- d\r\nSelect 1 from rdb$database\r\n"));
    EXPECT_EQ(p.SQLKind(), TSQLKind::skSelect);
    EXPECT_EQ(p.FirstPos(), 18);
    EXPECT_EQ(p.Len(), 45);

    EXPECT_EQ(Kind(QStringLiteral("merge into t using s on 1=1")), TSQLKind::skSelect);
    EXPECT_EQ(Kind(QStringLiteral("UPDATE formy set counter=1")), TSQLKind::skUpdate);
    EXPECT_EQ(Kind(QStringLiteral("update /*x*/ or insert into t values(1)")), TSQLKind::skUpdateOrInsert);
    EXPECT_EQ(Kind(QStringLiteral("update orders set a=1")), TSQLKind::skUpdate);
    EXPECT_EQ(Kind(QStringLiteral("delete from t")), TSQLKind::skDelete);
    EXPECT_EQ(Kind(QStringLiteral("Insert into t values(1)")), TSQLKind::skInsert);
    EXPECT_EQ(Kind(QStringLiteral("execute  procedure p")), TSQLKind::skExecuteProc);
    EXPECT_EQ(Kind(QStringLiteral("EXECUTE BLOCK AS BEGIN END")), TSQLKind::skExecuteBlock);
    EXPECT_EQ(Kind(QStringLiteral("execute statement 'x'")), TSQLKind::skUnknown);
    // A select in brackets: the character before SELECT is '(', not a word-before character.
    EXPECT_EQ(Kind(QStringLiteral("(select 1 from t)")), TSQLKind::skUnknown);
    EXPECT_EQ(Kind(QStringLiteral("commit")), TSQLKind::skUnknown);
}

TEST(SQLParser, DataDefinitionText) {
    for (const char* t :
         {"alter table t add x int", "CREATE TABLE T (A INT)", "comment on table t is 'x'", "drop table t",
          "declare external function f", "grant select on t to u", "recreate view v as select 1 from t",
          "revoke all on t from u", "set generator g to 5", "set  \t generator g to 5", "show tables"}) {
        TSQLParser p;
        p.SetSQLText(QString::fromLatin1(t));
        EXPECT_EQ(p.SQLKind(), TSQLKind::skDDL) << t;
        EXPECT_FALSE(p.CanParamsCheck()) << t;
    }
    EXPECT_EQ(Kind(QStringLiteral("set transaction")), TSQLKind::skUnknown);
    EXPECT_EQ(Kind(QStringLiteral("createx table t")), TSQLKind::skUnknown);
    EXPECT_EQ(Kind(QStringLiteral("(create table t)")), TSQLKind::skUnknown);
}

TEST(HasNoParamMarkers, MarkersOutsideStringsAndComments) {
    const QChar at(u'@');
    EXPECT_TRUE(HasNoParamMarkers(QString(), at));
    EXPECT_TRUE(HasNoParamMarkers(QStringLiteral(":"), at));
    EXPECT_TRUE(HasNoParamMarkers(QStringLiteral("select 'a:b', \"c?d\" from t -- :x\r\n/* @m */"), at));
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select a from t where b=:b"), at));
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select a from t where b=?"), at));
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select a from @tab"), at));
    EXPECT_TRUE(HasNoParamMarkers(QStringLiteral("select a from @tab"), QChar(u'&')));
    // A line comment also ends at a bare LF; a marker after it counts.
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select 1 -- c\n where a=:a"), at));
    // A macro that is the whole text.
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("@@sql@"), at));
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("'it''s' :p"), at));
    // The '/' closing a comment opens no new one.
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select a /*c*/* b from t where c=:c"), at));
    EXPECT_EQ(Scan(QStringLiteral("select a /*c*/* b from t where c=:c")).Names.size(), 1);
    EXPECT_TRUE(HasNoParamMarkers(QStringLiteral("select a /*/ :c */ from t"), at));
    EXPECT_FALSE(HasNoParamMarkers(QStringLiteral("select 1 -- c\0 :c"), at));
}

TEST(ScanParameters, ApplicationStatements) {
    struct Case {
        QString text;
        QString processed;
        QStringList names;
    };
    const Case cases[] = {
        {QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid") + CRLF,
         QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=?   ") + CRLF,
         {QStringLiteral("TID")}},
        {QStringLiteral("UPDATE formy set counter=:counter, counttch=:counttch  ") + CRLF +
             QStringLiteral("WHERE id = :id") + CRLF,
         QStringLiteral("UPDATE formy set counter=") + Marker(8) + QStringLiteral(", counttch=") + Marker(9) +
             QStringLiteral("  ") + CRLF + QStringLiteral("WHERE id = ") + Marker(3) + CRLF,
         {QStringLiteral("COUNTER"), QStringLiteral("COUNTTCH"), QStringLiteral("ID")}},
        {QStringLiteral("Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( "
                        ":id_f,:stan,:ostan,:opis,:id_p,:lm )") +
             CRLF,
         QStringLiteral("Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( "
                        "?    ,?    ,?     ,?    ,?    ,?   )") +
             CRLF,
         {QStringLiteral("ID_F"), QStringLiteral("STAN"), QStringLiteral("OSTAN"), QStringLiteral("OPIS"),
          QStringLiteral("ID_P"), QStringLiteral("LM")}},
    };
    for (const Case& c : cases) {
        TTestTextOwner owner;
        TSQLTextState state(owner);
        state.SetSQLText(c.text, true);
        EXPECT_EQ(owner.User.Names(), c.names);
        EXPECT_TRUE(state.ProcessedSQL().isEmpty()); // built at prepare
        for (int i = 0; i < owner.User.ParamCount(); ++i)
            owner.User.Item(i).Value = i + 1; // the application sets every parameter
        state.RebuildForPrepare();
        EXPECT_EQ(state.ProcessedSQL(), c.processed);
        EXPECT_EQ(owner.Server.Names(), c.names);
        EXPECT_EQ(state.PreparedSQL(), c.processed.toLatin1());
        EXPECT_FALSE(state.DiffParams());
    }
    // Flags and positions of the select's parameter and the update's.
    const TSQLScanResult sel = Scan(cases[0].text);
    ASSERT_EQ(sel.Names.size(), 1);
    EXPECT_EQ(sel.Names[0].BeginPos, cases[0].text.indexOf(QStringLiteral(":tid")) + 1);
    EXPECT_EQ(sel.Names[0].EndPos, sel.Names[0].BeginPos + 3);
    EXPECT_TRUE(sel.Names[0].InWhereClause);
    EXPECT_TRUE(sel.Names[0].CanForceIsNull);
    const TSQLScanResult upd = Scan(cases[1].text);
    ASSERT_EQ(upd.Names.size(), 3);
    EXPECT_FALSE(upd.Names[0].InWhereClause);
    EXPECT_FALSE(upd.Names[1].InWhereClause);
    EXPECT_TRUE(upd.Names[2].InWhereClause);
}

TEST(ScanParameters, StringsIdentifiersAndCommentsHideMarkers) {
    const QString t =
        QStringLiteral("select 'a:b''c:d', \"x:y\" /* :c */ -- :l\r\nfrom t where a=:a -- :m\r\n");
    const TSQLScanResult r = Scan(t);
    EXPECT_EQ(r.Error, TSQLScanError::None);
    EXPECT_EQ(ScannedNames(r), QStringList{QStringLiteral("a")});
    QString expected = t;
    expected.replace(QStringLiteral(":a --"), QStringLiteral("?  --"));
    EXPECT_EQ(r.ProcessedSQL, expected);
    EXPECT_EQ(r.ProcessedSQL.size(), t.size());
}

TEST(ScanParameters, NameFollowedByComment) {
    // The comment right after the name stays intact, and what it holds is no parameter.
    const QString t = QStringLiteral("select a from t where b=:b--:x\r\n and c=:c/*:y*/\r\n");
    const TSQLScanResult r = Scan(t);
    EXPECT_EQ(ScannedNames(r), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(r.ProcessedSQL, QStringLiteral("select a from t where b=? --:x\r\n and c=? /*:y*/\r\n"));
}

TEST(ScanParameters, QuotedNamesAndQuestionMarks) {
    TSQLScanResult r = Scan(QStringLiteral("select a from t where b=:\"Mixed Name\" and c=?P0"));
    ASSERT_EQ(r.Error, TSQLScanError::None);
    ASSERT_EQ(r.Names.size(), 2);
    EXPECT_EQ(r.Names[0].Name, QStringLiteral("Mixed Name"));
    EXPECT_TRUE(r.Names[0].Quoted);
    EXPECT_EQ(r.Names[0].BeginPos, 25);
    EXPECT_EQ(r.Names[0].EndPos, 37); // the closing quote
    EXPECT_EQ(r.Names[1].Name, QStringLiteral("P0"));
    EXPECT_EQ(r.ProcessedSQL, QStringLiteral("select a from t where b=") + Marker(13) +
                                  QStringLiteral(" and c=") + Marker(3));

    EXPECT_EQ(Scan(QStringLiteral("select a from t where b=? ")).Error, TSQLScanError::ParamNameExpected);
    EXPECT_EQ(Scan(QStringLiteral("select a from t where b=:")).Error, TSQLScanError::ParamNameExpected);
    EXPECT_EQ(Scan(QStringLiteral("select a from t where b=:\"\"")).Error, TSQLScanError::ParamNameExpected);
    EXPECT_EQ(Scan(QStringLiteral("select a from t where b=:\"open")).Error, TSQLScanError::EofInString);
    EXPECT_EQ(Scan(QStringLiteral("select 'open from t")).Error, TSQLScanError::EofInString);
    EXPECT_EQ(Scan(QStringLiteral("select \"open from t")).Error, TSQLScanError::EofInString);
    EXPECT_EQ(Scan(QStringLiteral("select a from t /* open")).Error, TSQLScanError::EofInComment);
    EXPECT_EQ(Scan(QStringLiteral("select a from t -- open")).Error, TSQLScanError::None);
}

TEST(ScanParameters, CharacterAfterANameIsNotExamined) {
    // ":a:b" - the colon right after a name is copied, so "b" is no parameter.
    TSQLScanResult r = Scan(QStringLiteral("select :a:b from t"));
    EXPECT_EQ(ScannedNames(r), QStringList{QStringLiteral("a")});
    EXPECT_EQ(r.ProcessedSQL, QStringLiteral("select ? :b from t"));
    // ')' right after a name still closes the bracket of the WHERE clause.
    r = Scan(QStringLiteral("select (select x from u where y=:y) as z, :w from t"));
    ASSERT_EQ(r.Names.size(), 2);
    EXPECT_TRUE(r.Names[0].InWhereClause);
    EXPECT_FALSE(r.Names[1].InWhereClause);
}

TEST(ScanParameters, WhereClauseTracking) {
    const QString t = QStringLiteral(
        "select a, :s from t where (b=:b and c in (select d from u where e=:e)) and f=:f group by g having "
        "h>:h");
    const TSQLScanResult r = Scan(t);
    ASSERT_EQ(r.Names.size(), 5);
    EXPECT_FALSE(r.Names[0].InWhereClause);
    EXPECT_TRUE(r.Names[1].InWhereClause);
    EXPECT_TRUE(r.Names[2].InWhereClause);
    EXPECT_TRUE(r.Names[3].InWhereClause);
    EXPECT_FALSE(r.Names[4].InWhereClause);
    // Same flags whether the text is written out or not.
    const TSQLScanResult quiet = Scan(t, false);
    ASSERT_EQ(quiet.Names.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(quiet.Names[i].InWhereClause, r.Names[i].InWhereClause) << i;
    EXPECT_TRUE(quiet.ProcessedSQL.isEmpty());

    // An execute procedure statement has no WHERE tracking.
    EXPECT_FALSE(
        Scan(QStringLiteral("execute procedure p (select x from t where y=:y)")).Names[0].InWhereClause);
}

TEST(ScanParameters, WhatFollowsDecidesIsNullRewrite) {
    const TSQLScanResult r = Scan(QStringLiteral(
        "select 1 from t where a=:a and b=:b * 2 and c=:c\r\n + 1 and d=:d|| 'x' and e=:e -1 and f=:f --c\r\n"
        " and g=:g / 2 and h=:h /*c*/"));
    ASSERT_EQ(r.Names.size(), 8);
    const bool expected[] = {true, false, false, false, false, true, false, true};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(r.Names[i].CanForceIsNull, expected[i]) << r.Names[i].Name.toStdString();
    // Outside a WHERE clause nothing may be rewritten.
    EXPECT_FALSE(Scan(QStringLiteral("update t set a=:a")).Names[0].CanForceIsNull);
}

TEST(ScanParameters, ExecuteBlockParametersBeforeAsOnly) {
    const QString t = QStringLiteral("execute block (x int = :x, \"y\" int = :y)\r\nas\r\ndeclare v int;\r\n"
                                     "begin select a from t where b=:x into :v; end");
    TSQLParser p;
    p.SetSQLText(t);
    ASSERT_EQ(p.SQLKind(), TSQLKind::skExecuteBlock);
    const TSQLScanResult r = Scan(t);
    EXPECT_EQ(r.Error, TSQLScanError::None);
    EXPECT_EQ(ScannedNames(r), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_TRUE(r.ProcessedSQL.endsWith(QStringLiteral("where b=:x into :v; end")));
    EXPECT_EQ(ScannedNames(Scan(QStringLiteral("execute block (a int = :a)as begin x = :b; end"))),
              QStringList{QStringLiteral("a")});
    // AS inside a longer word ("bias", "ask") does not start the body.
    EXPECT_EQ(Scan(QStringLiteral("execute block (bias int = :a, ask int = :b) as begin end")).Names.size(),
              2);
}

TEST(ScanParameters, DataDefinitionTextHasNoParameters) {
    const TSQLScanResult r = Scan(QStringLiteral("create procedure p as begin x = :y; end"));
    EXPECT_EQ(r.Error, TSQLScanError::None);
    EXPECT_TRUE(r.Names.isEmpty());
}

TEST(ScanParameters, MacroForms) {
    const QString t = QStringLiteral("select @@cols%a, b@ from @tab where x = @@flt%#abc@ and y=:y\r\n");
    const TSQLScanResult r = Scan(t);
    ASSERT_EQ(r.Error, TSQLScanError::None);
    ASSERT_EQ(r.Names.size(), 4);
    EXPECT_TRUE(r.Names[0].IsMacro);
    EXPECT_EQ(r.Names[0].Name, QStringLiteral("cols%a, b")); // blanks belong to a "@@" name
    EXPECT_EQ(r.Names[0].BeginPos, 8);
    EXPECT_EQ(r.Names[0].EndPos, 19); // the closing macro character
    EXPECT_EQ(r.Names[1].Name, QStringLiteral("tab"));
    EXPECT_EQ(r.Names[1].EndPos, 29);
    EXPECT_EQ(r.Names[2].Name, QStringLiteral("flt%#abc"));
    EXPECT_TRUE(r.Names[2].InWhereClause);
    EXPECT_FALSE(r.Names[3].IsMacro);
    // Macros stay in the written text; only parameters become markers.
    EXPECT_EQ(r.ProcessedSQL,
              QStringLiteral("select @@cols%a, b@ from @tab where x = @@flt%#abc@ and y=? \r\n"));

    EXPECT_EQ(Scan(QStringLiteral("select a from @ t")).Error, TSQLScanError::ParamNameExpected);
    EXPECT_EQ(Scan(QStringLiteral("select a from @\r\n")).Error, TSQLScanError::ParamNameExpected);
    EXPECT_EQ(Scan(QStringLiteral("select a from @")).Error, TSQLScanError::ParamNameExpected);
    // An unclosed "@@" macro runs to the end of the text.
    const TSQLScanResult open = Scan(QStringLiteral("select a from @@tab"));
    ASSERT_EQ(open.Names.size(), 1);
    EXPECT_EQ(open.Names[0].Name, QStringLiteral("tab"));
    EXPECT_EQ(open.Names[0].EndPos, 19);
    // A macro that is the whole statement.
    EXPECT_EQ(ScannedNames(Scan(QStringLiteral("@@sql@"))), QStringList{QStringLiteral("sql")});
}

TEST(ParamListFromScan, NamesDuplicatesAndMacros) {
    TMemoryParamList previous;
    const TSQLScanResult r = Scan(QStringLiteral(
        "select @@Cols%a@ from t where p=:P and q=:p and r=:\"p\" and s=@@m2%#x@ and u=@@m3%@ and w=@m4"));
    ASSERT_EQ(r.Error, TSQLScanError::None);
    const QList<TParamListEntry> e = PlanParamList(r.Names, &previous, true);
    ASSERT_EQ(e.size(), 7);
    QStringList names;
    for (const TParamListEntry& x : e)
        names << x.Name;
    EXPECT_EQ(names, (QStringList{"COLS", "P", "P", "p", "M2", "M3", "M4"}));
    EXPECT_TRUE(e[0].TextData.FIsMacro);
    EXPECT_FALSE(e[0].TextData.FQuoted);
    EXPECT_EQ(e[0].TextData.FDefMacroValue, QStringLiteral("a"));
    EXPECT_TRUE(e[0].SetMacroValue);
    EXPECT_EQ(e[0].MacroValue, QStringLiteral("a"));
    EXPECT_TRUE(e[3].NameQuoted);
    EXPECT_TRUE(e[3].TextData.FQuoted);
    EXPECT_FALSE(e[1].NameQuoted);
    // A '#' default marks the macro quoted and is dropped.
    EXPECT_TRUE(e[4].TextData.FQuoted);
    EXPECT_EQ(e[4].MacroValue, QStringLiteral("x"));
    EXPECT_EQ(e[5].MacroValue, QString());
    EXPECT_EQ(e[6].MacroValue, QString());
    EXPECT_FALSE(e[6].TextData.FQuoted);
    for (const TParamListEntry& x : e)
        EXPECT_EQ(x.KeepIndex, -1);

    // The server list keeps no macros.
    EXPECT_EQ(PlanParamList(r.Names, nullptr, false).size(), 3);

    // Long macro names are cut to 255 characters.
    const QString longName(300, u'n');
    const TSQLScanResult lr = Scan(QStringLiteral("select @@") + longName + QStringLiteral("%d@ from t"));
    const QList<TParamListEntry> le = PlanParamList(lr.Names, nullptr, true);
    ASSERT_EQ(le.size(), 1);
    EXPECT_EQ(le[0].Name, QString(255, u'N'));
    EXPECT_EQ(le[0].MacroValue, QStringLiteral("d"));
}

TEST(ParamListFromScan, ItemsSurviveATextChange) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(QStringLiteral("select a from t where b=:b and c=:c and d=:d\r\n"), true);
    ASSERT_EQ(owner.User.ParamCount(), 3);
    TMemoryParam* b = &owner.User.Item(0);
    TMemoryParam* c = &owner.User.Item(1);
    TMemoryParam* d = &owner.User.Item(2);
    b->Value = 5;
    c->Value = QStringLiteral("x");
    d->Value = 7;
    d->Blob = true;

    state.SetSQLText(QStringLiteral("select a from t where c=:C and e=:e and b=:b and d=:d\r\n"), true);
    ASSERT_EQ(owner.User.Names(), (QStringList{"C", "E", "B", "D"}));
    EXPECT_EQ(&owner.User.Item(0), c);
    EXPECT_EQ(owner.User.Item(0).Value, QVariant(QStringLiteral("x")));
    EXPECT_EQ(&owner.User.Item(2), b);
    EXPECT_EQ(owner.User.Item(2).Value, QVariant(5));
    // Positions follow the new text.
    EXPECT_EQ(owner.User.Item(2).Data.FBeginPosInText, 43);
    EXPECT_TRUE(owner.User.Item(1).IsNull());
    // A blob item is never carried over.
    EXPECT_NE(&owner.User.Item(3), d);
    EXPECT_TRUE(owner.User.Item(3).IsNull());
}

TEST(ParamListFromScan, RepeatedNamesReuseOneItemEach) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(QStringLiteral("select a from t where x=:p or y=:P\r\n"), true);
    ASSERT_EQ(owner.User.Names(), (QStringList{"P", "P"}));
    owner.User.SetByName(QStringLiteral("P"), 3);
    EXPECT_EQ(owner.User.Item(0).Value, QVariant(3));
    EXPECT_EQ(owner.User.Item(1).Value, QVariant(3));
    TMemoryParam* first = &owner.User.Item(0);
    TMemoryParam* second = &owner.User.Item(1);
    state.SetSQLText(QStringLiteral("select a from t where x=:p or y=:p or z=:p\r\n"), true);
    ASSERT_EQ(owner.User.ParamCount(), 3);
    EXPECT_EQ(&owner.User.Item(0), first);
    EXPECT_EQ(&owner.User.Item(1), second);
    EXPECT_TRUE(owner.User.Item(2).IsNull());
}

TEST(ReadySQLText, NullComparisonsRewritten) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    const QString t =
        QStringLiteral("select 1 from t where a=:a and b <> :b and c!=:c and d >= :d and e= :e + 1"
                       " and f = (:f) and g=:g\r\n");
    state.SetSQLText(t, true);
    ASSERT_EQ(owner.User.ParamCount(), 7);
    owner.User.Item(6).Value = 1; // g has a value
    const QString ready = state.ReadySQLText(true);
    EXPECT_EQ(ready, QStringLiteral("select 1 from t where a IS NULL  and b  IS NOT NULL  and c IS NOT NULL  "
                                    "and d >= :d and e= :e + 1 and f = (:f) and g=:g\r\n"));
    EXPECT_TRUE(state.DiffParams());
    EXPECT_FALSE(owner.User.Item(0).OldValue.isValid());

    state.RebuildForPrepare();
    EXPECT_EQ(owner.Server.Names(), (QStringList{"D", "E", "F", "G"}));
    EXPECT_EQ(state.ProcessedSQL(),
              QStringLiteral("select 1 from t where a IS NULL  and b  IS NOT NULL  and c "
                             "IS NOT NULL  and d >= ?  and e= ?  + 1 and f = (? ) and g=? \r\n"));

    // With every value set there is nothing to rewrite.
    for (int i = 0; i < 7; ++i)
        owner.User.Item(i).Value = i;
    EXPECT_EQ(state.ReadySQLText(true), t);
    EXPECT_FALSE(state.DiffParams());
}

TEST(ReadySQLText, NoRewriteThatWouldCutAQuotedName) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    const QString t = QStringLiteral("select 1 from t where \"a=\" - :p > 0 and b=:b\r\n");
    state.SetSQLText(t, true);
    ASSERT_EQ(owner.User.ParamCount(), 2);
    EXPECT_EQ(state.ReadySQLText(true),
              QStringLiteral("select 1 from t where \"a=\" - :p > 0 and b IS NULL \r\n"));
}

TEST(ReadySQLText, WhenRewritingIsOff) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    const QString t = QStringLiteral("select 1 from t where a=:a\r\n");
    state.SetSQLText(t, true);
    owner.NoForce = true;
    EXPECT_EQ(state.ReadySQLText(true), t);
    owner.NoForce = false;
    owner.InPrepare = true; // a prepare outside an execution does not rewrite
    EXPECT_EQ(state.ReadySQLText(true), t);
    owner.InExecute = true;
    EXPECT_EQ(state.ReadySQLText(true), QStringLiteral("select 1 from t where a IS NULL \r\n"));
}

TEST(ReadySQLText, MacroValuesAndQuoting) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(
        QStringLiteral("select @@cols%a, b@ from @tab where n = @@nm%#x@ and m=@@q%#@ and id=:id\r\n"), true);
    ASSERT_TRUE(state.HaveMacros());
    ASSERT_EQ(owner.User.Names(), (QStringList{"COLS", "TAB", "NM", "Q", "ID"}));
    owner.User.Item(1).Value = QStringLiteral("formy f");
    owner.User.Item(4).Value = 12;
    owner.NoForce = true;
    EXPECT_EQ(state.ReadySQLText(false),
              QStringLiteral("select a, b from formy f where n = 'x' and m='' and id=:id\r\n"));
    EXPECT_FALSE(state.DiffParams());
    EXPECT_EQ(owner.User.Item(1).OldValue, QVariant(QStringLiteral("formy f")));

    owner.User.Item(2).Value = QStringLiteral("O'Brien");
    owner.User.Item(3).Value = QStringLiteral("#abc");
    EXPECT_EQ(state.ReadySQLText(true),
              QStringLiteral("select a, b from formy f where n = 'O''Brien' and m='abc' and id=:id\r\n"));
    EXPECT_TRUE(state.DiffParams());
    owner.User.Item(2).Value = QStringLiteral("'a' || 'b'");
    EXPECT_TRUE(state.ReadySQLText(true).contains(QStringLiteral("n = 'a' || 'b' and")));

    state.RebuildForPrepare();
    EXPECT_EQ(owner.Server.Names(), QStringList{"ID"});
    EXPECT_EQ(state.ProcessedSQL(),
              QStringLiteral("select a, b from formy f where n = 'a' || 'b' and m='abc' and id=?  \r\n"));
}

TEST(ReadySQLText, MacroBeforeARewrittenParameter) {
    // The macro's name runs up to the blank and takes the '=', which must not be rewritten twice.
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(QStringLiteral("select 1 from t where @m=\r\n:p and q=:q\r\n"), true);
    ASSERT_EQ(owner.User.Names(), (QStringList{"M=", "P", "Q"}));
    owner.User.Item(0).Value = QStringLiteral("x");
    EXPECT_EQ(state.ReadySQLText(true), QStringLiteral("select 1 from t where x\r\n:p and q IS NULL \r\n"));
}

TEST(SQLTextState, ScanErrorsAreClientError51) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(QStringLiteral("select a from t where b=:b\r\n"), true);
    TMemoryParam* b = &owner.User.Item(0);

    EXPECT_EQ(
        ClientError51([&] { state.SetSQLText(QStringLiteral("select a from t where b=? \r\n"), true); }),
        QStringLiteral("SQL Parse Error in :Form1.pFbQueryFormy \r\n\r\nParameter name expected"));
    EXPECT_EQ(
        ClientError51([&] { state.SetSQLText(QStringLiteral("select a from t where b=:b /* x\r\n"), true); }),
        QStringLiteral("SQL Parse Error in :Form1.pFbQueryFormy \r\n\r\nEOF in comment detected"));
    EXPECT_EQ(ClientError51(
                  [&] { state.SetSQLText(QStringLiteral("select a from t where b=:b and c='x\r\n"), true); }),
              QStringLiteral("SQL Parse Error in :Form1.pFbQueryFormy \r\n\r\nEOF in string detected"));
    // The previous list is left in place.
    ASSERT_EQ(owner.User.ParamCount(), 1);
    EXPECT_EQ(&owner.User.Item(0), b);

    // While loading, a missing name is not reported and builds no list; other errors still are.
    owner.Loading = true;
    EXPECT_EQ(
        ClientError51([&] { state.SetSQLText(QStringLiteral("select a from t where c=: \r\n"), true); }),
        QString());
    EXPECT_EQ(&owner.User.Item(0), b);
    EXPECT_FALSE(
        ClientError51([&] { state.SetSQLText(QStringLiteral("select :a, 'b\r\n"), true); }).isEmpty());
}

TEST(SQLTextState, TextsWithoutParameters) {
    TTestTextOwner owner;
    TSQLTextState state(owner);
    state.SetSQLText(QStringLiteral("select a from t where b=:b\r\n"), true);
    ASSERT_EQ(owner.User.ParamCount(), 1);
    const QString plain = QString::fromUtf16(u"select 'żółw' from t\r\n");
    state.SetSQLText(plain, true);
    EXPECT_EQ(owner.User.ParamCount(), 0);
    EXPECT_EQ(state.ProcessedSQL(), plain);
    EXPECT_EQ(state.PreparedSQL(), QByteArray("select '\xBF\xF3\xB3w' from t\r\n"));
    EXPECT_TRUE(state.UserParamsCreated());

    // ParamCheck off: the text goes as written.
    const QString marked = QStringLiteral("select a from t where b=:b\r\n");
    state.SetSQLText(marked, false);
    EXPECT_EQ(owner.User.ParamCount(), 0);
    EXPECT_EQ(state.ProcessedSQL(), marked);

    // Markers only in a DDL body: scanned, nothing found, the text is kept.
    const QString ddl = QStringLiteral("create procedure p as begin x = :y; end\r\n");
    state.SetSQLText(ddl, true);
    EXPECT_EQ(owner.User.ParamCount(), 0);
    EXPECT_EQ(state.ProcessedSQL(), ddl);
    EXPECT_EQ(state.PreparedSQL(), ddl.toLatin1());
}

TEST(SQLTextState, ApplyCodePageFollowsTheConnection) {
    const QString text = QString::fromUtf16(u"select a from t where n='Łódź' and b=:b\r\n");
    auto prepared = [&](TTestTextOwner& owner) {
        TSQLTextState state(owner);
        state.SetSQLText(text, true);
        owner.User.Item(0).Value = 1;
        state.RebuildForPrepare();
        return state.PreparedSQL();
    };
    QString processed = text;
    processed.replace(QStringLiteral(":b"), QStringLiteral("? "));
    TTestTextOwner ansi;
    EXPECT_EQ(prepared(ansi), platform::Encode(processed, platform::TTextEncoding::Ansi));
    EXPECT_EQ(prepared(ansi).count('\xA3'), 1); // Ł in Windows-1250
    TTestTextOwner unicode;
    unicode.Unicode = true;
    EXPECT_EQ(prepared(unicode), processed.toUtf8());
    TTestTextOwner koi8;
    koi8.KOI8 = true;
    const QString cyr = QString::fromUtf16(u"select a from t where n='Ж' and b=:b\r\n");
    TSQLTextState state(koi8);
    state.SetSQLText(cyr, true);
    koi8.User.Item(0).Value = 1;
    state.RebuildForPrepare();
    EXPECT_EQ(state.PreparedSQL(), QByteArray("select a from t where n='\xF6' and b=? \r\n"));
}

TEST(SQLTextState, ApplyCodePageForDataDefinition) {
    const QString ddl = QString::fromUtf16(u"create table ż (a int)\r\n");
    TTestTextOwner unicode;
    unicode.Unicode = true;
    TSQLTextState state(unicode);
    state.SetSQLText(ddl, true);
    // As encoded when the text was set (UTF-8 on a Unicode connection), kept by ApplyCodePage.
    state.ApplyCodePage();
    EXPECT_EQ(state.PreparedSQL(), ddl.toUtf8());
    EXPECT_TRUE(state.CodePageApplied());

    TTestTextOwner utfDDL;
    utfDDL.UTF8DDL = true;
    TSQLTextState s2(utfDDL);
    s2.SetSQLText(ddl, true);
    EXPECT_EQ(s2.PreparedSQL(), platform::AnsiFromString(ddl));
    s2.ApplyCodePage();
    EXPECT_EQ(s2.PreparedSQL(), ddl.toUtf8());

    // A DDL text rebuilt with a macro value is encoded anew, not left at the old text.
    TTestTextOwner owner;
    TSQLTextState s3(owner);
    s3.SetSQLText(QStringLiteral("create table @name (a int)\r\n"), true);
    ASSERT_EQ(owner.User.ParamCount(), 1);
    owner.User.Item(0).Value = QStringLiteral("formy2");
    s3.RebuildForPrepare();
    EXPECT_EQ(s3.PreparedSQL(), QByteArray("create table formy2 (a int)\r\n"));
}
