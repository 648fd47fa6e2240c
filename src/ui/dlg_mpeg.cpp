// "MPEG Compression" over the dialog state of the MPEG unit.
#include "ui/dlg_mpeg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

// A rate field; the model applies the limits, so the box itself takes any non-negative number.
QSpinBox* RateField(QWidget* parent, const char* name) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(0, 1000000);
  spin->setAccessibleName(name);
  return spin;
}

}  // namespace

DlgMPG::DlgMPG(QMpgDlgState& state, QWidget* parent) : QDialog(parent), state_(state), edit_(state) {
  setWindowTitle("MPEG Compression");
  auto* layout = new QVBoxLayout(this);
  auto* format = new QGroupBox("Format", this);
  auto* formatRow = new QVBoxLayout(format);
  radMpeg1_ = new QRadioButton("MPEG-1", format);
  radMpeg2_ = new QRadioButton(Qs(edit_.mpeg2Caption), format);
  radMpeg2_->setEnabled(edit_.mpeg2Enabled);
  formatRow->addWidget(radMpeg1_);
  formatRow->addWidget(radMpeg2_);
  layout->addWidget(format);

  auto* rate = new QGroupBox("Data Rate", this);
  auto* grid = new QGridLayout(rate);
  cbPresets_ = new QComboBox(rate);
  for (const QMPGPresetItem& preset : kMpgPresets) cbPresets_->addItem(preset.name);
  cbPresets_->setAccessibleName("Presets");
  edBitRate_ = RateField(rate, "Bit Rate, kilobits/sec");
  edByteRate_ = RateField(rate, "Byte Rate, kilobytes/sec");
  const struct {
    const char* label;
    QWidget* field;
    const char* unit;
  } rows[] = {{"Presets", cbPresets_, ""},
              {"Bit Rate", edBitRate_, "kilobits/sec"},
              {"Byte Rate", edByteRate_, "kilobytes/sec"}};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(rows[i].label, rate);
    label->setBuddy(rows[i].field);
    grid->addWidget(label, i, 0);
    grid->addWidget(rows[i].field, i, 1);
    grid->addWidget(new QLabel(rows[i].unit, rate), i, 2);
  }
  layout->addWidget(rate);
  AddOkCancel(this, layout);

  connect(radMpeg2_, &QRadioButton::toggled, this, [this](bool on) { edit_.format = on ? 2 : 1; });
  connect(cbPresets_, &QComboBox::currentIndexChanged, this, [this](int preset) {
    MpgDlgChoosePreset(edit_, preset);
    Show();
  });
  connect(edBitRate_, &QSpinBox::editingFinished, this, [this] {
    MpgDlgSetBitRate(edit_, edBitRate_->value());
    Show();
  });
  connect(edByteRate_, &QSpinBox::editingFinished, this, [this] {
    MpgDlgSetByteRate(edit_, edByteRate_->value());
    Show();
  });
  Show();
}

void DlgMPG::Show() {
  const QSignalBlocker quietPresets(cbPresets_);
  (edit_.format == 2 ? radMpeg2_ : radMpeg1_)->setChecked(true);
  cbPresets_->setCurrentIndex(edit_.preset);
  edBitRate_->setValue(edit_.rate);
  edByteRate_->setValue(edit_.byteRate());
  edBitRate_->setReadOnly(edit_.ratesLocked);
  edByteRate_->setReadOnly(edit_.ratesLocked);
}

void DlgMPG::accept() {
  // A rate typed but not yet left counts, as the user sees it in the field.
  if (edBitRate_->hasFocus()) MpgDlgSetBitRate(edit_, edBitRate_->value());
  if (edByteRate_->hasFocus()) MpgDlgSetByteRate(edit_, edByteRate_->value());
  state_ = edit_;
  QDialog::accept();
}

bool QtMpgDialogWindow::Run(QMpgDlgState& state) {
  DlgMPG dialog(state, parent_);
  return RunModal(dialog);
}

}  // namespace rf::ui
