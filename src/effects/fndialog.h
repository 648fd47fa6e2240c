// The parameter dialogs of the effects without their windows: the record they show, the slider
// arithmetic, the link between sliders, and the dialog flow of FnDialog.
#pragma once

#include <cstdint>
#include <string>

#include "effects/fnparams.h"

namespace rf {

// What a parameter dialog shows and returns.
struct QDlgData {
  std::string caption;
  std::string label1;
  std::string label2;
  double minimum = 0;
  double maximum = 0;
  double smallStep = 1;
  double largeStep = 10;
  int32_t decimals = 0;
  double values[3] = {0, 0, 0};
};

// One slider: positions 0..positions() over minimum..maximum in steps of the small step.
class DlgSlider {
 public:
  DlgSlider(double minimum, double maximum, double smallStep, double largeStep, int32_t decimals);
  int32_t positions() const { return positions_; }
  bool enabled() const { return maximum_ != minimum_; }
  int32_t pageStep() const;
  // The value at a position: truncated to the decimals and kept within the range.
  double ValueAt(int32_t position) const;
  // Clamps a value to the range and gives the position that shows it.
  double Clamp(double value) const;
  int32_t PositionOf(double value) const;
  // The value in fixed notation with the dialog's decimals, as the field beside the slider shows.
  std::string Text(double value) const;

 private:
  double minimum_, maximum_, largeStep_;
  int32_t decimals_;
  int32_t positions_;
};

// The "&Link" check box: while linked, moving one slider moves the others by the same change
// from the values recorded when the link was set.
class DlgLink {
 public:
  explicit DlgLink(int32_t count) : count_(count) {}
  void Record(const double* values);
  // Slider index moved to value; the other values follow.
  void Moved(int32_t index, double value, double* values, const DlgSlider& slider) const;
  // "Make Equal": green and blue take red's value, and the values are recorded anew.
  void MakeEqual(double* values);

 private:
  int32_t count_;
  double recorded_[3] = {0, 0, 0};
};

// The link check boxes are remembered for as long as the program runs, one per dialog kind.
bool& FnLinkThreeValues();
bool& FnLinkTwoValues();

// The windows behind the dialogs; the desktop program shows real ones, tests answer directly.
// Each returns true when the user accepted, with the chosen values in data.values.
class EffectDialogs {
 public:
  virtual ~EffectDialogs() = default;
  virtual bool ThreeValues(QDlgData& data) = 0;
  virtual bool OneValue(QDlgData& data) = 0;
  virtual bool TwoValues(QDlgData& data) = 0;
  virtual bool Deinterlace(QDlgData& data) = 0;
};

// Builds the dialog record for an effect from its parameter ranges and the stored or default
// values.
QDlgData FnDialogData(int32_t id, const QFnParams* stored);

// Runs the effect's dialog. A nil params gets a new zeroed record with the defaults
// ("impress.FnDialog.fnParams"); a declined dialog leaves an existing record unchanged and frees
// a new one.
bool FnDialog(int32_t id, QFnParams*& params, EffectDialogs& dialogs);

}  // namespace rf
