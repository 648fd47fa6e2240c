// The "Define Output" window driven by keyboard: what OK stores, what Cancel keeps, the order in
// which Tab walks the controls.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>
#include <string>
#include <vector>

#include "engine/outdef.h"
#include "foundation/errors.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

OutputDef DefaultOutput() {
  OutputDef def{};
  SetOutputDefaults(def, true, true);
  def.WaveFormat = OutPcmFormat(22050, 1, 8);
  OutCalcFinalSize(def);
  return def;
}

bool SameRecord(const OutputDef& a, const OutputDef& b) {
  OutputDefStored sa{}, sb{};
  OutputDefStore(a, sa);
  OutputDefStore(b, sb);
  return std::memcmp(&sa, &sb, sizeof sa) == 0;
}

// Opens the window on def, lets act drive it, and returns whether it was confirmed.
bool RunOutput(OutputDef& def, std::function<void(QWidget*)> act) {
  WhenOpen("Define Output", std::move(act));
  return ui::ShowOutputDialog(nullptr, def);
}

TEST(OutputWindow, TypedRatesAreKeptInTheirRanges) {
  const struct {
    const char* fps;
    const char* rate;
    double wantFps;
    uint32_t wantRate;
  } rows[] = {{"0", "96000", 0.001, 48000}, {"2000000", "4000", 1000000, 8000}, {"12.5", "not a rate", 12.5, 44100}};
  for (const auto& row : rows) {
    OutputDef def = DefaultOutput();
    EXPECT_TRUE(RunOutput(def, [&](QWidget* w) {
      Key(Qt::Key_Tab, Qt::ControlModifier);  // "Video"
      ClickInto(w, "Frames per second");
      Type(row.fps);
      Key(Qt::Key_Tab, Qt::ControlModifier);  // "Audio"
      ClickInto(w, "Sample rate");
      Type(row.rate);
      Key(Qt::Key_Return);
    }));
    EXPECT_DOUBLE_EQ(def.FPS, row.wantFps) << row.fps;
    EXPECT_EQ(def.WaveFormat.samplesPerSec, row.wantRate) << row.rate;
    EXPECT_EQ(def.WaveFormat.avgBytesPerSec, row.wantRate * def.WaveFormat.blockAlign);
  }
}

TEST(OutputWindow, CancelLeavesTheDefinitionAsItWas) {
  OutputDef def = DefaultOutput();
  const OutputDef before = def;
  EXPECT_FALSE(RunOutput(def, [](QWidget* w) {
    Key(Qt::Key_Tab, Qt::ControlModifier);
    ClickInto(w, "Frames per second");
    Type("50");
    Key(Qt::Key_B, Qt::AltModifier);  // "Save &Backwards"
    Key(Qt::Key_Escape);
  }));
  EXPECT_TRUE(SameRecord(def, before));
}

TEST(OutputWindow, FilesModesAndMnemonicsLandInTheRecord) {
  QTemporaryDir folder;
  const QString movie = folder.path() + "/clip.avi";
  OutputDef def = DefaultOutput();
  EXPECT_TRUE(RunOutput(def, [&](QWidget* w) {
    ClickInto(w, "Video file");
    Type(movie);
    Key(Qt::Key_Tab, Qt::ControlModifier);
    Key(Qt::Key_B, Qt::AltModifier);
    Key(Qt::Key_G, Qt::AltModifier);  // "&Grayscale"
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(OutVideoFile(def), movie.toStdString());
  EXPECT_EQ(def.VideoFormat, FF_AVI);
  EXPECT_EQ(OutAudioFile(def), movie.toStdString()) << "video and audio in the same file";
  EXPECT_NE(def.VideoOn, 0);
  EXPECT_EQ(def.Direction, -1);
  EXPECT_NE(def.Grayscale, 0);

  EXPECT_TRUE(RunOutput(def, [&](QWidget* w) {
    ClickInto(w, "Audio Only");
    ClickInto(w, "Audio file");
    Type(folder.path() + "/sound.wav");
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(def.OutMode, OM_AUDIO_ONLY);
  EXPECT_EQ(def.VideoOn, 0);
  EXPECT_EQ(OutVideoFile(def), "") << "no video name without a video output";
  EXPECT_EQ(def.AudioFormat, FF_WAV);
}

TEST(OutputWindow, MissingFolderIsWarnedAfterOk) {
  std::vector<std::string> shown;
  const auto previous =
      SetMessageBoxHook([&](MsgBox, const std::string&, const std::string& text) { shown.push_back(text); });
  OutputDef def = DefaultOutput();
  EXPECT_TRUE(RunOutput(def, [](QWidget* w) {
    ClickInto(w, "Video file");
    Type("/no/such/folder/clip.avi");
    Key(Qt::Key_Return);
  }));
  SetMessageBoxHook(previous);
  EXPECT_EQ(shown, std::vector<std::string>{"WARNING:  Destination video folder is not accessible."});
}

TEST(OutputWindow, RotateOpensOverTheWindowAndSwapsTheFinalSize) {
  OutputDef def = DefaultOutput();
  def.AutoSize = 0;
  def.Width = 640;
  def.Height = 480;
  OutCalcFinalSize(def);
  EXPECT_TRUE(RunOutput(def, [](QWidget*) {
    Key(Qt::Key_Tab, Qt::ControlModifier);
    WhenOpen("Rotate Image", [](QWidget* rotate) {
      ClickInto(rotate, "90 degrees");
      Key(Qt::Key_Return);
      WhenOpen("Define Output", [](QWidget*) { Key(Qt::Key_Return); });
    });
    Key(Qt::Key_T, Qt::AltModifier);  // "Ro&tate..."
  }));
  EXPECT_EQ(def.Rotation, 1);
  EXPECT_EQ(def.FinalWidth, 480);
  EXPECT_EQ(def.FinalHeight, 640);
}

TEST(OutputWindow, TabWalksTheVideoTabInReadingOrder) {
  OutputDef def = DefaultOutput();
  def.AutoSize = 0;
  def.Width = 640;
  def.Height = 480;
  def.CropTop = def.CropBottom = 60;
  OutCalcFinalSize(def);
  OutSetVideoFile(def, "/tmp/clip.avi");
  def.VideoFormat = FF_AVI;
  FFSaveSetFormat(def.VideoSaveOpt, FF_AVI);
  OutputFiles_OnChange(def);
  QStringList walked;
  RunOutput(def, [&](QWidget* w) {
    Key(Qt::Key_Tab, Qt::ControlModifier);
    ClickInto(w, "Frames per second");
    for (int i = 0; i < 14; ++i) {
      walked << FocusName();
      Tab();
    }
    Screenshot(w, "output-definition.png");
    Key(Qt::Key_Escape);
  });
  const QStringList expected = {
      "Frames per second", "Select a frame rate", "Automatic",       "Keep Original Duration", "&Rescale...",
      "&Crop...",          "Ro&tate...",          "Color depth",     "Select a color depth",   "&Grayscale",
      "D&ither",           "Single &Palette",     "Save &Backwards", "&Format Options..."};
  EXPECT_EQ(walked, expected);
}

}  // namespace
}  // namespace rf
