#include "TextFile.h"

#include "Exceptions.h"
#include "Format.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : FFd(fd) {}
    ~FileDescriptor() {
        if (FFd >= 0) ::close(FFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
    int Get() const { return FFd; }
    void Reset(int fd) {
        if (FFd >= 0) ::close(FFd);
        FFd = fd;
    }
    // Closed through the calls a test may replace; the result is that of the close.
    int Close() {
        const int fd = FFd;
        FFd = -1;
        return FileCalls().Close(fd);
    }

private:
    int FFd;
};

[[noreturn]] void CreateErrorText(const QString& fileName, const QString& reason) {
    throw EFCreateError(Format(rtl::SFCreateErrorEx, {ExpandFileName(fileName), reason}));
}

[[noreturn]] void CreateError(const QString& fileName, int err) {
    CreateErrorText(fileName, SysErrorMessage(err ? err : EIO));
}

[[noreturn]] void OpenError(const QString& fileName, int err) {
    throw EFOpenError(Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), SysErrorMessage(err)}));
}

[[noreturn]] void InvalidTextError(const QString& fileName, TTextEncoding encoding) {
    throw EFOpenError(
        Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), encoding == TTextEncoding::UTF8
                                                                  ? QString::fromUtf16(rtl::SInvalidUtf8)
                                                                  : QString::fromUtf16(rtl::SOddUtf16)}));
}

// The fewest characters the bytes can decode to: one per byte in a single-byte code page, one per
// two bytes in UTF-16, one per three in UTF-8. Making line breaks CR LF only adds to that.
qsizetype FewestChars(TTextEncoding encoding, qsizetype bytes) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return bytes / 3;
    case TTextEncoding::UTF16LE:
    case TTextEncoding::UTF16BE:
        return bytes / 2;
    default:
        return bytes;
    }
}

TFileStamp StampFrom(const struct stat& st) {
    TFileStamp stamp;
    stamp.Valid = true;
    stamp.Device = quint64(st.st_dev);
    stamp.Inode = quint64(st.st_ino);
    stamp.Size = qint64(st.st_size);
    stamp.ModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

// Every byte written, through partial writes and interruptions; 0 or the failure's errno.
int WriteAll(int fd, const char* data, qint64 count) {
    while (count > 0) {
        const ssize_t done = FileCalls().Write(fd, data, size_t(std::min<qint64>(count, qint64(1) << 30)));
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno ? errno : EIO;
        }
        if (done == 0) return ENOSPC;
        data += done;
        count -= done;
    }
    return 0;
}

int ReadAll(int fd, char* data, qint64 count, qint64 offset, qint64& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, data + got, size_t(count - got), off_t(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        got += n;
    }
    return 0;
}

int UnitSize(TTextEncoding encoding) {
    return encoding == TTextEncoding::UTF16LE || encoding == TTextEncoding::UTF16BE ? 2 : 1;
}

unsigned UnitAt(const char* p, TTextEncoding encoding) {
    const auto b = [p](int i) { return unsigned(static_cast<unsigned char>(p[i])); };
    switch (encoding) {
    case TTextEncoding::UTF16LE:
        return b(0) | b(1) << 8;
    case TTextEncoding::UTF16BE:
        return b(0) << 8 | b(1);
    default:
        return b(0);
    }
}

// Writes the units of a text in an encoding with every lone CR and lone LF made CR LF, piece by
// piece (a CR at the end of a piece waits for the next one).
class TBreakNormalizer {
public:
    explicit TBreakNormalizer(TTextEncoding encoding) : FEncoding(encoding), FUnit(UnitSize(encoding)) {
        FCrLf = Encode(QStringLiteral("\r\n"), encoding);
    }
    QByteArray Piece(const char* data, qint64 size) {
        QByteArray out;
        out.reserve(size + size / 8 + 4);
        for (qint64 i = 0; i + FUnit <= size; i += FUnit) {
            const unsigned u = UnitAt(data + i, FEncoding);
            if (FPendingCr) {
                out += FCrLf;
                FPendingCr = false;
                if (u == '\n') continue;
            }
            if (u == '\r')
                FPendingCr = true;
            else if (u == '\n')
                out += FCrLf;
            else
                out.append(data + i, FUnit);
        }
        return out;
    }
    QByteArray End() {
        if (!FPendingCr) return QByteArray();
        FPendingCr = false;
        return FCrLf;
    }

private:
    TTextEncoding FEncoding;
    int FUnit;
    QByteArray FCrLf;
    bool FPendingCr = false;
};

constexpr qint64 kChunk = qint64(1) << 20;

// The first headBytes bytes of the open file after its mark, line breaks made CR LF, piece by piece
// to `sink` (which returns 0 or an errno). 0 or the errno of the first failure.
template <class Sink>
int CopyHead(int fd, qint64 markLength, qint64 headBytes, TTextEncoding encoding, Sink&& sink) {
    TBreakNormalizer normalizer(encoding);
    QByteArray buffer(int(kChunk), Qt::Uninitialized);
    for (qint64 at = markLength; at < headBytes;) {
        const qint64 want = std::min(kChunk, headBytes - at);
        qint64 got = 0;
        if (const int err = ReadAll(fd, buffer.data(), want, at, got)) return err;
        if (got < want) return EIO; // the file became shorter than when it was loaded
        if (const int err = sink(normalizer.Piece(buffer.constData(), got))) return err;
        at += got;
    }
    return sink(normalizer.End());
}

// The path a save writes to: a symbolic link is followed to the file it names.
QString WrittenPath(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.isSymLink()) return fileName;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// Open flags for a file that must be regular: opening never waits (a named pipe without a reader
// would block for ever), and a terminal never becomes the controlling one.
constexpr int kNoWait = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// The bytes of the file, read to compare; 0 or errno.
int ReadRange(int fd, qint64 offset, qint64 count, QByteArray& out) {
    out.resize(count);
    qint64 got = 0;
    if (const int err = ReadAll(fd, out.data(), count, offset, got)) return err;
    out.resize(got);
    return 0;
}

// Writes `bytes` over the regular file in place: used when the folder refuses the file beside it.
// The space is reserved before any old byte is touched; only the bytes from the first difference
// on are written; a failure writes the old ones back and restores the old length.
TFileStamp WriteInPlace(const QString& fileName, const QString& path, const QByteArray& bytes) {
    const QByteArray encoded = QFile::encodeName(path);
    FileDescriptor fd(FileCalls().Open(encoded.constData(), O_RDWR | kNoWait, 0));
    if (fd.Get() < 0) CreateError(fileName, errno);
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) CreateError(fileName, errno);
    if (!S_ISREG(st.st_mode)) CreateErrorText(fileName, QString::fromUtf16(rtl::SNotRegularFile));
    const qint64 oldSize = qint64(st.st_size);
    const qint64 newSize = bytes.size();
    // The first byte that differs; the old bytes from there are kept to be put back.
    qint64 same = 0;
    const qint64 common = std::min(oldSize, newSize);
    QByteArray old;
    while (same < common) {
        if (const int err = ReadRange(fd.Get(), same, std::min(kChunk, common - same), old))
            CreateError(fileName, err);
        if (old.isEmpty()) break;
        qint64 i = 0;
        while (i < old.size() && old[i] == bytes[same + i])
            ++i;
        same += i;
        if (i < old.size()) break;
    }
    if (same == newSize && oldSize == newSize) return StampFrom(st);
    QByteArray oldRest;
    if (const int err = ReadRange(fd.Get(), same, oldSize - same, oldRest)) CreateError(fileName, err);
    // The old bytes, the old length and the old time of change: the file looks untouched again.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const auto restoreThrough = [&](int to) {
        if (::lseek(to, off_t(same), SEEK_SET) >= 0) WriteAll(to, oldRest.constData(), oldRest.size());
        FileCalls().Ftruncate(to, off_t(oldSize));
        FileCalls().Fsync(to);
        ::futimens(to, times);
    };
    const auto restore = [&] { restoreThrough(fd.Get()); };
    if (newSize > oldSize) {
        const int err = FileCalls().Fallocate(fd.Get(), off_t(oldSize), off_t(newSize - oldSize));
        if (err != 0 && err != EOPNOTSUPP && err != EINVAL) {
            restore();
            CreateError(fileName, err);
        }
    }
    int err = ::lseek(fd.Get(), off_t(same), SEEK_SET) < 0 ? errno : 0;
    if (!err) err = WriteAll(fd.Get(), bytes.constData() + same, newSize - same);
    if (!err && newSize < oldSize && FileCalls().Ftruncate(fd.Get(), off_t(newSize)) != 0) err = errno;
    if (!err && FileCalls().Fsync(fd.Get()) != 0) err = errno;
    if (err) {
        restore();
        CreateError(fileName, err);
    }
    if (::fstat(fd.Get(), &st) != 0) CreateError(fileName, errno);
    const TFileStamp stamp = StampFrom(st);
    if (fd.Close() != 0) {
        err = errno;
        FileDescriptor again(FileCalls().Open(encoded.constData(), O_RDWR | kNoWait, 0));
        if (again.Get() >= 0) restoreThrough(again.Get());
        CreateError(fileName, err);
    }
    return stamp;
}

bool FolderRefuses(int err) {
    return err == EACCES || err == EPERM;
}

// Where an append failed and even its cut failed: the size to cut the file back to, as long as the
// file is still what the failed append left.
struct TPendingCut {
    qint64 Size = 0;
    TFileStamp Left;
};
std::mutex gPendingMutex;
std::map<std::pair<quint64, quint64>, TPendingCut> gPendingCuts;

} // namespace

TFileCalls SystemFileCalls() {
    return TFileCalls{[](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
                      ::write,
                      ::fsync,
                      ::rename,
                      ::ftruncate,
                      ::posix_fallocate,
                      ::close};
}

TFileCalls& FileCalls() {
    static TFileCalls calls = SystemFileCalls();
    return calls;
}

TFileStamp StampOf(const QString& fileName) {
    struct stat st;
    if (fileName.isEmpty() || ::stat(QFile::encodeName(fileName).constData(), &st) != 0) return TFileStamp();
    return StampFrom(st);
}

QString ExpandFileName(const QString& fileName) {
    if (fileName.isEmpty()) return fileName;
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

QString NormalizeLineBreaks(const QString& text) {
    const qsizetype n = text.size();
    qsizetype lone = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            else
                ++lone;
        } else if (c == QLatin1Char('\n')) {
            ++lone;
        }
    }
    if (lone == 0) return text;
    QString out(n + lone, Qt::Uninitialized);
    QChar* o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            *o++ = QLatin1Char('\r');
            *o++ = QLatin1Char('\n');
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
        } else {
            *o++ = c;
        }
    }
    return out;
}

namespace {

// Opened without waiting, so that a pipe at the path cannot block the program here; a missing
// file or a folder raises the open error.
FileDescriptor OpenToRead(const QString& fileName, struct stat& st) {
    FileDescriptor fd(
        fileName.isEmpty() ? -1 : ::open(QFile::encodeName(fileName).constData(), O_RDONLY | kNoWait));
    if (fd.Get() < 0) OpenError(fileName, fileName.isEmpty() ? ENOENT : errno);
    if (::fstat(fd.Get(), &st) != 0) OpenError(fileName, errno);
    if (S_ISDIR(st.st_mode)) OpenError(fileName, EISDIR);
    return fd;
}

} // namespace

QString LoadTextFile(const QString& fileName, TTextEncoding& detected, qsizetype maxChars,
                     TFileStamp* stamp) {
    struct stat st;
    const FileDescriptor fd = OpenToRead(fileName, st);
    // A pipe or a device (a link to /dev/zero) is no log: it might never end.
    if (!S_ISREG(st.st_mode))
        throw EFOpenError(
            Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), QString::fromUtf16(rtl::SNotRegularFile)}));
    // A regular file too large for maxChars is refused before it is read: its mark tells the
    // encoding, and its size the fewest characters it can give.
    if (maxChars >= 0 && S_ISREG(st.st_mode)) {
        char head[3];
        const ssize_t got = ::pread(fd.Get(), head, sizeof head, 0);
        int markLength = 0;
        const TTextEncoding encoding =
            DetectByteOrderMark(QByteArray(head, got > 0 ? qsizetype(got) : 0), markLength);
        if (FewestChars(encoding, qsizetype(st.st_size) - markLength) > maxChars)
            throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    }
    QByteArray bytes;
    if (S_ISREG(st.st_mode)) bytes.reserve(qsizetype(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            OpenError(fileName, errno);
        }
        if (got == 0) break;
        bytes.append(buf, qsizetype(got));
        // A device that never ends (or a file growing while read) stops at the same bound.
        if (maxChars >= 0 && bytes.size() / 3 > maxChars + 1)
            throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    }
    int markLength = 0;
    const TTextEncoding encoding = DetectByteOrderMark(bytes, markLength);
    bytes.remove(0, markLength);
    if (maxChars >= 0 && FewestChars(encoding, bytes.size()) > maxChars)
        throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    QString text;
    if (!TryDecode(bytes, encoding, text)) InvalidTextError(fileName, encoding);
    detected = encoding;
    if (stamp) *stamp = StampFrom(st);
    return text;
}

TTextTail LoadTextFileTail(const QString& fileName, qsizetype maxLines, qsizetype maxChars) {
    TTextTail tail;
    struct stat st;
    FileDescriptor fd = OpenToRead(fileName, st);
    if (!S_ISREG(st.st_mode) || maxLines <= 0) {
        fd.Close();
        tail.Text = LoadTextFile(fileName, tail.Encoding, maxChars, &tail.Stamp);
        tail.SavedForm = tail.Text == NormalizeLineBreaks(tail.Text) &&
                         (tail.Text.isEmpty() || tail.Text.endsWith(QLatin1String("\r\n")));
        return tail;
    }
    tail.Stamp = StampFrom(st);

    // First pass, chunk by chunk: the text is checked whole and the starts of the last lines are
    // kept (a ring of maxLines + 1 byte offsets), looking at the code units: CR and LF are never
    // part of another character in these encodings.
    char head[3];
    qint64 headGot = 0;
    if (const int err = ReadAll(fd.Get(), head, sizeof head, 0, headGot)) OpenError(fileName, err);
    int markLength = 0;
    const TTextEncoding encoding = DetectByteOrderMark(QByteArray(head, qsizetype(headGot)), markLength);
    const int unit = UnitSize(encoding);
    std::vector<qint64> starts(size_t(maxLines) + 1);
    qint64 startCount = 0;
    const auto lineStart = [&](qint64 at) { starts[size_t(startCount++ % qint64(starts.size()))] = at; };
    lineStart(markLength);
    bool pendingCr = false, endsWithCrLf = false;
    QByteArray chunk(int(kChunk), Qt::Uninitialized);
    QByteArray carry; // UTF-8 bytes of a character cut by the chunk's end
    qint64 at = markLength;
    for (;;) {
        qint64 got = 0;
        if (const int err = ReadAll(fd.Get(), chunk.data(), kChunk, at, got)) OpenError(fileName, err);
        if (got == 0) break;
        const char* data = chunk.constData();
        qint64 whole = got - got % unit;
        for (qint64 i = 0; i < whole; i += unit) {
            const unsigned u = UnitAt(data + i, encoding);
            const qint64 pos = at + i;
            if (pendingCr && u != '\n') {
                tail.SavedForm = false; // a lone CR before this unit
                lineStart(pos);
            }
            if (u == '\n') {
                if (!pendingCr) tail.SavedForm = false;
                endsWithCrLf = pendingCr;
                lineStart(pos + unit);
            } else {
                endsWithCrLf = false;
            }
            pendingCr = u == '\r';
        }
        if (encoding == TTextEncoding::UTF8) {
            // Checked up to the last byte that starts a character; the rest waits for the next chunk.
            qint64 cut = got;
            while (cut > 0 && got - cut < 4 && (static_cast<unsigned char>(data[cut - 1]) & 0xC0) == 0x80)
                --cut;
            if (cut > 0 && got - cut < 4) --cut;
            if (got - cut >= 4) cut = got;
            QByteArray piece = carry + QByteArray::fromRawData(data, qsizetype(cut));
            QString ignored;
            if (!TryDecode(piece, encoding, ignored)) InvalidTextError(fileName, encoding);
            carry = QByteArray(data + cut, qsizetype(got - cut));
        }
        at += whole;
        if (whole < got) {
            // Half a UTF-16 unit: only the file's end may hold one, and then the text is refused.
            qint64 more = 0;
            char probe;
            if (const int err = ReadAll(fd.Get(), &probe, 1, at + 1, more)) OpenError(fileName, err);
            if (more == 0) InvalidTextError(fileName, encoding);
        }
    }
    if (!carry.isEmpty()) {
        QString ignored;
        if (!TryDecode(carry, encoding, ignored)) InvalidTextError(fileName, encoding);
    }
    if (pendingCr) {
        tail.SavedForm = false;
        lineStart(at);
    }
    if (at > markLength && !endsWithCrLf) tail.SavedForm = false;
    // A start at the very end begins no line.
    qint64 last = startCount - 1;
    if (starts[size_t(last % qint64(starts.size()))] >= at && last > 0) --last;
    const qint64 lines = last + 1;
    qint64 from = markLength;
    if (lines > maxLines) from = starts[size_t((lines - maxLines) % qint64(starts.size()))];

    // Second pass: only the kept lines are decoded.
    if (maxChars >= 0 && FewestChars(encoding, qsizetype(at - from)) > maxChars)
        throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    QByteArray bytes;
    if (const int err = ReadRange(fd.Get(), from, at - from, bytes)) OpenError(fileName, err);
    if (!TryDecode(bytes, encoding, tail.Text)) InvalidTextError(fileName, encoding);
    tail.Encoding = encoding;
    tail.HeadBytes = from > markLength ? from : 0;
    return tail;
}

namespace {

// The whole save: preamble, the old file's first headBytes bytes (text in `encoding`), body.
TFileStamp SaveEncoded(const QString& fileName, const QByteArray& preamble, const QByteArray& body,
                       TTextEncoding encoding, qint64 headBytes) {
    if (fileName.isEmpty()) CreateError(fileName, ENOENT);
    const QString path = WrittenPath(fileName);
    const QByteArray encodedPath = QFile::encodeName(path);
    struct stat old;
    const bool exists = ::stat(encodedPath.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) CreateError(fileName, EISDIR);
    if (exists && !S_ISREG(old.st_mode)) CreateErrorText(fileName, QString::fromUtf16(rtl::SNotRegularFile));
    if (!exists) headBytes = 0;

    // The old file's head, read from it while the new one is written.
    FileDescriptor source;
    if (headBytes > preamble.size()) {
        source.Reset(::open(encodedPath.constData(), O_RDONLY | kNoWait));
        if (source.Get() < 0) CreateError(fileName, errno);
    }
    const auto wholeInMemory = [&] {
        QByteArray all = preamble;
        if (source.Get() >= 0) {
            const int err =
                CopyHead(source.Get(), preamble.size(), headBytes, encoding, [&](const QByteArray& piece) {
                    all += piece;
                    return 0;
                });
            if (err) CreateError(fileName, err);
        }
        return all + body;
    };

    // The new file beside the old one, under a name no file has.
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    FileDescriptor fd;
    QByteArray temporary;
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = QFile::encodeName(
            folder + QLatin1Char('/') + info.fileName() + QLatin1Char('.') +
            QString::number(QRandomGenerator::global()->generate64() % 1000000000000ULL, 36));
        fd.Reset(FileCalls().Open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        err = fd.Get() < 0 ? errno : 0;
        if (err != EEXIST) break;
    }
    if (fd.Get() < 0) {
        // A folder that refuses new files: a log the program may write is written in place.
        if (exists && FolderRefuses(err)) return WriteInPlace(fileName, path, wholeInMemory());
        CreateError(fileName, err);
    }
    const auto fail = [&](int error) {
        fd.Close();
        ::unlink(temporary.constData());
        CreateError(fileName, error);
    };
    if (exists && ::fchmod(fd.Get(), old.st_mode & 07777) != 0) fail(errno);
    err = WriteAll(fd.Get(), preamble.constData(), preamble.size());
    if (!err && source.Get() >= 0)
        err = CopyHead(source.Get(), preamble.size(), headBytes, encoding, [&](const QByteArray& piece) {
            return WriteAll(fd.Get(), piece.constData(), piece.size());
        });
    if (!err) err = WriteAll(fd.Get(), body.constData(), body.size());
    // A write may only have reached the cache: the data is on the disk (or its failure known)
    // before the new file may take the old one's place.
    if (!err && FileCalls().Fsync(fd.Get()) != 0) err = errno ? errno : EIO;
    struct stat written;
    if (!err && ::fstat(fd.Get(), &written) != 0) err = errno;
    if (err) fail(err);
    if (fd.Close() != 0) {
        err = errno;
        ::unlink(temporary.constData());
        CreateError(fileName, err);
    }
    if (FileCalls().Rename(temporary.constData(), encodedPath.constData()) != 0) {
        err = errno;
        ::unlink(temporary.constData());
        if (exists && FolderRefuses(err)) return WriteInPlace(fileName, path, wholeInMemory());
        CreateError(fileName, err);
    }
    // The rename itself on the disk; the file is in place already, so a failure here is not one of
    // the save.
    FileDescriptor dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return StampFrom(written);
}

} // namespace

TFileStamp SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding,
                        qint64 headBytes, bool mark) {
    return SaveEncoded(fileName, mark ? Preamble(encoding) : QByteArray(), Encode(text, encoding), encoding,
                       headBytes);
}

TFileStamp SaveFileBytes(const QString& fileName, const QByteArray& bytes) {
    return SaveEncoded(fileName, QByteArray(), bytes, TTextEncoding::Ansi, 0);
}

TFileStamp AppendTextFile(const QString& fileName, const QString& text, TTextEncoding encoding,
                          bool newLine) {
    if (fileName.isEmpty()) CreateError(fileName, ENOENT);
    const QByteArray path = QFile::encodeName(fileName);
    FileDescriptor fd(FileCalls().Open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | kNoWait, 0666));
    if (fd.Get() < 0) CreateError(fileName, errno);
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) CreateError(fileName, errno);
    if (!S_ISREG(st.st_mode)) CreateErrorText(fileName, QString::fromUtf16(rtl::SNotRegularFile));
    const std::pair<quint64, quint64> key(quint64(st.st_dev), quint64(st.st_ino));
    {
        // An earlier append left bytes it could not cut: cut now, if nobody wrote the file since.
        std::lock_guard<std::mutex> guard(gPendingMutex);
        const auto pending = gPendingCuts.find(key);
        if (pending != gPendingCuts.end()) {
            if (StampFrom(st) == pending->second.Left) {
                if (FileCalls().Ftruncate(fd.Get(), off_t(pending->second.Size)) != 0)
                    CreateError(fileName, errno);
                if (::fstat(fd.Get(), &st) != 0) CreateError(fileName, errno);
            }
            gPendingCuts.erase(pending);
        }
    }
    const qint64 before = qint64(st.st_size);
    QByteArray bytes;
    if (before == 0) {
        bytes = Preamble(encoding);
    } else {
        // The text goes in the encoding the file's reader will take it in: that of its mark.
        FileDescriptor reader(::open(path.constData(), O_RDONLY | kNoWait));
        char head[3];
        qint64 got = 0;
        if (reader.Get() < 0 || ReadAll(reader.Get(), head, sizeof head, 0, got) != 0)
            CreateError(fileName, errno);
        int markLength = 0;
        encoding = DetectByteOrderMark(QByteArray(head, qsizetype(got)), markLength);
        const int unit = UnitSize(encoding);
        if (newLine && before - markLength >= unit) {
            char lastUnit[2];
            if (ReadAll(reader.Get(), lastUnit, unit, before - unit, got) != 0 || got < unit)
                CreateError(fileName, EIO);
            const unsigned u = UnitAt(lastUnit, encoding);
            if (u != '\n' && u != '\r') bytes = Encode(QStringLiteral("\r\n"), encoding);
        }
    }
    bytes += Encode(text, encoding);
    int err = WriteAll(fd.Get(), bytes.constData(), bytes.size());
    if (!err && FileCalls().Fsync(fd.Get()) != 0) err = errno ? errno : EIO;
    if (err) {
        if (FileCalls().Ftruncate(fd.Get(), off_t(before)) != 0) {
            struct stat left;
            if (::fstat(fd.Get(), &left) == 0) {
                std::lock_guard<std::mutex> guard(gPendingMutex);
                gPendingCuts[key] = TPendingCut{before, StampFrom(left)};
            }
        }
        CreateError(fileName, err);
    }
    if (::fstat(fd.Get(), &st) != 0) CreateError(fileName, errno);
    const TFileStamp stamp = StampFrom(st);
    if (fd.Close() != 0) {
        err = errno;
        // The text may not have reached the disk: cut it off again through a new descriptor.
        FileDescriptor again(::open(path.constData(), O_WRONLY | kNoWait));
        if (again.Get() < 0 || FileCalls().Ftruncate(again.Get(), off_t(before)) != 0) {
            std::lock_guard<std::mutex> guard(gPendingMutex);
            gPendingCuts[key] = TPendingCut{before, stamp};
        }
        CreateError(fileName, err);
    }
    return stamp;
}

TFolderLock::TFolderLock(const QString& folder, int waitMs, const std::function<bool()>& giveUp) {
    FFd = ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                 O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FFd < 0) {
        FError = errno;
        return;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (::flock(FFd, LOCK_EX | LOCK_NB) == 0) {
            FLocked = true;
            return;
        }
        FError = errno;
        if (FError == EINTR) continue;
        if (FError != EWOULDBLOCK || waited.elapsed() >= waitMs) return;
        if (giveUp && giveUp()) {
            FError = ECANCELED;
            return;
        }
        QThread::msleep(50);
    }
}

TFolderLock::~TFolderLock() {
    if (FFd >= 0) ::close(FFd); // the lock goes with the descriptor
}

} // namespace platform
