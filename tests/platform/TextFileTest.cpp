#include "platform/TextFile.h"
#include "platform/Controls.h"
#include "platform/Exceptions.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // The replacement cannot be written beside the old file: the folder refuses new files. The log
    // is then written in place while it may be written, and left as it is when it may not.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool folderRefuses = !QFile(dir.filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly);
    if (folderRefuses) {
        SaveTextFile(path, QStringLiteral("old content\r\nnew\r\n"), TTextEncoding::Ansi);
        EXPECT_EQ(ReadAll(path), QByteArray("old content\r\nnew\r\n"));
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        EXPECT_THROW(SaveTextFile(path, QStringLiteral("new"), TTextEncoding::Ansi), EFCreateError);
        EXPECT_EQ(ReadAll(path), QByteArray("old content\r\nnew\r\n"));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::remove(dir.filePath(QStringLiteral("probe")));

    // A write that fails midway (the file size limit stands in for a full disk) also keeps the
    // old file, and leaves no stray file.
    {
        const QString full = dir.filePath(QStringLiteral("full.txt"));
        WriteAll(full, "previous month\r\n");
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        FileSizeLimit limit(4096);
        EXPECT_THROW(SaveTextFile(full, QString(100000, QLatin1Char('x')), TTextEncoding::Ansi),
                     EFCreateError);
        EXPECT_EQ(ReadAll(full), QByteArray("previous month\r\n"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
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

// A full disk (the file size limit stands in for one) under a save smaller than any write buffer:
// the write only seemed to succeed, and the failure comes with the flush. The old file stays byte
// for byte and the error escapes; a new month's file is not left empty; an append is cut back to
// the old end and the next save writes after it.
TEST(TextFile, AFullDiskFoundAtTheFlushKeepsTheOldBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log_2024_3.txt"));
    const QByteArray old(4000, 'o');
    WriteAll(path, old);
    const QString lines = QString(6000, QLatin1Char('n')) + QStringLiteral("\r\n");
    const QString fresh = dir.filePath(QStringLiteral("log_2024_4.txt"));
    TMemo memo(nullptr, nullptr);
    memo.LoadFromFile(path);
    memo.AppendLine(QString(3000, QLatin1Char('n')));
    {
        FileSizeLimit limit(4096);
        try {
            SaveTextFile(path, lines, TTextEncoding::Ansi);
            ADD_FAILURE() << "the save reported success";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("Cannot create file \"%1\". File too large").arg(QDir::cleanPath(path)));
        }
        EXPECT_THROW(SaveTextFile(fresh, lines + lines, TTextEncoding::Ansi), EFCreateError);
        EXPECT_THROW(memo.SaveNewLinesToFile(path), EFCreateError);
    }
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_FALSE(QFile::exists(fresh));
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), old + "\r\n" + QByteArray(3000, 'n') + "\r\n");

    const QString saved = dir.filePath(QStringLiteral("saved.txt"));
    WriteAll(saved, old + "\r\n");
    TMemo appending(nullptr, nullptr);
    appending.LoadFromFile(saved);
    appending.AppendLine(QStringLiteral("2024-03-05 02:49:05   Sprawdzenie formy: A[1]"));
    {
        FileSizeLimit limit(4010);
        EXPECT_THROW(appending.SaveNewLinesToFile(saved), EFCreateError);
    }
    EXPECT_EQ(ReadAll(saved), old + "\r\n");
    appending.SaveNewLinesToFile(saved);
    EXPECT_EQ(ReadAll(saved), old + "\r\n2024-03-05 02:49:05   Sprawdzenie formy: A[1]\r\n");
}

// A log saved run after run: the first save writes the whole view, later ones only add the new
// lines (the cost does not grow with the file), and the view keeps only its newest saved lines.
TEST(TextFile, MemoSavesOnlyNewLinesAndKeepsTheNewestSavedOnes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    TMemo memo(nullptr, nullptr);
    memo.SetMaxLines(3);
    memo.SetText(QStringLiteral("Memo1"));
    memo.AppendLine(QStringLiteral("a"));
    memo.AppendLine(QStringLiteral("b"));
    // A file the view never read (another run created it meanwhile) keeps its lines.
    WriteAll(path, "older");
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("older\r\nMemo1\r\na\r\nb\r\n"));
    memo.AppendLine(QStringLiteral("c"));
    memo.AppendLine(QStringLiteral("d"));
    memo.AppendLine(QStringLiteral("e"));
    EXPECT_EQ(memo.Text(), QStringLiteral("Memo1\r\na\r\nb\r\nc\r\nd\r\ne")) << "unsaved lines stay";
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("older\r\nMemo1\r\na\r\nb\r\nc\r\nd\r\ne\r\n"));
    EXPECT_EQ(memo.Text(), QStringLiteral("c\r\nd\r\ne"));
    EXPECT_EQ(memo.Widget()->toPlainText(), QStringLiteral("c\nd\ne"));
    // Typing after the last line goes to the file with the next save.
    QTextCursor cursor(memo.Widget()->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\nnote"));
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("older\r\nMemo1\r\na\r\nb\r\nc\r\nd\r\ne\r\nnote\r\n"));
    EXPECT_EQ(memo.Text(), QStringLiteral("d\r\ne\r\nnote"));

    // A loaded file in its saved form is only extended: bytes changed on disk meanwhile stay.
    const QString utf8 = dir.filePath(QStringLiteral("utf8.txt"));
    WriteAll(utf8, "\xEF\xBB\xBFx\r\n");
    TMemo loaded(nullptr, nullptr);
    loaded.LoadFromFile(utf8);
    WriteAll(utf8, "\xEF\xBB\xBFX\r\n");
    loaded.AppendLine(QStringLiteral("Łódź"));
    loaded.SaveNewLinesToFile(utf8);
    EXPECT_EQ(ReadAll(utf8), QByteArray("\xEF\xBB\xBFX\r\n") + QStringLiteral("Łódź\r\n").toUtf8());

    // An append that fails midway is cut off again and the lines stay for the next save.
    loaded.AppendLine(QString(100000, QLatin1Char('y')));
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(loaded.SaveNewLinesToFile(utf8), EFCreateError);
    }
    EXPECT_EQ(ReadAll(utf8), QByteArray("\xEF\xBB\xBFX\r\n") + QStringLiteral("Łódź\r\n").toUtf8());
    loaded.SaveNewLinesToFile(utf8);
    EXPECT_EQ(ReadAll(utf8).size(), 6 + 9 + 100002);
}

// Deleting the line break after a saved last line joins the next line onto it: the file's last
// line changed, so the file is written whole, not extended by a line of its own.
TEST(TextFile, MemoJoiningALineOntoTheSavedLastLineRewritesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    TMemo memo(nullptr, nullptr);
    memo.SetText(QStringLiteral("Memo1"));
    memo.SaveNewLinesToFile(path);
    memo.AppendLine(QStringLiteral("abc"));
    QTextCursor cursor(memo.Widget()->document());
    cursor.setPosition(5);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    ASSERT_EQ(memo.Text(), QStringLiteral("Memo1c"));
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("Memo1c\r\n"));
}

// The view gives back every character it was given: a no-break space, the Unicode line and
// paragraph separators and the non-characters U+FDD0 / U+FDD1 are not made spaces or line breaks,
// in the loaded file, in appended lines and around the user's edits.
// A view in a hidden window is left alone while lines come and go (laying out every line of a
// log nobody sees cost most of a headless run); shown, it holds the text with the newest line in
// view, and what is typed then reaches the file.
TEST(TextFile, MemoInAHiddenWindowCatchesUpWhenShown) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QWidget window;
    TMemo memo(nullptr, &window);
    memo.SetMaxLines(3);
    QPlainTextEdit* edit = memo.Widget();
    const int untouched = edit->document()->revision();
    memo.SetText(QStringLiteral("Memo1"));
    for (const char* line : {"a", "b", "c", "d"}) {
        memo.AppendLine(QString::fromLatin1(line));
        memo.ScrollToEnd();
    }
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(edit->document()->revision(), untouched);
    window.show();
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("b\nc\nd"));
    EXPECT_TRUE(edit->textCursor().atEnd());
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\nnote"));
    memo.AppendLine(QStringLiteral("e"));
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("b\nc\nd\nnote\ne"));
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), QByteArray("Memo1\r\na\r\nb\r\nc\r\nd\r\nnote\r\ne\r\n"));
    // Hidden again: the view falls behind, and catches up when asked for.
    window.hide();
    memo.AppendLine(QStringLiteral("f"));
    EXPECT_EQ(memo.Widget()->toPlainText(), QStringLiteral("d\nnote\ne\nf"));
}

TEST(TextFile, MemoKeepsEveryCharacter) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QByteArray ansi;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n') ansi += char(b);
    ansi += "\r\n";
    const QString special = QStringLiteral("a\u00A0b\u2028c\u2029d\uFDD0e\uFDD1f\r\n");
    const QByteArray files[] = {
        ansi,
        Preamble(TTextEncoding::UTF8) + Preamble(TTextEncoding::UTF8) + Encode(special, TTextEncoding::UTF8),
        Preamble(TTextEncoding::UTF16LE) + Preamble(TTextEncoding::UTF16LE) +
            Encode(special + QChar(0xDC00) + QStringLiteral("\r\n"), TTextEncoding::UTF16LE),
    };
    for (const QByteArray& bytes : files) {
        WriteAll(path, bytes);
        TMemo memo(nullptr, nullptr);
        memo.LoadFromFile(path);
        memo.SaveToFile(path);
        EXPECT_EQ(ReadAll(path), bytes);
    }

    TMemo memo(nullptr, nullptr);
    memo.SetText(QStringLiteral("x\u00A0y\r\n"));
    memo.AppendLine(special.left(11));
    EXPECT_EQ(memo.Text(), QStringLiteral("x\u00A0y\r\n") + special.left(11) + QStringLiteral("\r\n"));
    // Typing in the widget: a letter between "b" and U+2028, then U+2029 deleted.
    QTextCursor cursor(memo.Widget()->document());
    cursor.setPosition(7);
    cursor.insertText(QStringLiteral("Z"));
    cursor.setPosition(10);
    cursor.setPosition(11, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("end\nnext"));
    EXPECT_EQ(memo.Text(), QStringLiteral("x\u00A0y\r\na\u00A0bZ\u2028cd\uFDD0e\uFDD1f\r\nend\r\nnext"));
}

// A file the view cannot hold whole, or whose bytes are not valid text in its encoding, is refused
// with a message and the view keeps its text; nothing is silently replaced or cut.
TEST(TextFile, MemoRefusesAFileItCannotHoldExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    TMemo memo(nullptr, nullptr);
    memo.SetText(QStringLiteral("kept\r\n"));
    const auto refused = [&](const QString& message) {
        try {
            memo.LoadFromFile(path);
            ADD_FAILURE() << message.toStdString();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), message);
        }
        EXPECT_EQ(memo.Text(), QStringLiteral("kept\r\n"));
    };
    const QString openError = QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::cleanPath(path));
    WriteAll(path, QByteArray("\xFF\xFE"
                              "a\0b",
                              5));
    refused(openError.arg(QStringLiteral("The UTF-16 text ends with half a character")));
    WriteAll(path, QByteArray("\xEF\xBB\xBF"
                              "a\xC3("));
    refused(openError.arg(QStringLiteral("The text is not valid UTF-8")));
    memo.SetCapacity(10);
    const QString tooLarge = QStringLiteral("Text exceeds memo capacity");
    WriteAll(path, "0123456789a");
    refused(tooLarge);
    WriteAll(path, "01234\n6789"); // eleven characters once the break is CR LF
    refused(tooLarge);
    memo.SetCapacity(qsizetype(1) << 30);
    // A Windows-1250 file of 2.2 GB (sparse: no disk used) is refused before it is read.
    {
        QFile big(path);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(big.resize(qint64(2200) * 1000 * 1000));
    }
    refused(tooLarge);
}

// A symbolic link at the path stays a link to the same place, and the file it points to gets the
// text; a file named like a fixed temporary name beside it is not touched.
TEST(TextFile, SaveKeepsALinkAndOtherFilesBesideIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("archive")));
    const QString target = dir.filePath(QStringLiteral("archive/log_2024_3.txt"));
    const QString link = dir.filePath(QStringLiteral("log_2024_3.txt"));
    WriteAll(target, "old\r\n");
    ASSERT_EQ(::symlink("archive/log_2024_3.txt", QFile::encodeName(link).constData()), 0);
    WriteAll(link + QStringLiteral(".new"), "someone else's\r\n");
    SaveTextFile(link, QStringLiteral("new\r\n"), TTextEncoding::Ansi);
    char where[256] = {};
    ASSERT_GT(::readlink(QFile::encodeName(link).constData(), where, sizeof where - 1), 0);
    EXPECT_STREQ(where, "archive/log_2024_3.txt");
    EXPECT_EQ(ReadAll(target), QByteArray("new\r\n"));
    EXPECT_EQ(ReadAll(link + QStringLiteral(".new")), QByteArray("someone else's\r\n"));
}

// A named pipe (or a device) at the log path is refused at once by the save and by the append: it
// is not a regular file, and nothing waits for a reader.
TEST(TextFile, SavesRefuseANamedPipe) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("log_2024_3.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0666), 0);
    QString refused =
        QStringLiteral("Cannot create file \"%1\". Not a regular file").arg(QDir::cleanPath(pipe));
    for (const bool append : {false, true}) {
        try {
            if (append)
                AppendTextFile(pipe, QStringLiteral("x\r\n"), TTextEncoding::Ansi);
            else
                SaveTextFile(pipe, QStringLiteral("x\r\n"), TTextEncoding::Ansi);
            ADD_FAILURE();
        } catch (const EFCreateError& e) {
            // Without a reader, opening the pipe for writing fails at once (ENXIO).
            EXPECT_EQ(e.Message(),
                      append ? refused.replace(QStringLiteral("Not a regular file"), SysErrorMessage(ENXIO))
                             : refused)
                << e.Message().toStdString();
        }
    }
    // A reader at the other end: the append still refuses it.
    const int reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_THROW(AppendTextFile(pipe, QStringLiteral("x"), TTextEncoding::Ansi), EFCreateError);
    ::close(reader);
    EXPECT_THROW(AppendTextFile(QStringLiteral("/dev/null"), QStringLiteral("x"), TTextEncoding::Ansi),
                 EFCreateError);
    // Nor is either read as a log: a link to /dev/zero would be read until the view is full.
    TTextEncoding encoding;
    EXPECT_THROW(LoadTextFile(pipe, encoding), EFOpenError);
    TMemo memo(nullptr, nullptr);
    memo.SetMaxLines(10);
    EXPECT_THROW(memo.LoadFromFile(QStringLiteral("/dev/zero")), EFOpenError);
}

// A view that keeps only its newest lines reads only those from a large file: the file is still
// checked whole (a broken sequence far before the kept lines refuses it), a file in its saved form
// is only extended, and one with other line ends is written whole, its older lines copied from it.
TEST(TextFile, MemoWithALineLimitLoadsOnlyTheNewestLines) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QStringLiteral("linia %1 żółw\r\n").arg(i);
    for (const TTextEncoding encoding : {TTextEncoding::Ansi, TTextEncoding::UTF8, TTextEncoding::UTF16BE}) {
        const QByteArray bytes = Preamble(encoding) + Encode(text, encoding);
        WriteAll(path, bytes);
        TMemo memo(nullptr, nullptr);
        memo.SetMaxLines(3);
        memo.LoadFromFile(path);
        EXPECT_EQ(memo.Text(), QStringLiteral("linia 4997 żółw\r\nlinia 4998 żółw\r\nlinia 4999 żółw\r\n"));
        EXPECT_EQ(memo.Encoding(), encoding);
        memo.AppendLine(QStringLiteral("nowa"));
        memo.SaveNewLinesToFile(path);
        EXPECT_EQ(ReadAll(path), bytes + Encode(QStringLiteral("nowa\r\n"), encoding));
    }
    // LF line ends and a last line without one: the first save writes the whole file in CR LF.
    QByteArray lf = Encode(text, TTextEncoding::Ansi);
    lf.replace("\r\n", "\n");
    lf.chop(1);
    WriteAll(path, lf);
    TMemo memo(nullptr, nullptr);
    memo.SetMaxLines(2);
    memo.LoadFromFile(path);
    EXPECT_EQ(memo.Text(), QStringLiteral("linia 4998 żółw\r\nlinia 4999 żółw"));
    memo.AppendLine(QStringLiteral("nowa"));
    memo.SaveNewLinesToFile(path);
    EXPECT_EQ(ReadAll(path), Encode(text + QStringLiteral("nowa\r\n"), TTextEncoding::Ansi));

    QByteArray broken = "\xEF\xBB\xBF"
                        "a\xC3(\r\n" +
                        Encode(text, TTextEncoding::UTF8);
    WriteAll(path, broken);
    TMemo refusing(nullptr, nullptr);
    refusing.SetMaxLines(2);
    EXPECT_THROW(refusing.LoadFromFile(path), EFOpenError);
}
