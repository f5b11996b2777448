// `xkit encrypt`, `decrypt`, `base64`, `encrypt-string` and `decrypt-string`: the stream
// cipher in xkit's stream layout, Base64 of streams, and the string operation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cipher_key.h"
#include "app/cli.h"
#include "app/progress.h"
#include "crypto/streams.h"
#include "crypto/wipe.h"

namespace xkit::cli {
namespace {

std::optional<std::string> At(const std::vector<std::string>& names, std::size_t i) {
  return i < names.size() ? std::optional(names[i]) : std::nullopt;
}

// Long stream work shows a bar on standard error when it is a terminal.
ProgressBar StreamProgress(Io& io, const char* command, const Input& input, const Output& output) {
  return ProgressBar(io.err, std::string(command) + " " + input.Name(),
                     CommandProgressMode(output.IsStandardOutput()));
}

int RunCrypt(Args& args, Io& io, bool encrypt) {
  CipherKey key(args);
  const std::vector<std::string> names = args.Positionals(0, 2);
  Input input(At(names, 0), io.in);
  key.Load(encrypt);
  // Deciphered data is secret, and a wrong key can pass for the right one: a new file is
  // private, and the input is never the file replaced.
  const OutputOptions secret{.secret = true, .distinctFrom = &input};
  Output output(At(names, 1), io.out, encrypt ? OutputOptions{} : secret);
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
  CipherKey key(args);
  std::optional<std::string> path = args.Option("-o");
  if (std::optional<std::string> named = args.Option("--output")) path = std::move(named);
  const std::string text = args.Positionals(1, 1).front();
  key.Load(encrypt);
  std::string result;
  const struct WipeResult {
    std::string& text;
    ~WipeResult() { detail::SecureWipe(text.data(), text.size()); }
  } wipeResult{result};
  AesCryptString(text, key.Data(), key.Size(), encrypt, result);
  Output output(path, io.out, OutputOptions{.secret = !encrypt});
  output.Stream() << result << "\n";
  output.Commit();
  return kExitOk;
}

int RunEncryptString(Args& args, Io& io) {
  return RunCryptString(args, io, true);
}

int RunDecryptString(Args& args, Io& io) {
  return RunCryptString(args, io, false);
}

// What the stream commands share, for their help texts.
#define STREAM_FILES                                                                        \
  "IN and OUT default to standard input and output (or -). A file OUT is written under a\n" \
  "temporary name and renamed when complete, keeping the mode of a file it replaces; a\n"   \
  "symbolic link is followed; a device, a FIFO or a socket is written directly. On a\n"     \
  "terminal, standard error shows a progress bar (unless OUT is that terminal).\n"

// The key options of every cipher command, for their help texts.
#define KEY_OPTIONS                                                                           \
  "KEY is one of these; with none, the pass phrase is asked on the terminal, without echo:\n" \
  "  --passphrase-file FILE  the pass phrase is the first line of FILE, without its line\n"   \
  "                          end (a descriptor works too: --passphrase-file /dev/fd/3)\n"     \
  "  --passphrase-env VAR    the pass phrase is the value of environment variable VAR\n"      \
  "  --key-hex-file FILE     the key bytes in hexadecimal, on the first line of FILE; any\n"  \
  "                          length (16, 24 and 32 bytes are standard AES, others map\n"      \
  "                          onto 16 to 32 bytes)\n"                                          \
  "  --passphrase TEXT       the pass phrase, or\n"                                           \
  "  --key-hex HEX           the key bytes, on the command line itself: avoid these two\n"    \
  "                          where it matters, since every user of the machine can read a\n"  \
  "                          running command's line (ps) and the shell keeps it in its\n"     \
  "                          history\n"                                                       \
  "A pass phrase keys the cipher through its 16-byte pi digest.\n"

// Deciphered output is private, for the help texts.
#define SECRET_OUTPUT "A new OUT is created readable by its owner only (mode 0600).\n"

}  // namespace

extern const Command kEncryptCommand = {
    "encrypt",
    "encipher a file with AES in the xkit stream layout",
    "xkit encrypt [KEY] [IN [OUT]]",
    "Enciphers IN into OUT with AES, every 16-byte block on its own (ECB), in the xkit stream\n"
    "layout: the full blocks, then a final block holding the remaining bytes and their\n"
    "count, so OUT is 1 to 16 bytes longer than IN, a multiple of 16. A pass phrase asked on\n"
    "the terminal is asked twice, and two different answers stop the command.\n"
    "\n" STREAM_FILES "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit encrypt notes.txt notes.aes                  (asks for a pass phrase)\n"
    "  xkit decrypt --passphrase-file ~/notes.key notes.aes notes.txt\n",
    RunEncrypt,
};

extern const Command kDecryptCommand = {
    "decrypt",
    "decipher a file written by xkit encrypt",
    "xkit decrypt [KEY] [IN [OUT]]",
    "Deciphers IN, in the xkit stream layout, into OUT. A wrong key or damaged input is\n"
    "reported as \"Invalid file format\" (exit 1) where the layout shows it, and OUT is then\n"
    "not created. The layout does not always show it (about one wrong key in sixteen gives\n"
    "garbage), so OUT may not be IN itself, under any name (exit 2).\n"
    "\n" STREAM_FILES SECRET_OUTPUT "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit decrypt --key-hex-file secret.key secret.aes secret.txt\n",
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

// What the string commands share, for their help texts.
#define STRING_OUTPUT                                                                        \
  "Options:\n"                                                                               \
  "  -o, --output OUT   write the line to OUT (written as encrypt writes its OUT) instead\n" \
  "                     of standard output\n"

extern const Command kEncryptStringCommand = {
    "encrypt-string",
    "encipher a text into Base64",
    "xkit encrypt-string [KEY] [-o OUT] TEXT",
    "Enciphers TEXT with AES in the xkit stream layout and prints the Base64 text of the\n"
    "result on one line; decrypt-string with the same key gives TEXT back. A pass phrase\n"
    "asked on the terminal is asked twice.\n"
    "\n" STRING_OUTPUT "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit encrypt-string --passphrase-env NOTES_KEY 'meet at noon'\n",
    RunEncryptString,
};

extern const Command kDecryptStringCommand = {
    "decrypt-string",
    "decipher a Base64 text made by encrypt-string",
    "xkit decrypt-string [KEY] [-o OUT] TEXT",
    "Deciphers the Base64 text TEXT (as encrypt-string prints it) and prints the text it\n"
    "holds, followed by a line break. A wrong key or damaged text gives \"Invalid file\n"
    "format\" or \"Invalid Base64 Character\" (exit 1).\n"
    "\n" STRING_OUTPUT SECRET_OUTPUT "\n" KEY_OPTIONS
    "\n"
    "Example:\n"
    "  xkit decrypt-string --passphrase-env NOTES_KEY \"$(xkit encrypt-string "
    "--passphrase-env NOTES_KEY hi)\"\n"
    "  hi\n",
    RunDecryptString,
};

#undef STRING_OUTPUT
#undef SECRET_OUTPUT
#undef KEY_OPTIONS
#undef STREAM_FILES

}  // namespace xkit::cli
