// Out-of-line members anchor each exception's vtable in the platform library.
#include "platform/exceptions.h"

namespace xkit {

Exception::Exception(const std::string& message) : std::runtime_error(message), message_(message) {}
Exception::~Exception() = default;

EConvertError::~EConvertError() = default;

EDivByZero::EDivByZero() : Exception("Division by zero") {}
EDivByZero::~EDivByZero() = default;

}  // namespace xkit
