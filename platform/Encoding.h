#pragma once
// Text encodings: the system ANSI code page (Windows-1250 on this system), UTF-8, UTF-16 with
// byte-order marks, KOI8-R (code page 20866), ISO-8859-2. Every 8-bit conversion goes through here.
// The single-byte code pages convert through tables built once per process: every byte decodes to
// one character (bytes the code page leaves undefined to the control character of the same
// number, as Windows does), so every byte comes back on encoding; a character the code page lacks
// is encoded as a similar one where one exists (a letter without its accent: "À" gives "A"), else
// as the code page's default character "?".

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

enum class TTextEncoding { Ansi, UTF8, UTF16LE, UTF16BE, KOI8R, ISO88592 };

// The code page number of the system's ANSI code page.
int AnsiCodePage();

QByteArray Encode(const QString& text, TTextEncoding encoding);
// As Encode, into `out`, whose storage is reused when it is not shared and large enough: for
// values encoded again and again (statement parameters).
void EncodeInto(QStringView text, TTextEncoding encoding, QByteArray& out);
// Bytes that are not valid in the encoding (broken UTF-8, an odd last byte of UTF-16) become
// U+FFFD; TryDecode reports them instead.
QString Decode(QByteArrayView bytes, TTextEncoding encoding);
// False when the bytes are not valid text in the encoding; `text` is then left empty.
bool TryDecode(const QByteArray& bytes, TTextEncoding encoding, QString& text);

inline QByteArray AnsiFromString(const QString& text) {
    return Encode(text, TTextEncoding::Ansi);
}
inline QString StringFromAnsi(QByteArrayView bytes) {
    return Decode(bytes, TTextEncoding::Ansi);
}

// The byte-order mark written in front of a file in this encoding (empty for 8-bit encodings).
QByteArray Preamble(TTextEncoding encoding);

// Looks for a byte-order mark at the start: UTF-8, then UTF-16 LE, then UTF-16 BE. Without one the
// result is the ANSI code page and markLength 0.
TTextEncoding DetectByteOrderMark(const QByteArray& bytes, int& markLength);

// As DetectByteOrderMark, except that bytes without a mark which are valid UTF-8 and not plain
// ASCII are taken as UTF-8 (markLength 0): text written by an editor that saves UTF-8 without a
// mark. Windows-1250 text with Polish letters is practically never valid UTF-8.
TTextEncoding DetectTextEncoding(const QByteArray& bytes, int& markLength);

// Decodes a whole file's content: mark detection, then the bytes after the mark.
QString DecodeWithByteOrderMark(const QByteArray& bytes, TTextEncoding& detected);

} // namespace platform
