// "Select Session Contents".
#include "ui/dlg_session.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

constexpr struct {
  const char* caption;
  uint32_t flag;
} kBoxes[4] = {{"Output Settings", SES_OUTPUT},
               {"List of Files (both video and audio)", SES_FILES},
               {"Video Effects", SES_EFFECTS},
               {"Start new session", SES_START_NEW}};

}  // namespace

TfrmSesOpt::TfrmSesOpt(const std::string& question, bool loading, uint32_t& flags, QWidget* parent)
    : QDialog(parent), flags_(flags) {
  setWindowTitle("Select Session Contents");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(Qs(question), this);
  auto* column = new QVBoxLayout(group);
  layout->addWidget(group);
  for (int i = 0; i < 4; ++i) {
    boxes_[i] = new QCheckBox(kBoxes[i].caption, this);
    boxes_[i]->setChecked((flags & kBoxes[i].flag) != 0);
    (i < 3 ? column : layout)->addWidget(boxes_[i]);
  }
  boxes_[3]->setVisible(loading);
  if (!loading) boxes_[3]->setChecked(false);
  AddOkCancel(this, layout);
}

void TfrmSesOpt::accept() {
  flags_ = 0;
  for (int i = 0; i < 4; ++i)
    if (boxes_[i]->isChecked()) flags_ |= kBoxes[i].flag;
  QDialog::accept();
}

}  // namespace rf::ui
