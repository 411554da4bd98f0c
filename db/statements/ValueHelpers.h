#pragma once
// Helpers the parameter item and the parameter list share: SQL type classes, text encoders, the
// client's date units, and conversions that raise the client's conversion error. Internal to
// db/statements.

#include "FbXSQLVAR.h"
#include "ValueConversions.h"
#include "db/connection/FbConstants.h"
#include "db/connection/fb.h"
#include "platform/Encoding.h"
#include "platform/RegionalSettings.h"

#include <QStringEncoder>
#include <ibase.h>

namespace db::statements {

using db::connection::RaiseFbError;

using platform::TDateTime;

// Day numbers of 1858-11-17 (the client's day 0) and the days between it and 1899-12-30.
inline constexpr int ClientDateDelta = 678576;
inline constexpr int ClientToDateTimeDays = db::connection::TimeStampDayOf18991230;
inline constexpr double ClientTimeUnitsPerDay = 864000000.0;
inline constexpr int MaxTextLength = 32767;

inline const char* const CharacterSetNames[61] = {
    "NONE",       "OCTETS",  "ASCII",     "UNICODE_FSS", "UTF8",      "SJIS_0208", "EUCJ_0208", "UNKNOWN",
    "UNKNOWN",    "DOS737",  "DOS437",    "DOS850",      "DOS865",    "DOS860",    "DOS863",    "DOS775",
    "DOS858",     "DOS862",  "DOS864",    "NEXT",        "UNKNOWN",   "ISO8859_1", "ISO8859_2", "ISO8859_3",
    "UNKNOWN",    "UNKNOWN", "UNKNOWN",   "UNKNOWN",     "UNKNOWN",   "UNKNOWN",   "UNKNOWN",   "UNKNOWN",
    "UNKNOWN",    "UNKNOWN", "ISO8859_4", "ISO8859_5",   "ISO8859_6", "ISO8859_7", "ISO8859_8", "ISO8859_9",
    "ISO8859_13", "UNKNOWN", "UNKNOWN",   "UNKNOWN",     "KSC_5601",  "DOS852",    "DOS857",    "DOS861",
    "DOS866",     "DOS869",  "CYRL",      "WIN1250",     "WIN1251",   "WIN1252",   "WIN1253",   "WIN1254",
    "BIG_5",      "GB_2312", "WIN1255",   "WIN1256",     "WIN1257"};

inline bool IsIntegerType(short t) {
    return t == SQL_SHORT || t == SQL_LONG || t == SQL_INT64;
}
inline bool IsRealSqlType(short t) {
    return t == SQL_FLOAT || t == SQL_DOUBLE || t == SQL_D_FLOAT;
}
inline bool IsNumericSqlType(short t) {
    return IsIntegerType(t) || IsRealSqlType(t);
}
inline bool IsDateTimeSqlType(short t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME;
}
inline bool IsTextType(short t) {
    return t == SQL_TEXT || t == SQL_VARYING;
}

[[noreturn]] inline void RaiseConversion() {
    RaiseFbError(FbClientError::InvalidDataConversion);
}

inline QStringEncoder& Utf8Encoder() {
    thread_local QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return encoder;
}

// Into the ANSI code page through the platform's conversion (a similar character or "?" for one
// the code page lacks), reusing the storage of `buffer`.
inline void EncodeAnsiInto(const QString& text, QByteArray& buffer) {
    platform::EncodeInto(text, platform::TTextEncoding::Ansi, buffer);
}

// Encodes into the start of `buffer`, reusing its storage, and returns the encoded length: the
// buffer keeps the size the longest text needed (a resize is a library call at every value).
inline qsizetype EncodeIntoStart(QStringEncoder& encoder, const QString& text, QByteArray& buffer) {
    const qsizetype need = encoder.requiredSpace(text.size());
    if (!buffer.isDetached() || buffer.size() < need) buffer = QByteArray(need, Qt::Uninitialized);
    return encoder.appendToBuffer(buffer.data(), QStringView(text)) - buffer.constData();
}

inline TDateTime ParseDateTimeOrRaise(const QString& text) {
    TDateTime value = 0;
    if (!ParseDateTime(text, platform::RegionalSettings(), value)) RaiseConversion();
    return value;
}

inline int64_t TruncToInt64OrRaise(long double value) {
    int64_t result = 0;
    if (!TruncToInt64(value, result)) RaiseConversion();
    return result;
}

inline QByteArray DecimalSeparatorBytes() {
    return platform::AnsiFromString(QString(platform::RegionalSettings().DecimalSeparator));
}

inline QString FloatText(double value) {
    return FloatToStrGeneral(value, platform::RegionalSettings().DecimalSeparator);
}

inline QString DecodeDescriptorName(const IFbQuery* query, const char* bytes, short length) {
    const QByteArray raw(bytes, qBound(0, int(length), 32));
    if (query && query->IsUnicodeConnect()) return QString::fromUtf8(raw);
    if (query && query->IsKOI8Connect()) return platform::Decode(raw, platform::TTextEncoding::KOI8R);
    return platform::StringFromAnsi(raw);
}

} // namespace db::statements
