#pragma once
// The variant values the parameter and column items exchange: QVariant with a few value types of
// our own for what Qt has no type for (currency, a date-time number, a byte array as blob data).

#include "platform/DateTime.h"

#include <QByteArray>
#include <QMetaType>
#include <QVariant>
#include <cstdint>

// A fixed-point amount: the value times 10000.
struct TCurrency {
    int64_t Scaled = 0;
    friend bool operator==(const TCurrency&, const TCurrency&) = default;
};

// A date-time held by a variant (days since 1899-12-30).
struct TVarDate {
    platform::TDateTime Value = 0;
    friend bool operator==(const TVarDate&, const TVarDate&) = default;
};

// A byte array held by a variant: blob content rather than 8-bit text.
struct TVarBytes {
    QByteArray Bytes;
    friend bool operator==(const TVarBytes&, const TVarBytes&) = default;
};

Q_DECLARE_METATYPE(TCurrency)
Q_DECLARE_METATYPE(TVarDate)
Q_DECLARE_METATYPE(TVarBytes)

namespace db::statements {

// Empty (unassigned) is an invalid QVariant; null is a variant holding nullptr.
inline QVariant VarNull() {
    return QVariant::fromValue(nullptr);
}
inline bool VarIsNull(const QVariant& v) {
    return v.metaType() == QMetaType::fromType<std::nullptr_t>();
}
inline bool VarIsEmpty(const QVariant& v) {
    return !v.isValid();
}
inline bool VarIsNullOrEmpty(const QVariant& v) {
    return VarIsEmpty(v) || VarIsNull(v);
}

} // namespace db::statements
