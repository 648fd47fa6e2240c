// "Select AVI Video Format": the compressor choice of AVI outputs, and the compressors' own about
// boxes and configure dialogs.
#pragma once

#include <QDialog>

#include "formats/ff_avi.h"
#include "platform/vcodec.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollBar;
class QSpinBox;

namespace rf::ui {

class DlgAVI : public QDialog {
  Q_OBJECT
 public:
  explicit DlgAVI(AviDialogModel& model, QWidget* parent = nullptr);
  void accept() override;

 private:
  void ShowChanged(int show);
  void Selected(int row);
  void FillList();
  void ShowSelection();

  AviDialogModel& model_;
  QComboBox* cbShow_;
  QListWidget* lstCodecs_;
  QLabel* labNoCodec_;
  QLabel* labFourCC_;
  QLabel* labEncoder_;
  QLabel* labBefore_;
  QLabel* labAfter_;
  QScrollBar* sbQuality_;
  QLabel* labQuality_;
  QCheckBox* chkKeyFrames_;
  QSpinBox* edKeyFrames_;
  QCheckBox* chkDataRate_;
  QSpinBox* edDataRate_;
  QPushButton* btnConfigure_;
  QPushButton* btnAbout_;
};

// The window AviSelectVC shows, over parent.
class QtAviDialogView : public AviDialogView {
 public:
  explicit QtAviDialogView(QWidget* parent) : parent_(parent) {}
  bool Run(AviDialogModel& model) override;

 private:
  QWidget* parent_;
};

// A compressor's about box and configure dialog (one spin box per option).
class QtCodecDialogs : public IcDialogs {
 public:
  explicit QtCodecDialogs(QWidget* parent) : parent_(parent) {}
  void about(const std::string& name, const std::string& text) override;
  bool configure(const std::string& name, std::vector<IcOption>& options) override;

 private:
  QWidget* parent_;
};

}  // namespace rf::ui
