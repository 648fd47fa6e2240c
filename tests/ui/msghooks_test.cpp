// Questions and message boxes of the core open as real dialogs and carry the user's answer back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "foundation/errors.h"
#include "ui/msghooks.h"

namespace rf {
namespace {

// Presses key on the dialog that will be open once the event loop runs.
void PressOnDialog(Qt::Key key) {
  QTimer::singleShot(50, [key] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog, key);
  });
}

TEST(MessageHooks, QuestionsAnswerWithTheButtonTheUserChose) {
  const auto previousBox = SetMessageBoxHook(nullptr);
  const auto previousQuestion = SetQuestionHook(nullptr);
  ui::InstallMessageHooks(nullptr);
  PressOnDialog(Qt::Key_Return);  // Yes is the default button
  EXPECT_EQ(AskQuestion(Buttons::YesNo, "File \u201cx\u201d already exists. Overwrite?"), Answer::Yes);
  PressOnDialog(Qt::Key_Escape);
  EXPECT_EQ(AskQuestion(Buttons::YesNoCancel, "Save?"), Answer::Cancel);
  PressOnDialog(Qt::Key_Return);
  ShowErrorBox("There are no input files.");  // returns once the box is closed
  SetMessageBoxHook(previousBox);
  SetQuestionHook(previousQuestion);
}

}  // namespace
}  // namespace rf
