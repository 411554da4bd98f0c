#pragma once
// Text encodings: the system ANSI code page (Windows-1250 on this system), UTF-8, UTF-16 with
// byte-order marks, KOI8-R (code page 20866). Every 8-bit conversion goes through here.

#include <QByteArray>
#include <QString>

namespace platform {

enum class TTextEncoding { Ansi, UTF8, UTF16LE, UTF16BE, KOI8R };

// The code page number of the system's ANSI code page.
int AnsiCodePage();

QByteArray Encode(const QString& text, TTextEncoding encoding);
QString Decode(const QByteArray& bytes, TTextEncoding encoding);

inline QByteArray AnsiFromString(const QString& text) {
    return Encode(text, TTextEncoding::Ansi);
}
inline QString StringFromAnsi(const QByteArray& bytes) {
    return Decode(bytes, TTextEncoding::Ansi);
}

// The byte-order mark written in front of a file in this encoding (empty for 8-bit encodings).
QByteArray Preamble(TTextEncoding encoding);

// Looks for a byte-order mark at the start: UTF-8, then UTF-16 LE, then UTF-16 BE. Without one the
// result is the ANSI code page and markLength 0.
TTextEncoding DetectByteOrderMark(const QByteArray& bytes, int& markLength);

// Decodes a whole file's content: mark detection, then the bytes after the mark.
QString DecodeWithByteOrderMark(const QByteArray& bytes, TTextEncoding& detected);

} // namespace platform
