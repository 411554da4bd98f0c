#include "platform/TextFile.h"
#include "platform/Controls.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(TextFile, LineBreaksBecomeCrLf) {
    EXPECT_EQ(NormalizeLineBreaks(QStringLiteral("a\rb\nc\r\nd\n\re")),
              QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\ne"));
}

// Loading then saving a file through the log view gives back the same bytes, in each encoding.
TEST(TextFile, MemoRoundTripsKeepTheExactBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log_2024_3.txt"));
    const QString text = QStringLiteral("Memo1\r\n2024-03-01 10:00:00   Zażółć gęślą jaźń\r\n");
    const struct {
        TTextEncoding enc;
        QByteArray bytes;
    } cases[] = {
        {TTextEncoding::Ansi, Encode(text, TTextEncoding::Ansi)},
        {TTextEncoding::UTF8, Preamble(TTextEncoding::UTF8) + Encode(text, TTextEncoding::UTF8)},
        {TTextEncoding::UTF16LE, Preamble(TTextEncoding::UTF16LE) + Encode(text, TTextEncoding::UTF16LE)},
        {TTextEncoding::UTF16BE, Preamble(TTextEncoding::UTF16BE) + Encode(text, TTextEncoding::UTF16BE)},
    };
    for (const auto& c : cases) {
        WriteAll(path, c.bytes);
        TMemo memo(nullptr, nullptr);
        memo.LoadFromFile(path);
        EXPECT_EQ(memo.Encoding(), c.enc);
        EXPECT_EQ(memo.Text(), text);
        QFile::remove(path);
        memo.SaveToFile(path);
        EXPECT_EQ(ReadAll(path), c.bytes) << int(c.enc);
    }
    // The ANSI file holds Windows-1250 bytes, no mark.
    EXPECT_EQ(cases[0].bytes.left(5), QByteArray("Memo1"));
    EXPECT_TRUE(cases[0].bytes.contains("\xBF\xF3\xB3\xE6"));
}

TEST(TextFile, LoadingNormalisesAndSavingEndsEveryLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    WriteAll(path, "one\rtwo\nthree");
    TMemo memo(nullptr, nullptr);
    memo.LoadFromFile(path);
    EXPECT_EQ(memo.Text(), QStringLiteral("one\r\ntwo\r\nthree"));
    memo.SaveToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("one\r\ntwo\r\nthree\r\n"));
}

TEST(TextFile, MemoAppendsAfterOrBeforeTheLineBreak) {
    TMemo memo(nullptr, nullptr);
    memo.AppendLine(QStringLiteral("first"));
    EXPECT_EQ(memo.Text(), QStringLiteral("first\r\n"));
    memo.AppendLine(QStringLiteral("second"));
    EXPECT_EQ(memo.Text(), QStringLiteral("first\r\nsecond\r\n"));
    memo.SetText(QStringLiteral("Memo1"));
    memo.AppendLine(QStringLiteral("x"));
    memo.AppendLine(QStringLiteral("y"));
    EXPECT_EQ(memo.Text(), QStringLiteral("Memo1\r\nx\r\ny"));
    EXPECT_EQ(memo.LinesText(), QStringLiteral("Memo1\r\nx\r\ny\r\n"));
    memo.SetCapacity(5);
    EXPECT_THROW(memo.SetText(QStringLiteral("123456")), EInvalidOperation);
    try {
        memo.SetText(QStringLiteral("123456"));
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Text exceeds memo capacity"));
    }
}

TEST(TextFile, FailedSaveLeavesTheOldFileIntact) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    WriteAll(path, "old content\r\n");
    // The replacement cannot be written beside the old file: the folder refuses new files.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool folderRefuses = !QFile(dir.filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly);
    if (folderRefuses) {
        EXPECT_THROW(SaveTextFile(path, QStringLiteral("new"), TTextEncoding::Ansi), EFCreateError);
        EXPECT_EQ(ReadAll(path), QByteArray("old content\r\n"));
    }
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::remove(dir.filePath(QStringLiteral("probe")));

    // A write that fails midway (no space left) also keeps the old file, and leaves no stray file.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        const QString full = dir.filePath(QStringLiteral("full.txt"));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), full + QStringLiteral(".new")));
        WriteAll(full, "previous month\r\n");
        EXPECT_THROW(SaveTextFile(full, QString(100000, QLatin1Char('x')), TTextEncoding::Ansi),
                     EFCreateError);
        EXPECT_EQ(ReadAll(full), QByteArray("previous month\r\n"));
    }

    try {
        SaveTextFile(dir.filePath(QStringLiteral("missing/log.txt")), QStringLiteral("x"),
                     TTextEncoding::Ansi);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot create file \"%1\". No such file or directory")
                                   .arg(QDir::cleanPath(dir.filePath(QStringLiteral("missing/log.txt")))));
    }
    EXPECT_THROW(SaveTextFile(QString(), QStringLiteral("x"), TTextEncoding::Ansi), EFCreateError);
    TTextEncoding e;
    EXPECT_THROW(LoadTextFile(dir.filePath(QStringLiteral("none.txt")), e), EFOpenError);
}
