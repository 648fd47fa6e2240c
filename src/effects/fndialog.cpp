// Dialog records, slider arithmetic and the flow of the effect parameter dialogs.
#include "effects/fndialog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/fnrun.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kMaxPositions = 2147483631;

double RoundHalfEven(double v) { return std::nearbyint(v); }

std::string LabelOf(int32_t id) {
  switch (id) {
    case FN_ADJUST_RGB:
    case FN_BRIGHTNESS:
    case FN_CONTRAST:
    case FN_NOISE_GAUSSIAN:
    case FN_NOISE_INTERFERENCE:
    case FN_NOISE_UNIFORM:
    case FN_SATURATION:
      return "Percent";
    case FN_CHAOS:
    case FN_OIL_PAINTING:
      return "Radius in pixels";
    case FN_DESPECKLE:
      return "Tolerance";
    case FN_HUE:
      return "Degrees";
    case FN_PIXELIZE:
      return "Block width in pixels";
    default:
      return "Value";
  }
}

}  // namespace

DlgSlider::DlgSlider(double minimum, double maximum, double smallStep, double largeStep, int32_t decimals)
    : minimum_(minimum), maximum_(maximum), largeStep_(largeStep), decimals_(std::clamp(decimals, 0, 10)) {
  const double steps = smallStep == 0 ? 0 : std::trunc((maximum - minimum) / smallStep);
  positions_ = int32_t(std::clamp(steps, 0.0, double(kMaxPositions)));
}

int32_t DlgSlider::pageStep() const {
  if (!enabled()) return 0;
  return int32_t(RoundHalfEven(positions_ * largeStep_ / (maximum_ - minimum_)));
}

double DlgSlider::ValueAt(int32_t position) const {
  if (positions_ == 0) return minimum_;
  const double scale = std::pow(10.0, decimals_);
  const double v = std::trunc((minimum_ + (maximum_ - minimum_) * position / positions_) * scale) / scale;
  return Clamp(v);
}

double DlgSlider::Clamp(double value) const { return std::clamp(value, minimum_, maximum_); }

int32_t DlgSlider::PositionOf(double value) const {
  if (!enabled()) return 0;
  return int32_t(RoundHalfEven((Clamp(value) - minimum_) * positions_ / (maximum_ - minimum_)));
}

std::string DlgSlider::Text(double value) const { return FnFixed(value, decimals_); }

void DlgLink::Record(const double* values) { std::copy(values, values + count_, recorded_); }

void DlgLink::Moved(int32_t index, double value, double* values, const DlgSlider& slider) const {
  values[index] = slider.Clamp(value);
  const double change = values[index] - recorded_[index];
  for (int32_t j = 0; j < count_; ++j)
    if (j != index) values[j] = slider.Clamp(recorded_[j] + change);
}

void DlgLink::MakeEqual(double* values) {
  for (int32_t j = 1; j < count_; ++j) values[j] = values[0];
  Record(values);
}

bool& FnLinkThreeValues() {
  static bool linked = false;
  return linked;
}

bool& FnLinkTwoValues() {
  static bool linked = false;
  return linked;
}

QDlgData FnDialogData(int32_t id, const QFnParams* stored) {
  const FnParamSpec first = FnParamRange(id, 0), second = FnParamRange(id, 1);
  QDlgData d;
  d.caption = FnName(id);
  d.minimum = first.minimum;
  d.maximum = first.maximum;
  for (int i = 0; i < 3; ++i) d.values[i] = stored ? stored->values[i] : FnParamRange(id, i).defaultValue;
  if (id == FN_CHAOS || id == FN_OIL_PAINTING) d.largeStep = 1;
  if (id == FN_GAMMA) {
    d.smallStep = 0.01;
    d.largeStep = 1;
    d.decimals = 2;
  }
  const std::string label = LabelOf(id);
  d.label1 = label + " (" + FnFixed(first.minimum, d.decimals) + ".." + FnFixed(first.maximum, d.decimals) + ")";
  const std::string label2 = id == FN_PIXELIZE ? "Block height in pixels" : "Value";
  d.label2 = label2 + " (" + FnFixed(second.minimum, d.decimals) + ".." + FnFixed(second.maximum, d.decimals) + ")";
  return d;
}

bool FnDialog(int32_t id, QFnParams*& params, EffectDialogs& dialogs) {
  const bool isNew = params == nullptr;
  bool accepted = false;
  Guarded("impress.FnDialog", [&] {
    if (isNew) _memalloc_(params, int32_t(sizeof(QFnParams)), MEM_NEW, "impress.FnDialog.fnParams");
    params->inPlace = FnInPlace(id) ? -1 : 0;
    params->paramSize = FnParamCount(id) * 8 + 4;
    if (isNew)
      for (int i = 0; i < 8; ++i) params->values[i] = FnParamRange(id, i).defaultValue;

    QDlgData data = FnDialogData(id, isNew ? nullptr : params);
    switch (FnDialogKindOf(id)) {
      case FnDialogKind::None:
        accepted = true;
        return;
      case FnDialogKind::ThreeValues:
        accepted = dialogs.ThreeValues(data);
        break;
      case FnDialogKind::OneValue:
        accepted = dialogs.OneValue(data);
        break;
      case FnDialogKind::TwoValues:
        accepted = dialogs.TwoValues(data);
        break;
      case FnDialogKind::Deinterlace:
        accepted = dialogs.Deinterlace(data);
        break;
    }
    if (!accepted) return;
    std::copy(data.values, data.values + 3, params->values);
    if (id != FN_DEINTERLACE) FnMakeStr(id, *params);
  });
  if (!accepted && isNew) MemFree(params);
  return accepted;
}

}  // namespace rf
