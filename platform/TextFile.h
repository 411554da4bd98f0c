#pragma once
// Whole-file text reading with byte-order-mark detection, and writing that never destroys the
// previous file: the new content goes to a file beside it, which replaces the old one only when
// it is complete and on the disk.

#include "Encoding.h"

#include <QString>
#include <functional>
#include <sys/types.h>

namespace platform {

// What a file was when this program last read or wrote it, so that a later look tells whether
// someone else changed it meanwhile. Not Valid: there was no file.
struct TFileStamp {
    bool Valid = false;
    quint64 Device = 0;
    quint64 Inode = 0;
    qint64 Size = 0;
    qint64 ModifiedNs = 0;
    bool operator==(const TFileStamp&) const = default;
};
// The stamp of the file at the path now (a symbolic link followed).
TFileStamp StampOf(const QString& fileName);

// Reads the file, detects UTF-8 / UTF-16 LE / UTF-16 BE by its mark (else the ANSI code page) and
// decodes the bytes after the mark. Raises EFOpenError "Cannot open file \"%s\". %s" when the file
// cannot be read, is not a regular file (opening never waits for a pipe's writer) or its bytes are
// not valid text in the detected encoding (nothing is replaced),
// and EInvalidOperation "Text exceeds memo capacity" before reading a file whose text would
// certainly be longer than maxChars characters.
QString LoadTextFile(const QString& fileName, TTextEncoding& detected, qsizetype maxChars = -1,
                     TFileStamp* stamp = nullptr);

// The newest lines of a text file, read without holding the whole file: the file is checked whole
// (valid text in the encoding of its mark, as LoadTextFile does), and only its last maxLines lines
// are decoded. HeadBytes: the bytes before the kept lines (the mark included); 0 when the lines
// are all of the file's text.
struct TTextTail {
    QString Text;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    qint64 HeadBytes = 0;
    // Every line break is CR LF and the last line has one: the file holds the text as a save
    // would write it.
    bool SavedForm = true;
    TFileStamp Stamp;
};
TTextTail LoadTextFileTail(const QString& fileName, qsizetype maxLines, qsizetype maxChars = -1);

// Writes the encoding's mark (if it has one) and the encoded text, replacing the file through a
// uniquely named file beside it that is renamed over it when it is written and flushed to the
// disk. With headBytes, the file's own first headBytes bytes (its mark included, line breaks made
// CR LF) come before the text: the lines a view dropped from its front. A symbolic link at the path
// stays a link: the file it points to is the one written. Only a regular file is replaced. When
// the folder refuses the new file but the file itself may be written, it is written in place: the
// space is reserved first, only the bytes that differ are written, and a failure puts the old bytes
// back. Raises EFCreateError "Cannot create file \"%s\". %s"; the old file is then as it was.
// Without `mark` no mark is written (a file read without one keeps having none).
TFileStamp SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding,
                        qint64 headBytes = 0, bool mark = true);
// The same save for bytes as they are (no mark, no encoding).
TFileStamp SaveFileBytes(const QString& fileName, const QByteArray& bytes);

// Adds the encoded text at the end of the regular file, creating it when missing; the encoding's
// mark is written first when the file is empty, and a file that has a mark gets the text in that
// mark's encoding. newLine: a file whose last line has no line break gets one first. Raises
// EFCreateError "Cannot create file \"%s\". %s"; a write that fails is cut off again, so the file
// keeps its old bytes (where even the cut fails, the next append to the unchanged file cuts it).
TFileStamp AppendTextFile(const QString& fileName, const QString& text, TTextEncoding encoding,
                          bool newLine = false);

// Every lone CR and every lone LF becomes CR LF.
QString NormalizeLineBreaks(const QString& text);

// The absolute form of a file name, as error messages show it.
QString ExpandFileName(const QString& fileName);

// The system calls through which the files above are written. Tests put their own here to make a
// chosen call fail as a full disk or a failing device would.
struct TFileCalls {
    int (*Open)(const char* path, int flags, mode_t mode);
    ssize_t (*Write)(int fd, const void* data, size_t count);
    int (*Fsync)(int fd);
    int (*Rename)(const char* from, const char* to);
    int (*Ftruncate)(int fd, off_t length);
    // posix_fallocate's convention: the error number is the result.
    int (*Fallocate)(int fd, off_t offset, off_t length);
    int (*Close)(int fd);
};
TFileCalls& FileCalls();
// The calls of the system.
TFileCalls SystemFileCalls();

// An exclusive lock on a folder, shared by every process of the program that works in it: taken
// by waiting at most waitMs milliseconds, released when the object goes. Locked() is false when
// another holder kept it for the whole wait (or the folder cannot be opened).
class TFolderLock {
public:
    // giveUp, asked while waiting: true ends the wait unlocked, with ECANCELED.
    TFolderLock(const QString& folder, int waitMs, const std::function<bool()>& giveUp = {});
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    bool Locked() const { return FLocked; }
    // errno of the failure when not locked (EWOULDBLOCK: another holder).
    int Error() const { return FError; }

private:
    int FFd = -1;
    bool FLocked = false;
    int FError = 0;
};

} // namespace platform
