// The fixed geometric steps of every output frame: rescale, crop, rotate and the final scaling.
#include "engine/geometry.h"

#include <algorithm>

#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

// Scales current into to with the output's method, unless it already has that size.
void Scale(const OutputDef& def, Qimg*& current, Qimg& to, int32_t width, int32_t height) {
  if (current->width == width && current->height == height) return;
  if (def.Filter == 1)
    ImgResample(*current, to, width, height);
  else
    ImgResize(*current, to, width, height);
  current = &to;
}

void Crop(Qimg*& current, Qimg& to, int32_t x, int32_t y, int32_t width, int32_t height) {
  ImgCrop(*current, to, x, y, width, height);
  current = &to;
}

// Places current at (x, y) on a 24-bit canvas of the rescale size filled with the border colour.
void PutOnCanvas(const OutputDef& def, Qimg*& current, Qimg& canvas, int32_t x, int32_t y) {
  const bool sized = canvas.data && canvas.width == def.Width && canvas.height == def.Height && canvas.bpp == 24;
  if (!sized && _imgalloc_(canvas, def.Width, def.Height, 24, "Geometry.PutOnCanvas.canvas") != 0) MonAbort();
  FillColor(canvas, 0, def.Width * def.Height, uint32_t(def.BorderColor) & 0xFFFFFF);
  ImgInsert(*current, canvas, x, y);
  current = &canvas;
}

// Where a frame of the current size lands in the rescale size, computed once per pair of sizes
// (per thread) since every frame of a movie asks the same question.
struct Placement {
  int32_t left = 0, top = 0, width = 0, height = 0;
};
Placement Place(const OutputDef& def, const Qimg& frame, bool cover) {
  thread_local struct {
    int32_t key[5] = {};
    Placement result;
  } memo;
  const int32_t key[5] = {frame.width, frame.height, def.Width, def.Height, cover};
  if (std::equal(key, key + 5, memo.key)) return memo.result;
  Placement p{0, 0, frame.width, frame.height};
  (cover ? CalcCropResize : CalcBoxResize)(def.Width, def.Height, true, p.left, p.top, p.width, p.height);
  if (ErrCode() == 0) {
    std::copy(key, key + 5, memo.key);
    memo.result = p;
  }
  return p;
}

void FitBorder(const OutputDef& def, GeoWork& work, Qimg*& current) {
  const auto [left, top, w, h] = Place(def, *current, false);
  Scale(def, current, work.fitted, w, h);
  if (w != def.Width || h != def.Height) PutOnCanvas(def, current, work.placed, left, top);
}

void FitCrop(const OutputDef& def, GeoWork& work, Qimg*& current) {
  const auto [left, top, w, h] = Place(def, *current, true);
  Scale(def, current, work.fitted, w, h);
  if (w != def.Width || h != def.Height) Crop(current, work.placed, left, top, def.Width, def.Height);
}

// No scaling: a window of the rescale size cut from the middle, and a border where it is smaller.
void FitCenter(const OutputDef& def, GeoWork& work, Qimg*& current) {
  const int32_t W = current->width, H = current->height, RW = def.Width, RH = def.Height;
  if (W > RW || H > RH)
    Crop(current, work.fitted, W > RW ? (W - RW) / 2 : 0, H > RH ? (H - RH) / 2 : 0, std::min(W, RW), std::min(H, RH));
  const int32_t w = current->width, h = current->height;
  if (w < RW || h < RH) PutOnCanvas(def, current, work.placed, (RW - w) / 2, (RH - h) / 2);
}

}  // namespace

void GeoDone(GeoWork& work) {
  for (Qimg* img : {&work.fitted, &work.placed, &work.cropped, &work.rotated, &work.final}) ImgFree(*img);
}

void GeoRescale(const OutputDef& def, GeoWork& work, Qimg*& current) {
  Guarded("Geometry.GeoRescale", [&] {
    const int32_t W = current->width, H = current->height;
    if (W < 1 || H < 1 || def.Width < 1 || def.Height < 1) {
      ErrSet(4, 1);
      MonAbort();
    }
    if (W == def.Width && H == def.Height) return;
    switch (W <= def.Width && H <= def.Height ? def.SmallMode : def.LargeMode) {
      case SM_BORDER:
        FitBorder(def, work, current);
        break;
      case SM_CROP:
        FitCrop(def, work, current);
        break;
      case SM_CENTER:
        FitCenter(def, work, current);
        break;
      default:
        Scale(def, current, work.fitted, def.Width, def.Height);
        break;
    }
  });
}

void GeoCrop(const OutputDef& def, GeoWork& work, Qimg*& current) {
  if (def.CropLeft == 0 && def.CropRight == 0 && def.CropTop == 0 && def.CropBottom == 0) return;
  Guarded("Geometry.GeoCrop", [&] {
    Crop(current, work.cropped, def.CropLeft, def.CropTop, def.Width - def.CropLeft - def.CropRight,
         def.Height - def.CropTop - def.CropBottom);
  });
}

void GeoRotate(const OutputDef& def, GeoWork& work, Qimg*& current) {
  if (def.Rotation == 0) return;
  Guarded("Geometry.GeoRotate", [&] {
    ImgRotate(*current, work.rotated, def.Rotation);
    current = &work.rotated;
  });
}

void GeoPrepareFrame(const OutputDef& def, GeoWork& work, Qimg*& current) {
  GeoRescale(def, work, current);
  GeoCrop(def, work, current);
  GeoRotate(def, work, current);
}

void GeoFinishFrame(const OutputDef& def, GeoWork& work, Qimg*& current) {
  Guarded("Geometry.GeoFinishFrame", [&] { Scale(def, current, work.final, def.FinalWidth, def.FinalHeight); });
}

}  // namespace rf
