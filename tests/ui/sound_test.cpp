// The preview player on the virtual output: the refills land where the free space says, the
// samples that play are the file's, without gaps or repeats, and stop, seek and end behave.
#include "ui/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "ui/soundqt.h"

namespace rf::ui {
namespace {

constexpr int32_t kRate = 8000;

// A mono 16-bit WAV whose sample i holds i - 16384, so that every sample is told apart.
std::string MakeWave(const std::string& dir, const std::string& name, int32_t frames) {
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  std::string data;
  for (int32_t i = 0; i < frames; ++i) data += u16(uint16_t(int16_t(i - 16384)));
  const std::string bytes = "RIFF" + u32(uint32_t(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
                            u32(kRate) + u32(kRate * 2) + u16(2) + u16(16) + "data" + u32(uint32_t(data.size())) + data;
  const std::string path = dir + "/" + name;
  test::WriteWholeFile(path, bytes);
  return path;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes, size_t from = 0) {
  std::vector<int16_t> samples(bytes.size() / 2 - from);
  std::memcpy(samples.data(), bytes.data() + from * 2, samples.size() * 2);
  return samples;
}

class SoundTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    test::FoundationTest::SetUp();
    dir = test::ScratchDir("sound");
    previous = SetSoundOutputFactory([this] {
      auto output = std::make_unique<VirtualSoundOutput>();
      output_ = output.get();
      return output;
    });
  }
  void TearDown() override {
    player.reset();
    SetSoundOutputFactory(previous);
    test::FoundationTest::TearDown();
  }
  void OpenPlayer(const std::string& path) {
    player.reset();  // the output is the module's: one player at a time
    player = std::make_unique<GigaHertz>([this](int32_t message) { posted.push_back(message); });
    ASSERT_TRUE(player->Open(path)) << ErrLastMessage() << UniLastProblem().text;
  }
  VirtualSoundStream& Stream() { return *output_->Last(); }
  // Plays frames in steps of the timer, each tick answered by a refill as the dialog does.
  void PlayFor(int32_t frames, int32_t step) {
    for (int32_t done = 0; done < frames && player->Playing(); done += step) {
      Stream().Advance(step);
      Stream().Tick();
      DeliverMessages();
    }
  }
  void DeliverMessages() {
    for (size_t k = 0; k < posted.size(); ++k) {
      if (posted[k] == GHZ_REFILL) player->Refill();
      if (posted[k] == GHZ_END) player->End();
    }
    ends += std::count(posted.begin(), posted.end(), GHZ_END);
    posted.clear();
  }

  std::string dir;
  SoundOutputFactory previous;
  VirtualSoundOutput* output_ = nullptr;
  std::unique_ptr<GigaHertz> player;
  std::vector<int32_t> posted;
  int32_t ends = 0;
};

TEST_F(SoundTest, RefillsFollowTheFreeSpaceWithHeadroomAndAMinimum) {
  OpenPlayer(MakeWave(dir, "two.wav", 2 * kRate));
  EXPECT_EQ(player->BufferLength(), 0.5);  // clamped from the 2 s of the file
  EXPECT_EQ(DXABufGetTotalSize(player->Buffer(), 1), 4000);
  player->Play();
  EXPECT_EQ(Stream().TimerPeriod(), 125);
  ASSERT_EQ(posted, std::vector<int32_t>{GHZ_REFILL});  // the prefill only asks
  EXPECT_EQ(player->ReadPosition(), 0);
  struct Step {
    int32_t advance;
    int32_t readAfter;  // the refill writes the free space less 8 frames, when above 256
    int32_t freeAfter;
  };
  const Step steps[] = {{0, 3992, 8}, {200, 3992, 208}, {56, 3992, 264},
                        {1, 4249, 8}, {1000, 5249, 8},  {3000, 8249, 8}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.advance);
    Stream().Advance(s.advance);
    Stream().Tick();
    DeliverMessages();
    EXPECT_EQ(player->ReadPosition(), s.readAfter);
    EXPECT_EQ(DXABufGetFreeSize(player->Buffer(), 1), s.freeAfter);
  }
}

TEST_F(SoundTest, TheSamplesPlayedAreTheFileWithoutGapsOrRepeats) {
  const int32_t frames = 3 * kRate + 123;
  OpenPlayer(MakeWave(dir, "three.wav", frames));
  player->Play();
  player->Play();  // a second press starts no second timer
  EXPECT_EQ(Stream().TimersStarted(), 1);
  DeliverMessages();
  for (int32_t step : {997, 1, 333, 3001}) PlayFor(8000, step);
  PlayFor(frames, 1000);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(player->Playing());
  EXPECT_FALSE(Stream().TimerRunning());
  const std::vector<int16_t> played = Samples(Stream().Received());
  ASSERT_GE(played.size(), size_t(frames));
  // The last sample is never read: the player stops one short of the end and pads with silence.
  for (int32_t i = 0; i < frames - 1; ++i) ASSERT_EQ(played[size_t(i)], int16_t(i - 16384)) << "at sample " << i;
  for (size_t i = size_t(frames - 1); i < played.size(); ++i) ASSERT_EQ(played[i], 0) << "at sample " << i;
}

TEST_F(SoundTest, PauseSeekAndPlayAgainStartAtTheChosenSample) {
  const int32_t frames = 2 * kRate;
  OpenPlayer(MakeWave(dir, "seek.wav", frames));
  player->Play();
  DeliverMessages();
  PlayFor(3000, 500);
  player->Pause();
  EXPECT_FALSE(Stream().Playing());
  EXPECT_EQ(DXABufStatus(player->Buffer()), 0);
  player->Seek(0.75);
  EXPECT_EQ(player->ReadPosition(), 12000);
  EXPECT_EQ(player->PlayPosition(), 12000);
  const size_t before = Stream().Received().size() / 2;
  player->Play();
  EXPECT_EQ(DXABufStatus(player->Buffer()), 12);
  DeliverMessages();
  PlayFor(2000, 400);
  const std::vector<int16_t> played = Samples(Stream().Received(), before);
  ASSERT_EQ(played.size(), 2000u);
  for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], int16_t(12000 + i - 16384)) << "at " << i;
  EXPECT_NEAR(player->Fraction(), 14000.0 / frames, 0.01);
}

TEST_F(SoundTest, EndsAndEmptyRequests) {
  // Seeking to the end: the first refill already finds nothing to play.
  OpenPlayer(MakeWave(dir, "end.wav", kRate));
  player->Seek(1.0);
  EXPECT_EQ(player->ReadPosition(), kRate);
  player->Play();
  DeliverMessages();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(player->Playing());
  EXPECT_EQ(player->Position(), kRate);
  // Sound shorter than the shortest buffer: a tenth of a second of ring, silence after the end.
  ends = 0;
  OpenPlayer(MakeWave(dir, "short.wav", 400));
  EXPECT_EQ(player->BufferLength(), 0.1);
  player->Play();
  DeliverMessages();
  PlayFor(1600, 400);
  EXPECT_EQ(ends, 1);
  const std::vector<int16_t> played = Samples(Stream().Received());
  EXPECT_EQ(played[398], int16_t(398 - 16384));
  EXPECT_EQ(played[399], 0);
  // A fill of nothing changes nothing.
  QDXABuf& buffer = const_cast<QDXABuf&>(player->Buffer());
  const int32_t cursor = buffer.cursor;
  EXPECT_TRUE(DXABufFill(buffer, 0, nullptr));
  EXPECT_EQ(buffer.cursor, cursor);
}

TEST_F(SoundTest, NoAudioOrNoOutputLeavesThePlayerClosed) {
  player = std::make_unique<GigaHertz>([this](int32_t message) { posted.push_back(message); });
  test::WriteWholeFile(dir + "/notes.txt", "not a sound");
  EXPECT_FALSE(player->Open(dir + "/notes.txt"));
  ErrClear();
  WarnClear();
  player->Play();
  EXPECT_TRUE(posted.empty());
  const std::string wave = MakeWave(dir, "quiet.wav", kRate);
  player.reset();
  SetSoundOutputFactory([] { return std::unique_ptr<SoundOutput>(); });
  player = std::make_unique<GigaHertz>([this](int32_t message) { posted.push_back(message); });
  EXPECT_FALSE(DXAAvailable());
  EXPECT_FALSE(player->Open(wave));
  player->Play();
  EXPECT_TRUE(posted.empty());
}

TEST_F(SoundTest, PlayWavePlaysOnlyReadableSoundOnAPresentOutput) {
  test::WriteWholeFile(dir + "/notes.txt", "not a sound");
  EXPECT_FALSE(PlayWave(dir + "/notes.txt"));
  WarnClear();
  EXPECT_EQ(PlayWave(MakeWave(dir, "ding.wav", kRate / 4)), SoundOutputPresent());
}

}  // namespace
}  // namespace rf::ui
