#include "Exceptions.h"

#include "Format.h"

#include <cstring>

namespace platform {

Exception::Exception(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& message) {
    FMessage = message;
    FUtf8 = message.toUtf8();
}

QString SysErrorMessage(int errorCode) {
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

void RaiseLastOSError(int errorCode) {
    if (errorCode == 0) throw EOSError(QString::fromUtf16(rtl::SUnkOSError), 0);
    throw EOSError(Format(rtl::SOSError, {errorCode, SysErrorMessage(errorCode)}), unsigned(errorCode));
}

} // namespace platform
