// Tone and colour effects: the per-channel table engine and the per-pixel colour rules.
#pragma once

#include <cstdint>

namespace rf {

struct Qimg;

// Fills one 256-entry channel table for one channel value.
using FnTableBuilder = void (*)(double value, uint8_t* table);

void BrightnessCalc_(double v, uint8_t* table);
void AdjustRGBCalc_(double v, uint8_t* table);
void ContrastCalc_(double v, uint8_t* table);
void GammaCalc_(double g, uint8_t* table);
void PosterizeCalc_(double n, uint8_t* table);
void SolarizeCalc_(double t, uint8_t* table);
// Tables that spread the three histograms over the whole range; pixels is width x height.
void EqualizeCalc_(const uint32_t (&hist)[3][256], int64_t pixels, uint8_t (&tables)[3][256]);

// The shared engine of the table effects: all three values 0 copy the picture; otherwise each
// value is held within its parameter range of operation op and the channel tables are applied.
void AutoTune_(int32_t op, Qimg& src, Qimg& dst, double red, double green, double blue, FnTableBuilder builder);

// src and dst may be the same record for all of them; 8-bit pictures change their palette only.
void ImgAdjustRGB(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgBrightness(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgContrast(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgGamma(Qimg& src, Qimg& dst, double red, double green, double blue);
void ImgPosterize(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgSolarize(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgEqualize(Qimg& src, Qimg& dst);
// 16-bit pictures stay 16-bit: every colour field is complemented.
void ImgNegative(Qimg& src, Qimg& dst);
void ImgGray(Qimg& src, Qimg& dst);
void ImgSaturation(Qimg& src, Qimg& dst, int32_t percent);
void ImgHue(Qimg& src, Qimg& dst, int32_t degrees);

}  // namespace rf
