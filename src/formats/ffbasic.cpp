// Movie writers' picture preparation (trace labels "FFBasic.*").
#include "formats/ffbasic.h"

#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

int32_t RoundUp(int32_t value, int32_t block) { return (value + block - 1) / block * block; }

bool SideInRange(int32_t side) { return side >= FF_MOVIE_MIN_SIDE && side <= FF_MOVIE_MAX_SIDE; }

}  // namespace

void FFInit(int32_t format, QffPrepared& prepared, Qimg& img, int32_t blockSize) {
  Guarded("FFBasic.FFInit", [&] {
    FFDone(prepared);
    if (!ImgValid(img) || !SideInRange(img.width) || !SideInRange(img.height) || blockSize < 1) {
      ErrSet(14, 1);
      return;
    }
    const int32_t depth = FFSaveDepth(format, img.bpp);
    if (depth == FF_AUTO || depth == 0) {
      ErrSet(14, 1);
      return;
    }
    MonSetCleanup([&] { FFDone(prepared); });
    Qimg* source = &img;
    const int32_t width = RoundUp(img.width, blockSize);
    const int32_t height = RoundUp(img.height, blockSize);
    if (width != img.width || height != img.height) {
      if (_imgalloc_(prepared.temp, width, height, img.bpp, "FFBasic.FFInit.ffi.temp_img") != 0) MonAbort();
      ImgCopyPalette(img, prepared.temp);
      ImgInsert(img, prepared.temp, 0, 0);
      source = &prepared.temp;
    }
    if (depth != source->bpp) ImgConvBpp(*source, prepared.temp, depth);
    prepared.img = source == &img && depth == img.bpp ? &img : &prepared.temp;
  });
}

void FFDone(QffPrepared& prepared) {
  ImgFree(prepared.temp);
  prepared.img = nullptr;
}

}  // namespace rf
