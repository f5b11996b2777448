// `xkit encrypt`, `decrypt`, `base64`, `encrypt-string` and `decrypt-string`: the stream
// cipher in xkit's stream layout, Base64 of streams, and the string operation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/progress.h"
#include "crypto/digests.h"
#include "crypto/streams.h"
#include "crypto/wipe.h"

namespace xkit::cli {
namespace {

// The key from --key-hex or --passphrase (exactly one of them), wiped when done with.
class CipherKey {
public:
  explicit CipherKey(Args& args) {
    const std::optional<std::string> hex = args.Option("--key-hex");
    const std::optional<std::string> phrase = args.Option("--passphrase");
    if (hex.has_value() == phrase.has_value())
      throw UsageError("give the key with either --key-hex HEX or --passphrase TEXT");
    if (hex) {
      bytes_ = FromHex(*hex);
    } else {
      // A pass phrase keys the cipher through its 16-byte pi digest.
      bytes_.assign(16, '\0');
      PiDigestOfString(bytes_.data(), 16, *phrase);
    }
  }
  ~CipherKey() { detail::SecureWipe(bytes_.data(), bytes_.size()); }
  CipherKey(const CipherKey&) = delete;
  CipherKey& operator=(const CipherKey&) = delete;

  const void* Data() const { return bytes_.data(); }
  std::int32_t Size() const { return static_cast<std::int32_t>(bytes_.size()); }

private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  static std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw UsageError("--key-hex needs an even number of digits");
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
      if (high < 0 || low < 0) throw UsageError("--key-hex takes hexadecimal digits only");
      bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
  }

  std::string bytes_;
};

std::optional<std::string> At(const std::vector<std::string>& names, std::size_t i) {
  return i < names.size() ? std::optional(names[i]) : std::nullopt;
}

// Long stream work shows a bar on standard error when it is a terminal.
ProgressBar StreamProgress(Io& io, const char* command, const Input& input, const Output& output) {
  return ProgressBar(io.err, std::string(command) + " " + input.Name(),
                     CommandProgressMode(output.IsStandardOutput()));
}

int RunCrypt(Args& args, Io& io, bool encrypt) {
  const CipherKey key(args);
  const std::vector<std::string> names = args.Positionals(0, 2);
  Input input(At(names, 0), io.in);
  Output output(At(names, 1), io.out);
  ProgressBar bar = StreamProgress(io, encrypt ? "encrypt" : "decrypt", input, output);
  {
    const CipherProgress progress(bar, input.Stream());
    AesCryptStream(input.Stream(), output.Stream(), key.Data(), key.Size(), encrypt);
  }
  output.Commit();
  bar.Finish();
  return kExitOk;
}

int RunEncrypt(Args& args, Io& io) {
  return RunCrypt(args, io, true);
}

int RunDecrypt(Args& args, Io& io) {
  return RunCrypt(args, io, false);
}

int RunBase64(Args& args, Io& io) {
  const bool decode = args.Flag("--decode") || args.Flag("-d");
  const std::vector<std::string> names = args.Positionals(0, 2);
  Input input(At(names, 0), io.in);
  Output output(At(names, 1), io.out);
  ProgressBar bar = StreamProgress(io, "base64", input, output);
  std::optional<ProgressInput> counted;
  if (bar.Active()) counted.emplace(input.Stream(), bar);
  std::istream& source = counted ? *counted : input.Stream();
  decode ? Base64DecodeStream(source, output.Stream())
         : Base64EncodeStream(source, output.Stream());
  output.Commit();
  bar.Finish();
  return kExitOk;
}

int RunCryptString(Args& args, Io& io, bool encrypt) {
  const CipherKey key(args);
  const std::string text = args.Positionals(1, 1).front();
  std::string result;
  AesCryptString(text, key.Data(), key.Size(), encrypt, result);
  io.out << result << "\n";
  detail::SecureWipe(result.data(), result.size());
  io.out.flush();
  if (!io.out) throw Failure("cannot write to standard output");
  return kExitOk;
}

int RunEncryptString(Args& args, Io& io) {
  return RunCryptString(args, io, true);
}

int RunDecryptString(Args& args, Io& io) {
  return RunCryptString(args, io, false);
}

// What the stream commands share, for their help texts.
#define STREAM_FILES                                                                  \
  "IN and OUT default to standard input and output (or -). OUT is written under a\n"  \
  "temporary name and renamed when complete. On a terminal, standard error shows a\n" \
  "progress bar (unless OUT is that terminal).\n"

// The key options of every cipher command, for their help texts.
#define KEY_OPTIONS                                                                           \
  "Options:\n"                                                                                \
  "  --key-hex HEX       the key bytes in hexadecimal; any length (16, 24 and 32 bytes are\n" \
  "                      standard AES; others map onto 16 to 32 bytes)\n"                     \
  "  --passphrase TEXT   key with the 16-byte pi digest of TEXT\n"

}  // namespace

extern const Command kEncryptCommand = {
    "encrypt",
    "encipher a file with AES in the xkit stream layout",
    "xkit encrypt (--key-hex HEX | --passphrase TEXT) [IN [OUT]]",
    "Enciphers IN into OUT with AES, every 16-byte block on its own (ECB), in the xkit stream\n"
    "layout: the full blocks, then a final block holding the remaining bytes and their\n"
    "count, so OUT is 1 to 16 bytes longer than IN, a multiple of 16.\n"
    "\n" STREAM_FILES "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit encrypt --passphrase 'open sesame' notes.txt notes.aes\n"
    "  xkit decrypt --passphrase 'open sesame' notes.aes notes.txt\n",
    RunEncrypt,
};

extern const Command kDecryptCommand = {
    "decrypt",
    "decipher a file written by xkit encrypt",
    "xkit decrypt (--key-hex HEX | --passphrase TEXT) [IN [OUT]]",
    "Deciphers IN, in the xkit stream layout, into OUT. A wrong key or damaged input is\n"
    "reported as \"Invalid file format\" (exit 1) where the layout shows it, and OUT is then\n"
    "not created.\n"
    "\n" STREAM_FILES "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit decrypt --key-hex 000102030405060708090A0B0C0D0E0F secret.aes secret.txt\n",
    RunDecrypt,
};

extern const Command kBase64Command = {
    "base64",
    "Base64 text of a file, or the bytes of a Base64 text",
    "xkit base64 [--decode] [IN [OUT]]",
    "Writes the Base64 text (RFC 4648 alphabet, \"=\" padding, one unbroken line, no final\n"
    "line break) of IN to OUT, or with --decode the bytes that the Base64 text IN codes. A\n"
    "character outside \"+\" to \"z\" (a line break, a space) is an error.\n"
    "\n" STREAM_FILES
    "\n"
    "Options:\n"
    "  --decode, -d   decode instead of encoding\n"
    "\n"
    "Example:\n"
    "  printf foobar | xkit base64\n"
    "  Zm9vYmFy\n",
    RunBase64,
};

extern const Command kEncryptStringCommand = {
    "encrypt-string",
    "encipher a text into Base64",
    "xkit encrypt-string (--key-hex HEX | --passphrase TEXT) TEXT",
    "Enciphers TEXT with AES in the xkit stream layout and prints the Base64 text of the\n"
    "result on one line; decrypt-string with the same key gives TEXT back.\n"
    "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit encrypt-string --passphrase 'open sesame' 'meet at noon'\n",
    RunEncryptString,
};

extern const Command kDecryptStringCommand = {
    "decrypt-string",
    "decipher a Base64 text made by encrypt-string",
    "xkit decrypt-string (--key-hex HEX | --passphrase TEXT) TEXT",
    "Deciphers the Base64 text TEXT (as encrypt-string prints it) and prints the text it\n"
    "holds, followed by a line break. A wrong key or damaged text gives \"Invalid file\n"
    "format\" or \"Invalid Base64 Character\" (exit 1).\n"
    "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit decrypt-string --passphrase 'open sesame' \"$(xkit encrypt-string --passphrase 'open "
    "sesame' hi)\"\n"
    "  hi\n",
    RunDecryptString,
};

#undef KEY_OPTIONS
#undef STREAM_FILES

}  // namespace xkit::cli
