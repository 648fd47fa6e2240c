// Palette reduction: histogram counting, median cut, dark colour first, plain and dithered remap.
#include "image/palopt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgpixels.h"

namespace rf {
namespace {

PalQuant* g_quant = nullptr;

constexpr int32_t kMaxCell = 2147483647;

inline void AddToCell(int32_t& cell, int64_t n) {
  const int64_t v = int64_t(cell) + n;
  cell = v > kMaxCell ? kMaxCell : int32_t(v);
}

// Counts one pixel; a cell at the largest value stays there.
inline void CountCell(int32_t* h, int32_t cell) { h[cell] += h[cell] != kMaxCell; }

// The nearest entry by the weighted distance 4 dr^2 + 9 dg^2 + db^2 (green counts most, blue least);
// ties keep the lower index.
int32_t Nearest(const PalQuant& q, int32_t b, int32_t g, int32_t r) {
  int32_t best = 0, bestDist = kMaxCell;
  for (int32_t i = 0; i < q.colours; ++i) {
    // The partial sums only grow, so an entry can be dropped as soon as one reaches the best.
    const uint8_t* e = q.palette[i];
    int32_t d = 4 * (e[2] - r) * (e[2] - r);
    if (d >= bestDist) continue;
    d += 9 * (e[1] - g) * (e[1] - g);
    if (d >= bestDist) continue;
    d += (e[0] - b) * (e[0] - b);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

// Palette index of a colour through the inverse map; colours that were never counted get the
// nearest entry, which is stored for the next pixel of that colour.
inline int32_t Lookup(PalQuant& q, const uint8_t* bgr) {
  int32_t& cell = q.histogram[PalCell(bgr[0], bgr[1], bgr[2])];
  if (cell < 0) cell = Nearest(q, bgr[0], bgr[1], bgr[2]);
  return cell;
}

// Median cut ---------------------------------------------------------------------------------

inline int32_t& CellAt(PalQuant& q, int32_t c0, int32_t c1, int32_t c2) {
  return q.histogram[c0 + (c1 << 6) + (c2 << 12)];
}

// True when the plane axis = v holds a non-empty cell within the box's ranges of the other axes.
bool PlaneUsed(PalQuant& q, const PalBox& b, int32_t axis, int32_t v) {
  int32_t lo[3] = {b.c0min, b.c1min, b.c2min}, hi[3] = {b.c0max, b.c1max, b.c2max};
  lo[axis] = hi[axis] = v;
  for (int32_t c2 = lo[2]; c2 <= hi[2]; ++c2)
    for (int32_t c1 = lo[1]; c1 <= hi[1]; ++c1)
      for (int32_t c0 = lo[0]; c0 <= hi[0]; ++c0)
        if (CellAt(q, c0, c1, c2) >= 0) return true;
  return false;
}

void ShrinkAxis(PalQuant& q, PalBox& b, int32_t axis) {
  int32_t* mins[3] = {&b.c0min, &b.c1min, &b.c2min};
  int32_t* maxs[3] = {&b.c0max, &b.c1max, &b.c2max};
  int32_t& lo = *mins[axis];
  int32_t& hi = *maxs[axis];
  while (lo < hi && !PlaneUsed(q, b, axis, lo)) ++lo;
  while (hi > lo && !PlaneUsed(q, b, axis, hi)) --hi;
}

void Shrink(PalQuant& q, PalBox& b) {
  for (int32_t axis = 0; axis < 3; ++axis) ShrinkAxis(q, b, axis);
  b.d0 = b.c0max - b.c0min;
  b.d1 = b.c1max - b.c1min;
  b.d2 = b.c2max - b.c2min;
  b.splittable = (b.d0 > 0 || b.d1 > 0 || b.d2 > 0) ? RF_TRUE : RF_FALSE;
  b.volume = 4 * int64_t(b.d0) * b.d0 + 9 * int64_t(b.d1) * b.d1 + int64_t(b.d2) * b.d2;
  int32_t population = 0;
  for (int32_t c2 = b.c2min; c2 <= b.c2max; ++c2)
    for (int32_t c1 = b.c1min; c1 <= b.c1max; ++c1)
      for (int32_t c0 = b.c0min; c0 <= b.c0max; ++c0) population += CellAt(q, c0, c1, c2) >= 0;
  b.population = population;
}

int32_t PickBox(const PalQuant& q) {
  const bool byVolume = 2 * q.boxCount > q.colours;
  int32_t best = -1;
  int64_t bestValue = 0;
  for (int32_t i = 0; i < q.boxCount; ++i) {
    const PalBox& b = q.boxes[i];
    if (!b.splittable) continue;
    const int64_t v = byVolume ? b.volume : b.population;
    if (v > bestValue) {
      bestValue = v;
      best = i;
    }
  }
  return best;
}

void SplitBox(PalQuant& q, int32_t index) {
  PalBox& old = q.boxes[index];
  int32_t axis = old.d0 <= old.d1 ? 1 : 0;
  if (old.d2 > std::max(old.d0, old.d1)) axis = 2;
  PalBox& added = q.boxes[q.boxCount++];
  added = old;
  int32_t* oldMax[3] = {&old.c0max, &old.c1max, &old.c2max};
  int32_t* newMin[3] = {&added.c0min, &added.c1min, &added.c2min};
  const int32_t mid = (*newMin[axis] + *oldMax[axis]) / 2;
  *oldMax[axis] = mid;
  *newMin[axis] = mid + 1;
  Shrink(q, old);
  Shrink(q, added);
}

// Every cell of box i comes to hold i; the entry is the population-weighted mean of its cells.
void BoxToEntry(PalQuant& q, int32_t i) {
  const PalBox& b = q.boxes[i];
  int64_t total = 0, s0 = 0, s1 = 0, s2 = 0;
  for (int32_t c2 = b.c2min; c2 <= b.c2max; ++c2)
    for (int32_t c1 = b.c1min; c1 <= b.c1max; ++c1)
      for (int32_t c0 = b.c0min; c0 <= b.c0max; ++c0) {
        int32_t& cell = CellAt(q, c0, c1, c2);
        const int64_t n = int64_t(cell) + 1;
        if (n > 0) {
          total += n;
          s0 += n * c0;
          s1 += n * c1;
          s2 += n * c2;
        }
        cell = i;
      }
  if (total == 0) total = 1;
  q.palette[i][2] = uint8_t(q.correction[4 * s0 / total]);
  q.palette[i][1] = uint8_t(q.correction[4 * s1 / total]);
  q.palette[i][0] = uint8_t(q.correction[4 * s2 / total]);
}

void MedianCut(PalQuant& q) {
  q.boxCount = 1;
  q.boxes[0] = PalBox{0, 63, 0, 63, 0, 63, 63, 63, 63, RF_TRUE, 0, 0};
  Shrink(q, q.boxes[0]);
  while (q.boxCount < q.colours) {
    const int32_t pick = PickBox(q);
    if (pick < 0) break;
    SplitBox(q, pick);
  }
  for (int32_t i = 0; i < q.boxCount; ++i) BoxToEntry(q, i);
}

void LowPalette(PalQuant& q) {
  int32_t next = 0;
  for (int32_t cell = 0; cell < PAL_CELLS; ++cell) {
    if (q.histogram[cell] < 0) continue;
    q.palette[next][2] = uint8_t(q.correction[4 * (cell & 63)]);
    q.palette[next][1] = uint8_t(q.correction[4 * ((cell >> 6) & 63)]);
    q.palette[next][0] = uint8_t(q.correction[4 * (cell >> 12)]);
    q.histogram[cell] = next++;
  }
}

void DarkFirst(PalQuant& q) {
  const int32_t k = Nearest(q, 0, 0, 0);
  if (k == 0) return;
  uint8_t t[3];
  std::memcpy(t, q.palette[0], 3);
  std::memcpy(q.palette[0], q.palette[k], 3);
  std::memcpy(q.palette[k], t, 3);
  for (int32_t& cell : q.histogram) cell = cell == 0 ? k : cell == k ? 0 : cell;
}

// Remapping ----------------------------------------------------------------------------------

// Damped error shares: errors up to 19 pass k/16 of themselves on, larger ones a halved and then
// a quartered share of the excess, and from 58 on nothing, so that strong edges do not bleed.
int32_t RoundSixteenths(int32_t x, int32_t k) {
  const int32_t t = x * k, q = t / 16, r = t % 16;
  return (r > 8 || (r == 8 && (q & 1))) ? q + 1 : q;
}

int32_t DampedShare(int32_t m, int32_t k) {
  if (m <= 19) return RoundSixteenths(m, k);
  if (m <= 37) return RoundSixteenths(m - 19, k) / 2;
  if (m == 38) return RoundSixteenths(19, k) / 2;
  if (m <= 56) return RoundSixteenths(m - 38, k) / 4;
  if (m == 57) return RoundSixteenths(19, k) / 4;
  return 0;
}

struct ErrTables {
  int16_t share[4][511];  // k = 1, 3, 5, 7; index error + 255
  uint8_t clamp[768];     // index value + 256
  ErrTables() {
    const int32_t ks[4] = {1, 3, 5, 7};
    for (int32_t t = 0; t < 4; ++t)
      for (int32_t e = -255; e <= 255; ++e) {
        const int32_t s = DampedShare(e < 0 ? -e : e, ks[t]);
        share[t][e + 255] = int16_t(e < 0 ? -s : s);
      }
    for (int32_t v = -256; v < 512; ++v) clamp[v + 256] = uint8_t(std::clamp(v, 0, 255));
  }
};
const ErrTables kErr;

void Remap8(PalQuant& q, const Qimg& src, uint8_t* out) {
  uint8_t table[256];
  for (int32_t i = 0; i < 256; ++i) table[i] = uint8_t(Lookup(q, src.palette[i]));
  const int32_t n = src.width * src.height;
  for (int32_t i = 0; i < n; ++i) out[i] = table[src.data[i]];
}

void Remap24(PalQuant& q, const Qimg& src, uint8_t* out) {
  const int32_t n = src.width * src.height, stride = src.bytesPerPixel;
  const uint8_t* p = src.data;
  int32_t* h = q.histogram;
  for (int32_t i = 0; i < n; ++i, p += stride) {
    const int32_t idx = h[PalCell(p[0], p[1], p[2])];
    out[i] = uint8_t(idx >= 0 ? idx : Lookup(q, p));
  }
}

inline void AddShare(uint8_t* p, const int32_t* e, const int16_t* share) {
  for (int32_t c = 0; c < 3; ++c) p[c] = kErr.clamp[p[c] + share[e[c] + 255] + 256];
}

// One pixel of the diffusion: choose its entry, then pass the damped error to the neighbours
// that exist. cur and below are working copies of this row and the next, carrying the errors.
template <bool kPass, bool kLeft, bool kRight, bool kBelow>
inline void DitherPixel(PalQuant& q, uint8_t* cur, uint8_t* below, uint8_t* out) {
  const int32_t idx = Lookup(q, cur);
  *out = uint8_t(idx);
  if constexpr (kPass) {
    const uint8_t* entry = q.palette[idx];
    const int32_t e[3] = {cur[0] - entry[0], cur[1] - entry[1], cur[2] - entry[2]};
    if constexpr (kRight) AddShare(cur + 3, e, kErr.share[3]);
    if constexpr (kBelow) {
      if constexpr (kLeft) AddShare(below - 3, e, kErr.share[1]);
      AddShare(below, e, kErr.share[2]);
      if constexpr (kRight) AddShare(below + 3, e, kErr.share[0]);
    }
  }
}

template <bool kBelow>
void DitherRow(PalQuant& q, uint8_t* cur, uint8_t* below, uint8_t* out, int32_t w, bool evenRow) {
  if (w == 1) {
    if (evenRow)
      DitherPixel<false, false, false, kBelow>(q, cur, below, out);
    else
      DitherPixel<true, false, false, kBelow>(q, cur, below, out);
    return;
  }
  // The first pixel of an even row passes no error on.
  if (evenRow)
    DitherPixel<false, false, true, kBelow>(q, cur, below, out);
  else
    DitherPixel<true, false, true, kBelow>(q, cur, below, out);
  for (int32_t x = 1; x < w - 1; ++x) DitherPixel<true, true, true, kBelow>(q, cur + 3 * x, below + 3 * x, out + x);
  DitherPixel<true, true, false, kBelow>(q, cur + 3 * (w - 1), below + 3 * (w - 1), out + w - 1);
}

void LoadRow(const Qimg& src, int32_t y, uint8_t* to) {
  const int32_t stride = src.bytesPerPixel;
  const uint8_t* from = src.data + size_t(y) * src.width * stride;
  if (stride == 3) {
    std::memcpy(to, from, size_t(src.width) * 3);
  } else {
    for (int32_t x = 0; x < src.width; ++x, from += stride, to += 3) std::memcpy(to, from, 3);
  }
}

void RemapDither24(PalQuant& q, const Qimg& src, uint8_t* out) {
  const int32_t w = src.width, h = src.height;
  std::vector<uint8_t> rows(size_t(w) * 6);
  uint8_t* cur = rows.data();
  uint8_t* below = cur + size_t(w) * 3;
  LoadRow(src, 0, cur);
  for (int32_t y = 0; y < h; ++y) {
    const bool even = (y & 1) == 0;
    if (y + 1 < h) {
      LoadRow(src, y + 1, below);
      DitherRow<true>(q, cur, below, out + size_t(y) * w, w, even);
    } else {
      DitherRow<false>(q, cur, below, out + size_t(y) * w, w, even);
    }
    std::swap(cur, below);
  }
}

}  // namespace

int32_t detail::PalErrShare(int32_t error, int32_t k) {
  const int32_t t = k == 1 ? 0 : k == 3 ? 1 : k == 5 ? 2 : 3;
  return kErr.share[t][std::clamp(error, -255, 255) + 255];
}

const PalQuant* PalState() { return g_quant; }

void PalClearVars() {
  if (!g_quant) return;
  std::fill(std::begin(g_quant->histogram), std::end(g_quant->histogram), -1);
  g_quant->usedCells = 0;
}

void PalInit() {
  Guarded("PalOpt.PalInit", [&] {
    if (!g_quant && _memalloc_(g_quant, int32_t(sizeof(PalQuant)), MEM_RESIZE, "PalOpt.PalInit.quant") != 0) MonAbort();
    PalClearVars();
  });
}

void PalCountColors(const Qimg& img) {
  Guarded("PalOpt.PalCountColors", [&] {
    if (!g_quant) {
      ErrSet(7, 6);
      MonAbort();
    }
    int32_t* h = g_quant->histogram;
    const int32_t n = img.width * img.height;
    const uint8_t* p = img.data;
    if (!p || n <= 0) return;
    if (img.bpp == 24 || img.bpp == 32) {
      const int32_t stride = img.bytesPerPixel;
      for (int32_t i = 0; i < n; ++i, p += stride) CountCell(h, PalCell(p[0], p[1], p[2]));
    } else if (img.bpp == 16) {
      for (int32_t i = 0; i < n; ++i) {
        const uint32_t w = detail::Load16(p + 2 * i);
        CountCell(h, int32_t(((w >> 11) << 1) | (((w >> 5) & 0x3F) << 6) | ((w & 0x1F) << 13)));
      }
    } else if (img.bpp == 15) {
      for (int32_t i = 0; i < n; ++i) {
        const uint32_t w = detail::Load16(p + 2 * i);
        CountCell(h, int32_t((((w >> 10) & 0x1F) << 1) | (((w >> 5) & 0x1F) << 7) | ((w & 0x1F) << 13)));
      }
    } else if (img.bpp == 8) {
      int64_t counts[256] = {};
      for (int32_t i = 0; i < n; ++i) ++counts[p[i]];
      for (int32_t i = 0; i < 256; ++i) {
        const uint8_t* e = img.palette[i];
        if (counts[i]) AddToCell(h[PalCell(e[0], e[1], e[2])], counts[i]);
      }
    }
  });
}

void PalReduce(int32_t n) {
  Guarded("PalOpt.PalReduce", [&] {
    if (!g_quant) {
      ErrSet(7, 6);
      MonAbort();
    }
    PalQuant& q = *g_quant;
    std::memset(q.palette, 255, sizeof q.palette);
    q.colours = std::clamp(n, 2, 256);
    q.usedCells =
        int32_t(std::count_if(std::begin(q.histogram), std::end(q.histogram), [](int32_t c) { return c >= 0; }));
    // Channel values below 4 become 0, so that the darkest cell gives true black.
    for (int32_t i = 0; i < 256; ++i) q.correction[i] = i < 4 ? 0 : i;
    q.boxCount = 0;
    if (q.usedCells <= q.colours)
      LowPalette(q);
    else
      MedianCut(q);
    DarkFirst(q);
  });
}

void PalRemap(const Qimg& src, Qimg& dst, bool dither) {
  Qimg out;
  Qimg temp24;
  Guarded("PalOpt.PalRemap", [&] {
    if (!g_quant) {
      ErrSet(7, 6);
      MonAbort();
    }
    PalQuant& q = *g_quant;
    const bool same = &src == &dst;
    Qimg& target = same ? out : dst;
    detail::ImgAllocOrStop(target, src.width, src.height, 8, "PalOpt.PalRemap.img8bit");
    std::memcpy(target.palette, q.palette, sizeof q.palette);
    const Qimg* from = &src;
    if (src.bpp == 15 || src.bpp == 16) {
      detail::ImgAllocOrStop(temp24, src.width, src.height, 24, "PalOpt.PalRemap.temp24");
      detail::ConvertPixels(src, temp24);
      from = &temp24;
    }
    if (from->bpp == 8)
      Remap8(q, *from, target.data);
    else if (dither)
      RemapDither24(q, *from, target.data);
    else
      Remap24(q, *from, target.data);
    ImgFree(temp24);
    if (same) {
      ImgXchg(dst, out);
      ImgFree(out);
    }
  });
}

void PalDone() { MemFree(g_quant); }

void ConvTo8bit(const Qimg& src, Qimg& dst, bool dither) {
  Guarded("PalOpt.ConvTo8bit", [&] {
    PalInit();
    PalCountColors(src);
    PalReduce(256);
    PalRemap(src, dst, dither);
    PalDone();
  });
}

}  // namespace rf
