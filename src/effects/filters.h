// The 3 x 3 neighbourhood filters: seven convolution kernels and despeckle on one engine.
#pragma once

#include <cstdint>

namespace rf {

struct Qimg;

// Coefficients of the upper, middle and lower rows, left to right; the sum is shifted right and
// the offset added.
struct FnKernel {
  int16_t coeff[9];
  int32_t shift;
  int32_t offset;
};

// Tolerance 0 convolves with kernel; any other tolerance runs despeckle. Neighbours missing at the
// picture's border are replaced by the pixel's own row or column. The source is not changed.
void AutoFilter_(int32_t op, Qimg& src, Qimg& dst, const FnKernel& kernel, int32_t tolerance);

void ImgSoften(Qimg& src, Qimg& dst);
void ImgBlur(Qimg& src, Qimg& dst);
void ImgSharpen(Qimg& src, Qimg& dst);
void ImgEmboss(Qimg& src, Qimg& dst);
void ImgFindEdges(Qimg& src, Qimg& dst);
void ImgEdgeEnhance(Qimg& src, Qimg& dst);
void ImgTraceContour(Qimg& src, Qimg& dst);
// Replaces each byte by its neighbourhood mean when they differ by the tolerance (1..254) or more.
void ImgDespeckle(Qimg& src, Qimg& dst, int32_t tolerance);

}  // namespace rf
