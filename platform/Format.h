#pragma once
// printf-style formatting with the runtime's rules: %[index:][-][width][.precision]type,
// types d u x s f e g n and %%; a mismatched argument raises EConvertError.

#include <QString>
#include <cstdint>
#include <initializer_list>

namespace platform {

class TVarRec {
public:
    enum class Kind { Int32, Int64, Float, String };
    TVarRec(int v) : FKind(Kind::Int32), FInt(v) {}
    TVarRec(unsigned v) : FKind(Kind::Int64), FInt(v) {}
    TVarRec(long v) : FKind(Kind::Int64), FInt(v) {}
    TVarRec(long long v) : FKind(Kind::Int64), FInt(v) {}
    TVarRec(unsigned long v) : FKind(Kind::Int64), FInt(static_cast<int64_t>(v)) {}
    TVarRec(unsigned long long v) : FKind(Kind::Int64), FInt(static_cast<int64_t>(v)) {}
    TVarRec(double v) : FKind(Kind::Float), FFloat(v) {}
    TVarRec(const QString& v) : FKind(Kind::String), FString(v) {}
    TVarRec(const char16_t* v) : FKind(Kind::String), FString(QString::fromUtf16(v)) {}
    TVarRec(const char* v) : FKind(Kind::String), FString(QString::fromUtf8(v)) {}

    Kind GetKind() const { return FKind; }
    int64_t AsInt() const { return FInt; }
    double AsFloat() const { return FFloat; }
    const QString& AsString() const { return FString; }

private:
    Kind FKind;
    int64_t FInt = 0;
    double FFloat = 0;
    QString FString;
};

QString Format(const QString& format, std::initializer_list<TVarRec> args);
inline QString Format(const char16_t* format, std::initializer_list<TVarRec> args) {
    return Format(QString::fromUtf16(format), args);
}

} // namespace platform
