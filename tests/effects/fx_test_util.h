// Small pictures for the effect tests: built from colour lists, freed on scope exit.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "effects/fnrandom.h"
#include "image/imgbasic.h"

namespace rf::test {

// A picture that frees its tracked block when the test leaves its scope.
struct Pic : Qimg {
  Pic() = default;
  ~Pic() { ImgFree(*this); }
};

using Bgr = std::array<uint8_t, 3>;

inline Bgr Grey(uint8_t v) { return {v, v, v}; }

// A 24-bit w x h picture from blue-green-red triples, row by row.
inline void Make24(Qimg& img, int32_t w, int32_t h, const std::vector<Bgr>& px) {
  ASSERT_EQ(px.size(), size_t(w) * h);
  ASSERT_EQ(_imgalloc_(img, w, h, 24, "Test.Make24"), 0);
  for (size_t i = 0; i < px.size(); ++i) std::memcpy(img.data + 3 * i, px[i].data(), 3);
}

inline void Fill24(Qimg& img, int32_t w, int32_t h, Bgr colour) {
  Make24(img, w, h, std::vector<Bgr>(size_t(w) * h, colour));
}

// A 24-bit picture whose bytes follow a fixed pseudo-random sequence.
inline void Pattern(Qimg& img, int32_t w, int32_t h, int32_t bpp = 24, uint32_t seed = 7) {
  ASSERT_EQ(_imgalloc_(img, w, h, bpp, "Test.Pattern"), 0);
  uint32_t s = seed;
  auto next = [&] {
    s = s * 1664525u + 1013904223u;
    return uint8_t(s >> 24);
  };
  for (int32_t i = 0; i < img.size; ++i) img.data[i] = next();
  if (bpp == 15)
    for (int32_t i = 1; i < img.size; i += 2) img.data[i] &= 0x7F;
  if (bpp == 32)
    for (int32_t i = 3; i < img.size; i += 4) img.data[i] = 0;
  for (auto& e : img.palette)
    for (auto& c : e) c = next();
}

inline Bgr At(const Qimg& img, int32_t x, int32_t y) {
  const uint8_t* p = img.data + (size_t(y) * img.width + x) * 3;
  return {p[0], p[1], p[2]};
}

// The 256 byte values in one row, the same value in all three channels of a pixel: running a
// table effect over it reads the table back.
inline void Ramp(Qimg& img) {
  std::vector<Bgr> px;
  for (int32_t i = 0; i < 256; ++i) px.push_back(Grey(uint8_t(i)));
  Make24(img, 256, 1, px);
}

// The pixels of a 24-bit picture, row by row, as grey levels: -1 where a pixel is not grey.
inline std::vector<int32_t> Greys(const Qimg& img) {
  std::vector<int32_t> v;
  for (int32_t y = 0; y < img.height; ++y)
    for (int32_t x = 0; x < img.width; ++x) {
      const Bgr p = At(img, x, y);
      v.push_back(p[0] == p[1] && p[1] == p[2] ? p[0] : -1);
    }
  return v;
}

inline std::vector<uint8_t> Bytes(const Qimg& img) {
  return std::vector<uint8_t>(img.data, img.data + size_t(img.width) * img.height * img.bytesPerPixel);
}

// Effect tests start from a clean foundation and a generator seeded from the clock again.
class EffectsTest : public FoundationTest {
 protected:
  void TearDown() override {
    FnRandUnfix();
    FoundationTest::TearDown();
  }
};

}  // namespace rf::test
