// Tone and colour effects: brightness, contrast, RGB adjustment, gamma, posterize, solarize,
// equalize, negative, grayscale, saturation and hue.
#include "effects/tone.h"

#include <array>
#include <cmath>
#include <cstring>

#include "effects/fnparams.h"
#include "effects/fxwork.h"
#include "foundation/monitor.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

using detail::ClampInt;
using detail::ClampReal;
using detail::RunEffect;
using detail::WorkOn;

void Identity(uint8_t* table) {
  for (int32_t i = 0; i < 256; ++i) table[i] = uint8_t(i);
}

// ln(i / 255) for i = 1..254, computed on the first gamma run and kept for the program's life.
const std::array<double, 256>& GammaLogs() {
  static const std::array<double, 256> logs = [] {
    std::array<double, 256> l{};
    for (int32_t i = 1; i < 255; ++i) l[size_t(i)] = std::log(double(i) / 255.0);
    return l;
  }();
  return logs;
}

// The three channel tables applied to blue-green-red triples; units are pixels or palette entries.
void ApplyTables(const ImgWork& work, const uint8_t (&t)[3][256]) {
  const uint8_t* s = work.srcData;
  uint8_t* d = work.dstData;
  const uint8_t *red = t[0], *green = t[1], *blue = t[2];
  for (int32_t i = 0, n = work.srcUnits; i < n; ++i, s += 3, d += 3) {
    d[0] = blue[s[0]];
    d[1] = green[s[1]];
    d[2] = red[s[2]];
  }
}

// Per-channel histograms of the working source; an 8-bit picture counts its pixels' palette colours.
void Histograms(const ImgWork& work, uint32_t (&hist)[3][256]) {
  std::memset(hist, 0, sizeof hist);
  const Qimg& s = *work.src;
  if (work.src8) {
    uint32_t index[256] = {};
    for (int32_t i = 0, n = work.srcPixels; i < n; ++i) ++index[s.data[i]];
    for (int32_t v = 0; v < 256; ++v) {
      hist[0][s.palette[v][2]] += index[v];
      hist[1][s.palette[v][1]] += index[v];
      hist[2][s.palette[v][0]] += index[v];
    }
    return;
  }
  const uint8_t* p = s.data;
  for (int32_t i = 0, n = work.srcPixels; i < n; ++i, p += 3) {
    ++hist[2][p[0]];
    ++hist[1][p[1]];
    ++hist[0][p[2]];
  }
}

// Coefficients of the hue rotation per 60-degree sector, as functions of the fraction f.
struct HueRow {
  int32_t base[9];  // constant part
  int32_t sign[9];  // multiple of f
};
constexpr HueRow kHueSectors[6] = {
    {{510, 0, 0, 0, 510, 0, 0, 0, 510}, {-1, 1, 0, 0, -1, 1, 1, 0, -1}},
    {{255, 255, 0, 0, 255, 255, 255, 0, 255}, {-1, 1, 0, 0, -1, 1, 1, 0, -1}},
    {{0, 510, 0, 0, 0, 510, 510, 0, 0}, {0, -1, 1, 1, 0, -1, -1, 1, 0}},
    {{0, 255, 255, 255, 0, 255, 255, 255, 0}, {0, -1, 1, 1, 0, -1, -1, 1, 0}},
    {{0, 0, 510, 510, 0, 0, 0, 510, 0}, {1, 0, -1, -1, 1, 0, 0, -1, 1}},
    {{255, 0, 255, 255, 255, 0, 0, 255, 255}, {1, 0, -1, -1, 1, 0, 0, -1, 1}},
};

void SaturateLess(const ImgWork& work, const uint8_t* a) {
  const uint8_t* s = work.srcData;
  uint8_t* d = work.dstData;
  for (int32_t i = 0, n = work.srcUnits; i < n; ++i, s += 3, d += 3) {
    const int32_t avg = (s[0] + s[1] + s[2]) / 3;
    for (int32_t c = 0; c < 3; ++c) d[c] = uint8_t(s[c] < avg ? s[c] + a[avg - s[c]] : s[c] - a[s[c] - avg]);
  }
}

void SaturateMore(const ImgWork& work, const uint8_t* a) {
  const uint8_t* s = work.srcData;
  uint8_t* d = work.dstData;
  for (int32_t i = 0, n = work.srcUnits; i < n; ++i, s += 3, d += 3) {
    // Ties go to blue, then green: the key adds a priority below the value.
    const int32_t kb = s[0] * 4 + 2, kg = s[1] * 4 + 1, kr = s[2] * 4;
    int32_t hi = 0, mid = 1, lo = 2;
    int32_t keys[3] = {kb, kg, kr};
    if (keys[hi] < keys[mid]) std::swap(hi, mid);
    if (keys[mid] < keys[lo]) std::swap(mid, lo);
    if (keys[hi] < keys[mid]) std::swap(hi, mid);
    const int32_t vmax = s[hi], vmid = s[mid], vmin = s[lo];
    const int32_t h = a[vmax - vmin] / 2;
    const int32_t nmin = std::max(0, vmin - h);
    const int32_t nmax = std::min(255, vmax + h);
    const int32_t nmid = std::min(255, nmin + (vmid - vmin) + a[vmid - vmin]);
    d[hi] = uint8_t(nmax);
    d[mid] = uint8_t(nmid);
    d[lo] = uint8_t(nmin);
  }
}

}  // namespace

void BrightnessCalc_(double v, uint8_t* t) {
  if (v == 0) return Identity(t);
  const int32_t d = int32_t(v * 255 * 0.01);
  for (int32_t i = 0; i < 256; ++i) t[i] = uint8_t(v < 0 ? std::max(0, i + d) : std::min(255, i + d));
}

void AdjustRGBCalc_(double v, uint8_t* t) {
  if (v == 0) return Identity(t);
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t x = int32_t(i * v * 0.01 + i);
    t[i] = uint8_t(v < 0 ? std::max(0, x) : std::min(255, x));
  }
}

void ContrastCalc_(double v, uint8_t* t) {
  if (v == 0) return Identity(t);
  const int32_t a = std::abs(int32_t(v));
  const int32_t k = int32_t(128 / (128 - a * 127 * 0.01));
  for (int32_t i = 0; i < 128; ++i) {
    const int32_t spread = (127 - i) * a / 100 + k;
    t[i] = uint8_t(v < 0 ? std::min(128, spread + i) : std::max(0, i - spread));
  }
  for (int32_t i = 128; i < 256; ++i) {
    const int32_t spread = (i - 128) * a / 100 + k;
    t[i] = uint8_t(v < 0 ? std::max(128, i - spread) : std::min(255, spread + i));
  }
}

void GammaCalc_(double g, uint8_t* t) {
  const auto& logs = GammaLogs();
  t[0] = 0;
  t[255] = 255;
  // nearbyint rounds halves to even in the default rounding mode.
  for (int32_t i = 1; i < 255; ++i) t[i] = uint8_t(std::nearbyint(255 * std::exp(logs[size_t(i)] / g)));
}

void PosterizeCalc_(double n, uint8_t* t) {
  const double s = 255 / n;
  for (int32_t i = 0; i < 256; ++i) t[i] = uint8_t(int32_t(double(int32_t((i + s / 2) / s)) * s));
}

void SolarizeCalc_(double v, uint8_t* t) {
  const int32_t n = int32_t(v);
  for (int32_t i = 0; i < 256; ++i) t[i] = uint8_t(i < n ? i : 255 - i);
}

void EqualizeCalc_(const uint32_t (&hist)[3][256], int64_t pixels, uint8_t (&tables)[3][256]) {
  const double step = double(pixels) / 256;
  for (int32_t c = 0; c < 3; ++c) {
    int64_t cum[256];
    int64_t total = 0;
    for (int32_t j = 0; j < 256; ++j) cum[j] = total += hist[c][j];
    int32_t bound[256];
    bound[0] = 0;
    int32_t j = 0;
    for (int32_t k = 1; k < 256; ++k) {
      const double target = k * step;
      while (j < 254 && double(cum[j + 1]) <= target) ++j;
      bound[k] = double(cum[j + 1]) - target <= target - double(cum[j]) ? j + 1 : j;
    }
    // Boundaries never decrease, so the largest m with bound[m] <= v is found in one sweep.
    int32_t m = 0;
    for (int32_t v = 0; v < 256; ++v) {
      while (m < 255 && bound[m + 1] <= v) ++m;
      tables[c][v] = uint8_t(m);
    }
  }
}

void AutoTune_(int32_t op, Qimg& src, Qimg& dst, double red, double green, double blue, FnTableBuilder builder) {
  ImgWork work;
  Guarded("impress.AutoTune_", [&] {
    if (red == 0 && green == 0 && blue == 0) {
      ImgCopy(src, dst);
      return;
    }
    ImgOpInfo info;
    ImgInfo(info, op);
    const double values[3] = {red, green, blue};
    uint8_t tables[3][256];
    for (int32_t c = 0; c < 3; ++c)
      builder(ClampReal(values[c], info.params[c].minimum, info.params[c].maximum), tables[c]);
    WorkOn(work, info, src, dst, [&](ImgWork& w) { ApplyTables(w, tables); });
  });
}

void ImgAdjustRGB(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgAdjustRGB", [&] { AutoTune_(FN_ADJUST_RGB, src, dst, red, green, blue, AdjustRGBCalc_); });
}

void ImgBrightness(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgBrightness", [&] { AutoTune_(FN_BRIGHTNESS, src, dst, red, green, blue, BrightnessCalc_); });
}

void ImgContrast(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgContrast", [&] { AutoTune_(FN_CONTRAST, src, dst, red, green, blue, ContrastCalc_); });
}

void ImgGamma(Qimg& src, Qimg& dst, double red, double green, double blue) {
  Guarded("impress.ImgGamma", [&] { AutoTune_(FN_GAMMA, src, dst, red, green, blue, GammaCalc_); });
}

void ImgPosterize(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgPosterize", [&] { AutoTune_(FN_POSTERIZE, src, dst, red, green, blue, PosterizeCalc_); });
}

void ImgSolarize(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue) {
  Guarded("impress.ImgSolarize", [&] { AutoTune_(FN_SOLARIZE, src, dst, red, green, blue, SolarizeCalc_); });
}

void ImgEqualize(Qimg& src, Qimg& dst) {
  RunEffect("impress.ImgEqualize", FN_EQUALIZE, src, dst, [](ImgWork& work) {
    uint32_t hist[3][256];
    Histograms(work, hist);
    uint8_t tables[3][256];
    EqualizeCalc_(hist, work.srcPixels, tables);
    ApplyTables(work, tables);
  });
}

void ImgNegative(Qimg& src, Qimg& dst) {
  RunEffect("impress.ImgNegative", FN_NEGATIVE, src, dst, [](ImgWork& work) {
    // Complementing every byte complements every field of a 16-bit word as well.
    const uint8_t* s = work.srcData;
    uint8_t* d = work.dstData;
    for (int32_t i = 0, n = work.srcLen; i < n; ++i) d[i] = uint8_t(255 - s[i]);
  });
}

void ImgGray(Qimg& src, Qimg& dst) {
  RunEffect("impress.ImgGray", FN_GRAYSCALE, src, dst, [](ImgWork& work) {
    const uint8_t* s = work.srcData;
    uint8_t* d = work.dstData;
    for (int32_t i = 0, n = work.srcUnits; i < n; ++i, s += 3, d += 3) {
      const uint8_t grey = uint8_t((s[0] + s[1] + s[2]) / 3);
      d[0] = d[1] = d[2] = grey;
    }
  });
}

void ImgSaturation(Qimg& src, Qimg& dst, int32_t s) {
  ImgWork work;
  Guarded("impress.ImgSaturation", [&] {
    if (s == 0) {
      ImgCopy(src, dst);
      return;
    }
    s = ClampInt(s, -100, 100);
    uint8_t a[256];
    for (int32_t x = 0; x < 256; ++x) a[x] = uint8_t(std::abs(s) * x / 100);
    ImgOpInfo info;
    ImgInfo(info, FN_SATURATION);
    WorkOn(work, info, src, dst, [&](ImgWork& w) {
      if (s < 0)
        SaturateLess(w, a);
      else
        SaturateMore(w, a);
    });
  });
}

void ImgHue(Qimg& src, Qimg& dst, int32_t d) {
  ImgWork work;
  Guarded("impress.ImgHue", [&] {
    int32_t theta = -ClampInt(d, -180, 180);
    if (theta < 0) theta += 360;
    if (theta == 0) {
      ImgCopy(src, dst);
      return;
    }
    const int32_t k = theta / 60;
    const int32_t f = (theta - 60 * k) * 255 / 60;
    // Halved coefficients of a row sum to at most 255, so products and sums stay within 16 bits.
    uint16_t prod[9][256];
    for (int32_t c = 0; c < 9; ++c) {
      const int32_t coeff = (kHueSectors[k].base[c] + kHueSectors[k].sign[c] * f) / 2;
      for (int32_t x = 0; x < 256; ++x) prod[c][x] = uint16_t(coeff * x);
    }
    ImgOpInfo info;
    ImgInfo(info, FN_HUE);
    WorkOn(work, info, src, dst, [&](ImgWork& w) {
      const uint8_t* s = w.srcData;
      uint8_t* o = w.dstData;
      for (int32_t i = 0, n = w.srcUnits; i < n; ++i, s += 3, o += 3) {
        const uint8_t b = s[0], g = s[1], r = s[2];
        o[2] = uint8_t(uint32_t(prod[0][r] + prod[1][g] + prod[2][b]) / 255);
        o[1] = uint8_t(uint32_t(prod[3][r] + prod[4][g] + prod[5][b]) / 255);
        o[0] = uint8_t(uint32_t(prod[6][r] + prod[7][g] + prod[8][b]) / 255);
      }
    });
  });
}

}  // namespace rf
