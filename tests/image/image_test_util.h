// Small pictures for the image tests: filled from patterns, read back pixel by pixel.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/imgbasic.h"

namespace rf::test {

// A w x h picture of bpp bits whose bytes follow a fixed pseudo-random sequence (15-bit words
// keep bit 15 clear, 32-bit pixels their fourth byte 0); 8-bit pictures get a random palette.
inline void MakePattern(Qimg& img, int32_t w, int32_t h, int32_t bpp, uint32_t seed = 1) {
  ASSERT_EQ(_imgalloc_(img, w, h, bpp, "Test.pattern"), 0);
  uint32_t s = seed * 2654435761u + 1;
  auto next = [&] {
    s = s * 1103515245u + 12345u;
    return uint8_t(s >> 23);
  };
  for (int32_t i = 0; i < img.size; ++i) img.data[i] = next();
  if (bpp == 15)
    for (int32_t i = 1; i < img.size; i += 2) img.data[i] &= 0x7F;
  if (bpp == 32)
    for (int32_t i = 3; i < img.size; i += 4) img.data[i] = 0;
  for (auto& e : img.palette)
    for (auto& c : e) c = next();
}

// A picture from explicit pixel values (one value per pixel: index, word or 0xRRGGBB).
inline void MakeFrom(Qimg& img, int32_t w, int32_t h, int32_t bpp, const std::vector<uint32_t>& px) {
  ASSERT_EQ(_imgalloc_(img, w, h, bpp, "Test.from"), 0);
  ASSERT_EQ(px.size(), size_t(w) * h);
  for (size_t i = 0; i < px.size(); ++i)
    for (int32_t b = 0; b < img.bytesPerPixel; ++b) img.data[i * img.bytesPerPixel + b] = uint8_t(px[i] >> (8 * b));
}

inline uint32_t Pixel(const Qimg& img, int32_t x, int32_t y) {
  uint32_t v = 0;
  const uint8_t* p = img.data + (size_t(y) * img.width + x) * img.bytesPerPixel;
  for (int32_t b = 0; b < img.bytesPerPixel; ++b) v |= uint32_t(p[b]) << (8 * b);
  return v;
}

inline std::vector<uint32_t> Pixels(const Qimg& img) {
  std::vector<uint32_t> v;
  for (int32_t y = 0; y < img.height; ++y)
    for (int32_t x = 0; x < img.width; ++x) v.push_back(Pixel(img, x, y));
  return v;
}

inline bool SameImage(const Qimg& a, const Qimg& b) {
  return a.width == b.width && a.height == b.height && a.bpp == b.bpp &&
         std::memcmp(a.data, b.data, size_t(a.width) * a.height * a.bytesPerPixel) == 0;
}

}  // namespace rf::test
