// The conversion run and its audio step on generated picture sequences and WAV files: block
// resolution, direction, repeats, rate conversion, interleaving, silence, stop and abort.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "engine/con_run.h"
#include "engine/conform.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"

namespace rf {
namespace {

class ConFormTest : public test::ConRunTest {
 protected:
  std::string dir = test::ScratchDir("conform");
  std::vector<int> seen;  // the frame number found in each picture handed to the video function
  std::vector<int32_t> chunks;
  std::vector<int32_t> framesAtChunk;
  int32_t framesWritten = 0;

  std::string MakeSequence(int32_t frames) { return ConRunTest::MakeSequence(dir, ".tga", frames); }
  std::string MakeWav(const std::string& name, uint32_t rate, int32_t frames) {
    return ConRunTest::MakeWav(dir + "/" + name, rate, frames);
  }

  // Registers the block lists and functions that record what they are given.
  void Register() {
    ConRunTest::Register();
    ConSetVideoFuncCBF([this](QConVideoFunc& rec) {
      seen.push_back(rec.Source->data ? rec.Source->data[0] : -1);
      rec.Result = rec.Source;
      ++framesWritten;
    });
    ConSetAudioFuncCBF([this](QConAudioFunc& rec) {
      chunks.push_back(rec.Source->count);
      framesAtChunk.push_back(framesWritten);
      rec.Result = rec.Source;
    });
  }

  static bool Exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
  }
};

// Which frames of the file blocks a run reads, in which order, and how often it writes them:
// backwards, blocks that hold no frame, repeats.
TEST_F(ConFormTest, BlocksChooseAndRepeatTheirFrames) {
  const std::string seq = MakeSequence(10);
  QConBlock backwards = FileBlock(seq, 3, 4), repeated = FileBlock(seq, 1, 3);
  backwards.Direction = -1;
  repeated.Repeat = 3;
  const struct {
    std::vector<QConBlock> blocks;
    int32_t frames;
    std::vector<int> seen;
  } kCases[] = {
      {{backwards}, 4, {6, 5, 4, 3}},
      {{FileBlock(seq, 11, 2), FileBlock(seq, 1, 0), FileBlock(seq, 2, 2)}, 2, {2, 3}},
      {{repeated}, 9, {1, 2, 3}},
  };
  for (const auto& c : kCases) {
    videoBlocks = c.blocks;
    seen.clear();
    Register();
    ConSetFrameRate(false, 25);
    ConSetFrameCount(c.frames);
    ConStart(dir + "/out.tga", "", nullptr, report);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(report.VideoFrames, c.frames);
    EXPECT_EQ(report.VideoName, dir + "/out0.tga") << "a sequence reports its first member";
    EXPECT_TRUE(Exists(dir + "/out" + std::to_string(c.frames - 1) + ".tga"));
    ConDone();
  }
}

TEST_F(ConFormTest, RateConversionCarriesTheRemainder) {
  const std::string seq = MakeSequence(6);
  const struct {
    double outRate, blockRate;
    int32_t frames;
  } cases[] = {{50, 25, 12}, {12.5, 25, 3}, {10, 25, 3}, {0, 0, 6}};
  for (const auto& c : cases) {
    QConBlock b = FileBlock(seq);
    b.FrameRate = c.blockRate;
    videoBlocks = {b};
    Register();
    ConSetFrameRate(true, c.outRate);
    ConSetFrameCount(12);
    ConStart(dir + "/rate.tga", "", nullptr, report);
    EXPECT_EQ(report.VideoFrames, c.frames) << c.outRate << " fps from " << c.blockRate;
    ConDone();
  }
}

TEST_F(ConFormTest, AudioOnlyRunsInOneSecondChunks) {
  audioBlocks = {FileBlock(MakeWav("tone.wav", 8000, 28000))};
  Register();
  ConStart("", dir + "/copy.wav", nullptr, report);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(chunks, (std::vector<int32_t>{8000, 8000, 8000, 4000}));
  EXPECT_EQ(report.AudioSamples, 28000);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/copy.wav", info, false));
  EXPECT_EQ(info.audio.frames, 28000);
}

TEST_F(ConFormTest, ChunksFollowTheInterleave) {
  videoBlocks = {FileBlock(MakeSequence(80))};
  audioBlocks = {FileBlock(MakeWav("long.wav", 48000, 48000 * 4))};
  Register();
  ConSetFrameRate(false, 25);
  ConSetInterleave(25);
  ConSetFrameCount(80);
  ConStart(dir + "/v.tga", dir + "/a.wav", nullptr, report);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  ASSERT_GE(chunks.size(), 4u);
  // The rest follows once the video is done.
  EXPECT_EQ(std::tuple(chunks[0], framesAtChunk[0], framesAtChunk[1], framesAtChunk[2], report.AudioSamples,
                       report.VideoFrames),
            std::tuple(48000, 25, 50, 75, 48000 * 4, 80));
}

TEST_F(ConFormTest, SilenceAndBackwardsAudio) {
  const std::string wav = MakeWav("ramp.wav", 8000, 1000);
  QConBlock silence;
  silence.Kind = bkSilence;
  silence.First = 0;
  silence.Count = 8000;
  QConBlock backwards = FileBlock(wav, 100, 50);
  backwards.Direction = -1;
  audioBlocks = {silence, backwards};
  Register();
  std::vector<uint8_t> firstBytes;
  QSndBuf converted;
  WaveFormatEx out{WAVE_FORMAT_PCM, 2, 44100, 0, 0, 16, 0};
  WaveFormatValidate(out);
  ConSetAudioFuncCBF([&](QConAudioFunc& rec) {
    chunks.push_back(rec.Source->count);
    firstBytes.push_back(rec.Source->SndData[0]);
    SndConvert(*rec.Source, converted, out);
    rec.Result = &converted;
  });
  ConStart("", dir + "/mixed.wav", nullptr, report);
  SndFree(converted);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(chunks, (std::vector<int32_t>{8000, 50}));
  EXPECT_EQ(firstBytes[0], 0x80) << "8-bit silence";
  EXPECT_EQ(firstBytes[1], 100) << "a backwards audio block is still read forwards";
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/mixed.wav", info, false));
  EXPECT_EQ(info.audio.samplesPerSec, 44100);
  // The resampler keeps its last few samples: the tail of the last chunk may be short by them.
  EXPECT_NEAR(info.audio.frames, 44100 + 50 * 44100 / 8000, 128);
}

TEST_F(ConFormTest, UnreadableFilesEndTheRunInError) {
  test::WriteWholeFile(dir + "/junk.tga", "no picture");
  const std::string seq = MakeSequence(2);
  videoBlocks = {FileBlock(dir + "/junk.tga"), FileBlock(seq)};
  Register();
  ConSetFrameRate(false, 25);
  ConSetFrameCount(2);
  ConStart(dir + "/out.tga", "", nullptr, report);
  EXPECT_EQ(seen.size(), 2u) << "the unreadable block is skipped";
  EXPECT_EQ(std::tuple(ErrCategory(), ErrCode()), std::tuple(6, 9));
  ErrClear();
  EXPECT_FALSE(Exists(dir + "/out0.tga")) << "a failed run keeps none of its files";
}

TEST_F(ConFormTest, LoadFailuresAskTheErrorProcedure) {
  const std::string seq = MakeSequence(4);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(seq, info, true));
  test::WriteWholeFile(dir + "/f0002.tga", "broken");
  QConBlock b = FileBlock(seq);
  b.Kind = bkInfo;
  b.Source = &info;
  // A reply that ends the run keeps the failure for the caller even when the error procedure
  // cleared the register; the others forget it.
  struct Case {
    int32_t reply;
    size_t framesSeen;
    bool failureKept;
    int32_t stopState;
  };
  const Case kCases[] = {
      {erSkipBlock, 1, false, csRunning},
      {erIgnore, 4, false, csRunning},
      {erAbort, 1, true, csAbort},
      {erStop, 1, true, csStop},
  };
  for (const Case& c : kCases) {
    videoBlocks = {b};
    seen.clear();
    Register();
    ConSetFrameRate(false, 25);
    ConSetFrameCount(4);
    int asked = 0;
    ConSetProgressCBF(nullptr, [&](const std::string& name, int32_t& r) {
      EXPECT_EQ(name, seq);
      ++asked;
      ErrClear();
      r = c.reply;
    });
    ConStart(dir + "/out.tga", "", nullptr, report);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(seen.size(), c.framesSeen) << "reply " << c.reply;
    EXPECT_EQ(ConGetStopState(), c.stopState) << "reply " << c.reply;
    EXPECT_EQ(!ErrNone(), c.failureKept) << "reply " << c.reply;
    if (c.failureKept) {
      EXPECT_EQ(LastFileName(), dir + "/f0002.tga") << "the failure names the frame's file";
    }
    ErrClear();
    ConDone();
  }
}

}  // namespace
}  // namespace rf
