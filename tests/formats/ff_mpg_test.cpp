// MPEG writing and reading: the rate rules, the encoder's feeding, padding, the MPEG-2 switch,
// sound only files, frame-exact positioning and the stream files left behind.
#include "formats/ff_mpg.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "os/kernel.h"

namespace rf {
namespace {

class MpgTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    MpgSetFormat(1);
    MpgSetRate(1125);
    MpgSetMpeg2Enabled(true);
    dir_ = test::ScratchDir("mpg");
  }
  void TearDown() override {
    MpgSetFormat(1);
    MpgSetMpeg2Enabled(true);
    FoundationTest::TearDown();
  }
  std::string dir_;
};

// A picture that changes from frame to frame: a gradient with a moving bright square.
void Picture(Qimg& img, int32_t width, int32_t height, int32_t n) {
  ASSERT_EQ(_imgalloc_(img, width, height, 24, "test"), 0);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = img.data + (size_t(y) * width + x) * 3;
      const bool square = x >= (n * 3) % width && x < (n * 3) % width + 12 && y >= 8 && y < 20;
      p[0] = uint8_t(square ? 250 : 40 + x);
      p[1] = uint8_t(square ? 250 : 30 + y * 2);
      p[2] = uint8_t(square ? 250 : 100 + n * 4);
    }
}

WaveFormatEx Pcm16(uint32_t rate, uint16_t channels) {
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, rate, 0, 0, 16, 0};
  WaveFormatValidate(f);
  return f;
}

void Tone(QSndBuf& buffer, const WaveFormatEx& f, int32_t frames) {
  SndMakeSilence(buffer, frames, f);
  auto* s = reinterpret_cast<int16_t*>(buffer.SndData);
  for (int32_t i = 0; i < frames * f.channels; ++i) s[i] = int16_t(8000 * std::sin(i * 0.05));
}

// Files of ours left in the temporary folder.
int32_t StreamFilesLeft() {
  int32_t n = 0;
  DIR* d = opendir(kernel::TempDir().c_str());
  if (!d) return 0;
  while (dirent* e = readdir(d)) n += std::string(e->d_name).rfind("reelforge-", 0) == 0;
  closedir(d);
  return n;
}

// Writes `frames` pictures (and sound for as long when sampleRate > 0) through the movie layer.
void WriteMovie(const std::string& name, int32_t frames, double rate, int32_t width, int32_t height,
                uint32_t sampleRate = 0) {
  QMviHandle mv;
  MviCreate(mv, name, rate, 1, frames);
  Qimg img;
  QSndBuf sound;
  const int32_t perFrame = sampleRate ? int32_t(sampleRate / rate) : 0;
  for (int32_t i = 0; i < frames && ErrNone(); ++i) {
    Picture(img, width, height, i);
    MviImgSave(mv, img);
    if (perFrame) {
      Tone(sound, Pcm16(sampleRate, 2), perFrame);
      MviSndSave(mv, sound);
    }
  }
  MviClose(mv);
  ImgFree(img);
  SndFree(sound);
}

TEST_F(MpgTest, FrameAndSampleRateRules) {
  const struct {
    double rate;
    int32_t code;
    double standard;
  } rates[] = {{0, 0, 0},   {-3, 0, 0},     {15, 1, 24000.0 / 1001},
               {24, 2, 24}, {25, 3, 25},    {26, 4, 30000.0 / 1001},
               {30, 5, 30}, {59.95, 8, 60}, {120, 8, 60}};
  for (const auto& r : rates) {
    EXPECT_EQ(MpgRateCode(r.rate), r.code) << r.rate;
    EXPECT_DOUBLE_EQ(MpgStdRate(r.rate), r.standard) << r.rate;
  }
  const int32_t audio[][2] = {{8000, 32000},  {32000, 32000}, {32001, 44100},
                              {44100, 44100}, {44101, 48000}, {96000, 48000}};
  for (const auto& a : audio) EXPECT_EQ(MpgAudioRate(a[0]), a[1]) << a[0];
  EXPECT_EQ(MpgSetRate(2000), 2000);
  EXPECT_EQ(MpgSetRate(FF_AUTO), 2000) << "FF_AUTO keeps the rate";
  EXPECT_EQ(MpgSetRate(999999999), 102400) << "limited to 104857200 bits per second";
  EXPECT_EQ(MpgSetRate(-5), 0);
}

TEST_F(MpgTest, TheEncoderTakesAPictureOnlyWhenThreeWait) {
  QMpgHandle h;
  double rate = 25;
  MpgCreate(h, dir_ + "/calls.mpg", rate, 5, FF_MPG);
  EXPECT_EQ(rate, 25) << "a standard rate is kept";
  Qimg img;
  const int64_t before = MplPutFrameCalls();
  const int64_t expected[] = {0, 0, 0, 1, 2};
  for (int32_t i = 0; i < 5; ++i) {
    Picture(img, 64, 48, i);
    MpgImgSave(h, img);
    EXPECT_EQ(MplPutFrameCalls() - before, expected[i]) << "after picture " << i + 1;
  }
  MpgClose(h);
  EXPECT_EQ(MplPutFrameCalls() - before, 5) << "closing encodes the three waiting";
  ImgFree(img);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  QffInfo info;
  MpgInfo(dir_ + "/calls.mpg", info);
  EXPECT_EQ(info.video.frames, 5);
  EXPECT_EQ(info.video.frameRate, 25);
  EXPECT_EQ(info.video.compression, "MPEG-1");
}

TEST_F(MpgTest, FifteenFramesASecondBecomeTheNextStandardRate) {
  QMpgHandle h;
  double rate = 15;
  MpgCreate(h, dir_ + "/slow.mpg", rate, 3, FF_MPG);
  EXPECT_DOUBLE_EQ(rate, 24000.0 / 1001) << "the caller's rate changes";
  MpgClose(h);
  WriteMovie(dir_ + "/slow.mpg", 4, 15, 64, 48);
  QffInfo info;
  MpgInfo(dir_ + "/slow.mpg", info);
  EXPECT_DOUBLE_EQ(info.video.frameRate, 24000.0 / 1001);
}

TEST_F(MpgTest, WidthsArePaddedToSixteenWithBlack) {
  for (const int32_t width : {352, 350}) {
    const std::string name = dir_ + "/w" + std::to_string(width) + ".mpg";
    QMviHandle mv;
    MviCreate(mv, name, 25, 1, 2);
    Qimg img;
    ASSERT_EQ(_imgalloc_(img, width, 240, 24, "test"), 0);
    std::fill(img.data, img.data + img.size, uint8_t(160));
    MviImgSave(mv, img);
    MviImgSave(mv, img);
    MviClose(mv);
    QffInfo info;
    MpgInfo(name, info);
    EXPECT_EQ(info.video.width, 352) << width;
    EXPECT_EQ(info.video.height, 240);
    QMpgHandle h;
    MpgOpen(h, name, 0);
    MpgImgLoad(h, img, 1, 0);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    double edge = 0;
    for (int32_t y = 16; y < 224; ++y)
      for (int32_t x = 350; x < 352; ++x) edge += img.data[(size_t(y) * 352 + x) * 3 + 1];
    edge /= 208 * 2;
    if (width == 350)
      EXPECT_LT(edge, 60) << "the padding is black (the codec blurs the border a little)";
    else
      EXPECT_GT(edge, 140);
    MpgClose(h);
    ImgFree(img);
  }
}

TEST_F(MpgTest, TheMpeg2SwitchGovernsReadingAndWriting) {
  MpgSetFormat(2);
  WriteMovie(dir_ + "/two.mpg", 3, 25, 64, 48);
  MpgSetFormat(1);
  WriteMovie(dir_ + "/one.mpg", 3, 25, 64, 48);
  QffInfo info;
  MpgInfo(dir_ + "/two.mpg", info);
  EXPECT_EQ(info.video.compression, "MPEG-2");
  EXPECT_TRUE(info.video.videoReadable);
  MpgSetMpeg2Enabled(false);
  MpgInfo(dir_ + "/two.mpg", info);
  EXPECT_FALSE(info.video.videoReadable) << "MPEG-2 is not decoded while the switch is off";
  MpgInfo(dir_ + "/one.mpg", info);
  EXPECT_TRUE(info.video.videoReadable);
  MpgSetFormat(2);
  WriteMovie(dir_ + "/asked-two.mpg", 3, 25, 64, 48);
  MpgInfo(dir_ + "/asked-two.mpg", info);
  EXPECT_EQ(info.video.compression, "MPEG-1") << "no MPEG-2 output while the switch is off";
  EXPECT_TRUE(ErrNone()) << ErrLastMessage();
}

TEST_F(MpgTest, SoundOnlyFilesNameTheirVersionAndLayer) {
  const struct {
    uint32_t rate;
    const char* name;
  } cases[] = {{44100, "MPEG-1, Layer-II"}, {22050, "MPEG-2 LSF, Layer-II"}};
  for (const auto& c : cases) {
    const std::string name = dir_ + "/s" + std::to_string(c.rate) + ".mp2";
    QMviHandle mv;
    MviCreate(mv, name, 25, 1, 0);
    QSndBuf sound;
    Tone(sound, Pcm16(c.rate, 2), int32_t(c.rate));
    MviSndSave(mv, sound);
    MviClose(mv);
    SndFree(sound);
    QffInfo info;
    MpgInfo(name, info);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_FALSE(info.video.hasVideo);
    EXPECT_TRUE(info.audio.audioReadable);
    EXPECT_EQ(info.audio.compression, c.name);
    EXPECT_EQ(uint32_t{info.audio.decodedFormat.samplesPerSec}, c.rate);
    EXPECT_NEAR(info.audio.frames, int32_t(c.rate), 1152 + 576) << "a second, and the last frame filled up";
    QMpgHandle h;
    MpgOpen(h, name, 0);
    EXPECT_FALSE(h.hasVideo);
    EXPECT_TRUE(h.hasAudio);
    MpgClose(h);
  }
}

// Every frame read in order, then again in a shuffled order of seeks, must be the same pictures.
void ExpectExactSeeking(const std::string& name) {
  QMpgHandle h;
  MpgOpen(h, name, 0);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  const int32_t frames = h.frames;
  std::vector<std::string> inOrder;
  Qimg img;
  for (int32_t i = 1; i <= frames; ++i) {
    MpgImgLoad(h, img, 0, 0);
    ASSERT_FALSE(h.frameFailed) << i;
    inOrder.emplace_back(reinterpret_cast<const char*>(img.data), size_t(img.size));
  }
  const int32_t order[] = {frames, 1, frames / 2, 2, frames - 1, frames / 3, frames / 3 + 1, frames / 3 - 1, 3};
  for (const int32_t f : order) {
    if (f < 1 || f > frames) continue;
    MpgImgLoad(h, img, f, 0);
    ASSERT_FALSE(h.frameFailed) << f;
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(img.data), size_t(img.size)) == inOrder[size_t(f - 1)])
        << "frame " << f << " of " << name;
  }
  MpgClose(h);
  ImgFree(img);
}

TEST_F(MpgTest, SeekingLandsOnTheExactFrame) {
  WriteMovie(dir_ + "/seek.mpg", 40, 25, 96, 64, 44100);
  ExpectExactSeeking(dir_ + "/seek.mpg");
  if (!MplCanWriteMp4()) GTEST_SKIP() << "no H.264 encoder installed";
  WriteMovie(dir_ + "/seek.mp4", 40, 25, 96, 64, 48000);
  ExpectExactSeeking(dir_ + "/seek.mp4");
}

TEST_F(MpgTest, SoundIsDeliveredFromAnySample) {
  WriteMovie(dir_ + "/snd.mpg", 25, 25, 64, 48, 44100);
  QMpgHandle h;
  MpgOpen(h, dir_ + "/snd.mpg", 0);
  ASSERT_TRUE(h.hasAudio && h.hasVideo);
  QSndBuf all, part;
  MpgSndLoad(h, all, 0, 0, 40000);
  ASSERT_EQ(all.count, 40000);
  for (const int32_t first : {30000, 1200, 5000, 0}) {
    MpgSndLoad(h, part, first, 0, 3000);
    ASSERT_EQ(part.count, 3000);
    // The decoder carries its rounding error from sample to sample, so a sound decoded from
    // another start may differ in the last bit; a sample off in position differs by far more.
    const auto* a = reinterpret_cast<const int16_t*>(all.SndData) + first * 2;
    const auto* p = reinterpret_cast<const int16_t*>(part.SndData);
    int32_t worst = 0;
    for (int32_t i = 0; i < 3000 * 2; ++i) worst = std::max(worst, std::abs(a[i] - p[i]));
    EXPECT_LE(worst, 1) << first;
    EXPECT_EQ(h.samplePos, first + 3000);
  }
  MpgClose(h);
  SndFree(all);
  SndFree(part);
}

TEST_F(MpgTest, NoStreamFileIsLeftBehind) {
  const int32_t before = StreamFilesLeft();
  WriteMovie(dir_ + "/both.mpg", 6, 25, 64, 48, 32000);
  EXPECT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(StreamFilesLeft(), before) << "after success";
  QffInfo info;
  MpgInfo(dir_ + "/both.mpg", info);
  EXPECT_EQ(info.video.frames, 6);
  EXPECT_TRUE(info.audio.hasAudio);
  // A picture too small for a movie fails after sound and pictures were written.
  QMviHandle mv;
  MviCreate(mv, dir_ + "/failed.mpg", 25, 1, 3);
  Qimg img;
  QSndBuf sound;
  Picture(img, 64, 48, 0);
  MviImgSave(mv, img);
  Tone(sound, Pcm16(44100, 2), 2000);
  MviSndSave(mv, sound);
  Picture(img, 2, 2, 1);
  GuardedSilent("test", [&] { MviImgSave(mv, img); });
  EXPECT_EQ(ErrCategory(), 14);
  ErrClear();
  MviClose(mv);
  ErrClear();
  ImgFree(img);
  SndFree(sound);
  EXPECT_EQ(StreamFilesLeft(), before) << "after a failure";
}

TEST_F(MpgTest, GarbageFailsAndTruncatedFilesKeepTheirFrames) {
  WriteMovie(dir_ + "/whole.mpg", 30, 25, 64, 48);
  std::string bytes = test::ReadWholeFile(dir_ + "/whole.mpg");
  test::WriteWholeFile(dir_ + "/half.mpg", bytes.substr(0, bytes.size() / 2));
  QffInfo info;
  MpgInfo(dir_ + "/half.mpg", info);
  EXPECT_GT(info.video.frames, 5);
  EXPECT_LT(info.video.frames, 30);
  ExpectExactSeeking(dir_ + "/half.mpg");
  std::string garbage = bytes.substr(0, 16);
  for (int i = 0; i < 4000; ++i) garbage += char(i * 7919 % 251);
  test::WriteWholeFile(dir_ + "/garbage.mpg", garbage);
  QMpgHandle h;
  GuardedSilent("test", [&] { MpgOpen(h, dir_ + "/garbage.mpg", 0); });
  EXPECT_EQ(ErrCategory(), 12);
  EXPECT_EQ(ErrCode(), 6);
  ErrClear();
}

TEST_F(MpgTest, TheOptionsDialogKeepsRatesInRangeAndPresetsLockThem) {
  QDlgMPGData data;
  data.format = 2;
  data.rate = 4882;
  QMpgDlgState s = MpgDlgStart(data);
  EXPECT_EQ(s.format, 2);
  EXPECT_EQ(s.preset, 1) << "the rate of a preset selects it";
  EXPECT_TRUE(s.ratesLocked);
  MpgDlgSetBitRate(s, 10);
  EXPECT_EQ(s.rate, 4882) << "locked";
  MpgDlgChoosePreset(s, MPG_PRESETS - 1);
  MpgDlgSetByteRate(s, 300);
  EXPECT_EQ(s.rate, 2400);
  EXPECT_EQ(s.byteRate(), 300);
  MpgDlgSetBitRate(s, 500000);
  EXPECT_EQ(s.rate, 102400);
  MpgDlgSetBitRate(s, 0);
  EXPECT_EQ(s.rate, 1);
  MpgSetMpeg2Enabled(false);
  s = MpgDlgStart(data);
  EXPECT_EQ(s.format, 1);
  EXPECT_EQ(s.mpeg2Caption, "MPEG-2 not enabled (see documentation)");
  struct Window : MpgDialogWindow {
    bool Run(QMpgDlgState& state) override {
      MpgDlgChoosePreset(state, 2);
      return true;
    }
  } window;
  QffSaveOpt opts;
  FFSaveInit(opts);
  EXPECT_TRUE(DlgMPG(data, opts, window));
  EXPECT_EQ(data.title, "MPEG Compression");
  EXPECT_EQ(int32_t{opts.mpegRate}, 28);
  EXPECT_EQ(int32_t{opts.mpegFormat}, 1);
}

}  // namespace
}  // namespace rf
