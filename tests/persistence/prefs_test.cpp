// Preferences: every default of a missing file, the typed readers' rules, the stored texts, and a
// write followed by a read giving every value back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "os/kernel.h"
#include "persist_support.h"
#include "persistence/prefs.h"
#include "platform/profile.h"

namespace rf {
namespace {

class PrefsTest : public test::PersistTest {
 protected:
  void SetUp() override {
    PersistTest::SetUp();
    std::remove(PrefsFile().c_str());
  }
  static void Store(const std::string& text) { test::WriteWholeFile(PrefsFile(), "[Local]\r\n" + text); }
};

TEST_F(PrefsTest, MissingFileGivesEveryDefault) {
  Preferences p;
  p.detectImgSeq = 0;
  p.defaultFPS = 1;
  p.signalMin = 9;
  ReadPreferences(p);
  const Preferences d;
  EXPECT_EQ(p.recentFiles + p.recentDirs + p.fileOpenDir + p.videoSaveDir + p.audioSaveDir + p.listImportDir +
                p.listExportDir + p.defaultSession + p.signalSound,
            "");
  EXPECT_EQ(p.sessionDir, ProgramFolder());
  EXPECT_EQ(p.tempFolder, kernel::TempDir());
  EXPECT_EQ(p.defaultVideoExt, ".avi");
  EXPECT_EQ(p.defaultAudioExt, ".wav");
  const int32_t got[] = {p.detectImgSeq,     p.signalEnd,    p.signalMin,    p.playInput,
                         p.playOutput,       p.resamplePV,   p.videoUnit,    p.audioUnit,
                         p.previewBackColor, p.imgCacheSize, p.pvRenderMode, p.warningOverwrite};
  const int32_t want[] = {-1, 0, 1, 0, -1, 0, 1, 1, 0, 0, 1, -1};
  EXPECT_TRUE(std::equal(std::begin(got), std::end(got), std::begin(want)));
  EXPECT_DOUBLE_EQ(p.defaultFPS, 30.0);
}

TEST_F(PrefsTest, StoredTextsReadByTheirRules) {
  const std::string gone = test::ScratchDir("prefs-gone");
  ::rmdir(gone.c_str());
  struct Case {
    std::string stored;
    int32_t detect;
    double fps;
    std::string videoExt, temp, saveDir;
  };
  const std::string tmp = kernel::TempDir();
  const Case cases[] = {
      {"DetectImgSeq=Yes\r\nDefaultFPS=0\r\n", -1, 0.001, ".avi", tmp, ""},
      {"detectimgseq=no\r\ndefaultfps=abc\r\nDefaultVideoExt=\r\n", 0, 30.0, ".avi", tmp, ""},
      {"DetectImgSeq=maybe\r\nDefaultFPS=2000000\r\nDefaultVideoExt=.mpg\r\n", -1, 1000000, ".mpg", tmp, ""},
      {"DetectImgSeq=false\r\nDefaultFPS= 12.5 \r\nTempFolder=" + gone + "\r\n", 0, 12.5, ".avi", tmp, ""},
      {"DetectImgSeq=T\r\nTempFolder=/\r\nFileOpenDir=/m\r\nVideoSaveDir=/v\r\n", -1, 30.0, ".avi", "/", "/v"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Store(c.stored);
    Preferences p;
    ReadPreferences(p);
    EXPECT_EQ(p.detectImgSeq, c.detect);
    EXPECT_DOUBLE_EQ(p.defaultFPS, c.fps);
    EXPECT_EQ(p.defaultVideoExt, c.videoExt);
    EXPECT_EQ(p.tempFolder, c.temp);
    EXPECT_EQ(p.videoSaveDir, c.saveDir);
  }
  // Keys a folder default follows: the save folders take FileOpenDir's value when missing.
  Store("FileOpenDir=/m\r\n");
  Preferences p;
  ReadPreferences(p);
  EXPECT_EQ(p.videoSaveDir + p.audioSaveDir + p.listImportDir + p.listExportDir, "/m/m/m/m");
}

TEST_F(PrefsTest, WriteThenReadGivesEveryValueBack) {
  Preferences w;
  w.recentFiles = "a|b";
  w.recentDirs = "/r";
  w.fileOpenDir = "/f";
  w.videoSaveDir = "/v";
  w.audioSaveDir = "/a";
  w.sessionDir = "/s";
  w.listImportDir = "/i";
  w.listExportDir = "/e";
  w.detectImgSeq = 0;
  w.defaultSession = "/s/default.rfs";
  w.defaultVideoExt = ".mpg";
  w.defaultAudioExt = ".au";
  w.signalEnd = -1;
  w.signalMin = 5;
  w.signalSound = "/snd.wav";
  w.playInput = -1;
  w.playOutput = 0;
  w.resamplePV = -1;
  w.defaultFPS = 25;
  w.videoUnit = 2;
  w.audioUnit = 3;
  w.previewBackColor = 0x123456;
  w.imgCacheSize = 64;
  w.pvRenderMode = 0;
  w.tempFolder = "/";
  w.warningOverwrite = 0;
  ASSERT_TRUE(WritePreferences(w));
  Preferences r;
  ReadPreferences(r);
  const auto fields = [](const Preferences& p) {
    return std::make_tuple(p.recentFiles, p.recentDirs, p.fileOpenDir, p.videoSaveDir, p.audioSaveDir, p.sessionDir,
                           p.listImportDir, p.listExportDir, p.detectImgSeq, p.defaultSession, p.defaultVideoExt,
                           p.defaultAudioExt, p.signalEnd, p.signalMin, p.signalSound, p.playInput, p.playOutput,
                           p.resamplePV, p.defaultFPS, p.videoUnit, p.audioUnit, p.previewBackColor, p.imgCacheSize,
                           p.pvRenderMode, p.tempFolder, p.warningOverwrite);
  };
  EXPECT_EQ(fields(r), fields(w));
  const std::string ini = test::ReadWholeFile(PrefsFile());
  EXPECT_NE(ini.find("DefaultFPS=25.0000000000\r\n"), std::string::npos);
  EXPECT_NE(ini.find("DetectImgSeq=0\r\nDefaultSession="), std::string::npos);
  EXPECT_EQ(ProfileGetString(kernel::SharedIniPath(), "velmora", "Reelforge-Date", ""), "2000-06-13");
  EXPECT_FALSE(ProfileGetString(kernel::SharedIniPath(), "VELMORA", "reelforge-path", "").empty());
}

}  // namespace
}  // namespace rf
