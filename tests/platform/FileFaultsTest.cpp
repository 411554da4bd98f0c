// Every save and append of the log file under an injected failure of each system call it makes
// (the N-th write, fsync, rename, ftruncate, fallocate, close or open failing with ENOSPC, EFBIG
// or EIO, for every N the path reaches): the error escapes as the file-creation error with the
// system's text, the old bytes stay as they were, no stray file is left, and the next save without
// a failure writes every line exactly once.

#include "platform/Controls.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace platform;

namespace {

enum TCall { Open, Write, Fsync, Rename, Ftruncate, Fallocate, Close, CallKinds };
const char* const kCallNames[] = {"open", "write", "fsync", "rename", "ftruncate", "fallocate", "close"};

struct TFault {
    TCall Call;
    int Nth;
    int Error;
};

// The faults of the running case and the calls counted since it began.
struct TInjector {
    std::vector<TFault> Faults;
    // The folder refuses new files: every exclusive create fails, uncounted.
    bool FolderRefuses = false;
    int Count[CallKinds] = {};
    int WriteFailsNext = 0;
    bool Fired = false;

    int Check(TCall call) {
        ++Count[call];
        for (const TFault& f : Faults)
            if (f.Call == call && (f.Nth == Count[call] || f.Nth == 0)) {
                Fired = true;
                return f.Error;
            }
        return 0;
    }
};
TInjector gInjector;

// Installs the failing calls for the life of the object.
class FaultyCalls {
public:
    explicit FaultyCalls(std::vector<TFault> faults, bool folderRefuses = false) {
        gInjector = TInjector();
        gInjector.Faults = std::move(faults);
        gInjector.FolderRefuses = folderRefuses;
        FileCalls() = TFileCalls{
            [](const char* path, int flags, mode_t mode) {
                if (gInjector.FolderRefuses && (flags & O_EXCL)) return errno = EACCES, -1;
                if (const int e = gInjector.Check(Open)) return errno = e, -1;
                return ::open(path, flags, mode);
            },
            [](int fd, const void* data, size_t count) -> ssize_t {
                if (gInjector.WriteFailsNext) {
                    errno = gInjector.WriteFailsNext;
                    gInjector.WriteFailsNext = 0;
                    return -1;
                }
                if (const int e = gInjector.Check(Write)) {
                    // As at the disk's limit: part of the bytes go, the next write fails.
                    if (count < 2) return errno = e, -1;
                    gInjector.WriteFailsNext = e;
                    return ::write(fd, data, count / 2);
                }
                return ::write(fd, data, count);
            },
            [](int fd) {
                if (const int e = gInjector.Check(Fsync)) return errno = e, -1;
                return ::fsync(fd);
            },
            [](const char* from, const char* to) {
                if (const int e = gInjector.Check(Rename)) return errno = e, -1;
                return ::rename(from, to);
            },
            [](int fd, off_t length) {
                if (const int e = gInjector.Check(Ftruncate)) return errno = e, -1;
                return ::ftruncate(fd, length);
            },
            [](int fd, off_t offset, off_t length) {
                if (const int e = gInjector.Check(Fallocate)) return e;
                return ::posix_fallocate(fd, offset, length);
            },
            [](int fd) {
                const int result = ::close(fd); // the descriptor goes whatever close reports
                if (const int e = gInjector.Check(Close)) return errno = e, -1;
                return result;
            },
        };
    }
    ~FaultyCalls() { FileCalls() = SystemFileCalls(); }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// One way the log reaches its file: the old file (empty: none), what is done to the view, and the
// file after a save that succeeds.
struct TPath {
    const char* Name;
    QByteArray Old;
    std::function<void(TMemo&, const QString& path)> Prepare;
    QByteArray Saved;
    // The folder refuses new files.
    bool FolderRefuses = false;
};

const QByteArray kLines =
    "2024-03-05 10:00:00   start sesji\r\n2024-03-05 10:00:01   Sprawdzenie formy: A[1]\r\n";

void AddRunLines(TMemo& memo) {
    memo.AppendLine(QStringLiteral("2024-03-05 10:00:00   start sesji"));
    memo.AppendLine(QStringLiteral("2024-03-05 10:00:01   Sprawdzenie formy: A[1]"));
}

std::vector<TPath> Paths() {
    QByteArray many;
    for (int i = 0; i < 40; ++i)
        many += "line " + QByteArray::number(i) + "\n";
    QByteArray manyCrLf = many;
    manyCrLf.replace("\n", "\r\n");
    const auto load = [](qsizetype maxLines) {
        return [maxLines](TMemo& memo, const QString& path) {
            memo.SetMaxLines(maxLines);
            memo.LoadFromFile(path);
            AddRunLines(memo);
        };
    };
    return {
        // The month's first save: a new file.
        {"new file", QByteArray(),
         [](TMemo& memo, const QString&) {
             memo.SetText(QStringLiteral("Memo1"));
             AddRunLines(memo);
         },
         "Memo1\r\n" + kLines},
        // A loaded file with LF line ends: written whole.
        {"whole save", "old\nlines\n", load(0), "old\r\nlines\r\n" + kLines},
        // Only the newest lines of it were loaded: the rest is copied from the old file.
        {"whole save of a tail", many, load(5), manyCrLf + kLines},
        // A file in its saved form: the run's lines are appended.
        {"append", "old\r\nlines\r\n", load(0), "old\r\nlines\r\n" + kLines},
        // Another run wrote the file since it was loaded: appended on a line of their own.
        {"append after another run", "old\r\n",
         [](TMemo& memo, const QString& path) {
             memo.LoadFromFile(path);
             AddRunLines(memo);
             WriteAll(path, "old\r\nother run");
         },
         "old\r\nother run\r\n" + kLines},
        // Text typed into the view, in a folder that refuses new files: written in place.
        {"in place", "old\r\nlines\r\n",
         [](TMemo& memo, const QString& path) {
             memo.LoadFromFile(path);
             QTextCursor cursor(memo.Widget()->document());
             cursor.insertText(QStringLiteral("x"));
             AddRunLines(memo);
         },
         "xold\r\nlines\r\n" + kLines, true},
        {"in place, shorter", "old\nlines\nthat were long\n",
         [](TMemo& memo, const QString& path) {
             memo.LoadFromFile(path);
             QTextCursor cursor(memo.Widget()->document());
             cursor.setPosition(10);
             cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
             cursor.removeSelectedText();
         },
         "old\r\nlines\r\n", true},
    };
}

} // namespace

TEST(TextFile, EveryFailingCallOfASaveKeepsTheOldFile) {
    const int errors[] = {ENOSPC, EFBIG, EIO};
    int cases = 0;
    for (const TPath& path : Paths()) {
        for (int call = 0; call < CallKinds; ++call) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(path.Name) + ", " + kCallNames[call] + " #" + std::to_string(nth));
                QTemporaryDir dir;
                const QString file = dir.filePath(QStringLiteral("log_2024_3.txt"));
                if (!path.Old.isEmpty()) WriteAll(file, path.Old);
                TMemo memo(nullptr, nullptr);
                path.Prepare(memo, file);
                const QByteArray before = ReadAll(file);
                const QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
                const int error = errors[nth % 3];
                bool fired = false;
                try {
                    FaultyCalls faulty({{TCall(call), nth, error}}, path.FolderRefuses);
                    memo.SaveNewLinesToFile(file);
                    fired = gInjector.Fired;
                    ASSERT_FALSE(fired) << "the save reported success";
                } catch (const EFCreateError& e) {
                    fired = true;
                    EXPECT_TRUE(e.Message().startsWith(
                        QStringLiteral("Cannot create file \"%1\". ").arg(QDir::cleanPath(file))))
                        << e.Message().toStdString();
                    EXPECT_FALSE(e.Message().endsWith(QStringLiteral(". ")));
                    EXPECT_EQ(ReadAll(file), before);
                    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), names);
                }
                if (!fired) break;
                ++cases;
                // The next run's save, without a failure: every line once, after the old end.
                FaultyCalls none({}, path.FolderRefuses);
                EXPECT_NO_THROW(memo.SaveNewLinesToFile(file));
                EXPECT_EQ(ReadAll(file), path.Saved);
            }
        }
    }
    EXPECT_GT(cases, 30);
}

// An append whose cut fails too (the write and then the ftruncate fail) leaves a torn line; the
// next append to the unchanged file cuts it before writing, so no line follows a fragment.
TEST(TextFile, AFailedAppendThatCouldNotBeCutIsCutByTheNext) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("log.txt"));
    WriteAll(file, "old\r\n");
    TMemo memo(nullptr, nullptr);
    memo.LoadFromFile(file);
    AddRunLines(memo);
    {
        FaultyCalls faulty({{Write, 1, ENOSPC}, {Ftruncate, 1, EIO}});
        EXPECT_THROW(memo.SaveNewLinesToFile(file), EFCreateError);
    }
    EXPECT_TRUE(ReadAll(file).startsWith("old\r\n"));
    EXPECT_GT(ReadAll(file).size(), 5) << "the fragment the failed cut left";
    memo.SaveNewLinesToFile(file);
    EXPECT_EQ(ReadAll(file), "old\r\n" + kLines);
}

// Settings are written the way the log is: a write that fails on a full disk keeps the old file,
// an unmarked UTF-8 file stays unmarked, and the error escapes.
TEST(TextFile, SettingsWrittenOnAFullDiskKeepTheOldFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("setup.ini"));
    const QByteArray old = "[set]\r\nnazwa=Łódź\r\n";
    WriteAll(file, old);
    TIniFile ini(file);
    {
        FaultyCalls faulty({{Write, 1, ENOSPC}});
        EXPECT_THROW(ini.WriteInteger(QStringLiteral("set"), QStringLiteral("godzina"), 6), EFCreateError);
    }
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("setup.ini")});
    ini.WriteInteger(QStringLiteral("set"), QStringLiteral("godzina"), 6);
    EXPECT_EQ(ReadAll(file), old + "godzina=6\r\n");
}
