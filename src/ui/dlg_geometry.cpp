// The geometry windows of the output over their models.
#include "ui/dlg_geometry.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

QLineEdit* NumberField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setMaximumWidth(90);
  field->setAccessibleName(name);
  return field;
}

QPushButton* SelectButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton("Select...", parent);
  button->setAutoDefault(false);
  button->setAccessibleName(name);
  return button;
}

// Opens a menu of texts under button; the chosen index, or -1 when dismissed.
int PopupChoice(QPushButton* button, const QStringList& texts) {
  QMenu menu(button);
  for (int i = 0; i < texts.size(); ++i) menu.addAction(texts[i])->setData(i);
  QAction* chosen = menu.exec(button->mapToGlobal(QPoint(0, button->height())));
  return chosen ? chosen->data().toInt() : -1;
}

QColor FromRgb(int32_t rgb) { return QColor((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255); }

// The rescaled picture with the part that remains after cropping framed.
class CropPreview : public QWidget {
 public:
  CropPreview(const QImage& image, const CropDialog& model, QWidget* parent)
      : QWidget(parent), image_(image), model_(model) {
    setMinimumSize(200, 150);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QSizeF full(model_.ResultWidth() + Margin(0) + Margin(2), model_.ResultHeight() + Margin(1) + Margin(3));
    const QSizeF shown = full.scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const double scale = shown.width() / full.width();
    const QRectF picture(QPointF(0, 0), shown);
    if (image_.isNull())
      p.fillRect(picture, Qt::darkGray);
    else
      p.drawImage(picture, image_);
    p.setPen(QPen(Qt::yellow, 1, Qt::DashLine));
    p.drawRect(
        QRectF(Margin(0) * scale, Margin(1) * scale, model_.ResultWidth() * scale, model_.ResultHeight() * scale));
  }

 private:
  double Margin(int i) const {
    const std::string* texts[4] = {&model_.left, &model_.top, &model_.right, &model_.bottom};
    return std::atoi(texts[i]->c_str());
  }
  QImage image_;
  const CropDialog& model_;
};

}  // namespace

DlgRescale::DlgRescale(OutputDef& def, QWidget* parent) : QDialog(parent), def_(def), model_(def) {
  setWindowTitle("Video Size Settings");
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  layout->addWidget(tabs);

  auto* basic = new QWidget(tabs);
  auto* basicLayout = new QVBoxLayout(basic);
  auto* resolution = new QGroupBox("Output Resolution", basic);
  auto* grid = new QGridLayout(resolution);
  edWidth_ = NumberField(resolution, "Width");
  edHeight_ = NumberField(resolution, "Height");
  chkFixed_ = new QCheckBox("Use &fixed aspect ratio:", resolution);
  edRatio_ = NumberField(resolution, "Fixed aspect ratio");
  edDivisor_ = NumberField(resolution, "Make resolution divisible by");
  auto* btnSelect = SelectButton(resolution, "Select a common resolution");
  chkAutomatic_ = new QCheckBox("Automatic", resolution);
  auto* labWidth = new QLabel("&Width", resolution);
  labWidth->setBuddy(edWidth_);
  auto* labHeight = new QLabel("&Height", resolution);
  labHeight->setBuddy(edHeight_);
  grid->addWidget(labWidth, 0, 0);
  grid->addWidget(edWidth_, 0, 1);
  grid->addWidget(btnSelect, 0, 2);
  grid->addWidget(labHeight, 1, 0);
  grid->addWidget(edHeight_, 1, 1);
  grid->addWidget(chkAutomatic_, 1, 2);
  grid->addWidget(chkFixed_, 2, 0);
  grid->addWidget(edRatio_, 2, 1);
  grid->addWidget(new QLabel("Make resolution divisible by:", resolution), 3, 0);
  grid->addWidget(edDivisor_, 3, 1);
  basicLayout->addWidget(resolution);
  auto* method = new QGroupBox("Scaling Method", basic);
  auto* methodColumn = new QVBoxLayout(method);
  radResample_ = new QRadioButton("Resample (high quality)", method);
  radResize_ = new QRadioButton("Resize (high speed)", method);
  methodColumn->addWidget(radResample_);
  methodColumn->addWidget(radResize_);
  basicLayout->addWidget(method);
  tabs->addTab(basic, "Basic");

  auto* advanced = new QWidget(tabs);
  auto* advancedLayout = new QVBoxLayout(advanced);
  auto* modes = new QGroupBox("Scaling Mode", advanced);
  auto* modeGrid = new QGridLayout(modes);
  labSmall_ = new QLabel(modes);
  labLarge_ = new QLabel(modes);
  auto* btnSmall = SelectButton(modes, "Select the mode of small images");
  auto* btnLarge = SelectButton(modes, "Select the mode of large images");
  modeGrid->addWidget(new QLabel("Small images", modes), 0, 0);
  modeGrid->addWidget(labSmall_, 0, 1);
  modeGrid->addWidget(btnSmall, 0, 2);
  modeGrid->addWidget(new QLabel("Large images", modes), 1, 0);
  modeGrid->addWidget(labLarge_, 1, 1);
  modeGrid->addWidget(btnLarge, 1, 2);
  advancedLayout->addWidget(modes);
  auto* colourRow = new QHBoxLayout;
  panBorderColor_ = new QPushButton(advanced);
  panBorderColor_->setAutoDefault(false);
  panBorderColor_->setFixedSize(48, 24);
  panBorderColor_->setAccessibleName("Border color");
  colourRow->addWidget(panBorderColor_);
  colourRow->addWidget(new QLabel("Border color (click box to change)", advanced));
  colourRow->addStretch();
  advancedLayout->addLayout(colourRow);
  advancedLayout->addStretch();
  tabs->addTab(advanced, "Advanced");
  AddOkCancel(this, layout);

  connect(edWidth_, &QLineEdit::editingFinished, this, [this] { Left(&RescaleDialog::WidthExit); });
  connect(edHeight_, &QLineEdit::editingFinished, this, [this] { Left(&RescaleDialog::HeightExit); });
  connect(edRatio_, &QLineEdit::editingFinished, this, [this] { Left(&RescaleDialog::RatioExit); });
  connect(edDivisor_, &QLineEdit::editingFinished, this, [this] { Left(&RescaleDialog::DivisorExit); });
  connect(chkAutomatic_, &QCheckBox::toggled, this, [this] { Left(&RescaleDialog::DivisorExit); });
  connect(btnSelect, &QPushButton::clicked, this, [this, btnSelect] { ChooseResolution(btnSelect); });
  connect(btnSmall, &QPushButton::clicked, this, [this, btnSmall] { ChooseMode(&RescaleDialog::smallMode, btnSmall); });
  connect(btnLarge, &QPushButton::clicked, this, [this, btnLarge] { ChooseMode(&RescaleDialog::largeMode, btnLarge); });
  connect(panBorderColor_, &QPushButton::clicked, this, &DlgRescale::ChooseColour);
  (model_.resample ? radResample_ : radResize_)->setChecked(true);
  ChainTabOrder({tabs, edWidth_, btnSelect, edHeight_, chkAutomatic_, chkFixed_, edRatio_, edDivisor_, radResample_,
                 radResize_, btnSmall, btnLarge, panBorderColor_});
  Show();
}

// The controls into the model's fields.
void DlgRescale::Take() {
  model_.automatic = chkAutomatic_->isChecked();
  model_.width = Ss(edWidth_->text());
  model_.height = Ss(edHeight_->text());
  model_.ratio = Ss(edRatio_->text());
  model_.divisor = Ss(edDivisor_->text());
  model_.fixedAspect = chkFixed_->isChecked();
  model_.resample = radResample_->isChecked();
}

void DlgRescale::Show() {
  chkAutomatic_->blockSignals(true);
  chkAutomatic_->setChecked(model_.automatic);
  chkAutomatic_->blockSignals(false);
  edWidth_->setText(Qs(model_.width));
  edHeight_->setText(Qs(model_.height));
  edWidth_->setEnabled(!model_.automatic);
  edHeight_->setEnabled(!model_.automatic);
  edRatio_->setText(Qs(model_.ratio));
  edDivisor_->setText(Qs(model_.divisor));
  chkFixed_->setChecked(model_.fixedAspect);
  labSmall_->setText(kScalingModeNames[model_.smallMode]);
  labLarge_->setText(kScalingModeNames[model_.largeMode]);
  panBorderColor_->setStyleSheet(QString("background-color: %1").arg(FromRgb(model_.borderColor).name()));
}

void DlgRescale::Left(void (RescaleDialog::*exit)()) {
  Take();
  (model_.*exit)();
  Show();
}

void DlgRescale::ChooseResolution(QPushButton* button) {
  QStringList names;
  for (const QPstVideoRes& res : kResolutionPresets) names << res.name;
  const int chosen = PopupChoice(button, names);
  if (chosen < 0) return;
  Take();
  model_.SelectResolution(chosen);
  Show();
}

void DlgRescale::ChooseMode(int32_t RescaleDialog::*mode, QPushButton* button) {
  QStringList names;
  for (const char* name : kScalingModeNames) names << name;
  const int chosen = PopupChoice(button, names);
  if (chosen >= 0) model_.*mode = chosen;
  Show();
}

void DlgRescale::ChooseColour() {
  const QColor colour = QColorDialog::getColor(FromRgb(model_.borderColor), this, "Border color");
  if (colour.isValid()) model_.borderColor = int32_t(colour.rgb() & 0xFFFFFF);
  Show();
}

void DlgRescale::accept() {
  Take();
  model_.Accept(def_);
  QDialog::accept();
}

DlgCrop::DlgCrop(OutputDef& def, const QImage& preview, QWidget* parent) : QDialog(parent), def_(def), model_(def) {
  setWindowTitle("Crop");
  auto* layout = new QHBoxLayout(this);
  auto* column = new QVBoxLayout;
  auto* margins = new QGroupBox("Margins (in pixels)", this);
  auto* form = new QFormLayout(margins);
  const char* names[4] = {"Left", "Top", "Right", "Bottom"};
  for (int i = 0; i < 4; ++i) {
    margins_[i] = NumberField(margins, names[i]);
    form->addRow(names[i], margins_[i]);
    connect(margins_[i], &QLineEdit::editingFinished, this, &DlgCrop::Left);
  }
  column->addWidget(margins);
  auto* result = new QFormLayout;
  labWidth_ = new QLabel(this);
  labHeight_ = new QLabel(this);
  labRatio_ = new QLabel(this);
  result->addRow("Width", labWidth_);
  result->addRow("Height", labHeight_);
  result->addRow("Ratio", labRatio_);
  column->addLayout(result);
  chkResize_ = new QCheckBox(Qs(model_.ResizeBackCaption()), this);
  chkResize_->setChecked(model_.resizeBack);
  column->addWidget(chkResize_);
  auto* btnNoCrop = new QPushButton("No Cropping", this);
  btnNoCrop->setAutoDefault(false);
  column->addWidget(btnNoCrop);
  AddOkCancel(this, column);
  layout->addLayout(column);
  preview_ = new CropPreview(preview, model_, this);
  layout->addWidget(preview_, 1);
  connect(btnNoCrop, &QPushButton::clicked, this, [this] {
    model_.NoCropping();
    Show();
  });
  Show();
}

void DlgCrop::Left() {
  std::string* fields[4] = {&model_.left, &model_.top, &model_.right, &model_.bottom};
  for (int i = 0; i < 4; ++i) *fields[i] = Ss(margins_[i]->text());
  model_.MarginExit();
  Show();
}

void DlgCrop::Show() {
  const std::string* fields[4] = {&model_.left, &model_.top, &model_.right, &model_.bottom};
  for (int i = 0; i < 4; ++i) margins_[i]->setText(Qs(*fields[i]));
  labWidth_->setNum(model_.ResultWidth());
  labHeight_->setNum(model_.ResultHeight());
  labRatio_->setText(Qs(model_.RatioText()));
  preview_->update();
}

void DlgCrop::accept() {
  Left();
  model_.resizeBack = chkResize_->isChecked();
  model_.Accept(def_);
  QDialog::accept();
}

DlgRotate::DlgRotate(OutputDef& def, QWidget* parent) : QDialog(parent), def_(def), model_(def) {
  setWindowTitle("Rotate Image");
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < ROT_BUTTON_COUNT; ++i) {
    buttons_[i] = new QRadioButton(kRotateButtons[i].caption, this);
    buttons_[i]->setChecked(kRotateButtons[i].rotation == model_.rotation);
    layout->addWidget(buttons_[i]);
  }
  AddOkCancel(this, layout);
}

void DlgRotate::accept() {
  for (int i = 0; i < ROT_BUTTON_COUNT; ++i)
    if (buttons_[i]->isChecked()) model_.Press(i);
  model_.Accept(def_);
  QDialog::accept();
}

}  // namespace rf::ui
