// HAV movies: the codecs' bit streams, round trips at every depth, codec and key-frame interval,
// direct positioning, the sound chain, and damaged or cut files.
#include "formats/ff_hav.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/havcodec.h"
#include "formats/mvi.h"
#include "formats/still_test_util.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

// Bits written most significant first, as the codecs read them.
std::vector<uint8_t> Pack(const std::string& bits) {
  std::vector<uint8_t> out((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') out[i / 8] |= uint8_t(0x80 >> (i % 8));
  return out;
}

std::string Bits(uint32_t v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s += (v >> i) & 1 ? '1' : '0';
  return s;
}

std::vector<uint8_t> Padded(std::vector<uint8_t> v) {
  v.resize(v.size() + HAV_STREAM_PAD, 0);
  return v;
}

TEST(HavCodecTest, NumberCodeOf2And5And300) {
  const struct {
    int32_t v;
    uint32_t bits;
    int32_t length;
  } cases[] = {{2, 0b10, 2}, {3, 0b11, 2}, {5, 0b0101, 4}, {255, 255, 14}, {300, 44, 16}, {767, 511, 16}};
  for (const auto& c : cases) {
    uint32_t bits = 0;
    int32_t length = 0;
    HavNumberCode(c.v, bits, length);
    EXPECT_EQ(bits, c.bits) << c.v;
    EXPECT_EQ(length, c.length) << c.v;
  }
}

TEST(HavCodecTest, BestRunOf100PixelsIsOneTokenAndDecodesBack) {
  std::vector<uint8_t> strip;
  for (int i = 0; i < 100; ++i) strip.insert(strip.end(), {10, 20, 30});
  const HavStrip s{300, 300, 3};
  std::vector<uint8_t> out(1024);
  const int32_t n = HavEncodeBest(strip.data(), nullptr, s, out.data(), int32_t(out.size()));
  // Run: 0000, bytes 10, 30, 20, N(100) = 00000 1100100; then the end token.
  const std::string bits = "0000" + Bits(10, 8) + Bits(30, 8) + Bits(20, 8) + "00000" + Bits(100, 7) + "000111000000";
  out.resize(size_t(std::max(n, 0)));
  EXPECT_EQ(out, Pack(bits));
  std::vector<uint8_t> back(300, 0);
  const std::vector<uint8_t> stream = Padded(out);
  ASSERT_TRUE(HavDecodeBest(stream.data(), n, back.data(), s));
  EXPECT_EQ(back, strip);
}

TEST(HavCodecTest, PredictedBytesOfOneRebuildCountingPixels) {
  const std::vector<uint8_t> ones(900, 1);
  std::vector<uint8_t> pixels(900);
  HavUnpredict(ones.data(), pixels.data(), 900);
  for (int i = 0; i < 300; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(pixels[size_t(i * 3 + c)], uint8_t(i + 1)) << i;
  std::vector<uint8_t> again(900);
  HavPredict(pixels.data(), again.data(), 900);
  EXPECT_EQ(again, ones);
}

TEST(HavCodecTest, HandMadeStreamsDecodeExactly) {
  // FAST: literal 7, run of 3 one-byte pixels 9, copy of 2 from the row above (row 4), end.
  const std::string fast = "1" + Bits(7, 8) + "00" + Bits(9, 8) + "11" + "010" + Bits(0, 6) + "0111000000";
  std::vector<uint8_t> out(6, 0xEE);
  const std::vector<uint8_t> stream = Padded(Pack(fast));
  ASSERT_TRUE(HavDecodeFast(stream.data(), int32_t(Pack(fast).size()), out.data(), {6, 4, 1}));
  EXPECT_EQ(out, (std::vector<uint8_t>{7, 9, 9, 9, 7, 9}));
  // BEST: literals 1 2 3, back-reference 3 bytes back (code 1536 + 61) of 3, repeat of slot 0, end.
  const std::string best = "11" + Bits(1, 8) + "11" + Bits(2, 8) + "11" + Bits(3, 8) + Bits(1536 + 61, 12) + "11" +
                           Bits(512, 12) + "000111000000";
  std::vector<uint8_t> out2(9, 0);
  const std::vector<uint8_t> stream2 = Padded(Pack(best));
  ASSERT_TRUE(HavDecodeBest(stream2.data(), int32_t(Pack(best).size()), out2.data(), {9, 9, 1}));
  EXPECT_EQ(out2, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 1, 2, 3}));
}

TEST(HavCodecTest, DamagedStreamsAreRefused) {
  const struct {
    const char* what;
    std::string bits;
    bool best;
  } cases[] = {
      {"run past the strip", "00" + Bits(9, 8) + "0101" + "0111000000", false},
      {"copy above on the first row", "010" + Bits(0, 6) + "0111000000", false},
      {"no end token", "1" + Bits(7, 8) + "1" + Bits(7, 8), false},
      {"repeat of an empty slot", Bits(512, 12), true},
      {"back-reference before the start", Bits(1536, 12) + "10", true},
      {"long skip past the strip", Bits(448, 12) + "10", true},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> packed = Pack(c.bits);
    const std::vector<uint8_t> stream = Padded(packed);
    std::vector<uint8_t> out(4, 0);
    const HavStrip s{4, 4, 1};
    const int32_t n = int32_t(packed.size());
    EXPECT_FALSE(c.best ? HavDecodeBest(stream.data(), n, out.data(), s)
                        : HavDecodeFast(stream.data(), n, out.data(), s))
        << c.what;
  }
}

class HavTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("ff_hav");
  void TearDown() override {
    HAVSetCodec(HAV_CODEC_FAST);
    HAVSetKeyFrames(25);
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) { return dir + "/" + name; }

  template <class Body>
  void ExpectError(int32_t category, int32_t code, Body&& body) {
    GuardedSilent("Test.Expect", body);
    EXPECT_EQ(ErrCategory(), category) << ErrLastMessage();
    EXPECT_EQ(ErrCode(), code) << ErrLastMessage();
    ErrClear();
  }
};

struct Movie {
  int32_t width;
  int32_t height;
  int32_t bpp;
  int32_t frames;
  int32_t codec;
  int32_t keyInterval;
  bool noise = false;  // random pixels: nothing for prediction to gain
};

// Frame f: a gradient, a box that moves, a band of noise, a static corner, and for 8-bit
// pictures a palette that changes from frame 10 on.
void MakeFrame(Qimg& img, const Movie& m, int32_t f) {
  ASSERT_EQ(_imgalloc_(img, m.width, m.height, m.bpp, "Test.MakeFrame"), 0);
  std::mt19937 noise(uint32_t(f * 7919 + 1));
  const int32_t row = m.width * img.bytesPerPixel;
  for (int32_t y = 0; y < m.height; ++y) {
    for (int32_t x = 0; x < row; ++x) {
      const int32_t px = x / img.bytesPerPixel;
      uint8_t v = uint8_t(x * 3 + y * 5);
      if (px >= f % m.width && px < f % m.width + 3 && y % 4 == f % 4) v = uint8_t(200 + f);
      if (m.noise || (y == m.height / 2 && px > m.width / 3)) v = uint8_t(noise());
      if (px < 2 && y < 2) v = 42;
      if (m.bpp == 15 && x % 2 == 1) v &= 0x7F;
      img.data[y * row + x] = v;
    }
  }
  for (int i = 0; i < 256; ++i) {
    img.palette[i][0] = uint8_t(i);
    img.palette[i][1] = uint8_t(255 - i);
    img.palette[i][2] = uint8_t(f >= 10 ? i * 7 : i / 2);
  }
}

// What a reader delivers for frame f: HAV stores 15-bit pictures as 16-bit ones.
void Expected(Qimg& img, const Movie& m, int32_t f) {
  MakeFrame(img, m, f);
  if (m.bpp == 15) ImgConvBpp(img, img, 16);
}

void WriteMovie(const std::string& path, const Movie& m) {
  HAVSetCodec(m.codec);
  HAVSetKeyFrames(m.keyInterval);
  QHavHandle hv;
  HAVCreate(hv, path, 25);
  Qimg img;
  for (int32_t f = 0; f < m.frames; ++f) {
    MakeFrame(img, m, f);
    HAVImgSave(hv, img);
  }
  ImgFree(img);
  HAVClose(hv);
}

::testing::AssertionResult SamePicture(const Qimg& a, const Qimg& b) {
  if (a.width != b.width || a.height != b.height || a.bpp != b.bpp)
    return ::testing::AssertionFailure() << "size or depth differs: " << a.bpp << " " << b.bpp;
  if (std::memcmp(a.data, b.data, size_t(a.size)) != 0) return ::testing::AssertionFailure() << "pixels differ";
  if (a.bpp == 8 && std::memcmp(a.palette, b.palette, sizeof a.palette) != 0)
    return ::testing::AssertionFailure() << "palettes differ";
  return ::testing::AssertionSuccess();
}

TEST_F(HavTest, RoundTripsAtEveryDepthCodecAndKeyFrameInterval) {
  const Movie movies[] = {
      {13, 7, 8, 24, HAV_CODEC_BEST, 25},    {13, 7, 8, 24, HAV_CODEC_FAST, 1},   {13, 7, 15, 12, HAV_CODEC_FAST, 0},
      {13, 7, 16, 12, HAV_CODEC_BEST, 0},    {13, 7, 16, 30, HAV_CODEC_FAST, 25}, {13, 7, 24, 30, HAV_CODEC_BEST, 25},
      {13, 7, 24, 12, HAV_CODEC_FAST, 0},    {13, 7, 24, 12, HAV_CODEC_BEST, 1},  {1, 1, 24, 3, HAV_CODEC_BEST, 25},
      {1, 1, 8, 3, HAV_CODEC_FAST, 25},      {4096, 4, 24, 3, HAV_CODEC_FAST, 2}, {4096, 4, 16, 3, HAV_CODEC_BEST, 0},
      {9, 5, 24, 6, HAV_CODEC_BEST, 2, true}};
  int n = 0;
  for (const Movie& m : movies) {
    SCOPED_TRACE(::testing::Message() << m.width << "x" << m.height << " bpp " << m.bpp << " codec " << m.codec << " K "
                                      << m.keyInterval);
    const std::string path = Path("rt" + std::to_string(n++) + ".hav");
    WriteMovie(path, m);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    QHavHandle hv;
    HAVOpen(hv, path);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(hv.frames, m.frames);
    EXPECT_EQ(hv.bpp, m.bpp == 15 ? 16 : m.bpp);
    EXPECT_EQ(hv.keyInterval, m.keyInterval);
    Qimg got, want;
    for (int32_t f = 0; f < m.frames; ++f) {
      HAVImgLoadNext(hv, got);
      Expected(want, m, f);
      ASSERT_TRUE(SamePicture(got, want)) << "frame " << f + 1;
    }
    ExpectError(15, 1, [&] { HAVImgLoadNext(hv, got); });
    // Backwards, each frame from its key frame, with the palette looked up before it.
    for (int32_t f = m.frames; f >= 1; f -= 5) {
      HAVImgLoad(hv, got, f, 0);
      Expected(want, m, f - 1);
      ASSERT_TRUE(SamePicture(got, want)) << "frame " << f << " read directly";
    }
    HAVClose(hv);
    ImgFree(got);
    ImgFree(want);
  }
}

TEST_F(HavTest, BestBecomesBestPWhenPredictionPays) {
  const struct {
    Movie m;
    int32_t codec;
  } cases[] = {{{32, 8, 24, 2, HAV_CODEC_BEST, 25}, HAV_CODEC_BEST_P},
               {{32, 8, 24, 2, HAV_CODEC_BEST, 25, true}, HAV_CODEC_BEST},
               {{32, 8, 16, 2, HAV_CODEC_BEST, 25}, HAV_CODEC_BEST},
               {{32, 8, 24, 2, HAV_CODEC_FAST, 25}, HAV_CODEC_FAST}};
  for (const auto& c : cases) {
    WriteMovie(Path("p.hav"), c.m);
    QffInfo info;
    FFInfo(Path("p.hav"), FF_AUTO, info);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    const char* names[] = {"BEST", "FAST", "BEST-P"};
    EXPECT_EQ(info.video.compression, names[c.codec]);
    EXPECT_EQ(info.video.frames, 2);
    EXPECT_EQ(info.video.bpp, c.m.bpp);
  }
}

TEST_F(HavTest, EveryFrameReadDirectlyEqualsItsSequentialDecode) {
  const Movie m{11, 6, 24, 300, HAV_CODEC_FAST, 25};
  for (const int32_t codec : {HAV_CODEC_FAST, HAV_CODEC_BEST}) {
    Movie mc = m;
    mc.codec = codec;
    WriteMovie(Path("ra.hav"), mc);
    QHavHandle hv;
    HAVOpen(hv, Path("ra.hav"));
    std::vector<std::vector<uint8_t>> sequential;
    Qimg img;
    for (int32_t f = 1; f <= 300; ++f) {
      HAVImgLoadNext(hv, img);
      sequential.emplace_back(img.data, img.data + img.size);
    }
    std::vector<int32_t> order(300);
    for (int32_t i = 0; i < 300; ++i) order[size_t(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (const int32_t f : order) {
      HAVImgLoad(hv, img, f, 0);
      ASSERT_TRUE(ErrNone()) << ErrLastMessage();
      ASSERT_EQ(hv.current, f);
      ASSERT_EQ(std::vector<uint8_t>(img.data, img.data + img.size), sequential[size_t(f - 1)]) << "frame " << f;
    }
    HAVImgSetPos(hv, 77);
    HAVImgLoad(hv, img, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(img.data, img.data + img.size), sequential[76]);
    ExpectError(12, 1, [&] { HAVImgLoad(hv, img, 301, 0); });
    HAVClose(hv);
    ImgFree(img);
  }
}

TEST_F(HavTest, NearestKeyFrames) {
  QHavHandle hv;
  hv.frames = 300;
  hv.keyInterval = 25;
  const struct {
    int32_t frame, direction, key;
  } cases[] = {{30, -1, 26},   {25, -1, 1}, {26, -1, 26}, {1, -1, 1},   {0, -1, 1},
               {400, -1, 276}, {30, 1, 51}, {26, 1, 26},  {299, 1, 276}};
  for (const auto& c : cases) EXPECT_EQ(HAVNearestKeyFrame(hv, c.frame, c.direction), c.key) << c.frame;
  hv.keyInterval = 0;
  EXPECT_EQ(HAVNearestKeyFrame(hv, 200, -1), 1);
}

TEST_F(HavTest, Frame256LivesInPage1Entry0) {
  const Movie m{4, 4, 8, 258, HAV_CODEC_FAST, 25};
  WriteMovie(Path("pages.hav"), m);
  const std::string bytes = test::ReadWholeFile(Path("pages.hav"));
  ByteReader table(bytes.data() + HAV_PAGE_TABLE_AT, 256 * 4);
  EXPECT_EQ(table.u32le(), uint32_t(HAV_FIRST_PAGE_AT));
  const uint32_t page1 = table.u32le();
  EXPECT_EQ(table.u32le(), 0u);
  ASSERT_GT(page1, uint32_t(HAV_FIRST_PAGE_AT));
  ByteReader entry(bytes.data() + page1, HAV_ENTRY_SIZE);
  const uint32_t record = entry.u32le();
  ByteReader head(bytes.data() + record, 4);
  EXPECT_EQ(head.u32le(), 1u);
  ByteReader last(bytes.data() + HAV_FIRST_PAGE_AT + 255 * HAV_ENTRY_SIZE, 4);
  EXPECT_LT(last.u32le(), record);
  QHavHandle hv;
  HAVOpen(hv, Path("pages.hav"));
  Qimg got, want;
  HAVImgLoad(hv, got, 257, 0);
  Expected(want, m, 256);
  EXPECT_TRUE(SamePicture(got, want));
  HAVClose(hv);
  ImgFree(got);
  ImgFree(want);
}

QSndBuf Tone(int32_t frames, uint16_t channels, uint16_t bits, int32_t seed) {
  QSndBuf b;
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, 22050, 0, 0, bits, 0};
  WaveFormatValidate(f);
  SndMakeSilence(b, frames, f);
  for (int32_t i = 0; i < frames * f.blockAlign; ++i) b.SndData[i] = uint8_t(i * 13 + seed);
  b.count = frames;
  return b;
}

TEST_F(HavTest, SoundOnlyFilesKeepTheirSamplesAcrossBlocks) {
  for (const auto& [channels, bits, flags] : {std::tuple{2, 16, 7}, std::tuple{1, 8, 1}, std::tuple{1, 16, 3}}) {
    QHavHandle hv;
    HAVCreate(hv, Path("snd.hav"), 25);
    QSndBuf a = Tone(1000, uint16_t(channels), uint16_t(bits), 1);
    QSndBuf b = Tone(700, uint16_t(channels), uint16_t(bits), 2);
    HAVSndSave(hv, a);
    HAVSndSave(hv, b);
    HAVClose(hv);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    HAVOpen(hv, Path("snd.hav"));
    EXPECT_EQ(hv.frames, 0);
    EXPECT_EQ(hv.soundFirst, HAV_HEADER_SIZE);
    EXPECT_EQ(hv.soundFlags, flags);
    EXPECT_EQ(hv.soundTotal, 1700);
    QSndBuf got;
    HAVSndLoad(hv, got, 900, 0, 300);
    ASSERT_EQ(got.count, 300);
    const int32_t align = channels * bits / 8;
    EXPECT_EQ(std::memcmp(got.SndData, a.SndData + 900 * align, size_t(100 * align)), 0);
    EXPECT_EQ(std::memcmp(got.SndData + 100 * align, b.SndData, size_t(200 * align)), 0);
    HAVSndLoad(hv, got, 1650, 1, 300);
    EXPECT_EQ(got.count, 50);
    EXPECT_EQ(hv.soundPos, 1700);
    HAVClose(hv);
    for (QSndBuf* s : {&a, &b, &got}) SndFree(*s);
  }
  // Picture fields of a file without pictures are not used, even when they make no sense.
  std::string bytes = test::ReadWholeFile(Path("snd.hav"));
  bytes[23] = char(0x60);
  test::WriteWholeFile(Path("snd.hav"), bytes);
  QHavHandle hv;
  HAVOpen(hv, Path("snd.hav"));
  EXPECT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(hv.bpp, 0);
  HAVClose(hv);
}

TEST_F(HavTest, SoundWithVideoOfAnotherLengthThroughTheMovieLayer) {
  const Movie m{8, 6, 24, 10, HAV_CODEC_BEST, 4};
  HAVSetCodec(m.codec);
  HAVSetKeyFrames(m.keyInterval);
  QMviHandle mv;
  MviCreate(mv, Path("both.hav"), 25, 1, m.frames);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_TRUE(mv.hasAudio);
  Qimg img;
  QSndBuf sound = Tone(22050, 2, 16, 3);
  QSndBuf mono8 = Tone(500, 1, 8, 4);
  // Sound before the first picture lies where the tables go until the picture moves it.
  MviSndSave(mv, sound);
  for (int32_t f = 0; f < m.frames; ++f) {
    MakeFrame(img, m, f);
    MviImgSave(mv, img);
    if (f == 2) MviSndSave(mv, mono8);  // converted to the file's format
  }
  MviClose(mv);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();

  MviOpen(mv, Path("both.hav"), FF_AUTO);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_TRUE(mv.hasAudio);
  EXPECT_EQ(*mv.frames, 10);
  EXPECT_EQ(mv.audioFormat->channels, 2);
  EXPECT_EQ(mv.audioFormat->bitsPerSample, 16);
  QSndBuf got;
  MviSndLoad(mv, got, 0, 0, 30000);
  ASSERT_EQ(got.count, 22550);
  EXPECT_EQ(std::memcmp(got.SndData, sound.SndData, size_t(22050 * 4)), 0);
  EXPECT_EQ(got.SndData[22050 * 4 + 1], uint8_t(mono8.SndData[0] - 128));
  Qimg want;
  MviImgLoad(mv, img, 7, 0);
  Expected(want, m, 6);
  EXPECT_TRUE(SamePicture(img, want));
  MviClose(mv);
  for (QSndBuf* s : {&sound, &mono8, &got}) SndFree(*s);
  ImgFree(img);
  ImgFree(want);
}

TEST_F(HavTest, CutFileKeepsTheFramesBeforeTheCut) {
  const Movie m{10, 6, 24, 20, HAV_CODEC_FAST, 5};
  WriteMovie(Path("whole.hav"), m);
  std::string bytes = test::ReadWholeFile(Path("whole.hav"));
  ByteReader entry(bytes.data() + HAV_FIRST_PAGE_AT + 11 * HAV_ENTRY_SIZE, 4);
  bytes.resize(entry.u32le() + 20);  // inside the record of frame 12
  test::WriteWholeFile(Path("cut.hav"), bytes);
  QHavHandle hv;
  HAVOpen(hv, Path("cut.hav"));
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  Qimg got, want;
  for (int32_t f = 1; f <= 11; ++f) {
    HAVImgLoad(hv, got, f, 0);
    Expected(want, m, f - 1);
    ASSERT_TRUE(SamePicture(got, want)) << f;
  }
  ExpectError(12, 1, [&] { HAVImgLoad(hv, got, 12, 0); });
  ExpectError(12, 1, [&] { HAVImgLoad(hv, got, 18, 0); });
  HAVImgLoad(hv, got, 3, 0);
  Expected(want, m, 2);
  EXPECT_TRUE(SamePicture(got, want));
  HAVClose(hv);
  ImgFree(got);
  ImgFree(want);
}

TEST_F(HavTest, HeaderFaultsGiveMovieErrors) {
  WriteMovie(Path("ok.hav"), {8, 4, 24, 2, HAV_CODEC_FAST, 25});
  const std::string good = test::ReadWholeFile(Path("ok.hav"));
  const struct {
    const char* what;
    size_t at;
    uint8_t value;
    int32_t code;
  } cases[] = {{"magic", 3, 0x1B, 1}, {"header size", 4, 63, 1}, {"version", 8, 96, 5},
               {"depth", 20, 4, 1},   {"frames", 31, 0x7F, 1},   {"page 0", 67, 0xFF, 1}};
  for (const auto& c : cases) {
    std::string bad = good;
    bad[c.at] = char(c.value);
    test::WriteWholeFile(Path("bad.hav"), bad);
    QHavHandle hv;
    ExpectError(12, c.code, [&] { HAVOpen(hv, Path("bad.hav")); });
    EXPECT_EQ(hv.file, 0) << c.what;
  }
  test::WriteWholeFile(Path("bad.hav"), "RIFF" + good.substr(4));
  QHavHandle hv;
  GuardedSilent("Test.Magic", [&] { HAVOpen(hv, Path("bad.hav")); });
  EXPECT_EQ(ErrLastMessage(), "Invalid movie format.");
  ErrClear();
}

// Any single damaged byte either still decodes or fails with a movie error, never more.
TEST_F(HavTest, EveryDamagedByteEndsInAMovieErrorAtMost) {
  for (const int32_t codec : {HAV_CODEC_FAST, HAV_CODEC_BEST}) {
    WriteMovie(Path("ok.hav"), {7, 5, 24, 3, codec, 2});
    const std::string good = test::ReadWholeFile(Path("ok.hav"));
    for (size_t at = 0; at < good.size(); at += at < 64 || at >= size_t(4160) ? 1 : 97) {
      std::string bad = good;
      bad[at] = char(bad[at] ^ (at % 3 == 0 ? 0xFF : 0x10));
      test::WriteWholeFile(Path("bad.hav"), bad);
      QHavHandle hv;
      Qimg img;
      GuardedSilent("Test.Damaged", [&] {
        HAVOpen(hv, Path("bad.hav"));
        for (int32_t f = 3; f >= 1; --f) HAVImgLoad(hv, img, f, 0);
      });
      const int32_t category = ErrNone() ? 12 : ErrCategory();
      EXPECT_TRUE(category == 12 || category == 15) << at << ": " << ErrLastMessage();
      ErrClear();
      HAVClose(hv);
      ImgFree(img);
    }
  }
}

TEST_F(HavTest, FailuresAtEveryStepLeaveNothingBehind) {
  const Movie m{8, 4, 8, 3, HAV_CODEC_BEST, 2};
  WriteMovie(Path("in.hav"), m);
  HAVSetCodec(m.codec);
  HAVSetKeyFrames(m.keyInterval);
  // The pictures and the sound exist before the sweep, so that only the writer's own steps fail.
  Qimg frames[3];
  for (int32_t f = 0; f < m.frames; ++f) MakeFrame(frames[f], m, f);
  QSndBuf sound = Tone(300, 2, 16, 1);
  QHavHandle hv;
  Qimg img;
  const auto load = [&] {
    MonSetCleanup([&] {
      HAVClose(hv);
      ImgFree(img);
    });
    HAVOpen(hv, Path("in.hav"));
    for (const int32_t f : {1, 3, 2}) HAVImgLoad(hv, img, f, 0);
    HAVClose(hv);
    ImgFree(img);
  };
  // A writer that fails gives its file up at once: the old file stays.
  const auto save = [&] {
    HAVCreate(hv, Path("out.hav"), 25);
    HAVSndSave(hv, sound);
    for (Qimg& frame : frames) HAVImgSave(hv, frame);
    HAVClose(hv);
  };
  stilltest::SweepLoadAndSave(load, save, Path("out.hav"));
  for (Qimg& frame : frames) ImgFree(frame);
  SndFree(sound);
}

TEST_F(HavTest, WriterSettingsComeFromTheSaveOptions) {
  EXPECT_EQ(HAVSetCodec(NOT_SET), HAV_CODEC_FAST);
  EXPECT_EQ(HAVSetKeyFrames(NOT_SET), 25);
  EXPECT_EQ(HAVSetKeyFrames(-4), 0);
  QffSaveOpt opts;
  FFSaveInit(opts);
  FFSaveSetFormat(opts, FF_HAV);
  opts.havCodec = 0;
  opts.havSetting = 7;
  EXPECT_EQ(FFSavePrepare(opts, 64, 48, 15), 16);
  opts.valid = RF_TRUE;
  FFApplyWriterSettings(opts);
  EXPECT_EQ(HAVSetCodec(NOT_SET), HAV_CODEC_BEST);
  EXPECT_EQ(HAVSetKeyFrames(NOT_SET), 7);
}

}  // namespace
}  // namespace rf
