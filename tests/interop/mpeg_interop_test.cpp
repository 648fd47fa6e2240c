// MPEG, MP2 and MP4 beside ffmpeg: our files pass ffprobe and decode there; files ffmpeg made
// (open groups of pictures, B-frames, variable rates) read with its frame counts and its pixels,
// at any frame in any order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_mpg.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/errors.h"
#include "interop/peers.h"

namespace rf {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// One value of ffprobe about the first stream of a kind.
std::string Probe(const std::string& file, const char* stream, const char* entry, bool count = false) {
  return Output(std::string("ffprobe -v error ") + (count ? "-count_frames " : "") + "-select_streams " + stream +
                " -show_entries stream=" + entry + " -of csv=p=0 '" + file + "'");
}

// Sample frames ffmpeg decodes from the file's sound, as 16-bit stereo or mono.
long DecodedSamples(const std::string& file, int channels) {
  const std::string n =
      Output("ffmpeg -v error -i '" + file + "' -map 0:a -f s16le -ac " + std::to_string(channels) + " - | wc -c");
  return std::atol(n.c_str()) / (2 * channels);
}

// Every picture ffmpeg decodes, as it decodes them (none repeated or dropped for a steady rate).
std::vector<uint8_t> FfmpegPictures(const std::string& file, const std::string& scratch) {
  const std::string raw = scratch + "/pictures.rgb";
  std::remove(raw.c_str());
  if (!test::FfmpegRun("-i '" + file + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" + raw + "'")) return {};
  return test::FileBytes(raw);
}

class MpegInteropTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("mpeg_interop");

  void TearDown() override {
    MpgSetFormat(1);
    FoundationTest::TearDown();
  }

  // A clip of ffmpeg's test pattern with a tone, encoded with the given options.
  std::string Made(const std::string& name, const std::string& video, const std::string& extra = "") {
    const std::string file = dir + "/" + name;
    EXPECT_TRUE(
        test::FfmpegRun("-f lavfi -i testsrc=size=96x64:rate=25:duration=2 -f lavfi -i "
                        "sine=frequency=440:sample_rate=44100:duration=2 " +
                        video + " " + extra + " '" + file + "'"))
        << name;
    return file;
  }

  // Every frame read in order and then at shuffled positions equals ffmpeg's decode of it.
  void ExpectFfmpegPictures(const std::string& file) {
    const std::vector<uint8_t> theirs = FfmpegPictures(file, dir);
    QMpgHandle h;
    MpgOpen(h, file, 0);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    const size_t frameBytes = size_t(h.width) * h.height * 3;
    ASSERT_EQ(size_t(h.frames) * frameBytes, theirs.size()) << file << ": the frame count is ffmpeg's";
    Qimg img;
    auto expectFrame = [&](int32_t f) {
      ASSERT_FALSE(h.frameFailed) << file << " frame " << f;
      const std::vector<uint8_t> ours = test::OurRgb(img);
      EXPECT_TRUE(std::memcmp(ours.data(), theirs.data() + size_t(f - 1) * frameBytes, frameBytes) == 0)
          << file << " frame " << f;
    };
    for (int32_t f = 1; f <= h.frames; ++f) {
      MpgImgLoad(h, img, 0, 0);
      expectFrame(f);
    }
    const int32_t n = h.frames;
    for (const int32_t f : {n, 2, n / 2, n / 2 - 1, 1, n - 3, n / 3, n / 3 + 2, 5, n - 1}) {
      MpgImgLoad(h, img, f, 0);
      expectFrame(f);
    }
    MpgClose(h);
    ImgFree(img);
  }
};

TEST_F(MpegInteropTest, FilesFfmpegMadeReadWithItsFramesAndPixels) {
  const std::string files[] = {
      Made("closed.mpg", "-c:v mpeg1video -bf 2 -g 12 -c:a mp2"),
      Made("open.mpg", "-c:v mpeg2video -bf 2 -g 9 -c:a mp2"),
      Made("elementary.m2v", "-c:v mpeg2video -bf 3 -g 15 -an"),
      Made("bframes.mp4", "-c:v libx264 -bf 3 -g 20 -pix_fmt yuv420p -c:a aac"),
  };
  for (const std::string& f : files) ExpectFfmpegPictures(f);
}

TEST_F(MpegInteropTest, AVariableRateMatroskaFileIsPositionedByItsIndex) {
  // Every third frame dropped with its time kept: 2 of 3 frames, unevenly spaced.
  const std::string file =
      Made("vfr.mkv", "-vf select='not(eq(mod(n\\,3)\\,2))' -fps_mode vfr -c:v libx264 -bf 2", "-an");
  QffInfo info;
  MovInfo(file, info);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(std::to_string(info.video.frames), Probe(file, "v:0", "nb_read_frames", true));
  // Frames less one over the time from the first to the last: 33 frames over 1.96 s.
  EXPECT_NEAR(info.video.frameRate, (info.video.frames - 1) / 1.96, 0.05);
  ExpectFfmpegPictures(file);
}

TEST_F(MpegInteropTest, Mp3OpensWithSoundOnly) {
  const std::string file = dir + "/tone.mp3";
  ASSERT_TRUE(
      test::FfmpegRun("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:a libmp3lame '" + file + "'"));
  QffInfo info;
  MpgInfo(file, info);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_FALSE(info.video.hasVideo);
  EXPECT_EQ(info.audio.compression, "MPEG-1, Layer-III (MP3)");
  EXPECT_NEAR(info.audio.frames, 44100, 2 * 1152) << "every decoded sample, the encoder's delay included";
}

// Writes 25 frames of 176x144 at 25 frames a second with a second of CD sound.
void WriteClip(const std::string& name, bool sound) {
  QMviHandle mv;
  MviCreate(mv, name, 25, 1, 25);
  Qimg img;
  QSndBuf buffer;
  WaveFormatEx f{WAVE_FORMAT_PCM, 2, 44100, 0, 0, 16, 0};
  WaveFormatValidate(f);
  for (int32_t i = 0; i < 25; ++i) {
    if (FFGetFlags(FFGetId(name, FF_SAVE_TABLE), FF_SAVE_TABLE) & FFF_PICTURES) {
      ASSERT_EQ(_imgalloc_(img, 176, 144, 24, "test"), 0);
      for (int32_t p = 0; p < img.size; ++p) img.data[p] = uint8_t(p / 3 % 176 + i * 5);
      MviImgSave(mv, img);
    }
    if (sound) {
      SndMakeSilence(buffer, 1764, f);
      MviSndSave(mv, buffer);
    }
  }
  MviClose(mv);
  ImgFree(img);
  SndFree(buffer);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
}

TEST_F(MpegInteropTest, OurFilesPassFfprobeAndDecodeInFfmpeg) {
  const struct {
    const char* name;
    int32_t format;
    bool pictures;
    bool mp4;
  } outputs[] = {{"ours1.mpg", 1, true, false},
                 {"ours2.mpg", 2, true, false},
                 {"ours.mp2", 1, false, false},
                 {"ours.mp4", 1, true, true}};
  for (const auto& o : outputs) {
    if (o.mp4 && !MplCanWriteMp4()) continue;
    MpgSetFormat(o.format);
    const std::string file = dir + "/" + o.name;
    WriteClip(file, true);
    EXPECT_EQ(Output("ffmpeg -v error -i '" + file + "' -f null - 2>&1"), "") << o.name << " decodes cleanly";
    if (o.pictures) {
      EXPECT_EQ(Probe(file, "v:0", "nb_read_frames", true), "25") << o.name;
      EXPECT_EQ(Probe(file, "v:0", "r_frame_rate"), "25/1") << o.name;
      EXPECT_EQ(Probe(file, "v:0", "width,height"), "176,144") << o.name;
      EXPECT_EQ(Probe(file, "v:0", "codec_name"), o.mp4 ? "h264" : o.format == 2 ? "mpeg2video" : "mpeg1video");
    }
    EXPECT_EQ(Probe(file, "a:0", "sample_rate"), "44100") << o.name;
    EXPECT_EQ(Probe(file, "a:0", "codec_name"), o.mp4 ? "aac" : "mp2") << o.name;
    // A second; the encoder fills up its last frame and may add its own delay.
    EXPECT_NEAR(DecodedSamples(file, 2), 44100, 2048 + 1152) << o.name;
  }
}

}  // namespace
}  // namespace rf
