// The exception family: one catch clause for every library error, and the fixed messages.
#include "platform/exceptions.h"

#include <gtest/gtest.h>

namespace xkit {
namespace {

TEST(Exceptions, AllDeriveFromExceptionAndRuntimeError) {
  try {
    throw EDivByZero();
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Division by zero");
  }
  EXPECT_THROW(throw EConvertError("'x' n'est pas une valeur entière correcte"),
               std::runtime_error);
  EXPECT_THROW(throw EConvertError("x"), Exception);
}

TEST(Exceptions, MessageKeepsZeroBytes) {
  const std::string message = std::string("'1") + '\0' + "' n'est pas une valeur entière correcte";
  const EConvertError error(message);
  EXPECT_EQ(error.Message(), message);
  EXPECT_STREQ(error.what(), "'1");
}

}  // namespace
}  // namespace xkit
