#include "platform/Encoding.h"

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
