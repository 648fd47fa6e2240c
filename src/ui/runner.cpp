// A job on a worker thread with its progress, messages and questions on the window's thread.
#include "ui/runner.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <thread>

#include "foundation/errors.h"
#include "ui/progress.h"

namespace rf::ui {
namespace {

// Calls call on the application's thread and waits for it; directly when already there.
template <class Call>
void OnWindowThread(const Call& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (QThread::currentThread() == app->thread())
    call();
  else
    QMetaObject::invokeMethod(app, call, Qt::BlockingQueuedConnection);
}

// While it lives, message boxes and questions from any thread open on the window's thread.
class WindowThreadHooks {
 public:
  WindowThreadHooks() {
    box_ = SetMessageBoxHook(nullptr);
    question_ = SetQuestionHook(nullptr);
    SetMessageBoxHook([box = box_](MsgBox kind, const std::string& title, const std::string& text) {
      OnWindowThread([&] { box(kind, title, text); });
    });
    SetQuestionHook([question = question_](Buttons buttons, const std::string& title, const std::string& text) {
      Answer answer = Answer::No;
      OnWindowThread([&] { answer = question(buttons, title, text); });
      return answer;
    });
  }
  ~WindowThreadHooks() {
    SetMessageBoxHook(box_);
    SetQuestionHook(question_);
  }

 private:
  MessageBoxHook box_;
  QuestionHook question_;
};

}  // namespace

ThreadedProgress::ThreadedProgress(TfrmProgress& window, RunTexts texts) : window_(window), texts_(std::move(texts)) {}

void ThreadedProgress::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&window_, std::move(call), Qt::QueuedConnection);
}

void ThreadedProgress::Open(const std::string& caption, bool videoLine, bool audioLine) {
  window_.MarkProcessing();
  Post([w = &window_, caption, videoLine, audioLine] { w->OpenRun(caption, videoLine, audioLine); });
}

void ThreadedProgress::Close() {
  Post([w = &window_] { w->CloseRun(); });
}

void ThreadedProgress::SetLine(int32_t line, const std::string& text, int32_t position) {
  Post([w = &window_, line, text, position] { w->SetLine(line, text, position); });
}

void ThreadedProgress::SetTimes(const std::string& remaining, const std::string& elapsed) {
  Post([w = &window_, remaining, elapsed] { w->SetTimes(remaining, elapsed); });
}

void ThreadedProgress::SetTitle(const std::string& title) {
  if (texts_.title) Post([f = texts_.title, title] { f(title); });
}

void ThreadedProgress::SetStatus(const std::string& text) {
  if (texts_.status) Post([f = texts_.status, text] { f(text); });
}

int32_t ThreadedProgress::State() { return window_.State(); }

int32_t RunOnWorker(TfrmProgress& window, const RunTexts& texts, const std::function<int32_t(ProgressView&)>& job) {
  WindowThreadHooks hooks;
  ThreadedProgress progress(window, texts);
  QEventLoop loop;
  int32_t result = 0;
  std::thread worker([&] {
    result = job(progress);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  // The queued window calls of the job's last moments arrive before the caller goes on.
  QCoreApplication::sendPostedEvents(&window);
  return result;
}

}  // namespace rf::ui
