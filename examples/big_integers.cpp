// Big integers with xkit::BigInt: arithmetic, Euclidean division, modular functions, and the
// record underneath for the free functions.
#include <iostream>
#include <string>

#include "xFGInt/BigInt.h"
#include "xFGInt/xFGInt.h"

int main() {
  using xkit::BigInt;
  BigInt factorial = 1;
  for (int k = 2; k <= 30; ++k)
    factorial *= k;
  std::cout << "30! = " << factorial << "\n";  // 265252859812191058636308480000000

  const BigInt a("-123456789012345678901234567890");
  std::cout << a / 1000 << " remainder " << a % 1000 << "\n";  // Euclidean: 0 <= r < 1000

  const BigInt p("170141183460469231731687303715884105727");  // 2^127 - 1, a prime
  std::cout << xkit::PowMod(3, p - 1, p) << "\n";             // 1
  if (const auto inverse = xkit::InvMod(10, p)) std::cout << *inverse * 10 % p << "\n";  // 1

  // The record and the free functions are one call away.
  std::string bits;
  xkit::BigToBits(BigInt(10).Record(), bits);
  std::cout << bits << "\n";  // 1010

  try {
    std::cout << a / 0;
  } catch (const xkit::EDivByZero& error) {
    std::cout << error.what() << "\n";  // Division by zero
  }
}
