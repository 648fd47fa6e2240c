// The conversion run and its audio step on generated picture sequences and WAV files: block
// resolution, direction, repeats, rate conversion, interleaving, silence, stop and abort.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <deque>
#include <vector>

#include "common/test_support.h"
#include "engine/conform.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"

namespace rf {
namespace {

class ConFormTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("conform");
  std::vector<QConBlock> videoBlocks, audioBlocks;
  size_t nextVideo = 0, nextAudio = 0;
  std::vector<int> seen;  // the frame number found in each picture handed to the video function
  std::vector<int32_t> chunks;
  std::vector<int32_t> framesAtChunk;
  int32_t framesWritten = 0;
  QConReport report;
  std::deque<std::string> names;  // file blocks point at these names

  void TearDown() override {
    ConDone();
    FoundationTest::TearDown();
  }

  // Frames f0001.tga .. fNNNN.tga; the first byte of each frame holds its number.
  std::string MakeSequence(int32_t frames) {
    for (int32_t n = 1; n <= frames; ++n) {
      Qimg img;
      _imgalloc_(img, 4, 2, 24, "Test.ConForm.img");
      img.data[0] = uint8_t(n);
      char name[32];
      std::snprintf(name, sizeof name, "/f%04d.tga", n);
      ImgSave(dir + name, img, FF_AUTO);
      ImgFree(img);
    }
    return dir + "/f0001.tga";
  }

  // A mono 8-bit WAV whose sample i holds i mod 251.
  std::string MakeWav(const std::string& name, uint32_t rate, int32_t frames) {
    QSndBuf buf;
    WaveFormatEx f{WAVE_FORMAT_PCM, 1, rate, 0, 0, 8, 0};
    WaveFormatValidate(f);
    SndMakeSilence(buf, frames, f);
    for (int32_t i = 0; i < frames; ++i) buf.SndData[i] = uint8_t(i % 251);
    QUniHandle h;
    UniCreate(h, dir + "/" + name);
    UniSndSave(h, buf);
    UniClose(h);
    SndFree(buf);
    return dir + "/" + name;
  }

  // A block naming a file; sequences are gathered from their first member.
  QConBlock FileBlock(const std::string& name, int32_t first = NOT_SET, int32_t count = NOT_SET) {
    names.push_back(name);
    QConBlock b;
    b.Kind = bkFileName;
    b.Source = names.back().c_str();
    b.FormatHint = 1;
    b.First = first;
    b.Count = count;
    b.StartTime = b.Duration = b.FrameRate = NOT_SET_F;
    return b;
  }

  void Register(bool video, bool audio) {
    if (video)
      ConSetVideoBlockCBF([this](QConBlock& b) {
        if (nextVideo < videoBlocks.size())
          b = videoBlocks[nextVideo++];
        else
          b.End = RF_TRUE;
      });
    if (audio)
      ConSetAudioBlockCBF([this](QConBlock& b) {
        if (nextAudio < audioBlocks.size())
          b = audioBlocks[nextAudio++];
        else
          b.End = RF_TRUE;
      });
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

TEST_F(ConFormTest, BackwardsBlocksReadTheirFramesInReverse) {
  const std::string seq = MakeSequence(10);
  QConBlock b = FileBlock(seq, 3, 4);
  b.Direction = -1;
  videoBlocks = {b};
  Register(true, false);
  ConSetFrameRate(false, 25);
  ConSetFrameCount(4);
  ConStart(dir + "/out.tga", "", nullptr, report);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(seen, (std::vector<int>{6, 5, 4, 3}));
  EXPECT_EQ(report.VideoFrames, 4);
  EXPECT_EQ(report.VideoName, dir + "/out0.tga") << "a sequence reports its first member";
  EXPECT_TRUE(Exists(dir + "/out3.tga"));
}

TEST_F(ConFormTest, UnusableBlocksAreSkippedSilently) {
  const std::string seq = MakeSequence(5);
  videoBlocks = {FileBlock(seq, 9, 2), FileBlock(seq, 1, 0), FileBlock(seq, 2, 2)};
  Register(true, false);
  ConSetFrameRate(false, 25);
  ConSetFrameCount(2);
  ConStart(dir + "/out.bmp", "", nullptr, report);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(seen, (std::vector<int>{2, 3}));
}

TEST_F(ConFormTest, RepeatsWriteEveryFrameSeveralTimes) {
  const std::string seq = MakeSequence(3);
  QConBlock b = FileBlock(seq);
  b.Repeat = 3;
  videoBlocks = {b};
  Register(true, false);
  ConSetFrameRate(false, 25);
  ConSetFrameCount(9);
  ConStart(dir + "/out.tga", "", nullptr, report);
  EXPECT_EQ(report.VideoFrames, 9);
  EXPECT_EQ(seen.size(), 3u);
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
    nextVideo = 0;
    Register(true, false);
    ConSetFrameRate(true, c.outRate);
    ConSetFrameCount(12);
    ConStart(dir + "/rate.tga", "", nullptr, report);
    EXPECT_EQ(report.VideoFrames, c.frames) << c.outRate << " fps from " << c.blockRate;
    ConDone();
  }
}

TEST_F(ConFormTest, AudioOnlyRunsInOneSecondChunks) {
  audioBlocks = {FileBlock(MakeWav("tone.wav", 8000, 28000))};
  Register(false, true);
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
  Register(true, true);
  ConSetFrameRate(false, 25);
  ConSetInterleave(25);
  ConSetFrameCount(80);
  ConStart(dir + "/v.tga", dir + "/a.wav", nullptr, report);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  ASSERT_GE(chunks.size(), 4u);
  EXPECT_EQ(chunks[0], 48000);
  EXPECT_EQ(framesAtChunk[0], 25);
  EXPECT_EQ(framesAtChunk[1], 50);
  EXPECT_EQ(framesAtChunk[2], 75);
  EXPECT_EQ(report.AudioSamples, 48000 * 4) << "the rest follows once the video is done";
  EXPECT_EQ(report.VideoFrames, 80);
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
  Register(false, true);
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

TEST_F(ConFormTest, AbortDeletesEverythingAndStopKeepsIt) {
  const std::string seq = MakeSequence(20);
  const std::string wav = MakeWav("src.wav", 8000, 16000);
  for (const int32_t state : {csAbort, csStop}) {
    videoBlocks = {FileBlock(seq)};
    audioBlocks = {FileBlock(wav)};
    nextVideo = nextAudio = 0;
    framesWritten = 0;
    Register(true, true);
    ConSetFrameRate(false, 10);
    ConSetInterleave(5);
    ConSetFrameCount(20);
    ConSetProgressCBF(
        [&](QConProgress& p) {
          if (p.VideoFramesDone >= 8) ConSetStopState(state);
        },
        nullptr);
    ConStart(dir + "/run.tga", dir + "/run.wav", nullptr, report);
    EXPECT_EQ(report.VideoFrames, 8);
    const bool kept = state == csStop;
    EXPECT_EQ(Exists(dir + "/run00.tga"), kept);
    EXPECT_EQ(Exists(dir + "/run07.tga"), kept);
    EXPECT_EQ(Exists(dir + "/run.wav"), kept);
    ConDone();
  }
}

TEST_F(ConFormTest, UnreadableFilesEndTheRunInError) {
  test::WriteWholeFile(dir + "/junk.tga", "no picture");
  const std::string seq = MakeSequence(2);
  videoBlocks = {FileBlock(dir + "/junk.tga"), FileBlock(seq)};
  Register(true, false);
  ConSetFrameRate(false, 25);
  ConSetFrameCount(2);
  ConStart(dir + "/out.tga", "", nullptr, report);
  EXPECT_EQ(seen.size(), 2u) << "the unreadable block is skipped";
  EXPECT_EQ(ErrCategory(), 6);
  EXPECT_EQ(ErrCode(), 9);
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
    nextVideo = 0;
    seen.clear();
    Register(true, false);
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
