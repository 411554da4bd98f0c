#pragma once
// The framework's database error: the common base of the errors of the database layer and of
// the generic data set framework.

#include "platform/Exceptions.h"

namespace platform {

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

} // namespace platform
