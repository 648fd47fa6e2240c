// "File Information".
#include "ui/dlg_info.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editlist/informer.h"
#include "ui/dlg_common.h"

namespace rf::ui {

std::string FileInformationText(const std::vector<const QUniInfo*>& infos) {
  InfoListInit();
  for (const QUniInfo* info : infos) InfoListAdd(info);
  std::string text = InfoListGetBoxStr(false);
  InfoListDone();
  return text;
}

TfrmInfo::TfrmInfo(const std::vector<const QUniInfo*>& infos, QWidget* parent) : QDialog(parent) {
  setWindowTitle("File Information");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QPlainTextEdit(this);
  text->setReadOnly(true);
  text->setAccessibleName("File information");
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setPlainText(Qs(FileInformationText(infos)).remove('\r'));
  text->setMinimumSize(560, 420);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setDefault(true);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

}  // namespace rf::ui
