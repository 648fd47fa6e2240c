// "Video Effects Range": the frame range and follow flags of the selected effect entries.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "editlist/mmedit.h"
#include "effects/fnchain.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace rf::ui {

// The positions the "Get Value..." menus offer; list, when set, shows positions as times of it.
struct RangePositions {
  int32_t current = 0;
  int32_t selectedStart = 0, selectedEnd = 0;
  const MMBlockList* list = nullptr;
};

// A frame as the field shows it, and the field's text back; false when the text is no position.
std::string RangeText(const RangePositions& pos, int32_t frame);
bool RangeFrame(const RangePositions& pos, const std::string& text, int32_t& frame);

class DlgRange : public QDialog {
 public:
  DlgRange(std::vector<QFnEntry*> entries, const RangePositions& pos, QWidget* parent);

 private:
  void Choose(QPushButton* button, QLineEdit* field, bool end);
  void Store();

  std::vector<QFnEntry*> entries_;
  RangePositions pos_;
  QLineEdit *edStart_, *edEnd_;
  QCheckBox *chkFlexStart_, *chkFlexEnd_;
};

}  // namespace rf::ui
