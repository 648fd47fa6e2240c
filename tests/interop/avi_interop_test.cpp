// AVI files made by ffmpeg read frame for frame as ffmpeg decodes them (lossless codecs exactly,
// lossy ones within a stated PSNR), with their sound; the files we write pass ffprobe with the
// right counts and decode in ffmpeg to the pictures we stored.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_avi.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "peers.h"
#include "platform/acm.h"
#include "platform/vcodec.h"

namespace rf {
namespace {

constexpr int32_t kWidth = 64, kHeight = 48, kFrames = 10;
constexpr int32_t kRate = 8000;  // sound samples per second (mono)

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// Every frame through the dispatch as red, green, blue bytes in frame order; read last frame
// first when asked, so that every frame is reached by seeking back.
std::vector<uint8_t> OurFrames(const std::string& path, int32_t& frames, bool backwards = false) {
  std::vector<uint8_t> all;
  QMviHandle mv;
  Qimg img;
  GuardedSilent("Test.Frames", [&] {
    MviOpen(mv, path, FF_AUTO);
    frames = *mv.frames;
    for (int32_t i = 1; i <= frames; ++i) {
      MviImgLoad(mv, img, backwards ? frames + 1 - i : i, 0);
      const std::vector<uint8_t> rgb = test::OurRgb(img);
      all.insert(backwards ? all.begin() : all.end(), rgb.begin(), rgb.end());
    }
  });
  EXPECT_TRUE(ErrNone()) << path << ": " << ErrLastMessage();
  ErrClear();
  MviClose(mv);
  ImgFree(img);
  return all;
}

std::string OurSound(const std::string& path) {
  QMviHandle mv;
  QSndBuf b;
  std::string all;
  GuardedSilent("Test.Sound", [&] {
    MviOpen(mv, path, FF_AUTO);
    for (int32_t at = 0;; at += b.count) {
      MviSndLoad(mv, b, at, 1, 3000);
      if (b.count == 0) break;
      all.append(reinterpret_cast<const char*>(b.SndData), size_t(b.count) * b.format.blockAlign);
      if (b.count < 3000) break;
    }
  });
  EXPECT_TRUE(ErrNone()) << path << ": " << ErrLastMessage();
  ErrClear();
  MviClose(mv);
  SndFree(b);
  return all;
}

// The file without its idx1 index: everything from the index on is cut off.
void DropIndex(const std::string& path) {
  std::string bytes = test::ReadWholeFile(path);
  const size_t at = bytes.rfind("idx1");
  ASSERT_NE(at, std::string::npos);
  bytes.resize(at);
  test::WriteWholeFile(path, bytes);
}

class AviInteropTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("avi_interop");
  void TearDown() override {
    WaveConvertReset();
    EXPECT_EQ(acmStreamCount(), 0);
    EXPECT_EQ(ICOpenCount(), 0);
    FoundationTest::TearDown();
  }
};

TEST_F(AviInteropTest, FilesMadeByFfmpegReadFrameExact) {
  struct Case {
    const char* name;
    const char* video;  // ffmpeg's video options
    const char* audio;  // ffmpeg's audio options
    double psnr;        // 0: pixel-exact
    bool index;
  };
  // Lossy codecs decode through the same libraries, but their chroma is widened to RGB another
  // way than ffmpeg's scaler does (about 30 dB on this sharp-edged pattern): 27 dB is still far
  // above a wrong or shifted frame (below 15 dB).
  const Case cases[] = {
      {"raw", "-c:v rawvideo -pix_fmt bgr24", "-c:a pcm_s16le", 0, true},
      {"raw_noindex", "-c:v rawvideo -pix_fmt bgr24", "-c:a pcm_u8", 0, false},
      {"pal8", "-c:v rawvideo -pix_fmt pal8", "-c:a adpcm_ima_wav", 0, true},
      {"ffv1", "-c:v ffv1 -pix_fmt bgr0", "-c:a adpcm_ms", 0, true},
      {"huffyuv", "-c:v huffyuv -pix_fmt bgra", "-c:a pcm_s16le", 0, true},
      {"mjpeg", "-c:v mjpeg -q:v 2", "-c:a pcm_s16le", 27, true},
      {"mjpeg_noindex", "-c:v mjpeg -q:v 2", "-c:a adpcm_ima_wav", 27, false},
      {"mpeg4", "-c:v mpeg4 -q:v 2 -g 4", "-c:a pcm_s16le", 27, true},
      {"cinepak", "-c:v cinepak", "-c:a pcm_s16le", 27, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/" + c.name + ".avi";
    ASSERT_TRUE(test::FfmpegRun("-f lavfi -i testsrc2=s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                ":r=10:d=1 -f lavfi -i sine=f=440:r=" + std::to_string(kRate) + ":d=1 " + c.video +
                                " " + c.audio + " '" + path + "'"));
    if (!c.index) DropIndex(path);
    int32_t frames = 0;
    const std::vector<uint8_t> ours = OurFrames(path, frames);
    const std::vector<uint8_t> theirs = test::DecodedByFfmpeg(path, dir);
    EXPECT_EQ(frames, kFrames);
    EXPECT_TRUE(OurFrames(path, frames, true) == ours) << "frames reached by seeking back are the same";
    ASSERT_EQ(ours.size(), theirs.size());
    if (c.psnr == 0)
      test::ExpectSamePixels(ours, theirs);
    else
      EXPECT_GE(Psnr(ours, theirs), c.psnr);

    const std::string sound = OurSound(path);
    const std::string pcm = Output(std::string(test::kFfmpeg) + " -v error -i '" + path + "' -vn -f " +
                                   (std::string(c.audio).find("u8") != std::string::npos ? "u8" : "s16le") + " -");
    EXPECT_EQ(sound.size(), pcm.size()) << "the sample count";
    EXPECT_TRUE(sound == pcm) << "the decoded samples";
  }
}

TEST_F(AviInteropTest, FilesWeWritePassFfprobeAndDecodeAsStored) {
  struct Case {
    const char* codec;
    int32_t bpp;
    const char* probedCodec;
    bool lossless;
  };
  const Case cases[] = {{"DIB ", 24, "rawvideo", true}, {"DIB ", 8, "rawvideo", true}, {"FFV1", 24, "ffv1", true},
                        {"HFYU", 24, "huffyuv", true},  {"MJPG", 24, "mjpeg", false},  {"XVID", 24, "mpeg4", false}};
  const WaveFormatEx pcm{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  constexpr int32_t kSamplesPerFrame = 2205;  // 10 frames per second
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.codec) + std::to_string(c.bpp));
    const std::string path = dir + "/ours.avi";
    aviCodecsRec rec;
    AviSettingsInit(rec, AviFourCC(c.codec));
    AviSettingsApply(rec);
    std::vector<uint8_t> stored;
    QMviHandle mv;
    Qimg img;
    QSndBuf sound;
    GuardedSilent("Test.Write", [&] {
      MviCreate(mv, path, 10, 1, kFrames);
      for (int32_t f = 0; f < kFrames; ++f) {
        ASSERT_EQ(_imgalloc_(img, kWidth, kHeight, c.bpp, "Test.frame"), 0);
        for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t((i % 97) * 2 + f * 9 + (i / 192) * 3);
        for (int32_t e = 0; e < 256; ++e) {
          img.palette[e][0] = uint8_t(e);
          img.palette[e][1] = uint8_t(e * 5);
          img.palette[e][2] = uint8_t(255 - e);
        }
        const std::vector<uint8_t> rgb = test::OurRgb(img);
        stored.insert(stored.end(), rgb.begin(), rgb.end());
        MviImgSave(mv, img);
        _sndalloc_(sound, kSamplesPerFrame * 4, "Test.sound");
        sound.format = pcm;
        sound.count = kSamplesPerFrame;
        for (int32_t i = 0; i < kSamplesPerFrame * 4; ++i) sound.SndData[i] = uint8_t(i * 13 + f);
        MviSndSave(mv, sound);
      }
      MviClose(mv);
    });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    ImgFree(img);
    SndFree(sound);

    const std::string probe = Output(
        "ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames "
        "-of csv=p=0 '" +
        path + "'");
    EXPECT_EQ(probe.rfind(std::string(c.probedCodec) + ",10\npcm_s16le,", 0), 0u) << probe;
    const std::string samples = Output(std::string(test::kFfmpeg) + " -v error -i '" + path + "' -vn -f s16le -");
    EXPECT_EQ(samples.size(), size_t(kFrames * kSamplesPerFrame * 4)) << "the sample count";
    const std::vector<uint8_t> decoded = test::DecodedByFfmpeg(path, dir);
    if (c.lossless)
      test::ExpectSamePixels(decoded, stored);
    else
      EXPECT_GE(Psnr(decoded, stored), 20) << "a lossy codec on a noisy pattern";
  }
}

}  // namespace
}  // namespace rf
