// GIF reader and writer: stills, composition of animations (windows, transparency, disposal,
// interlace), positioning, the position cache, damaged LZW data and writer round trips.
#include "formats/ff_gif.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "formats/still_test_util.h"
#include "foundation/bytes.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::kOk;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Str;
using stilltest::Try;

// A reference encoder independent of ours: every pixel a literal code of fixed size, with a
// clear code often enough that the decoder's table never makes the codes grow.
std::vector<uint8_t> LiteralLzw(const std::vector<uint8_t>& px, int32_t minSize = 8, bool endCode = true) {
  const uint32_t clear = 1u << minSize, size = uint32_t(minSize) + 1, every = clear - 2;
  std::vector<uint8_t> bytes;
  uint64_t acc = 0;
  uint32_t bits = 0;
  auto put = [&](uint32_t code) {
    acc |= uint64_t(code) << bits;
    for (bits += size; bits >= 8; bits -= 8, acc >>= 8) bytes.push_back(uint8_t(acc));
  };
  for (size_t i = 0; i < px.size(); ++i) {
    if (i % every == 0) put(clear);
    put(px[i]);
  }
  if (endCode) put(clear + 1);
  if (bits > 0) bytes.push_back(uint8_t(acc));
  std::vector<uint8_t> out{uint8_t(minSize)};
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), bytes.begin() + long(at), bytes.begin() + long(at + n));
  }
  out.push_back(0);
  return out;
}

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> px;  // in file order (pass order when interlaced)
  int disposal = 0, delay = 0, transparent = -1;
  bool interlaced = false, control = true;
  std::vector<uint8_t> localRgb;  // red-green-blue triples; empty: none
  std::vector<uint8_t> data;      // LZW data to use instead of coding px
};

// Global colour entry i is (i, 255 - i, 2i).
std::vector<uint8_t> Ramp(int entries) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < entries; ++i) rgb.insert(rgb.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(2 * i)});
  return rgb;
}

int SizeBits(size_t bytes) {
  int n = 0;
  while ((3u << (n + 1)) < bytes) ++n;
  return n;
}

std::vector<uint8_t> GifBytes(int w, int h, const std::vector<Frame>& frames, const char* version = "89a",
                              int background = 0, bool global = true) {
  ByteWriter b;
  b.write("GIF", 3);
  b.write(version, 3);
  b.u16le(w);
  b.u16le(h);
  b.u8(global ? 0xF7 : 0);
  b.u8(background);
  b.u8(0);
  if (global) {
    const auto rgb = Ramp(256);
    b.write(rgb.data(), rgb.size());
  }
  for (const Frame& f : frames) {
    if (f.control) {
      b.write("\x21\xF9\x04", 3);
      b.u8((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0));
      b.u16le(f.delay);
      b.u8(std::max(0, f.transparent));
      b.u8(0);
    }
    b.u8(',');
    b.u16le(f.left);
    b.u16le(f.top);
    b.u16le(f.width);
    b.u16le(f.height);
    b.u8((f.localRgb.empty() ? 0 : 0x80 | SizeBits(f.localRgb.size())) | (f.interlaced ? 0x40 : 0));
    b.write(f.localRgb.data(), f.localRgb.size());
    const auto data = f.data.empty() ? LiteralLzw(f.px) : f.data;
    b.write(data.data(), data.size());
  }
  b.u8(';');
  return b.bytes();
}

Frame Full(int w, int h, uint8_t value, int delay = 10) {
  Frame f;
  f.width = w;
  f.height = h;
  f.px.assign(size_t(w * h), value);
  f.delay = delay;
  return f;
}

class GifTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir = test::ScratchDir("gif");
    GIFFreeFPosBlk_();
  }
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    PutFile(dir + "/" + name, bytes);
    return dir + "/" + name;
  }
  // Every frame of a movie, decoded in order, as index pictures.
  std::vector<std::vector<uint8_t>> AllFrames(const std::string& path) {
    std::vector<std::vector<uint8_t>> out;
    QGifHandle gf;
    Qimg img;
    EXPECT_EQ(Try([&] { GIFOpen(gf, path, false); }), kOk);
    for (int i = 1; i <= gf.frames; ++i) {
      EXPECT_EQ(Try([&] { GIFLoad(gf, img, 0, 0); }), kOk);
      out.emplace_back(img.data, img.data + img.size);
    }
    GIFClose(gf);
    ImgFree(img);
    return out;
  }
  std::string dir;
};

TEST_F(GifTest, Gif87aStillLoadsWithTheGlobalPalette) {
  Frame f = Full(4, 3, 0);
  f.control = false;
  f.px = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string path = Put("still.gif", GifBytes(4, 3, {f}, "87a"));
  Qimg img;
  ASSERT_EQ(Try([&] { ImgLoad(path, img, FF_AUTO); }), kOk);
  EXPECT_EQ(std::tuple(img.width, img.height, img.bpp), std::tuple(4, 3, 8));
  EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + 12), f.px);
  EXPECT_EQ(std::vector<uint8_t>(img.palette[5], img.palette[5] + 3), (std::vector<uint8_t>{10, 250, 5}));
  QffInfo info;
  ASSERT_EQ(Try([&] { FFInfo(path, FF_AUTO, info); }), kOk);
  EXPECT_EQ(std::tuple(info.video.frames, info.video.bpp, info.video.compression),
            std::tuple(1, 8, std::string("Variable-Length-Code LZW (Lempel-Ziv & Welch)")));
  EXPECT_EQ(UniKind(FF_GIF, info.video.frames), UNI_STILL);
  ImgFree(img);
}

TEST_F(GifTest, FrameRateFromTheDelays) {
  struct Case {
    std::vector<int> delays;
    double rate;
  };
  for (const Case& c : {Case{{0, 0, 0}, 0.0}, Case{std::vector<int>(10, 10), 10.0}, Case{{4, 4, 4, 8}, 20.0}}) {
    std::vector<Frame> frames;
    for (int d : c.delays) frames.push_back(Full(4, 4, 1, d));
    QffInfo info;
    ASSERT_EQ(Try([&] { FFInfo(Put("rate.gif", GifBytes(4, 4, frames)), FF_AUTO, info); }), kOk);
    GIFFreeFPosBlk_();
    EXPECT_EQ(info.video.frames, int(c.delays.size()));
    EXPECT_DOUBLE_EQ(info.video.frameRate, c.rate) << c.delays.size();
  }
}

// Four frames; frame 2's data holds a code beyond the table, so whoever decodes it fails.
std::vector<Frame> WithDamagedSecond(bool partial) {
  std::vector<Frame> frames;
  for (uint8_t v = 1; v <= 4; ++v) frames.push_back(Full(4, 4, v));
  frames[1].data = {2, 1, 0x07, 0};  // a first code of 7 with the table holding 0..5
  if (partial) {
    frames[2].width = 2;  // frame 3 leaves part of the screen showing
    frames[2].px.resize(8);
  }
  return frames;
}

TEST_F(GifTest, CoveringFramesJumpDirectlyOthersDecodeFromTheStart) {
  Qimg img;
  for (bool partial : {false, true}) {
    GIFFreeFPosBlk_();
    const std::string path = Put("jump.gif", GifBytes(4, 4, WithDamagedSecond(partial)));
    QGifHandle gf;
    ASSERT_EQ(Try([&] { GIFOpen(gf, path, false); }), kOk);
    EXPECT_EQ(gf.dependent != 0, partial);
    ASSERT_EQ(Try([&] { GIFLoad(gf, img, 1, 0); }), kOk);
    const Outcome jump = Try([&] { GIFLoad(gf, img, 4, 0); });
    if (partial) {
      EXPECT_EQ(jump, (Outcome{7, 9})) << "frame 4 needs frames 2 and 3 under it";
    } else {
      EXPECT_EQ(jump, kOk) << "frame 4 alone makes the picture";
      EXPECT_EQ(img.data[0], 4);
      ASSERT_EQ(Try([&] { GIFLoad(gf, img, 3, 0); }), kOk) << "a frame behind, directly";
      EXPECT_EQ(img.data[15], 3);
    }
    EXPECT_EQ(Try([&] { GIFLoad(gf, img, 5, 0); }), (Outcome{12, 1}));
    GIFClose(gf);
  }
  ImgFree(img);
}

TEST_F(GifTest, GoingBackInADependentAnimationRecomposes) {
  std::vector<Frame> frames{Full(4, 4, 1)};
  for (int i = 0; i < 4; ++i) {
    Frame f = Full(1, 1, uint8_t(10 + i));
    f.left = i;
    f.top = i;
    frames.push_back(f);
  }
  const std::string path = Put("dep.gif", GifBytes(4, 4, frames));
  const auto sequential = AllFrames(path);
  QGifHandle gf;
  Qimg img;
  ASSERT_EQ(Try([&] { GIFOpen(gf, path, false); }), kOk);
  for (int frame : {4, 2, 5, 1, 3, 3}) {
    ASSERT_EQ(Try([&] { GIFLoad(gf, img, frame, 0); }), kOk);
    EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + 16), sequential[size_t(frame - 1)]) << frame;
  }
  ASSERT_EQ(Try([&] { GIFLoad(gf, img, 5, 1); }), kOk) << "ahead, building on the picture held";
  EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + 16), sequential[4]);
  GIFClose(gf);
  ImgFree(img);
}

TEST_F(GifTest, CompositionOfWindowsTransparencyAndDisposal) {
  // Background index 9. Frame 2: a 2x2 window at (1,1) with transparent index 7 in two places;
  // frame 3 (disposal 2) then frame 4 (disposal 3) each put a window over it.
  Frame f2 = Full(2, 2, 5);
  f2.left = f2.top = 1;
  f2.px = {5, 7, 7, 6};
  f2.transparent = 7;
  Frame f3 = Full(2, 1, 3);
  f3.left = 2;
  f3.disposal = 2;
  Frame f4 = Full(1, 2, 4);
  f4.top = 2;
  f4.disposal = 3;
  Frame f5 = Full(1, 1, 8);
  f5.left = 3;
  f5.top = 3;
  const auto frames = AllFrames(Put("comp.gif", GifBytes(4, 4, {Full(4, 4, 1), f2, f3, f4, f5}, "89a", 9)));
  ASSERT_EQ(frames.size(), 5u);
  const std::vector<std::vector<uint8_t>> expected = {
      {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 5, 1, 1, 1, 1, 6, 1, 1, 1, 1, 1},  // transparent pixels show frame 1
      {1, 1, 3, 3, 1, 5, 1, 1, 1, 1, 6, 1, 1, 1, 1, 1},
      {1, 1, 9, 9, 1, 5, 1, 1, 4, 1, 6, 1, 4, 1, 1, 1},  // only frame 3's window cleared
      {1, 1, 9, 9, 1, 5, 1, 1, 1, 1, 6, 1, 1, 1, 1, 8},  // frame 4's window restored
  };
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(frames[i], expected[i]) << "frame " << i + 1;
}

TEST_F(GifTest, InterlacedFramesArriveInNaturalRowOrder) {
  // Row r holds the value r; the file carries rows 0, 8 / 4 / 2, 6, 10 / 1, 3, 5, 7, 9.
  const int h = 11;
  Frame f = Full(3, h, 0);
  f.interlaced = true;
  f.px.clear();
  for (int start : {0, 4, 2, 1})
    for (int r = start; r < h; r += start == 0 || start == 4 ? 8 : start == 2 ? 4 : 2)
      f.px.insert(f.px.end(), 3, uint8_t(r));
  for (bool partial : {false, true}) {
    const int width = partial ? 4 : 3;
    Qimg img;
    ASSERT_EQ(Try([&] { ImgLoad(Put("il.gif", GifBytes(width, h, {f})), img, FF_AUTO); }), kOk);
    for (int r = 0; r < h; ++r) EXPECT_EQ(img.data[r * width + 1], r) << "row " << r << (partial ? " partial" : "");
    ImgFree(img);
  }
}

TEST_F(GifTest, OpeningTheSameUnchangedFileScansItOnce) {
  // Two files of the same size: three frames, and one frame padded with a comment.
  const auto three = GifBytes(4, 4, {Full(4, 4, 1), Full(4, 4, 2), Full(4, 4, 3)});
  auto one = GifBytes(4, 4, {Full(4, 4, 1)});
  one.pop_back();
  const size_t comment = three.size() - one.size() - 5;
  ASSERT_LT(comment, 256u);
  one.insert(one.end(), {0x21, 0xFE, uint8_t(comment)});
  one.insert(one.end(), comment, 'x');
  one.insert(one.end(), {0, ';'});
  ASSERT_EQ(one.size(), three.size());

  const std::string path = Put("cache.gif", three);
  QffInfo info;
  ASSERT_EQ(Try([&] { FFInfo(path, FF_AUTO, info); }), kOk);
  const auto date = std::filesystem::last_write_time(path);
  PutFile(path, one);
  std::filesystem::last_write_time(path, date);
  ASSERT_EQ(Try([&] { FFInfo(path, FF_AUTO, info); }), kOk);
  EXPECT_EQ(info.video.frames, 3) << "size, date and name unchanged: the positions come from the cache";
  std::filesystem::last_write_time(path, date + std::chrono::seconds(5));
  ASSERT_EQ(Try([&] { FFInfo(path, FF_AUTO, info); }), kOk);
  EXPECT_EQ(info.video.frames, 1) << "a new date: scanned again";
}

TEST_F(GifTest, DamagedFilesFailCleanly) {
  const Frame plain = Full(4, 4, 2);
  Frame past = plain, badSize = plain, noEnd = plain, lateClear = plain, outside = plain, huge = plain;
  past.data = {2, 1, 0x3C, 0};  // clear (4), then 7: past the table right after a clear
  badSize.data = {9, 1, 0, 0};
  noEnd.data = LiteralLzw(plain.px, 8, false);
  lateClear.data = LiteralLzw({2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 2);  // many clears
  outside.left = 3;
  outside.top = 60000;
  huge.width = 65535;
  huge.height = 65535;
  Frame large = plain;  // 400 million pixels claimed by a few bytes of data
  large.width = large.height = 20000;
  auto truncated = GifBytes(4, 4, {plain});
  truncated.resize(truncated.size() - 6);
  auto noImage = GifBytes(4, 4, {});
  auto notGif = GifBytes(4, 4, {plain});
  notGif[4] = '8';
  notGif[3] = '9';
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome outcome;
  };
  const Case cases[] = {
      {"code past the table", GifBytes(4, 4, {past}), {7, 9}},
      {"code size 9", GifBytes(4, 4, {badSize}), {7, 9}},
      {"no end code", GifBytes(4, 4, {noEnd}), kOk},
      {"clear codes throughout", GifBytes(4, 4, {lateClear}), kOk},
      {"window outside the screen", GifBytes(4, 4, {outside}), kOk},
      {"window beyond the limits", GifBytes(4, 4, {huge}), {7, 2}},
      {"window far beyond its data", GifBytes(4, 4, {large}), kOk},
      {"data cut short", truncated, kOk},
      {"no image", noImage, {7, 4}},
      {"version 98a", notGif, {7, 2}},
      {"empty screen", GifBytes(0, 4, {plain}), {7, 2}},
  };
  for (const Case& c : cases) {
    Qimg img;
    EXPECT_EQ(Try([&] { ImgLoad(Put("bad.gif", c.bytes), img, FF_AUTO); }), c.outcome) << c.name;
    ImgFree(img);
  }
}

TEST_F(GifTest, TheDecoderKeepsTheTableFullUntilAClear) {
  // Our encoder on noise: the table fills up many times; a stream whose encoder never clears
  // (codes stay at 12 bits once the table is full) decodes too.
  std::mt19937 rng(7);
  for (int bits : {1, 2, 5, 8}) {
    std::vector<uint8_t> px(40000);
    for (auto& p : px) p = uint8_t(rng() % (1u << bits));
    std::vector<uint8_t> data;
    GIFEncodeLzw_(px.data(), int32_t(px.size()), bits, data);
    std::vector<uint8_t> out(px.size());
    QGifLzwTable table;
    data.resize(data.size() + 8);
    EXPECT_EQ(GIFDecodeLzw_(data.data(), int32_t(data.size() - 8), out.data(), int32_t(out.size()), table),
              int32_t(px.size()));
    EXPECT_EQ(out, px) << bits << " bits";
  }
  // Deferred clear: 2-bit literals after the table is full, written at 12 bits.
  std::vector<uint8_t> px;
  std::vector<uint32_t> stream{4};
  for (int i = 0; i < 4200; ++i) {
    px.push_back(uint8_t(i % 3));
    stream.push_back(uint32_t(i % 3));
  }
  stream.push_back(5);
  std::vector<uint8_t> data{2};
  std::vector<uint8_t> packed;
  uint64_t acc = 0;
  int nbits = 0, size = 3, next = 6;
  for (size_t k = 0; k < stream.size(); ++k) {
    acc |= uint64_t(stream[k]) << nbits;
    for (nbits += size; nbits >= 8; nbits -= 8, acc >>= 8) packed.push_back(uint8_t(acc));
    if (k >= 2 && next < 4096 && ++next > (1 << size) - 1 && size < 12) ++size;
  }
  packed.push_back(uint8_t(acc));
  for (size_t at = 0; at < packed.size(); at += 255) {
    const size_t n = std::min<size_t>(255, packed.size() - at);
    data.push_back(uint8_t(n));
    data.insert(data.end(), packed.begin() + long(at), packed.begin() + long(at + n));
  }
  data.push_back(0);
  data.resize(data.size() + 8);
  std::vector<uint8_t> out(px.size());
  QGifLzwTable table;
  EXPECT_EQ(GIFDecodeLzw_(data.data(), int32_t(data.size() - 8), out.data(), int32_t(out.size()), table),
            int32_t(px.size()));
  EXPECT_EQ(out, px);
}

// An 8-bit picture of the given colours (blue, green, red per index), index (x + y + shift) % n.
void MakeIndexed(Qimg& img, int w, int h, int shift, int n) {
  _imgalloc_(img, w, h, 8, "test");
  for (int i = 0; i < n; ++i) {
    img.palette[i][0] = uint8_t(i * 3);
    img.palette[i][1] = uint8_t(255 - i);
    img.palette[i][2] = uint8_t(i * 7);
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.data[y * w + x] = uint8_t((x + y + shift) % n);
}

// The colours of a decoded frame, blue-green-red.
std::vector<uint8_t> Colours(const Qimg& img) {
  if (img.bpp == 24) return std::vector<uint8_t>(img.data, img.data + img.size);
  std::vector<uint8_t> out;
  for (int32_t i = 0; i < img.size; ++i) out.insert(out.end(), img.palette[img.data[i]], img.palette[img.data[i]] + 3);
  return out;
}

// Delays of every graphic control extension in the file.
std::vector<int> Delays(const std::vector<uint8_t>& b) {
  std::vector<int> out;
  for (size_t i = 0; i + 8 < b.size(); ++i)
    if (b[i] == 0x21 && b[i + 1] == 0xF9 && b[i + 2] == 4) out.push_back(b[i + 4] | (b[i + 5] << 8));
  return out;
}

TEST_F(GifTest, WrittenMoviesReadBackExactlyWithDelaysAndSmallChanges) {
  const std::string path = dir + "/out.gif";
  QMviHandle mv;
  ASSERT_EQ(Try([&] { MviCreate(mv, path, 3, 0, 0); }), kOk);
  std::vector<std::vector<uint8_t>> written;
  Qimg img;
  for (int k = 0; k < 7; ++k) {
    // Frames 1-3 differ everywhere, frame 4 changes one pixel, frame 5 nothing, frame 6 a lot and
    // frame 7 one colour of the palette.
    MakeIndexed(img, 64, 48, std::min(k, 2), k >= 5 ? 40 : 200);
    if (k == 3 || k == 4) img.data[64 * 20 + 30] = 199;
    if (k == 6) img.palette[0][0] ^= 0xFF;
    written.push_back(Colours(img));
    ASSERT_EQ(Try([&] { MviImgSave(mv, img); }), kOk) << k;
  }
  ASSERT_EQ(Try([&] { MviClose(mv); }), kOk);
  ImgFree(img);

  const auto bytes = FileBytes(path);
  EXPECT_EQ(Delays(bytes), (std::vector<int>{33, 34, 33, 33, 34, 33, 33}));
  EXPECT_NE(Str(bytes).find("NETSCAPE2.0"), std::string::npos);
  ASSERT_EQ(Try([&] { MviOpen(mv, path, FF_AUTO); }), kOk);
  EXPECT_EQ(std::tuple(*mv.frames, *mv.width, *mv.height), std::tuple(7, 64, 48));
  EXPECT_EQ(*mv.bpp, 24) << "frame 7 brings its own colour table";
  EXPECT_NEAR(*mv.frameRate, 3.0, 0.01);  // 7 frames in 2.33 s
  for (int k = 0; k < 7; ++k) {
    ASSERT_EQ(Try([&] { MviImgLoad(mv, img, 0, 0); }), kOk);
    EXPECT_EQ(Colours(img), written[size_t(k)]) << "frame " << k + 1;
  }
  MviClose(mv);
  ImgFree(img);

  // The one-pixel change and the unchanged frame cost a few dozen bytes each.
  const auto single = [&](int frames) {
    QGifHandle gf;
    Qimg pic;
    GIFCreate(gf, dir + "/n.gif", 25);
    for (int k = 0; k < frames; ++k) {
      MakeIndexed(pic, 64, 48, 2, 200);
      if (k > 0) pic.data[64 * 20 + 30] = 199;
      GIFSave(gf, pic);
    }
    GIFClose(gf);
    ImgFree(pic);
    return std::filesystem::file_size(dir + "/n.gif");
  };
  EXPECT_LT(single(3) - single(1), 120u);
}

TEST_F(GifTest, StillsOfEveryDepthSaveAsOneFrame) {
  for (int bpp : {8, 15, 16, 24, 32}) {
    Qimg img, back;
    test::MakePattern(img, 5, 3, bpp);
    const std::string path = dir + "/still.gif";
    ASSERT_EQ(Try([&] { ImgSave(path, img, FF_AUTO); }), kOk) << bpp;
    ASSERT_EQ(Try([&] { ImgLoad(path, back, FF_AUTO); }), kOk) << bpp;
    EXPECT_EQ(std::tuple(back.width, back.height, back.bpp), std::tuple(5, 3, 8));
    EXPECT_EQ(Str(FileBytes(path)).find("NETSCAPE"), std::string::npos);
    if (bpp == 8) {
      EXPECT_EQ(Colours(back), Colours(img));
    }
    ImgFree(img);
    ImgFree(back);
  }
}

}  // namespace
}  // namespace rf
