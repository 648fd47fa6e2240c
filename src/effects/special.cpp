// Chaos, noise, interference streaks, pixelize, deinterlace, oil painting and the mirrors.
#include "effects/special.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "effects/fnparams.h"
#include "effects/fnrandom.h"
#include "effects/fxwork.h"
#include "foundation/monitor.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

using detail::ClampInt;
using detail::RunEffect;

void CopyPixels(const ImgWork& work) {
  if (work.src->data != work.dst->data) std::memcpy(work.dst->data, work.src->data, size_t(work.srcBytes));
}

// Gaussian noise: k = trunc(T x 0.0000528596089837 - 3.46410161514) for a sum T of four 15-bit
// draws. k never decreases with T, so the six values of T where it steps up decide it exactly
// without floating point per byte.
double GaussianReal(int32_t t) { return t * 0.0000528596089837 - 3.46410161514; }

const std::array<int32_t, 6>& GaussianSteps() {
  static const std::array<int32_t, 6> steps = [] {
    std::array<int32_t, 6> s{};
    for (int32_t j = 0; j < 6; ++j) {
      int32_t lo = 0, hi = 4 * 32767 + 1;  // first T with k >= j - 2
      while (lo < hi) {
        const int32_t m = (lo + hi) / 2;
        if (int32_t(GaussianReal(m)) >= j - 2)
          hi = m;
        else
          lo = m + 1;
      }
      s[size_t(j)] = lo;
    }
    return s;
  }();
  return steps;
}

struct UniformDraw {
  int32_t operator()(FnRandGen& gen) const { return int32_t(gen.Next(3)) - 1; }
};

// The four seeds after s, each straight from s, so that the four multiplications of one draw do
// not wait for each other: seed(k) = s x a^k + (a^(k-1) + ... + a + 1).
constexpr uint32_t kA = 134775813u;
constexpr uint32_t kA2 = kA * kA, kA3 = kA2 * kA, kA4 = kA3 * kA;
constexpr uint32_t kC2 = kA + 1u, kC3 = kA2 + kA + 1u, kC4 = kA3 + kA2 + kA + 1u;

struct GaussianDraw {
  const std::array<int32_t, 6>& steps = GaussianSteps();
  static int32_t Part(uint32_t seed) { return int32_t(uint32_t((uint64_t(seed) * 2147483647u) >> 32) & 32767u); }
  int32_t operator()(FnRandGen& gen) const {
    const uint32_t s = gen.seed;
    const int32_t t = Part(s * kA + 1u) + Part(s * kA2 + kC2) + Part(s * kA3 + kC3) + Part(s * kA4 + kC4);
    gen.seed = s * kA4 + kC4;
    int32_t k = -3;
    for (const int32_t step : steps) k += t >= step;
    return k;
  }
};

// Byte changes per draw k = -3..3, for one channel of amount a: -2a, -a, 0, a, 2a; +-3 leave it.
using NoiseDeltas = std::array<int32_t, 7>;

template <class Draw>
void AddNoise(const ImgWork& work, const NoiseDeltas (&byByte)[3], Draw draw) {
  FnRandGen gen{FnRandSeed()};
  uint8_t* p = work.dst->data;
  for (int32_t i = 0, n = work.dstPixels; i < n; ++i, p += 3)
    for (int32_t c = 2; c >= 0; --c) p[c] = detail::ClampByte(p[c] + byByte[c][size_t(draw(gen) + 3)]);
  FnRandSetSeed(gen.seed);
}

// One channel's counts in the oil painting window and the list of the values present.
struct OilHistogram {
  uint8_t count[256];
  uint8_t list[256];
  uint8_t pos[256];
  int32_t size;

  void Clear() {
    std::memset(count, 0, sizeof count);
    size = 0;
  }
  void Add(uint8_t v) {
    if (++count[v] == 1) {
      pos[v] = uint8_t(size);
      list[size++] = v;
    }
  }
  void Remove(uint8_t v) {
    if (--count[v] == 0) {
      const uint8_t last = list[--size];
      list[pos[v]] = last;
      pos[last] = pos[v];
    }
  }
  // The first entry wins unless a later one, scanned from the end, has a strictly larger count.
  uint8_t Winner() const {
    uint8_t best = list[0];
    for (int32_t i = size - 1; i >= 1; --i)
      if (count[list[i]] > count[best]) best = list[i];
    return best;
  }
};

void OilPaint(const Qimg& s, Qimg& d, int32_t r) {
  const int32_t w = s.width, h = s.height, line = w * 3;
  OilHistogram hist[3];
  for (int32_t y = 0; y < h; ++y) {
    const int32_t y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
    auto column = [&](int32_t x, bool add) {
      for (int32_t yy = y0; yy <= y1; ++yy) {
        const uint8_t* p = s.data + size_t(yy) * line + 3 * x;
        for (int32_t c = 0; c < 3; ++c) add ? hist[c].Add(p[c]) : hist[c].Remove(p[c]);
      }
    };
    for (auto& one : hist) one.Clear();
    for (int32_t x = 0; x <= std::min(r, w - 1); ++x) column(x, true);
    uint8_t* out = d.data + size_t(y) * line;
    for (int32_t x = 0; x < w; ++x) {
      if (x > 0) {
        if (x + r < w) column(x + r, true);
        if (x - r - 1 >= 0) column(x - r - 1, false);
      }
      for (int32_t c = 0; c < 3; ++c) out[3 * x + c] = hist[c].Winner();
    }
  }
}

void Pixelize(const ImgWork& work, int32_t bw, int32_t bh) {
  const Qimg& s = *work.src;
  Qimg& d = *work.dst;
  const int32_t w = s.width, h = s.height, line = w * 3;
  for (int32_t y0 = 0; y0 < h; y0 += bh) {
    const int32_t y1 = std::min(h, y0 + bh);
    for (int32_t x0 = 0; x0 < w; x0 += bw) {
      const int32_t x1 = std::min(w, x0 + bw);
      uint64_t sum[3] = {0, 0, 0};
      for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* p = s.data + size_t(y) * line + 3 * size_t(x0);
        for (int32_t x = x0; x < x1; ++x, p += 3) {
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
        }
      }
      const uint64_t count = uint64_t(x1 - x0) * uint64_t(y1 - y0);
      const uint8_t mean[3] = {uint8_t(sum[0] / count), uint8_t(sum[1] / count), uint8_t(sum[2] / count)};
      // The block is read completely before it is written, so this also works in place.
      for (int32_t y = y0; y < y1; ++y) {
        uint8_t* p = d.data + size_t(y) * line + 3 * size_t(x0);
        for (int32_t x = x0; x < x1; ++x, p += 3) std::memcpy(p, mean, 3);
      }
    }
  }
}

}  // namespace

void ImgChaos(Qimg& src, Qimg& dst, int32_t radius) {
  RunEffect("impress.ImgChaos", FN_CHAOS, src, dst, [&](ImgWork& work) {
    const int32_t r = ClampInt(radius, 1, 10);
    const uint32_t saved = FnRandSeed();
    FnRandomize();
    CopyPixels(work);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const int32_t bpp = s.bytesPerPixel, w = s.width, h = s.height;
    const uint32_t span = uint32_t(2 * r + 1);
    FnRandGen gen{FnRandSeed()};
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int32_t nx = int32_t(gen.Next(span)) + x - r;
        const int32_t ny = int32_t(gen.Next(span)) + y - r;
        if (nx >= 0 && nx < w && ny >= 0 && ny < h)
          std::memcpy(d.data + (size_t(ny) * w + nx) * bpp, s.data + (size_t(y) * w + x) * bpp, size_t(bpp));
      }
    FnRandSetSeed(saved);
  });
}

void AutoNoise_(int32_t op, Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  ImgWork work;
  Guarded("impress.AutoNoise_", [&] {
    if (red == 0 && green == 0 && blue == 0) {
      ImgCopy(src, dst);
      return;
    }
    ImgOpInfo info;
    ImgInfo(info, op);
    detail::WorkOn(work, info, src, dst, [&](ImgWork& w) {
      CopyPixels(w);
      FnRandomize();
      NoiseDeltas byByte[3];
      const int32_t values[3] = {blue, green, red};
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t a = ClampInt(values[c], 1, 100) * 127 / 100;
        byByte[c] = {0, -2 * a, -a, 0, a, 2 * a, 0};
      }
      if (op == FN_NOISE_GAUSSIAN)
        AddNoise(w, byByte, GaussianDraw{});
      else
        AddNoise(w, byByte, UniformDraw{});
    });
  });
}

void ImgNoiseUniform(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgNoiseUniform", [&] { AutoNoise_(FN_NOISE_UNIFORM, src, dst, red, green, blue); });
}

void ImgNoiseGaussian(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgNoiseGaussian", [&] { AutoNoise_(FN_NOISE_GAUSSIAN, src, dst, red, green, blue); });
}

void ImgNoiseInterference(Qimg& src, Qimg& dst, int32_t percent) {
  RunEffect("impress.ImgNoiseInterference", FN_NOISE_INTERFERENCE, src, dst, [&](ImgWork& work) {
    CopyPixels(work);
    FnRandomize();
    Qimg& d = *work.dst;
    const int32_t w = d.width, h = d.height;
    const int64_t n = int64_t(ClampInt(percent, 1, 100)) * w * h / 3000 + 1;
    const uint32_t longest = uint32_t(std::max(2, w / 100));
    const int64_t streaks = n + FnRandom(uint32_t(std::min<int64_t>(n / 4, UINT32_MAX)));
    for (int64_t i = 0; i < streaks; ++i) {
      const int32_t x = int32_t(FnRandom(uint32_t(w)));
      const int32_t y = int32_t(FnRandom(uint32_t(h)));
      int32_t length = int32_t(FnRandom(longest)) + 1;
      if (x + length >= w) length = w - x;
      int32_t grey = int32_t(FnRandom(96)) + 160;
      const int32_t step = int32_t(FnRandom(17)) - 8;
      uint8_t* p = d.data + (size_t(y) * w + x) * 3;
      for (int32_t j = 0; j < length; ++j, p += 3) {
        p[0] = p[1] = p[2] = uint8_t(grey);
        grey = ClampInt(grey + step, 160, 255);
      }
    }
  });
}

void ImgPixelize(Qimg& src, Qimg& dst, int32_t blockWidth, int32_t blockHeight) {
  RunEffect("impress.ImgPixelize", FN_PIXELIZE, src, dst, [&](ImgWork& work) {
    // A side of one pixel leaves blocks of one pixel: nothing smaller than two fits there.
    const int32_t bw = std::min(std::max(blockWidth, 2), work.src->width);
    const int32_t bh = std::min(std::max(blockHeight, 2), work.src->height);
    Pixelize(work, bw, bh);
  });
}

void ImgDeinterlace(Qimg& src, Qimg& dst, int32_t eliminate, int32_t generate) {
  ImgWork work;
  Guarded("impress.ImgDeinterlace", [&] {
    ImgOpInfo info;
    ImgInfo(info, FN_DEINTERLACE);
    const bool duplicate = generate != 0;
    // Duplicated rows need no arithmetic on the pixels, so every depth can stay as it is.
    if (duplicate) ImgInfoSetBpp(info, 0, 0);
    detail::WorkOn(work, info, src, dst, [&](ImgWork& w) {
      CopyPixels(w);
      uint8_t* data = w.dst->data;
      const size_t line = size_t(w.srcLine);
      const int32_t h = w.dst->height;
      auto row = [&](int32_t i) { return data + size_t(i) * line; };
      auto rebuild = [&](int32_t b) {
        if (duplicate || b + 1 >= h) {
          std::memcpy(row(b), row(b - 1), line);
          return;
        }
        const uint8_t *above = row(b - 1), *below = row(b + 1);
        uint8_t* out = row(b);
        for (size_t i = 0; i < line; ++i) out[i] = uint8_t((above[i] + below[i]) >> 1);
      };
      const bool oddLines = eliminate == 0;
      if (oddLines && h > 1) std::memcpy(row(0), row(1), line);
      for (int32_t b = oddLines ? 2 : 1; b < h; b += 2) rebuild(b);
    });
  });
}

void ImgOilPainting(Qimg& src, Qimg& dst, int32_t radius) {
  RunEffect("impress.ImgOilPainting", FN_OIL_PAINTING, src, dst, [&](ImgWork& work) {
    const Qimg& s = *work.src;
    const int32_t r = std::min({ClampInt(radius, 1, 7), (s.width - 1) / 2, (s.height - 1) / 2});
    OilPaint(s, *work.dst, r);
  });
}

void ImgMirrorH(Qimg& src, Qimg& dst) {
  RunEffect("impress.ImgMirrorH", FN_MIRROR_H, src, dst, [](ImgWork& work) {
    CopyPixels(work);
    Qimg& d = *work.dst;
    const int32_t w = d.width;
    const size_t bpp = size_t(d.bytesPerPixel), line = size_t(w) * bpp;
    for (int32_t y = 0; y < d.height; ++y) {
      uint8_t* p = d.data + y * line;
      for (int32_t i = 0; i < w / 2; ++i) std::memcpy(p + (w - 1 - i) * bpp, p + i * bpp, bpp);
    }
  });
}

void ImgMirrorV(Qimg& src, Qimg& dst) {
  RunEffect("impress.ImgMirrorV", FN_MIRROR_V, src, dst, [](ImgWork& work) {
    CopyPixels(work);
    Qimg& d = *work.dst;
    const size_t line = size_t(work.srcLine);
    const int32_t h = d.height;
    for (int32_t i = 0; i < h / 2; ++i) std::memcpy(d.data + (h - 1 - i) * line, d.data + i * line, line);
  });
}

}  // namespace rf
