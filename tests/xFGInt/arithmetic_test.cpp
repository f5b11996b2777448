// Signed sums, differences, products and squares against GMP with the record's own sign
// rules, the in-place digit operations, and every operation with its result record shared
// with its operands.
#include <functional>

#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

class Arithmetic : public EachKernelPath {};

TEST_P(Arithmetic, RandomOperandsMatchGmpWithTheRecordSignRules) {
  RandomValues random(23);
  for (int i = 0; i < 3000; ++i) {
    const mpz_class am = random.Magnitude(200);
    const mpz_class bm = random.Below(10) == 0 ? am : random.Magnitude(200);
    const TBigSign as = random.Sign();
    const TBigSign bs = random.Sign();
    const TFGInt a = Record(am, as);
    const TFGInt b = Record(bm, bs);
    const mpz_class av = Signed(am, as);
    const mpz_class bv = Signed(bm, bs);
    TFGInt c;
    BigAdd(a, b, c);
    ASSERT_TRUE(Holds(c, av + bv, SumSign(am, as, bm, bs))) << av << " + " << bv;
    BigSub(a, b, c);
    ASSERT_TRUE(Holds(c, av - bv, SumSign(am, as, bm, Flip(bs)))) << av << " - " << bv;
    BigMul(a, b, c);
    ASSERT_TRUE(Holds(c, am * bm, as == bs ? kPos : kNeg)) << av << " * " << bv;
    BigSquare(a, c);
    ASSERT_TRUE(Holds(c, am * am, kPos)) << av << "^2";
  }
}

TEST_P(Arithmetic, LongProductsAndSquares) {
  RandomValues random(29);
  for (const std::size_t bits : {2000u, 4096u, 9000u, 40000u, 140000u}) {
    const mpz_class am = random.Bits(bits);
    const mpz_class bm = random.Bits(bits - random.Below(bits / 2));
    TFGInt c;
    BigMul(Record(am, kNeg), Record(bm), c);
    ASSERT_TRUE(Holds(c, am * bm, kNeg)) << bits;
    BigSquare(Record(am, kNeg), c);
    ASSERT_TRUE(Holds(c, am * am, kPos)) << bits;
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(Arithmetic);

TEST(ArithmeticCases, SumsAndDifferences) {
  const mpz_class base = mpz_class(1) << 31;
  struct Case {
    std::function<void(TFGInt&)> run;
    mpz_class magnitude;
    TBigSign sign;
  };
  const Case cases[] = {
      {[&](TFGInt& c) { BigAdd(Record(base - 1), Record("1"), c); }, base, kPos},
      {[&](TFGInt& c) { BigSub(Record(base), Record("1"), c); }, base - 1, kPos},
      {[](TFGInt& c) { BigAdd(Record("5"), Record("-5"), c); }, 0, kPos},
      {[](TFGInt& c) { BigAdd(Record("-5"), Record("5"), c); }, 0, kNeg},
      {[](TFGInt& c) { BigSub(Record("5"), Record("5"), c); }, 0, kPos},
      {[](TFGInt& c) { BigSub(Record("-5"), Record("-5"), c); }, 0, kNeg},
      {[](TFGInt& c) { BigAdd(Record("3"), Record("-10"), c); }, 7, kNeg},
      {[](TFGInt& c) { BigSub(Record("-3"), Record("4"), c); }, 7, kNeg},
      {[](TFGInt& c) { BigSub(Record("3"), Record("-4"), c); }, 7, kPos},
      {[](TFGInt& c) { BigMul(Record("-3"), Record("0"), c); }, 0, kNeg},
      {[](TFGInt& c) { BigMul(Record("-3"), Record("-4"), c); }, 12, kPos},
      {[](TFGInt& c) { BigSquare(Record("-3"), c); }, 9, kPos},
      {[&](TFGInt& c) { BigMul(Record(base - 1), Record(base - 1), c); }, (base - 1) * (base - 1),
       kPos},
  };
  for (const Case& c : cases) {
    TFGInt result = Record(mpz_class(1) << 400, kNeg);  // a longer old value leaves no trace
    c.run(result);
    EXPECT_TRUE(Holds(result, c.magnitude, c.sign));
  }
  TFGInt square;
  BigSquare(Record(base - 1), square);
  EXPECT_EQ(square.Digits, (std::vector<std::uint32_t>{2, 1, 0x7FFFFFFE}));
}

TEST(ArithmeticCases, MulSmallInPlaceIsExactForEveryK) {
  TFGInt a = Record(mpz_class(0x7FFFFFFF));
  BigMulSmallInPlace(a, 2);
  EXPECT_EQ(a.Digits, (std::vector<std::uint32_t>{2, 0x7FFFFFFE, 1}));
  RandomValues random(31);
  for (const std::uint32_t k : {0u, 1u, 2u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 12345u}) {
    const mpz_class m = random.Magnitude(20);
    TFGInt x = Record(m, kNeg);
    BigMulSmallInPlace(x, k);
    EXPECT_TRUE(Holds(x, m * k, kNeg)) << k;
  }
}

TEST(ArithmeticCases, DivModSmallInPlace) {
  struct Case {
    mpz_class a;
    std::uint32_t k;
    mpz_class q;
    std::uint32_t r;
  };
  const mpz_class base = mpz_class(1) << 31;
  for (const Case& c : {Case{7, 2, 3, 1}, Case{base, 2, base / 2, 0}, Case{5, 8, 0, 5}}) {
    TFGInt a = Record(c.a, kNeg);
    std::uint32_t r = 99;
    BigDivModSmallInPlace(a, c.k, r);
    EXPECT_TRUE(Holds(a, c.q, kNeg));
    EXPECT_EQ(r, c.r);
  }
  RandomValues random(37);
  for (const std::uint32_t k : {1u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    const mpz_class m = random.Magnitude(20);
    TFGInt a = Record(m);
    std::uint32_t r = 0;
    BigDivModSmallInPlace(a, k, r);
    EXPECT_TRUE(Holds(a, m / k, kPos));
    EXPECT_EQ(r, mpz_class(m % k).get_ui());
  }
  TFGInt a = Record("12345");
  std::uint32_t r = 7;
  EXPECT_THROW(BigDivModSmallInPlace(a, 0, r), EDivByZero);
  EXPECT_TRUE(Holds(a, 12345, kPos));
  EXPECT_EQ(r, 7u);
}

TEST(ArithmeticCases, SubAbsInPlace) {
  RandomValues random(41);
  for (int i = 0; i < 200; ++i) {
    mpz_class x = random.Magnitude(30);
    mpz_class y = random.Magnitude(30);
    if (x < y) std::swap(x, y);
    TFGInt a = Record(x, kNeg);
    BigSubAbsInPlace(a, Record(y, kPos));
    ASSERT_TRUE(Holds(a, x - y, kNeg));
  }
  TFGInt a = Record("5");
  EXPECT_THROW(BigSubAbsInPlace(a, Record("-6")), Exception);
  EXPECT_TRUE(Holds(a, 5, kPos));
  BigSubAbsInPlace(a, a);
  EXPECT_TRUE(Holds(a, 0, kPos));
}

TEST(ArithmeticCases, DigitShifts) {
  const mpz_class base = mpz_class(1) << 31;
  TFGInt a = Record("1");
  BigShiftLeftDigit(a);
  EXPECT_EQ(a.Digits, (std::vector<std::uint32_t>{2, 0, 1}));
  BigShiftRightDigit(a);
  EXPECT_TRUE(Holds(a, 1, kPos));
  BigShiftRightDigit(a);
  EXPECT_TRUE(Holds(a, 0, kPos));
  BigShiftLeftDigit(a);  // zero stays a normalised zero
  EXPECT_TRUE(Holds(a, 0, kPos));
  TFGInt b = Record(base, kNeg);
  BigShiftRightDigit(b);
  EXPECT_TRUE(Holds(b, 1, kNeg));
}

// Every operation with a result record that is one of its operands gives what it gives
// with distinct records, and leaves the operands it does not write untouched.
TEST(ArithmeticCases, ResultsMayShareRecordsWithOperands) {
  using Op = std::function<void(std::vector<TFGInt*>&)>;
  struct Named {
    const char* name;
    std::size_t inputs;
    std::size_t outputs;
    Op op;
  };
  const Named ops[] = {
      {"BigAdd", 2, 1, [](auto& v) { BigAdd(*v[0], *v[1], *v[2]); }},
      {"BigSub", 2, 1, [](auto& v) { BigSub(*v[0], *v[1], *v[2]); }},
      {"BigMul", 2, 1, [](auto& v) { BigMul(*v[0], *v[1], *v[2]); }},
      {"BigSquare", 1, 1, [](auto& v) { BigSquare(*v[0], *v[1]); }},
      {"BigCopy", 1, 1, [](auto& v) { BigCopy(*v[0], *v[1]); }},
      {"BigDivMod", 2, 2, [](auto& v) { BigDivMod(*v[0], *v[1], *v[2], *v[3]); }},
      {"BigMod", 2, 1, [](auto& v) { BigMod(*v[0], *v[1], *v[2]); }},
      {"BigAddMod", 3, 1, [](auto& v) { BigAddMod(*v[0], *v[1], *v[2], *v[3]); }},
      {"BigMulMod", 3, 1, [](auto& v) { BigMulMod(*v[0], *v[1], *v[2], *v[3]); }},
  };
  RandomValues random(43);
  for (const Named& named : ops) {
    for (int round = 0; round < 40; ++round) {
      std::vector<TFGInt> values;
      for (std::size_t i = 0; i < named.inputs; ++i) {
        mpz_class m = random.Magnitude(12);
        if (m == 0) m = 3;  // divisors and moduli must not be zero
        values.push_back(Record(m, random.Sign()));
      }
      // The same record as every input at once, when the inputs are equal.
      const bool sameInputs = round % 5 == 0;
      if (sameInputs) {
        for (TFGInt& v : values)
          v = values[0];
      }
      std::vector<TFGInt> expected(named.outputs);
      std::vector<TFGInt*> distinct;
      for (TFGInt& v : values)
        distinct.push_back(&v);
      for (TFGInt& e : expected)
        distinct.push_back(&e);
      named.op(distinct);
      // Output o shares its record with input i; the other outputs stay distinct.
      for (std::size_t o = 0; o < named.outputs; ++o) {
        for (std::size_t i = 0; i < named.inputs; ++i) {
          std::vector<TFGInt> copies = values;
          std::vector<TFGInt> others(named.outputs);
          std::vector<TFGInt*> args;
          for (std::size_t k = 0; k < named.inputs; ++k)
            args.push_back(sameInputs ? &copies[i] : &copies[k]);
          for (std::size_t k = 0; k < named.outputs; ++k)
            args.push_back(k == o ? &copies[i] : &others[k]);
          named.op(args);
          ASSERT_EQ(copies[i].Digits, expected[o].Digits)
              << named.name << " out " << o << " in " << i;
          ASSERT_EQ(copies[i].Sign, expected[o].Sign) << named.name;
          for (std::size_t k = 0; k < named.outputs; ++k) {
            if (k != o) {
              ASSERT_EQ(others[k].Digits, expected[k].Digits) << named.name;
            }
          }
          for (std::size_t k = 0; k < named.inputs; ++k) {
            if (k != i && !sameInputs) {
              ASSERT_EQ(copies[k].Digits, values[k].Digits) << named.name;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace xkit::test
