// The string setter and getters: code pages, the remembered UTF-16 text, server types known or
// not yet known, deferred settings, numeric text, long text as blob content.
#include "ValuesTestSupport.h"

#include "platform/Encoding.h"

using namespace db::statements;

namespace {

// A user parameter `name` and, once "prepared", its server counterpart of the given type.
struct TPrepared {
    TTestQuery q;
    TFbXSQLVAR& user;
    TPrepared(short serverType, short subType = 0, short length = 8, short scale = 0)
        : user((q.User.SetCount(1), q.User.AddName(QStringLiteral("v"), 0, false), q.User.Vars(0))) {
        q.Server.SetCount(1);
        q.Server.AddName(QStringLiteral("v"), 0, false);
        Describe(q.Server, 0, serverType, scale, length, true, subType);
        q.Server.InitializeVars();
    }
    void Prepare() { q.IsPrepared = true; }
};

// The value's bytes: the counted text of a SQL_VARYING item, else the whole data area.
QByteArray Stored(const TFbXSQLVAR& item) {
    if (item.SQLType() == SQL_VARYING) {
        ISC_USHORT length;
        std::memcpy(&length, item.Data()->sqldata, sizeof length);
        return QByteArray(item.Data()->sqldata + 2, length);
    }
    return QByteArray(item.Data()->sqldata, item.Size());
}

} // namespace

TEST(StringSetter, AnsiConnectionStoresTheCodePageAndRemembersTheText) {
    TPrepared t(SQL_VARYING, 51, 40);
    TFbXSQLVAR& p = t.user;
    p.SetAsString(QStringLiteral("Raport Vorek"));
    EXPECT_EQ(p.SQLType(), SQL_TEXT);
    EXPECT_EQ(p.Size(), 12);
    EXPECT_EQ(Stored(p), QByteArray("Raport Vorek"));
    EXPECT_FALSE(p.IsDefferedSetting());

    const QString polish = QStringLiteral("Łódź \u2603");
    p.SetAsString(polish);
    // Characters Windows-1250 lacks are replaced as the platform's conversion replaces them.
    EXPECT_EQ(Stored(p), QByteArray("\xA3\xF3\x64\x9F ?"));
    EXPECT_EQ(p.Size(), 6);
    EXPECT_EQ(p.AsString(), polish); // the snowman has no place in Windows-1250, the text keeps it
    EXPECT_EQ(p.AsVariant(), QVariant(polish));
    p.SetAsString(QStringLiteral("\u00C0 la"));
    EXPECT_EQ(Stored(p), QByteArray("A la"));
    EXPECT_EQ(Stored(p), platform::AnsiFromString(QStringLiteral("\u00C0 la")));

    p.SetAsAnsiString(QByteArray("\xA3\xF3\x64\x9F"));
    EXPECT_EQ(p.AsString(), QStringLiteral("Łódź"));
    p.SetAsString(polish);
    p.SetAsInteger(5); // another setter forgets the text
    EXPECT_EQ(p.AsString(), QStringLiteral("5"));
    p.SetAsString(polish);
    p.SetIsNull(true);
    EXPECT_EQ(p.AsString(), QString());
}

TEST(StringSetter, EmptyTextIsNullOnlyForKnownNumericAndDateTypes) {
    TPrepared t(SQL_LONG, 0, 4);
    TFbXSQLVAR& p = t.user;
    p.SetAsString(QString());
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(p.SQLType(), SQL_TEXT);
    EXPECT_EQ(p.Size(), 0);
    t.Prepare();
    p.SetAsString(QString());
    EXPECT_TRUE(p.IsNull());

    TPrepared d(SQL_TYPE_DATE, 0, 4);
    d.Prepare();
    d.user.SetAsAnsiString(QByteArray());
    EXPECT_TRUE(d.user.IsNull());
    TPrepared s(SQL_VARYING, 51, 10);
    s.Prepare();
    s.user.SetAsString(QString());
    EXPECT_FALSE(s.user.IsNull());
}

TEST(StringSetter, NumericServerTypesGetAFullStop) {
    TSettingsGuard guard;
    TPrepared t(SQL_DOUBLE);
    TFbXSQLVAR& p = t.user;
    p.SetAsString(QStringLiteral("12,5"));
    EXPECT_EQ(Stored(p), QByteArray("12,5")); // not prepared: the server type is unknown
    t.Prepare();
    p.SetAsString(QStringLiteral("12,5"));
    EXPECT_EQ(Stored(p), QByteArray("12.5"));
    EXPECT_EQ(p.AsString(), QStringLiteral("12,5"));
    platform::RegionalSettings().DecimalSeparator = QLatin1Char(';');
    p.SetAsAnsiString("1;5");
    EXPECT_EQ(Stored(p), QByteArray("1.5"));

    // Macros keep their text as given.
    p.TextData().FIsMacro = true;
    p.SetAsString(QStringLiteral("1,5"));
    EXPECT_EQ(Stored(p), QByteArray("1,5"));
}

TEST(StringSetter, LongTextAndBlobServerTypesBecomePendingBlobContent) {
    TPrepared t(SQL_VARYING, 51, 100);
    TFbXSQLVAR& p = t.user;
    const QString text(40000, QLatin1Char('x'));
    p.SetAsString(text);
    EXPECT_TRUE(p.HasStreamValue());
    EXPECT_EQ(p.StreamValue().size(), 40000);
    EXPECT_EQ(p.StreamValue(), QByteArray(40000, 'x'));
    EXPECT_EQ(p.SQLType(), SQL_BLOB);
    EXPECT_FALSE(p.IsNull());
    EXPECT_TRUE(t.q.StreamParams);
    EXPECT_EQ(p.AsString(), text);
    EXPECT_EQ(p.AsAnsiString().size(), 40000);
    // The same once the server has described the item as text.
    TPrepared v(SQL_VARYING, 51, 100);
    v.Prepare();
    v.user.SetAsString(text);
    EXPECT_TRUE(v.user.HasStreamValue());
    EXPECT_EQ(v.user.StreamValue().size(), 40000);
    EXPECT_EQ(v.user.AsString(), text);
    p.SetIsNull(true);
    EXPECT_TRUE(p.IsNull());
    EXPECT_FALSE(p.HasStreamValue());

    // Exactly 32767 bytes still fit a text value.
    p.SetAsAnsiString(QByteArray(32767, 'y'));
    EXPECT_EQ(p.SQLType(), SQL_TEXT);
    EXPECT_EQ(p.Size(), 32767);

    TPrepared b(SQL_BLOB, 1, 8, 51);
    b.Prepare();
    b.user.SetAsString(QStringLiteral("notatka"));
    EXPECT_TRUE(b.user.HasStreamValue());
    EXPECT_EQ(b.user.StreamValue(), QByteArray("notatka"));
    EXPECT_EQ(b.user.SQLSubtype(), 1);
    EXPECT_EQ(b.user.Scale(), 51);
    b.user.SetAsString(QString());
    EXPECT_TRUE(b.user.HasStreamValue());
    EXPECT_TRUE(b.user.StreamValue().isEmpty());
    EXPECT_FALSE(b.user.IsNull());
}

TEST(StringSetter, DbKeyKeepsItsOwnTypeAndLength) {
    TTestQuery q;
    q.Columns.SetCount(1);
    Describe(q.Columns, 0, SQL_TEXT, 0, 8, true, 1);
    std::memcpy(q.Columns.Vars(0).Data()->sqlname, "DB_KEY", 6);
    q.Columns.Vars(0).Data()->sqlname_length = 6;
    q.Columns.InitializeVars();
    TFbXSQLVAR& key = q.Columns.Vars(0);
    key.SetAsAnsiString(QByteArray("\x01\x02\x03", 3));
    EXPECT_EQ(key.SQLType(), SQL_TEXT);
    EXPECT_EQ(key.Size(), 8);
    EXPECT_EQ(Stored(key), QByteArray("\x01\x02\x03\0\0\0\0\0", 8));
}

// Once prepared, text that fits the VARCHAR the server described goes in that form (the same
// form at every execution); longer text goes as text of its own length.
TEST(StringSetter, TextTakesTheDescribedVaryingFormWhenItFits) {
    TPrepared t(SQL_VARYING, 51, 10);
    t.Prepare();
    t.user.SetAsString(QStringLiteral("Łódź  "));
    EXPECT_EQ(t.user.SQLType(), SQL_VARYING);
    EXPECT_EQ(t.user.Size(), 10);
    EXPECT_EQ(Stored(t.user), QByteArray("\xA3\xF3\x64\x9F  "));
    EXPECT_EQ(t.user.AsString(), QStringLiteral("Łódź  "));
    t.user.SetAsString(QString());
    EXPECT_EQ(t.user.SQLType(), SQL_VARYING);
    EXPECT_EQ(Stored(t.user), QByteArray());
    EXPECT_FALSE(t.user.IsNull());
    t.user.SetAsString(QStringLiteral("abcdefghijk"));
    EXPECT_EQ(t.user.SQLType(), SQL_TEXT);
    EXPECT_EQ(Stored(t.user), QByteArray("abcdefghijk"));
    // In UTF8 a VARCHAR(2) is described as 8 bytes: "ab " fits those but not the two characters.
    TPrepared utf8(SQL_VARYING, 4, 8);
    utf8.q.Translate = utf8.q.Unicode = true;
    utf8.Prepare();
    utf8.user.SetAsString(QStringLiteral("ab"));
    EXPECT_EQ(utf8.user.SQLType(), SQL_VARYING);
    utf8.user.SetAsString(QStringLiteral("ab "));
    EXPECT_EQ(utf8.user.SQLType(), SQL_TEXT);
}

TEST(StringSetter, TranslatingConnectionsChooseUtf8ByServerCharacterSet) {
    {
        TPrepared t(SQL_VARYING, 4, 40); // UTF8 column
        t.q.Translate = true;
        t.Prepare();
        t.user.SetAsString(QStringLiteral("Łódź"));
        EXPECT_EQ(Stored(t.user), QStringLiteral("Łódź").toUtf8());
        EXPECT_EQ(t.user.SQLSubtype(), 4); // the column's own set: stored without transliteration
        EXPECT_EQ(t.user.AsAnsiString(), QByteArray("\xA3\xF3\x64\x9F"));
        t.user.SetAsAnsiString(QByteArray("\xA3\xF3\x64\x9F"));
        EXPECT_EQ(Stored(t.user), QStringLiteral("Łódź").toUtf8());
        EXPECT_EQ(t.user.AsString(), QStringLiteral("Łódź"));
    }
    {
        TPrepared t(SQL_VARYING, 51, 40); // WIN1250 column on a NONE connection: the ANSI code page
        t.q.Translate = true;
        t.Prepare();
        t.user.SetAsString(QStringLiteral("Łódź"));
        EXPECT_EQ(Stored(t.user), QByteArray("\xA3\xF3\x64\x9F"));
        EXPECT_EQ(t.user.SQLSubtype(), 0);
        t.q.Unicode = true; // on a UTF8 connection any character set above OCTETS is UTF-8
        t.user.SetAsString(QStringLiteral("Łódź"));
        EXPECT_EQ(Stored(t.user), QStringLiteral("Łódź").toUtf8());
        EXPECT_EQ(t.user.SQLSubtype(), 3);
    }
    {
        TPrepared t(SQL_BLOB, 1, 8, 4); // UTF8 text blob
        t.q.Translate = true;
        t.Prepare();
        t.user.SetAsString(QStringLiteral("Łódź"));
        EXPECT_EQ(t.user.StreamValue(), QStringLiteral("Łódź").toUtf8());
    }
}

TEST(StringSetter, DeferredTextIsEncodedOnceTheServerTypeIsKnown) {
    TPrepared t(SQL_VARYING, 4, 40);
    t.q.Translate = true;
    const QString text = QStringLiteral("Łódź \u2603");
    t.user.SetAsString(text);
    EXPECT_TRUE(t.user.IsDefferedSetting());
    EXPECT_TRUE(t.q.User.HasDefferedSettings());
    EXPECT_EQ(Stored(t.user).left(4), QByteArray("\xA3\xF3\x64\x9F"));
    t.Prepare();
    t.q.User.ApplyDeferredSettings();
    EXPECT_FALSE(t.q.User.HasDefferedSettings());
    EXPECT_FALSE(t.user.IsDefferedSetting());
    EXPECT_EQ(Stored(t.user), text.toUtf8()); // re-encoded from the text: the snowman survives
    EXPECT_EQ(t.user.SQLSubtype(), 4);
    EXPECT_EQ(t.user.AsString(), text);

    // On a connection without translation nothing waits.
    TPrepared a(SQL_VARYING, 4, 40);
    a.user.SetAsString(text);
    EXPECT_FALSE(a.user.IsDefferedSetting());
}

TEST(StringSetter, DeferredNumbersBecomeDatesAndNullsStayNull) {
    TPrepared t(SQL_TIMESTAMP);
    t.user.SetAsVariant(QVariant(43555.5));
    EXPECT_EQ(t.user.SQLType(), SQL_DOUBLE);
    EXPECT_TRUE(t.user.IsDefferedSetting());
    t.Prepare();
    t.q.User.ApplyDeferredSettings();
    EXPECT_EQ(t.user.SQLType(), SQL_TIMESTAMP);
    EXPECT_DOUBLE_EQ(t.user.AsDateTime(), 43555.5);

    TPrepared n(SQL_VARYING, 4, 40);
    n.q.Translate = true;
    n.user.SetAsVariant(VarNull());
    EXPECT_TRUE(n.user.IsDefferedSetting());
    n.Prepare();
    n.q.User.ApplyDeferredSettings();
    EXPECT_TRUE(n.user.IsNull());
}

TEST(StringGetters, ColumnTextByCharacterSetAndTrimming) {
    TTestQuery q;
    const QByteArray utf8 = QStringLiteral("Żółw  ").toUtf8();
    QByteArray varying(2, '\0');
    varying[0] = char(utf8.size());
    varying += utf8;
    q.Translate = true;
    TFbXSQLVAR& c = ColumnValue(q, SQL_VARYING, 0, 40, varying.constData(), 4);
    EXPECT_EQ(c.AsString(), QStringLiteral("Żółw  "));
    EXPECT_EQ(c.AsVariant(), QVariant(QStringLiteral("Żółw  ")));
    q.Trim = true;
    EXPECT_EQ(c.AsString(), QStringLiteral("Żółw"));
    EXPECT_EQ(c.AsAnsiString(), platform::AnsiFromString(QStringLiteral("Żółw")));

    // A corrupt count never reads past the described length.
    varying[0] = char(0x7f);
    TFbXSQLVAR& bad = ColumnValue(q, SQL_VARYING, 0, 6, varying.constData(), 51);
    EXPECT_EQ(bad.AsAnsiString().size(), 6);

    q.Translate = false;
    q.Trim = false;
    const QByteArray koi8 = platform::Encode(QStringLiteral("Мир "), platform::TTextEncoding::KOI8R);
    TFbXSQLVAR& k = ColumnValue(q, SQL_TEXT, 0, short(koi8.size()), koi8.constData(), 63);
    EXPECT_EQ(k.AsString(), QStringLiteral("Мир "));
    const QByteArray ansi("\xA3\xF3\x64\x9F  ");
    TFbXSQLVAR& w = ColumnValue(q, SQL_TEXT, 0, short(ansi.size()), ansi.constData(), 51);
    EXPECT_EQ(w.AsString(), QStringLiteral("Łódź  "));
    EXPECT_EQ(w.AsVariant(), QVariant(ansi));
    q.Trim = true;
    EXPECT_EQ(w.AsString(), QStringLiteral("Łódź"));
}
