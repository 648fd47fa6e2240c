// Long work off the window's thread: a job runs on a worker thread while the window keeps
// processing its events; the job reports through a ProgressView whose calls are queued to the
// progress window, and its message boxes and questions open on the window's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/procexec.h"

namespace rf::ui {

class TfrmProgress;

// Where the run's title and status texts go on the window's thread; either may be empty.
struct RunTexts {
  std::function<void(const std::string&)> title;
  std::function<void(const std::string&)> status;
};

// The progress window as a worker thread sees it. Every call but State() is queued to the
// window's thread; State() reads the window's request at once.
class ThreadedProgress : public ProgressView {
 public:
  ThreadedProgress(TfrmProgress& window, RunTexts texts);
  void Open(const std::string& caption, bool videoLine, bool audioLine) override;
  void Close() override;
  void SetLine(int32_t line, const std::string& text, int32_t position) override;
  void SetTimes(const std::string& remaining, const std::string& elapsed) override;
  void SetTitle(const std::string& title) override;
  void SetStatus(const std::string& text) override;
  int32_t State() override;

 private:
  TfrmProgress& window_;
  RunTexts texts_;
  void Post(std::function<void()> call);
};

// Runs job on a worker thread and returns its result once it has ended; meanwhile the calling
// thread (the window's) keeps processing events. No core routine may run on the calling thread
// until this returns: the error register, trace and tracked resources belong to the job.
int32_t RunOnWorker(TfrmProgress& window, const RunTexts& texts, const std::function<int32_t(ProgressView&)>& job);

}  // namespace rf::ui
