// Running one effect by identifier, and the parameter facts of each effect from the operation
// table of the image core.
#include "effects/fnrun.h"

#include <cmath>

#include "effects/filters.h"
#include "effects/special.h"
#include "effects/tone.h"
#include "foundation/monitor.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

// Truncation toward zero; values no integer can hold (a damaged session file) are held at the
// ends of the range, and a value that is not a number counts as 0.
int32_t Truncated(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return int32_t(v);
}

void Dispatch(int32_t id, Qimg& src, Qimg& dst, const QFnParams& params) {
  const int32_t a = Truncated(params.values[0]), b = Truncated(params.values[1]), c = Truncated(params.values[2]);
  switch (id) {
    case FN_ADJUST_RGB:
      ImgAdjustRGB(src, dst, a, b, c);
      break;
    case FN_BLUR:
      ImgBlur(src, dst);
      break;
    case FN_BRIGHTNESS:
      ImgBrightness(src, dst, a, b, c);
      break;
    case FN_CHAOS:
      ImgChaos(src, dst, a);
      break;
    case FN_CONTRAST:
      ImgContrast(src, dst, a, b, c);
      break;
    case FN_DEINTERLACE:
      ImgDeinterlace(src, dst, a, b);
      break;
    case FN_DESPECKLE:
      ImgDespeckle(src, dst, a);
      break;
    case FN_EDGE_ENHANCE:
      ImgEdgeEnhance(src, dst);
      break;
    case FN_EMBOSS:
      ImgEmboss(src, dst);
      break;
    case FN_EQUALIZE:
      ImgEqualize(src, dst);
      break;
    case FN_FIND_EDGES:
      ImgFindEdges(src, dst);
      break;
    case FN_FLIP_H:
      ImgFlipH(src, dst);
      break;
    case FN_FLIP_V:
      ImgFlipV(src, dst);
      break;
    case FN_GAMMA:
      ImgGamma(src, dst, params.values[0], params.values[1], params.values[2]);
      break;
    case FN_GRAYSCALE:
      ImgGray(src, dst);
      break;
    case FN_HUE:
      ImgHue(src, dst, a);
      break;
    case FN_MIRROR_H:
      ImgMirrorH(src, dst);
      break;
    case FN_MIRROR_V:
      ImgMirrorV(src, dst);
      break;
    case FN_NEGATIVE:
      ImgNegative(src, dst);
      break;
    case FN_NOISE_GAUSSIAN:
      ImgNoiseGaussian(src, dst, a, b, c);
      break;
    case FN_NOISE_INTERFERENCE:
      ImgNoiseInterference(src, dst, a);
      break;
    case FN_NOISE_UNIFORM:
      ImgNoiseUniform(src, dst, a, b, c);
      break;
    case FN_OIL_PAINTING:
      ImgOilPainting(src, dst, a);
      break;
    case FN_PIXELIZE:
      ImgPixelize(src, dst, a, b);
      break;
    case FN_POSTERIZE:
      ImgPosterize(src, dst, a, b, c);
      break;
    case FN_SATURATION:
      ImgSaturation(src, dst, a);
      break;
    case FN_SHARPEN:
      ImgSharpen(src, dst);
      break;
    case FN_SOFTEN:
      ImgSoften(src, dst);
      break;
    case FN_SOLARIZE:
      ImgSolarize(src, dst, a, b, c);
      break;
    case FN_SWAP_RB:
      ImgSwapRB(src, dst);
      break;
    case FN_TRACE_CONTOUR:
      ImgTraceContour(src, dst);
      break;
    default:
      break;
  }
}

}  // namespace

void FnRun(int32_t id, Qimg& src, Qimg& spare, const QFnParams& params, Qimg*& result) {
  result = params.inPlace ? &src : &spare;
  Qimg& dst = *result;
  Guarded("impress.FnRun", [&] { Dispatch(id, src, dst, params); });
}

int32_t FnParamCount(int32_t id) {
  ImgOpInfo info;
  ImgInfo(info, id);
  return info.paramCount;
}

FnParamSpec FnParamRange(int32_t id, int32_t index) {
  ImgOpInfo info;
  ImgInfo(info, id);
  if (index < 0 || index >= info.paramCount) return {};
  return {info.params[index].minimum, info.params[index].maximum, info.params[index].deflt};
}

bool FnInPlace(int32_t id) {
  ImgOpInfo info;
  ImgInfo(info, id);
  return info.inPlace != 0;
}

}  // namespace rf
