// Fuzzes the monthly log file over arbitrary bytes (the file lies in a folder a plant worker can
// write) and the log view's choice between rewriting its file and appending to it.
//
// The loader: encoding detection and decoding, then line breaks made CR LF. A file is either
// refused with the open error or yields text without a lone CR or LF, which a save in the detected
// encoding and a new load give back unchanged.
//
// The view: the input then drives a log view over that file (or over no file, as a month's first
// run does) with lines added, text typed and deleted in the widget, and saves. After every save
// the file holds exactly the view's lines; a view that keeps only its newest lines (loaded as its
// tail, trimmed after saves, typing only new lines at its end) leaves a file that holds exactly
// what a view keeping every line holds.

#include "platform/Controls.h"
#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

using namespace platform;

namespace {

bool HasLoneBreak(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') && (i + 1 == text.size() || text[i + 1] != QLatin1Char('\n')))
            return true;
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r'))) return true;
    }
    return false;
}

void WriteFile(const QString& path, const uint8_t* data, size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) abort();
    f.write(reinterpret_cast<const char*>(data), qint64(size));
}

QString FileText(const QString& path) {
    TTextEncoding encoding;
    return LoadTextFile(path, encoding);
}

// Reads the input front to back; past its end every read gives 0.
struct TReader {
    const uint8_t* Data;
    size_t Size;
    size_t At = 0;
    bool More() const { return At < Size; }
    unsigned Byte() { return At < Size ? Data[At++] : 0; }
    QString Text() {
        const size_t n = std::min<size_t>(Byte() % 24, Size - std::min(At, Size));
        QString text = QString::fromLatin1(reinterpret_cast<const char*>(Data + At), qsizetype(n));
        At += n;
        return text;
    }
};

void Insert(TMemo& memo, int position, const QString& text) {
    QTextCursor cursor(memo.Widget()->document());
    cursor.setPosition(position);
    cursor.insertText(text);
}

void DriveView(TReader& in, const QString& path, bool haveFile) {
    const qsizetype maxLines = in.Byte() % 4 == 0 ? 1 + in.Byte() % 4 : 0;
    TMemo memo(nullptr, nullptr);
    TMemo whole(nullptr, nullptr); // keeps every line: what the file must hold when memo trims
    memo.SetMaxLines(maxLines);
    try {
        if (haveFile) {
            memo.LoadFromFile(path);
            whole.LoadFromFile(path);
        } else {
            memo.SetText(QStringLiteral("Memo1"));
            whole.SetText(QStringLiteral("Memo1"));
        }
    } catch (const EFOpenError&) {
        return;
    }
    while (in.More()) {
        switch (in.Byte() % 5) {
        case 0: {
            const QString line = in.Text();
            memo.AppendLine(line);
            whole.AppendLine(line);
            break;
        }
        case 1: {
            // A new line typed at the end.
            const QString text = QLatin1Char('\n') + in.Text();
            Insert(memo, memo.Widget()->document()->characterCount() - 1, text);
            Insert(whole, whole.Widget()->document()->characterCount() - 1, text);
            break;
        }
        case 2:
        case 3: {
            // Typing or deleting anywhere: only in a view that keeps every line.
            const unsigned at = in.Byte() | in.Byte() << 8;
            const QString text = in.Text();
            if (maxLines > 0) break;
            QTextCursor cursor(memo.Widget()->document());
            const int length = memo.Widget()->document()->characterCount() - 1;
            cursor.setPosition(int(at % unsigned(length + 1)));
            cursor.setPosition(std::min(length, cursor.position() + int(in.Byte() % 8)),
                               QTextCursor::KeepAnchor);
            cursor.insertText(text);
            break;
        }
        case 4: {
            memo.SaveNewLinesToFile(path);
            const QString saved = FileText(path);
            // Characters the encoding lacks are written as similar ones.
            const auto written = [&](const QString& text) {
                return Decode(Encode(text, memo.Encoding()), memo.Encoding());
            };
            if (saved != written(maxLines == 0 ? memo.LinesText() : whole.LinesText())) abort();
            break;
        }
        }
    }
}

} // namespace

// The font configuration and the C++ runtime keep what the widget set up once (caches, thread
// exit handlers), which the leak check takes for leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libstdc++\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_logfile";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)app;
    static const QString path = QStringLiteral("/tmp/fuzz_logfile_%1.txt").arg(getpid());
    static const QString copy = QStringLiteral("/tmp/fuzz_logfile_%1_copy.txt").arg(getpid());

    // The first byte splits the input: the file's bytes, then what is done to the view.
    TReader in{data, size};
    const size_t fileSize = size == 0 ? 0 : std::min<size_t>(size - 1, data[0] * 4u);
    in.At = 1 + fileSize;
    const bool haveFile = fileSize > 0 || (size > 0 && data[0] % 2);
    QFile::remove(path);
    if (haveFile) WriteFile(path, data + 1, fileSize);

    if (haveFile) {
        TTextEncoding detected = TTextEncoding::Ansi;
        QString text;
        try {
            text = NormalizeLineBreaks(LoadTextFile(path, detected));
        } catch (const EFOpenError&) {
            return 0; // bytes that are not text in their encoding: refused, nothing loaded
        }
        if (HasLoneBreak(text)) abort();
        if (NormalizeLineBreaks(text) != text) abort();
        SaveTextFile(copy, text, detected);
        TTextEncoding again = TTextEncoding::Ansi;
        if (LoadTextFile(copy, again) != text) abort();
        if (again != detected) abort();
    }
    DriveView(in, path, haveFile);
    return 0;
}
