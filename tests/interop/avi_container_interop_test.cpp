// The AVI file layer against ffmpeg: its files read chunk-exact (with and without index, OpenDML
// past 1 GiB), and ours counted and decoded exactly by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "interop/peers.h"
#include "platform/avifile.h"

namespace rf {
namespace {

using Bytes = std::vector<uint8_t>;

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// The frames ffprobe counts in a stream of the file by decoding it ("v:0", "a:0").
std::string ProbedFrames(const std::string& file, const std::string& stream) {
  std::string n = Output("/usr/bin/ffprobe -v error -count_frames -select_streams " + stream +
                         " -show_entries stream=nb_read_frames -of csv=p=0 '" + file + "'");
  while (!n.empty() && (n.back() == '\n' || n.back() == ',')) n.pop_back();
  return n;
}

Bytes Pattern(size_t size, int seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = uint8_t(seed * 29 + i * 7 + i / 251);
  return b;
}

// A movie's stored data: frames and the sound's bytes.
struct Stored {
  std::vector<Bytes> frames;
  Bytes sound;
  AviIndexKind kind = AviIndexKind::Scan;
};

Stored ReadStored(const std::string& path) {
  Stored s;
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpen(&f, path, OF_READ), AVIERR_OK);
  if (!f) return s;
  s.kind = AVIFileIndexKind(f);
  PAVISTREAM v = nullptr, a = nullptr;
  AVISTREAMINFO info{};
  if (AVIFileGetStream(f, &v, streamtypeVIDEO, 0) == AVIERR_OK) {
    AVIStreamInfo(v, &info, sizeof info);
    Bytes frame(info.dwSuggestedBufferSize);
    for (int32_t i = 0; i < AVIStreamLength(v); ++i) {
      int32_t bytes = 0;
      EXPECT_EQ(AVIStreamRead(v, i, 1, frame.data(), int32_t(frame.size()), &bytes, nullptr), AVIERR_OK);
      s.frames.emplace_back(frame.begin(), frame.begin() + bytes);
    }
  }
  if (AVIFileGetStream(f, &a, streamtypeAUDIO, 0) == AVIERR_OK) {
    AVIStreamInfo(a, &info, sizeof info);
    Bytes buf(info.dwSuggestedBufferSize);
    int32_t samples = 1;
    for (int32_t at = 0; at < AVIStreamLength(a) && samples > 0; at += samples) {
      int32_t bytes = 0;
      EXPECT_EQ(AVIStreamRead(a, at, AVISTREAMREAD_CONVENIENT, buf.data(), int32_t(buf.size()), &bytes, &samples),
                AVIERR_OK);
      s.sound.insert(s.sound.end(), buf.begin(), buf.begin() + bytes);
    }
  }
  EXPECT_EQ(AVIFileRelease(f), AVIERR_OK);
  return s;
}

std::string Le(uint32_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += char(v >> (8 * i));
  return s;
}

// A bottom-up 24-bit video stream at 25 frames a second.
PAVISTREAM AddVideo(PAVIFILE f, int32_t width, int32_t height) {
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = AviFourcc('D', 'I', 'B', ' ');
  info.dwScale = 10000;
  info.dwRate = 250000;
  info.rcFrame = {0, 0, width, height};
  const std::string bmp =
      Le(40, 4) + Le(uint32_t(width), 4) + Le(uint32_t(height), 4) + Le(1, 2) + Le(24, 2) + std::string(24, '\0');
  PAVISTREAM v = nullptr;
  if (AVIFileCreateStream(f, &v, &info) != AVIERR_OK || AVIStreamSetFormat(v, 0, bmp.data(), 40) != AVIERR_OK)
    return nullptr;
  return v;
}

// 16-bit stereo sound at 22050 Hz.
PAVISTREAM AddSound(PAVIFILE f) {
  AVISTREAMINFO info{};
  info.fccType = streamtypeAUDIO;
  info.dwScale = 4;
  info.dwRate = 4 * 22050;
  info.dwSampleSize = 4;
  const std::string wav = Le(1, 2) + Le(2, 2) + Le(22050, 4) + Le(88200, 4) + Le(4, 2) + Le(16, 2) + Le(0, 2);
  PAVISTREAM a = nullptr;
  if (AVIFileCreateStream(f, &a, &info) != AVIERR_OK || AVIStreamSetFormat(a, 0, wav.data(), 18) != AVIERR_OK)
    return nullptr;
  return a;
}

// Writes the frames, each followed by its share of the sound in one chunk.
int32_t WriteStored(const std::string& path, int32_t width, int32_t height, const Stored& s, int64_t partLimit) {
  PAVIFILE f = nullptr;
  if (const int32_t r = AVIFileOpen(&f, path, OF_CREATE | OF_WRITE); r != AVIERR_OK) return r;
  AVIFileSetPartLimit(f, partLimit);
  PAVISTREAM v = AddVideo(f, width, height), a = AddSound(f);
  int32_t r = v && a ? AVIERR_OK : AVIERR_BADFORMAT;
  const size_t perFrame = (s.sound.size() / 4 + s.frames.size() - 1) / s.frames.size() * 4;
  for (size_t i = 0; i < s.frames.size() && r == AVIERR_OK; ++i) {
    r = AVIStreamWrite(v, -1, 1, s.frames[i].data(), int32_t(s.frames[i].size()), AVIIF_KEYFRAME, nullptr, nullptr);
    const size_t from = std::min(s.sound.size(), i * perFrame), to = std::min(s.sound.size(), from + perFrame);
    if (r == AVIERR_OK && to > from)
      r = AVIStreamWrite(a, -1, int32_t((to - from) / 4), s.sound.data() + from, int32_t(to - from), 0, nullptr,
                         nullptr);
  }
  if (r != AVIERR_OK) {
    AVIFileAbandon(f);
    return r;
  }
  return AVIFileRelease(f);
}

Bytes Flipped(const Bytes& frame, size_t rowBytes) {
  Bytes out;
  for (size_t y = frame.size() / rowBytes; y-- > 0;)
    out.insert(out.end(), frame.begin() + y * rowBytes, frame.begin() + (y + 1) * rowBytes);
  return out;
}

class AviContainerInteropTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("avi_container_interop");
};

TEST_F(AviContainerInteropTest, FfmpegFilesReadChunkExact) {
  const int32_t w = 32, h = 16, frames = 10;
  Stored source;
  for (int32_t i = 0; i < frames; ++i) source.frames.push_back(Pattern(size_t(w * h * 3), i));
  source.sound = Pattern(4 * 8820 + 4 * 3, 99);  // a last chunk that is not a whole frame's worth
  std::string pictures, sound(source.sound.begin(), source.sound.end());
  for (const Bytes& f : source.frames) pictures.append(f.begin(), f.end());
  test::WriteWholeFile(dir + "/frames.bgr", pictures);
  test::WriteWholeFile(dir + "/sound.pcm", sound);
  const std::string path = dir + "/ffmpeg.avi";
  ASSERT_TRUE(test::FfmpegRun(
      "-f rawvideo -pix_fmt bgr24 -s 32x16 -r 25 -i '" + dir + "/frames.bgr' -f s16le -ar 22050 -ac 2 -i '" + dir +
      "/sound.pcm' -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -fflags +bitexact '" + path + "'"));
  const Stored indexed = ReadStored(path);
  EXPECT_EQ(indexed.kind, AviIndexKind::Idx1);
  EXPECT_EQ(indexed.frames, source.frames);
  EXPECT_EQ(indexed.sound, source.sound);

  std::string file = test::ReadWholeFile(path);
  file.replace(file.find("idx1"), 4, "JUNK");
  test::WriteWholeFile(path, file);
  const Stored scanned = ReadStored(path);
  EXPECT_EQ(scanned.kind, AviIndexKind::Scan);
  EXPECT_EQ(scanned.frames, source.frames);
  EXPECT_EQ(scanned.sound, source.sound);
}

TEST_F(AviContainerInteropTest, OurFilesAreCountedAndDecodedExactlyByFfmpeg) {
  const int32_t w = 20, h = 6, frames = 30;
  Stored s;
  for (int32_t i = 0; i < frames; ++i) s.frames.push_back(Pattern(size_t(w * 3 * h), i));
  s.sound = Pattern(4 * 22050, 5);
  for (const int64_t partLimit : {int64_t(0), int64_t(20000)}) {
    SCOPED_TRACE(partLimit ? "OpenDML parts" : "one part");
    const std::string path = dir + "/ours.avi";
    ASSERT_EQ(WriteStored(path, w, h, s, partLimit ? partLimit : int64_t(1) << 30), AVIERR_OK);
    EXPECT_EQ(test::ReadWholeFile(path).find("AVIX") != std::string::npos, partLimit > 0);
    EXPECT_EQ(ProbedFrames(path, "v:0"), std::to_string(frames));

    const std::string video = dir + "/video.bgr", audio = dir + "/audio.pcm";
    ASSERT_TRUE(test::FfmpegRun("-i '" + path + "' -map 0:v -f rawvideo -pix_fmt bgr24 '" + video +
                                "' -map 0:a -f s16le '" + audio + "'"));
    Bytes expected;
    for (const Bytes& f : s.frames) {
      const Bytes upright = Flipped(f, size_t(w * 3));
      expected.insert(expected.end(), upright.begin(), upright.end());
    }
    EXPECT_EQ(test::FileBytes(video), expected) << "every frame, rows turned the right way up";
    EXPECT_EQ(test::FileBytes(audio), s.sound) << "every sample";
  }
}

// Both ways past 1 GiB, frame by frame: ffmpeg's OpenDML file is read through its indexes, and
// our copy of it goes on in AVIX parts that ffprobe counts to the last frame.
TEST_F(AviContainerInteropTest, OpenDmlFilesPastOneGibibyteBothWays) {
  const std::string theirs = dir + "/big_ffmpeg.avi", ours = dir + "/big_ours.avi";
  const int32_t frames = 400, w = 1280, h = 720;
  ASSERT_TRUE(test::FfmpegRun("-f lavfi -i color=c=0x102030:s=1280x720:r=25,format=rgb24 -frames:v " + std::to_string(frames) +
                              " -c:v rawvideo -pix_fmt bgr24 -fflags +bitexact '" + theirs + "'"));
  PAVIFILE in = nullptr, out = nullptr;
  PAVISTREAM from = nullptr;
  ASSERT_EQ(AVIFileOpen(&in, theirs, OF_READ), AVIERR_OK);
  EXPECT_EQ(AVIFileIndexKind(in), AviIndexKind::OpenDml);
  ASSERT_EQ(AVIFileGetStream(in, &from, streamtypeVIDEO, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamLength(from), frames);
  ASSERT_EQ(AVIFileOpen(&out, ours, OF_CREATE | OF_WRITE), AVIERR_OK);
  PAVISTREAM to = AddVideo(out, w, h);
  ASSERT_NE(to, nullptr);
  Bytes frame(size_t(w * h * 3)), color(frame.size());
  for (size_t p = 0; p < color.size(); p += 3) color[p] = 0x30, color[p + 1] = 0x20, color[p + 2] = 0x10;
  for (int32_t i = 0; i < AVIStreamLength(from); ++i) {
    int32_t bytes = 0;
    ASSERT_EQ(AVIStreamRead(from, i, 1, frame.data(), int32_t(frame.size()), &bytes, nullptr), AVIERR_OK) << i;
    ASSERT_EQ(bytes, int32_t(frame.size())) << i;
    if (i % 97 == 0 || i == frames - 1) {
      ASSERT_EQ(frame, color) << i;
    }
    ASSERT_EQ(AVIStreamWrite(to, i, 1, frame.data(), bytes, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
  }
  EXPECT_EQ(AVIFileRelease(in), AVIERR_OK);
  EXPECT_EQ(AVIFileRelease(out), AVIERR_OK);
  std::remove(theirs.c_str());

  ASSERT_EQ(AVIFileOpen(&in, ours, OF_READ), AVIERR_OK);
  EXPECT_EQ(AVIFileIndexKind(in), AviIndexKind::OpenDml);
  EXPECT_EQ(AVIFileRelease(in), AVIERR_OK);
  EXPECT_EQ(ProbedFrames(ours, "v:0"), std::to_string(frames));
  std::remove(ours.c_str());
}

}  // namespace
}  // namespace rf
