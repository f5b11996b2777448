// Malformed records: every public operation refuses each kind of malformed operand, in every
// operand position, with Exception; a result record that is another operand keeps its value.
#include <functional>

#include "tests/xFGInt/support.h"
#include "xFGInt/BigInt.h"

namespace xkit::test {
namespace {

// A record from its raw cells (count cell first).
TFGInt Cells(std::vector<std::uint32_t> cells, TBigSign sign = kPos) {
  TFGInt a;
  a.Sign = sign;
  a.Digits = std::move(cells);
  return a;
}

struct Malformed {
  const char* kind;
  TFGInt record;
};

std::vector<Malformed> MalformedRecords() {
  std::vector<std::uint32_t> longCells(101, 0x5A5A5A5A & 0x7FFFFFFF);
  longCells[0] = 100;
  std::vector<std::uint32_t> middle = longCells, top = longCells;
  middle[50] |= 0x80000000u;
  top[100] |= 0x80000000u;
  return {{"empty", TFGInt{}},
          {"count above the array", Cells({3, 5})},
          {"count below the array", Cells({1, 5, 7})},
          {"count of zero", Cells({0, 5})},
          {"bit 31 in the only digit", Cells({1, 0x80000001u})},
          {"the digit 2^31", Cells({1, 0x80000000u})},
          {"bit 31 in the low digit", Cells({2, 0x80000000u, 1})},
          {"bit 31 in a middle digit", Cells(middle)},
          {"bit 31 in the top digit", Cells(top)},
          {"zero top digit", Cells({2, 5, 0})},
          {"zero top digits", Cells({3, 0, 0, 0}, kNeg)}};
}

// One public operation with the malformed record in one operand position.
struct Operation {
  const char* name;
  std::function<void(const TFGInt& bad)> run;
};

void PrintTo(const Operation& op, std::ostream* out) {
  *out << op.name;
}

const TFGInt kSeven = Record("7");
const TFGInt kBig = Record("-123456789012345678901234567890123");

std::vector<Operation> Operations() {
  using F = std::function<void(const TFGInt&)>;
  const auto binary = [](void (*op)(const TFGInt&, const TFGInt&, TFGInt&), bool first) -> F {
    return [=](const TFGInt& bad) {
      TFGInt r;
      first ? op(bad, kSeven, r) : op(kBig, bad, r);
    };
  };
  const auto modular = [](void (*op)(const TFGInt&, const TFGInt&, const TFGInt&, TFGInt&),
                          int position) -> F {
    return [=](const TFGInt& bad) {
      TFGInt r;
      op(position == 0 ? bad : kBig, position == 1 ? bad : kSeven, position == 2 ? bad : kSeven, r);
    };
  };
  const auto inPlace = [](std::function<void(TFGInt&)> op) -> F {
    return [=](const TFGInt& bad) {
      TFGInt a = bad;
      op(a);
    };
  };
  return {
      {"BigCopy",
       [](const TFGInt& bad) {
         TFGInt r;
         BigCopy(bad, r);
       }},
      {"BigCopy onto itself", inPlace([](TFGInt& a) { BigCopy(a, a); })},
      {"BigCompareAbs a", [](const TFGInt& bad) { BigCompareAbs(bad, kSeven); }},
      {"BigCompareAbs b", [](const TFGInt& bad) { BigCompareAbs(kSeven, bad); }},
      {"BigToDecimal",
       [](const TFGInt& bad) {
         std::string text;
         BigToDecimal(bad, text);
       }},
      {"BigAdd a", binary(BigAdd, true)},
      {"BigAdd b", binary(BigAdd, false)},
      {"BigSub a", binary(BigSub, true)},
      {"BigSub b", binary(BigSub, false)},
      {"BigMul a", binary(BigMul, true)},
      {"BigMul b", binary(BigMul, false)},
      {"BigSquare",
       [](const TFGInt& bad) {
         TFGInt r;
         BigSquare(bad, r);
       }},
      {"BigMulSmallInPlace", inPlace([](TFGInt& a) { BigMulSmallInPlace(a, 3); })},
      {"BigDivModSmallInPlace", inPlace([](TFGInt& a) {
         std::uint32_t r;
         BigDivModSmallInPlace(a, 3, r);
       })},
      {"BigSubAbsInPlace a", inPlace([](TFGInt& a) { BigSubAbsInPlace(a, Record("0")); })},
      {"BigSubAbsInPlace b",
       [](const TFGInt& bad) {
         TFGInt a = kBig;
         BigSubAbsInPlace(a, bad);
       }},
      {"BigShiftLeftDigit", inPlace(BigShiftLeftDigit)},
      {"BigShiftRightDigit", inPlace(BigShiftRightDigit)},
      {"BigDivMod a",
       [](const TFGInt& bad) {
         TFGInt q, r;
         BigDivMod(bad, kSeven, q, r);
       }},
      {"BigDivMod b",
       [](const TFGInt& bad) {
         TFGInt q, r;
         BigDivMod(kBig, bad, q, r);
       }},
      {"BigMod a", binary(BigMod, true)},
      {"BigMod b", binary(BigMod, false)},
      {"BigAddMod a", modular(BigAddMod, 0)},
      {"BigAddMod b", modular(BigAddMod, 1)},
      {"BigAddMod m", modular(BigAddMod, 2)},
      {"BigMulMod a", modular(BigMulMod, 0)},
      {"BigMulMod b", modular(BigMulMod, 1)},
      {"BigMulMod m", modular(BigMulMod, 2)},
      {"BigPowMod base", modular(BigPowMod, 0)},
      {"BigPowMod e", modular(BigPowMod, 1)},
      {"BigPowMod m", modular(BigPowMod, 2)},
      {"BigGcd a", binary(BigGcd, true)},
      {"BigGcd b", binary(BigGcd, false)},
      {"BigInvMod a", binary(BigInvMod, true)},
      {"BigInvMod m", binary(BigInvMod, false)},
      {"BigTruncateDigits",
       [](const TFGInt& bad) {
         TFGInt r;
         BigTruncateDigits(bad, r, 1, 0x7FFFFFFF);
       }},
      {"BigMulTruncated a",
       [](const TFGInt& bad) {
         TFGInt r;
         BigMulTruncated(bad, kSeven, r, 2, 0x7FFFFFFF);
       }},
      {"BigMulTruncated b",
       [](const TFGInt& bad) {
         TFGInt r;
         BigMulTruncated(kSeven, bad, r, 2, 0x7FFFFFFF);
       }},
      {"BigMontgomeryReduce T",
       [](const TFGInt& bad) {
         TFGInt r;
         BigMontgomeryReduce(bad, kSeven, Record("9"), r, 1, 15);
       }},
      {"BigMontgomeryReduce N",
       [](const TFGInt& bad) {
         TFGInt r;
         BigMontgomeryReduce(kSeven, bad, Record("9"), r, 1, 15);
       }},
      {"BigMontgomeryReduce NPrime",
       [](const TFGInt& bad) {
         TFGInt r;
         BigMontgomeryReduce(kSeven, kSeven, bad, r, 1, 15);
       }},
      {"BigRandomBelow",
       [](const TFGInt& bad) {
         TFGInt r;
         BigRandomBelow(bad, r);
       }},
      {"BigIsProbablePrime", [](const TFGInt& bad) { BigIsProbablePrime(bad); }},
      {"BigNextPrime",
       [](const TFGInt& bad) {
         TFGInt r;
         BigNextPrime(bad, r);
       }},
      {"BigInt from a copy", [](const TFGInt& bad) { BigInt value(bad); }},
      {"BigInt from the record", inPlace([](TFGInt& a) { BigInt value(std::move(a)); })},
  };
}

class MalformedOperand : public ::testing::TestWithParam<Operation> {};

// The record check's own message, so that no later failure of the operation stands in for it.
void ExpectRefused(const std::function<void()>& run, const char* kind) {
  try {
    run();
    ADD_FAILURE() << kind << ": no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("TFGInt: ", 0), 0u) << kind << ": " << e.what();
  }
}

TEST_P(MalformedOperand, EveryKindRaises) {
  for (const Malformed& m : MalformedRecords()) {
    ExpectRefused([&] { GetParam().run(m.record); }, m.kind);
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, MalformedOperand, ::testing::ValuesIn(Operations()),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == ' ') c = '_';
                           return name;
                         });

TEST(Malformed, BigToBitsRefusesAllButTheEmptyRecord) {
  std::string bits;
  BigToBits(TFGInt{}, bits);  // "0", the one result defined for the empty record
  EXPECT_EQ(bits, "0");
  for (const Malformed& m : MalformedRecords()) {
    if (!m.record.Digits.empty()) {
      EXPECT_THROW(BigToBits(m.record, bits), Exception) << m.kind;
    }
  }
}

// The digit 2^31 + 1 once read as 32 bits by the sum and masked by the product.
TEST(Malformed, TheDigitsOfTheReviewAreRefused) {
  const TFGInt bad = Cells({1, 0x80000001u});
  TFGInt r;
  EXPECT_THROW(BigAdd(bad, Record("1"), r), Exception);
  EXPECT_THROW(BigMul(bad, Record("1"), r), Exception);
  std::string text;
  EXPECT_THROW(BigToDecimal(bad, text), Exception);
}

TEST(Malformed, AResultThatIsAnotherOperandKeepsItsValue) {
  const TFGInt bad = Cells({2, 0x80000000u, 1});
  for (void (*op)(const TFGInt&, const TFGInt&, TFGInt&) : {BigAdd, BigSub, BigMul}) {
    TFGInt x = kBig;
    EXPECT_THROW(op(x, bad, x), Exception);
    EXPECT_TRUE(Holds(x, Magnitude(kBig), kNeg));
    EXPECT_THROW(op(bad, x, x), Exception);
    EXPECT_TRUE(Holds(x, Magnitude(kBig), kNeg));
  }
  TFGInt a = Record("99");
  EXPECT_THROW(BigSubAbsInPlace(a, bad), Exception);
  EXPECT_TRUE(Holds(a, 99, kPos));
}

// A result record of its own is never left half written: as it was, or empty.
TEST(Malformed, AResultOfItsOwnIsLeftAsItWasOrEmpty) {
  const std::pair<const char*, void (*)(const TFGInt&, const TFGInt&, TFGInt&)> kOperations[] = {
      {"BigAdd", BigAdd}, {"BigSub", BigSub}, {"BigMul", BigMul},
      {"BigMod", BigMod}, {"BigGcd", BigGcd}, {"BigInvMod", BigInvMod}};
  for (const auto& [name, op] : kOperations) {
    for (const Malformed& m : MalformedRecords()) {
      for (const bool first : {true, false}) {
        TFGInt r = kSeven;
        EXPECT_THROW(first ? op(m.record, kBig, r) : op(kBig, m.record, r), Exception);
        EXPECT_TRUE(r.Digits.empty() || Holds(r, 7, kPos))
            << name << ", " << m.kind << (first ? " first" : " second");
      }
    }
  }
}

// The check sits where the digits are read: a digit with bit 31 at any place of any length,
// on each digit-kernel path, through the repacking (the product), the digit runs (sums) and
// the pass that guards an operand a sum writes over.
class MalformedDigit : public EachDigitPath {};

TEST_P(MalformedDigit, RefusedAtEveryPlace) {
  for (std::uint32_t n = 1; n <= 140; ++n) {
    for (std::uint32_t i = 1; i <= n; ++i) {
      std::vector<std::uint32_t> cells(n + 1, 1);
      cells[0] = n;
      cells[i] |= 0x80000000u;
      const TFGInt bad = Cells(std::move(cells));
      TFGInt r;
      ASSERT_THROW(BigMul(bad, kSeven, r), Exception) << n << " digits, digit " << i;
      ASSERT_THROW(BigAdd(kSeven, bad, r), Exception) << n << " digits, digit " << i;
      ASSERT_THROW(BigSub(bad, kSeven, r), Exception) << n << " digits, digit " << i;
      TFGInt x = kSeven;  // checked in one pass before x is written
      ASSERT_THROW(BigAdd(x, bad, x), Exception) << n << " digits, digit " << i;
      ASSERT_TRUE(Holds(x, 7, kPos));
    }
  }
}

XKIT_INSTANTIATE_DIGIT_PATHS(MalformedDigit);

}  // namespace
}  // namespace xkit::test
