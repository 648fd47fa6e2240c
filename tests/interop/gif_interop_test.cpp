// GIF against ImageMagick and ffmpeg: their animations compose to the frames ImageMagick's
// coalesce shows, and our animations decode in both with the frame count and delays we wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_gif.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "interop/peers.h"

namespace rf {
namespace {

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// Every frame of a GIF as we compose it, red-green-blue.
std::vector<std::vector<uint8_t>> OurFrames(const std::string& path) {
  std::vector<std::vector<uint8_t>> frames;
  QMviHandle mv;
  Qimg img;
  GuardedSilent("Test.Gif", [&] {
    MviOpen(mv, path, FF_AUTO);
    for (int32_t i = 0; i < *mv.frames; ++i) {
      MviImgLoad(mv, img, 0, 0);
      frames.push_back(test::OurRgb(img));
    }
  });
  EXPECT_TRUE(ErrNone()) << path << ": " << ErrLastMessage();
  ErrClear();
  MviClose(mv);
  ImgFree(img);
  return frames;
}

struct Mismatch {
  size_t frame = 0, pixel = 0, count = 0, opaque = 0;
};

// Our frames against ImageMagick's coalesced ones (red, green, blue, alpha): every pixel it shows
// opaque must match; where it shows nothing (a cleared or never painted screen) we show the
// background colour, which it leaves out.
Mismatch Compare(const std::vector<std::vector<uint8_t>>& ours, const std::vector<uint8_t>& rgba, size_t pixels) {
  Mismatch m;
  for (size_t f = 0; f < ours.size() && (f + 1) * pixels * 4 <= rgba.size(); ++f)
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* theirs = &rgba[(f * pixels + i) * 4];
      if (theirs[3] != 255) continue;
      ++m.opaque;
      if (std::equal(theirs, theirs + 3, &ours[f][i * 3])) continue;
      if (m.count++ == 0) m = Mismatch{f, i, 1, m.opaque};
    }
  return m;
}

class GifInteropTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir = test::ScratchDir("gifinterop");
    GIFFreeFPosBlk_();
  }
  void ExpectCoalesced(const std::string& gif, int width, int height, size_t frames) {
    const auto ours = OurFrames(gif);
    ASSERT_EQ(ours.size(), frames) << gif;
    ASSERT_TRUE(test::ConvertRun(gif + " -coalesce -depth 8 rgba:" + dir + "/c.rgba"));
    const auto rgba = test::FileBytes(dir + "/c.rgba");
    const size_t pixels = size_t(width) * size_t(height);
    ASSERT_EQ(rgba.size(), frames * pixels * 4);
    const Mismatch m = Compare(ours, rgba, pixels);
    EXPECT_EQ(m.count, 0u) << gif << ": first at frame " << m.frame + 1 << " pixel " << m.pixel;
    EXPECT_GT(m.opaque, frames * pixels / 2) << "most of the screen is painted";
  }
  std::string dir;
};

TEST_F(GifInteropTest, ImageMagickAnimationsComposeAsItsCoalesce) {
  // Windows with each disposal method over a gradient, with transparent corners, and full frames
  // that each bring their own colour table.
  const std::string windows =
      "-delay 7 -dispose none -size 48x32 gradient:navy-orange "
      "-dispose previous -page +4+4 -size 16x12 gradient:red-yellow "
      "-dispose background -page +20+6 -size 12x12 xc:none -fill green -draw 'circle 6,6 6,2' "
      "-dispose none -page +30+18 -size 14x10 gradient:white-black "
      "-dispose previous -page +2+20 -size 20x8 xc:none -fill blue -draw 'rectangle 3,1 16,6' "
      "-page +10+10 -size 8x8 xc:purple";
  const std::string local = "-delay 10 -size 40x24 gradient:red-blue gradient:green-yellow gradient:black-white";
  struct Case {
    const char* name;
    std::string args;
    int width, height;
    size_t frames;
  };
  const Case cases[] = {
      {"windows.gif", windows, 48, 32, 6},
      {"interlaced.gif", windows + " -interlace GIF", 48, 32, 6},
      {"local.gif", local, 40, 24, 3},
  };
  for (const Case& c : cases) {
    const std::string gif = dir + "/" + c.name;
    ASSERT_TRUE(test::ConvertRun(c.args + " " + gif)) << c.name;
    ExpectCoalesced(gif, c.width, c.height, c.frames);
  }
}

TEST_F(GifInteropTest, FfmpegAnimationsComposeAsImageMagicksCoalesce) {
  // ffmpeg writes only the changed rectangle of each frame, with transparent unchanged pixels.
  const std::string small = dir + "/thousand.gif", palette = dir + "/pal.gif";
  ASSERT_TRUE(test::FfmpegRun("-f lavfi -i testsrc=size=32x24:rate=25:duration=40 " + small));
  ExpectCoalesced(small, 32, 24, 1000);
  ASSERT_TRUE(
      test::FfmpegRun("-f lavfi -i testsrc2=size=64x48:rate=10:duration=2 -vf "
                      "\"split[a][b];[a]palettegen[p];[b][p]paletteuse\" " +
                      palette));
  ExpectCoalesced(palette, 64, 48, 20);
}

TEST_F(GifInteropTest, OurAnimationsDecodeInImageMagickAndFfmpeg) {
  const std::string path = dir + "/ours.gif";
  QMviHandle mv;
  Qimg img;
  GuardedSilent("Test.Gif", [&] {
    MviCreate(mv, path, 3, 0, 0);
    for (int k = 0; k < 12; ++k) {
      // A moving square over a still background: small changes, and 24-bit pictures reduced.
      _imgalloc_(img, 40, 30, 24, "test");
      for (int32_t i = 0; i < img.size; i += 3) {
        img.data[i] = uint8_t(i % 97);
        img.data[i + 1] = uint8_t(i / 40);
        img.data[i + 2] = 60;
      }
      for (int y = 5; y < 12; ++y)
        for (int x = 2 * k; x < 2 * k + 7; ++x) img.data[(y * 40 + x) * 3 + 2] = 250;
      MviImgSave(mv, img);
    }
    MviClose(mv);
  });
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  ImgFree(img);

  EXPECT_EQ(Output("/usr/bin/identify -format '%T ' " + path), "33 34 33 33 34 33 33 34 33 33 34 33 ");
  EXPECT_EQ(Output("/usr/bin/ffprobe -v error -count_frames -select_streams v -show_entries "
                   "stream=nb_read_frames -of csv=p=0 " +
                   path),
            "12\n");
  EXPECT_EQ(Output("/usr/bin/ffprobe -v error -select_streams v -show_entries packet=duration -of csv=p=0 " + path),
            "33\n34\n33\n33\n34\n33\n33\n34\n33\n33\n34\n33\n");
  // And ImageMagick composes them as we do.
  ExpectCoalesced(path, 40, 30, 12);
}

}  // namespace
}  // namespace rf
