// The cipher commands' key: which option gives it, and reading it into a wiped buffer.
#include "app/cipher_key.h"

#include <optional>
#include <string_view>

#include "crypto/digests.h"
#include "crypto/wipe.h"

namespace xkit::cli {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes that `hex` spells; `where` names its origin in the messages, which never quote
// the digits themselves.
Secret FromHex(std::string_view hex, const std::string& where) {
  if (hex.size() % 2 != 0) throw UsageError(where + " needs an even number of digits");
  Secret bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) throw UsageError(where + " takes hexadecimal digits only");
    const char byte = static_cast<char>(high * 16 + low);
    bytes.Append(&byte, 1);
  }
  return bytes;
}

// A key file's line, without the blanks around it.
std::string_view Trimmed(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

// The 16-byte pi digest of a pass phrase, the cipher key it stands for.
Secret PassphraseKey(std::string_view phrase) {
  std::uint8_t digest[16];
  PiDigestOfBuffer(digest, sizeof digest, phrase.data(), static_cast<std::int32_t>(phrase.size()));
  Secret key;
  key.Append(reinterpret_cast<const char*>(digest), sizeof digest);
  detail::SecureWipe(digest, sizeof digest);
  return key;
}

Secret NonEmpty(Secret phrase, const std::string& where) {
  if (phrase.Empty()) throw UsageError(where + ": the pass phrase is empty");
  return phrase;
}

}  // namespace

CipherKey::CipherKey(Args& args) {
  static constexpr std::pair<const char*, Source> kOptions[] = {
      {"--passphrase-file", Source::kPassphraseFile},
      {"--passphrase-env", Source::kPassphraseEnv},
      {"--key-hex-file", Source::kKeyHexFile},
      {"--passphrase", Source::kPassphrase},
      {"--key-hex", Source::kKeyHex},
  };
  for (const auto& [name, source] : kOptions) {
    std::optional<std::string> value = args.Option(name);
    if (!value) continue;
    if (source_ != Source::kPrompt)
      throw UsageError("give the key one way only (" + option_ + " and " + name + ")");
    source_ = source;
    option_ = name;
    value_ = std::move(*value);
  }
}

CipherKey::~CipherKey() {
  detail::SecureWipe(value_.data(), value_.size());
}

void CipherKey::Load(bool confirm) {
  // For the options that name where the key is (never for those that hold it).
  const auto where = [this] { return option_ + " " + value_; };
  switch (source_) {
    case Source::kPassphrase:
      key_ = PassphraseKey(value_);
      break;
    case Source::kKeyHex:
      key_ = FromHex(value_, option_);
      break;
    case Source::kPassphraseFile:
      key_ = PassphraseKey(NonEmpty(ReadSecretLine(value_), where()).View());
      break;
    case Source::kPassphraseEnv:
      key_ = PassphraseKey(NonEmpty(ReadSecretEnvironment(value_), where()).View());
      break;
    case Source::kKeyHexFile: {
      const Secret line = ReadSecretLine(value_);
      const std::string_view hex = Trimmed(line.View());
      if (hex.empty()) throw UsageError(where() + ": the key is empty");
      key_ = FromHex(hex, where());
      break;
    }
    case Source::kPrompt: {
      std::optional<Secret> phrase = AskSecret("Pass phrase: ");
      if (!phrase) {
        throw UsageError(
            "no key: give --passphrase-file FILE, --passphrase-env VAR or --key-hex-file FILE, "
            "or run on a terminal to be asked");
      }
      if (phrase->Empty()) throw Failure("empty pass phrase");
      if (confirm) {
        const std::optional<Secret> again = AskSecret("Pass phrase again: ");
        if (!again || !SameSecret(*phrase, *again)) throw Failure("the pass phrases differ");
      }
      key_ = PassphraseKey(phrase->View());
      break;
    }
  }
  detail::SecureWipe(value_.data(), value_.size());
}

}  // namespace xkit::cli
