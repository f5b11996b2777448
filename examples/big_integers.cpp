// Big integers: decimal in and out, arithmetic, Euclidean division.
#include <iostream>
#include <string>

#include "xFGInt/xFGInt.h"

int main() {
  using namespace xkit;
  TFGInt a, b, product, q, r;
  BigFromDecimal("123456789012345678901234567890", a);
  BigFromDecimal("-987654321", b);
  BigMul(a, b, product);
  BigDivMod(product, b, q, r);  // Euclidean: 0 <= r < |b|

  std::string text;
  BigToDecimal(product, text);
  std::cout << "a * b = " << text << "\n";
  BigToDecimal(q, text);
  std::cout << "(a * b) / b = " << text << "\n";

  try {
    BigMod(a, TFGInt{TBigSign::Positive, {1, 0}}, r);  // the record for zero
  } catch (const EDivByZero& error) {
    std::cout << error.what() << "\n";  // "Division by zero"
  }
}
