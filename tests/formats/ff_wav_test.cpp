// WAV reading and writing: the written header byte for byte, positions, damaged files and
// failures at every step.
#include "formats/ff_wav.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "os/kernel.h"
#include "platform/acm.h"

namespace rf {
namespace {

WaveFormatEx Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, rate, 0, 0, bits, 0};
  WaveFormatValidate(f);
  return f;
}

struct Chunk {
  std::string id;
  std::string body;
};

std::string FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits) {
  ByteWriter w;
  w.u16le(tag);
  w.u16le(channels);
  w.u32le(rate);
  w.u32le(avg);
  w.u16le(align);
  w.u16le(bits);
  return std::string(w.bytes().begin(), w.bytes().end());
}

// A RIFF/WAVE file of the chunks, each padded to an even length.
std::string Riff(const std::vector<Chunk>& chunks, const char* form = "WAVE") {
  std::string body = form;
  for (const auto& c : chunks) {
    ByteWriter w;
    w.fourcc(c.id.c_str());
    w.u32le(uint32_t(c.body.size()));
    body += std::string(w.bytes().begin(), w.bytes().end()) + c.body;
    if (c.body.size() & 1) body += '\0';
  }
  ByteWriter h;
  h.fourcc("RIFF");
  h.u32le(uint32_t(body.size()));
  return std::string(h.bytes().begin(), h.bytes().end()) + body;
}

std::string Ramp16(int frames, int channels) {
  std::string s;
  for (int i = 0; i < frames * channels; ++i) {
    const int16_t v = int16_t(i * 3 - 20000);
    s.append(reinterpret_cast<const char*>(&v), 2);
  }
  return s;
}

class FFWavTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("ff_wav");
  void TearDown() override {
    WaveConvertReset();
    EXPECT_EQ(acmStreamCount(), 0);
    FoundationTest::TearDown();
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    test::WriteWholeFile(path, bytes);
    return path;
  }
  template <class Body>
  void ExpectError(int32_t category, int32_t code, Body&& body) {
    GuardedSilent("Test.Expect", body);
    EXPECT_EQ(ErrCategory(), category) << ErrLastMessage();
    EXPECT_EQ(ErrCode(), code) << ErrLastMessage();
    ErrClear();
  }
  // Writes buffers of frames each of the format and closes the file.
  void WriteFile(const std::string& path, const WaveFormatEx& f, int buffers, int frames) {
    QWavHandle wf;
    WAVCreate(wf, path);
    QSndBuf b;
    for (int i = 0; i < buffers; ++i) {
      SndMakeSilence(b, frames, f);
      for (int k = 0; k < frames * f.blockAlign; ++k) b.SndData[k] = uint8_t(i * 31 + k);
      WAVSave(wf, b);
    }
    SndFree(b);
    WAVClose(wf);
  }
};

// Whole written files: an 18-byte format record (the PCM fields and an extra size of 0), the
// buffers one after the other, odd data padded by a byte the chunk does not count; a header even
// without buffers.
TEST_F(FFWavTest, WrittenFilesHoldTheExactHeaderAndAllFrames) {
  const struct {
    WaveFormatEx f;
    int buffers, frames;
  } cases[] = {{Pcm(2, 44100, 16), 10, 1000}, {Pcm(1, 8000, 8), 1, 1001}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frames);
    const std::string path = dir + "/out.wav";
    WriteFile(path, c.f, c.buffers, c.frames);
    std::string data;
    for (int i = 0; i < c.buffers; ++i)
      for (int k = 0; k < c.frames * c.f.blockAlign; ++k) data += char(i * 31 + k);
    const std::string fmt =
        FormatBody(1, c.f.channels, c.f.samplesPerSec, c.f.avgBytesPerSec, c.f.blockAlign, c.f.bitsPerSample) +
        std::string(2, '\0');
    EXPECT_EQ(test::ReadWholeFile(path), Riff({{"fmt ", fmt}, {"data", data}}));
    QffInfo info;
    WAVInfo(path, info);
    EXPECT_EQ(std::tuple(info.fileSize, info.audio.frames, info.audio.hasAudio, info.audio.audioReadable,
                         info.audio.compression),
              std::tuple(int64_t(46 + data.size() + data.size() % 2), int64_t(c.buffers) * c.frames, RF_TRUE, RF_TRUE,
                         std::string("(#1) PCM, uncompressed")));
    EXPECT_TRUE(WaveFormatEqual(info.audio.storedFormat, c.f));
    EXPECT_TRUE(WaveFormatEqual(info.audio.decodedFormat, c.f));
  }
  WriteFile(dir + "/empty.wav", Pcm(1, 8000, 8), 0, 1);
  EXPECT_EQ(test::ReadWholeFile(dir + "/empty.wav").size(), 46u);
}

TEST_F(FFWavTest, OneSecondLoadsAsFramesAndSeekingPastTheEndGivesTheLastFrame) {
  const WaveFormatEx f = Pcm(2, 44100, 16);
  const std::string pcm = Ramp16(44100, 2);
  const std::string path = Write("second.wav", Riff({{"fmt ", FormatBody(1, 2, 44100, 176400, 4, 16)}, {"data", pcm}}));
  QWavHandle wf;
  WAVOpen(wf, path);
  EXPECT_EQ(wf.totalFrames, 44100);
  EXPECT_EQ(wf.framesPerBlock, 1);
  EXPECT_TRUE(wf.readable);
  QSndBuf b;
  WAVLoad(wf, b, 0, 1, 44100);
  ASSERT_EQ(b.count, 44100);
  EXPECT_TRUE(WaveFormatEqual(b.format, f));
  EXPECT_EQ(std::memcmp(b.SndData, pcm.data(), pcm.size()), 0);
  WAVLoad(wf, b, 44100, 1, 10);
  EXPECT_EQ(b.count, 0) << "the end is reached";

  WAVLoad(wf, b, 100000, 0, 10);
  ASSERT_EQ(b.count, 1);
  EXPECT_EQ(std::memcmp(b.SndData, pcm.data() + pcm.size() - 4, 4), 0);
  EXPECT_EQ(wf.position, 44100);

  // Loads that continue and loads that jump give the same frames.
  WAVLoad(wf, b, 1000, 0, 500);
  WAVLoad(wf, b, 1500, 1, 500);
  ASSERT_EQ(b.count, 500);
  EXPECT_EQ(std::memcmp(b.SndData, pcm.data() + 1500 * 4, 2000), 0);
  WAVSeek(wf, -5);
  EXPECT_EQ(wf.position, 0);
  SndFree(b);
  WAVClose(wf);
}

TEST_F(FFWavTest, ChunksBeforeTheDataAreSkippedWithTheirPadByte) {
  const std::string pcm = Ramp16(100, 1);
  const std::string path = Write("extras.wav", Riff({{"LIST", std::string("INFOISFT\x03\0\0\0ab\0", 15)},
                                                     {"fmt ", FormatBody(1, 1, 8000, 16000, 2, 16)},
                                                     {"junk", "abc"},
                                                     {"data", pcm},
                                                     {"tail", "xyz"}}));
  QWavHandle wf;
  WAVOpen(wf, path);
  ASSERT_EQ(wf.totalFrames, 100);
  QSndBuf b;
  WAVLoad(wf, b, 0, 1, 1000);
  ASSERT_EQ(b.count, 100) << "the chunk after the data is not sound";
  EXPECT_EQ(std::memcmp(b.SndData, pcm.data(), pcm.size()), 0);
  SndFree(b);
  WAVClose(wf);
}

TEST_F(FFWavTest, DamagedFilesGiveTheirErrors) {
  const std::string fmt = FormatBody(1, 1, 8000, 16000, 2, 16);
  const std::string pcm = Ramp16(50, 1);
  struct Case {
    const char* name;
    std::string bytes;
    int32_t category, code;
  };
  std::string longSkip = Riff({{"junk", "abcd"}, {"fmt ", fmt}, {"data", pcm}});
  longSkip[18] = '\x7F';  // the junk chunk claims more than the file holds
  std::string shortFmt = Riff({{"fmt ", fmt}, {"data", pcm}});
  shortFmt[16] = '\x30';  // the format chunk runs into the data
  shortFmt.resize(40);
  const std::vector<Case> cases = {
      {"empty", "", 13, 1},
      {"not_riff", "RIFX" + Riff({{"fmt ", fmt}, {"data", pcm}}).substr(4), 13, 1},
      {"not_wave", Riff({{"fmt ", fmt}, {"data", pcm}}, "AVI "), 13, 1},
      {"data_before_fmt", Riff({{"data", pcm}, {"fmt ", fmt}}), 13, 1},
      {"no_data", Riff({{"fmt ", fmt}}), 13, 1},
      {"no_fmt", Riff({{"data", pcm}}), 13, 1},
      {"skipped_chunk_past_end", longSkip, 13, 3},
      {"fmt_past_end", shortFmt, 13, 1},
      {"tiny_fmt", Riff({{"fmt ", fmt.substr(0, 10)}, {"data", pcm}}), 13, 1},
      {"zero_channels", Riff({{"fmt ", FormatBody(1, 0, 8000, 16000, 2, 16)}, {"data", pcm}}), 13, 1},
      {"zero_rate", Riff({{"fmt ", FormatBody(1, 1, 0, 16000, 2, 16)}, {"data", pcm}}), 13, 1},
      {"zero_align", Riff({{"fmt ", FormatBody(2, 1, 8000, 4000, 0, 4)}, {"data", pcm}}), 13, 1},
      {"absurd_pcm_align", Riff({{"fmt ", FormatBody(1, 1, 8000, 16000, 60000, 16)}, {"data", pcm}}), 13, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(std::string(c.name) + ".wav", c.bytes);
    QWavHandle wf;
    ExpectError(c.category, c.code, [&] { WAVOpen(wf, path); });
    EXPECT_EQ(wf.file, 0);
    EXPECT_EQ(FCount(), 0);
    EXPECT_EQ(MemCount(), 0);
  }
  QWavHandle wf;
  ExpectError(13, 1, [&] { WAVOpen(wf, dir + "/missing.wav"); });
}

TEST_F(FFWavTest, UndecodableAndTruncatedFilesOpen) {
  // An unknown tag opens but is not readable; loading it is refused.
  const std::string unknown =
      Write("unknown.wav", Riff({{"fmt ", FormatBody(0x7A7A, 1, 8000, 1000, 10, 0)}, {"data", std::string(100, 'x')}}));
  QffInfo info;
  WAVInfo(unknown, info);
  EXPECT_TRUE(info.audio.hasAudio);
  EXPECT_FALSE(info.audio.audioReadable);
  EXPECT_EQ(info.audio.compression, "(#31354) Unknown codec");
  QWavHandle wf;
  WAVOpen(wf, unknown);
  QSndBuf b;
  ExpectError(8, 4, [&] { WAVLoad(wf, b, 0, 0, 10); });
  WAVClose(wf);

  // A 'data' size past the end of the file keeps the frames the file holds.
  std::string cut = Riff({{"fmt ", FormatBody(1, 1, 8000, 16000, 2, 16)}, {"data", Ramp16(100, 1)}});
  cut.resize(cut.size() - 51);
  WAVOpen(wf, Write("cut.wav", cut));
  EXPECT_EQ(wf.totalFrames, 74);
  WAVLoad(wf, b, 0, 0, 1000);
  EXPECT_EQ(b.count, 74);
  SndFree(b);
  WAVClose(wf);

  // mu-law is decoded to 16 bits, one frame per stored block.
  const std::string mulaw = Write(
      "mulaw.wav", Riff({{"fmt ", FormatBody(7, 1, 8000, 8000, 1, 8)}, {"data", std::string("\xFF\x00\x80\x7F", 4)}}));
  WAVOpen(wf, mulaw);
  ASSERT_TRUE(wf.readable);
  EXPECT_EQ(wf.framesPerBlock, 1);
  EXPECT_TRUE(WaveFormatEqual(wf.sl.decodedFormat, Pcm(1, 8000, 16)));
  WAVLoad(wf, b, 0, 0, 4);
  ASSERT_EQ(b.count, 4);
  const int16_t* s = reinterpret_cast<const int16_t*>(b.SndData);
  EXPECT_EQ(std::vector<int16_t>(s, s + 4), (std::vector<int16_t>{0, -32124, 32124, 0}));
  SndFree(b);
  WAVClose(wf);
}

TEST_F(FFWavTest, FailuresAtEveryStepLeaveNothingBehind) {
  const std::string path = dir + "/fault.wav";
  const WaveFormatEx f = Pcm(2, 22050, 16);
  // Saving: each failing write or allocation leaves the file as it was. The second buffer
  // is in another format, so saving it converts.
  QSndBuf first, other;
  SndMakeSilence(first, 500, f);
  SndMakeSilence(other, 700, Pcm(1, 11025, 8));
  for (Fault kind : {Fault::Write, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      const std::string before = test::ReadWholeFile(path);
      FaultAfter(kind, n);
      GuardedSilent("Test.Save", [&] {
        QWavHandle wf;
        WAVCreate(wf, path);
        WAVSave(wf, first);
        WAVSave(wf, other);
        WAVSave(wf, first);
        WAVClose(wf);
      });
      const bool failed = !ErrNone();
      FaultReset();
      ErrClear();
      WaveConvertReset();
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 2);
      if (!failed) {
        EXPECT_GT(test::ReadWholeFile(path).size(), 46u + 4000u);
        break;
      }
      EXPECT_EQ(test::ReadWholeFile(path), before) << "a failed save leaves the file as it was";
      ASSERT_LT(n, 100);
    }
  }
  SndFree(first);
  SndFree(other);
  // Opening and loading: each failing read or allocation leaves no block and, once closed, no
  // file.
  for (Fault kind : {Fault::Read, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      QWavHandle wf;
      QSndBuf b;
      int32_t loaded = 0;
      FaultAfter(kind, n);
      GuardedSilent("Test.Load", [&] {
        WAVOpen(wf, path);
        for (int i = 0; i < 4; ++i) {
          WAVLoad(wf, b, i * 400, 1, 400);
          loaded += b.count;
        }
      });
      const bool failed = !ErrNone();
      FaultReset();
      ErrClear();
      SndFree(b);
      WAVClose(wf);
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 0);
      if (!failed) {
        EXPECT_EQ(loaded, 1600);
        break;
      }
      ASSERT_LT(n, 100);
    }
  }
}

}  // namespace
}  // namespace rf
