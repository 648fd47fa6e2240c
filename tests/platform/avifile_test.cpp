// The AVI file layer: round trips, OpenDML parts, damaged and missing indexes, odd layouts,
// bogus headers and write failures.
#include "platform/avifile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/still_test_util.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- byte-built files

std::string Le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le16(uint32_t v) { return std::string{char(v), char(v >> 8)}; }
std::string Ck(const std::string& id, const std::string& data) {
  return id + Le32(uint32_t(data.size())) + data + (data.size() & 1 ? std::string(1, '\0') : "");
}
std::string List(const std::string& type, const std::string& content) { return Ck("LIST", type + content); }

std::string MainHeader(uint32_t frames, uint32_t streams) {
  return Ck("avih", Le32(40000) + Le32(0) + Le32(0) + Le32(0x10) + Le32(frames) + Le32(0) + Le32(streams) + Le32(0) +
                        Le32(4) + Le32(2) + std::string(16, '\0'));
}
std::string StreamHeader(const char* type, uint32_t scale, uint32_t rate, uint32_t length, uint32_t sampleSize) {
  return Ck("strh", std::string(type, 4) + std::string(4, '\0') + Le32(0) + Le32(0) + Le32(0) + Le32(scale) +
                        Le32(rate) + Le32(0) + Le32(length) + Le32(0) + Le32(0) + Le32(sampleSize) +
                        std::string(8, '\0'));
}
std::string BitmapHeader(int32_t w, int32_t h, uint32_t size = 40, uint32_t compression = 0) {
  return Le32(size) + Le32(uint32_t(w)) + Le32(uint32_t(h)) + Le16(1) + Le16(24) + Le32(compression) + Le32(0) +
         std::string(16, '\0');
}
// 16-bit mono PCM at 8000 Hz without the extra-size field, as old writers stored it.
std::string PcmFormat16() { return Le16(1) + Le16(1) + Le32(8000) + Le32(16000) + Le16(2) + Le16(16); }

// ---- reading back

struct ReadBack {
  std::vector<Bytes> frames;
  std::vector<bool> keys;
  Bytes sound;
  AviIndexKind kind = AviIndexKind::Scan;
};

// Everything the file holds, read through the library's calls; the first failing call's result.
int32_t ReadAll(const std::string& path, ReadBack& out) {
  PAVIFILE f = nullptr;
  int32_t r = AVIFileOpen(&f, path, OF_READ);
  if (r != AVIERR_OK) return r;
  out.kind = AVIFileIndexKind(f);
  PAVISTREAM v = nullptr, a = nullptr;
  if (AVIFileGetStream(f, &v, streamtypeVIDEO, 0) == AVIERR_OK)
    for (int32_t i = 0; i < AVIStreamLength(v) && r == AVIERR_OK; ++i) {
      int32_t size = 0, got = 0;
      r = AVIStreamRead(v, i, 1, nullptr, 0, &size, nullptr);
      Bytes frame(size_t(size) + 1);
      if (r == AVIERR_OK) r = AVIStreamRead(v, i, 1, frame.data(), size + 1, &got, nullptr);
      frame.resize(size_t(got));
      out.frames.push_back(frame);
      out.keys.push_back(AVIStreamIsKeyFrame(v, i));
    }
  if (AVIFileGetStream(f, &a, streamtypeAUDIO, 0) == AVIERR_OK) {
    AVISTREAMINFO info{};
    AVIStreamInfo(a, &info, sizeof info);
    Bytes buf(info.dwSuggestedBufferSize);
    int32_t samples = 1;
    for (int32_t at = 0; at < AVIStreamLength(a) && r == AVIERR_OK && samples > 0; at += samples) {
      int32_t bytes = 0;
      r = AVIStreamRead(a, at, AVISTREAMREAD_CONVENIENT, buf.data(), int32_t(buf.size()), &bytes, &samples);
      out.sound.insert(out.sound.end(), buf.begin(), buf.begin() + bytes);
    }
  }
  AVIFileRelease(f);
  return r;
}

// ---- writing

// What a test writes: frames of a w x h 24-bit raw picture, sound of 16-bit stereo PCM, and the
// sound chunk written after every `every` frames (0: no sound; no frames: sound only).
struct Plan {
  int32_t width = 4, height = 2, frames = 3;
  int32_t soundEvery = 0;
  int32_t soundChunk = 1000;  // sample frames per chunk
  int64_t partLimit = 0;
};

Bytes Frame(const Plan& p, int32_t n) {
  Bytes b(size_t((p.width * 3 + 3) / 4 * 4 * p.height));
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(n * 7 + i * 13);
  return b;
}

Bytes Sound(int32_t chunk, int32_t frames) {
  Bytes b(size_t(frames) * 4);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(chunk * 31 + i * 5);
  return b;
}

AVISTREAMINFO VideoInfo(const Plan& p) {
  AVISTREAMINFO i{};
  i.fccType = streamtypeVIDEO;
  i.fccHandler = AviFourcc('D', 'I', 'B', ' ');
  i.dwScale = 10000;
  i.dwRate = 299700;
  i.rcFrame = {0, 0, p.width, p.height};
  return i;
}

AVISTREAMINFO SoundInfo() {
  AVISTREAMINFO i{};
  i.fccType = streamtypeAUDIO;
  i.dwScale = 4;
  i.dwRate = 4 * 22050;
  i.dwSampleSize = 4;
  return i;
}

std::string PcmStereo() { return Le16(1) + Le16(2) + Le32(22050) + Le32(88200) + Le16(4) + Le16(16) + Le16(0); }

// Writes the plan; the first failing call's result (the file is then abandoned), else the
// release's. The expected frames and sound are returned in what.
int32_t WriteAvi(const std::string& path, const Plan& p, ReadBack* what = nullptr) {
  ReadBack local;
  ReadBack& w = what ? *what : local;
  PAVIFILE f = nullptr;
  int32_t r = AVIFileOpen(&f, path, OF_CREATE | OF_WRITE);
  if (r != AVIERR_OK) return r;
  if (p.partLimit > 0) AVIFileSetPartLimit(f, p.partLimit);
  PAVISTREAM v = nullptr, a = nullptr;
  const std::string bmp = BitmapHeader(p.width, p.height), wav = PcmStereo();
  auto fail = [&](int32_t result) {
    AVIFileAbandon(f);
    return result;
  };
  auto sound = [&](int32_t n) {
    if (!a) {
      const AVISTREAMINFO info = SoundInfo();
      if ((r = AVIFileCreateStream(f, &a, &info)) != AVIERR_OK) return false;
      if ((r = AVIStreamSetFormat(a, 0, wav.data(), int32_t(wav.size()))) != AVIERR_OK) return false;
    }
    const Bytes s = Sound(n, p.soundChunk);
    int32_t samples = 0;
    r = AVIStreamWrite(a, AVIStreamLength(a), p.soundChunk, s.data(), int32_t(s.size()), 0, &samples, nullptr);
    EXPECT_TRUE(r != AVIERR_OK || samples == p.soundChunk);
    w.sound.insert(w.sound.end(), s.begin(), s.end());
    return r == AVIERR_OK;
  };
  for (int32_t n = 0; n < p.frames; ++n) {
    if (!v) {
      const AVISTREAMINFO info = VideoInfo(p);
      if ((r = AVIFileCreateStream(f, &v, &info)) != AVIERR_OK) return fail(r);
      if ((r = AVIStreamSetFormat(v, 0, bmp.data(), int32_t(bmp.size()))) != AVIERR_OK) return fail(r);
    }
    const Bytes frame = Frame(p, n);
    const bool key = n % 2 == 0;
    if ((r = AVIStreamWrite(v, n, 1, frame.data(), int32_t(frame.size()), key ? AVIIF_KEYFRAME : 0, nullptr,
                            nullptr)) != AVIERR_OK)
      return fail(r);
    w.frames.push_back(frame);
    w.keys.push_back(key);
    if (p.soundEvery > 0 && n % p.soundEvery == 0 && !sound(n)) return fail(r);
  }
  if (p.frames == 0)
    for (int32_t n = 0; n < 3; ++n)
      if (!sound(n)) return fail(r);
  return AVIFileRelease(f);
}

uint32_t Get32(const std::string& file, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(file.data() + at);
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

// A field of the first chunk with that id, counted from the chunk's data.
uint32_t FieldAfter(const std::string& file, const std::string& id, size_t offset) {
  const size_t at = file.find(id);
  return at == std::string::npos ? 0xFFFFFFFFu : Get32(file, at + 8 + offset);
}

class AviFileTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("avifile");

  void ExpectSame(const ReadBack& got, const ReadBack& want, AviIndexKind kind) {
    EXPECT_EQ(got.kind, kind);
    ASSERT_EQ(got.frames.size(), want.frames.size());
    for (size_t i = 0; i < want.frames.size(); ++i) EXPECT_EQ(got.frames[i], want.frames[i]) << "frame " << i;
    if (kind != AviIndexKind::Scan) {
      EXPECT_EQ(got.keys, want.keys);
    }
    EXPECT_EQ(got.sound, want.sound);
  }
};

TEST_F(AviFileTest, WrittenFilesReadBackChunkExactWithTheirCountsInTheHeaders) {
  struct Case {
    const char* name;
    Plan plan;
  };
  const Case cases[] = {
      {"video only", {4, 2, 3, 0, 1000, 0}},
      {"sound only", {4, 2, 0, 0, 1000, 0}},
      {"interleaved", {4, 2, 5, 2, 1001, 0}},
      {"odd frame size", {3, 1, 4, 1, 7, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/written.avi";
    ReadBack want, got;
    ASSERT_EQ(WriteAvi(path, c.plan, &want), AVIERR_OK);
    ASSERT_EQ(ReadAll(path, got), AVIERR_OK);
    ExpectSame(got, want, AviIndexKind::Idx1);

    const std::string file = test::ReadWholeFile(path);
    EXPECT_EQ(FieldAfter(file, "avih", 16), uint32_t(c.plan.frames)) << "total frames";
    const size_t strh = file.find("strh");
    EXPECT_EQ(FieldAfter(file.substr(strh - 4), "strh", 32),
              c.plan.frames ? uint32_t(c.plan.frames) : uint32_t(want.sound.size() / 4))
        << "first stream's length";
    EXPECT_EQ(Le32(uint32_t(file.size() - 8)), file.substr(4, 4)) << "RIFF size";
  }
}

TEST_F(AviFileTest, LongFilesGoOnInOpenDmlPartsAndReadBackThroughTheirIndexes) {
  const std::string path = dir + "/parts.avi";
  Plan plan{64, 48, 40, 3, 2000, 64 * 1024};
  ReadBack want, got;
  ASSERT_EQ(WriteAvi(path, plan, &want), AVIERR_OK);
  ASSERT_EQ(ReadAll(path, got), AVIERR_OK);
  ExpectSame(got, want, AviIndexKind::OpenDml);

  std::string file = test::ReadWholeFile(path);
  size_t parts = 0;
  for (size_t at = file.find("AVIX"); at != std::string::npos; at = file.find("AVIX", at + 1)) ++parts;
  EXPECT_GE(parts, 3u);
  EXPECT_LT(FieldAfter(file, "avih", 16), 40u) << "the main header counts the first part's frames";
  EXPECT_EQ(FieldAfter(file, "dmlh", 0), 40u);
  EXPECT_LT(file.find("idx1"), file.find("AVIX")) << "idx1 ends the first part";

  // Without the OpenDML indexes every part is scanned.
  for (size_t at = file.find("indx"); at != std::string::npos; at = file.find("indx", at + 1))
    file.replace(at, 4, "JUNK");
  test::WriteWholeFile(path, file);
  ReadBack scanned;
  ASSERT_EQ(ReadAll(path, scanned), AVIERR_OK);
  ExpectSame(scanned, want, AviIndexKind::Scan);
}

TEST_F(AviFileTest, MissingOrDamagedIndexesFallBackToAScan) {
  const std::string path = dir + "/index.avi";
  ReadBack want;
  ASSERT_EQ(WriteAvi(path, Plan{5, 3, 6, 2, 333, 0}, &want), AVIERR_OK);
  const std::string good = test::ReadWholeFile(path);
  const size_t idx1 = good.find("idx1"), movi = good.find("movi");
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    AviIndexKind kind;
  };
  const Case cases[] = {
      {"no index", [&](std::string& f) { f.replace(idx1, 4, "JUNK"); }, AviIndexKind::Scan},
      {"offsets shifted", [&](std::string& f) { f[idx1 + 8 + 8] += 2; }, AviIndexKind::Scan},
      {"entries out of order",
       [&](std::string& f) { std::swap_ranges(f.begin() + idx1 + 8, f.begin() + idx1 + 24, f.begin() + idx1 + 24); },
       AviIndexKind::Scan},
      {"last entry past the end", [&](std::string& f) { f.replace(f.size() - 4, 4, Le32(0x7FFFFFFF)); },
       AviIndexKind::Scan},
      {"index cut short", [&](std::string& f) { f.resize(f.size() - 9); }, AviIndexKind::Scan},
      {"absolute offsets",
       [&](std::string& f) {
         for (size_t e = idx1 + 8; e + 16 <= f.size(); e += 16) {
           f.replace(e + 8, 4, Le32(uint32_t(Get32(f, e + 8) + movi)));
         }
       },
       AviIndexKind::Idx1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = good;
    c.damage(file);
    test::WriteWholeFile(path, file);
    ReadBack got;
    ASSERT_EQ(ReadAll(path, got), AVIERR_OK);
    ExpectSame(got, want, c.kind);
    EXPECT_TRUE(got.keys[0]) << "frame 0 always starts decoding";
  }
}

TEST_F(AviFileTest, TruncatedFilesKeepWhatIsComplete) {
  const std::string path = dir + "/cut.avi";
  ReadBack want;
  ASSERT_EQ(WriteAvi(path, Plan{8, 8, 4, 1, 500, 0}, &want), AVIERR_OK);
  const std::string file = test::ReadWholeFile(path);
  // Cut inside the last frame: it is dropped, the sound before it stays whole.
  const size_t idx1 = file.find("idx1"), lastFrame = file.rfind("00db", idx1);
  test::WriteWholeFile(path, file.substr(0, lastFrame + 8 + 10));
  ReadBack got;
  ASSERT_EQ(ReadAll(path, got), AVIERR_OK);
  EXPECT_EQ(got.kind, AviIndexKind::Scan);
  ASSERT_EQ(got.frames.size(), 3u);
  EXPECT_EQ(got.sound, Bytes(want.sound.begin(), want.sound.begin() + 3 * 2000));
  // Cut inside the last sound chunk: its bytes up to the cut are read as whole samples.
  const size_t lastSound = file.rfind("01wb", idx1);
  test::WriteWholeFile(path, file.substr(0, lastSound + 8 + 101));
  ReadBack partial;
  ASSERT_EQ(ReadAll(path, partial), AVIERR_OK);
  EXPECT_EQ(partial.sound, Bytes(want.sound.begin(), want.sound.begin() + 3 * 2000 + 100));
}

// A file as odd writers leave it: JUNK and LIST chunks everywhere, rec lists, odd chunks with
// their pad bytes, a short sound format and a video format longer than its header says.
TEST_F(AviFileTest, OddLayoutsAreRead) {
  const std::string frame0 = "abcdefghijklmnopqrstuvwx", frame1 = "ABCDEFGHIJKLMNOPQRSTUVWX";
  // Sound of odd chunk sizes is still one stream of 2-byte samples.
  const std::string sound0 = "12345", sound1 = "6789abc";
  const std::string extra = "codec setup";
  const std::string hdrl =
      List("hdrl", MainHeader(2, 2) + Ck("JUNK", "x") +
                       List("strl", StreamHeader("vids", 1, 25, 2, 0) + Ck("JUNK", "") +
                                        Ck("strf", BitmapHeader(4, 2, 400, AviFourcc('M', 'J', 'P', 'G')) + extra) +
                                        Ck("strn", "picture")) +
                       List("strl", StreamHeader("auds", 2, 16000, 9, 2) + Ck("strf", PcmFormat16())) +
                       List("INFO", Ck("ISFT", "tool")));
  const std::string movi =
      List("movi", Ck("JUNK", "pad") + List("rec ", Ck("00dc", frame0) + Ck("01wb", sound0)) + Ck("ix00", "") +
                       Ck("00pc", "palette") + Ck("00dc", frame1) + Ck("01wb", sound1) + Ck("99dc", "stray"));
  const std::string body = "AVI " + Ck("JUNK", "lead") + hdrl + List("INFO", Ck("IART", "me")) + movi;
  const std::string path = dir + "/odd.avi";
  test::WriteWholeFile(path, "RIFF" + Le32(uint32_t(body.size())) + body);

  ReadBack got;
  ASSERT_EQ(ReadAll(path, got), AVIERR_OK);
  EXPECT_EQ(got.kind, AviIndexKind::Scan);
  ASSERT_EQ(got.frames.size(), 2u);
  EXPECT_EQ(std::string(got.frames[1].begin(), got.frames[1].end()), frame1);
  EXPECT_EQ(std::string(got.sound.begin(), got.sound.end()), "123456789abc");

  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, path, OF_READ), AVIERR_OK);
  PAVISTREAM v = nullptr, a = nullptr;
  ASSERT_EQ(AVIFileGetStream(f, &v, streamtypeVIDEO, 0), AVIERR_OK);
  ASSERT_EQ(AVIFileGetStream(f, &a, streamtypeAUDIO, 0), AVIERR_OK);
  PAVISTREAM none = nullptr;
  EXPECT_EQ(AVIFileGetStream(f, &none, streamtypeAUDIO, 1), AVIERR_NODATA);
  int32_t size = 0;
  ASSERT_EQ(AVIStreamReadFormat(v, 0, nullptr, &size), AVIERR_OK);
  Bytes fmt(size_t(size) + 10);
  ASSERT_EQ(AVIStreamReadFormat(v, 0, fmt.data(), &size), AVIERR_OK);
  EXPECT_EQ(size, int32_t(40 + extra.size())) << "the bytes after the header are kept";
  EXPECT_EQ(fmt[0], 40 + extra.size()) << "the header's size no longer runs past the format";
  size = 100;
  ASSERT_EQ(AVIStreamReadFormat(a, 0, fmt.data(), &size), AVIERR_OK);
  EXPECT_EQ(size, 18) << "a 16-byte wave format grows its extra-size field";
  AVISTREAMINFO info{};
  ASSERT_EQ(AVIStreamInfo(v, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(std::u16string(info.szName), u"picture");
  EXPECT_EQ(info.dwSuggestedBufferSize, frame0.size());
  EXPECT_EQ(AVIStreamNearestKeyFrame(v, 1), 0) << "scanned compressed frames are not taken for key frames";
  EXPECT_EQ(AVIStreamRead(v, 0, 1, fmt.data(), 3, &size, nullptr), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(size, int32_t(frame0.size()));
  EXPECT_EQ(AVIStreamRead(v, 2, 1, fmt.data(), 100, &size, nullptr), AVIERR_OK) << "past the end reads nothing";
  EXPECT_EQ(size, 0);
  int32_t samples = 0;
  EXPECT_EQ(AVIStreamRead(a, 1, 3, fmt.data(), 6, &size, &samples), AVIERR_OK) << "a read crosses chunks";
  EXPECT_EQ(std::string(fmt.begin(), fmt.begin() + 6), "345678");
  EXPECT_EQ(AVIStreamRead(a, 0, 3, fmt.data(), 5, &size, &samples), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(AVIFileRelease(f), AVIERR_OK);
}

TEST_F(AviFileTest, BogusHeadersFailFastWithAReason) {
  auto file = [](uint32_t frames, int32_t w, int32_t h) {
    const std::string body = "AVI " +
                             List("hdrl", MainHeader(1, 1) + List("strl", StreamHeader("vids", 1, 25, frames, 0) +
                                                                              Ck("strf", BitmapHeader(w, h)))) +
                             List("movi", Ck("00dc", "x"));
    return "RIFF" + Le32(uint32_t(body.size())) + body;
  };
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"2^31 frames", file(0x80000000u, 4, 4), "2^31"},
      {"65536 x 65536", file(1, 65536, 65536), "65536x65536"},
      {"no width", file(1, 0, 4), "0x4"},
      {"not RIFF", "RIFX" + file(1, 4, 4).substr(4), "not a RIFF AVI"},
      {"a wave file", "RIFF" + Le32(4) + "WAVE", "not a RIFF AVI"},
      {"no header list", "RIFF" + Le32(16) + "AVI " + List("movi", ""), "no header list"},
  };
  const std::string path = dir + "/bogus.avi";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteWholeFile(path, c.bytes);
    LibDropReason();
    PAVIFILE f = nullptr;
    EXPECT_EQ(AVIFileOpen(&f, path, OF_READ), AVIERR_BADFORMAT);
    EXPECT_EQ(f, nullptr);
    EXPECT_NE(LibTakeReason().find(c.reason), std::string::npos);
  }
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpen(&f, dir + "/missing.avi", OF_READ), AVIERR_FILEOPEN);
}

// Readers size their sound buffers by the sample size: a damaged one must not ask for gigabytes.
TEST_F(AviFileTest, SoundSampleSizesAreBoundedByTheBlock) {
  const std::string adpcm = Le16(2) + Le16(1) + Le32(8000) + Le32(4096) + Le16(256) + Le16(4) + Le16(0);
  const std::string body = "AVI " +
                           List("hdrl", MainHeader(0, 1) + List("strl", StreamHeader("auds", 256, 4096, 1, 0x7FFFFFFF) +
                                                                            Ck("strf", adpcm))) +
                           List("movi", Ck("00wb", std::string(512, 'a')));
  const std::string path = dir + "/blocks.avi";
  test::WriteWholeFile(path, "RIFF" + Le32(uint32_t(body.size())) + body);
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, path, OF_READ), AVIERR_OK);
  PAVISTREAM a = nullptr;
  ASSERT_EQ(AVIFileGetStream(f, &a, streamtypeAUDIO, 0), AVIERR_OK);
  AVISTREAMINFO info{};
  ASSERT_EQ(AVIStreamInfo(a, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwSampleSize, 256u);
  EXPECT_EQ(info.dwSuggestedBufferSize, 512u);
  EXPECT_EQ(AVIStreamLength(a), 2);
  EXPECT_EQ(AVIFileRelease(f), AVIERR_OK);
}

// Every cut of a valid file opens or fails cleanly; what opens reads without failing.
TEST_F(AviFileTest, EveryTruncationIsHandled) {
  const std::string path = dir + "/whole.avi", cut = dir + "/cut.avi";
  ASSERT_EQ(WriteAvi(path, Plan{3, 2, 3, 1, 5, 0}), AVIERR_OK);
  const std::string file = test::ReadWholeFile(path);
  for (size_t n = 0; n < file.size(); n += n < 128 ? 1 : 37) {
    test::WriteWholeFile(cut, file.substr(0, n));
    ReadBack got;
    const int32_t r = ReadAll(cut, got);
    EXPECT_TRUE(r == AVIERR_OK || r == AVIERR_BADFORMAT) << n;
    EXPECT_LE(got.frames.size(), 3u);
  }
}

TEST_F(AviFileTest, WriteFailuresLeaveNoFileBehind) {
  const std::string path = dir + "/fault.avi";
  auto write = [&] {
    if (WriteAvi(path, Plan{4, 4, 4, 2, 100, 600}) != AVIERR_OK) ErrSet(10, 1);
  };
  for (Fault kind : {Fault::Open, Fault::Write}) {
    test::WriteWholeFile(path, "old");
    EXPECT_GE(stilltest::SweepFaults(kind, 10, write, path), 1) << int(kind);
  }
  auto read = [&] {
    ReadBack got;
    if (ReadAll(path, got) != AVIERR_OK || got.frames.size() != 4) ErrSet(10, 1);
  };
  EXPECT_GE(stilltest::SweepFaults(Fault::Read, 10, read), 1);
}

// The layer answers with results: a caller's guarded block goes on and keeps its warnings.
TEST_F(AviFileTest, FailuresComeBackAsResultsOnly) {
  const std::string path = dir + "/quiet.avi";
  bool finished = false;
  GuardedSilent("Test.AviFile", [&] {
    WarnSet(10, 3);
    PAVIFILE f = nullptr;
    EXPECT_EQ(AVIFileOpen(&f, dir + "/no/such/folder/x.avi", OF_CREATE | OF_WRITE), AVIERR_FILEOPEN);
    ASSERT_EQ(AVIFileOpen(&f, path, OF_CREATE | OF_WRITE), AVIERR_OK);
    PAVISTREAM v = nullptr;
    const AVISTREAMINFO info = VideoInfo(Plan{});
    ASSERT_EQ(AVIFileCreateStream(f, &v, &info), AVIERR_OK);
    FaultAfter(Fault::Write, 1);
    EXPECT_EQ(AVIStreamWrite(v, 0, 1, "frame", 5, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_FILEWRITE);
    EXPECT_EQ(AVIStreamWrite(v, 0, 1, "frame", 5, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_FILEWRITE)
        << "a file that lost a write takes no more";
    EXPECT_EQ(WarnCategory(), 10);
    EXPECT_EQ(AVIFileRelease(f), AVIERR_FILEWRITE);
    finished = true;
  });
  EXPECT_TRUE(finished);
  EXPECT_TRUE(ErrNone());
  EXPECT_FALSE(kernel::FileExists(path));
}

TEST_F(AviFileTest, CallsOnTheWrongKindOfFileAreRefused) {
  const std::string path = dir + "/kinds.avi";
  ASSERT_EQ(WriteAvi(path, Plan{}), AVIERR_OK);
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, path, OF_READ), AVIERR_OK);
  PAVISTREAM v = nullptr;
  ASSERT_EQ(AVIFileGetStream(f, &v, 0, 0), AVIERR_OK);
  const AVISTREAMINFO info = VideoInfo(Plan{});
  EXPECT_EQ(AVIFileCreateStream(f, &v, &info), AVIERR_READONLY);
  EXPECT_EQ(v, nullptr);
  ASSERT_EQ(AVIFileGetStream(f, &v, 0, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamWrite(v, -1, 1, "x", 1, 0, nullptr, nullptr), AVIERR_READONLY);
  EXPECT_EQ(AVIFileRelease(f), AVIERR_OK);

  ASSERT_EQ(AVIFileOpen(&f, path, OF_CREATE | OF_WRITE), AVIERR_OK);
  ASSERT_EQ(AVIFileCreateStream(f, &v, &info), AVIERR_OK);
  EXPECT_EQ(AVIStreamRead(v, 0, 1, nullptr, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIStreamWrite(v, 5, 1, "x", 1, 0, nullptr, nullptr), AVIERR_BADPARAM) << "writes only append";
  AVIFileAbandon(f);
  EXPECT_EQ(test::ReadWholeFile(path).substr(0, 4), "RIFF") << "an abandoned file leaves the old one";
}

}  // namespace
}  // namespace rf
