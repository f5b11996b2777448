// The exception family of xkit: every error the library raises derives from xkit::Exception,
// so callers can catch the library's failures in one place and still tell them apart.
#pragma once

#include <stdexcept>
#include <string>

namespace xkit {

// Base of every xkit error; carries the message text.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message);
  ~Exception() override;

  // The whole message. It may quote input bytes, a zero byte among them, where what()
  // (a C string) would stop.
  const std::string& Message() const { return message_; }

private:
  std::string message_;
};

// A text that does not convert to an integer (raised by BigFromDecimal).
class EConvertError : public Exception {
public:
  using Exception::Exception;
  ~EConvertError() override;
};

// A zero divisor or modulus given to an operation that divides; message "Division by zero".
class EDivByZero : public Exception {
public:
  EDivByZero();
  ~EDivByZero() override;
};

}  // namespace xkit
