// The parameter dialogs of the video effects.
#include "ui/dlg_effect.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "ui/dlg_common.h"

namespace rf::ui {
namespace {

constexpr const char* kColourNames[3] = {"Red", "Green", "Blue"};

}  // namespace

TfrmDlgValues::TfrmDlgValues(QDlgData& record, int count, bool* linked, QWidget* parent)
    : QDialog(parent),
      data_(record),
      slider_(record.minimum, record.maximum, record.smallStep, record.largeStep, record.decimals),
      link_(count),
      linked_(linked),
      values_{record.values[0], record.values[1], record.values[2]} {
  setWindowTitle(Qs(record.caption));
  auto* layout = new QVBoxLayout(this);
  auto* rows = new QFormLayout;
  for (int i = 0; i < count; ++i) {
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, slider_.positions());
    slider->setSingleStep(1);
    slider->setPageStep(slider_.pageStep());
    slider->setEnabled(slider_.enabled());
    slider->setMinimumWidth(240);
    auto* field = new QLineEdit(this);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setMaximumWidth(80);
    auto* row = new QHBoxLayout;
    row->addWidget(slider);
    row->addWidget(field);
    const QString label = count == 3 ? kColourNames[i] : count == 2 ? Qs(i == 0 ? record.label1 : record.label2) : "";
    slider->setAccessibleName(count == 1 ? Qs(record.label1) : label);
    rows->addRow(label, row);
    sliders_.push_back(slider);
    fields_.push_back(field);
    connect(slider, &QSlider::valueChanged, this, [this, i](int position) { Moved(i, position); });
  }
  if (count == 2) {
    layout->addLayout(rows);
  } else {
    auto* group = new QGroupBox(Qs(record.label1), this);
    group->setLayout(rows);
    layout->addWidget(group);
  }
  if (count > 1) {
    auto* options = new QHBoxLayout;
    chkLink_ = new QCheckBox("&Link", this);
    options->addWidget(chkLink_);
    if (count == 3) {
      auto* equal = new QPushButton("Make Equal", this);
      equal->setAutoDefault(false);
      options->addWidget(equal);
      connect(equal, &QPushButton::clicked, this, &TfrmDlgValues::MakeEqual);
    }
    layout->addLayout(options);
    chkLink_->setChecked(*linked_);
    link_.Record(values_);
    connect(chkLink_, &QCheckBox::toggled, this, &TfrmDlgValues::LinkToggled);
  }
  AddOkCancel(this, layout);
  for (int i = 0; i < count; ++i) values_[i] = slider_.Clamp(values_[i]);
  Show();
}

void TfrmDlgValues::Moved(int index, int position) {
  const double value = slider_.ValueAt(position);
  if (chkLink_ && chkLink_->isChecked())
    link_.Moved(index, value, values_, slider_);
  else
    values_[index] = value;
  Show();
}

void TfrmDlgValues::LinkToggled(bool on) {
  if (on) link_.Record(values_);
}

void TfrmDlgValues::MakeEqual() {
  link_.MakeEqual(values_);
  Show();
}

// Puts the values into the sliders and fields without the sliders reporting a move.
void TfrmDlgValues::Show() {
  for (size_t i = 0; i < sliders_.size(); ++i) {
    const QSignalBlocker quiet(sliders_[i]);
    if (slider_.PositionOf(values_[i]) != sliders_[i]->value()) sliders_[i]->setValue(slider_.PositionOf(values_[i]));
    fields_[i]->setText(Qs(slider_.Text(values_[i])));
  }
}

void TfrmDlgValues::accept() {
  for (size_t i = 0; i < sliders_.size(); ++i) data_.values[i] = values_[i];
  if (chkLink_) *linked_ = chkLink_->isChecked();
  QDialog::accept();
}

TfrmDlgDeint::TfrmDlgDeint(QDlgData& record, QWidget* parent) : QDialog(parent), data_(record) {
  setWindowTitle(Qs(record.caption));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  eliminate_ = new QComboBox(this);
  eliminate_->addItems({"Odd Lines", "Even Lines"});
  eliminate_->setCurrentIndex(record.values[0] != 0 ? 1 : 0);
  generate_ = new QComboBox(this);
  generate_->addItems({"Interpolate (better)", "Duplicate (faster)"});
  generate_->setCurrentIndex(record.values[1] != 0 ? 1 : 0);
  eliminate_->setAccessibleName("Eliminate");
  generate_->setAccessibleName("Generate New Line:");
  form->addRow("Eliminate", eliminate_);
  form->addRow("Generate New Line:", generate_);
  layout->addLayout(form);
  AddOkCancel(this, layout);
}

void TfrmDlgDeint::accept() {
  data_.values[0] = eliminate_->currentIndex();
  data_.values[1] = generate_->currentIndex();
  QDialog::accept();
}

bool QtEffectDialogs::ThreeValues(QDlgData& data) {
  TfrmDlgValues dialog(data, 3, &FnLinkThreeValues(), parent_);
  return RunModal(dialog);
}

bool QtEffectDialogs::OneValue(QDlgData& data) {
  TfrmDlgValues dialog(data, 1, nullptr, parent_);
  return RunModal(dialog);
}

bool QtEffectDialogs::TwoValues(QDlgData& data) {
  TfrmDlgValues dialog(data, 2, &FnLinkTwoValues(), parent_);
  return RunModal(dialog);
}

bool QtEffectDialogs::Deinterlace(QDlgData& data) {
  TfrmDlgDeint dialog(data, parent_);
  return RunModal(dialog);
}

}  // namespace rf::ui
