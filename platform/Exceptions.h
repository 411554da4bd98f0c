#pragma once
// Root of every failure the program raises: a UTF-16 message, readable as UTF-8 through what().

#include <QByteArray>
#include <QString>
#include <exception>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(const QString& message);
    ~Exception() override;
    const QString& Message() const { return FMessage; }
    void SetMessage(const QString& message);
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Silent exception: unwinds without being shown.
class EAbort : public Exception {
public:
    using Exception::Exception;
};
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
class EInOutError : public Exception {
public:
    using Exception::Exception;
};
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EOSError : public Exception {
public:
    EOSError(const QString& message, unsigned errorCode) : Exception(message), FErrorCode(errorCode) {}
    unsigned ErrorCode() const { return FErrorCode; }

private:
    unsigned FErrorCode;
};
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};
class EListError : public Exception {
public:
    using Exception::Exception;
};
class EStringListError : public Exception {
public:
    using Exception::Exception;
};
class EInvalidArgument : public Exception {
public:
    using Exception::Exception;
};

// The runtime's message texts, exactly as other parts of the program quote them.
namespace rtl {
inline constexpr const char16_t* SFCreateErrorEx = u"Cannot create file \"%s\". %s";
inline constexpr const char16_t* SFOpenErrorEx = u"Cannot open file \"%s\". %s";
inline constexpr const char16_t* SInvalidInteger = u"''%s'' is not a valid integer value";
inline constexpr const char16_t* SInvalidFloat = u"''%s'' is not a valid floating point value";
inline constexpr const char16_t* SInvalidTimeStamp = u"'%d.%d' is not a valid timestamp";
inline constexpr const char16_t* SInvalidDateTime = u"''%s'' is not a valid date and time";
inline constexpr const char16_t* SInvalidDate = u"''%s'' is not a valid date";
inline constexpr const char16_t* SInvalidTime = u"''%s'' is not a valid time";
inline constexpr const char16_t* SInvalidFormat = u"Format '%s' invalid or incompatible with argument";
inline constexpr const char16_t* SArgumentMissing = u"No argument for format '%s'";
inline constexpr const char16_t* SMemoTooLarge = u"Text exceeds memo capacity";
inline constexpr const char16_t* SInvalidUtf8 = u"The text is not valid UTF-8";
inline constexpr const char16_t* SOddUtf16 = u"The UTF-16 text ends with half a character";
inline constexpr const char16_t* SNotRegularFile = u"Not a regular file";
inline constexpr const char16_t* SListIndexError = u"List index out of bounds (%d)";
inline constexpr const char16_t* SDuplicateString = u"String list does not allow duplicates";
inline constexpr const char16_t* SOSError = u"System Error.  Code: %d.\r\n%s";
inline constexpr const char16_t* SUnkOSError = u"A call to an OS function failed";
inline constexpr const char16_t* SOutOfMemory = u"Out of memory";
inline constexpr const char16_t* SAssertionFailed = u"Assertion failed";
inline constexpr const char16_t* SDuplicateName = u"A component named %s already exists";
inline constexpr const char16_t* SInvalidName = u"''%s'' is not a valid component name";
} // namespace rtl

// The system's text for an operating-system error code (errno on this platform).
QString SysErrorMessage(int errorCode);
// The operating-system error for a code, with the runtime's composed message.
[[noreturn]] void RaiseLastOSError(int errorCode);

} // namespace platform
