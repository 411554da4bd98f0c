#include "TextFile.h"

#include "Exceptions.h"
#include "Format.h"

#include <QDir>
#include <QFileInfo>
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
    int Release() {
        int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

[[noreturn]] void CreateError(const QString& fileName, int err) {
    throw EFCreateError(Format(rtl::SFCreateErrorEx, {ExpandFileName(fileName), SysErrorMessage(err)}));
}

[[noreturn]] void OpenError(const QString& fileName, int err) {
    throw EFOpenError(Format(rtl::SFOpenErrorEx, {ExpandFileName(fileName), SysErrorMessage(err)}));
}

} // namespace

QString ExpandFileName(const QString& fileName) {
    if (fileName.isEmpty()) return fileName;
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

QString NormalizeLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            out += QLatin1String("\r\n");
            if (i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString LoadTextFile(const QString& fileName, TTextEncoding& detected) {
    const QByteArray path = QFile::encodeName(fileName);
    FileDescriptor fd(fileName.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) OpenError(fileName, fileName.isEmpty() ? ENOENT : errno);
    QByteArray bytes;
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            OpenError(fileName, errno);
        }
        if (got == 0) break;
        bytes.append(buf, got);
    }
    return DecodeWithByteOrderMark(bytes, detected);
}

void SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding) {
    if (fileName.isEmpty() || QFileInfo(fileName).isDir())
        CreateError(fileName, fileName.isEmpty() ? ENOENT : EISDIR);
    const QByteArray bytes = Preamble(encoding) + Encode(text, encoding);
    const QByteArray target = QFile::encodeName(fileName);
    const QByteArray temp = target + ".new";

    mode_t mode = 0644;
    struct stat st;
    if (::stat(target.constData(), &st) == 0) mode = st.st_mode & 07777;

    FileDescriptor fd(::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (fd.Get() < 0) CreateError(fileName, errno);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd.Get(), p, size_t(left));
        if (put < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::unlink(temp.constData());
            CreateError(fileName, err);
        }
        p += put;
        left -= put;
    }
    if (::fsync(fd.Get()) != 0 || ::close(fd.Release()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        CreateError(fileName, err);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        CreateError(fileName, err);
    }
}

} // namespace platform
