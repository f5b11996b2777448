// The xkit host program: dispatches to the subcommand named by the first argument.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/interrupt.h"
#include "platform/exceptions.h"

namespace xkit {
namespace demo {
extern const cli::Command kDemoCommand;
}

namespace cli {
extern const Command kBigCommand;
extern const Command kMd5Command;
extern const Command kPiDigestCommand;
extern const Command kEncryptCommand;
extern const Command kDecryptCommand;
extern const Command kBase64Command;
extern const Command kEncryptStringCommand;
extern const Command kDecryptStringCommand;
extern const Command kRsaCommand;
extern const Command kFetchCommand;

std::span<const Command* const> Commands() {
  // The tour's order: the demo, digests, cipher and Base64, big integers, RSA, HTTP.
  static const Command* const commands[] = {
      &demo::kDemoCommand, &kMd5Command,    &kPiDigestCommand,      &kEncryptCommand,
      &kDecryptCommand,    &kBase64Command, &kEncryptStringCommand, &kDecryptStringCommand,
      &kBigCommand,        &kRsaCommand,    &kFetchCommand,
  };
  return commands;
}

}  // namespace cli
}  // namespace xkit

namespace {

using xkit::cli::Command;

constexpr const char* kUsage = "usage: xkit COMMAND [ARGS...]   (xkit --help lists the commands)";

void PrintOverview(std::ostream& out) {
  out << "xkit: big integers, RSA, digests, AES and HTTP fetches from the command line\n\n"
      << kUsage << "\n\ncommands:\n";
  for (const Command* command : xkit::cli::Commands()) {
    std::string name(command->name);
    name.resize(16, ' ');
    out << "  " << name << command->summary << "\n";
  }
  out << "\n'xkit COMMAND --help' (or 'xkit help COMMAND') explains one command, with an "
         "example.\nExit status: 0 done, 1 the operation failed, 2 a wrong command line.\n";
}

const Command* Find(const std::string& name) {
  for (const Command* command : xkit::cli::Commands()) {
    if (command->name == name) return command;
  }
  return nullptr;
}

int UnknownCommand(const std::string& name) {
  std::cerr << "xkit: unknown command '" << name << "'\n" << kUsage << "\n";
  return xkit::cli::kExitUsage;
}

void PrintHelp(const Command& command) {
  std::cout << "usage: " << command.usage << "\n\n" << command.help;
}

}  // namespace

int main(int argc, char** argv) {
  xkit::cli::InstallInterruptHandler();
  std::ios::sync_with_stdio(false);
  std::vector<std::string> tokens(argv + 1, argv + argc);
  if (tokens.empty()) {
    std::cerr << kUsage << "\n";
    return xkit::cli::kExitUsage;
  }
  const std::string name = tokens.front();
  tokens.erase(tokens.begin());
  if (name == "--help" || name == "-h" || (name == "help" && tokens.empty())) {
    PrintOverview(std::cout);
    return xkit::cli::kExitOk;
  }
  if (name == "--version") {
    std::cout << "xkit " XKIT_VERSION "\n";
    return xkit::cli::kExitOk;
  }
  if (name == "help") {
    const Command* command = tokens.size() == 1 ? Find(tokens.front()) : nullptr;
    if (command == nullptr) return UnknownCommand(tokens.front());
    PrintHelp(*command);
    return xkit::cli::kExitOk;
  }
  const Command* command = Find(name);
  if (command == nullptr) return UnknownCommand(name);
  xkit::cli::Args args(tokens);
  if (args.Flag("--help") || args.Flag("-h")) {
    PrintHelp(*command);
    return xkit::cli::kExitOk;
  }
  xkit::cli::Io io{std::cin, std::cout, std::cerr};
  try {
    const int status = command->run(args, io);
    std::cout.flush();
    return status;
  } catch (const xkit::cli::UsageError& error) {
    std::cout.flush();
    std::cerr << "xkit " << name << ": " << error.what() << "\nusage: " << command->usage << "\n";
    return xkit::cli::kExitUsage;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "xkit " << name << ": " << error.what() << "\n";
    return xkit::cli::kExitFailed;
  }
}
