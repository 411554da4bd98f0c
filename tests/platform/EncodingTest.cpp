#include "platform/Encoding.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace platform;

TEST(Encoding, CodePagesAndMarks) {
    EXPECT_EQ(AnsiFromString(QStringLiteral("Łódź")), QByteArray("\xA3\xF3\x64\x9F"));
    EXPECT_EQ(StringFromAnsi(QByteArray("\xA3\xF3\x64\x9F")), QStringLiteral("Łódź"));
    EXPECT_EQ(Encode(QStringLiteral("Привет"), TTextEncoding::KOI8R), QByteArray("\xF0\xD2\xC9\xD7\xC5\xD4"));
    EXPECT_EQ(Decode(QByteArray("\xF0\xD2\xC9\xD7\xC5\xD4"), TTextEncoding::KOI8R), QStringLiteral("Привет"));
    EXPECT_EQ(Encode(QStringLiteral("Ą"), TTextEncoding::UTF16BE), QByteArray("\x01\x04", 2));
    EXPECT_EQ(Encode(QStringLiteral("Ą"), TTextEncoding::UTF16LE), QByteArray("\x04\x01", 2));
    // A character the code page lacks is replaced, never dropped.
    EXPECT_EQ(AnsiFromString(QStringLiteral("a\u4E2Db")).size(), 3);
    // Every byte of the single-byte code pages decodes to a character that encodes back to it.
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    for (TTextEncoding cp : {TTextEncoding::Ansi, TTextEncoding::KOI8R, TTextEncoding::ISO88592})
        EXPECT_EQ(Encode(Decode(all, cp), cp), all) << int(cp);
    // Plain and accented letters at every place of a text, whatever its length, decode as the
    // platform's converter decodes them.
    QStringDecoder windows1250("windows-1250");
    for (int length = 0; length <= 40; ++length)
        for (int at = 0; at < length; ++at) {
            QByteArray text(length, 'a');
            text[at] = '\xB9';
            if (at + 9 < length) text[at + 9] = '\xA3';
            if (at + 17 < length) text[at + 17] = '\x7F';
            EXPECT_EQ(StringFromAnsi(text), windows1250.decode(text)) << length << ' ' << at;
        }

    int len = -1;
    EXPECT_EQ(DetectByteOrderMark(QByteArray("\xEF\xBB\xBFx"), len), TTextEncoding::UTF8);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(DetectByteOrderMark(QByteArray("\xFF\xFEx\0", 4), len), TTextEncoding::UTF16LE);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(DetectByteOrderMark(QByteArray("\xFE\xFF\0x", 4), len), TTextEncoding::UTF16BE);
    EXPECT_EQ(DetectByteOrderMark(QByteArray("\xEF\xBB"), len), TTextEncoding::Ansi);
    EXPECT_EQ(len, 0);
    TTextEncoding e;
    // A second mark after the first is content, not stripped again.
    EXPECT_EQ(DecodeWithByteOrderMark(QByteArray("\xFF\xFE\xFF\xFE"
                                                 "a\0",
                                                 6),
                                      e),
              QString(QChar(0xFEFF)) + QLatin1Char('a'));
}

// A similar character where the code page has one (the letter without its accent, the ordinary
// form of a full-width letter), else the default character "?": never the control byte 1A.
TEST(Encoding, MissingCharactersBecomeSimilarOnesOrQuestionMarks) {
    EXPECT_EQ(AnsiFromString(QStringLiteral("À|你|\U0001F600|\uFF21|Ł|\u00B2")),
              QByteArray("A|?|?|A|\xA3|2"));
    EXPECT_EQ(Encode(QStringLiteral("Łś\u20AC"), TTextEncoding::KOI8R), QByteArray("?s?"));
    EXPECT_EQ(Encode(QStringLiteral("\u20AC\u00C0"), TTextEncoding::ISO88592), QByteArray("?A"));
    // A lone half of a surrogate pair is no character at all.
    EXPECT_EQ(AnsiFromString(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("?x"));
}

// Text read from a file is decoded without loss or is refused: a second mark after the first is
// content, a broken UTF-8 sequence or an odd last UTF-16 byte is reported.
TEST(Encoding, FileTextDecodesExactlyOrIsRefused) {
    QString text;
    EXPECT_TRUE(TryDecode(QByteArray("\xEF\xBB\xBFx"), TTextEncoding::UTF8, text));
    EXPECT_EQ(text, QString(QChar(0xFEFF)) + QLatin1Char('x'));
    EXPECT_EQ(Decode(QByteArray("\xEF\xBB\xBFx"), TTextEncoding::UTF8), text);
    // Each broken sequence of UTF-8 shows as replacement characters, a mark inside as itself.
    EXPECT_EQ(Decode(QByteArray("\xC5\x81\xC0\xAF\xED\xA0\x80x\xE2\x98"), TTextEncoding::UTF8),
              QStringLiteral("\u0141\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDx\uFFFD\uFFFD"));
    EXPECT_EQ(Decode(QByteArray("a\xEF\xBB\xBF"), TTextEncoding::UTF8), QStringLiteral("a\uFEFF"));
    EXPECT_FALSE(TryDecode(QByteArray("a\xC3("), TTextEncoding::UTF8, text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(TryDecode(QByteArray("a\0b", 3), TTextEncoding::UTF16LE, text));
    EXPECT_EQ(Decode(QByteArray("a\0b", 3), TTextEncoding::UTF16LE), QStringLiteral("a\uFFFD"));
    // A lone surrogate in UTF-16 comes back as it was.
    const QByteArray lone("\x00\xD8x\0", 4);
    EXPECT_TRUE(TryDecode(lone, TTextEncoding::UTF16LE, text));
    EXPECT_EQ(Encode(text, TTextEncoding::UTF16LE), lone);

    int mark = -1;
    EXPECT_EQ(DetectTextEncoding(QStringLiteral("Łódź").toUtf8(), mark), TTextEncoding::UTF8);
    EXPECT_EQ(mark, 0);
    EXPECT_EQ(DetectTextEncoding(AnsiFromString(QStringLiteral("Łódź")), mark), TTextEncoding::Ansi);
    EXPECT_EQ(DetectTextEncoding(QByteArray("plain"), mark), TTextEncoding::Ansi);
    EXPECT_EQ(DetectTextEncoding(QByteArray("\xFF\xFEx\0", 4), mark), TTextEncoding::UTF16LE);
    EXPECT_EQ(mark, 2);
}

// Into a reused buffer: the same bytes as Encode, whatever the buffer held; a copy sharing the
// buffer's storage keeps its bytes.
TEST(Encoding, EncodeIntoGivesEncodesBytesAndLeavesASharedCopyAlone) {
    QByteArray buffer;
    for (TTextEncoding e :
         {TTextEncoding::Ansi, TTextEncoding::KOI8R, TTextEncoding::UTF8, TTextEncoding::UTF16LE}) {
        for (const QString& text : {QStringLiteral("Łódź À 你 \U0001F600 długi tekst"), QStringLiteral("ż"),
                                    QString(), QStringLiteral("Zażółć gęślą jaźń")}) {
            EncodeInto(text, e, buffer);
            EXPECT_EQ(buffer, Encode(text, e));
        }
    }
    const QByteArray shared = buffer;
    const QByteArray held = QByteArray(shared.constData(), shared.size());
    EncodeInto(QStringLiteral("x"), TTextEncoding::Ansi, buffer);
    EXPECT_EQ(buffer, QByteArray("x"));
    EXPECT_EQ(shared, held);
}
