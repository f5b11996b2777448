// Runs the demo sections in order and sums them up in one line.
#include "app/demo.h"

#include <iostream>
#include <vector>

#include "app/cli.h"

namespace xkit::demo {
namespace {

const std::vector<Section>& Sections() {
  static const std::vector<Section> sections = {
      {"digests: the pi digest and MD5", DemoDigests},
      {"cipher: AES over strings and files", DemoCipher},
      {"big integers", DemoBig},
      {"RSA: a new key, encryption and decryption", DemoRsa},
      {"HTTP fetches", DemoHttp},
  };
  return sections;
}

int RunDemo(cli::Args& args, cli::Io& io) {
  args.Positionals(0, 0);
  int passed = 0;
  int failed = 0;
  for (const Section& section : Sections()) {
    io.out << "== " << section.title << " ==\n";
    bool ok = false;
    try {
      ok = section.run(io.out);
    } catch (const std::exception& error) {
      io.out << "  error: " << error.what() << "\n";
    }
    io.out << (ok ? "  ok" : "  FAILED") << "\n\n";
    (ok ? passed : failed) += 1;
  }
  io.out << "demo: " << passed << " of " << passed + failed << " sections passed\n";
  return failed == 0 ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

extern const cli::Command kDemoCommand = {
    "demo",
    "a short tour of every facility on built-in data",
    "xkit demo",
    "Runs each facility on built-in data, prints what it does and checks the result.\n"
    "Exits 0 when every section passes, 1 otherwise. Needs no network.\n"
    "\n"
    "Example:\n"
    "  xkit demo\n",
    RunDemo,
};

}  // namespace xkit::demo
