// Running a job from the shell: the progress display, Ctrl-C as stop then abort, the summary.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "cli.h"
#include "engine/conform.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"

namespace rf::cli {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;

// After the first Ctrl-C the run goes on this long before it stops, so that a second one, however
// the frames fall, still aborts instead.
constexpr auto kAbortGrace = std::chrono::milliseconds(500);

void OnInterrupt(int) { g_interrupts = g_interrupts + 1; }

std::string Clock(double seconds) { return SecToStr(SEC_HOURS | SEC_NO_MILLIS, seconds); }

class ProgressDisplay {
 public:
  explicit ProgressDisplay(const ProgressMode& mode) : mode_(mode), bar_(!mode.quiet && ::isatty(2)) {}

  void Update(const BatchProgress& p, bool final = false) {
    const auto now = std::chrono::steady_clock::now();
    if (!final && now - last_ < std::chrono::milliseconds(500)) return;
    last_ = now;
    const int64_t total = int64_t(p.framesTotal) + p.samplesTotal / 1000;
    const int64_t done = int64_t(p.framesDone) + p.samplesDone / 1000;
    const int percent = total > 0 ? int(std::min<int64_t>(100, done * 100 / total)) : 0;
    const std::string remaining = p.framesDone + p.samplesDone > 0 ? Clock(p.remaining) : "--:--:--";
    if (mode_.machine && !mode_.quiet) {
      std::fprintf(stderr, "frames=%d/%d samples=%d/%d percent=%d elapsed=%.1f remaining=%.0f\n", p.framesDone,
                   p.framesTotal, p.samplesDone, p.samplesTotal, percent, p.elapsed, p.remaining);
    } else if (bar_) {
      constexpr int kWidth = 30;
      const int filled = percent * kWidth / 100;
      std::fprintf(stderr, "\r[%s%s] %3d%%  frame %d of %d  elapsed %s  remaining %s ",
                   std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), percent, p.framesDone,
                   p.framesTotal, Clock(p.elapsed).c_str(), remaining.c_str());
      drawn_ = true;
    }
  }

  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
  }

 private:
  ProgressMode mode_;
  bool bar_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int RunJob(const BatchJob& job, const ProgressMode& mode) {
  g_interrupts = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  sigaction(SIGINT, &action, &previous);

  ProgressDisplay display(mode);
  BatchProgress lastSeen;
  QConReport report;
  std::chrono::steady_clock::time_point firstInterrupt{};
  const bool ok = BatchRender(
      job,
      [&](const BatchProgress& p) {
        lastSeen = p;
        display.Update(p);
        if (g_interrupts >= 2) {
          ConSetStopState(csAbort);
        } else if (g_interrupts == 1) {
          const auto now = std::chrono::steady_clock::now();
          if (firstInterrupt == std::chrono::steady_clock::time_point{}) firstInterrupt = now;
          if (now - firstInterrupt >= kAbortGrace) ConSetStopState(csStop);
        }
      },
      report);
  if (ok) display.Update(lastSeen, true);
  display.Finish();
  sigaction(SIGINT, &previous, nullptr);

  // A failure is told even when Ctrl-C came too; only an abort the user asked for is an interrupt.
  if (!ok && !ErrNone()) return Fail(kFailed, TakeError());
  if (!ok && g_interrupts > 0) return Fail(kInterrupted, "aborted; nothing of this run was kept, earlier files are as they were");
  if (!ok) return Fail(kFailed, "aborted without a reason; nothing of this run was kept, earlier files are as they were");
  if (!report.VideoName.empty()) std::printf("video: %s (%d frames)\n", report.VideoName.c_str(), report.VideoFrames);
  if (!report.AudioName.empty()) std::printf("audio: %s (%d samples)\n", report.AudioName.c_str(), report.AudioSamples);
  if (g_interrupts == 1) return Fail(kInterrupted, "stopped; what was written is kept");
  return kOk;
}

}  // namespace rf::cli
