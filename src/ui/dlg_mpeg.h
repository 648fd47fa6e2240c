// "MPEG Compression": the format and data rate of MPEG outputs.
#pragma once

#include <QDialog>

#include "formats/ff_mpg.h"

class QComboBox;
class QRadioButton;
class QSpinBox;

namespace rf::ui {

class DlgMPG : public QDialog {
  Q_OBJECT
 public:
  explicit DlgMPG(QMpgDlgState& state, QWidget* parent = nullptr);
  void accept() override;

 private:
  void Show();

  QMpgDlgState& state_;
  QMpgDlgState edit_;
  QRadioButton* radMpeg1_;
  QRadioButton* radMpeg2_;
  QComboBox* cbPresets_;
  QSpinBox* edBitRate_;
  QSpinBox* edByteRate_;
};

// The window DlgMPG of the MPEG unit shows, over parent.
class QtMpgDialogWindow : public MpgDialogWindow {
 public:
  explicit QtMpgDialogWindow(QWidget* parent) : parent_(parent) {}
  bool Run(QMpgDlgState& state) override;

 private:
  QWidget* parent_;
};

}  // namespace rf::ui
