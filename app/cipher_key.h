// The key of the cipher commands (encrypt, decrypt, encrypt-string, decrypt-string): from a
// file, the environment or the terminal, so that it need not show in the process list or the
// shell's history; or, where that does not matter, from the command line itself.
#pragma once

#include <cstdint>
#include <string>

#include "app/cli.h"
#include "app/secrets.h"

namespace xkit::cli {

class CipherKey {
public:
  // Takes the key options out of `args` (more than one is a usage error); reads nothing yet,
  // so that the rest of the command line is checked before anyone is asked for a key.
  explicit CipherKey(Args& args);
  ~CipherKey();
  CipherKey(const CipherKey&) = delete;
  CipherKey& operator=(const CipherKey&) = delete;

  // Reads the key from where the option says or, with none, asks for a pass phrase on the
  // terminal: twice with `confirm` (when enciphering, where a typo would lose the data).
  // With no option and no terminal: a usage error.
  void Load(bool confirm);

  const void* Data() const { return key_.Data(); }
  std::int32_t Size() const { return static_cast<std::int32_t>(key_.Size()); }

private:
  enum class Source { kPrompt, kPassphrase, kKeyHex, kPassphraseFile, kPassphraseEnv, kKeyHexFile };

  Source source_ = Source::kPrompt;
  std::string option_;  // the option's name, for messages
  std::string value_;   // its value: the key itself for --passphrase and --key-hex
  Secret key_;          // the cipher key bytes
};

}  // namespace xkit::cli
