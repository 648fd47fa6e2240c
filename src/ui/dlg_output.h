// "Define Output" (TfrmOutput): the files, video and audio of the output on three tabs, over the
// output dialog's logic; OK copies the edited definition back.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <vector>

#include "engine/outdlg.h"
#include "formats/ffdesc.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rf::ui {

class TfrmOutput : public QDialog {
  Q_OBJECT
 public:
  // preview: the picture the crop window shows (may be null).
  TfrmOutput(OutputDef& def, const QImage& preview, QWidget* parent = nullptr);
  void accept() override;

 private:
  QWidget* FilesTab();
  QWidget* VideoTab();
  QWidget* AudioTab();
  void TakeTexts();
  void Show();
  void ShowFiles();
  void ShowVideo();
  void ShowAudio();
  void Browse(bool video);
  void ChooseFormat(bool video, int index);
  void Popup(QPushButton* button, const QStringList& texts, const std::function<void(int)>& chosen);
  void FormatOptions();

  OutputDef& def_;
  OutputDialog model_;
  QImage preview_;
  bool showing_ = false;
  std::vector<QffDesc> videoFormats_, audioFormats_;
  // Files.
  QButtonGroup* chkOutMode_;
  QLineEdit* edVidFile_;
  QPushButton* btnVidBrowse_;
  QComboBox* lstVideoExt_;
  QLineEdit* edAudFile_;
  QPushButton* btnAudBrowse_;
  QComboBox* lstAudioExt_;
  // Video.
  QLineEdit* edFPS_;
  QCheckBox* chkAutoFPS_;
  QCheckBox* chkKeepDuration_;
  QLabel* labResolution_;
  QLabel* labCrop_;
  QLabel* labRotation_;
  QLabel* labFinalSize_;
  QCheckBox* chkGrayscale_;
  QCheckBox* chkDither_;
  QCheckBox* chkSinglePal_;
  QLineEdit* edColorDepth_;
  QCheckBox* chkBackwards_;
  QLabel* labVideoCodec_;
  // Audio.
  QLineEdit* edAudioRate_;
  QCheckBox* chkAutoFreq_;
  QRadioButton* radAudioStereo_;
  QRadioButton* radAudioMono_;
  QCheckBox* chkAutoChan_;
  QRadioButton* radAudio16bit_;
  QRadioButton* radAudio8bit_;
  QCheckBox* chkAutoBits_;
  QLineEdit* edInter_;
  QCheckBox* chkAutoInter_;
};

}  // namespace rf::ui
