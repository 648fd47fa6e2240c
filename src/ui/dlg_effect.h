// The parameter dialogs of the video effects: one, two or three sliders, and the deinterlace
// choices, over the dialog record of the effect framework.
#pragma once

#include <QDialog>
#include <vector>

#include "effects/fndialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSlider;

namespace rf::ui {

// The slider dialogs ("Red", "Green", "Blue" with "&Link" and "Make Equal"; one value; two linked
// values). The values land in the record only when accepted.
class TfrmDlgValues : public QDialog {
  Q_OBJECT
 public:
  // count is 1, 2 or 3; linked is the remembered "&Link" state of this dialog kind.
  TfrmDlgValues(QDlgData& record, int count, bool* linked, QWidget* parent = nullptr);
  void accept() override;

 private:
  void Moved(int index, int position);
  void LinkToggled(bool on);
  void MakeEqual();
  void Show();

  QDlgData& data_;
  DlgSlider slider_;
  DlgLink link_;
  bool* linked_;
  double values_[3];
  std::vector<QSlider*> sliders_;
  std::vector<QLineEdit*> fields_;
  QCheckBox* chkLink_ = nullptr;
};

// "Eliminate" and "Generate New Line:".
class TfrmDlgDeint : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDlgDeint(QDlgData& record, QWidget* parent = nullptr);
  void accept() override;

 private:
  QDlgData& data_;
  QComboBox* eliminate_;
  QComboBox* generate_;
};

// The framework's window interface answered with the windows above.
class QtEffectDialogs : public EffectDialogs {
 public:
  explicit QtEffectDialogs(QWidget* parent) : parent_(parent) {}
  bool ThreeValues(QDlgData& data) override;
  bool OneValue(QDlgData& data) override;
  bool TwoValues(QDlgData& data) override;
  bool Deinterlace(QDlgData& data) override;

 private:
  QWidget* parent_;
};

}  // namespace rf::ui
