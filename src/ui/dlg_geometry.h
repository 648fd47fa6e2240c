// The geometry windows of the output: "Video Size Settings", "Crop" and "Rotate Image".
#pragma once

#include <QDialog>
#include <QImage>

#include "engine/geodlg.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rf::ui {

class DlgRescale : public QDialog {
  Q_OBJECT
 public:
  DlgRescale(OutputDef& def, QWidget* parent = nullptr);
  void accept() override;

 private:
  void Take();
  void Show();
  void Left(void (RescaleDialog::*exit)());
  void ChooseMode(int32_t RescaleDialog::*mode, QPushButton* button);
  void ChooseResolution(QPushButton* button);
  void ChooseColour();

  OutputDef& def_;
  RescaleDialog model_;
  QLineEdit* edWidth_;
  QLineEdit* edHeight_;
  QCheckBox* chkFixed_;
  QLineEdit* edRatio_;
  QLineEdit* edDivisor_;
  QCheckBox* chkAutomatic_;
  QRadioButton* radResample_;
  QRadioButton* radResize_;
  QLabel* labSmall_;
  QLabel* labLarge_;
  QPushButton* panBorderColor_;
};

class DlgCrop : public QDialog {
  Q_OBJECT
 public:
  // preview: a picture of the output shown under the crop frame (may be null).
  DlgCrop(OutputDef& def, const QImage& preview, QWidget* parent = nullptr);
  void accept() override;

 private:
  void Left();
  void Show();

  OutputDef& def_;
  CropDialog model_;
  QLineEdit* margins_[4];
  QLabel* labWidth_;
  QLabel* labHeight_;
  QLabel* labRatio_;
  QCheckBox* chkResize_;
  QWidget* preview_;
};

class DlgRotate : public QDialog {
  Q_OBJECT
 public:
  DlgRotate(OutputDef& def, QWidget* parent = nullptr);
  void accept() override;

 private:
  OutputDef& def_;
  RotateDialog model_;
  QRadioButton* buttons_[ROT_BUTTON_COUNT];
};

}  // namespace rf::ui
