// Geometry of pictures: scaling by picking pixels, scaling by averaging, quarter turns.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/imgbasic.h"
#include "image/imgpixels.h"

namespace rf {
namespace {

// Fixed point: 100000 is one pixel. Counters are 64-bit so that sides above 21474 pixels work.
constexpr int64_t kOne = 100000;

int64_t Step(int32_t from, int32_t to) { return int64_t(from) * kOne / to; }

void CheckSize(int32_t width, int32_t height) {
  if (width < 1 || height < 1) {
    ErrSet(4, 1);
    MonAbort();
  }
}

// A table that depends only on sizes, kept per thread from call to call: a run of frames builds
// it once instead of once per frame. A few entries, since one frame may be scaled twice (the
// rescale and the scaling back) with different sizes.
template <class Table>
class SizeTable {
 public:
  template <class Build>
  const Table& Get(std::array<int32_t, 3> key, Build&& build) {
    for (Entry& e : entries_)
      if (e.built && e.key == key) return e.table;
    Entry& e = entries_[next_];
    next_ = (next_ + 1) % kEntries;
    e.built = false;
    e.table = build();
    e.key = key;
    e.built = true;
    return e.table;
  }

 private:
  static constexpr size_t kEntries = 4;
  struct Entry {
    bool built = false;
    std::array<int32_t, 3> key{};
    Table table{};
  };
  std::array<Entry, kEntries> entries_{};
  size_t next_ = 0;
};

// A scratch buffer per thread that only ever grows, for the same reason.
uint8_t* Scratch(std::vector<uint8_t>& buffer, size_t bytes) {
  if (buffer.size() < bytes) buffer.resize(bytes);
  return buffer.data();
}

// Resize -------------------------------------------------------------------------------------

// Source column of every destination column, by the running sums of the row-filling rules.
std::vector<int32_t> ResizeColumns(int32_t srcW, int32_t dstW) {
  std::vector<int32_t> cols;
  cols.reserve(size_t(dstW));
  const int64_t step = Step(srcW, dstW);
  int64_t acc = 0, pos = 0;
  int32_t s = 0;
  if (step > kOne) {
    for (;;) {
      cols.push_back(s);
      if (int32_t(cols.size()) == dstW) break;
      ++s;
      acc += step;
      pos += kOne;
      // Landing exactly on a pixel boundary skips one more pixel.
      if (acc >= pos) {
        do {
          ++s;
          pos += kOne;
        } while (pos < acc);
      }
    }
  } else {
    for (;;) {
      cols.push_back(s);
      if (int32_t(cols.size()) == dstW) break;
      ++s;
      pos += kOne;
      for (;;) {
        acc += step;
        if (acc >= pos) break;
        cols.push_back(s - 1);
        if (int32_t(cols.size()) == dstW) break;
      }
      if (int32_t(cols.size()) == dstW) break;
    }
  }
  for (int32_t& c : cols) c = std::min(c, srcW - 1);
  return cols;
}

// Source row of every destination row.
std::vector<int32_t> ResizeRows(int32_t srcH, int32_t dstH) {
  std::vector<int32_t> rows;
  rows.reserve(size_t(dstH));
  const int64_t step = Step(srcH, dstH);
  int64_t acc = 0, pos = 0;
  int32_t s = 0;
  if (step > kOne) {
    while (int32_t(rows.size()) < dstH && s < srcH) {
      rows.push_back(s);
      acc += step;
      while (acc > pos) {
        ++s;
        pos += kOne;
      }
    }
  } else {
    while (int32_t(rows.size()) < dstH && s < srcH) {
      rows.push_back(s);
      pos += kOne;
      // The first pass only steps past the row just filled; later passes repeat it.
      for (bool first = true; acc < pos && int32_t(rows.size()) < dstH; first = false) {
        if (!first) rows.push_back(s);
        acc += step;
      }
      ++s;
    }
  }
  // Rows the source could not supply repeat its last row.
  while (int32_t(rows.size()) < dstH) rows.push_back(srcH - 1);
  for (int32_t& r : rows) r = std::min(r, srcH - 1);
  return rows;
}

// Resample -----------------------------------------------------------------------------------

// A run of source pixels (or rows) averaged into one destination pixel (or row).
struct Run {
  int32_t start;
  int32_t count;
  uint64_t recip;  // exact division of sums up to 255 * count by count, see Divide
};

// floor(sum / count) as a multiplication: exact while sum <= 255 * count and count <= 65536,
// since the error of the rounded-up reciprocal stays below 1 / count.
constexpr int32_t kRecipShift = 42;
inline uint64_t Reciprocal(int32_t count) { return (uint64_t(1) << kRecipShift) / uint64_t(count) + 1; }
inline uint8_t Divide(uint32_t sum, uint64_t recip) { return uint8_t((sum * recip) >> kRecipShift); }

// Box runs of a shrinking axis; strict selects the row rule (a run grows only when the sum of
// steps passes the pixel boundary, not when it lands on it).
std::vector<Run> ShrinkRuns(int32_t srcN, int32_t dstN, bool strict) {
  std::vector<Run> runs;
  runs.reserve(size_t(dstN));
  const int64_t step = Step(srcN, dstN);
  int64_t acc = 0, pos = 0;
  int32_t s = 0;
  for (int32_t n = 0; n < dstN; ++n) {
    Run run{std::min(s, srcN - 1), 1, 0};
    ++s;
    acc += step;
    pos += kOne;
    if (strict ? acc > pos : acc >= pos) {
      do {
        // Only pixels that exist count; the final run may end at the edge.
        if (s < srcN) {
          ++s;
          ++run.count;
        }
        pos += kOne;
      } while (pos < acc);
    }
    run.recip = Reciprocal(run.count);
    runs.push_back(run);
  }
  return runs;
}

// An enlarging row: each destination pixel is the mean of two pixels of the doubled line (the
// same pixel twice for a plain copy).
struct Pair {
  int32_t a;
  int32_t b;
};

std::vector<Pair> EnlargePairs(int32_t len, int32_t dstW) {
  std::vector<Pair> pairs;
  pairs.reserve(size_t(dstW));
  const int64_t step = int64_t(len) * kOne / dstW;
  int64_t acc = 0, pos = 0;
  int32_t i = 0;
  for (;;) {
    pairs.push_back({i, i});
    if (int32_t(pairs.size()) == dstW) break;
    i = std::min(i + 1, len - 1);
    pos += kOne;
    acc += step;
    if (acc < pos) {
      acc += step;
      pairs.push_back({std::max(i - 1, 0), i});
      if (int32_t(pairs.size()) == dstW) break;
    }
  }
  return pairs;
}

inline uint8_t Mean2(uint8_t a, uint8_t b) { return uint8_t((a + b) >> 1); }

void MeanRows(const uint8_t* a, const uint8_t* b, uint8_t* to, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) to[i] = Mean2(a[i], b[i]);
}

// Horizontal pass of one 24-bit row.
struct RowScaler {
  int32_t srcW = 0, dstW = 0;
  int32_t doublings = 0;
  bool copyLine = false;
  std::vector<Run> runs;
  std::vector<Pair> pairs;

  RowScaler() = default;
  RowScaler(int32_t from, int32_t to) : srcW(from), dstW(to) {
    if (Step(from, to) > kOne) {
      runs = ShrinkRuns(from, to, false);
      return;
    }
    int32_t len = from;
    for (int32_t fac = to / from; fac > 1; fac /= 2) {
      len *= 2;
      ++doublings;
    }
    copyLine = int64_t(len) * kOne / to >= kOne;
    if (!copyLine) pairs = EnlargePairs(len, to);
  }

  // line is a buffer of 3 x max(srcW, dstW) bytes.
  void Scale(const uint8_t* from, uint8_t* to, uint8_t* line) const {
    if (!runs.empty()) {
      for (const Run& r : runs) {
        const uint8_t* p = from + 3 * size_t(r.start);
        uint32_t s0 = 0, s1 = 0, s2 = 0;
        for (int32_t k = 0; k < r.count; ++k, p += 3) {
          s0 += p[0];
          s1 += p[1];
          s2 += p[2];
        }
        to[0] = Divide(s0, r.recip);
        to[1] = Divide(s1, r.recip);
        to[2] = Divide(s2, r.recip);
        to += 3;
      }
      return;
    }
    std::memcpy(line, from, size_t(srcW) * 3);
    int32_t len = srcW;
    for (int32_t d = 0; d < doublings; ++d) {
      // Backwards, so that the doubled line can grow in its own buffer.
      for (int32_t i = len - 1; i >= 0; --i) {
        const uint8_t* p = line + 3 * i;
        const uint8_t* q = i + 1 < len ? p + 3 : p;
        const uint8_t m0 = Mean2(p[0], q[0]), m1 = Mean2(p[1], q[1]), m2 = Mean2(p[2], q[2]);
        uint8_t* o = line + 6 * i;
        const uint8_t c0 = p[0], c1 = p[1], c2 = p[2];
        o[0] = c0, o[1] = c1, o[2] = c2;
        o[3] = m0, o[4] = m1, o[5] = m2;
      }
      len *= 2;
    }
    if (copyLine) {
      std::memcpy(to, line, size_t(dstW) * 3);
      return;
    }
    for (const Pair& pr : pairs) {
      const uint8_t* a = line + 3 * pr.a;
      const uint8_t* b = line + 3 * pr.b;
      to[0] = Mean2(a[0], b[0]);
      to[1] = Mean2(a[1], b[1]);
      to[2] = Mean2(a[2], b[2]);
      to += 3;
    }
  }
};

// Vertical shrink into mid (srcW x dstH): each destination row is the mean of its run of rows.
void ShrinkRows(const Qimg& s, uint8_t* mid, int32_t dstH) {
  const size_t line = size_t(s.width) * 3;
  thread_local std::vector<uint32_t> sums;
  if (sums.size() < line) sums.resize(line);
  thread_local SizeTable<std::vector<Run>> cache;
  const std::vector<Run>& runs = cache.Get({s.height, dstH, 0}, [&] { return ShrinkRuns(s.height, dstH, true); });
  for (int32_t m = 0; m < dstH; ++m) {
    const Run& r = runs[size_t(m)];
    uint8_t* to = mid + line * m;
    const uint8_t* first = s.data + line * r.start;
    if (r.count == 1) {
      std::memcpy(to, first, line);
      continue;
    }
    if (r.count == 2) {  // the common halving, without the sums
      MeanRows(first, first + line, to, line);
      continue;
    }
    std::fill_n(sums.begin(), line, 0u);
    for (int32_t k = 0; k < r.count; ++k) {
      const uint8_t* p = first + line * k;
      for (size_t i = 0; i < line; ++i) sums[i] += p[i];
    }
    for (size_t i = 0; i < line; ++i) to[i] = Divide(sums[i], r.recip);
  }
}

// Vertical enlargement inside the destination buffer, whose top h rows hold the picture so far.
// bufA and bufB are line buffers of the destination's row length.
void EnlargeRows(Qimg& d, int32_t h, int32_t dstH, uint8_t* bufA, uint8_t* bufB) {
  const size_t line = size_t(d.width) * 3;
  auto row = [&](int32_t i) { return d.data + line * size_t(i); };
  bool bottomUp = true;  // direction of the next pass
  for (int32_t fac = dstH / h; fac > 1; fac /= 2) {
    if (bottomUp) {
      // Rows at the top become r0, r0, avg(r0, r1), r1, ..., r(h-1) at the bottom.
      const int32_t base = dstH - 2 * h;
      for (int32_t i = h - 1; i >= 0; --i) {
        std::memcpy(bufA, row(i), line);
        if (i > 0)
          MeanRows(row(i - 1), bufA, row(base + 2 * i), line);
        else
          std::memcpy(row(base), bufA, line);
        std::memcpy(row(base + 2 * i + 1), bufA, line);
      }
    } else {
      // Rows at the bottom become r0, avg(r0, r1), r1, ..., r(h-1), r(h-1) at the top.
      const int32_t base = dstH - h;
      for (int32_t i = 0; i < h; ++i) {
        std::memcpy(bufA, row(base + i), line);
        if (i + 1 < h)
          MeanRows(bufA, row(base + i + 1), row(2 * i + 1), line);
        else
          std::memcpy(row(2 * i + 1), bufA, line);
        std::memcpy(row(2 * i), bufA, line);
      }
    }
    h *= 2;
    bottomUp = !bottomUp;
  }
  const int64_t step = int64_t(h) * kOne / dstH;
  if (step >= kOne) return;
  // The last pass walks the rows toward where it writes and inserts a mean row wherever the sum of
  // steps falls behind; both rows are held in line buffers so that no write can spoil a row that
  // is still to be read.
  const int32_t base = bottomUp ? 0 : dstH - h;
  auto source = [&](int32_t k) { return row(bottomUp ? base + h - 1 - k : base + k); };
  auto target = [&](int32_t t) { return row(bottomUp ? dstH - 1 - t : t); };
  int64_t acc = 0, pos = 0;
  int32_t t = 0;
  std::memcpy(bufA, source(0), line);
  for (int32_t k = 0; t < dstH; ++k) {
    const bool hasNext = k + 1 < h;
    if (hasNext) std::memcpy(bufB, source(k + 1), line);
    std::memcpy(target(t++), bufA, line);
    if (t == dstH) break;
    pos += kOne;
    acc += step;
    if (acc < pos) {
      acc += step;
      MeanRows(bufA, hasNext ? bufB : bufA, target(t++), line);
    }
    if (hasNext) std::swap(bufA, bufB);
  }
}

// Rotate -------------------------------------------------------------------------------------

// Quarter turns in tiles, so that the column walks of the source stay in the cache.
template <int32_t kBytes>
void Turn(const Qimg& s, Qimg& d, bool clockwise) {
  constexpr int32_t kTile = 32;
  const int32_t sw = s.width, sh = s.height, dw = d.width, dh = d.height;
  // Clockwise: (x, y) <- (y, sh - 1 - x), a column walked upwards; counter-clockwise:
  // (x, y) <- (sw - 1 - y, x), a column walked downwards.
  const ptrdiff_t down = ptrdiff_t(sw) * kBytes, step = clockwise ? -down : down;
  for (int32_t y0 = 0; y0 < dh; y0 += kTile)
    for (int32_t x0 = 0; x0 < dw; x0 += kTile) {
      const int32_t y1 = std::min(y0 + kTile, dh), x1 = std::min(x0 + kTile, dw);
      for (int32_t y = y0; y < y1; ++y) {
        uint8_t* to = d.data + (size_t(y) * dw + x0) * kBytes;
        const int32_t sx = clockwise ? y : sw - 1 - y, sy = clockwise ? sh - 1 - x0 : x0;
        const uint8_t* from = s.data + (size_t(sy) * sw + sx) * kBytes;
        if constexpr (kBytes == 1) {
          for (int32_t x = x0; x < x1; ++x, ++to, from += step) *to = *from;
        } else {
          // Whole words are stored, each spilling one byte into the next pixel, which the next
          // store replaces; the last pixel of the run is stored by bytes.
          for (int32_t x = x0; x < x1 - 1; ++x, to += 3, from += step) {
            const uint32_t v = from[0] | (uint32_t(from[1]) << 8) | (uint32_t(from[2]) << 16);
            std::memcpy(to, &v, 4);
          }
          to[0] = from[0];
          to[1] = from[1];
          to[2] = from[2];
        }
      }
    }
}

}  // namespace

void ImgResize(Qimg& src, Qimg& dst, int32_t width, int32_t height) {
  ImgWork work;
  Guarded("IMGBasic.ImgResize", [&] {
    CheckSize(width, height);
    ImgOpInfo info;
    ImgInfo(info, IMG_OP_RESIZE);
    ImgInitEx(info, work, src, &dst, width, height);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const int32_t bpp = d.bytesPerPixel;
    thread_local SizeTable<std::vector<int32_t>> colCache, rowCache;
    const std::vector<int32_t>& cols = colCache.Get({s.width, width, bpp}, [&] {
      std::vector<int32_t> offsets = ResizeColumns(s.width, width);
      for (int32_t& c : offsets) c *= bpp;
      return offsets;
    });
    const std::vector<int32_t>& rows =
        rowCache.Get({s.height, height, 0}, [&] { return ResizeRows(s.height, height); });
    const size_t srcLine = size_t(s.width) * bpp, dstLine = size_t(width) * bpp;
    for (int32_t m = 0; m < height; ++m) {
      uint8_t* to = d.data + dstLine * m;
      if (m > 0 && rows[m] == rows[m - 1]) {
        std::memcpy(to, to - dstLine, dstLine);
        continue;
      }
      const uint8_t* from = s.data + srcLine * rows[m];
      if (bpp == 1) {
        for (int32_t n = 0; n < width; ++n) to[n] = from[cols[n]];
      } else {
        for (int32_t n = 0; n < width; ++n, to += 3) {
          const uint8_t* p = from + cols[n];
          to[0] = p[0];
          to[1] = p[1];
          to[2] = p[2];
        }
      }
    }
    ImgDone(work);
  });
}

void ImgResample(Qimg& src, Qimg& dst, int32_t width, int32_t height) {
  ImgWork work;
  Guarded("IMGBasic.ImgResample", [&] {
    CheckSize(width, height);
    ImgOpInfo info;
    ImgInfo(info, IMG_OP_RESAMPLE);
    ImgInitEx(info, work, src, &dst, width, height);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    // The line buffers and the vertically shrunk picture are scratch kept per thread.
    thread_local std::vector<uint8_t> lines, shrunk;
    const size_t longer = size_t(std::max(s.width, width)) * 3;
    uint8_t* tmpbuf = Scratch(lines, 2 * longer);
    const uint8_t* rowsFrom = s.data;
    int32_t rowCount = s.height;
    if (height < s.height) {
      uint8_t* mid = Scratch(shrunk, size_t(s.width) * 3 * size_t(height));
      ShrinkRows(s, mid, height);
      rowsFrom = mid;
      rowCount = height;
    }
    thread_local SizeTable<RowScaler> scalers;
    const RowScaler& scaler = scalers.Get({s.width, width, 0}, [&] { return RowScaler(s.width, width); });
    const size_t srcLine = size_t(s.width) * 3, dstLine = size_t(width) * 3;
    for (int32_t r = 0; r < rowCount; ++r) scaler.Scale(rowsFrom + srcLine * r, d.data + dstLine * r, tmpbuf);
    if (rowCount < height) EnlargeRows(d, rowCount, height, tmpbuf, tmpbuf + longer);
    ImgDone(work);
  });
}

void ImgRotate(Qimg& src, Qimg& dst, int32_t mode) {
  ImgWork work;
  Guarded("IMGBasic.ImgRotate", [&] {
    if (mode == 2) {
      ImgFlipH(src, dst);
      ImgFlipV(dst, dst);
      return;
    }
    if (mode != 1 && mode != 3) {
      ImgCopy(src, dst);
      return;
    }
    ImgOpInfo info;
    ImgInfo(info, IMG_OP_ROTATE);
    ImgInitEx(info, work, src, &dst, src.height, src.width);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    if (s.bytesPerPixel == 1)
      Turn<1>(s, d, mode == 1);
    else
      Turn<3>(s, d, mode == 1);
    ImgDone(work);
  });
}

}  // namespace rf
