#pragma once
// Whole-file text reading with byte-order-mark detection, and writing that never destroys the
// previous file: the new content goes to a file beside it, which replaces the old one only when
// it is complete.

#include "Encoding.h"

#include <QString>

namespace platform {

// Reads the file, detects UTF-8 / UTF-16 LE / UTF-16 BE by its mark (else the ANSI code page) and
// decodes the bytes after the mark. Raises EFOpenError "Cannot open file \"%s\". %s".
QString LoadTextFile(const QString& fileName, TTextEncoding& detected);

// Writes the encoding's mark (if it has one) and the encoded text, replacing the file.
// Raises EFCreateError "Cannot create file \"%s\". %s"; the old file is then untouched.
void SaveTextFile(const QString& fileName, const QString& text, TTextEncoding encoding);

// Every lone CR and every lone LF becomes CR LF.
QString NormalizeLineBreaks(const QString& text);

// The absolute form of a file name, as error messages show it.
QString ExpandFileName(const QString& fileName);

} // namespace platform
