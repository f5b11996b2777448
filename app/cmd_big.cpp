// `xkit big`: the big-integer conversions and arithmetic on decimal arguments.
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "crypto/digests.h"
#include "xFGInt/BigInt.h"
#include "xFGInt/xFGInt.h"

namespace xkit::cli {

namespace {

// Uppercase, as the system's own hexadecimal text (BytesToHex) is everywhere.
std::string Hex(const std::string& bytes) {
  std::string text;
  BytesToHex(bytes.data(), static_cast<std::int32_t>(bytes.size()), text);
  return text;
}

// The positional arguments as values; a malformed decimal raises EConvertError.
std::vector<BigInt> Values(const std::vector<std::string>& texts) {
  std::vector<BigInt> values;
  for (const std::string& text : texts)
    values.emplace_back(text);
  return values;
}

template <void (*kOperation)(const TFGInt&, const TFGInt&, const TFGInt&, TFGInt&)>
BigInt Modular(const std::vector<BigInt>& v) {
  TFGInt r;
  kOperation(v[0].Record(), v[1].Record(), v[2].Record(), r);
  return BigInt(std::move(r));
}

// Each operation prints its result lines.
struct Operation {
  std::size_t arguments;
  void (*run)(const std::vector<BigInt>& v, std::ostream& out);
};

const std::map<std::string, Operation>& Operations() {
  using V = const std::vector<BigInt>&;
  static const std::map<std::string, Operation> operations = {
      {"bits",
       {1,
        [](V v, std::ostream& out) {
          std::string bits;
          BigToBits(v[0].Record(), bits);
          out << bits << "\n";
        }}},
      {"bytes-hex", {1, [](V v, std::ostream& out) { out << Hex(v[0].ToBytes()) << "\n"; }}},
      {"add", {2, [](V v, std::ostream& out) { out << v[0] + v[1] << "\n"; }}},
      {"sub", {2, [](V v, std::ostream& out) { out << v[0] - v[1] << "\n"; }}},
      {"mul", {2, [](V v, std::ostream& out) { out << v[0] * v[1] << "\n"; }}},
      {"divmod",
       {2,
        [](V v, std::ostream& out) {
          const BigDivResult qr = DivMod(v[0], v[1]);
          out << qr.quotient << "\n" << qr.remainder << "\n";
        }}},
      {"mod", {2, [](V v, std::ostream& out) { out << v[0] % v[1] << "\n"; }}},
      {"addmod", {3, [](V v, std::ostream& out) { out << Modular<BigAddMod>(v) << "\n"; }}},
      {"mulmod", {3, [](V v, std::ostream& out) { out << Modular<BigMulMod>(v) << "\n"; }}},
      {"powmod", {3, [](V v, std::ostream& out) { out << PowMod(v[0], v[1], v[2]) << "\n"; }}},
      {"gcd", {2, [](V v, std::ostream& out) { out << Gcd(v[0], v[1]) << "\n"; }}},
      {"invmod",
       {2,
        [](V v, std::ostream& out) {
          const std::optional<BigInt> r = InvMod(v[0], v[1]);
          if (!r) throw Failure(v[0].ToDecimal() + " has no inverse modulo " + v[1].ToDecimal());
          out << *r << "\n";
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
    io.out << Hex(bytes) << "\n" << BigInt::FromBytes(bytes) << "\n";
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
    "big-integer arithmetic and conversions on decimal arguments",
    "xkit big OPERATION ARGS...",
    "Operations (decimal arguments, decimal results unless noted):\n"
    "  bits N               the magnitude of N in base 2\n"
    "  bytes-hex N          the magnitude of N as big-endian bytes, in uppercase hex\n"
    "  from-base64 TEXT     the bytes of an xkit base-64 text in uppercase hex, then\n"
    "                       their value\n"
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
