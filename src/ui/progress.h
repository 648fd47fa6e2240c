// The progress window of a run (TfrmProgress) with its stop and abort requests, and the abort
// dialog (TfrmAbort) that asks what a stop should do.
#pragma once

#include <QDialog>
#include <atomic>
#include <cstdint>
#include <string>

class QGridLayout;
class QLabel;
class QProgressBar;
class QStackedLayout;

namespace rf::ui {

// Answers of the abort dialog.
inline constexpr int32_t ABORT_CONTINUE = 0;
inline constexpr int32_t ABORT_DELETE = 1;
inline constexpr int32_t ABORT_STOP = 2;

class TfrmAbort : public QDialog {
 public:
  explicit TfrmAbort(QWidget* parent = nullptr);
  int32_t Answer() const { return answer_; }
  // Opens the dialog modally and returns its answer; Escape continues.
  static int32_t Ask(QWidget* parent);

 private:
  int32_t answer_ = ABORT_CONTINUE;
};

// Lives on the window's thread; State() may be read from any thread.
class TfrmProgress : public QDialog {
 public:
  explicit TfrmProgress(QWidget* parent = nullptr);

  void OpenRun(const std::string& caption, bool videoLine, bool audioLine);
  void CloseRun();
  void SetLine(int32_t line, const std::string& text, int32_t position);
  void SetTimes(const std::string& remaining, const std::string& elapsed);
  int32_t State() const { return state_.load(); }
  // The state a run sees from the moment it asks for the window (before the window shows).
  void MarkProcessing() { state_.store(1); }
  std::string LineText(int32_t line) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  struct Line {
    QLabel* label = nullptr;
    QLabel* text = nullptr;
    QProgressBar* bar = nullptr;
    QStackedLayout* stack = nullptr;
    QLabel* noData = nullptr;
  };
  Line lines_[2];
  QLabel* remaining_ = nullptr;
  QLabel* elapsed_ = nullptr;
  std::atomic<int32_t> state_{0};
  bool closingByRun_ = false;

  void BuildLine(int32_t index, const char* name, QGridLayout* grid);
};

}  // namespace rf::ui
