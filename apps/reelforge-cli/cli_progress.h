// The command line's progress window: a bar or key=value lines on standard error, Ctrl-C as
// stop and then abort, and running a project with it.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>

#include "cli.h"
#include "engine/procexec.h"

namespace rf::cli {

// While it exists, Ctrl-C asks the run to stop (half a second later, so that a second one can
// still abort) and a second Ctrl-C to abort.
class CliProgress : public rf::ProgressView {
 public:
  explicit CliProgress(const ProgressMode& mode);
  ~CliProgress() override;
  CliProgress(const CliProgress&) = delete;
  CliProgress& operator=(const CliProgress&) = delete;

  void Open(const std::string& caption, bool videoLine, bool audioLine) override;
  void Close() override;
  void SetLine(int32_t line, const std::string& text, int32_t position) override;
  void SetCounts(int32_t line, int32_t done, int32_t total) override;
  void SetTimes(const std::string& remaining, const std::string& elapsed) override;
  void SetTitle(const std::string& title) override;
  void SetStatus(const std::string& text) override;
  int32_t State() override;

  // Ctrl-Cs taken since the view was made.
  int Interrupts() const;

 private:
  ProgressMode mode_;
  bool bar_;
  bool drawn_ = false;
  int32_t done_[2] = {0, 0}, total_[2] = {0, 0};
  std::chrono::steady_clock::time_point firstInterrupt_{};
  struct sigaction previous_ {};
};

// How the overwrite question is answered: on the terminal, always yes (-y) or always no (-n).
enum class Overwrite { Ask, Yes, No };
// Installs the command line's answer to the overwrite question.
void SetOverwriteAnswer(Overwrite mode);

// Runs the project as "Start Processing" does, with the progress on standard error; prints what
// was written and returns the exit status.
int RunProject(Project& project, const ProgressMode& mode, const RunSettings& settings);

}  // namespace rf::cli
