// The preferences window over the preferences record; OK copies the controls back.
#include "ui/dlg_options.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

int32_t Bool(const QCheckBox* box) { return box->isChecked() ? -1 : 0; }

QCheckBox* Check(const char* text, int32_t value, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setChecked(value != 0);
  return box;
}

QComboBox* Choice(const QStringList& texts, int32_t value, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->addItems(texts);
  box->setCurrentIndex(std::clamp<int32_t>(value, 0, int32_t(texts.size()) - 1));
  return box;
}

QSpinBox* Number(int32_t low, int32_t high, int32_t value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(low, high);
  box->setValue(value);
  return box;
}

}  // namespace

DlgOptions::DlgOptions(Preferences& prefs, QWidget* parent)
    : QDialog(parent), prefs_(prefs), backColor_(prefs.previewBackColor) {
  setWindowTitle("Options");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  spnFps_ = new QDoubleSpinBox(this);
  spnFps_->setDecimals(3);
  spnFps_->setRange(0.001, 1000000);
  spnFps_->setValue(prefs.defaultFPS);
  chkDetect_ = Check("Autodetect image sequences", prefs.detectImgSeq, this);
  edVideoExt_ = new QLineEdit(Qs(prefs.defaultVideoExt), this);
  edAudioExt_ = new QLineEdit(Qs(prefs.defaultAudioExt), this);
  chkOverwrite_ = Check("Show warning when overwriting files", prefs.warningOverwrite, this);
  chkPlayOutput_ = Check("Play output file after processing", prefs.playOutput, this);
  chkSignal_ = Check("Play the following sound file after the processing is over:", prefs.signalEnd, this);
  edSound_ = new QLineEdit(Qs(prefs.signalSound), this);
  edSound_->setAccessibleName("Sound file");
  spnMinutes_ = Number(0, 100000, prefs.signalMin, this);
  cbPreview_ = Choice({"0", "1", "2", "3"}, prefs.pvRenderMode, this);
  btnColor_ = new QPushButton(this);
  btnColor_->setAutoDefault(false);
  btnColor_->setFixedSize(48, 24);
  btnColor_->setAccessibleName("Preview panel background color");
  spnCache_ = Number(0, 1 << 20, prefs.imgCacheSize, this);
  edTemp_ = new QLineEdit(Qs(prefs.tempFolder), this);
  cbVideoUnit_ = Choice({"Frame", "Time (hh:mm:ss.msec)"}, prefs.videoUnit, this);
  cbAudioUnit_ = Choice({"Sample", "Time (hh:mm:ss:msec)"}, prefs.audioUnit, this);

  form->addRow("Default &frame rate for images (fps)", spnFps_);
  form->addRow(chkDetect_);
  form->addRow("Default &video file name extension:", edVideoExt_);
  form->addRow("Default &audio file name extension:", edAudioExt_);
  form->addRow(chkOverwrite_);
  form->addRow(chkPlayOutput_);
  form->addRow(chkSignal_);
  form->addRow(edSound_);
  auto* minutes = new QHBoxLayout;
  minutes->addWidget(spnMinutes_);
  minutes->addWidget(new QLabel("minute(s)", this));
  form->addRow("Don't beep if the processing was shorter than:", minutes);
  form->addRow("&Preview mode", cbPreview_);
  form->addRow("Preview panel background color", btnColor_);
  form->addRow("Max. image &cache size (in megabytes):", spnCache_);
  form->addRow("Folder for &temporary files", edTemp_);
  form->addRow("Video unit", cbVideoUnit_);
  form->addRow("Audio unit", cbAudioUnit_);
  AddOkCancel(this, layout);
  ChainTabOrder({spnFps_, chkDetect_, edVideoExt_, edAudioExt_, chkOverwrite_, chkPlayOutput_, chkSignal_, edSound_,
                 spnMinutes_, cbPreview_, btnColor_, spnCache_, edTemp_, cbVideoUnit_, cbAudioUnit_});
  ShowColor();
  connect(btnColor_, &QPushButton::clicked, this, [this] {
    const QColor chosen = QColorDialog::getColor(QColor::fromRgb(QRgb(backColor_)), this);
    if (!chosen.isValid()) return;
    backColor_ = int32_t(chosen.rgb() & 0xFFFFFF);
    ShowColor();
  });
  connect(this, &QDialog::accepted, this, &DlgOptions::Store);
}

void DlgOptions::ShowColor() {
  btnColor_->setStyleSheet(QString("background-color: %1").arg(QColor::fromRgb(QRgb(backColor_)).name()));
}

void DlgOptions::Store() {
  prefs_.defaultFPS = spnFps_->value();
  prefs_.detectImgSeq = Bool(chkDetect_);
  // An emptied extension falls back to the default, as reading the preferences does.
  prefs_.defaultVideoExt = edVideoExt_->text().isEmpty() ? ".avi" : Ss(edVideoExt_->text());
  prefs_.defaultAudioExt = edAudioExt_->text().isEmpty() ? ".wav" : Ss(edAudioExt_->text());
  prefs_.warningOverwrite = Bool(chkOverwrite_);
  prefs_.playOutput = Bool(chkPlayOutput_);
  prefs_.signalEnd = Bool(chkSignal_);
  prefs_.signalSound = Ss(edSound_->text());
  prefs_.signalMin = spnMinutes_->value();
  prefs_.pvRenderMode = cbPreview_->currentIndex();
  prefs_.previewBackColor = backColor_;
  prefs_.imgCacheSize = spnCache_->value();
  prefs_.tempFolder = Ss(edTemp_->text());
  prefs_.videoUnit = cbVideoUnit_->currentIndex();
  prefs_.audioUnit = cbAudioUnit_->currentIndex();
}

bool ShowOptionsDialog(QWidget* parent, Preferences& prefs) {
  DlgOptions dialog(prefs, parent);
  return RunModal(dialog);
}

}  // namespace rf::ui
