// The format options dialogs of an output.
#include "ui/dlg_saveopt.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

#include "formats/ff_avi.h"
#include "formats/ffdesc.h"
#include "ui/dlg_avi.h"
#include "ui/dlg_common.h"
#include "ui/dlg_effect.h"
#include "ui/dlg_mpeg.h"

namespace rf::ui {

TfrmChoice::TfrmChoice(const std::string& title, const std::vector<FFChoiceItem>& items, int32_t& value,
                       QWidget* parent)
    : QDialog(parent), items_(items), value_(value) {
  setWindowTitle(Qs(title));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(Qs(title), this);
  auto* column = new QVBoxLayout(group);
  for (const FFChoiceItem& item : items) {
    auto* button = new QRadioButton(Qs(item.text), group);
    button->setChecked(item.value == value);
    column->addWidget(button);
    buttons_.push_back(button);
  }
  layout->addWidget(group);
  AddOkCancel(this, layout);
}

void TfrmChoice::accept() {
  for (size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) value_ = items_[i].value;
  QDialog::accept();
}

TfrmHavSettings::TfrmHavSettings(QffSaveOpt& opts, QWidget* parent) : QDialog(parent), opts_(opts) {
  setWindowTitle("HAV Settings");
  auto* layout = new QVBoxLayout(this);
  auto* method = new QGroupBox("Compression Method", this);
  auto* column = new QVBoxLayout(method);
  radFast_ = new QRadioButton("FAST Codec", method);
  auto* radBest = new QRadioButton("BEST Codec", method);
  (opts.havCodec == 1 ? radFast_ : radBest)->setChecked(true);
  column->addWidget(radFast_);
  column->addWidget(radBest);
  layout->addWidget(method);
  auto* keyRow = new QHBoxLayout;
  edKeyFrames_ = new QSpinBox(this);
  edKeyFrames_->setRange(0, INT_MAX);
  edKeyFrames_->setValue(opts.havSetting);
  edKeyFrames_->setAccessibleName("Key frame every");
  auto* keyLabel = new QLabel("Key frame every", this);
  keyLabel->setBuddy(edKeyFrames_);
  keyRow->addWidget(keyLabel);
  keyRow->addWidget(edKeyFrames_);
  keyRow->addWidget(new QLabel("frame(s)", this));
  layout->addLayout(keyRow);
  AddOkCancel(this, layout);
}

void TfrmHavSettings::accept() {
  opts_.havCodec = radFast_->isChecked() ? 1 : 0;
  opts_.havSetting = edKeyFrames_->value();
  QDialog::accept();
}

bool QtSaveOptionDialogs::Choice(const std::string& title, const std::vector<FFChoiceItem>& items, int32_t& value) {
  TfrmChoice dialog(title, items, value, parent_);
  return RunModal(dialog);
}

bool QtSaveOptionDialogs::Value(QDlgData& data) {
  TfrmDlgValues dialog(data, 1, nullptr, parent_);
  return RunModal(dialog);
}

bool QtSaveOptionDialogs::MovieOptions(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth) {
  switch (opts.format) {
    case FF_AVI: {
      aviCodecsRec avi = opts.avi;
      if (!EditAviSettings(parent_, avi, width, height, depth)) return false;
      opts.avi = avi;
      return true;
    }
    case FF_HAV: {
      TfrmHavSettings dialog(opts, parent_);
      return RunModal(dialog);
    }
    case FF_MPG:
      return EditMpegOptions(parent_, opts);
    default:
      return true;
  }
}

bool EditMpegOptions(QWidget* parent, QffSaveOpt& opts) {
  QDlgMPGData data;
  data.format = opts.mpegFormat;
  data.rate = opts.mpegRate;
  QtMpgDialogWindow window(parent);
  return rf::DlgMPG(data, opts, window);
}

bool EditAviSettings(QWidget* parent, aviCodecsRec& avi, int32_t width, int32_t height, int32_t depth) {
  aviCodecsRec current{};
  AviSettingsStore(current);
  AviSettingsApply(avi);
  QtAviDialogView view(parent);
  QtCodecDialogs codecDialogs(parent);
  AviSetDialogView(&view);
  ICSetDialogs(&codecDialogs);
  const bool confirmed = AviSelectVC(width, height, depth);
  AviSetDialogView(nullptr);
  ICSetDialogs(nullptr);
  if (confirmed) AviSettingsStore(avi);
  AviSettingsApply(current);
  return confirmed;
}

}  // namespace rf::ui
