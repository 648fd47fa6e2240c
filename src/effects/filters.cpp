// Convolution filters and despeckle: product tables per frame, shifts for division.
#include "effects/filters.h"

#include <cstdlib>
#include <cstring>

#include "effects/fnparams.h"
#include "effects/fxwork.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

constexpr FnKernel kSoften = {{1, 1, 1, 1, 8, 1, 1, 1, 1}, 4, 0};
constexpr FnKernel kBlur = {{3, 1, 3, 1, 0, 1, 3, 1, 3}, 4, 0};
constexpr FnKernel kSharpen = {{0, -1, 0, -1, 8, -1, 0, -1, 0}, 2, 0};
constexpr FnKernel kEmboss = {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 128};
constexpr FnKernel kFindEdges = {{-1, -3, -1, -3, 16, -3, -1, -3, -1}, 0, 0};
constexpr FnKernel kEdgeEnhance = {{-1, -2, -1, -2, 16, -2, -1, -2, -1}, 2, 0};
constexpr FnKernel kTraceContour = {{0, -2, 0, -2, 8, -2, 0, -2, 0}, 0, 255};
constexpr FnKernel kNoKernel = {{0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0};

// The three rows around row y, the picture's own row standing in beyond its top and bottom.
struct Rows {
  const uint8_t* up;
  const uint8_t* mid;
  const uint8_t* down;
};

Rows RowsAt(const uint8_t* data, int32_t line, int32_t height, int32_t y) {
  const uint8_t* mid = data + size_t(y) * line;
  return {y > 0 ? mid - line : mid, mid, y < height - 1 ? mid + line : mid};
}

// Bit k set: coefficient k is not 0. Zero coefficients are left out of the sum at compile time
// for the kernel shapes in use; any other kernel takes all nine terms.
constexpr uint32_t MaskOf(const FnKernel& k) {
  uint32_t m = 0;
  for (int32_t i = 0; i < 9; ++i)
    if (k.coeff[i] != 0) m |= 1u << i;
  return m;
}

// Product of table T with the byte at p, or nothing when the kernel's coefficient T is 0.
template <uint32_t Mask, int32_t T>
int32_t Term(const int16_t* tbl, const uint8_t* p) {
  if constexpr ((Mask >> T) & 1u)
    return tbl[T * 256 + *p];
  else
    return 0;
}

// tbl holds the kernel's products of every byte value: nine tables of 256 signed 16-bit entries.
template <uint32_t Mask>
void ConvolveRows(const Qimg& s, Qimg& d, const FnKernel& k, const int16_t* tbl) {
  const int32_t w = s.width, line = w * 3;
  for (int32_t y = 0; y < s.height; ++y) {
    const Rows r = RowsAt(s.data, line, s.height, y);
    uint8_t* out = d.data + size_t(y) * line;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t left = x > 0 ? -3 : 0, right = x < w - 1 ? 3 : 0;
      for (int32_t i = 3 * x; i < 3 * x + 3; ++i) {
        // Sums of these kernels stay far inside 16 bits, so plain int arithmetic gives the same.
        const int32_t sum = Term<Mask, 0>(tbl, r.up + i + left) + Term<Mask, 1>(tbl, r.up + i) +
                            Term<Mask, 2>(tbl, r.up + i + right) + Term<Mask, 3>(tbl, r.mid + i + left) +
                            Term<Mask, 4>(tbl, r.mid + i) + Term<Mask, 5>(tbl, r.mid + i + right) +
                            Term<Mask, 6>(tbl, r.down + i + left) + Term<Mask, 7>(tbl, r.down + i) +
                            Term<Mask, 8>(tbl, r.down + i + right);
        out[i] = detail::ClampByte((sum >> k.shift) + k.offset);
      }
    }
  }
}

void Despeckle(const Qimg& s, Qimg& d, int32_t tolerance) {
  const int32_t w = s.width, line = w * 3;
  for (int32_t y = 0; y < s.height; ++y) {
    const Rows r = RowsAt(s.data, line, s.height, y);
    uint8_t* out = d.data + size_t(y) * line;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t left = x > 0 ? -3 : 0, right = x < w - 1 ? 3 : 0;
      for (int32_t i = 3 * x; i < 3 * x + 3; ++i) {
        int32_t mean;
        if (x == 0)
          mean = (r.up[i] + r.up[i + right] + r.mid[i + right] + r.down[i] + r.down[i + right]) / 5;
        else if (x == w - 1)
          mean = (r.up[i + left] + r.up[i] + r.mid[i + left] + r.down[i + left] + r.down[i]) / 5;
        else
          mean = (r.up[i - 3] + r.up[i] + r.up[i + 3] + r.mid[i - 3] + r.mid[i + 3] + r.down[i - 3] + r.down[i] +
                  r.down[i + 3]) >>
                 3;
        const int32_t v = r.mid[i];
        out[i] = uint8_t(std::abs(v - mean) >= tolerance ? mean : v);
      }
    }
  }
}

void Convolve(const Qimg& s, Qimg& d, const FnKernel& k, const int16_t* tbl) {
  switch (MaskOf(k)) {
    case MaskOf(kBlur):
      return ConvolveRows<MaskOf(kBlur)>(s, d, k, tbl);
    case MaskOf(kSharpen):
      return ConvolveRows<MaskOf(kSharpen)>(s, d, k, tbl);
    case MaskOf(kEmboss):
      return ConvolveRows<MaskOf(kEmboss)>(s, d, k, tbl);
    default:
      return ConvolveRows<0x1FF>(s, d, k, tbl);
  }
}

void Filter(const char* label, int32_t op, Qimg& src, Qimg& dst, const FnKernel& kernel) {
  Guarded(label, [&] { AutoFilter_(op, src, dst, kernel, 0); });
}

}  // namespace

void AutoFilter_(int32_t op, Qimg& src, Qimg& dst, const FnKernel& kernel, int32_t tolerance) {
  int16_t* multbl = nullptr;
  ImgWork work;
  Guarded("impress.AutoFilter_", [&] {
    ImgOpInfo info;
    ImgInfo(info, op);
    detail::WorkOn(work, info, src, dst, [&](ImgWork& w) {
      if (tolerance != 0) {
        Despeckle(*w.src, *w.dst, detail::ClampInt(tolerance, 1, 254));
        return;
      }
      if (_memalloc_(multbl, 9 * 256 * int32_t(sizeof(int16_t)), MEM_RESIZE, "impress.AutoFilter_.multbl") != 0)
        MonAbort();
      for (int32_t k = 0; k < 9; ++k)
        for (int32_t x = 0; x < 256; ++x) multbl[k * 256 + x] = int16_t(kernel.coeff[k] * x);
      Convolve(*w.src, *w.dst, kernel, multbl);
      MemFree(multbl);
    });
  });
}

void ImgSoften(Qimg& src, Qimg& dst) { Filter("impress.ImgSoften", FN_SOFTEN, src, dst, kSoften); }
void ImgBlur(Qimg& src, Qimg& dst) { Filter("impress.ImgBlur", FN_BLUR, src, dst, kBlur); }
void ImgSharpen(Qimg& src, Qimg& dst) { Filter("impress.ImgSharpen", FN_SHARPEN, src, dst, kSharpen); }
void ImgEmboss(Qimg& src, Qimg& dst) { Filter("impress.ImgEmboss", FN_EMBOSS, src, dst, kEmboss); }
void ImgFindEdges(Qimg& src, Qimg& dst) { Filter("impress.ImgFindEdges", FN_FIND_EDGES, src, dst, kFindEdges); }
void ImgEdgeEnhance(Qimg& src, Qimg& dst) { Filter("impress.ImgEdgeEnhance", FN_EDGE_ENHANCE, src, dst, kEdgeEnhance); }
void ImgTraceContour(Qimg& src, Qimg& dst) {
  Filter("impress.ImgTraceContour", FN_TRACE_CONTOUR, src, dst, kTraceContour);
}

void ImgDespeckle(Qimg& src, Qimg& dst, int32_t tolerance) {
  // Tolerance 0 would select convolution: despeckle's own range starts at 1.
  Guarded("impress.ImgDespeckle",
          [&] { AutoFilter_(FN_DESPECKLE, src, dst, kNoKernel, detail::ClampInt(tolerance, 1, 254)); });
}

}  // namespace rf
