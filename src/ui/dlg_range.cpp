// The effect range window: two positions with their value menus and follow flags.
#include "ui/dlg_range.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/miscprocs.h"
#include "ui/dlg_common.h"

namespace rf::ui {

std::string RangeText(const RangePositions& pos, int32_t frame) {
  // Positions past the list (the open end) have no time; they stay frame numbers.
  if (pos.list && frame < pos.list->totalQuants) return SecToStr(SEC_LIST, MMBlock_GetTimeByQuant(*pos.list, frame));
  return std::to_string(frame);
}

bool RangeFrame(const RangePositions& pos, const std::string& text, int32_t& frame) {
  const QString trimmed = Qs(text).trimmed();
  if (trimmed.isEmpty()) return false;
  bool ok = false;
  const qlonglong number = trimmed.toLongLong(&ok);
  if (ok) {
    if (number < 0 || number > FN_RANGE_LAST) return false;
    frame = int32_t(number);
    return true;
  }
  if (!pos.list || !trimmed.contains(':')) return false;
  const double seconds = StrToSec(Ss(trimmed), -1);
  if (seconds < 0) return false;
  frame = MMBlock_GetQuantByTime(*pos.list, seconds);
  return true;
}

DlgRange::DlgRange(std::vector<QFnEntry*> entries, const RangePositions& pos, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)), pos_(pos) {
  setWindowTitle("Video Effects Range");
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  const QFnEntry& shown = *entries_.front();
  struct Row {
    const char* caption;
    const char* button;
    QLineEdit*& field;
    QCheckBox*& flex;
    int32_t value, flag;
    bool end;
  } rows[] = {{"&Starting Position", "Get &Value...", edStart_, chkFlexStart_, shown.first, shown.flexStart, false},
              {"&Ending Position", "Get V&alue...", edEnd_, chkFlexEnd_, shown.last, shown.flexEnd, true}};
  QList<QWidget*> order;
  int line = 0;
  for (Row& row : rows) {
    row.field = new QLineEdit(Qs(RangeText(pos_, row.value)), this);
    auto* label = new QLabel(row.caption, this);
    label->setBuddy(row.field);
    auto* button = new QPushButton(row.button, this);
    button->setAutoDefault(false);
    button->setAccessibleName(QString(row.caption).remove('&') + ": Get Value...");
    row.flex = new QCheckBox("Adjust position when files are inserted or deleted", this);
    row.flex->setAccessibleName(QString(row.caption).remove('&') + ": adjust when files are inserted or deleted");
    row.flex->setChecked(row.flag != 0);
    grid->addWidget(label, line, 0);
    grid->addWidget(row.field, line, 1);
    grid->addWidget(button, line, 2);
    grid->addWidget(row.flex, line + 1, 1, 1, 2);
    line += 2;
    QLineEdit* field = row.field;
    const bool end = row.end;
    connect(button, &QPushButton::clicked, this, [this, button, field, end] { Choose(button, field, end); });
    order << row.field << button << row.flex;
  }
  AddOkCancel(this, layout);
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  connect(this, &QDialog::accepted, this, &DlgRange::Store);
}

void DlgRange::Choose(QPushButton* button, QLineEdit* field, bool end) {
  const QStringList texts = end ? QStringList{"Maximum Value", "Current frame", "End of selected file(s)"}
                                : QStringList{"First Frame", "Current Frame", "Start of selected file(s)"};
  const int32_t values[2][3] = {{0, pos_.current, pos_.selectedStart}, {FN_RANGE_LAST, pos_.current, pos_.selectedEnd}};
  QMenu menu(button);
  for (int i = 0; i < texts.size(); ++i) menu.addAction(texts[i])->setData(i);
  const QAction* chosen = menu.exec(button->mapToGlobal(QPoint(0, button->height())));
  if (chosen) field->setText(Qs(RangeText(pos_, values[end][chosen->data().toInt()])));
}

void DlgRange::Store() {
  int32_t first = 0, last = FN_RANGE_LAST;
  if (!RangeFrame(pos_, Ss(edStart_->text()), first)) first = 0;
  if (!RangeFrame(pos_, Ss(edEnd_->text()), last)) last = FN_RANGE_LAST;
  for (QFnEntry* e : entries_) {
    e->first = first;
    e->last = last;
    e->flexStart = chkFlexStart_->isChecked() ? -1 : 0;
    e->flexEnd = chkFlexEnd_->isChecked() ? -1 : 0;
  }
}

bool ShowRangeDialog(QWidget* parent, std::vector<QFnEntry*> entries, const RangePositions& pos) {
  if (entries.empty()) return false;
  DlgRange dialog(std::move(entries), pos, parent);
  return RunModal(dialog);
}

}  // namespace rf::ui
