// A job on the worker thread drives the progress window while the person at the window stops,
// continues or aborts it; its message boxes open on the window's thread.
#include "ui/progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/errors.h"
#include "ui/runner.h"

#include "screenshot.h"

namespace rf {
namespace {

// Clicks the button captioned caption on the modal dialog that will be open.
void ClickOnDialog(const QString& caption, int delay = 100) {
  QTimer::singleShot(delay, [caption] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == caption) QTest::mouseClick(b, Qt::LeftButton);
  });
}

// A job that shows progress until the window asks it to end; returns the state it saw.
int32_t Job(ProgressView& p) {
  p.Open("Saving to file...", true, false);
  p.SetStatus("Processing...");
  int32_t state = PW_PROCESSING;
  for (int i = 0; i < 400 && state == PW_PROCESSING; ++i) {
    p.SetLine(0, "Video: frame " + std::to_string(i) + " of 400", i * 25);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    state = p.State();
  }
  p.Close();
  return state;
}

TEST(ProgressWindow, StopAndAbortReachTheWorkerAndContinueKeepsItRunning) {
  const struct {
    const char* answer;
    int32_t state;
  } cases[] = {{"Stop", PW_STOP}, {"Abort (delete output file)", PW_ABORT}};
  for (const auto& c : cases) {
    ui::TfrmProgress window;
    std::string status;
    ui::RunTexts texts{nullptr, [&](const std::string& s) { status = s; }};
    // First the person thinks better of it, then answers.
    QTimer::singleShot(150, [&] { window.close(); });
    ClickOnDialog("Continue Processing", 300);
    QTimer::singleShot(600, [&] {
      EXPECT_EQ(window.State(), PW_PROCESSING);
      EXPECT_TRUE(window.isVisible());
      window.close();
    });
    ClickOnDialog(c.answer, 750);
    EXPECT_EQ(ui::RunOnWorker(window, texts, Job), c.state) << c.answer;
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(status, "Processing...");
    EXPECT_EQ(window.LineText(0).rfind("Video: frame ", 0), 0u);
  }
}

TEST(ProgressWindow, WorkerMessagesAndQuestionsOpenOnTheWindowThread) {
  std::atomic<bool> onWindowThread{false};
  const auto previousBox = SetMessageBoxHook([&](MsgBox, const std::string&, const std::string& text) {
    onWindowThread =
        QThread::currentThread() == QApplication::instance()->thread() && text == "Invalid progress label.";
  });
  const auto previousQuestion =
      SetQuestionHook([](Buttons, const std::string&, const std::string&) { return Answer::Yes; });
  ui::TfrmProgress window;
  const int32_t answer = ui::RunOnWorker(window, {}, [](ProgressView& p) {
    p.Open("Counting colors", false, false);
    p.SetLine(2, "nowhere", 0);
    const bool yes = AskQuestion(Buttons::YesNo, "Overwrite?") == Answer::Yes;
    p.Close();
    return yes ? 1 : 0;
  });
  EXPECT_EQ(answer, 1);
  EXPECT_TRUE(onWindowThread);
  SetMessageBoxHook(previousBox);
  SetQuestionHook(previousQuestion);
}

TEST(ProgressWindow, ScreenshotDuringARun) {
  ui::TfrmProgress window;
  std::atomic<bool> grabbed{false};
  QTimer::singleShot(300, [&] {
    testui::SaveScreenshot(window, "progress.png");
    grabbed = true;
  });
  ui::RunOnWorker(window, {}, [&](ProgressView& p) {
    p.Open("Saving to file...", true, true);
    p.SetLine(0, "Video: frame 1,234 of 5,000  (24.7% done)", 2468);
    p.SetLine(1, "Audio: sample 2,176,000 of 8,820,000  (24.7% done)", 2467);
    p.SetTimes("00:01:32", "00:00:30");
    while (!grabbed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    p.Close();
    return 0;
  });
  EXPECT_TRUE(grabbed);
}

}  // namespace
}  // namespace rf
