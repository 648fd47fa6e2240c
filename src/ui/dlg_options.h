// "Options": the preferences a user changes from the program.
#pragma once

#include <QDialog>

#include "persistence/prefs.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace rf::ui {

class DlgOptions : public QDialog {
 public:
  DlgOptions(Preferences& prefs, QWidget* parent);

 private:
  void Store();
  void ShowColor();

  Preferences& prefs_;
  int32_t backColor_;
  QDoubleSpinBox* spnFps_;
  QCheckBox *chkDetect_, *chkOverwrite_, *chkPlayOutput_, *chkSignal_;
  QLineEdit *edVideoExt_, *edAudioExt_, *edSound_, *edTemp_;
  QSpinBox *spnMinutes_, *spnCache_;
  QComboBox *cbPreview_, *cbVideoUnit_, *cbAudioUnit_;
  QPushButton* btnColor_;
};

}  // namespace rf::ui
