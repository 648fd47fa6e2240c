// Running sums of blue, green and red per pixel over a sequence of frames, and their mean.
#include "effects/average.h"

#include <climits>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"
#include "image/imgpixels.h"

namespace rf {
namespace {

struct AverageRec {
  uint32_t* buffer = nullptr;  // three sums per pixel: blue, green, red
  int32_t width = 0;
  int32_t height = 0;
  int32_t count = 0;
  bool active = false;
};
AverageRec g_average;

void Fail(int32_t category, int32_t code) {
  ErrSet(category, code);
  MonAbort();
}

void Start(const Qimg& frame) {
  const int64_t sums = int64_t(frame.width) * frame.height * 3;
  if (frame.width < 1 || frame.height < 1 || sums * 4 > INT32_MAX) Fail(5, 5);
  if (_memalloc_(g_average.buffer, int32_t(sums * 4), MEM_RESIZE, "impress.ImgAverage.AverageRec.buffer") != 0)
    MonAbort();
  std::memset(g_average.buffer, 0, size_t(sums) * 4);
  g_average.width = frame.width;
  g_average.height = frame.height;
  g_average.count = 0;
  g_average.active = true;
}

void AddFrame(const Qimg& frame) {
  uint32_t* sum = g_average.buffer;
  const uint8_t* p = frame.data;
  const int32_t pixels = frame.width * frame.height;
  uint8_t bgr[3];
  for (int32_t i = 0; i < pixels; ++i, sum += 3) {
    const uint8_t* c = bgr;
    switch (frame.bpp) {
      case 8:
        c = frame.palette[p[i]];
        break;
      case 15:
        detail::Unpack15(detail::Load16(p + 2 * size_t(i)), bgr);
        break;
      case 16:
        detail::Unpack16(detail::Load16(p + 2 * size_t(i)), bgr);
        break;
      default:
        c = p + size_t(i) * frame.bytesPerPixel;
        break;
    }
    sum[0] += c[0];
    sum[1] += c[1];
    sum[2] += c[2];
  }
}

}  // namespace

void ImgAverage(const Qimg& frame) {
  Guarded("impress.ImgAverage", [&] {
    // An aborted enclosing block may have released the sums: then this frame starts anew.
    if (!g_average.buffer) g_average.active = false;
    if (frame.bpp != 8 && frame.bpp != 15 && frame.bpp != 16 && frame.bpp != 24 && frame.bpp != 32) Fail(7, 2);
    if (!frame.data) Fail(7, 2);
    if (!g_average.active) Start(frame);
    if (frame.width != g_average.width || frame.height != g_average.height) Fail(4, 1);
    AddFrame(frame);
    ++g_average.count;
  });
}

void ImgAverageDone(Qimg& result) {
  Guarded("impress.ImgAverageDone", [&] {
    if (!g_average.active || !g_average.buffer || g_average.count == 0) {
      MemFree(g_average.buffer);
      g_average = AverageRec{};
      Fail(7, TEXT_ONLY_CODE);
    }
    if (_imgalloc_(result, g_average.width, g_average.height, 24, "impress.ImgAverageDone.imgResult") != 0) MonAbort();
    const uint32_t count = uint32_t(g_average.count);
    const int32_t bytes = g_average.width * g_average.height * 3;
    for (int32_t i = 0; i < bytes; ++i) result.data[i] = uint8_t(g_average.buffer[i] / count);
    MemFree(g_average.buffer);
    g_average = AverageRec{};
  });
}

}  // namespace rf
