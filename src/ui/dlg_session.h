// "Select Session Contents" (TfrmSesOpt): which sections of a session to save or load.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QCheckBox;

namespace rf::ui {

// The sections as flags, the way the dialog hands them back.
inline constexpr uint32_t SES_OUTPUT = 1;     // "Output Settings"
inline constexpr uint32_t SES_FILES = 2;      // "List of Files (both video and audio)"
inline constexpr uint32_t SES_EFFECTS = 4;    // "Video Effects"
inline constexpr uint32_t SES_START_NEW = 8;  // "Start new session" (loading only)

class TfrmSesOpt : public QDialog {
  Q_OBJECT
 public:
  // question captions the group ("Which sections to save?"); loading shows "Start new session".
  TfrmSesOpt(const std::string& question, bool loading, uint32_t& flags, QWidget* parent = nullptr);
  void accept() override;

 private:
  uint32_t& flags_;
  QCheckBox* boxes_[4];
};

}  // namespace rf::ui
