// `xkit big`: the TFGInt conversions and arithmetic on decimal arguments.
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "xFGInt/xFGInt.h"

namespace xkit::cli {

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

// The positional arguments as records; a malformed decimal raises EConvertError.
std::vector<TFGInt> Values(const std::vector<std::string>& texts) {
  std::vector<TFGInt> values(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i)
    BigFromDecimal(texts[i], values[i]);
  return values;
}

std::string Decimal(const TFGInt& a) {
  std::string text;
  BigToDecimal(a, text);
  return text;
}

template <void (*kOperation)(const TFGInt&, const TFGInt&, TFGInt&)>
void PrintBinary(const std::vector<TFGInt>& v, std::ostream& out) {
  TFGInt r;
  kOperation(v[0], v[1], r);
  out << Decimal(r) << "\n";
}

template <void (*kOperation)(const TFGInt&, const TFGInt&, const TFGInt&, TFGInt&)>
void PrintModular(const std::vector<TFGInt>& v, std::ostream& out) {
  TFGInt r;
  kOperation(v[0], v[1], v[2], r);
  out << Decimal(r) << "\n";
}

struct Operation {
  std::size_t arguments;
  void (*run)(const std::vector<TFGInt>& v, std::ostream& out);
};

const std::map<std::string, Operation>& Operations() {
  static const std::map<std::string, Operation> operations = {
      {"bits",
       {1,
        [](const auto& v, std::ostream& out) {
          std::string bits;
          BigToBits(v[0], bits);
          out << bits << "\n";
        }}},
      {"bytes-hex",
       {1,
        [](const auto& v, std::ostream& out) {
          std::string bits, bytes;
          BigToBits(v[0], bits);
          BitsToBytes(bits, bytes);
          out << Hex(bytes) << "\n";
        }}},
      {"add", {2, PrintBinary<BigAdd>}},
      {"sub", {2, PrintBinary<BigSub>}},
      {"mul", {2, PrintBinary<BigMul>}},
      {"divmod",
       {2,
        [](const auto& v, std::ostream& out) {
          TFGInt q, r;
          BigDivMod(v[0], v[1], q, r);
          out << Decimal(q) << "\n" << Decimal(r) << "\n";
        }}},
      {"mod", {2, PrintBinary<BigMod>}},
      {"addmod", {3, PrintModular<BigAddMod>}},
      {"mulmod", {3, PrintModular<BigMulMod>}},
      {"powmod", {3, PrintModular<BigPowMod>}},
      {"gcd",
       {2,
        [](const auto& v, std::ostream& out) {
          TFGInt g;
          BigGcd(v[0], v[1], g);
          BigAbs(g);  // the record's flag follows its Euclidean recursion; print the gcd
          out << Decimal(g) << "\n";
        }}},
      {"invmod",
       {2,
        [](const auto& v, std::ostream& out) {
          TFGInt r;  // stays empty when there is no inverse
          BigInvMod(v[0], v[1], r);
          if (r.Digits.empty()) {
            throw Failure(Decimal(v[0]) + " has no inverse modulo " + Decimal(v[1]));
          }
          out << Decimal(r) << "\n";
        }}},
  };
  return operations;
}

int RunBig(Args& args, Io& io) {
  std::vector<std::string> words = args.Positionals(1, 4);
  const std::string name = words.front();
  words.erase(words.begin());
  if (name == "from-base64") {
    if (words.size() != 1) throw UsageError("from-base64 takes one TEXT");
    std::string bytes;
    Base64ToBytes(words[0], bytes);
    TFGInt value;
    BigFromBytes(bytes, value);
    io.out << Hex(bytes) << "\n" << Decimal(value) << "\n";
    return kExitOk;
  }
  const auto found = Operations().find(name);
  if (found == Operations().end()) throw UsageError("unknown operation '" + name + "'");
  if (words.size() != found->second.arguments) {
    throw UsageError(name + " takes " + std::to_string(found->second.arguments) +
                     " decimal argument(s)");
  }
  found->second.run(Values(words), io.out);
  return kExitOk;
}

}  // namespace

extern const Command kBigCommand = {
    "big",
    "big-integer conversions, arithmetic and modular arithmetic on decimal arguments",
    "xkit big OPERATION ARGS...",
    "Operations (decimal arguments, decimal results unless noted):\n"
    "  bits N               the magnitude of N in base 2\n"
    "  bytes-hex N          the magnitude of N as big-endian bytes, in hex\n"
    "  from-base64 TEXT     the bytes of an xkit base-64 text in hex, then their value\n"
    "  add A B | sub A B | mul A B\n"
    "  divmod A B           quotient and remainder (0 <= r < |B|), on two lines\n"
    "  mod A B              A mod |B|\n"
    "  addmod A B M | mulmod A B M\n"
    "  powmod B E M         B^|E| mod |M| (0 when B is 0 mod M, even for E = 0)\n"
    "  gcd A B              the greatest common divisor of |A| and |B|\n"
    "  invmod A M           the R in 0..|M| - 1 with A R = 1 (mod M); exit status 1 when\n"
    "                       there is none\n"
    "A negative argument is written with its '-'. A malformed decimal or a zero divisor\n"
    "fails with exit status 1.\n"
    "\n"
    "Example:\n"
    "  xkit big divmod -7 2        prints -4 and 1\n"
    "  xkit big powmod 4 13 497    prints 445\n",
    RunBig,
};

}  // namespace xkit::cli
