#include "TextFile.h"

#include "Exceptions.h"
#include "Format.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : FFd(fd) {}
    ~FileDescriptor() {
        if (FFd >= 0) ::close(FFd);
    }
    int Get() const { return FFd; }

private:
    int FFd;
};

[[noreturn]] void CreateError(const QString& fileName, int err) {
    throw EFCreateError(Format(rtl::SFCreateErrorEx, {ExpandFileName(fileName), SysErrorMessage(err)}));
}

[[noreturn]] void OpenError(const QString& fileName, int err) {
    throw EFOpenError(Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), SysErrorMessage(err)}));
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

} // namespace

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

QString LoadTextFile(const QString& fileName, TTextEncoding& detected, qsizetype maxChars) {
    const QByteArray path = QFile::encodeName(fileName);
    // Opened without waiting, so that a pipe at the path cannot block the program here.
    FileDescriptor fd(fileName.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) OpenError(fileName, fileName.isEmpty() ? ENOENT : errno);
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) OpenError(fileName, errno);
    if (S_ISDIR(st.st_mode)) OpenError(fileName, EISDIR);
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
    if (!TryDecode(bytes, encoding, text))
        throw EFOpenError(
            Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), encoding == TTextEncoding::UTF8
                                                                      ? QString::fromUtf16(rtl::SInvalidUtf8)
                                                                      : QString::fromUtf16(rtl::SOddUtf16)}));
    detected = encoding;
    return text;
}

void SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding) {
    if (fileName.isEmpty() || QFileInfo(fileName).isDir())
        CreateError(fileName, fileName.isEmpty() ? ENOENT : EISDIR);
    const QByteArray bytes = Preamble(encoding) + Encode(text, encoding);
    // The temporary file has a unique name and is created exclusively; the rename over the old
    // file happens only in commit(), after everything was written and flushed to the disk.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        const int err = errno;
        throw EFCreateError(Format(rtl::SFCreateErrorEx, {ExpandFileName(fileName),
                                                          err ? SysErrorMessage(err) : file.errorString()}));
    }
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        // A short write is not an error to the file object: it would be committed as it stands.
        const int err = errno ? errno : EIO;
        file.cancelWriting();
        CreateError(fileName, err);
    }
    errno = 0;
    if (!file.commit()) CreateError(fileName, errno ? errno : EIO);
}

void AppendTextFile(const QString& fileName, const QString& text, TTextEncoding encoding) {
    if (fileName.isEmpty() || QFileInfo(fileName).isDir())
        CreateError(fileName, fileName.isEmpty() ? ENOENT : EISDIR);
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) CreateError(fileName, errno ? errno : EIO);
    const qint64 before = file.size();
    const QByteArray bytes = (before == 0 ? Preamble(encoding) : QByteArray()) + Encode(text, encoding);
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int err = errno ? errno : EIO;
        file.resize(before);
        CreateError(fileName, err);
    }
}

} // namespace platform
