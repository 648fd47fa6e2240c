// Running a project from the shell: the progress display, Ctrl-C as stop then abort, the
// overwrite question, the summary.
#include "cli_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "foundation/errors.h"

namespace rf::cli {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;

// After the first Ctrl-C the run goes on this long before it stops, so that a second one, however
// the frames fall, still aborts instead.
constexpr auto kAbortGrace = std::chrono::milliseconds(500);

void OnInterrupt(int) { g_interrupts = g_interrupts + 1; }

// Asks on the terminal; without one the answer is no, with a word on what to do instead.
Answer AskOnTerminal(const std::string& text) {
  if (!::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "reelforge-cli: %s No terminal to answer on: not overwritten (-y overwrites)\n", text.c_str());
    return Answer::No;
  }
  std::fprintf(stderr, "reelforge-cli: %s [y/N] ", text.c_str());
  std::string reply;
  std::getline(std::cin, reply);
  return reply == "y" || reply == "Y" || reply == "yes" ? Answer::Yes : Answer::No;
}

}  // namespace

CliProgress::CliProgress(const ProgressMode& mode) : mode_(mode), bar_(!mode.quiet && !mode.machine && ::isatty(2)) {
  g_interrupts = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

CliProgress::~CliProgress() { sigaction(SIGINT, &previous_, nullptr); }

void CliProgress::Open(const std::string& caption, bool, bool) {
  std::fill(done_, done_ + 2, 0);
  std::fill(total_, total_ + 2, 0);
  if (mode_.quiet) return;
  if (mode_.machine)
    std::fprintf(stderr, "step=%s\n", caption.c_str());
  else if (bar_)
    std::fprintf(stderr, "%s\n", caption.c_str());
}

void CliProgress::Close() {
  if (drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}

void CliProgress::SetLine(int32_t, const std::string&, int32_t) {}

void CliProgress::SetCounts(int32_t line, int32_t done, int32_t total) {
  if (line < 0 || line > 1) return;
  done_[line] = done;
  total_[line] = total;
}

void CliProgress::SetTimes(const std::string& remaining, const std::string& elapsed) {
  // Sound counts in thousands of samples, so that pictures and sound weigh alike.
  const int64_t total = int64_t(total_[0]) + total_[1] / 1000;
  const int64_t done = int64_t(done_[0]) + done_[1] / 1000;
  const int percent = total > 0 ? int(std::min<int64_t>(100, done * 100 / total)) : 0;
  if (mode_.quiet) return;
  if (mode_.machine) {
    std::fprintf(stderr, "frames=%d/%d samples=%d/%d percent=%d elapsed=%s remaining=%s\n", done_[0], total_[0],
                 done_[1], total_[1], percent, elapsed.c_str(), remaining.c_str());
  } else if (bar_) {
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%  frame %d of %d  elapsed %s  remaining %s ", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), percent, done_[0], total_[0], elapsed.c_str(),
                 remaining.c_str());
    drawn_ = true;
  }
}

void CliProgress::SetTitle(const std::string&) {}
void CliProgress::SetStatus(const std::string&) {}

int32_t CliProgress::State() {
  if (g_interrupts >= 2) return PW_ABORT;
  if (g_interrupts == 0) return PW_PROCESSING;
  const auto now = std::chrono::steady_clock::now();
  if (firstInterrupt_ == std::chrono::steady_clock::time_point{}) firstInterrupt_ = now;
  return now - firstInterrupt_ >= kAbortGrace ? PW_STOP : PW_PROCESSING;
}

int CliProgress::Interrupts() const { return g_interrupts; }

void SetOverwriteAnswer(Overwrite mode) {
  SetQuestionHook([mode](Buttons, const std::string&, const std::string& text) {
    if (mode == Overwrite::Yes) return Answer::Yes;
    if (mode == Overwrite::Ask) return AskOnTerminal(text);
    std::fprintf(stderr, "reelforge-cli: %s Not overwritten (-n)\n", text.c_str());
    return Answer::No;
  });
}

int RunProject(Project& project, const ProgressMode& mode, const RunSettings& settings) {
  if (!CheckOutput(project, settings)) return kFailed;
  CliProgress view(mode);
  QWorkingData work;
  InitWorkingData(work, project);
  const int32_t result = ProcessingExec(project, work, view, settings);
  const int interrupts = view.Interrupts();
  // The failure has been told through the message hook.
  if (result == 2) return kFailed;
  if (result == 1 && interrupts > 1)
    return Fail(kInterrupted, "aborted; nothing of this run was kept, earlier files are as they were");
  if (result == 1 && interrupts == 0) return Fail(kFailed, "nothing was written");
  const QConReport& report = work.Report;
  if (!report.VideoName.empty()) std::printf("video: %s (%d frames)\n", report.VideoName.c_str(), report.VideoFrames);
  if (!report.AudioName.empty()) std::printf("audio: %s (%d samples)\n", report.AudioName.c_str(), report.AudioSamples);
  if (interrupts > 0) return Fail(kInterrupted, "stopped; what was written is kept");
  return kOk;
}

}  // namespace rf::cli
