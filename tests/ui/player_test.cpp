// The player widget on generated HAV movies: the frame shown is the frame decoded, keys step and
// seek, playing runs at the file's rate to the end, or at the sound's pace on a virtual output.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "formats/ff_hav.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "image/imgbasic.h"
#include "ui/player.h"
#include "ui/playerlink.h"
#include "ui/sound.h"

#include "screenshot.h"

namespace rf::ui {
namespace {

constexpr int32_t kWidth = 40, kHeight = 30, kFrames = 12;
constexpr double kRate = 20;
constexpr int32_t kSampleRate = 22050, kSamples = kSampleRate * kFrames / int32_t(kRate);

void MakeFrame(Qimg& img, int32_t bpp, int32_t f, int32_t width, int32_t height) {
  _imgalloc_(img, width, height, bpp, "test");
  const int32_t bytes = bpp / 8;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      for (int32_t c = 0; c < bytes; ++c)
        img.data[(y * width + x) * bytes + c] = uint8_t(x * 255 / width + y * 128 / height + f * 17 + c * 60);
  for (int i = 0; i < 256; ++i) {
    img.palette[i][0] = uint8_t(i);
    img.palette[i][1] = uint8_t(255 - i);
    img.palette[i][2] = uint8_t(i * 3);
  }
}

void WriteMovie(const std::string& path, int32_t bpp, int32_t width = kWidth, int32_t height = kHeight) {
  QHavHandle hv;
  HAVCreate(hv, path, kRate);
  Qimg img;
  for (int32_t f = 0; f < kFrames; ++f) {
    MakeFrame(img, bpp, f, width, height);
    HAVImgSave(hv, img);
  }
  ImgFree(img);
  QSndBuf tone;
  WaveFormatEx format{WAVE_FORMAT_PCM, 1, kSampleRate, 0, 0, 16, 0};
  WaveFormatValidate(format);
  SndMakeSilence(tone, kSamples, format);
  tone.count = kSamples;
  // A ramp, so that every sample tells where it came from.
  auto* samples = reinterpret_cast<int16_t*>(tone.SndData);
  for (int32_t i = 0; i < kSamples; ++i) samples[i] = int16_t(i - 16384);
  HAVSndSave(hv, tone);
  SndFree(tone);
  HAVClose(hv);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
}

// Compares the shown picture with frame f as the reader decodes it, pixel by pixel in RGB.
::testing::AssertionResult ShowsDecodedFrame(const PlayerWidget& player, const std::string& path, int32_t f) {
  QUniInfo info;
  QUniHandle h;
  Qimg img;
  if (!UniInfo(path, info, false)) return ::testing::AssertionFailure() << "cannot read " << path;
  UniOpen(h, info);
  UniImgLoad(h, img, f, 0);
  const QImage& shown = player.ShownImage();
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  if (shown.width() != img.width || shown.height() != img.height)
    result = ::testing::AssertionFailure() << "size differs";
  for (int32_t y = 0; result && y < img.height; ++y) {
    for (int32_t x = 0; result && x < img.width; ++x) {
      const uint8_t* p = img.data + (y * img.width + x) * img.bytesPerPixel;
      const uint8_t* bgr = img.bpp == 8 ? img.palette[p[0]] : p;
      const QRgb want = qRgb(bgr[2], bgr[1], bgr[0]);
      if (shown.pixel(x, y) != want)
        result = ::testing::AssertionFailure() << "frame " << f << " differs at " << x << "," << y;
    }
  }
  ImgFree(img);
  UniClose(h);
  return result;
}

// The file's sound as the reader decodes it: count sample frames from `from` on, as bytes.
std::vector<uint8_t> DecodedSound(const std::string& path, int32_t from, int32_t count) {
  QUniInfo info;
  QUniHandle h;
  QSndBuf sound;
  std::vector<uint8_t> bytes;
  if (UniInfo(path, info, false)) {
    UniOpen(h, info);
    UniSndLoad(h, sound, from, 0, count);
    bytes.assign(sound.SndData, sound.SndData + std::min(sound.count, count) * sound.format.blockAlign);
  }
  SndFree(sound);
  UniClose(h);
  return bytes;
}

// Runs the event loop until the condition holds or a second has passed.
bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 100 && !condition(); ++i) QTest::qWait(10);
  return condition();
}

class PlayerTest : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("movie.hav").toStdString();
    WriteMovie(path_, GetParam());
  }
  QTemporaryDir dir_;
  std::string path_;
};

TEST_P(PlayerTest, StepsSeeksAndPlaysToTheEnd) {
  PlayerWidget player;
  player.resize(320, 280);
  player.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&player));
  ASSERT_TRUE(player.Open(QString::fromStdString(path_)));
  EXPECT_EQ(player.Frames(), kFrames);
  EXPECT_DOUBLE_EQ(player.FrameRate(), kRate);
  EXPECT_EQ(player.Position(), 1);
  EXPECT_TRUE(ShowsDecodedFrame(player, path_, 1));

  // Each key and the frame it leads to; stepping never leaves the movie (up is a second on,
  // more than the movie holds).
  const struct {
    Qt::Key key;
    int32_t frame;
  } keys[] = {{Qt::Key_Right, 2},     {Qt::Key_Right, 3},       {Qt::Key_Left, 2},
              {Qt::Key_End, kFrames}, {Qt::Key_Right, kFrames}, {Qt::Key_Home, 1},
              {Qt::Key_Left, 1},      {Qt::Key_Up, kFrames},    {Qt::Key_Down, 1}};
  for (const auto& k : keys) {
    QTest::keyClick(&player, k.key);
    EXPECT_EQ(player.Position(), k.frame) << QKeySequence(k.key).toString().toStdString();
    EXPECT_TRUE(ShowsDecodedFrame(player, path_, k.frame));
  }
  // Seeking backwards and forwards through the position bar.
  auto* bar = player.findChild<QSlider*>();
  ASSERT_NE(bar, nullptr);
  for (int32_t frame : {9, 4, 11, 5}) {
    bar->setValue(frame);
    EXPECT_EQ(player.Position(), frame);
    EXPECT_TRUE(ShowsDecodedFrame(player, path_, frame));
  }
  QSignalSpy finished(&player, &PlayerWidget::Finished);
  QTest::keyClick(&player, Qt::Key_Space);
  EXPECT_TRUE(player.IsPlaying());
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_EQ(player.Position(), kFrames);
  EXPECT_TRUE(ShowsDecodedFrame(player, path_, kFrames));
  QTest::keyClick(&player, Qt::Key_Space);  // playing again starts over
  EXPECT_EQ(player.Position(), 1);
  player.Pause();
}

INSTANTIATE_TEST_SUITE_P(Depths, PlayerTest, ::testing::Values(24, 8));

// On a virtual output nothing is heard until the test moves the play cursor, so the picture must
// stand still until then and follow the cursor after; a seek restarts the sound at the frame.
TEST(Player, SoundPlaysFromTheFrameShownAndDrivesThePicture) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("sound.hav").toStdString();
  WriteMovie(path, 24);
  VirtualSoundOutput* output = nullptr;
  const SoundOutputFactory previous = SetSoundOutputFactory([&] {
    auto made = std::make_unique<VirtualSoundOutput>();
    output = made.get();
    return made;
  });
  {
    PlayerWidget player;
    ASSERT_TRUE(player.Open(QString::fromStdString(path)));
    ASSERT_TRUE(player.HasSound());
    ASSERT_NE(output->Last(), nullptr);
    VirtualSoundStream& stream = *output->Last();
    QSignalSpy finished(&player, &PlayerWidget::Finished);
    // Each play cursor move and the frame it leads to: a stretch starts at a frame's first
    // sample (rounded up, 1102.5 samples a frame), later moves stay clear of frame boundaries.
    struct Stretch {
      int32_t from, firstSample;
      std::vector<std::pair<int32_t, int32_t>> moves;  // samples played, frame shown after
    };
    const Stretch stretches[] = {{3, 2205, {{500, 3}, {700, 4}, {2300, 6}}},
                                 {8, 7718, {{600, 8}, {1000, 9}, {1500, 10}}}};
    for (const Stretch& s : stretches) {
      SCOPED_TRACE(s.from);
      // Playing starts with the first stretch; the second is a seek while playing.
      player.Seek(s.from);
      if (!player.IsPlaying()) player.Play();
      ASSERT_TRUE(player.IsPlaying());
      const size_t mark = stream.Received().size();
      QTest::qWait(150);  // at the file's rate three frames would have passed
      EXPECT_EQ(player.Position(), s.from);
      int32_t played = 0;
      for (const auto& [samples, frame] : s.moves) {
        stream.Advance(samples);
        stream.Tick();
        played += samples;
        EXPECT_TRUE(WaitUntil([&] { return player.Position() == frame; }))
            << "after " << played << " samples the frame is " << player.Position() << ", not " << frame;
        EXPECT_TRUE(ShowsDecodedFrame(player, path, frame));
      }
      const std::vector<uint8_t> heard(stream.Received().begin() + ptrdiff_t(mark), stream.Received().end());
      EXPECT_EQ(heard, DecodedSound(path, s.firstSample, played));
    }
    // Played on, the sound runs out and the picture ends with it.
    for (int i = 0; i < 20 && player.IsPlaying(); ++i) {
      stream.Advance(1000);
      stream.Tick();
      QTest::qWait(20);
    }
    EXPECT_TRUE(finished.count() == 1 || finished.wait(2000));
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Position(), kFrames);
    EXPECT_FALSE(stream.TimerRunning());
  }
  SetSoundOutputFactory(previous);
}

TEST(Player, UnreadableFileIsRefusedWithItsReason) {
  QTemporaryDir dir;
  const QString bad = dir.filePath("broken.hav");
  QFile f(bad);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a movie at all");
  f.close();
  std::string shown;
  const auto previous = SetMessageBoxHook([&](MsgBox, const std::string&, const std::string& text) { shown = text; });
  PlayerWidget player;
  EXPECT_FALSE(player.Open(bad));
  EXPECT_FALSE(player.IsOpen());
  EXPECT_NE(shown.find("broken.hav"), std::string::npos) << shown;
  SetMessageBoxHook(previous);
  ErrClear();
}

// The player program itself: a file handed over the channel plays to the end and, with --close,
// the player quits; a second start with a file hands it to the running one and ends at once.
TEST(Player, ProgramPlaysWhatTheChannelHandsIt) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("handed.hav").toStdString();
  WriteMovie(path, 24);
  const QString wndClass = "rf-test-vistrel-" + QString::number(QCoreApplication::applicationPid());
  QProcess player;
  player.setProcessEnvironment([&] {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    return env;
  }());
  player.start(RF_VISTREL, {"--class", wndClass, "--close"});
  ASSERT_TRUE(player.waitForStarted(5000));
  // Closing the file of a player that has none does nothing; it tells when the player listens.
  bool sent = false;
  for (int i = 0; i < 500 && !(sent = IpcSendInt(wndClass, IPC_CHANNEL_CLOSE, -1)); ++i) QThread::msleep(20);
  ASSERT_TRUE(sent);
  QProcess second;
  second.start(RF_VISTREL, {"--class", wndClass, QString::fromStdString(path)});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(player.state(), QProcess::Running);
  // kFrames at kRate take 0.6 seconds.
  ASSERT_TRUE(player.waitForFinished(10000)) << "the player did not reach the end";
  EXPECT_EQ(player.exitCode(), 0);
  EXPECT_EQ(PlayerReadKeys(dir.filePath("config/velmora.ini")).path, QString(RF_VISTREL));
}

TEST(Player, Screenshot) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("shot.hav").toStdString();
  WriteMovie(path, 24, 320, 240);
  PlayerWidget player;
  player.resize(480, 400);
  player.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&player));
  ASSERT_TRUE(player.Open(QString::fromStdString(path)));
  player.ShowFrame(6);
  testui::SaveScreenshot(player, "player.png");
}

}  // namespace
}  // namespace rf::ui
