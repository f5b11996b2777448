// `xkit rsa`: the RSA block operation on a file's bytes, and its verbs: keygen, pubkey,
// encrypt and decrypt, with keys in name=decimal files or PEM (app/rsa_key_file.h).
#include <sys/stat.h>

#include <charconv>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli.h"
#include "app/rsa_key_file.h"
#include "xFGInt/xFGInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::cli {

namespace {

std::optional<std::string> At(const std::vector<std::string>& names, std::size_t i) {
  return i < names.size() ? std::optional(names[i]) : std::nullopt;
}

// The key file named by --key (required).
KeyFile ReadKeyOption(Args& args, Io& io) {
  const std::optional<std::string> path = args.Option("--key");
  if (!path) throw UsageError("--key FILE is required");
  return ReadKeyFile(*path, io.in);
}

void RequirePublic(const KeyFile& file) {
  if (!file.Has(file.key.Modulus)) throw UsageError("key file " + file.path + ": n is missing");
  if (!file.Has(file.key.PublicExponent)) {
    throw UsageError("key file " + file.path + ": e is missing");
  }
}

std::string ReadAll(Input& input) {
  return {std::istreambuf_iterator<char>(input.Stream()), std::istreambuf_iterator<char>()};
}

void Write(Output& output, std::string_view bytes) {
  output.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  output.Commit();
}

// `xkit rsa --key FILE [IN [OUT]]`: the block operation with e, or by the Chinese remainder
// theorem with p, q, dp and dq when the file has them.
int RunBlockOperation(Args& args, Io& io) {
  const KeyFile file = ReadKeyOption(args, io);
  const std::vector<std::string> names = args.Positionals(0, 2);
  const TRsaKey& key = file.key;
  const int crtValues =
      file.Has(key.P) + file.Has(key.Q) + file.Has(key.ExponentModP) + file.Has(key.ExponentModQ);
  if (!file.Has(key.Modulus)) throw UsageError("key file " + file.path + ": n is missing");
  if (crtValues != 0 && crtValues != 4) {
    throw UsageError("key file " + file.path + ": p, q, dp and dq go together");
  }
  if (crtValues == 0 && !file.Has(key.PublicExponent)) {
    throw UsageError("key file " + file.path +
                     ": give either e (direct) or all of p, q, dp, dq (Chinese remainder)");
  }

  Input input(At(names, 0), io.in);
  const std::string text = ReadAll(input);
  std::string result;
  if (crtValues == 4) {
    RsaDecrypt(text, TFGInt{}, key.Modulus, key.ExponentModP, key.ExponentModQ, key.P, key.Q,
               result);
  } else {
    RsaDecrypt(text, key.PublicExponent, key.Modulus, key.Modulus, key.Modulus, key.Modulus,
               key.Modulus, result);
  }
  // Usually a private key's work: the result is private, and a wrong key's garbage never
  // replaces the input.
  Output output(At(names, 1), io.out, OutputOptions{.secret = true, .distinctFrom = &input});
  Write(output, result);
  return kExitOk;
}

// `xkit rsa keygen --bits N [--e E] [--pem] [--force] -o FILE`.
int RunKeygen(Args& args, Io& io) {
  const std::optional<std::string> bitsText = args.Option("--bits");
  const std::optional<std::string> exponentText = args.Option("--e");
  const bool pem = args.Flag("--pem");
  const bool force = args.Flag("--force");
  const std::optional<std::string> path = args.Option("-o");
  args.Positionals(0, 0);
  if (!bitsText) throw UsageError("--bits N is required");
  if (!path) throw UsageError("-o FILE is required ('-o -' writes to standard output)");
  std::size_t bits = 0;
  const auto [end, error] =
      std::from_chars(bitsText->data(), bitsText->data() + bitsText->size(), bits);
  if (error != std::errc() || end != bitsText->data() + bitsText->size() || bits < 1024 ||
      bits > 16384) {
    throw UsageError("--bits takes a modulus size from 1024 to 16384");
  }
  TFGInt exponent;
  BigFromDecimal("65537", exponent);
  if (exponentText) {
    if (exponentText->empty() ||
        exponentText->find_first_not_of("0123456789") != std::string::npos) {
      throw UsageError("--e takes a decimal number");
    }
    BigFromDecimal(*exponentText, exponent);
  }
  struct stat status;
  if (!force && *path != "-" && lstat(path->c_str(), &status) == 0) {
    throw Failure(*path + " exists: give --force to replace it");
  }

  TRsaKey key;
  RsaGenerateKey(bits, exponent, key);
  const Secret text = pem ? KeyAsPem(key, true) : KeyAsText(key, true);
  // Readable by its owner alone, whatever it replaces, and never over a file that appeared
  // meanwhile unless --force.
  Output output(path, io.out,
                OutputOptions{.secret = true, .newFileOnly = !force, .ownerOnly = true});
  Write(output, text.View());
  return kExitOk;
}

// `xkit rsa pubkey --key FILE [--pem] [-o FILE]`.
int RunPubkey(Args& args, Io& io) {
  const bool pem = args.Flag("--pem");
  const std::optional<std::string> path = args.Option("-o");
  const KeyFile file = ReadKeyOption(args, io);
  args.Positionals(0, 0);
  RequirePublic(file);
  const Secret text = pem ? KeyAsPem(file.key, false) : KeyAsText(file.key, false);
  Output output(path, io.out);
  Write(output, text.View());
  return kExitOk;
}

// `xkit rsa encrypt --key FILE [IN [OUT]]`, with a public or a private key's n and e.
int RunEncrypt(Args& args, Io& io) {
  const KeyFile file = ReadKeyOption(args, io);
  const std::vector<std::string> names = args.Positionals(0, 2);
  RequirePublic(file);
  Input input(At(names, 0), io.in);
  const std::string text = ReadAll(input);
  std::string cipher;
  RsaEncrypt(text, file.key.PublicExponent, file.key.Modulus, cipher);
  Output output(At(names, 1), io.out);
  Write(output, cipher);
  return kExitOk;
}

// `xkit rsa decrypt --key FILE [IN [OUT]]`: the Chinese-remainder path when the key has p
// and q, else d.
int RunDecrypt(Args& args, Io& io) {
  const KeyFile file = ReadKeyOption(args, io);
  const std::vector<std::string> names = args.Positionals(0, 2);
  if (!file.Has(file.key.Modulus)) throw UsageError("key file " + file.path + ": n is missing");
  if (!file.IsPrivate()) {
    throw Failure("key file " + file.path +
                  " holds a public key only: decrypting needs the private key");
  }
  TRsaPreparedKey prepared;
  RsaPrepareKey(file.key, prepared);
  Input input(At(names, 0), io.in);
  const std::string text = ReadAll(input);
  std::string plain;
  RsaDecryptPrepared(text, prepared, plain);
  // The payload is private, and a wrong key's garbage never replaces the input.
  Output output(At(names, 1), io.out, OutputOptions{.secret = true, .distinctFrom = &input});
  Write(output, plain);
  return kExitOk;
}

int RunRsa(Args& args, Io& io) {
  static constexpr std::string_view kVerbs[] = {"keygen", "pubkey", "encrypt", "decrypt"};
  const std::optional<std::string> verb = args.Verb(kVerbs);
  if (!verb) return RunBlockOperation(args, io);
  if (*verb == "keygen") return RunKeygen(args, io);
  if (*verb == "pubkey") return RunPubkey(args, io);
  if (*verb == "encrypt") return RunEncrypt(args, io);
  return RunDecrypt(args, io);
}

}  // namespace

extern const Command kRsaCommand = {
    "rsa",
    "RSA keys, encryption and decryption, and the RSA block operation",
    "xkit rsa keygen --bits N [--e E] [--pem] [--force] -o FILE\n"
    "       xkit rsa pubkey --key FILE [--pem] [-o FILE]\n"
    "       xkit rsa encrypt --key FILE [IN [OUT]]\n"
    "       xkit rsa decrypt --key FILE [IN [OUT]]\n"
    "       xkit rsa --key FILE [IN [OUT]]",
    "keygen   makes a private key with a modulus of N bits (1024 to 16384) and the public\n"
    "         exponent E (odd, above 2^16 and below 2^256; 65537 by default), and writes it\n"
    "         to FILE as name=decimal lines, or as PKCS#8 PEM with --pem. FILE is created\n"
    "         readable by its owner only (mode 0600), and an existing FILE is left alone\n"
    "         unless --force. '-o -' writes to standard output.\n"
    "pubkey   writes the public half of the key in FILE (n and e), as name=decimal lines or\n"
    "         as SubjectPublicKeyInfo PEM with --pem, to FILE (standard output by default).\n"
    "encrypt  writes the bytes of IN in the RSA block layout that decrypt reads: \"111\" and\n"
    "         the bytes, cut into blocks one bit narrower than the modulus, each raised to e.\n"
    "         A public or a private key will do.\n"
    "decrypt  gives back what encrypt wrote, with the private key: by the Chinese remainder\n"
    "         theorem when the key has p and q, else with d. A public key is an error\n"
    "         (status 1). A new OUT is created readable by its owner only, and OUT may not be\n"
    "         IN itself (status 2).\n"
    "--key FILE without a verb runs the block operation itself on the bytes of IN: blocks\n"
    "         as wide as the modulus, aligned at the end of IN, each raised to e (or by the\n"
    "         Chinese remainder theorem with p, q, dp and dq when FILE has them); the result\n"
    "         is the bytes after the \"111\" start marker in the joined blocks.\n"
    "IN and OUT default to standard input and output ('-' names them too); a file named\n"
    "like a verb is written ./keygen and so on.\n"
    "\n"
    "Key files: PEM as OpenSSL writes it (PKCS#1 or PKCS#8 private keys, SubjectPublicKeyInfo\n"
    "or PKCS#1 public keys, unencrypted), or one name=decimal line per value ('#' starts a\n"
    "comment line): n the modulus, e the public exponent, d the private exponent, p and q\n"
    "the primes, dp and dq the private exponent modulo p - 1 and q - 1, qinv q^-1 mod p.\n"
    "Each command reads what it needs. A malformed key file exits with status 2; a key\n"
    "outside the domain (even modulus, primes that are not coprime, values that disagree)\n"
    "with status 1.\n"
    "\n"
    "Example:\n"
    "  xkit rsa keygen --bits 2048 -o key.txt\n"
    "  xkit rsa pubkey --key key.txt -o public.txt\n"
    "  xkit rsa encrypt --key public.txt notes.txt notes.rsa\n"
    "  xkit rsa decrypt --key key.txt notes.rsa notes.txt\n"
    "  xkit rsa keygen --bits 3072 --pem -o key.pem     (openssl pkey -in key.pem reads it)\n"
    "  printf 'n=3233\\ne=2753\\n' > textbook.txt\n"
    "  printf '\\000\\003' | xkit rsa --key textbook.txt     prints A\n",
    RunRsa,
};

}  // namespace xkit::cli
