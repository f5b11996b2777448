// The progress bar of the xkit host program: one line that long stream work (encrypt,
// decrypt, base64, fetch, the demo) redraws in place on a terminal, fed by the library's own
// progress reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "crypto/streams.h"

namespace xkit::cli {

// A bar that draws on a terminal, or only its last state once (for output read later, such
// as the demo's in a file), or nothing.
enum class ProgressMode { kOff, kLive, kFinalLine };

// The mode for a command's bar on standard error: live when standard error is a terminal,
// unless the command's output goes to standard output on that terminal too (the bar would
// tear the output apart); off otherwise.
ProgressMode CommandProgressMode(bool outputIsStandardOutput);
// The mode for a bar drawn into `out`, the demo's stream: live when it is a terminal, the
// final line otherwise.
ProgressMode ReportProgressMode(const std::ostream& out);

// "label  [#####-----]  42%  1.2 MiB of 2.9 MiB  310.5 MiB/s", or without the bar and the
// share when the total is unknown. Live, the line is redrawn at most ten times a second and
// at the end. The destructor ends a drawn line, so a message that follows an interrupted bar
// starts on a line of its own.
class ProgressBar {
public:
  ProgressBar(std::ostream& out, std::string label, ProgressMode mode);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool Active() const { return mode_ != ProgressMode::kOff; }
  // `done` bytes of `total` (total below 0: unknown).
  void Update(std::int64_t done, std::int64_t total);
  // Draws the last state and ends the line.
  void Finish();

private:
  using Clock = std::chrono::steady_clock;
  void Draw();

  std::ostream& out_;
  std::string label_;
  ProgressMode mode_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastDraw_;
  std::int64_t done_ = 0;
  std::int64_t total_ = -1;
  bool updated_ = false;
  bool lineOpen_ = false;  // a live line is on screen without its line break
  bool finished_ = false;
};

// Feeds a bar from CipherProgressHook while it lives (one at a time in a process): the
// stream cipher reports each position it reaches in `input`, whose size is the bar's total
// (unknown for a pipe). The hook's positions are the low 32 bits of the real ones; since they
// only grow, every wrap adds 2^32 back. The reporting interval is raised to 64 KiB meanwhile
// so that the hook costs nothing next to the cipher; both process settings are restored
// afterwards.
class CipherProgress {
public:
  CipherProgress(ProgressBar& bar, std::istream& input);
  ~CipherProgress();
  CipherProgress(const CipherProgress&) = delete;
  CipherProgress& operator=(const CipherProgress&) = delete;

private:
  static void Hook(std::int32_t position, std::int32_t size);

  ProgressBar& bar_;
  std::int64_t total_ = -1;
  std::uint64_t position_ = 0;
  bool active_;
  TCipherProgressProc savedHook_;
  std::int32_t savedInterval_;
};

// An input stream that reads through another one and reports the bytes taken so far to a
// bar: the progress of work that has no hook of its own (Base64 coding). The bar's total is
// what remains of `source` (unknown for a pipe).
class ProgressInput : public std::istream {
public:
  ProgressInput(std::istream& source, ProgressBar& bar);

private:
  class Buffer : public std::streambuf {
  public:
    Buffer(std::streambuf* source, ProgressBar& bar, std::int64_t total);

  protected:
    int_type underflow() override;

  private:
    std::streambuf* source_;
    ProgressBar& bar_;
    std::int64_t total_;
    std::int64_t taken_ = 0;
    std::vector<char> chunk_;
  };

  Buffer buffer_;
};

}  // namespace xkit::cli
