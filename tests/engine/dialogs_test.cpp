// The rules of the output and geometry dialogs: what each field accepts, what it becomes, and
// what OK stores.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "common/test_support.h"
#include "engine/geodlg.h"
#include "engine/outdlg.h"
#include "formats/ffdesc.h"

namespace rf {
namespace {

class DialogsTest : public test::FoundationTest {
 protected:
  OutputDef def{};
  void SetUp() override {
    FoundationTest::SetUp();
    SetOutputDefaults(def, true, true);
    def.Width = 640;
    def.Height = 480;
    OutCalcFinalSize(def);
    RescaleFixedAspect() = {};
  }
};

TEST_F(DialogsTest, RescaleFields) {
  struct Case {
    const char* what;
    const char* width;
    const char* height;
    const char* ratio;
    const char* divisor;
    bool fixed;
    int exitField;  // 0 width, 1 height, 2 ratio, 3 divisor
    const char* widthAfter;
    const char* heightAfter;
  } cases[] = {
      {"641 made divisible by 16", "641", "480", "1.5", "16", false, 0, "640", "480"},
      {"fixed 4:3 from the width", "640", "1", "1.333333", "1", true, 0, "640", "480"},
      {"fixed 16:9 from the height", "1", "720", "1.777778", "1", true, 1, "1280", "720"},
      {"leaving the ratio applies it to the width", "800", "1", "2", "1", true, 2, "800", "400"},
      {"half to even, down", "18", "99", "4", "1", true, 0, "18", "4"},
      {"half to even, up", "22", "99", "4", "1", true, 0, "22", "6"},
      {"an unreadable width keeps the old one", "abc", "480", "1", "1", false, 0, "640", "480"},
      {"sizes kept in 4..4096", "5000", "2", "1", "1", false, 0, "4096", "4"},
      {"a height the ratio pushes too far is limited", "4096", "1", "0.5", "1", true, 0, "4096", "4096"},
      {"a divisor above 256 is 256", "1000", "600", "1", "999", false, 3, "768", "512"},
      {"a divisor of 0 is 1", "641", "481", "1", "0", false, 3, "641", "481"},
      {"divisible never goes below a usable side", "20", "4", "1", "16", false, 3, "16", "16"},
      {"an unusable ratio is width / height", "300", "200", "0", "1", true, 0, "300", "200"},
      {"an unreadable ratio is width / height", "300", "200", "wide", "1", true, 0, "300", "200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RescaleDialog d(def);
    d.automatic = false;
    d.width = c.width;
    d.height = c.height;
    d.ratio = c.ratio;
    d.divisor = c.divisor;
    d.fixedAspect = c.fixed;
    const decltype(&RescaleDialog::WidthExit) exits[] = {&RescaleDialog::WidthExit, &RescaleDialog::HeightExit,
                                                         &RescaleDialog::RatioExit, &RescaleDialog::DivisorExit};
    (d.*exits[c.exitField])();
    EXPECT_EQ(d.width, c.widthAfter);
    EXPECT_EQ(d.height, c.heightAfter);
  }
  RescaleDialog d(def);
  d.ratio = "99999";
  d.RatioExit();
  EXPECT_EQ(d.ratio, "4096") << "the ratio is kept in 1/4096..4096";
}

TEST_F(DialogsTest, RescaleSelectAndAccept) {
  RescaleDialog d(def);
  d.divisor = "64";
  d.SelectResolution(5);  // DV 704 x 480 (NTSC)
  EXPECT_FALSE(d.automatic);
  EXPECT_EQ(d.width, "704");
  EXPECT_EQ(d.height, "448");
  d.fixedAspect = true;
  d.resample = false;
  d.smallMode = SM_BORDER;
  d.largeMode = SM_CENTER;
  d.borderColor = 0x12345678;
  def.Rotation = 1;
  d.Accept(def);
  EXPECT_EQ(std::tuple(def.AutoSize, def.Width, def.Height, def.DivisibleBy, def.Filter),
            std::tuple(RF_FALSE, 704, 448, 64, 0));
  EXPECT_EQ(std::tuple(def.SmallMode, def.LargeMode, def.BorderColor), std::tuple(SM_BORDER, SM_CENTER, 0x345678));
  EXPECT_EQ(std::tuple(def.FinalWidth, def.FinalHeight), std::tuple(448, 704)) << "the final size follows";
  EXPECT_TRUE(RescaleDialog(def).fixedAspect) << "the check box is remembered by the next dialog";

  RescaleDialog automatic(def);
  automatic.automatic = true;
  automatic.width = "100";
  automatic.Accept(def);
  EXPECT_EQ(std::tuple(def.AutoSize, def.Width, def.Height), std::tuple(RF_TRUE, def.SrcWidth, def.SrcHeight));
  EXPECT_STREQ(kResolutionPresets[RES_PRESET_COUNT - 1].name, "DVD 720 x 576 (PAL)");
}

TEST_F(DialogsTest, CropMarginsLeaveFourPixels) {
  def.Width = 100;
  def.Height = 50;
  struct Case {
    const char *left, *top, *right, *bottom;
    int32_t l, t, r, b;
  } cases[] = {
      {"10", "5", "10", "0", 10, 5, 10, 0}, {"200", "0", "50", "0", 96, 0, 0, 0}, {"60", "0", "50", "0", 60, 0, 36, 0},
      {"0", "46", "0", "9", 0, 46, 0, 0},   {"0", "40", "0", "9", 0, 40, 0, 6},   {"-5", "x", "3", "", 0, 0, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "," << c.top << "," << c.right << "," << c.bottom);
    CropDialog d(def);
    d.left = c.left;
    d.top = c.top;
    d.right = c.right;
    d.bottom = c.bottom;
    d.MarginExit();
    EXPECT_EQ(d.left, std::to_string(c.l));
    EXPECT_EQ(d.top, std::to_string(c.t));
    EXPECT_EQ(d.right, std::to_string(c.r));
    EXPECT_EQ(d.bottom, std::to_string(c.b));
    EXPECT_EQ(d.ResultWidth(), 100 - c.l - c.r);
    EXPECT_EQ(d.ResultHeight(), 50 - c.t - c.b);
  }
  CropDialog d(def);
  d.left = d.right = "10";
  d.MarginExit();
  EXPECT_EQ(d.RatioText(), "1.600");
  EXPECT_EQ(d.ResizeBackCaption(), "Resize back to 100 x 50");
  d.resizeBack = true;
  d.Accept(def);
  EXPECT_EQ(std::tuple(def.CropLeft, def.CropRight, def.ResizeBack, def.FinalWidth), std::tuple(10, 10, RF_TRUE, 100));
  CropDialog again(def);
  EXPECT_EQ(again.left, "10");
  again.NoCropping();
  again.resizeBack = false;
  again.Accept(def);
  EXPECT_EQ(std::tuple(def.CropLeft, def.CropRight, def.FinalWidth), std::tuple(0, 0, 100));
}

TEST_F(DialogsTest, RotateButtons) {
  const int32_t rotations[] = {0, 1, 3, 2};
  const int32_t finalWidths[] = {640, 480, 480, 640};
  for (int32_t b = 0; b < ROT_BUTTON_COUNT; ++b) {
    RotateDialog d(def);
    d.Press(b);
    d.Accept(def);
    EXPECT_EQ(def.Rotation, rotations[b]) << kRotateButtons[b].caption;
    EXPECT_EQ(def.FinalWidth, finalWidths[b]) << kRotateButtons[b].caption;
  }
}

TEST_F(DialogsTest, OutputVideoFields) {
  OutputDialog d(def);
  const struct {
    const char* text;
    double fps;
  } rates[] = {{"0", 0.001}, {"29.97", 29.97}, {"abc", 29.97}, {"2000000", 1000000}, {"-5", 0.001}};
  for (const auto& r : rates) {
    d.SetFPSText(r.text);
    EXPECT_DOUBLE_EQ(d.Edit().FPS, r.fps) << r.text;
  }
  EXPECT_EQ(d.VideoCodecLabel(), "Video file name (or file type) is not selected.");
  EXPECT_TRUE(d.DepthChoices().empty());
  const struct {
    const char* name;
    std::vector<int32_t> depths;
  } formats[] = {{"/o/a.bmp", {24, 15, 8}}, {"/o/a.png", {24, 8}}, {"/o/a.flc", {8}}, {"/o/a.jpg", {24}}};
  for (const auto& f : formats) {
    d.SetVideoFile(f.name);
    std::vector<int32_t> bits;
    for (const QDepthChoice& c : d.DepthChoices()) bits.push_back(c.bits);
    EXPECT_EQ(bits, f.depths) << f.name;
  }
  d.SetDepth(15);
  EXPECT_EQ(d.Edit().Depth, 24) << "the JPEG format offers no 15 bits";
  d.SetBackwards(true);
  EXPECT_EQ(d.Edit().Direction, -1);
}

TEST_F(DialogsTest, OutputAudioFields) {
  OutputDialog d(def);
  const struct {
    const char* text;
    uint32_t rate;
  } rates[] = {{"96000", 48000}, {"4000", 8000}, {"22050", 22050}, {"abc", 44100}};
  for (const auto& r : rates) {
    d.SetAudioRateText(r.text);
    EXPECT_EQ(d.Edit().WaveFormat.samplesPerSec, r.rate) << r.text;
  }
  d.ApplyAudioPreset(0);
  EXPECT_EQ(GetAudioFormatStr(d.Edit().WaveFormat), "44100 Hz, stereo, 16-bit");
  d.ApplyAudioPreset(2);
  EXPECT_EQ(GetAudioFormatStr(d.Edit().WaveFormat), "8000 Hz, mono, 8-bit");
  d.SetStereo(true);
  d.Set16Bit(true);
  EXPECT_EQ(GetAudioFormatStr(d.Edit().WaveFormat), "8000 Hz, stereo, 16-bit");
  EXPECT_EQ(d.Edit().WaveFormat.blockAlign, 4);
  d.SetInterleaveText("5");
  d.SetInterleaveText("five");
  EXPECT_EQ(d.Edit().Interleave, 5);
  const struct {
    const char* name;
    int32_t format;
  } names[] = {{"/o/s.wav", FF_WAV}, {"/o/s.avi", FF_AVI}, {"/o/s.bmp", FF_AUTO}, {"/o/s", FF_AUTO}};
  for (const auto& n : names) {
    d.SetAudioFile(n.name);
    EXPECT_EQ(d.Edit().AudioFormat, n.format) << n.name;
  }
}

TEST_F(DialogsTest, OutputModesAndAccept) {
  const std::string dir = test::ScratchDir("dialogs");
  struct Case {
    int32_t mode;
    bool videoEnabled, audioEnabled;
    std::vector<std::string> warnings;
  } cases[] = {
      {OM_SAME_FILE, true, false, {"WARNING:  Destination video folder is not accessible."}},
      {OM_SEPARATE,
       true,
       true,
       {"WARNING:  Destination video folder is not accessible.",
        "WARNING:  Destination audio folder is not accessible."}},
      {OM_VIDEO_ONLY, true, false, {"WARNING:  Destination video folder is not accessible."}},
      {OM_AUDIO_ONLY, false, true, {"WARNING:  Destination audio folder is not accessible."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    OutputDialog d(def);
    d.SetOutMode(c.mode);
    EXPECT_EQ(d.VideoNameEnabled(), c.videoEnabled);
    EXPECT_EQ(d.AudioNameEnabled(), c.audioEnabled);
    d.SetVideoFile(dir + "/missing/movie.avi");
    d.SetAudioFile(dir + "/missing/sound.wav");
    OutputDef target{};
    EXPECT_EQ(d.Accept(target), c.warnings);
    d.SetVideoFile(dir + "/movie.avi");
    d.SetAudioFile(dir + "/sound.wav");
    EXPECT_TRUE(d.Accept(target).empty());
    EXPECT_EQ(OutAudioFile(target), c.mode == OM_SAME_FILE ? dir + "/movie.avi"
                                    : c.audioEnabled       ? dir + "/sound.wav"
                                                           : "")
        << "OK also normalises";
  }
  OutSetVideoFile(def, dir + "/earlier.avi");
  def.LastVideoFile = def.VideoFile;
  OutputDialog d(def);
  d.SetVideoFile("bare.avi");
  EXPECT_EQ(OutVideoFile(d.Edit()), dir + "/bare.avi") << "a bare name goes to the last video folder";
}

}  // namespace
}  // namespace rf
