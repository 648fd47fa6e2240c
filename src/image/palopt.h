// Palette reduction: a 6-bit colour histogram, median cut to at most N colours (darkest first)
// and remapping of pictures to that palette, plainly or with error diffusion.
#pragma once

#include <cstdint>

#include "image/imgbasic.h"

namespace rf {

inline constexpr int32_t PAL_CELLS = 1 << 18;
inline constexpr int32_t PAL_MAX_BOXES = 256;

// One box of the median cut over the 6-bit cells (c0 red, c1 green, c2 blue).
struct PalBox {
  int32_t c0min, c0max, c1min, c1max, c2min, c2max;
  int32_t d0, d1, d2;
  int32_t splittable;
  int64_t volume;      // 4 d0^2 + 9 d1^2 + d2^2
  int32_t population;  // non-empty cells inside
};

// The working block, shared program-wide from PalInit to PalDone. Each histogram cell holds its
// pixel count minus 1 (-1 when empty) and, after PalReduce, the palette index of its colour.
struct PalQuant {
  int32_t histogram[PAL_CELLS];
  int32_t usedCells;
  uint8_t palette[256][3];  // blue, green, red
  int32_t correction[256];
  PalBox boxes[PAL_MAX_BOXES];
  int32_t boxCount;
  int32_t colours;  // N
};

// Cell index of a colour: (red >> 2) + 64 (green >> 2) + 4096 (blue >> 2).
inline int32_t PalCell(uint32_t b, uint32_t g, uint32_t r) {
  return int32_t((r >> 2) | ((g >> 2) << 6) | ((b >> 2) << 12));
}

void PalInit();
void PalClearVars();
void PalCountColors(const Qimg& img);
void PalReduce(int32_t n);
// Writes the 8-bit picture into dst (which may be src) with the chosen palette. The source
// pixels are never changed, dithering included.
void PalRemap(const Qimg& src, Qimg& dst, bool dither);
void PalDone();
void ConvTo8bit(const Qimg& src, Qimg& dst, bool dither);

// The working block while it exists (for inspection), else null.
const PalQuant* PalState();

namespace detail {
// The damped share of an error for k = 1, 3, 5 or 7 sixteenths.
int32_t PalErrShare(int32_t error, int32_t k);
}  // namespace detail

}  // namespace rf
