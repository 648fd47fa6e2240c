// FLIC reading and writing: round trips frame by frame, the chunks the writer chooses, naming and
// speeds, positioning through the movie layer, streams of other writers and damaged files.
#include "formats/ff_flc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

// The colour index of pixel (x, y) in picture t.
using Pattern = std::function<uint8_t(int x, int y, int t)>;

const Pattern kGradient = [](int x, int y, int t) { return uint8_t((x + y + 3 * t) / 4); };
const Pattern kMovingBox = [](int x, int y, int t) {
  return uint8_t(x >= 5 * t && x < 5 * t + 7 && y >= t && y < t + 5 ? 200 + t : 10);
};
const Pattern kStripes = [](int x, int y, int t) { return uint8_t((x % 3 == t % 3) ? 7 * y + t : x ^ t); };
const Pattern kNoise = [](int x, int y, int t) {
  uint32_t v = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(t) * 83492791u;
  v ^= v >> 13;
  v *= 0x5bd1e995;
  return uint8_t(v ^ (v >> 15));
};
const Pattern kStill = [](int x, int y, int) { return uint8_t(x / 8 + y / 4); };

std::string Le16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
uint32_t Le32At(const std::string& s, size_t at) {
  ByteReader r(s.data() + at, s.size() - at);
  return r.u32le();
}
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += char(v);
  return s;
}

// A hand-made sub-chunk, frame chunk and file.
std::string Sub(uint16_t type, const std::string& data) { return Le32(uint32_t(6 + data.size())) + Le16(type) + data; }
std::string Frame(const std::vector<std::string>& subs, uint16_t type = FLC_FRAME_TYPE) {
  std::string body;
  for (const auto& s : subs) body += s;
  return Le32(uint32_t(16 + body.size())) + Le16(type) + Le16(uint32_t(subs.size())) + std::string(8, '\0') + body;
}
std::string Flic(int w, int h, int frames, const std::string& chunks, uint16_t magic = FLC_MAGIC_FLC) {
  std::string head = Le32(uint32_t(128 + chunks.size())) + Le16(magic) + Le16(frames) + Le16(w) + Le16(h) + Le16(8);
  head.resize(128, '\0');
  return head + chunks;
}

struct SubChunk {
  uint16_t type;
  std::string data;
};
// The sub-chunks of every frame chunk of a file.
std::vector<std::vector<SubChunk>> Walk(const std::string& file) {
  std::vector<std::vector<SubChunk>> frames;
  ByteReader r(file.data(), file.size());
  r.seek(128);
  while (r.remaining() >= 16) {
    const size_t start = r.pos(), size = r.u32le();
    r.u16le();
    const int subs = r.u16le();
    r.seek(start + 16);
    frames.emplace_back();
    for (int i = 0; i < subs; ++i) {
      const size_t at = r.pos(), length = r.u32le();
      const uint16_t type = r.u16le();
      frames.back().push_back({type, file.substr(at + 6, length - 6)});
      r.seek(at + length);
    }
    r.seek(start + size);
  }
  return frames;
}

class FFFlcTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("ff_flc");

  static void Paint(Qimg& img, int w, int h, const Pattern& p, int t) {
    _imgalloc_(img, w, h, 8, "Test.Paint");
    for (int i = 0; i < 256; ++i) {
      img.palette[i][0] = uint8_t(i);
      img.palette[i][1] = uint8_t(255 - i);
      img.palette[i][2] = uint8_t(i * 7);
    }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.data[y * w + x] = p(x, y, t);
  }
  // Writes pictures 0 .. frames-1 of the pattern under name; the writer picks the extension.
  void WriteMovie(const std::string& name, int w, int h, int frames, const Pattern& p, double rate = 25) {
    QFlcHandle ff;
    Qimg img;
    FLCCreate(ff, name, rate);
    for (int t = 0; t < frames; ++t) {
      Paint(img, w, h, p, t);
      FLCSave(ff, img);
    }
    FLCClose(ff);
    ImgFree(img);
  }
  template <class Body>
  int32_t Fails(Body&& body) {
    GuardedSilent("Test.Fails", body);
    const int32_t result = ErrCategory() * 100 + ErrCode();
    ErrClear();
    return result;
  }
};

// Every frame decodes to its picture, at every size and kind of change; an FLI palette keeps the
// top six bits of each component. The file holds one frame chunk more than its count: the ring
// frame, which leads back to the first picture.
TEST_F(FFFlcTest, EveryFrameDecodesToItsPictureAndTheRingLeadsBackToTheFirst) {
  const struct {
    int w, h;
    const Pattern* p;
    const char* ext;
  } cases[] = {{320, 200, &kGradient, ".fli"}, {320, 200, &kMovingBox, ".fli"}, {320, 200, &kNoise, ".fli"},
               {33, 17, &kGradient, ".flc"},   {33, 17, &kStripes, ".flc"},     {641, 9, &kMovingBox, ".flc"},
               {641, 9, &kStripes, ".flc"},    {4, 4, &kNoise, ".flc"},         {64, 48, &kNoise, ".flc"},
               {320, 200, &kStripes, ".fli"},  {48, 6, &kStill, ".flc"}};
  constexpr int kFrames = 6;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + std::to_string(&c - cases));
    WriteMovie(dir + "/clip.flc", c.w, c.h, kFrames, *c.p);
    const std::string path = dir + "/clip" + c.ext;
    std::string file = test::ReadWholeFile(path);
    ASSERT_EQ(Walk(file).size(), size_t(kFrames + 1));
    const int shift = std::string(c.ext) == ".fli" ? 2 : 0;
    QFlcHandle ff;
    Qimg got, want;
    FLCOpen(ff, path);
    EXPECT_EQ(ff.frames, kFrames);
    for (int t = 0; t < kFrames; ++t) {
      FLCLoad(ff, got, 0, 0);
      Paint(want, c.w, c.h, *c.p, t);
      ASSERT_EQ(0, std::memcmp(got.data, want.data, size_t(want.size))) << "frame " << t + 1;
      for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) ASSERT_EQ(got.palette[i][k], want.palette[i][k] >> shift << shift);
    }
    EXPECT_EQ(Fails([&] { FLCLoadNext(ff, got, false); }), 1701);
    FLCClose(ff);
    // Counting the ring frame in, the frame after the last is the first again.
    file.replace(6, 2, Le16(kFrames + 1));
    test::WriteWholeFile(path, file);
    FLCOpen(ff, path);
    FLCLoad(ff, got, kFrames, 0);
    FLCLoad(ff, got, 0, 1);
    Paint(want, c.w, c.h, *c.p, 0);
    EXPECT_EQ(0, std::memcmp(got.data, want.data, size_t(want.size)));
    FLCClose(ff);
    ImgFree(got);
    ImgFree(want);
  }
}

// The first frame is a palette and a byte run (uncompressed when noise would not shrink); later
// frames are one delta: byte-oriented in an FLI, word-oriented in an FLC, empty for an unchanged
// picture, uncompressed for noise. At widths that are not a multiple of 4 noise stays a byte run.
TEST_F(FFFlcTest, TheWriterChoosesTheChunksThePicturesCallFor) {
  const struct {
    int w, h;
    const Pattern* p;
    const char* ext;
    std::vector<uint16_t> first, second;
    std::string secondData;
  } cases[] = {
      {320, 200, &kStill, ".fli", {FLC_COLOR_64, FLC_BYTE_RUN}, {FLC_DELTA_BYTE}, std::string(4, '\0')},
      {64, 48, &kStill, ".flc", {FLC_COLOR_256, FLC_BYTE_RUN}, {FLC_DELTA_WORD}, std::string(2, '\0')},
      {64, 48, &kNoise, ".flc", {FLC_COLOR_256, FLC_COPY}, {FLC_COPY}, ""},
      {320, 200, &kNoise, ".fli", {FLC_COLOR_64, FLC_COPY}, {FLC_COPY}, ""},
      {64, 48, &kMovingBox, ".flc", {FLC_COLOR_256, FLC_BYTE_RUN}, {FLC_DELTA_WORD}, ""},
      {66, 48, &kNoise, ".flc", {FLC_COLOR_256, FLC_BYTE_RUN}, {FLC_BYTE_RUN}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    WriteMovie(dir + "/kinds", c.w, c.h, 2, *c.p);
    const auto frames = Walk(test::ReadWholeFile(dir + "/kinds" + c.ext));
    ASSERT_EQ(frames.size(), 3u);
    std::vector<uint16_t> first, second;
    for (const auto& s : frames[0]) first.push_back(s.type);
    for (const auto& s : frames[1]) second.push_back(s.type);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(frames[0][0].data.size(), 772u) << "one packet of 256 colours";
    const size_t length = c.second[0] == FLC_COPY ? size_t(c.w * c.h) : frames[1][0].data.size();
    EXPECT_EQ(frames[1][0].data.size(), length);
    EXPECT_EQ(frames[1][0].data, c.secondData.empty() ? frames[1][0].data : c.secondData);
  }
}

// A later picture with another palette brings its palette along; the ring frame brings back the
// first one.
TEST_F(FFFlcTest, APaletteChangeTravelsWithItsFrame) {
  QFlcHandle ff;
  Qimg img;
  FLCCreate(ff, dir + "/pal.flc", 10);
  Paint(img, 16, 8, kGradient, 0);
  FLCSave(ff, img);
  img.palette[3][1] = 99;
  FLCSave(ff, img);
  FLCClose(ff);
  const auto frames = Walk(test::ReadWholeFile(dir + "/pal.flc"));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].size(), 2u);
  EXPECT_EQ(frames[1][0].type, FLC_COLOR_256);
  EXPECT_EQ(frames[2][0].type, FLC_COLOR_256);
  FLCOpen(ff, dir + "/pal.flc");
  FLCLoad(ff, img, 1, 0);
  EXPECT_EQ(img.palette[3][1], 255 - 3);
  FLCLoad(ff, img, 2, 1);
  EXPECT_EQ(img.palette[3][1], 99);
  EXPECT_TRUE(ff.paletteChanged);
  FLCClose(ff);
  ImgFree(img);
}

// 320 x 200 makes an FLI whatever the name said, any other size an FLC; the speed is in 1/70 s or
// in milliseconds, and reads back as frames per second to one decimal.
TEST_F(FFFlcTest, TheSizeNamesTheVariantAndTheRateBecomesItsSpeed) {
  const struct {
    const char* asked;
    int w, h;
    double rate;
    const char* made;
    uint16_t magic;
    uint32_t speed;
    double readBack;
  } cases[] = {{"clip.flc", 320, 200, 10, "clip.fli", FLC_MAGIC_FLI, 7, 10.0},
               {"clip.fli", 640, 480, 25, "clip.flc", FLC_MAGIC_FLC, 40, 25.0},
               {"five", 320, 200, 14, "five.fli", FLC_MAGIC_FLI, 5, 14.0},
               {"odd.FLI", 320, 201, 30, "odd.flc", FLC_MAGIC_FLC, 33, 30.3},
               {"still.flc", 8, 8, 0, "still.flc", FLC_MAGIC_FLC, 0, 0.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.made);
    const std::string sub = test::ScratchDir("ff_flc_naming");
    WriteMovie(sub + "/" + c.asked, c.w, c.h, 2, kGradient, c.rate);
    const std::string path = sub + "/" + c.made;
    const std::string file = test::ReadWholeFile(path);
    ASSERT_GE(file.size(), 128u);
    if (std::string(c.asked) != c.made) {
      EXPECT_TRUE(test::ReadWholeFile(sub + "/" + c.asked).empty());
    }
    ByteReader r(file.data(), file.size());
    EXPECT_EQ(r.u32le(), file.size());
    EXPECT_EQ(r.u16le(), c.magic);
    EXPECT_EQ(r.u16le(), 2);
    EXPECT_EQ(r.u16le(), c.w);
    EXPECT_EQ(r.u16le(), c.h);
    EXPECT_EQ(r.u16le(), 8);
    EXPECT_EQ(r.u16le(), 3);
    EXPECT_EQ(r.u32le(), c.speed);
    r.seek(80);
    EXPECT_EQ(r.u32le(), 128u);
    EXPECT_EQ(r.u32le(), 128u + 16 + Walk(file)[0].size() * 6 + 772 + Walk(file)[0][1].data.size());
    QffInfo info;
    FFInfo(path, FF_AUTO, info);
    EXPECT_EQ(info.format, FF_FLC);
    EXPECT_EQ(info.fileSize, int64_t(file.size()));
    EXPECT_EQ(std::tuple(info.video.width, info.video.height, info.video.frames, info.video.bpp, info.video.hasVideo),
              std::tuple(c.w, c.h, 2, 8, RF_TRUE));
    EXPECT_NEAR(info.video.frameRate, c.readBack, 1e-9);
    EXPECT_EQ(info.video.compression, "RLE + pixel difference from previous frame");
  }
}

// Positioning rewinds and steps over frames without decoding them: a frame that cannot be decoded
// is stepped over, and only a load meets it.
TEST_F(FFFlcTest, PositioningStepsOverFramesWithoutDecodingThem) {
  const Pattern dot = [](int x, int y, int t) { return uint8_t(x == t % 16 && y == t / 16 ? 1 + t : 0); };
  WriteMovie(dir + "/long.flc", 16, 8, 80, dot);
  QMviHandle mv;
  Qimg img, want;
  MviOpen(mv, dir + "/long.flc", FF_AUTO);
  for (int t = 1; t <= 80; ++t) MviImgLoad(mv, img, 0, 1);
  MviImgSetPos(mv, 50);
  EXPECT_EQ(*mv.current, 50);
  MviImgLoad(mv, img, 50, 0);
  Paint(want, 16, 8, dot, 49);
  EXPECT_EQ(0, std::memcmp(img.data, want.data, size_t(want.size)));
  EXPECT_EQ(Fails([&] { MviImgLoad(mv, img, 81, 0); }), 1207);
  MviClose(mv);

  // Frame 30's delta becomes an uncompressed chunk far too short for the picture.
  std::string file = test::ReadWholeFile(dir + "/long.flc");
  size_t at = 128;
  for (int i = 0; i < 29; ++i) at += Le32At(file, at);
  file[at + 16 + 4] = char(FLC_COPY);
  test::WriteWholeFile(dir + "/long.flc", file);
  MviOpen(mv, dir + "/long.flc", FF_AUTO);
  MviImgSetPos(mv, 80);
  MviImgSetPos(mv, 50);
  EXPECT_EQ(*mv.current, 50);
  EXPECT_EQ(Fails([&] { MviImgLoad(mv, img, 50, 0); }), 702);
  MviClose(mv);
  ImgFree(img);
  ImgFree(want);
}

// Streams other writers make: chunks before the frame and sub-chunks of unknown types passed
// over, palettes in several packets, byte runs whose packet count wrapped, row skip and last-byte
// words, black frames and byte deltas in an FLC.
TEST_F(FFFlcTest, StreamsOfOtherWritersDecode) {
  // 300 x 4: a byte run row of 300 pixels takes 3 packets, but its count byte says 0.
  const int w = 300, h = 4;
  std::string run;
  for (int y = 0; y < h; ++y) run += Bytes({0, 127, y + 1, 127, y + 2, 46, y + 3});
  const std::string first =
      Frame({Sub(18, "stamp"), Sub(FLC_COLOR_64, Le16(2) + Bytes({1, 1, 10, 20, 30, 2, 1, 1, 2, 3})),
             Sub(FLC_BYTE_RUN, run)});
  // Skip 2 rows, set row 2's last byte, code row 2 with a run of two words from byte 4, then row 3
  // with a literal word at byte 298 after a packet that only skips.
  const std::string delta = Le16(2) + Le16(0x10000 - 2) + Le16(0x8000 | 77) + Le16(1) + Bytes({4, 0xFE, 8, 9}) +
                            Le16(2) + Bytes({254, 0, 44, 1, 5, 6});
  const std::string bytes = Le16(1) + Le16(1) + Bytes({1, 3, 0xFD, 42});
  const std::string chunks = Frame({Sub(99, "prefix")}, 0xF100) + first + Frame({Sub(FLC_DELTA_WORD, delta)}) +
                             Frame({Sub(FLC_BLACK, "")}) + Frame({Sub(FLC_DELTA_BYTE, bytes)}) + Frame({});
  test::WriteWholeFile(dir + "/other.flc", Flic(w, h, 5, chunks));
  QFlcHandle ff;
  Qimg img;
  FLCOpen(ff, dir + "/other.flc");
  FLCLoad(ff, img, 1, 0);
  EXPECT_EQ(std::vector<int>({img.palette[1][2], img.palette[1][1], img.palette[1][0], img.palette[4][2]}),
            std::vector<int>({40, 80, 120, 4}));
  for (int y = 0; y < h; ++y) {
    EXPECT_EQ(img.data[y * w + 126], y + 1);
    EXPECT_EQ(img.data[y * w + 299], y + 3);
  }
  std::vector<uint8_t> before(img.data, img.data + img.size);
  FLCLoad(ff, img, 2, 1);
  before[2 * w + 299] = 77;
  before[2 * w + 4] = before[2 * w + 6] = 8;
  before[2 * w + 5] = before[2 * w + 7] = 9;
  before[3 * w + 298] = 5;
  before[3 * w + 299] = 6;
  EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + img.size), before);
  FLCLoad(ff, img, 3, 1);
  EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + img.size), std::vector<uint8_t>(size_t(w * h), 0));
  FLCLoad(ff, img, 4, 1);
  EXPECT_EQ(std::vector<uint8_t>(img.data + w + 3, img.data + w + 7), std::vector<uint8_t>({42, 42, 42, 0}));
  FLCLoad(ff, img, 5, 1);
  EXPECT_EQ(img.data[w + 3], 42) << "a frame without sub-chunks changes nothing";
  FLCClose(ff);
  ImgFree(img);
}

// Every count, skip and size is checked against its row, its picture and its chunk: a damaged
// frame is error 7/2 and writes nothing outside the picture.
TEST_F(FFFlcTest, DamagedFramesAreRefused) {
  const int w = 8, h = 4;
  const struct {
    const char* what;
    std::string frame;
  } cases[] = {
      {"byte run past the row", Frame({Sub(FLC_BYTE_RUN, Bytes({1, 9, 5}))})},
      {"literal past the chunk", Frame({Sub(FLC_BYTE_RUN, Bytes({1, 0xF8, 1, 2}))})},
      {"byte run rows past the chunk", Frame({Sub(FLC_BYTE_RUN, Bytes({1, 8, 5}))})},
      {"byte delta rows past the picture", Frame({Sub(FLC_DELTA_BYTE, Le16(2) + Le16(3))})},
      {"byte delta column past the row", Frame({Sub(FLC_DELTA_BYTE, Le16(0) + Le16(1) + Bytes({1, 7, 2, 1, 2}))})},
      {"byte delta run past the row",
       Frame({Sub(FLC_DELTA_BYTE, Le16(0) + Le16(1) + Bytes({2, 4, 0xFE, 1, 0, 0xFD, 1}))})},
      {"byte delta packets past the chunk", Frame({Sub(FLC_DELTA_BYTE, Le16(0) + Le16(1) + Bytes({3, 0, 1, 1}))})},
      {"word delta skip past the picture", Frame({Sub(FLC_DELTA_WORD, Le16(1) + Le16(0x10000 - 5))})},
      {"word delta row below the picture", Frame({Sub(FLC_DELTA_WORD, Le16(1) + Le16(0x10000 - 4) + Le16(0))})},
      {"word run past the row", Frame({Sub(FLC_DELTA_WORD, Le16(1) + Le16(1) + Bytes({6, 0xFE, 1, 2}))})},
      {"word literal past the chunk", Frame({Sub(FLC_DELTA_WORD, Le16(1) + Le16(1) + Bytes({0, 3, 1, 2}))})},
      {"palette past 256 colours", Frame({Sub(FLC_COLOR_256, Le16(1) + Bytes({255, 2, 1, 2, 3, 4, 5, 6}))})},
      {"palette past the chunk", Frame({Sub(FLC_COLOR_256, Le16(1) + Bytes({0, 0, 1, 2, 3}))})},
      {"copy shorter than the picture", Frame({Sub(FLC_COPY, std::string(w * h - 1, 'x'))})},
      {"sub-chunk past its frame", Frame({Le32(100) + Le16(FLC_COPY) + std::string(w * h, 'x')})},
      {"sub-chunk shorter than its header", Frame({Le32(3) + Le16(FLC_BLACK)})},
      {"sub-chunk count past the frame", Frame({Sub(FLC_BLACK, ""), ""}).replace(6, 2, Le16(3))},
      {"frame past the end of the file", Le32(1000) + Le16(FLC_FRAME_TYPE) + std::string(10, '\0')},
      {"frame shorter than its header", Le32(8) + Le16(FLC_FRAME_TYPE) + std::string(10, '\0')},
      {"no frame left", Frame({Sub(FLC_BLACK, "")}, 0xF100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteWholeFile(dir + "/bad.flc", Flic(w, h, 1, c.frame));
    QFlcHandle ff;
    Qimg img;
    FLCOpen(ff, dir + "/bad.flc");
    EXPECT_EQ(Fails([&] { FLCLoad(ff, img, 1, 0); }), 702);
    FLCClose(ff);
    ImgFree(img);
    EXPECT_EQ(MemCount(), 0);
    EXPECT_EQ(FCount(), 0);
  }
  test::WriteWholeFile(dir + "/bad.flc", Flic(w, h, 1, "").replace(4, 2, Le16(0xAF13)));
  QFlcHandle ff;
  EXPECT_EQ(Fails([&] { FLCOpen(ff, dir + "/bad.flc"); }), 702);
  test::WriteWholeFile(dir + "/bad.flc", Flic(w, h, 1, "").substr(0, 100));
  EXPECT_EQ(Fails([&] { FLCOpen(ff, dir + "/bad.flc"); }), 702);
  EXPECT_EQ(FCount(), 0);
  test::WriteWholeFile(dir + "/bad.flc", Flic(w, h, 1, Frame({Sub(FLC_BLACK, "")})));
  FLCOpen(ff, dir + "/bad.flc");
  Qimg img;
  EXPECT_EQ(Fails([&] { FLCLoad(ff, img, 2, 0); }), 1201);
  FLCClose(ff);
  ImgFree(img);
}

// A picture of another size is refused, and a failed write at any step leaves the file that was
// there before and no open file or block behind.
TEST_F(FFFlcTest, AFailedWriteLeavesTheFileAsItWas) {
  const std::string path = dir + "/keep.flc";
  test::WriteWholeFile(path, "the user's file");
  Qimg a, b;
  Paint(a, 16, 8, kGradient, 0);
  Paint(b, 16, 9, kGradient, 1);
  QFlcHandle ff;
  FLCCreate(ff, path, 25);
  FLCSave(ff, a);
  EXPECT_EQ(Fails([&] { FLCSave(ff, b); }), 702);
  FLCClose(ff);
  Paint(b, 16, 8, kNoise, 1);
  EXPECT_EQ(test::ReadWholeFile(path), "the user's file");
  EXPECT_EQ(FCount(), 0);
  for (Fault kind : {Fault::Write, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      const std::string before = test::ReadWholeFile(path);
      FaultAfter(kind, n);
      GuardedSilent("Test.Save", [&] {
        FLCCreate(ff, path, 25);
        FLCSave(ff, a);
        FLCSave(ff, b);
        FLCClose(ff);
      });
      FaultReset();
      const bool failed = !ErrNone();
      ErrClear();
      FLCClose(ff);
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 2) << "the two pictures";
      if (!failed) break;
      EXPECT_TRUE(test::ReadWholeFile(path) == before) << "a failed save leaves the file as it was";
      ASSERT_LT(n, 100);
    }
  }
  ImgFree(a);
  ImgFree(b);
}

TEST_F(FFFlcTest, AFailedReadLeavesNothingBehind) {
  WriteMovie(dir + "/read.flc", 16, 8, 5, kMovingBox);
  for (Fault kind : {Fault::Read, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      QFlcHandle ff;
      Qimg img;
      FaultAfter(kind, n);
      GuardedSilent("Test.Load", [&] {
        FLCOpen(ff, dir + "/read.flc");
        FLCLoad(ff, img, 5, 0);
        FLCLoad(ff, img, 2, 0);
      });
      FaultReset();
      const bool failed = !ErrNone();
      ErrClear();
      FLCClose(ff);
      ImgFree(img);
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 0);
      if (!failed) break;
      ASSERT_LT(n, 200);
    }
  }
}

}  // namespace
}  // namespace rf
