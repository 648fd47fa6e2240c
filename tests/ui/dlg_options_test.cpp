// The options window driven by keyboard through the program's hook: OK writes the preferences file.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

#include "persistence/prefs.h"
#include "ui/dlg_driver.h"
#include "ui/mainwin_dialogs.h"
#include "ui/mainwin_wiring.h"

namespace rf {
namespace {

using namespace testui;

// A scratch configuration folder and the program's hooks, both put back afterwards.
class OptionsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"REELFORGE_CONFIG_DIR", "XDG_CONFIG_HOME"}) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? old : "", old != nullptr});
      ::setenv(name, dir_.path().toUtf8().constData(), 1);
    }
    hooks_ = ui::Dialogs();
    ui::InstallProgramDialogs(Preferences{});
  }
  void TearDown() override {
    ui::Dialogs() = hooks_;
    for (const auto& s : saved_)
      if (s.had)
        ::setenv(s.name, s.value.c_str(), 1);
      else
        ::unsetenv(s.name);
  }
  static Preferences Stored() {
    Preferences p;
    ReadPreferences(p);
    return p;
  }

 private:
  struct Env {
    const char* name;
    std::string value;
    bool had;
  };
  QTemporaryDir dir_;
  std::vector<Env> saved_;
  ui::MainDialogs hooks_;
};

TEST_F(OptionsWindow, OkWritesTheChangedSettings) {
  WhenOpen("Options", [](QWidget*) {
    Type("25");
    Tab();
    Key(Qt::Key_Space);  // image sequences off
    Tab();
    Type(".mkv");
    Tab();
    Type(".flac");
    Tab();
    Key(Qt::Key_Space);  // overwrite warning off
    Tab(2);
    Key(Qt::Key_Space);  // signal on
    Tab();
    Type("/tmp/bell.wav");
    Tab();
    Type("4");
    Key(Qt::Key_Return);
  });
  ASSERT_TRUE(ui::Dialogs().options(nullptr));
  const Preferences p = Stored();
  EXPECT_DOUBLE_EQ(p.defaultFPS, 25.0);
  EXPECT_EQ(p.detectImgSeq, 0);
  EXPECT_EQ(p.defaultVideoExt, ".mkv");
  EXPECT_EQ(p.defaultAudioExt, ".flac");
  EXPECT_EQ(p.warningOverwrite, 0);
  EXPECT_EQ(p.playOutput, -1);
  EXPECT_EQ(p.signalEnd, -1);
  EXPECT_EQ(p.signalSound, "/tmp/bell.wav");
  EXPECT_EQ(p.signalMin, 4);
}

TEST_F(OptionsWindow, UnitsAndCacheSizeAreKeptAcrossOpenings) {
  for (int opening = 0; opening < 2; ++opening) {
    WhenOpen("Options", [&](QWidget*) {
      Tab(11);
      Type(opening == 0 ? "64" : "0");
      Tab(2);
      if (opening == 0) Key(Qt::Key_Down);  // video positions as times
      Key(Qt::Key_Return);
    });
    ASSERT_TRUE(ui::Dialogs().options(nullptr));
  }
  const Preferences p = Stored();
  EXPECT_EQ(p.imgCacheSize, 0);
  EXPECT_EQ(p.videoUnit, 1) << "the second opening starts from what the first one stored";
  EXPECT_EQ(p.audioUnit, 1);
}

TEST_F(OptionsWindow, CancelWritesNothing) {
  WhenOpen("Options", [](QWidget*) {
    Type("12");
    Key(Qt::Key_Escape);
  });
  EXPECT_FALSE(ui::Dialogs().options(nullptr));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(PrefsFile())));
}

}  // namespace
}  // namespace rf
