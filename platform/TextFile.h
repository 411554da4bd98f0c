#pragma once
// Whole-file text reading with byte-order-mark detection, and writing that never destroys the
// previous file: the new content goes to a file beside it, which replaces the old one only when
// it is complete.

#include "Encoding.h"

#include <QString>

namespace platform {

// Reads the file, detects UTF-8 / UTF-16 LE / UTF-16 BE by its mark (else the ANSI code page) and
// decodes the bytes after the mark. Raises EFOpenError "Cannot open file \"%s\". %s" when the file
// cannot be read or its bytes are not valid text in the detected encoding (nothing is replaced),
// and EInvalidOperation "Text exceeds memo capacity" before reading a file whose text would
// certainly be longer than maxChars characters.
QString LoadTextFile(const QString& fileName, TTextEncoding& detected, qsizetype maxChars = -1);

// Writes the encoding's mark (if it has one) and the encoded text, replacing the file through a
// uniquely named file beside it that is renamed over it when complete. A symbolic link at the path
// stays a link: the file it points to is the one written.
// Raises EFCreateError "Cannot create file \"%s\". %s"; the old file is then untouched.
void SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding);

// Adds the encoded text at the end of the file, creating it when missing; the encoding's mark is
// written first when the file is empty. Raises EFCreateError "Cannot create file \"%s\". %s"; a
// write that fails is cut off again, so the file keeps its old bytes.
void AppendTextFile(const QString& fileName, const QString& text, TTextEncoding encoding);

// Every lone CR and every lone LF becomes CR LF.
QString NormalizeLineBreaks(const QString& text);

// The absolute form of a file name, as error messages show it.
QString ExpandFileName(const QString& fileName);

} // namespace platform
