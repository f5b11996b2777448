// What SIGINT, SIGTERM and SIGHUP leave behind: nothing. The handler removes the temporary
// files of outputs not yet in place, gives a terminal its echo back if a prompt had turned it
// off, and exits with 128 + the signal's number.
#pragma once

#include <termios.h>

#include <string>

namespace xkit::cli {

// Installs the handler for the three signals, except a signal the program was started with
// ignored (nohup, the background jobs of a shell script): that one stays ignored. Called once
// by main, before any thread is started.
void InstallInterruptHandler();

// While it lives, `path` is removed if the program is interrupted. The path is copied into
// storage the handler reads without allocating or locking; a command holds a few at most
// (throws Failure beyond that, or for a path longer than the system allows).
class RemoveOnInterrupt {
public:
  explicit RemoveOnInterrupt(const std::string& path);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

private:
  int slot_;
};

// While it lives, the terminal `fd` gets `settings` back if the program is interrupted.
class RestoreOnInterrupt {
public:
  RestoreOnInterrupt(int fd, const termios& settings);
  ~RestoreOnInterrupt();
  RestoreOnInterrupt(const RestoreOnInterrupt&) = delete;
  RestoreOnInterrupt& operator=(const RestoreOnInterrupt&) = delete;
};

}  // namespace xkit::cli
