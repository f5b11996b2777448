// `xkit md5` and `xkit pidigest`: the digest of each named file (or of standard input), one line
// each in md5sum's layout: the uppercase hexadecimal digest, two spaces, the name.
#include <charconv>
#include <cstdint>
#include <functional>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "crypto/digests.h"

namespace xkit::cli {
namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::int32_t kDefaultPiDigestSize = 16;
constexpr std::int32_t kMaxPiDigestSize = 256;

// Hands the input to absorb(data, length) chunk by chunk, up to its end.
template <typename Absorb>
void ReadAll(Input& input, Absorb absorb) {
  std::vector<char> chunk(kChunkSize);
  std::istream& stream = input.Stream();
  while (stream) {
    stream.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    if (stream.gcount() > 0) absorb(chunk.data(), static_cast<std::int32_t>(stream.gcount()));
  }
  if (stream.bad()) throw Failure(input.Name() + ": read error");
}

// The digest bytes of one input.
using DigestOf = std::function<std::string(Input& input)>;

// One line per input, in order; an input that cannot be opened or read is reported on standard
// error and the others are still done. Exit 1 when any input failed.
int DigestEach(std::string_view command, Args& args, Io& io, const DigestOf& digestOf) {
  std::vector<std::string> names = args.Positionals(0, std::numeric_limits<std::size_t>::max());
  if (names.empty()) names.push_back("-");
  int status = kExitOk;
  for (const std::string& name : names) {
    try {
      Input input(name, io.in);
      const std::string digest = digestOf(input);
      std::string hex;
      BytesToHex(digest.data(), static_cast<std::int32_t>(digest.size()), hex);
      io.out << hex << "  " << name << "\n";
    } catch (const Failure& failure) {
      io.out.flush();
      io.err << "xkit " << command << ": " << failure.what() << "\n";
      status = kExitFailed;
    }
  }
  io.out.flush();
  if (!io.out) throw Failure("cannot write to standard output");
  return status;
}

int RunMd5(Args& args, Io& io) {
  return DigestEach("md5", args, io, [](Input& input) {
    TMd5Accumulator acc;
    Md5Init(acc);
    ReadAll(input, [&acc](const char* data, std::int32_t length) { Md5Update(acc, data, length); });
    TMd5Digest digest;
    Md5Final(acc, digest);
    return std::string(digest.begin(), digest.end());
  });
}

std::int32_t ParseDigestSize(const std::optional<std::string>& text) {
  if (!text) return kDefaultPiDigestSize;
  std::int32_t size = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), size);
  if (error != std::errc() || end != text->data() + text->size() || size < 1 ||
      size > kMaxPiDigestSize) {
    throw UsageError("--size takes a number of bytes from 1 to 256, not '" + *text + "'");
  }
  return size;
}

int RunPiDigest(Args& args, Io& io) {
  const std::int32_t size = ParseDigestSize(args.Option("--size"));
  return DigestEach("pidigest", args, io, [size](Input& input) {
    TPiDigestAccumulator acc;
    PiDigestInit(acc);
    ReadAll(input,
            [&acc](const char* data, std::int32_t length) { PiDigestUpdate(acc, data, length); });
    std::string digest(static_cast<std::size_t>(size), '\0');
    PiDigestFinal(acc, digest.data(), size);
    return digest;
  });
}

}  // namespace

extern const Command kMd5Command = {
    "md5",
    "MD5 digest of files or standard input",
    "xkit md5 [FILE...]",
    "Prints the MD5 digest (RFC 1321) of each FILE as one line: 32 uppercase hexadecimal\n"
    "digits, two spaces and the file name. With no FILE, or where FILE is -, reads standard\n"
    "input. A file that cannot be read is reported on standard error, the others are still\n"
    "digested, and the exit status is 1.\n"
    "\n"
    "Example:\n"
    "  printf abc | xkit md5\n"
    "  900150983CD24FB0D6963F7D28E17F72  -\n",
    RunMd5,
};

extern const Command kPiDigestCommand = {
    "pidigest",
    "pi digest (1 to 256 bytes) of files or standard input",
    "xkit pidigest [--size N] [FILE...]",
    "Prints the pi digest of each FILE as one line: the digest in uppercase hexadecimal, two\n"
    "spaces and the file name. With no FILE, or where FILE is -, reads standard input. A file\n"
    "that cannot be read is reported on standard error, the others are still digested, and\n"
    "the exit status is 1.\n"
    "\n"
    "Options:\n"
    "  --size N   digest length in bytes, 1 to 256 (default 16, the size of a cipher key)\n"
    "\n"
    "Example:\n"
    "  printf abc | xkit pidigest --size 16\n"
    "  2AA17BAA76A4C4CD4B73A5F934B4CC1A  -\n",
    RunPiDigest,
};

}  // namespace xkit::cli
