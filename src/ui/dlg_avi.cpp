// "Select AVI Video Format" over the compressor list of the AVI writer.
#include "ui/dlg_avi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <vector>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

QSpinBox* NewSpin(QWidget* parent, int maximum) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(1, maximum);
  return spin;
}

}  // namespace

DlgAVI::DlgAVI(AviDialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle("Select AVI Video Format");
  auto* layout = new QVBoxLayout(this);
  auto* showRow = new QHBoxLayout;
  cbShow_ = new QComboBox(this);
  for (const char* text : AviDialogModel::kShowTexts) cbShow_->addItem(text);
  cbShow_->setCurrentIndex(model.show());
  auto* showLabel = new QLabel("&Show:", this);
  showLabel->setBuddy(cbShow_);
  showRow->addWidget(showLabel);
  showRow->addWidget(cbShow_, 1);
  layout->addLayout(showRow);
  lstCodecs_ = new QListWidget(this);
  lstCodecs_->setAccessibleName("Video compressors");
  lstCodecs_->setMinimumHeight(120);
  layout->addWidget(lstCodecs_);
  labNoCodec_ = new QLabel(AviDialogModel::kNoCodec, this);
  layout->addWidget(labNoCodec_);

  auto* info = new QGroupBox(this);
  auto* infoForm = new QFormLayout(info);
  labFourCC_ = new QLabel(this);
  labEncoder_ = new QLabel(this);
  labBefore_ = new QLabel(this);
  labAfter_ = new QLabel(this);
  infoForm->addRow("FourCC:", labFourCC_);
  infoForm->addRow("Encoder:", labEncoder_);
  infoForm->addRow("Before:", labBefore_);
  infoForm->addRow("After:", labAfter_);
  layout->addWidget(info);

  auto* grid = new QGridLayout;
  sbQuality_ = new QScrollBar(Qt::Horizontal, this);
  sbQuality_->setRange(0, 100);
  sbQuality_->setPageStep(10);
  sbQuality_->setFocusPolicy(Qt::StrongFocus);
  labQuality_ = new QLabel(this);
  auto* qualityLabel = new QLabel("Compression &Quality:", this);
  qualityLabel->setBuddy(sbQuality_);
  grid->addWidget(qualityLabel, 0, 0);
  grid->addWidget(sbQuality_, 0, 1);
  grid->addWidget(labQuality_, 0, 2);
  chkKeyFrames_ = new QCheckBox("&Key Frame Every", this);
  edKeyFrames_ = NewSpin(this, 9999);
  edKeyFrames_->setAccessibleName("Key frame every, frames");
  grid->addWidget(chkKeyFrames_, 1, 0);
  grid->addWidget(edKeyFrames_, 1, 1);
  grid->addWidget(new QLabel("frames", this), 1, 2);
  chkDataRate_ = new QCheckBox("&Data Rate", this);
  edDataRate_ = NewSpin(this, 1000000);
  edDataRate_->setAccessibleName("Data rate, kB/sec");
  grid->addWidget(chkDataRate_, 2, 0);
  grid->addWidget(edDataRate_, 2, 1);
  grid->addWidget(new QLabel("kB/sec", this), 2, 2);
  layout->addLayout(grid);

  auto* codecButtons = new QHBoxLayout;
  btnConfigure_ = new QPushButton("Con&figure...", this);
  btnAbout_ = new QPushButton("&About...", this);
  for (QPushButton* b : {btnConfigure_, btnAbout_}) {
    b->setAutoDefault(false);
    codecButtons->addWidget(b);
  }
  codecButtons->addStretch();
  layout->addLayout(codecButtons);
  AddOkCancel(this, layout);

  connect(sbQuality_, &QScrollBar::valueChanged, labQuality_, qOverload<int>(&QLabel::setNum));
  connect(chkKeyFrames_, &QCheckBox::toggled, edKeyFrames_, &QSpinBox::setEnabled);
  connect(chkDataRate_, &QCheckBox::toggled, edDataRate_, &QSpinBox::setEnabled);
  connect(cbShow_, &QComboBox::currentIndexChanged, this, &DlgAVI::ShowChanged);
  connect(lstCodecs_, &QListWidget::currentRowChanged, this, &DlgAVI::Selected);
  connect(btnConfigure_, &QPushButton::clicked, this, [this] { model_.Configure(); });
  connect(btnAbout_, &QPushButton::clicked, this, [this] { model_.About(); });
  FillList();
}

void DlgAVI::ShowChanged(int show) {
  lstCodecs_->clear();
  lstCodecs_->addItem(AviDialogModel::kRetrieving);
  lstCodecs_->repaint();
  model_.SetShow(AviDialogModel::Show(show));
  FillList();
}

void DlgAVI::FillList() {
  {
    const QSignalBlocker quiet(lstCodecs_);
    lstCodecs_->clear();
    for (const aviCodecsRec& rec : model_.shown()) lstCodecs_->addItem(Qs(AviRecDescription(rec)));
    lstCodecs_->setCurrentRow(model_.selected());
  }
  labNoCodec_->setVisible(model_.shown().empty());
  ShowSelection();
}

void DlgAVI::Selected(int row) {
  model_.Select(row);
  ShowSelection();
}

// The information box and the settings of the working compressor.
void DlgAVI::ShowSelection() {
  const aviCodecsRec& rec = model_.working();
  labFourCC_->setText(Qs(model_.FourCCText()));
  labEncoder_->setText(Qs(model_.EncoderText()));
  labBefore_->setText(Qs(model_.BeforeText()));
  labAfter_->setText(Qs(model_.AfterText()));
  QFont bold = labAfter_->font();
  bold.setBold(model_.AfterDiffers());
  labAfter_->setFont(bold);
  sbQuality_->setEnabled(model_.QualityEnabled());
  sbQuality_->setValue(model_.QualityEnabled() ? rec.quality : 0);
  labQuality_->setNum(sbQuality_->value());
  chkKeyFrames_->setEnabled(model_.KeyFramesEnabled());
  chkKeyFrames_->setChecked(rec.keyFrameEvery > 0);
  edKeyFrames_->setValue(rec.keyFrameEvery > 0 ? rec.keyFrameEvery : 1);
  edKeyFrames_->setEnabled(model_.KeyFramesEnabled() && rec.keyFrameEvery > 0);
  chkDataRate_->setEnabled(model_.DataRateEnabled());
  chkDataRate_->setChecked(rec.dataRate > 0);
  edDataRate_->setValue(rec.dataRate > 0 ? rec.dataRate : 150);
  edDataRate_->setEnabled(model_.DataRateEnabled() && rec.dataRate > 0);
  btnConfigure_->setEnabled(model_.ConfigureEnabled());
  btnAbout_->setEnabled(model_.AboutEnabled());
}

void DlgAVI::accept() {
  const bool keyFrames = chkKeyFrames_->isEnabled() && chkKeyFrames_->isChecked();
  const bool dataRate = chkDataRate_->isEnabled() && chkDataRate_->isChecked();
  model_.Confirm(sbQuality_->value(), keyFrames ? edKeyFrames_->value() : 0, dataRate ? edDataRate_->value() : 0);
  QDialog::accept();
}

bool QtAviDialogView::Run(AviDialogModel& model) {
  DlgAVI dialog(model, parent_);
  return RunModal(dialog);
}

void QtCodecDialogs::about(const std::string& name, const std::string& text) {
  QMessageBox::about(parent_, Qs(name), Qs(text));
}

bool QtCodecDialogs::configure(const std::string& name, std::vector<IcOption>& options) {
  QDialog dialog(parent_);
  dialog.setWindowTitle(Qs(name));
  auto* layout = new QVBoxLayout(&dialog);
  auto* form = new QFormLayout;
  std::vector<QSpinBox*> spins;
  for (const IcOption& option : options) {
    auto* spin = new QSpinBox(&dialog);
    spin->setRange(option.minimum, option.maximum);
    spin->setValue(option.value);
    form->addRow(Qs(option.label), spin);
    spins.push_back(spin);
  }
  layout->addLayout(form);
  AddOkCancel(&dialog, layout);
  if (!RunModal(dialog)) return false;
  for (size_t i = 0; i < options.size(); ++i) options[i].value = spins[i]->value();
  return true;
}

}  // namespace rf::ui
