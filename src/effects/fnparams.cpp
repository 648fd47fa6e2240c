// Effect names, the parameter texts shown in the effects list, and parameter record copies.
#include "effects/fnparams.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

const char* const kNames[] = {
    "Adjust RGB",
    "Blur",
    "Brightness",
    "Chaos",
    "Contrast",
    "Deinterlace",
    "Despeckle",
    "Edge enhance",
    "Emboss",
    "Equalize",
    "Find edges",
    "Flip - horizontal",
    "Flip - vertical",
    "Gamma correction",
    "Grayscale",
    "Hue",
    "Mirror - horizontal",
    "Mirror - vertical",
    "Negative",
    "Noise - gaussian",
    "Noise - interference",
    "Noise - uniform",
    "Oil painting",
    "Pixelize",
    "Posterize",
    "Saturation",
    "Sharpen",
    "Soften",
    "Solarize",
    "Swap red and blue",
    "Trace contour",
};
constexpr int32_t kCount = int32_t(sizeof kNames / sizeof kNames[0]);
static_assert(kCount == 31);

}  // namespace

std::string FnFixed(double v, int32_t decimals) {
  char text[64];
  if (!std::isfinite(v) || std::fabs(v) > 1e15) {
    std::snprintf(text, sizeof text, "%g", v);
    return text;
  }
  const double scale = std::pow(10.0, decimals);
  const double rounded = std::round(v * scale) / scale + 0.0;  // + 0.0 turns -0 into 0
  std::snprintf(text, sizeof text, "%.*f", int(decimals), rounded);
  return text;
}

FnDialogKind FnDialogKindOf(int32_t id) {
  switch (id) {
    case FN_ADJUST_RGB:
    case FN_BRIGHTNESS:
    case FN_CONTRAST:
    case FN_GAMMA:
    case FN_NOISE_GAUSSIAN:
    case FN_NOISE_UNIFORM:
    case FN_POSTERIZE:
    case FN_SOLARIZE:
      return FnDialogKind::ThreeValues;
    case FN_CHAOS:
    case FN_DESPECKLE:
    case FN_HUE:
    case FN_NOISE_INTERFERENCE:
    case FN_OIL_PAINTING:
    case FN_SATURATION:
      return FnDialogKind::OneValue;
    case FN_PIXELIZE:
      return FnDialogKind::TwoValues;
    case FN_DEINTERLACE:
      return FnDialogKind::Deinterlace;
    default:
      return FnDialogKind::None;
  }
}

int32_t FnCount() { return kCount; }

std::string FnName(int32_t id) { return id >= 1 && id <= kCount ? kNames[id - 1] : std::string(); }

std::string ShortStrGet(const uint8_t* field) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

void ShortStrSet(uint8_t* field, std::string_view text, size_t maxLength) {
  const size_t n = std::min(text.size(), maxLength);
  field[0] = uint8_t(n);
  std::memcpy(field + 1, text.data(), n);
}

void FnMakeStr(int32_t id, QFnParams& params) {
  const int decimals = id == FN_GAMMA ? 2 : 0;
  auto v = [&](int i) { return FnFixed(params.values[i], decimals); };
  std::string text;
  switch (FnDialogKindOf(id)) {
    case FnDialogKind::ThreeValues:
      text = ":  R= " + v(0) + ", G= " + v(1) + ", B= " + v(2);
      break;
    case FnDialogKind::OneValue:
      text = ":  value= " + v(0);
      break;
    case FnDialogKind::TwoValues:
      text = ":  width= " + v(0) + ", height= " + v(1);
      break;
    case FnDialogKind::None:
    case FnDialogKind::Deinterlace:
      break;
  }
  ShortStrSet(params.description, text, 255);
}

void FnCopy(QFnParams*& dest, const QFnParams* src) {
  dest = nullptr;
  if (!src) return;
  Guarded("impress.FnCopy", [&] {
    _memalloc_(dest, int32_t(sizeof(QFnParams)), MEM_NEW, "impress.FnCopy.dest");
    std::memcpy(dest, src, sizeof(QFnParams));
  });
}

void FnFree(QFnParams*& params) { MemFree(params); }

}  // namespace rf
