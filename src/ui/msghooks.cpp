// The foundation's message boxes and questions as Qt dialogs.
#include "ui/msghooks.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "foundation/errors.h"

namespace rf::ui {

void InstallMessageHooks(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  SetMessageBoxHook([owner](MsgBox kind, const std::string& title, const std::string& text) {
    const QString t = QString::fromStdString(title), m = QString::fromStdString(text);
    switch (kind) {
      case MsgBox::Error:
        QMessageBox::critical(owner, t, m);
        break;
      case MsgBox::Warning:
        QMessageBox::warning(owner, t, m);
        break;
      case MsgBox::Information:
        QMessageBox::information(owner, t, m);
        break;
    }
  });
  SetQuestionHook([owner](Buttons buttons, const std::string& title, const std::string& text) {
    auto choices = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel) choices |= QMessageBox::Cancel;
    const auto answer = QMessageBox::question(owner, QString::fromStdString(title), QString::fromStdString(text),
                                              choices, QMessageBox::Yes);
    return answer == QMessageBox::Yes ? Answer::Yes : answer == QMessageBox::No ? Answer::No : Answer::Cancel;
  });
}

}  // namespace rf::ui
