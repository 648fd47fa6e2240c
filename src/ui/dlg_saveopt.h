// The format options of an output: the choice dialogs of the still formats, the HAV settings,
// and the hand-over to the slider, AVI and MPEG windows.
#pragma once

#include <QDialog>
#include <vector>

#include "formats/ffsavedlg.h"

class QButtonGroup;
class QRadioButton;
class QSpinBox;

namespace rf::ui {

// A titled list of exclusive choices ("TGA Compression", "TIFF Compression", ...).
class TfrmChoice : public QDialog {
  Q_OBJECT
 public:
  TfrmChoice(const std::string& title, const std::vector<FFChoiceItem>& items, int32_t& value,
             QWidget* parent = nullptr);
  void accept() override;

 private:
  const std::vector<FFChoiceItem>& items_;
  int32_t& value_;
  std::vector<QRadioButton*> buttons_;
};

// "HAV Settings": the compression method and the key frame interval.
class TfrmHavSettings : public QDialog {
  Q_OBJECT
 public:
  TfrmHavSettings(QffSaveOpt& opts, QWidget* parent = nullptr);
  void accept() override;

 private:
  QffSaveOpt& opts_;
  QRadioButton* radFast_;
  QSpinBox* edKeyFrames_;
};

// The format options' window interface answered with real windows over parent.
class QtSaveOptionDialogs : public SaveOptionDialogs {
 public:
  explicit QtSaveOptionDialogs(QWidget* parent) : parent_(parent) {}
  bool Choice(const std::string& title, const std::vector<FFChoiceItem>& items, int32_t& value) override;
  bool Value(QDlgData& data) override;
  bool MovieOptions(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth) override;

 private:
  QWidget* parent_;
};

// "MPEG Compression" on the MPEG format and rate of opts.
bool EditMpegOptions(QWidget* parent, QffSaveOpt& opts);

// The AVI compressor choice for a picture of this size and depth, starting from and returning
// into avi; the process's current compressor is left as it was.
bool EditAviSettings(QWidget* parent, aviCodecsRec& avi, int32_t width, int32_t height, int32_t depth);

}  // namespace rf::ui
