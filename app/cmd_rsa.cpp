// `xkit rsa`: the RSA block operation on a file's bytes, with the key read from a file of
// name=decimal lines.
#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/cli.h"
#include "xFGInt/xFGInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::cli {

namespace {

// A key file as given: the decimal text of each value, by name.
using KeyText = std::map<std::string, std::string>;

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads name=decimal lines (blank lines and lines starting with '#' are skipped). Any other
// line, an unknown or repeated name, or a value that is not a plain decimal number is a
// usage error that names the file and the line.
KeyText ReadKeyText(const std::string& path, std::istream& in) {
  static const char* const kNames[] = {"n", "e", "p", "q", "dp", "dq"};
  KeyText key;
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "key file " + path + " line " + std::to_string(number) + ": ";
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) throw UsageError(where + "expected name=decimal");
    const std::string name = Trimmed(line.substr(0, equals));
    const std::string value = Trimmed(line.substr(equals + 1));
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
      throw UsageError(where + "unknown name '" + name + "' (expected n, e, p, q, dp or dq)");
    }
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
      throw UsageError(where + "the value of " + name + " is not a decimal number");
    }
    if (!key.emplace(name, value).second) throw UsageError(where + name + " is given twice");
  }
  return key;
}

TFGInt Value(const KeyText& key, const std::string& name) {
  TFGInt value;
  BigFromDecimal(key.at(name), value);
  return value;
}

int RunRsa(Args& args, Io& io) {
  const std::optional<std::string> keyPath = args.Option("--key");
  if (!keyPath) throw UsageError("--key FILE is required");
  const std::vector<std::string> files = args.Positionals(0, 2);

  Input keyFile(*keyPath, io.in);
  const KeyText key = ReadKeyText(*keyPath, keyFile.Stream());
  const auto has = [&](const char* name) { return key.count(name) != 0; };
  const bool crt = has("p") || has("q") || has("dp") || has("dq");
  if (!has("n")) throw UsageError("key file " + *keyPath + ": n is missing");
  if (has("e") == crt) {
    throw UsageError("key file " + *keyPath +
                     ": give either e (direct) or all of p, q, dp, dq (Chinese remainder)");
  }
  if (crt && !(has("p") && has("q") && has("dp") && has("dq"))) {
    throw UsageError("key file " + *keyPath + ": p, q, dp and dq go together");
  }

  Input input(files.empty() ? std::nullopt : std::optional(files[0]), io.in);
  const std::string text((std::istreambuf_iterator<char>(input.Stream())),
                         std::istreambuf_iterator<char>());
  std::string result;
  if (crt) {
    RsaDecrypt(text, TFGInt{}, Value(key, "n"), Value(key, "dp"), Value(key, "dq"), Value(key, "p"),
               Value(key, "q"), result);
  } else {
    const TFGInt unused = Value(key, "n");
    RsaDecrypt(text, Value(key, "e"), Value(key, "n"), unused, unused, unused, unused, result);
  }
  // Usually a private key's work: the result is private, and a wrong key's garbage never
  // replaces the input.
  Output output(files.size() < 2 ? std::nullopt : std::optional(files[1]), io.out,
                OutputOptions{.secret = true, .distinctFrom = &input});
  output.Stream().write(result.data(), static_cast<std::streamsize>(result.size()));
  output.Commit();
  return kExitOk;
}

}  // namespace

extern const Command kRsaCommand = {
    "rsa",
    "the RSA block operation on a file's bytes",
    "xkit rsa --key FILE [IN [OUT]]",
    "Runs the RSA block operation on the bytes of IN (standard input when absent or '-')\n"
    "and writes the payload after the \"111\" start marker to OUT (standard output when\n"
    "absent or '-'). The input is cut into blocks as wide as the modulus, aligned at its\n"
    "end; each block is raised to the exponent modulo n. A new OUT is created readable by\n"
    "its owner only (mode 0600), and OUT may not be IN itself (exit 2).\n"
    "\n"
    "FILE holds one name=decimal line per value ('#' starts a comment line):\n"
    "  n                    the modulus (odd, at least 3)\n"
    "  e                    an exponent, for the direct path (public or private), or\n"
    "  p, q, dp, dq         the primes and the private exponent modulo p - 1 and q - 1,\n"
    "                       for the Chinese-remainder path\n"
    "A malformed key file exits with status 2; a key outside the domain (even modulus,\n"
    "primes that are not coprime) with status 1.\n"
    "\n"
    "Example:\n"
    "  printf 'n=3233\\ne=2753\\n' > key.txt\n"
    "  printf '\\000\\003' | xkit rsa --key key.txt     prints A\n"
    "(the textbook key p = 61, q = 53: 3 is 1857^17 mod 3233, and 1857 is 111 followed by\n"
    "the bits of 'A')\n",
    RunRsa,
};

}  // namespace xkit::cli
