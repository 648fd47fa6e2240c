// AVI movies: written headers and frames read back through the movie dispatch, sound in the same
// file, hand-made files (unknown compressor, damaged index, cut chunk, sound only, absurd
// headers), the compressor settings and names, and failures at every step.
#include "formats/ff_avi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "image/imgdib.h"
#include "platform/acm.h"
#include "platform/avifile.h"
#include "platform/vcodec.h"

namespace rf {
namespace {

int32_t Err() { return ErrCategory() * 100 + ErrCode(); }

// A w x h picture whose bytes depend on the frame, x and y; 8-bit ones get a fixed palette.
void Picture(Qimg& img, int32_t w, int32_t h, int32_t bpp, int32_t frame) {
  ASSERT_EQ(_imgalloc_(img, w, h, bpp, "Test.picture"), 0);
  for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t(i * 7 + frame * 31 + i / (w * img.bytesPerPixel));
  if (bpp == 15)
    for (int32_t i = 1; i < img.size; i += 2) img.data[i] &= 0x7F;
  for (int32_t i = 0; i < 256; ++i) {
    img.palette[i][0] = uint8_t(i);
    img.palette[i][1] = uint8_t(255 - i);
    img.palette[i][2] = uint8_t(i * 3);
  }
}

bool Same(const Qimg& a, const Qimg& b) {
  return a.width == b.width && a.height == b.height && a.bpp == b.bpp &&
         std::memcmp(a.data, b.data, size_t(a.size)) == 0;
}

WaveFormatEx Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, rate, 0, 0, bits, 0};
  WaveFormatValidate(f);
  return f;
}

// Sound of count frames whose bytes count up.
void Ramp(QSndBuf& b, int32_t count, const WaveFormatEx& f, int32_t start) {
  _sndalloc_(b, count * f.blockAlign, "Test.ramp");
  b.format = f;
  b.count = count;
  for (int32_t i = 0; i < count * f.blockAlign; ++i) b.SndData[i] = uint8_t(start * f.blockAlign + i);
}

// ---- hand-made files

struct Chunk {
  std::string id;
  std::string body;
};

std::string Bytes(const ByteWriter& w) { return std::string(w.bytes().begin(), w.bytes().end()); }

std::string ChunkBytes(const std::string& id, const std::string& body) {
  ByteWriter w;
  w.fourcc(id.c_str());
  w.u32le(uint32_t(body.size()));
  std::string s = Bytes(w) + body;
  if (body.size() & 1) s += '\0';
  return s;
}

std::string List(const char* type, const std::string& body) { return ChunkBytes("LIST", type + body); }

struct HandMade {
  int32_t width = 16, height = 8, bitCount = 24;
  uint32_t compression = 0, handler = 0;
  int32_t frames = 3;          // video chunks; 0: no video stream
  uint32_t claimedFrames = 0;  // the headers' frame count, 0: frames
  int32_t soundFrames = 0;     // 16-bit mono PCM at 8000 Hz, in one chunk per video frame
  bool index = true;
  bool damageIndex = false;
  size_t cutLast = 0;  // bytes cut off the end of the file
};

std::string VideoStrl(const HandMade& m, uint32_t length, uint32_t frameBytes) {
  ByteWriter h;
  h.fourcc("vids");
  h.u32le(m.handler);
  h.fill(0, 12);          // flags, priority, language, initial frames
  h.u32le(1);             // scale
  h.u32le(25);            // rate
  h.u32le(0);             // start
  h.u32le(length);        // length
  h.u32le(frameBytes);    // suggested buffer
  h.u32le(uint32_t(-1));  // quality
  h.u32le(0);             // sample size
  h.fill(0, 8);           // frame rectangle
  ByteWriter f;
  f.u32le(40);
  f.u32le(uint32_t(m.width));
  f.u32le(uint32_t(m.height));
  f.u16le(1);
  f.u16le(uint16_t(m.bitCount));
  f.u32le(m.compression);
  f.u32le(frameBytes);
  f.fill(0, 16);
  return List("strl", ChunkBytes("strh", Bytes(h)) + ChunkBytes("strf", Bytes(f)));
}

std::string SoundStrl(uint32_t length) {
  const WaveFormatEx pcm = Pcm(1, 8000, 16);
  ByteWriter h;
  h.fourcc("auds");
  h.u32le(0);
  h.fill(0, 12);
  h.u32le(2);      // scale: block align
  h.u32le(16000);  // rate: bytes per second
  h.u32le(0);
  h.u32le(length);  // sample frames
  h.u32le(4096);
  h.u32le(uint32_t(-1));
  h.u32le(2);  // sample size
  h.fill(0, 8);
  ByteWriter f;
  f.write(&pcm, sizeof pcm);
  return List("strl", ChunkBytes("strh", Bytes(h)) + ChunkBytes("strf", Bytes(f)));
}

// An AVI 1.0 file as a simple writer lays it out: headers, interleaved chunks, idx1.
std::string BuildAvi(const HandMade& m) {
  const uint32_t frameBytes = uint32_t(int64_t(DibStride(m.width, m.bitCount)) * m.height);
  const uint32_t claimed = m.claimedFrames ? m.claimedFrames : uint32_t(m.frames);
  const int32_t perFrame = m.frames > 0 ? m.soundFrames / m.frames : m.soundFrames;
  std::string movi = "movi";
  ByteWriter index;
  auto add = [&](const char* id, const std::string& body) {
    index.fourcc(id);
    index.u32le(AVIIF_KEYFRAME);
    index.u32le(uint32_t(movi.size()) + (m.damageIndex ? 0x00700000u : 0u));
    index.u32le(uint32_t(body.size()));
    movi += ChunkBytes(id, body);
  };
  const char* soundId = m.frames > 0 ? "01wb" : "00wb";
  const int32_t rounds = std::max(m.frames, 1);
  for (int32_t i = 0; i < rounds; ++i) {
    if (m.frames > 0) {
      std::string frame(frameBytes, '\0');
      for (uint32_t b = 0; b < frameBytes; ++b) frame[b] = char(b * 5 + uint32_t(i) * 17);
      add("00dc", frame);
    }
    if (m.soundFrames > 0) {
      const int32_t n = i == rounds - 1 ? m.soundFrames - perFrame * (rounds - 1) : perFrame;
      std::string sound(size_t(n) * 2, '\0');
      for (size_t b = 0; b < sound.size(); ++b) sound[b] = char(b + size_t(i) * 3);
      add(soundId, sound);
    }
  }
  const int32_t streams = (m.frames > 0) + (m.soundFrames > 0);
  ByteWriter avih;
  avih.u32le(40000);
  avih.u32le(frameBytes * 25);
  avih.u32le(0);
  avih.u32le(m.index ? AVIF_HASINDEX : 0);
  avih.u32le(claimed);
  avih.u32le(0);
  avih.u32le(uint32_t(streams));
  avih.u32le(frameBytes);
  avih.u32le(uint32_t(m.width));
  avih.u32le(uint32_t(m.height));
  avih.fill(0, 16);
  std::string hdrl = ChunkBytes("avih", Bytes(avih));
  if (m.frames > 0) hdrl += VideoStrl(m, claimed, frameBytes);
  if (m.soundFrames > 0) hdrl += SoundStrl(uint32_t(m.soundFrames));
  std::string body = "AVI " + List("hdrl", hdrl) + ChunkBytes("LIST", movi);
  if (m.index) body += ChunkBytes("idx1", Bytes(index));
  std::string file = ChunkBytes("RIFF", body);
  file.resize(file.size() - m.cutLast);
  return file;
}

class FFAviTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("ff_avi");
  void TearDown() override {
    WaveConvertReset();
    EXPECT_EQ(acmStreamCount(), 0);
    EXPECT_EQ(ICOpenCount(), 0);
    FoundationTest::TearDown();
  }

  // Makes fourcc the current compressor with its defaults.
  static void UseCodec(const char* fourcc) {
    aviCodecsRec rec;
    AviSettingsInit(rec, AviFourCC(fourcc));
    AviSettingsApply(rec);
  }

  // Writes frames pictures of w x h at bpp bits (and sound frames when given) through the
  // dispatch; false with the error register set when it failed.
  static bool Write(const std::string& path, int32_t w, int32_t h, int32_t bpp, int32_t frames, double rate = 25,
                    int32_t soundPerFrame = 0) {
    QMviHandle mv;
    Qimg img;
    QSndBuf sound;
    // As a conversion run writes: the output waits in the file group until the run ends, and the
    // movie is created in a block of its own (a failing block releases the handles made in it).
    FGroupBegin();
    GuardedSilent("Test.Create", [&] { MviCreate(mv, path, rate, 1, frames); });
    if (ErrNone()) {
      GuardedSilent("Test.Write", [&] {
        for (int32_t i = 0; i < frames; ++i) {
          Picture(img, w, h, bpp, i);
          MviImgSave(mv, img);
          if (soundPerFrame > 0) {
            Ramp(sound, soundPerFrame, Pcm(2, 22050, 16), i * soundPerFrame);
            MviSndSave(mv, sound);
          }
        }
        MviClose(mv);
      });
    }
    const bool ok = ErrNone();
    if (ok) {
      FGroupCommit();
    } else {
      {
        const ErrLockScope lock;
        MviClose(mv);
      }
      FGroupDiscard();
    }
    ImgFree(img);
    SndFree(sound);
    return ok && ErrNone();
  }

  // The stored stream header and format of the first stream of that type.
  static void StoredVideo(const std::string& path, AVISTREAMINFO& si, std::vector<uint8_t>& format) {
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, path, OF_READ), AVIERR_OK);
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    ASSERT_EQ(AVIStreamInfo(stream, &si, int32_t(sizeof si)), AVIERR_OK);
    int32_t size = 0;
    ASSERT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
    format.resize(size_t(size));
    ASSERT_EQ(AVIStreamReadFormat(stream, 0, format.data(), &size), AVIERR_OK);
    AVIFileRelease(file);
  }
};

TEST_F(FFAviTest, UncompressedFramesOfEveryDepthReadBackWithTheirStoredLayout) {
  struct Case {
    int32_t width, height, bpp;
    size_t formatBytes;
    uint32_t frameBytes;
  };
  // 321 pixels of 24 bits are 963 bytes, padded by 1; 8 bits store the palette in the format.
  const Case cases[] = {{321, 5, 24, 40, 964 * 5}, {17, 6, 8, 1064, 20 * 6}, {9, 4, 15, 40, 20 * 4}};
  UseCodec("DIB ");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bpp);
    const std::string path = dir + "/raw" + std::to_string(c.bpp) + ".avi";
    ASSERT_TRUE(Write(path, c.width, c.height, c.bpp, 4, 29.97)) << ErrLastMessage();
    AVISTREAMINFO si{};
    std::vector<uint8_t> format;
    StoredVideo(path, si, format);
    EXPECT_EQ(si.dwRate, 299700u);
    EXPECT_EQ(si.dwScale, 10000u);
    EXPECT_EQ(si.dwSuggestedBufferSize, c.frameBytes);
    ASSERT_EQ(format.size(), c.formatBytes);
    DibInfo info;
    ASSERT_TRUE(DibReadInfo(format.data(), int64_t(format.size()), info));
    EXPECT_EQ(info.bitCount, c.bpp == 15 ? 16 : c.bpp);
    if (c.bpp == 8) {
      EXPECT_EQ(format[40 + 4 * 10 + 1], 245) << "palette entry 10, green";
    }

    QMviHandle mv;
    Qimg got, want;
    GuardedSilent("Test.Read", [&] {
      MviOpen(mv, path, FF_AUTO);
      EXPECT_EQ(*mv.frames, 4);
      EXPECT_NEAR(*mv.frameRate, 29.97, 1e-9);
      for (int32_t frame : {1, 2, 4, 3}) {
        MviImgLoad(mv, got, frame, 0);
        Picture(want, c.width, c.height, c.bpp, frame - 1);
        EXPECT_TRUE(Same(got, want)) << "frame " << frame;
        if (c.bpp == 8) {
          EXPECT_EQ(std::memcmp(got.palette, want.palette, sizeof got.palette), 0);
        }
      }
    });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    GuardedSilent("Test.Beyond", [&] { MviImgLoad(mv, got, 5, 0); });
    EXPECT_EQ(Err(), 1207) << "a frame beyond the count is the end of the movie";
    ErrClear();
    MviClose(mv);
    ImgFree(got);
    ImgFree(want);
  }
}

TEST_F(FFAviTest, PicturesOutsideTheMovieLimitsAreRefused) {
  UseCodec("DIB ");
  const std::string path = dir + "/narrow.avi";
  test::WriteWholeFile(path, "old");
  for (int32_t width : {3, 4097}) {
    QMviHandle mv;
    Qimg img;
    GuardedSilent("Test.Narrow", [&] {
      MviCreate(mv, path, 25, 1, 1);
      Picture(img, width, 8, 24, 0);
      MviImgSave(mv, img);
    });
    EXPECT_EQ(Err(), 1401) << width;
    ErrClear();
    MviClose(mv);
    ImgFree(img);
    EXPECT_EQ(test::ReadWholeFile(path), "old") << "the failed writer leaves the old file";
  }
}

TEST_F(FFAviTest, SoundInterleavedWithTheFramesReadsBackSampleExact) {
  UseCodec("DIB ");
  const std::string path = dir + "/av.avi";
  ASSERT_TRUE(Write(path, 32, 16, 24, 10, 25, 882)) << ErrLastMessage();
  QffInfo info;
  AviInfo(path, info);
  EXPECT_EQ(info.audio.frames, 8820);
  EXPECT_TRUE(info.audio.audioReadable);
  EXPECT_EQ(info.audio.compression, "(#1) PCM, uncompressed");
  EXPECT_EQ(info.video.compression, "(DIB ) Full frames, uncompressed");
  QMviHandle mv;
  QSndBuf got, want;
  GuardedSilent("Test.Sound", [&] {
    MviOpen(mv, path, FF_AUTO);
    // Loads in pieces that do not follow the chunks, then a seek back.
    for (int32_t first : {0, 1000, 5000, 123}) {
      MviSndLoad(mv, got, first, first == 1000 ? 1 : 0, 3000);
      const int32_t expect = std::min(3000, 8820 - first);
      ASSERT_EQ(got.count, expect) << first;
      Ramp(want, expect, Pcm(2, 22050, 16), first);
      EXPECT_EQ(std::memcmp(got.SndData, want.SndData, size_t(expect) * 4), 0) << first;
    }
  });
  EXPECT_TRUE(ErrNone()) << ErrLastMessage();
  MviClose(mv);
  SndFree(got);
  SndFree(want);
}

TEST_F(FFAviTest, AnUninstalledCompressorLeavesTheSizeAndThePcmSound) {
  HandMade m;
  m.compression = m.handler = MakeFourCC("ZQX9");
  m.soundFrames = 1200;
  const std::string path = dir + "/unknown.avi";
  test::WriteWholeFile(path, BuildAvi(m));
  QffInfo info;
  AviInfo(path, info);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(info.video.width, 16);
  EXPECT_EQ(info.video.height, 8);
  EXPECT_EQ(info.video.frames, 3);
  EXPECT_TRUE(info.video.hasVideo);
  EXPECT_FALSE(info.video.videoReadable);
  EXPECT_EQ(info.video.compression, "(ZQX9) Unknown codec");
  EXPECT_EQ(info.audio.frames, 1200);
  EXPECT_TRUE(info.audio.audioReadable);

  QMviHandle mv;
  Qimg img;
  QSndBuf sound;
  // The movie opens in a block of its own: a failing block releases the handles made inside it.
  GuardedSilent("Test.Unknown", [&] {
    MviOpen(mv, path, FF_AUTO);
    MviSndLoad(mv, sound, 0, 0, 5000);
  });
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(sound.count, 1200);
  GuardedSilent("Test.Unknown.Video", [&] { MviImgLoad(mv, img, 1, 0); });
  EXPECT_EQ(Err(), 901);
  ErrClear();
  MviClose(mv);
  ImgFree(img);
  SndFree(sound);
}

TEST_F(FFAviTest, DamagedAndUnusualFilesReadWhatTheyHold) {
  struct Case {
    const char* what;
    HandMade m;
    int32_t frames, readable, samples;
  };
  HandMade damaged, noIndex, cut, soundOnly, paletted;
  damaged.damageIndex = true;
  noIndex.index = false;
  cut.index = false;
  cut.cutLast = 30;
  soundOnly.frames = 0;
  soundOnly.soundFrames = 999;
  paletted.bitCount = 8;
  // A cut last chunk loses that frame only.
  const Case cases[] = {{"damaged index", damaged, 3, 3, 0},
                        {"no index", noIndex, 3, 3, 0},
                        {"last chunk cut", cut, 3, 2, 0},
                        {"sound only", soundOnly, 0, 0, 999},
                        {"8 bits without colours in the format", paletted, 3, 3, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir + "/hand.avi";
    test::WriteWholeFile(path, BuildAvi(c.m));
    QMviHandle mv;
    Qimg img;
    QSndBuf sound;
    int32_t readable = 0;
    GuardedSilent("Test.Open", [&] { MviOpen(mv, path, FF_AUTO); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_GE(*mv.frames, c.readable);
    for (int32_t f = 1; f <= *mv.frames; ++f) {
      GuardedSilent("Test.Frame", [&] { MviImgLoad(mv, img, f, 0); });
      if (ErrNone()) ++readable;
      ErrClear();
    }
    EXPECT_EQ(readable, c.readable);
    if (c.frames > 0 && c.readable > 0) {
      GuardedSilent("Test.First", [&] { MviImgLoad(mv, img, 1, 0); });
      // The top row is the last one stored; stored bytes count up by 5.
      const int32_t stride = DibStride(c.m.width, c.m.bitCount);
      EXPECT_EQ(img.data[5], uint8_t(((c.m.height - 1) * stride + 5) * 5));
    }
    if (c.samples > 0) {
      GuardedSilent("Test.Sound", [&] { MviSndLoad(mv, sound, 0, 0, 10000); });
      EXPECT_EQ(sound.count, c.samples);
      GuardedSilent("Test.Picture", [&] { MviImgLoad(mv, img, 1, 0); });
      EXPECT_EQ(Err(), 1207) << "a file of sound only has no frame 1";
    }
    ErrClear();
    MviClose(mv);
    ImgFree(img);
    SndFree(sound);
  }
}

TEST_F(FFAviTest, AbsurdHeadersFailFastWithBoundedMemory) {
  HandMade huge, many;
  huge.width = huge.height = 65536;
  huge.frames = 1;
  many.claimedFrames = 0x80000000u;
  for (const HandMade* m : {&huge, &many}) {
    const std::string path = dir + "/absurd.avi";
    test::WriteWholeFile(path, BuildAvi(*m).substr(0, 4096));
    const auto start = std::chrono::steady_clock::now();
    QMviHandle mv;
    Qimg img;
    GuardedSilent("Test.Absurd", [&] {
      MviOpen(mv, path, FF_AUTO);
      for (int32_t f = 1; f <= std::min(*mv.frames, 5); ++f) MviImgLoad(mv, img, f, 0);
    });
    EXPECT_FALSE(ErrNone()) << "an absurd header or its missing frames is an error";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ErrClear();
    MviClose(mv);
    ImgFree(img);
  }
}

TEST_F(FFAviTest, CompressorSettingsFallBackToWhatCanEncode) {
  aviCodecsRec rec;
  AviSettingsInit(rec, AviFourCC("DIB"));
  EXPECT_EQ(int32_t(rec.acceptedDepth), 24);
  EXPECT_EQ(int32_t(rec.keyFrameEvery), 1);
  // A compressor that is not installed gives way to Cinepak, else to uncompressed frames.
  AviSettingsInit(rec, MakeFourCC("ZQX9"));
  EXPECT_EQ(int32_t(rec.acceptedDepth), 0);
  AviSettingsApply(rec);
  AviSetVC(64, 48, 24, true);
  ASSERT_TRUE(ErrNone());
  AviSettingsStore(rec);
  const bool cinepak = AviCompressorCheck(MakeFourCC("cvid"), 64, 48, 24, rec);
  EXPECT_EQ(uint32_t(rec.fourcc), cinepak ? MakeFourCC("cvid") : MakeFourCC("DIB "));
  EXPECT_EQ(AviSettingsDepth(), 24);
  // Uncompressed frames take every depth as it is.
  UseCodec("DIB ");
  AviSetVC(64, 48, 16, false);
  EXPECT_EQ(AviSettingsDepth(), 15);
  EXPECT_EQ(AviCurrentOptions().flags, AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID);
  AviSettingsStore(rec);
  rec.dataRate = 300;
  rec.quality = 75;
  AviSettingsApply(rec);
  EXPECT_EQ(AviCurrentOptions().flags, AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID | AVICOMPRESSF_DATARATE);
  EXPECT_EQ(AviCurrentOptions().bytesPerSecond, 300 * 1024);
  EXPECT_EQ(AviCurrentOptions().quality, 7500);
}

TEST_F(FFAviTest, DisplayNamesAndTheDialogTexts) {
  const std::pair<uint32_t, std::string> video[] = {{0, "Full frames, uncompressed"},
                                                    {MakeFourCC("DIB "), "(DIB ) Full frames, uncompressed"},
                                                    {MakeFourCC("rgb "), "(rgb ) Full frames, uncompressed"},
                                                    {MakeFourCC("ZQX9"), "(ZQX9) Unknown codec"}};
  for (const auto& [code, name] : video) EXPECT_EQ(AVIGetVideoName(code), name);
  EXPECT_EQ(AVIGetAudioName(1), "(#1) PCM, uncompressed");
  EXPECT_EQ(AVIGetAudioName(0x7A21), "(#31265) Unknown codec");
  EXPECT_EQ(AVIGetAudioName(0x11), "(#17) " + acmFormatTagName(0x11));

  UseCodec("DIB ");
  AviDialogModel model(320, 240, 16);
  ASSERT_GE(model.selected(), 0) << "uncompressed frames are always compatible";
  EXPECT_EQ(model.FourCCText(), "DIB ,  20424944h");
  EXPECT_EQ(model.EncoderText(), "Yes");
  EXPECT_EQ(model.BeforeText(), "320x240, 15-bit");
  EXPECT_EQ(model.AfterText(), "320x240, 15-bit");
  EXPECT_FALSE(model.AfterDiffers());
  for (AviDialogModel::Show show : {AviDialogModel::kCompatible, AviDialogModel::kEncoders, AviDialogModel::kAll}) {
    model.SetShow(show);
    for (const aviCodecsRec& rec : model.shown()) {
      if (show == AviDialogModel::kCompatible) {
        EXPECT_TRUE(bool(rec.compatible));
      }
      if (show == AviDialogModel::kEncoders) {
        EXPECT_TRUE(bool(rec.isEncoder));
      }
    }
  }
  EXPECT_GE(model.shown().size(), 1u);
  EXPECT_FALSE(AviSelectVC(320, 240, 24)) << "without a window the dialog counts as cancelled";
}

TEST_F(FFAviTest, FailuresAtEveryStepLeaveNothingBehind) {
  UseCodec("DIB ");
  const std::string path = dir + "/fault.avi";
  ASSERT_TRUE(Write(path, 20, 10, 24, 3, 25, 400)) << ErrLastMessage();
  for (Fault kind : {Fault::Write, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      const std::string before = test::ReadWholeFile(path);
      FaultAfter(kind, n);
      const bool written = Write(path, 24, 10, 8, 3, 25, 300);
      const bool failed = FaultLeft(kind) == 0;
      FaultReset();
      ErrClear();
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 0);
      if (!failed) {
        EXPECT_TRUE(written);
        break;
      }
      EXPECT_TRUE(test::ReadWholeFile(path) == before) << "a failed save leaves the file as it was";
      ASSERT_LT(n, 200);
    }
  }
  for (Fault kind : {Fault::Read, Fault::Alloc, Fault::Open}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(int(kind) * 1000 + n);
      QMviHandle mv;
      Qimg img;
      QSndBuf sound;
      FaultAfter(kind, n);
      GuardedSilent("Test.Open", [&] { MviOpen(mv, path, FF_AUTO); });
      if (ErrNone()) {
        GuardedSilent("Test.Load", [&] {
          for (int32_t f = 1; f <= 3; ++f) MviImgLoad(mv, img, f, 0);
          MviSndLoad(mv, sound, 0, 0, 900);
        });
      }
      const bool failed = FaultLeft(kind) == 0;
      FaultReset();
      ErrClear();
      MviClose(mv);
      ImgFree(img);
      SndFree(sound);
      EXPECT_EQ(FCount(), 0);
      EXPECT_EQ(MemCount(), 0);
      if (!failed) break;
      ASSERT_LT(n, 200);
    }
  }
  ErrClear();
}

}  // namespace
}  // namespace rf
