// The progress bar and the two feeds that drive it: the stream cipher's hook and a reading
// stream for work without a hook.
#include "app/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "crypto/streams.h"

namespace xkit::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr std::int32_t kCipherInterval = 64 * 1024;  // bytes between hook calls
constexpr std::size_t kReadChunk = 64 * 1024;

// "12.3 MiB"
std::string Size(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

bool IsTerminal(const std::ostream& out) {
  if (&out == &std::cout) return isatty(STDOUT_FILENO) == 1;
  if (&out == &std::cerr) return isatty(STDERR_FILENO) == 1;
  return false;
}

// Where a stream stands and where it ends; end -1 when it cannot seek (a pipe). The stream is
// left where it stood.
struct Extent {
  std::int64_t position = 0;
  std::int64_t end = -1;
  std::int64_t Remaining() const { return end < 0 ? -1 : end - position; }
};

Extent Measure(std::istream& in) {
  const std::streampos start = in.tellg();
  if (start == std::streampos(-1)) return {};
  in.seekg(0, std::ios::end);
  const std::streampos end = in.tellg();
  in.clear();
  in.seekg(start);
  if (end == std::streampos(-1) || !in) {
    in.clear();
    return {};
  }
  return {static_cast<std::int64_t>(start), static_cast<std::int64_t>(end)};
}

// The bar that the cipher hook feeds; the hook is a plain function, so it finds its bar here.
CipherProgress* activeCipherProgress = nullptr;

}  // namespace

ProgressMode CommandProgressMode(bool outputIsStandardOutput) {
  if (isatty(STDERR_FILENO) != 1) return ProgressMode::kOff;
  if (outputIsStandardOutput && isatty(STDOUT_FILENO) == 1) return ProgressMode::kOff;
  return ProgressMode::kLive;
}

ProgressMode ReportProgressMode(const std::ostream& out) {
  return IsTerminal(out) ? ProgressMode::kLive : ProgressMode::kFinalLine;
}

ProgressBar::ProgressBar(std::ostream& out, std::string label, ProgressMode mode)
    : out_(out), label_(std::move(label)), mode_(mode) {}

ProgressBar::~ProgressBar() {
  if (lineOpen_) out_ << "\n" << std::flush;
}

void ProgressBar::Update(std::int64_t done, std::int64_t total) {
  if (mode_ == ProgressMode::kOff) return;
  done_ = done;
  total_ = total;
  updated_ = true;
  if (mode_ != ProgressMode::kLive) return;
  const Clock::time_point now = Clock::now();
  if (lineOpen_ && now - lastDraw_ < kRedrawPeriod) return;
  lastDraw_ = now;
  Draw();
}

void ProgressBar::Finish() {
  if (mode_ == ProgressMode::kOff || finished_) return;
  finished_ = true;
  if (!updated_) return;
  Draw();
  out_ << "\n" << std::flush;
  lineOpen_ = false;
}

void ProgressBar::Draw() {
  const bool live = mode_ == ProgressMode::kLive;
  std::string line = live ? "\r" : "";
  line.append(label_).append("  ");
  if (total_ >= 0) {
    // An empty input is complete from the start.
    const std::int64_t whole = std::max<std::int64_t>(total_, 1);
    const std::int64_t shown = total_ == 0 ? 1 : std::min(done_, total_);
    const int filled = static_cast<int>(shown * kBarWidth / whole);
    char share[16];
    std::snprintf(share, sizeof share, "] %3d%%  ", static_cast<int>(shown * 100 / whole));
    line.append("[").append(filled, '#').append(kBarWidth - filled, '-').append(share);
    line.append(Size(static_cast<double>(done_))).append(" of ");
    line.append(Size(static_cast<double>(total_)));
  } else {
    line.append(Size(static_cast<double>(done_)));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  if (seconds > 0.001)
    line.append("  ").append(Size(static_cast<double>(done_) / seconds)).append("/s");
  if (live) line.append("\x1b[K");  // clears what a longer earlier line left
  out_ << line << std::flush;
  lineOpen_ = live;
}

CipherProgress::CipherProgress(ProgressBar& bar, std::istream& input)
    : bar_(bar),
      active_(bar.Active() && activeCipherProgress == nullptr),
      savedHook_(CipherProgressHook.load()),
      savedInterval_(CipherProgressInterval.load()) {
  if (!active_) return;
  total_ = Measure(input).end;  // the hook reports positions in the input, not counts
  activeCipherProgress = this;
  CipherProgressInterval = kCipherInterval;
  CipherProgressHook = &CipherProgress::Hook;
}

CipherProgress::~CipherProgress() {
  if (!active_) return;
  CipherProgressHook = savedHook_;
  CipherProgressInterval = savedInterval_;
  activeCipherProgress = nullptr;
}

void CipherProgress::Hook(std::int32_t position, std::int32_t) {
  CipherProgress* self = activeCipherProgress;
  if (self == nullptr) return;
  const std::uint32_t low = static_cast<std::uint32_t>(position);
  std::uint64_t full = (self->position_ & ~std::uint64_t{0xFFFFFFFF}) | low;
  if (full < self->position_) full += std::uint64_t{1} << 32;
  self->position_ = full;
  self->bar_.Update(static_cast<std::int64_t>(full), self->total_);
}

ProgressInput::ProgressInput(std::istream& source, ProgressBar& bar)
    : std::istream(nullptr), buffer_(source.rdbuf(), bar, Measure(source).Remaining()) {
  rdbuf(&buffer_);
}

ProgressInput::Buffer::Buffer(std::streambuf* source, ProgressBar& bar, std::int64_t total)
    : source_(source), bar_(bar), total_(total), chunk_(kReadChunk) {}

ProgressInput::Buffer::int_type ProgressInput::Buffer::underflow() {
  const std::streamsize got =
      source_->sgetn(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
  if (got <= 0) return traits_type::eof();
  taken_ += got;
  bar_.Update(taken_, total_);
  setg(chunk_.data(), chunk_.data(), chunk_.data() + got);
  return traits_type::to_int_type(chunk_[0]);
}

}  // namespace xkit::cli
