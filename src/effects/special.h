// Random and special effects: chaos, noise, interference, pixelize, deinterlace, oil painting,
// and the two mirrors.
#pragma once

#include <cstdint>

namespace rf {

struct Qimg;

// Scatters every pixel by up to radius (1..10) in each direction; 8-bit pictures stay 8-bit.
// The shared generator's seed is the same afterwards.
void ImgChaos(Qimg& src, Qimg& dst, int32_t radius);

// Uniform (op FN_NOISE_UNIFORM) or gaussian (op FN_NOISE_GAUSSIAN) noise with per-channel
// amounts in percent; all three 0 copy the picture.
void AutoNoise_(int32_t op, Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgNoiseUniform(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
void ImgNoiseGaussian(Qimg& src, Qimg& dst, int32_t red, int32_t green, int32_t blue);
// Light grey horizontal streaks; percent 1..100 sets how many.
void ImgNoiseInterference(Qimg& src, Qimg& dst, int32_t percent);

// Each block of blockWidth x blockHeight pixels from the top-left corner takes its mean colour.
void ImgPixelize(Qimg& src, Qimg& dst, int32_t blockWidth, int32_t blockHeight);
// Rebuilds the odd (eliminate 0) or even (eliminate 1) lines, counted from 1, from their
// neighbours: interpolated (generate 0, at 24 bits) or duplicated (generate 1, any depth).
void ImgDeinterlace(Qimg& src, Qimg& dst, int32_t eliminate, int32_t generate);
// Each byte becomes the most frequent value of its channel within the radius (1..7).
void ImgOilPainting(Qimg& src, Qimg& dst, int32_t radius);
// The left half mirrored onto the right half; the top half onto the bottom half.
void ImgMirrorH(Qimg& src, Qimg& dst);
void ImgMirrorV(Qimg& src, Qimg& dst);

}  // namespace rf
