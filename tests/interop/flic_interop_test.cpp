// FLI and FLC files we write decode in ffmpeg to our pictures, colour index for colour index and
// frame by frame, with the same palettes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_flc.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "interop/peers.h"

namespace rf {
namespace {

using Pattern = std::function<uint8_t(int x, int y, int t)>;

uint8_t Hash(int x, int y, int t) {
  uint32_t v = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(t) * 83492791u;
  v ^= v >> 13;
  v *= 0x5bd1e995;
  return uint8_t(v ^ (v >> 15));
}

const Pattern kGradient = [](int x, int y, int t) { return uint8_t((x + y + 3 * t) / 4); };
const Pattern kMovingBox = [](int x, int y, int t) {
  return uint8_t(x >= 9 * t && x < 9 * t + 40 && y >= 2 * t && y < 2 * t + 5 ? 200 + t : (x / 64) * 3);
};
const Pattern kStripes = [](int x, int y, int t) { return uint8_t((x % 3 == t % 3) ? 7 * y + t : x ^ t); };
const Pattern kNoise = Hash;
// Noise in some frames and calm in others: uncompressed frames between deltas.
const Pattern kBursts = [](int x, int y, int t) { return t % 3 == 1 ? Hash(x, y, t) : uint8_t(x / 8 + t); };

class FlicInteropTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("flic_interop");

  static void Paint(Qimg& img, int w, int h, const Pattern& p, int t) {
    _imgalloc_(img, w, h, 8, "Test.Paint");
    for (int i = 0; i < 256; ++i) {
      img.palette[i][0] = uint8_t(i);
      img.palette[i][1] = uint8_t(255 - i);
      img.palette[i][2] = uint8_t(i * 7 + 3);
    }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.data[y * w + x] = p(x, y, t);
  }

  // A picture as ffmpeg gives it in 8 bits: the colour indices, then 256 palette entries of blue,
  // green, red and 255.
  static std::vector<uint8_t> Pal8(const Qimg& img) {
    std::vector<uint8_t> out(img.data, img.data + img.size);
    for (const auto& entry : img.palette) out.insert(out.end(), {entry[0], entry[1], entry[2], 255});
    return out;
  }

  // ffmpeg's frames against ours: the first ones in order, then at most the ring frame, which shows
  // the first picture again.
  void ExpectFfmpegFrames(const std::string& file, const std::vector<std::vector<uint8_t>>& ours) {
    const std::string raw = dir + "/frames.pal8";
    std::remove(raw.c_str());
    ASSERT_TRUE(test::FfmpegRun("-i '" + file + "' -fps_mode passthrough -f rawvideo -pix_fmt pal8 '" + raw + "'"));
    const std::vector<uint8_t> all = test::FileBytes(raw);
    const size_t frameBytes = ours[0].size();
    ASSERT_EQ(all.size() % frameBytes, 0u);
    const size_t decoded = all.size() / frameBytes;
    ASSERT_GE(decoded, ours.size());
    ASSERT_LE(decoded, ours.size() + 1);
    for (size_t i = 0; i < decoded; ++i) {
      SCOPED_TRACE("frame " + std::to_string(i + 1));
      const std::vector<uint8_t> theirs(all.begin() + i * frameBytes, all.begin() + (i + 1) * frameBytes);
      test::ExpectSamePixels(i < ours.size() ? ours[i] : ours[0], theirs);
    }
  }
};

// Full-frame runs, byte and word deltas (odd widths, rows wider than one skip byte reaches),
// uncompressed frames and palettes of 6-bit components.
TEST_F(FlicInteropTest, FfmpegDecodesOurFilesFrameByFrame) {
  const struct {
    int w, h;
    const Pattern* p;
  } cases[] = {{320, 200, &kGradient}, {320, 200, &kMovingBox}, {320, 200, &kBursts}, {320, 200, &kStripes},
               {64, 48, &kNoise},      {33, 17, &kGradient},    {33, 17, &kStripes},  {641, 9, &kMovingBox},
               {640, 480, &kBursts},   {100, 40, &kBursts},     {33, 17, &kBursts}};
  constexpr int kFrames = 8;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " case " + std::to_string(&c - cases));
    QFlcHandle ff;
    Qimg img;
    std::vector<std::vector<uint8_t>> ours;
    const bool fli = c.w == 320 && c.h == 200;
    FLCCreate(ff, dir + "/clip", 25);
    for (int t = 0; t < kFrames; ++t) {
      Paint(img, c.w, c.h, *c.p, t);
      FLCSave(ff, img);
      // An FLI keeps the top six bits of each palette component; ffmpeg widens them to eight by
      // repeating the top two.
      if (fli)
        for (auto& entry : img.palette)
          for (uint8_t& v : entry) v = uint8_t((v & 0xFC) | v >> 6);
      ours.push_back(Pal8(img));
    }
    FLCClose(ff);
    ImgFree(img);
    ExpectFfmpegFrames(dir + (fli ? "/clip.fli" : "/clip.flc"), ours);
  }
}

// 24-bit pictures through the movie layer: each is reduced to its own palette, which travels with
// its frame; ffmpeg shows what we read back.
TEST_F(FlicInteropTest, PicturesWithTheirOwnPalettesKeepTheirColours) {
  constexpr int kW = 96, kH = 64, kFrames = 5;
  QMviHandle mv;
  Qimg img;
  MviCreate(mv, dir + "/colours.flc", 12.5, 0, kFrames);
  for (int t = 0; t < kFrames; ++t) {
    _imgalloc_(img, kW, kH, 24, "Test.Colours");
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint8_t* px = img.data + 3 * (y * kW + x);
        px[0] = uint8_t(x * 2 + t * 40);
        px[1] = uint8_t(y * 3);
        px[2] = uint8_t(255 - t * 50);
      }
    MviImgSave(mv, img);
  }
  MviClose(mv);
  std::vector<std::vector<uint8_t>> ours;
  MviOpen(mv, dir + "/colours.flc", FF_AUTO);
  EXPECT_EQ(*mv.frames, kFrames);
  EXPECT_DOUBLE_EQ(*mv.frameRate, 12.5);
  for (int t = 1; t <= kFrames; ++t) {
    MviImgLoad(mv, img, 0, 1);
    ours.push_back(Pal8(img));
  }
  MviClose(mv);
  ImgFree(img);
  EXPECT_NE(ours[0], ours[kFrames - 1]);
  ExpectFfmpegFrames(dir + "/colours.flc", ours);
}

}  // namespace
}  // namespace rf
