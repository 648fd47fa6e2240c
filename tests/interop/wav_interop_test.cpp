// WAV files made by sox and ffmpeg load to the samples ffmpeg decodes; the files we write are
// read by sox and ffprobe with the same format and length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_wav.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "platform/acm.h"

namespace rf {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// ffmpeg's raw sample format for PCM of these bits.
std::string RawFormat(int bits) { return bits == 8 ? "u8" : bits == 24 ? "s24le" : bits == 32 ? "s32le" : "s16le"; }

class WavInteropTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("wav_interop");
  void TearDown() override {
    WaveConvertReset();
    EXPECT_EQ(acmStreamCount(), 0);
    FoundationTest::TearDown();
  }
  // All the decoded bytes of a file, read in pieces.
  std::string LoadAll(const std::string& path, WaveFormatEx& decoded) {
    QWavHandle wf;
    WAVOpen(wf, path);
    EXPECT_TRUE(wf.readable) << path;
    decoded = wf.sl.decodedFormat;
    std::string all;
    QSndBuf b;
    for (int32_t at = 0; wf.readable && at < wf.totalFrames;) {
      WAVLoad(wf, b, at, 1, 4096);
      if (b.count == 0) break;
      all.append(reinterpret_cast<const char*>(b.SndData), size_t(b.count) * decoded.blockAlign);
      at += b.count;
    }
    SndFree(b);
    WAVClose(wf);
    return all;
  }
  std::string Reference(const std::string& path, int bits) {
    return Output("ffmpeg -v error -i '" + path + "' -f " + RawFormat(bits) + " -");
  }
};

struct PeerCase {
  const char* name;
  std::string command;  // %s is the output file
  bool exact;           // PCM: byte for byte
};

std::string Fill(std::string command, const std::string& path) {
  return command.replace(command.find("%s"), 2, "'" + path + "'");
}

// Inserts a chunk of odd size right after the format chunk of a canonical file.
std::string WithOddChunk(const std::string& wav) {
  ByteReader r(wav.data(), wav.size());
  r.seek(16);
  const uint32_t fmtSize = r.u32le();
  const size_t at = 20 + fmtSize + (fmtSize & 1);
  std::string out = wav.substr(0, at) + std::string("junk\x05\0\0\0hello\0", 14) + wav.substr(at);
  const uint32_t riff = uint32_t(out.size() - 8);
  std::memcpy(&out[4], &riff, 4);
  return out;
}

TEST_F(WavInteropTest, PeerFilesLoadToTheSamplesFfmpegDecodes) {
  const std::vector<PeerCase> cases = {
      {"u8_mono_22050", "sox -n -r 22050 -c 1 -b 8 %s synth 1 sine 440", true},
      {"s16_stereo_44100", "sox -n -r 44100 -c 2 -b 16 %s synth 1 sine 440 sine 660", true},
      {"s24_stereo", "sox -n -r 48000 -c 2 -b 24 %s synth 0.5 sine 440", true},
      {"s16_list_before_data",
       "ffmpeg -v error -f lavfi -i sine=f=300:d=0.7:r=32000 -metadata title=tone -c:a pcm_s16le -y %s", true},
      {"ima_adpcm", "sox -n -r 22050 -c 2 -e ima-adpcm %s synth 0.6 sine 440 sine 550", false},
      {"ms_adpcm", "sox -n -r 22050 -c 2 -e ms-adpcm %s synth 0.6 sine 440 sine 550", false},
      {"mulaw", "ffmpeg -v error -f lavfi -i sine=f=440:d=0.5:r=8000 -c:a pcm_mulaw -y %s", false},
      {"alaw", "sox -n -r 8000 -c 1 -e a-law %s synth 0.5 sine 440", false},
      {"gsm", "sox -n -r 8000 -c 1 -e gsm-full-rate %s synth 0.5 sine 440", false},
      {"ffmpeg_ima", "ffmpeg -v error -f lavfi -i sine=f=440:d=0.5:r=11025 -c:a adpcm_ima_wav -y %s", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/" + c.name + ".wav";
    ASSERT_TRUE(Shell(Fill(c.command, path)));
    QffInfo info;
    WAVInfo(path, info);
    EXPECT_TRUE(info.audio.audioReadable);
    EXPECT_TRUE(info.audio.hasAudio);
    WaveFormatEx decoded{};
    const std::string ours = LoadAll(path, decoded);
    EXPECT_EQ(decoded.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(int(ours.size() / decoded.blockAlign), info.audio.frames);
    const std::string theirs = Reference(path, decoded.bitsPerSample);
    ASSERT_FALSE(theirs.empty());
    // Both decode the same stored blocks with the same decoders, compressed ones included.
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs) << (c.exact ? "PCM must match byte for byte" : "decoded sound differs");
  }

  // MPEG layer 3 in WAV stores a byte stream in nominal blocks: the whole blocks decode to the
  // start of what ffmpeg decodes, frame for frame.
  const std::string mp3 = dir + "/mp3.wav";
  ASSERT_TRUE(
      Shell("ffmpeg -v error -f lavfi -i sine=f=440:d=2:r=44100 -ac 2 -c:a libmp3lame -b:a 128k -y '" + mp3 + "'"));
  {
    QffInfo info;
    WAVInfo(mp3, info);
    EXPECT_TRUE(info.audio.audioReadable);
    EXPECT_NEAR(info.audio.frames, 88200, 88200 * 0.05) << "the measured frames per block estimate the length";
    WaveFormatEx decoded{};
    const std::string ours = LoadAll(mp3, decoded);
    const std::string theirs = Reference(mp3, 16);
    EXPECT_GT(ours.size(), theirs.size() * 9 / 10);
    ASSERT_LE(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs.substr(0, ours.size()));
  }

  // An odd-sized chunk before the data, with its pad byte.
  const std::string plain = dir + "/plain.wav";
  ASSERT_TRUE(Shell("sox -n -r 16000 -c 1 -b 16 '" + plain + "' synth 0.3 sine 440"));
  const std::string odd = dir + "/odd_chunk.wav";
  test::WriteWholeFile(odd, WithOddChunk(test::ReadWholeFile(plain)));
  WaveFormatEx decoded{};
  const std::string ours = LoadAll(odd, decoded);
  EXPECT_EQ(ours.size(), 4800u * 2);
  EXPECT_EQ(ours, Reference(odd, 16));
}

// Positions in block-coded files are exact: a load from any frame gives the frames a whole
// decode has there.
TEST_F(WavInteropTest, SeekingInCompressedFilesIsExact) {
  for (const char* encoding : {"ima-adpcm", "ms-adpcm", "gsm-full-rate"}) {
    SCOPED_TRACE(encoding);
    const bool gsm = std::string(encoding) == "gsm-full-rate";
    const std::string path = dir + "/seek_" + encoding + ".wav";
    ASSERT_TRUE(Shell("sox -n -r " + std::string(gsm ? "8000 -c 1" : "22050 -c 2") + " -e " + encoding + " '" + path +
                      "' synth 2 sine 440 sine 700"));
    WaveFormatEx decoded{};
    const std::string whole = LoadAll(path, decoded);
    QWavHandle wf;
    WAVOpen(wf, path);
    const int32_t fpb = wf.framesPerBlock;
    EXPECT_GT(fpb, 100);
    const int32_t align = decoded.blockAlign;
    QSndBuf b;
    for (int32_t at : {0, 1, fpb - 1, fpb, fpb + 7, 3 * fpb + 100, 30 * fpb + 3, wf.totalFrames - 50, 2 * fpb + 5}) {
      SCOPED_TRACE(at);
      WAVLoad(wf, b, at, 0, 300);
      const int32_t expect = std::min(300, wf.totalFrames - at);
      ASSERT_EQ(b.count, expect);
      if (!gsm) {
        EXPECT_EQ(std::memcmp(b.SndData, whole.data() + size_t(at) * align, size_t(expect) * align), 0);
      } else {
        // GSM's decoder has memory across blocks, which the blocks decoded ahead of the target
        // rebuild only nearly; a frame off would differ by thousands on these sines.
        int worst = 0;
        for (int32_t i = 0; i < expect; ++i) {
          int16_t x, y;
          std::memcpy(&x, b.SndData + i * 2, 2);
          std::memcpy(&y, whole.data() + size_t(at + i) * 2, 2);
          worst = std::max(worst, std::abs(x - y));
        }
        EXPECT_LT(worst, 400);
      }
      EXPECT_EQ(wf.position, at + expect);
    }
    SndFree(b);
    WAVClose(wf);
  }
}

TEST_F(WavInteropTest, OurFilesReadBackInSoxAndFfprobe) {
  struct Written {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    int buffers, frames;
  };
  for (const Written w :
       {Written{2, 44100, 16, 10, 1000}, Written{1, 22050, 8, 3, 1001}, Written{1, 48000, 24, 2, 777}}) {
    SCOPED_TRACE(w.bits);
    const std::string path = dir + "/ours_" + std::to_string(w.bits) + ".wav";
    WaveFormatEx f{WAVE_FORMAT_PCM, w.channels, w.rate, 0, 0, w.bits, 0};
    WaveFormatValidate(f);
    QWavHandle wf;
    WAVCreate(wf, path);
    QSndBuf b;
    std::string written;
    for (int i = 0; i < w.buffers; ++i) {
      SndMakeSilence(b, w.frames, f);
      for (int k = 0; k < w.frames * f.blockAlign; ++k) b.SndData[k] = uint8_t((k * 7 + i * 13) & 0xFF);
      written.append(reinterpret_cast<const char*>(b.SndData), size_t(w.frames) * f.blockAlign);
      WAVSave(wf, b);
    }
    SndFree(b);
    WAVClose(wf);
    const int total = w.buffers * w.frames;

    EXPECT_EQ(std::atoi(Output("sox --i -s '" + path + "'").c_str()), total);
    EXPECT_EQ(std::atoi(Output("sox --i -r '" + path + "'").c_str()), int(w.rate));
    EXPECT_EQ(std::atoi(Output("sox --i -c '" + path + "'").c_str()), w.channels);
    EXPECT_EQ(std::atoi(Output("sox --i -b '" + path + "'").c_str()), w.bits);
    const std::string probe = Output(
        "ffprobe -v error -show_entries stream=sample_rate,channels,bits_per_sample,duration_ts "
        "-of default=nw=1 '" +
        path + "'");
    EXPECT_NE(probe.find("sample_rate=" + std::to_string(w.rate)), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=" + std::to_string(w.channels)), std::string::npos) << probe;
    EXPECT_NE(probe.find("bits_per_sample=" + std::to_string(w.bits)), std::string::npos) << probe;
    EXPECT_NE(probe.find("duration_ts=" + std::to_string(total)), std::string::npos) << probe;
    EXPECT_TRUE(Reference(path, w.bits) == written) << "ffmpeg decodes the bytes we wrote";
  }
}

}  // namespace
}  // namespace rf
