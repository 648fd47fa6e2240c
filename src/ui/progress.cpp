// The progress window and the abort dialog of a run.
#include "ui/progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/procexec.h"
#include "foundation/errors.h"

namespace rf::ui {

TfrmAbort::TfrmAbort(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Abort Processing");
  setObjectName("frmAbort");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("What should Reelforge do?", this));
  auto* buttons = new QHBoxLayout;
  const struct {
    const char* caption;
    int32_t answer;
  } choices[] = {
      {"Continue Processing", ABORT_CONTINUE}, {"Stop", ABORT_STOP}, {"Abort (delete output file)", ABORT_DELETE}};
  for (const auto& c : choices) {
    auto* button = new QPushButton(c.caption, this);
    button->setDefault(c.answer == ABORT_CONTINUE);
    button->setAutoDefault(c.answer == ABORT_CONTINUE);
    const int32_t answer = c.answer;
    connect(button, &QPushButton::clicked, this, [this, answer] {
      answer_ = answer;
      accept();
    });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
}

int32_t TfrmAbort::Ask(QWidget* parent) {
  TfrmAbort dialog(parent);
  dialog.exec();
  return dialog.Answer();
}

TfrmProgress::TfrmProgress(QWidget* parent) : QDialog(parent) {
  setObjectName("frmProgress");
  setModal(false);
  auto* grid = new QGridLayout(this);
  BuildLine(0, "Video", grid);
  BuildLine(1, "Audio", grid);
  remaining_ = new QLabel("--:--:--", this);
  elapsed_ = new QLabel("--:--:--", this);
  remaining_->setAccessibleName("Remaining time");
  elapsed_->setAccessibleName("Elapsed time");
  grid->addWidget(new QLabel("Remaining time:", this), 4, 0);
  grid->addWidget(remaining_, 4, 1);
  grid->addWidget(new QLabel("Elapsed time:", this), 5, 0);
  grid->addWidget(elapsed_, 5, 1);

  auto* buttons = new QHBoxLayout;
  auto* minimize = new QPushButton("Minimize", this);
  minimize->setToolTip("Minimize application");
  auto* stop = new QPushButton("Stop", this);
  stop->setToolTip("Stop processing");
  stop->setDefault(true);
  connect(minimize, &QPushButton::clicked, this, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) w->showMinimized();
  });
  connect(stop, &QPushButton::clicked, this, &QWidget::close);
  buttons->addStretch();
  buttons->addWidget(minimize);
  buttons->addWidget(stop);
  grid->addLayout(buttons, 6, 0, 1, 2);
  setMinimumWidth(520);
}

void TfrmProgress::BuildLine(int32_t index, const char* name, QGridLayout* grid) {
  Line& line = lines_[index];
  line.label = new QLabel(name, this);
  line.text = new QLabel(this);
  line.bar = new QProgressBar(this);
  line.bar->setRange(0, 10000);
  line.bar->setTextVisible(false);
  line.bar->setAccessibleName(QString(name) + " progress");
  line.noData = new QLabel("No data", this);
  line.noData->setAlignment(Qt::AlignCenter);
  auto* holder = new QWidget(this);
  line.stack = new QStackedLayout(holder);
  line.stack->addWidget(line.bar);
  line.stack->addWidget(line.noData);
  grid->addWidget(line.label, index * 2, 0);
  grid->addWidget(line.text, index * 2, 1);
  grid->addWidget(holder, index * 2 + 1, 0, 1, 2);
}

void TfrmProgress::OpenRun(const std::string& caption, bool videoLine, bool audioLine) {
  setWindowTitle(QString::fromStdString(caption));
  const bool on[2] = {videoLine, audioLine};
  for (int i = 0; i < 2; ++i) {
    lines_[i].text->clear();
    lines_[i].bar->setValue(0);
    lines_[i].stack->setCurrentIndex(on[i] ? 0 : 1);
  }
  remaining_->setText("--:--:--");
  elapsed_->setText("--:--:--");
  state_.store(PW_PROCESSING);
  show();
  raise();
  activateWindow();
}

void TfrmProgress::CloseRun() {
  closingByRun_ = true;
  close();
  closingByRun_ = false;
  state_.store(PW_NONE);
}

void TfrmProgress::SetLine(int32_t line, const std::string& text, int32_t position) {
  if (line != 0 && line != 1) {
    ShowErrorBox("Invalid progress label.");
    return;
  }
  lines_[line].text->setText(QString::fromStdString(text));
  lines_[line].bar->setValue(std::clamp(position, 0, 10000));
}

void TfrmProgress::SetTimes(const std::string& remaining, const std::string& elapsed) {
  remaining_->setText(QString::fromStdString(remaining));
  elapsed_->setText(QString::fromStdString(elapsed));
}

std::string TfrmProgress::LineText(int32_t line) const { return lines_[line & 1].text->text().toStdString(); }

void TfrmProgress::closeEvent(QCloseEvent* event) {
  if (closingByRun_ || state_.load() != PW_PROCESSING) {
    event->accept();
    return;
  }
  const int32_t answer = TfrmAbort::Ask(this);
  if (answer == ABORT_CONTINUE) {
    event->ignore();
    return;
  }
  state_.store(answer == ABORT_DELETE ? PW_ABORT : PW_STOP);
  event->accept();
}

void TfrmProgress::reject() { close(); }

}  // namespace rf::ui
