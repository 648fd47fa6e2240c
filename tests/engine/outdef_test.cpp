// The output definition: defaults by part, the final size, the values derived from the edit list,
// the normalisation of names and outputs, and its texts.
#include "engine/outdef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "common/test_support.h"
#include "formats/ffdesc.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class OutDefTest : public test::FoundationTest {
 protected:
  MMList mm;
  OutputDef def{};

  void SetUp() override {
    FoundationTest::SetUp();
    MMInit(mm);
    SetOutputDefaults(def, true, true);
  }
  void TearDown() override {
    MMDone(mm);
    OutSetDefaultFPS(30);
    FoundationTest::TearDown();
  }

  int32_t AddFile(int32_t w, int32_t h, double fps, double rate = 0, int32_t channels = 0, int32_t bits = 0) {
    auto f = std::make_unique<QMMFileInfo>();
    f->info.video.width = w;
    f->info.video.height = h;
    f->info.video.frameRate = fps;
    f->info.audio.samplesPerSec = rate;
    f->info.audio.channels = channels;
    f->info.audio.bitsPerSample = bits;
    mm.files.push_back(std::move(f));
    return int32_t(mm.files.size()) - 1;
  }

  static MMBlockRec* NewBlock() {
    MMBlockRec* b = nullptr;
    EXPECT_EQ(_memalloc_(b, int32_t(sizeof(MMBlockRec)), MEM_NEW, "Test.OutDef.block"), 0);
    return b;
  }
  void AddBlock(MMBlockList& list, int32_t file, int32_t quants, double frequency) {
    MMBlockRec* b = NewBlock();
    MMBlockP_SetFile(*b, file, 0, quants - 1, quants, frequency);
    MMBlock_Insert(list, int32_t(list.items.size()), b);
  }
  void AddSilence(double seconds) {
    MMBlockRec* b = NewBlock();
    MMBlockP_SetSilence(*b, seconds);
    MMBlock_Insert(mm.audio, int32_t(mm.audio.items.size()), b);
  }
};

TEST_F(OutDefTest, DefaultsResetOnlyTheirPart) {
  def.OutMode = OM_AUDIO_ONLY;
  def.Width = 100;
  def.Samples = 1234;
  def.Grayscale = RF_TRUE;
  def.WaveFormat = OutPcmFormat(44100, 2, 16);
  SetOutputDefaults(def, true, false);
  EXPECT_EQ(def.OutMode, OM_AUDIO_ONLY) << "the mode is reset only with both parts";
  EXPECT_EQ(def.Width, OUT_PLACEHOLDER_WIDTH);
  EXPECT_EQ(def.WaveFormat.samplesPerSec, 44100u);
  SetOutputDefaults(def, false, true);
  EXPECT_EQ(def.WaveFormat.samplesPerSec, 8000u);
  EXPECT_EQ(GetAudioFormatStr(def.WaveFormat), "8000 Hz, mono, 8-bit");
  EXPECT_EQ(def.Interleave, 30) << "the truncated frame rate";
  EXPECT_EQ(def.Samples, 1234);
  EXPECT_EQ(def.Grayscale, RF_TRUE);
  SetOutputDefaults(def, true, true);
  EXPECT_EQ(def.OutMode, OM_SAME_FILE);
  EXPECT_EQ(def.VideoFormat, FF_AUTO);
  EXPECT_EQ(def.Depth, 24);
  EXPECT_EQ(def.Direction, 1);
}

TEST_F(OutDefTest, StoredLayoutRoundTrip) {
  def.Width = 0x01020304;
  def.FPS = 29.97;
  def.Interleave = 7;
  OutSetVideoFile(def, "/a.avi");
  def.WaveFormat = OutPcmFormat(22050, 2, 16);
  OutputDefStored stored;
  OutputDefStore(def, stored);
  uint8_t bytes[sizeof stored];
  std::memcpy(bytes, &stored, sizeof stored);
  EXPECT_EQ(std::tuple(bytes[870], bytes[873]), std::tuple(4, 1)) << "little-endian at its offset";
  EXPECT_EQ(std::tuple(bytes[16], bytes[17]), std::tuple(6, '/'));
  double fps;
  std::memcpy(&fps, bytes + 814, sizeof fps);
  EXPECT_EQ(fps, 29.97);
  uint32_t rate;
  std::memcpy(&rate, bytes + 1474 + 4, sizeof rate);
  EXPECT_EQ(rate, 22050u);
  EXPECT_EQ(bytes[1492], 7);
  OutputDef back{};
  OutputDefLoad(stored, back);
  EXPECT_EQ(std::memcmp(&back, &def, sizeof def), 0);
}

TEST_F(OutDefTest, FinalSize) {
  struct Case {
    int32_t w, h, left, right, top, bottom, resizeBack, rotation;
    int32_t finalW, finalH;
    bool marginsKept;
  } cases[] = {
      {100, 50, 10, 10, 0, 0, RF_FALSE, 0, 80, 50, true},    {100, 50, 10, 10, 0, 0, RF_TRUE, 0, 100, 50, true},
      {100, 50, 50, 46, 0, 0, RF_FALSE, 0, 4, 50, true},     // exactly 4 left
      {100, 50, 50, 47, 0, 0, RF_FALSE, 0, 100, 50, false},  // 3 left: all discarded
      {100, 50, 0, 0, 23, 24, RF_FALSE, 0, 100, 50, false},  {640, 480, 0, 0, 0, 0, RF_FALSE, 1, 480, 640, true},
      {640, 480, 0, 0, 0, 0, RF_FALSE, 3, 480, 640, true},   {640, 480, 0, 0, 0, 0, RF_FALSE, 2, 640, 480, true},
      {640, 480, 20, 0, 0, 40, RF_FALSE, 1, 440, 620, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " margins " << c.left << "," << c.right << "," << c.top
                                    << "," << c.bottom << " rotation " << c.rotation);
    def.Width = c.w;
    def.Height = c.h;
    def.CropLeft = c.left;
    def.CropRight = c.right;
    def.CropTop = c.top;
    def.CropBottom = c.bottom;
    def.ResizeBack = c.resizeBack;
    def.Rotation = c.rotation;
    OutCalcFinalSize(def);
    EXPECT_EQ(def.FinalWidth, c.finalW);
    EXPECT_EQ(def.FinalHeight, c.finalH);
    EXPECT_EQ(def.CropLeft == c.left && def.CropBottom == c.bottom, c.marginsKept);
  }
}

TEST_F(OutDefTest, VideoFollowsTheEditList) {
  const int32_t still = AddFile(320, 240, 0), movie = AddFile(640, 480, 25);
  AddBlock(mm.video, still, 10, 25);
  AddBlock(mm.video, movie, 20, 25);
  def.Rotation = 1;
  CalcOptimalOutput(def, mm);
  EXPECT_EQ(def.SrcWidth, 320) << "the first video block's file";
  EXPECT_EQ(def.Width, 320);
  EXPECT_EQ(def.Height, 240);
  EXPECT_EQ(def.FinalWidth, 240);
  EXPECT_DOUBLE_EQ(def.FPS, 25);
  EXPECT_EQ(def.Frames, 30);
  EXPECT_DOUBLE_EQ(def.Duration, 1.2);
  EXPECT_EQ(def.Interleave, 25);

  def.AutoSize = def.AutoFPS = RF_FALSE;
  def.Width = 100;
  def.FPS = 10;
  AddBlock(mm.video, movie, 5, 25);
  CalcOptimalOutput(def, mm);
  EXPECT_EQ(def.Width, 100) << "without AutoSize the size stays";
  EXPECT_EQ(def.Frames, 30) << "without AutoFPS the count stays";
  EXPECT_EQ(def.Interleave, 10);
}

TEST_F(OutDefTest, FrameRateFallsBackToThePreference) {
  OutSetDefaultFPS(12.5);
  AddBlock(mm.video, AddFile(64, 48, 0), 5, 12.5);
  AddBlock(mm.video, AddFile(64, 48, 0.0005), 5, 12.5);
  def.FPS = 99;
  CalcOptimalOutput(def, mm);
  EXPECT_DOUBLE_EQ(def.FPS, 12.5) << "no file reports a rate of at least 0.001";
  EXPECT_DOUBLE_EQ(def.Duration, 0.8);
  OutSetDefaultFPS(0);
  EXPECT_DOUBLE_EQ(OutDefaultFPS(), 0.001);
}

TEST_F(OutDefTest, AutomaticWaveFormat) {
  struct Case {
    const char* what;
    bool silence;
    double rate;
    int32_t channels, bits;
    bool autoChannels;
    const char* expected;
  } cases[] = {
      {"silence alone", true, 0, 0, 0, true, "8000 Hz, mono, 8-bit"},
      {"the highest of each", true, 22050, 2, 16, true, "22050 Hz, stereo, 16-bit"},
      {"a rate is truncated", false, 11025.9, 1, 8, true, "11025 Hz, mono, 8-bit"},
      {"channels kept from the current format", false, 44100, 2, 16, false, "44100 Hz, 6 channels, 16-bit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MMBlock_Delete(mm.audio, 0, int32_t(mm.audio.items.size()));
    if (c.silence) AddSilence(1.5);
    if (c.rate > 0) AddBlock(mm.audio, AddFile(0, 0, 0, c.rate, c.channels, c.bits), 100, c.rate);
    def.WaveFormat = OutPcmFormat(48000, 6, 24);
    def.AutoChannels = c.autoChannels ? RF_TRUE : RF_FALSE;
    CalcOptimalOutput(def, mm);
    EXPECT_EQ(GetAudioFormatStr(def.WaveFormat), c.expected);
    EXPECT_EQ(def.WaveFormat.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(def.WaveFormat.avgBytesPerSec, def.WaveFormat.samplesPerSec * def.WaveFormat.blockAlign);
    EXPECT_DOUBLE_EQ(def.AudioDuration, mm.audio.totalTime);
  }
}

TEST_F(OutDefTest, OutputsFollowModeAndNames) {
  struct Case {
    const char* what;
    int32_t mode;
    const char* video;
    const char* audio;
    int32_t depth;
    bool videoOn, audioOn;
    const char* audioAfter;  // "=": the video name
    int32_t depthAfter;
  } cases[] = {
      {"mode 0 with an AVI name shares the file", OM_SAME_FILE, "/out/movie.avi", "/out/other.wav", 24, true, true, "=",
       24},
      {"mode 0 with a picture sequence has no sound", OM_SAME_FILE, "/out/frame.bmp", "", 16, true, false, "", 24},
      {"separate files", OM_SEPARATE, "/out/anim.flc", "/out/sound.wav", 24, true, true, "/out/sound.wav", 8},
      {"a picture name for the sound", OM_SEPARATE, "/out/movie.avi", "/out/sound.bmp", 24, true, false, "", 24},
      {"video only drops the sound", OM_VIDEO_ONLY, "/out/movie.avi", "/out/sound.wav", 24, true, false, "", 24},
      {"audio only drops the video", OM_AUDIO_ONLY, "/out/movie.avi", "/out/sound.wav", 0, false, true,
       "/out/sound.wav", 24},
      {"a sound format as video", OM_SEPARATE, "/out/x.wav", "/out/sound.wav", NOT_SET, false, true, "/out/sound.wav",
       24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    def.OutMode = c.mode;
    OutSetVideoFile(def, c.video);
    OutSetAudioFile(def, c.audio);
    def.VideoFormat = FFGetId(c.video, FF_SAVE_TABLE);
    def.AudioFormat = FFGetId(c.audio, FF_SAVE_TABLE);
    def.Depth = c.depth;
    OutputFiles_OnChange(def);
    EXPECT_EQ(def.VideoOn != 0, c.videoOn);
    EXPECT_EQ(def.AudioOn != 0, c.audioOn);
    EXPECT_EQ(OutVideoFile(def), c.videoOn ? c.video : "");
    EXPECT_EQ(OutAudioFile(def), std::string(c.audioAfter) == "=" ? c.video : c.audioAfter);
    EXPECT_EQ(def.Depth, c.depthAfter);
  }
}

TEST_F(OutDefTest, NamesBecomeFullPaths) {
  OutSetVideoFile(def, "sub/../movie.avi");
  def.VideoFormat = FF_AVI;
  OutputFiles_OnChange(def);
  const std::string name = OutVideoFile(def);
  EXPECT_EQ(name.front(), '/');
  EXPECT_EQ(name.find(".."), std::string::npos);
  EXPECT_EQ(name.substr(name.size() - 10), "/movie.avi");
  EXPECT_EQ(OutAudioFile(def), name);
  OutSetVideoFile(def, std::string(300, 'a'));
  EXPECT_EQ(OutVideoFile(def).size(), 255u);
}

TEST(OutDefTextTest, Texts) {
  EXPECT_EQ(ResolutionToText(640, 480), "640 x 480");
  EXPECT_EQ(GetAudioFormatStr(OutPcmFormat(44100, 2, 16)), "44100 Hz, stereo, 16-bit");
  EXPECT_EQ(GetAudioFormatStr(OutPcmFormat(48000, 6, 24)), "48000 Hz, 6 channels, 24-bit");
  OutputDef def{};
  EXPECT_EQ(OutCropText(def), "No Cropping");
  def.CropLeft = 3;
  def.CropBottom = 7;
  EXPECT_EQ(OutCropText(def), "Left 3, Top 0, Right 0, Bottom 7");
  const char* rotations[] = {"No Rotation", "90 degrees", "180 degrees", "-90 degrees"};
  for (int32_t r = 0; r < 4; ++r) EXPECT_EQ(OutRotationText(r), rotations[r]);
  def.FinalWidth = 480;
  def.FinalHeight = 640;
  EXPECT_EQ(OutFinalSizeText(def), " Final Size:  480 x 640");
}

TEST_F(OutDefTest, OutputInformation) {
  def.OutMode = OM_SAME_FILE;
  OutSetVideoFile(def, "/out/movie.avi");
  def.VideoFormat = def.AudioFormat = FF_AVI;
  OutputFiles_OnChange(def);
  def.Depth = 8;
  def.Dither = RF_FALSE;
  def.Frames = 12345;
  def.FPS = 29.97;
  def.Duration = 65.04;
  def.Direction = -1;
  def.FinalWidth = 480;
  def.FinalHeight = 640;
  def.WaveFormat = OutPcmFormat(22050, 2, 16);
  def.AudioDuration = 2.5;
  def.Samples = 55125;
  def.Interleave = 29;
  const std::vector<std::string> both = {"VIDEO OUTPUT",
                                         "  File name: \t/out/movie.avi",
                                         "  Format: \t\tWindows Audio Video Interleaved",
                                         "  Resolution: \t480 x 640",
                                         "  Color depth: \t8-bit, single palette",
                                         "  Frames: \t\t12,345",
                                         "  Frame rate: \t29.97 fps, keep duration",
                                         "  Duration: \t01:05.040",
                                         "  Direction: \tBackwards",
                                         "",
                                         "AUDIO OUTPUT",
                                         "  File name: \t/out/movie.avi",
                                         "  Format: \t\t22050 Hz, stereo, 16-bit",
                                         "  Duration: \t00:02.500",
                                         "  Samples: \t55125",
                                         "  Interleave: \t29"};
  EXPECT_EQ(ShowOutputInfo(def, true, true), both);
  EXPECT_EQ(ShowOutputInfo(def, false, false),
            (std::vector<std::string>{"VIDEO OUTPUT", "  No video output", "", "AUDIO OUTPUT", "  No audio output"}));
  def.Dither = RF_TRUE;
  def.SinglePalette = RF_FALSE;
  EXPECT_EQ(ShowOutputInfo(def, true, false)[4], "  Color depth: \t8-bit, multi-palette, dithered");
}

TEST(OutDefTextTest, FormatLists) {
  auto names = [](int32_t capability) {
    std::string list;
    for (const QffDesc& d : VListPopulateFormats(capability)) {
      EXPECT_NE(d.flags & capability, 0);
      list += d.shortName + " ";
    }
    return list;
  };
  const std::string video = names(FFF_PICTURES), audio = names(FFF_SOUND);
  EXPECT_NE(video.find("AVI "), std::string::npos);
  EXPECT_NE(video.find("BMP "), std::string::npos);
  EXPECT_EQ(video.find("WAV "), std::string::npos);
  EXPECT_NE(audio.find("AVI "), std::string::npos);
  EXPECT_NE(audio.find("WAV "), std::string::npos);
  EXPECT_EQ(audio.find("BMP "), std::string::npos);
}

TEST(OutDefTextTest, FieldNumbers) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {{"25", true, 25},  {" 29.97 ", true, 29.97}, {"+3", true, 3},  {"", false, 0},
               {"12a", false, 0}, {"inf", false, 0},        {"nan", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double v = -1;
    EXPECT_EQ(OutParseFloat(c.text, v), c.ok);
    EXPECT_DOUBLE_EQ(v, c.ok ? c.value : -1.0);
  }
  int32_t i = 5;
  EXPECT_FALSE(OutParseInt("2.5", i));
  EXPECT_EQ(i, 5);
  EXPECT_TRUE(OutParseInt("-12", i));
  EXPECT_EQ(i, -12);
}

}  // namespace
}  // namespace rf
