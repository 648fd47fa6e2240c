// Helpers shared by the image units: allocation that stops the operation, pixel word layouts.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/common.h"
#include "image/imgbasic.h"

namespace rf::detail {

// _imgalloc_ that ends the running operation when the block could not be had. The error itself
// already aborts a guarded block; the explicit stop also covers a block whose abort flag an
// earlier nested stop has consumed, where the error alone would let the loop run on a nil block.
void ImgAllocOrStop(Qimg& img, int32_t width, int32_t height, int32_t bpp, std::string_view label, Site line = {});
// The same for a plain tracked scratch block.
void MemAllocOrStop(uint8_t*& var, int32_t size, std::string_view label, Site line = {});

// Converts every pixel of src into dst, which is already allocated with src's size at the target
// depth. For 8-bit targets this is the grey conversion; palette reduction is PalOpt's job.
void ConvertPixels(const Qimg& src, Qimg& dst);

inline uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void Store16(uint8_t* p, uint32_t w) {
  p[0] = uint8_t(w);
  p[1] = uint8_t(w >> 8);
}

// Word layouts from blue, green and red bytes.
inline uint32_t Pack15(uint32_t b, uint32_t g, uint32_t r) { return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); }
inline uint32_t Pack16(uint32_t b, uint32_t g, uint32_t r) { return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); }

// Expansion of words to bytes with the low bits 0.
inline void Unpack15(uint32_t w, uint8_t* bgr) {
  bgr[0] = uint8_t((w & 0x1F) << 3);
  bgr[1] = uint8_t(((w >> 5) & 0x1F) << 3);
  bgr[2] = uint8_t(((w >> 10) & 0x1F) << 3);
}
inline void Unpack16(uint32_t w, uint8_t* bgr) {
  bgr[0] = uint8_t((w & 0x1F) << 3);
  bgr[1] = uint8_t(((w >> 5) & 0x3F) << 2);
  bgr[2] = uint8_t(((w >> 11) & 0x1F) << 3);
}

// True when the record owns a tracked pixel block.
inline bool ImgOwnsBlock(const Qimg& img) { return img.data != nullptr && !img.external; }

}  // namespace rf::detail
