// The universal layer and the movie dispatch over the built-in still codecs and WAV files:
// examining, content probing, numbered sequences, output naming, geometry fixing and sound.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/mvi.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "os/kernel.h"

namespace rf {
namespace {

class UniAccessTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("uni");

  // The error a routine left behind, as category * 100 + code; the register is cleared.
  static int32_t Fails(const std::function<void()>& body) {
    GuardedSilent("Test.Uni", body);
    const int32_t e = ErrCategory() * 100 + ErrCode();
    ErrClear();
    return e;
  }

  // A picture whose pixels depend on their position and a seed.
  static void MakePicture(Qimg& img, int32_t w, int32_t h, int32_t bpp, int seed) {
    ASSERT_EQ(_imgalloc_(img, w, h, bpp, "Test.Uni.img"), 0);
    for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t(i * 7 + seed);
    for (int i = 0; i < 256; ++i) img.palette[i][0] = img.palette[i][1] = img.palette[i][2] = uint8_t(i);
  }

  void Save(const std::string& name, int32_t w, int32_t h, int32_t bpp = 24, int seed = 0) {
    Qimg img;
    MakePicture(img, w, h, bpp, seed);
    ImgSave(name, img, FF_AUTO);
    ImgFree(img);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  }

  static int64_t FileSize(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 ? st.st_size : -1;
  }
};

TEST_F(UniAccessTest, SingleFilesAndTheirRecord) {
  const std::string name = dir + "/still.tga";
  Save(name, 16, 8);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(name, info, true));
  EXPECT_EQ(std::tuple(info.format, info.kind, info.size, info.formatLabel, info.video.frames, info.video.size),
            std::tuple(FF_TGA, UNI_STILL, FileSize(name), "TGA, Truevision Targa", 1, 16 * 8 * 3));
  EXPECT_EQ(UniGetFileName(info, 1), name);

  QUniHandle h;
  UniOpen(h, info);
  Qimg img;
  UniImgLoad(h, img, 1, 0);
  EXPECT_EQ(img.width, 16);
  EXPECT_EQ(h.currentFrame, 1);
  EXPECT_EQ(Fails([&] { UniSndLoad(h, *std::make_unique<QSndBuf>(), 0, 0, 10); }), 1205)
      << "a picture has no sound to load";
  UniClose(h);
  ImgFree(img);
  EXPECT_EQ(h.kind, 0);
}

TEST_F(UniAccessTest, ContentProbeFindsFilesWhoseExtensionLies) {
  Save(dir + "/real.bmp", 5, 3);
  ASSERT_TRUE(kernel::RenameFile(dir + "/real.bmp", dir + "/fake.tga"));
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/fake.tga", info, false));
  EXPECT_EQ(info.format, FF_BMP);
  EXPECT_EQ(info.video.width, 5);
  ASSERT_TRUE(kernel::RenameFile(dir + "/fake.tga", dir + "/noext"));
  ASSERT_TRUE(UniInfo(dir + "/noext", info, false));
  EXPECT_EQ(info.format, FF_BMP);

  test::WriteWholeFile(dir + "/junk.tga", "this is no picture at all");
  EXPECT_FALSE(UniInfo(dir + "/junk.tga", info, false));
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(WarnCategory(), 6);
  EXPECT_EQ(WarnCode(), 9);
  EXPECT_FALSE(UniInfo(dir + "/missing.tga", info, false));
  EXPECT_TRUE(ErrNone());
}

// A refusal keeps the contract of its callers (false, the warning, a clear register) and its
// reason, which can be raised as the error it was.
TEST_F(UniAccessTest, RefusalsKeepTheirReason) {
  Save(dir + "/good.png", 4, 4);
  std::string png = test::ReadWholeFile(dir + "/good.png");
  png[16] = png[17] = png[18] = png[19] = 0;  // a zero width, and the header's checksum no longer fits
  test::WriteWholeFile(dir + "/width0.png", png);
  test::WriteWholeFile(dir + "/empty.tga", "");
  test::WriteWholeFile(dir + "/notes.txt", "plain words");
  test::WriteWholeFile(dir + "/short.bmp", std::string("BM\0\0", 4));
  ASSERT_TRUE(kernel::MakeDirs(dir + "/folder.tga"));
  ASSERT_EQ(::mkfifo((dir + "/pipe.tga").c_str(), 0600), 0);
  struct Case {
    const char* file;
    int32_t category, code;
    std::string text;  // within the message
  };
  const Case kCases[] = {
      {"missing.tga", 6, 9, "File not exist."},
      {"folder.tga", 2, TEXT_ONLY_CODE, "Is a folder, not a file: " + dir + "/folder.tga"},
      {"pipe.tga", 2, TEXT_ONLY_CODE, "Not a regular file (a pipe or a device): " + dir + "/pipe.tga"},
      {"empty.tga", 2, TEXT_ONLY_CODE, "File is empty: " + dir + "/empty.tga"},
      {"notes.txt", 2, TEXT_ONLY_CODE, "Unknown file format: " + dir + "/notes.txt"},
      {"short.bmp", 6, 3, "Cannot read from file."},
      // The library's own text, not that of a format probed after it.
      {"width0.png", 1, TEXT_ONLY_CODE, "IHDR"},
  };
  for (const Case& c : kCases) {
    const std::string name = dir + "/" + c.file;
    QUniInfo info;
    EXPECT_FALSE(UniInfo(name, info, true)) << c.file;
    EXPECT_TRUE(ErrNone()) << c.file;
    EXPECT_EQ(WarnCategory() * 100 + WarnCode(), 609) << c.file;
    const QUniProblem& p = UniLastProblem();
    EXPECT_EQ(p.category, c.category) << c.file << ": " << p.text;
    EXPECT_EQ(p.code, c.code) << c.file;
    EXPECT_NE(p.text.find(c.text), std::string::npos) << c.file << ": " << p.text;
    EXPECT_EQ(p.fileName, name);
    UniRaiseLastProblem();
    EXPECT_EQ(ErrCategory(), c.category);
    EXPECT_EQ(ErrLastMessage(), p.text);
    EXPECT_EQ(LastFileName(), name);
    ErrClear();
  }
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/good.png", info, false));
  EXPECT_EQ(UniLastProblem().category, 0) << "a file that reads forgets the last refusal";
}

TEST_F(UniAccessTest, NumberedSequencesEndAtTheFirstGapOrMismatch) {
  int64_t total = 0;
  for (int n = 5; n <= 9; ++n) {
    const std::string name = dir + "/img000" + std::to_string(n) + ".tga";
    Save(name, 8, 6, 24, n);
    total += FileSize(name);
  }
  Save(dir + "/img0011.tga", 8, 6);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/img0005.tga", info, true));
  EXPECT_EQ(std::tuple(info.kind, info.video.frames, info.size), std::tuple(UNI_SEQUENCE, 5, total));
  EXPECT_EQ(UniGetFileName(info, 3), dir + "/img0007.tga");

  QUniHandle h;
  UniOpen(h, info);
  Qimg img, expected;
  UniImgLoad(h, img, 3, 0);
  ImgLoad(dir + "/img0007.tga", expected, FF_AUTO);
  ASSERT_EQ(img.size, expected.size);
  EXPECT_EQ(0, std::memcmp(img.data, expected.data, size_t(img.size)));
  UniImgLoad(h, img, 0, 0);
  EXPECT_EQ(h.currentFrame, 4) << "frame 0 is the next member";
  UniClose(h);
  ImgFree(img);
  ImgFree(expected);

  ASSERT_TRUE(UniInfo(dir + "/img0005.tga", info, false));
  EXPECT_EQ(info.kind, UNI_STILL) << "without the scan a member stays a still";

  Save(dir + "/img0008.tga", 8, 7);
  ASSERT_TRUE(UniInfo(dir + "/img0005.tga", info, true));
  EXPECT_EQ(info.video.frames, 3) << "a member of another size ends the sequence";
  Save(dir + "/img0006.tga", 8, 6, 8);
  ASSERT_TRUE(UniInfo(dir + "/img0005.tga", info, true));
  EXPECT_EQ(info.kind, UNI_STILL) << "a member of another depth ends it too";

  Save(dir + "/img.tga", 8, 6);
  Save(dir + "/img1.tga", 8, 6);
  ASSERT_TRUE(UniInfo(dir + "/img.tga", info, true));
  EXPECT_EQ(info.kind, UNI_STILL) << "a name without a number starts no sequence";
}

TEST_F(UniAccessTest, OutputNamesFollowTheAnnouncedFrameCount) {
  const struct {
    const char* name;
    int32_t frames;
    const char* first;
    const char* last;
  } cases[] = {
      {"out.bmp", 1, "out.bmp", nullptr},
      {"many.bmp", 12, "many00.bmp", "many11.bmp"},
      {"from7.bmp", 12, "from7.bmp", "from18.bmp"},
  };
  for (const auto& c : cases) {
    QUniHandle h;
    UniCreate(h, dir + "/" + c.name);
    EXPECT_EQ(UniSetFrameCount(h, c.frames), c.frames > 1 ? UNI_SEQUENCE : UNI_STILL);
    Qimg img;
    MakePicture(img, 4, 4, 24, 1);
    for (int32_t i = 0; i < c.frames; ++i) UniImgSave(h, img);
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(h.currentFrame, c.frames);
    UniClose(h);
    ImgFree(img);
    EXPECT_GT(FileSize(dir + "/" + c.first), 0) << c.first;
    if (c.last) {
      EXPECT_GT(FileSize(dir + "/" + c.last), 0) << c.last;
    }
  }
  EXPECT_EQ(FileSize(dir + "/out0.bmp"), -1);
  EXPECT_EQ(FileSize(dir + "/many12.bmp"), -1);
  EXPECT_EQ(FileSize(dir + "/from19.bmp"), -1);
}

TEST_F(UniAccessTest, LaterPicturesTakeTheFirstPicturesGeometry) {
  QUniHandle h;
  UniCreate(h, dir + "/geo.tga");
  UniSetFrameCount(h, 2);
  Qimg first, second;
  MakePicture(first, 10, 6, 24, 1);
  MakePicture(second, 33, 17, 8, 2);
  UniImgSave(h, first);
  UniImgSave(h, second);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  UniClose(h);
  ImgFree(first);
  ImgFree(second);

  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/geo1.tga", info, false));
  EXPECT_EQ(std::tuple(info.video.width, info.video.height, info.video.bpp), std::tuple(10, 6, 24));
}

TEST_F(UniAccessTest, SoundGoesThroughTheMovieLayer) {
  const std::string name = dir + "/tone.wav";
  QUniHandle out;
  UniCreate(out, name);
  QSndBuf buf;
  WaveFormatEx fmt{WAVE_FORMAT_PCM, 2, 22050, 0, 0, 16, 0};
  WaveFormatValidate(fmt);
  SndMakeSilence(buf, 1000, fmt);
  for (int i = 0; i < 3; ++i) UniSndSave(out, buf);
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(out.samplePos, 3000);
  Qimg img;
  MakePicture(img, 4, 4, 24, 0);
  EXPECT_EQ(Fails([&] { UniImgSave(out, img); }), 1205) << "a WAV output takes no pictures";
  UniClose(out);

  QUniInfo info;
  ASSERT_TRUE(UniInfo(name, info, true));
  EXPECT_EQ(std::tuple(info.kind, info.audio.frames, info.audio.channels, info.audio.size),
            std::tuple(UNI_MOVIE, 3000, 2, 12000));
  EXPECT_NEAR(info.audio.duration, 3000.0 / 22050, 1e-12);
  EXPECT_EQ(info.video.compression, "Uncompressed, full frames");

  QUniHandle in;
  UniOpen(in, info);
  UniSndLoad(in, buf, 500, 0, 800);
  EXPECT_EQ(buf.count, 800);
  EXPECT_EQ(in.samplePos, 1300);
  EXPECT_EQ(Fails([&] { UniImgLoad(in, img, 1, 0); }), 1205);
  UniClose(in);
  SndFree(buf);
  ImgFree(img);
}

TEST_F(UniAccessTest, MovieDispatchRules) {
  QMviHandle mv;
  EXPECT_EQ(Fails([&] { MviOpen(mv, dir + "/clip.avi", FF_AUTO); }), 601) << "the AVI reader finds no file";
  EXPECT_EQ(Fails([&] { MviCreate(mv, dir + "/still.tga", 25, 1, 10); }), 1201);
  EXPECT_EQ(mv.format, 0) << "a failed open leaves the handle zeroed";

  MviCreate(mv, dir + "/m.wav", 0, 0, 0);
  QSndBuf buf;
  SndMakeSilence(buf, 100, SndDefaultFormat());
  MviSndSave(mv, buf);
  SndFree(buf);
  Qimg img;
  MakePicture(img, 2, 2, 24, 0);
  MviImgLoad(mv, img, 1, 0);
  EXPECT_TRUE(ErrNone()) << "picture requests to a sound file are ignored";
  EXPECT_EQ(*mv.samplePos, 100);
  MviClose(mv);
  EXPECT_EQ(mv.WAV, nullptr);
  EXPECT_EQ(Fails([&] { MviOpen(mv, dir + "/m.wav", FF_AUTO); }), 0);
  EXPECT_EQ(Fails([&] { MviImgSave(mv, img); }), 1202) << "a movie opened for reading is not written";
  MviImgLoad(mv, img, 0, 0);
  EXPECT_EQ(img.width, 2) << "and its pictures are never touched";
  MviClose(mv);
  ImgFree(img);
}

TEST_F(UniAccessTest, DispatcherErrors) {
  QffInfo fi;
  EXPECT_EQ(Fails([&] { FFInfo(dir + "/x.unknown", FF_AUTO, fi); }), 1402);
  Qimg img;
  EXPECT_EQ(Fails([&] { ImgSave(dir + "/x.tga", img, FF_AUTO); }), 709);
  EXPECT_EQ(Fails([&] { ImgLoad(dir + "/x.wav", img, FF_AUTO); }), 702);
  QUniHandle h;
  UniCreate(h, dir + "/x.unknown");
  MakePicture(img, 2, 2, 24, 0);
  EXPECT_EQ(Fails([&] { UniImgSave(h, img); }), 1601);
  UniClose(h);
  ImgFree(img);
}

}  // namespace
}  // namespace rf
