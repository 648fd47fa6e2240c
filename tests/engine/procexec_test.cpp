// The run commands over generated projects, watched through a recording progress window: the
// palette run's two windows, stop in the first pass, the half-second updates, every refusal of
// the output check, the interleave limits, colour count, average and preview.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "common/test_support.h"
#include "engine/batchjob.h"
#include "engine/con_run.h"
#include "engine/constate.h"
#include "engine/procexec.h"
#include "formats/ff_avi.h"
#include "formats/ffcodecs.h"
#include "foundation/errors.h"

namespace rf {
namespace {

using Clock = std::chrono::steady_clock;

// Records what a run shows and answers the window state it is given.
class RecordingView : public ProgressView {
 public:
  struct Opened {
    std::string caption;
    bool video, audio;
    int32_t interleave;  // as registered with the run when the window opened
  };
  std::vector<Opened> opens;
  int32_t closes = 0;
  std::vector<std::string> lines;
  std::vector<Clock::time_point> stateReads;
  std::string status;
  int32_t answer = PW_PROCESSING;

  void Open(const std::string& caption, bool videoLine, bool audioLine) override {
    opens.push_back({caption, videoLine, audioLine, detail::Con().Interleave});
  }
  void Close() override { ++closes; }
  void SetLine(int32_t, const std::string& text, int32_t) override { lines.push_back(text); }
  void SetTimes(const std::string&, const std::string&) override {}
  void SetTitle(const std::string&) override {}
  void SetStatus(const std::string& text) override { status = text; }
  int32_t State() override {
    stateReads.push_back(Clock::now());
    return answer;
  }
};

class ProcExecTest : public test::ConRunTest {
 protected:
  std::string dir = test::ScratchDir("procexec");
  RecordingView view;
  RunSettings settings;
  std::vector<std::string> messages;
  int32_t questions = 0;
  Answer reply = Answer::No;
  MessageBoxHook oldMessages;
  QuestionHook oldQuestions;

  void SetUp() override {
    ConRunTest::SetUp();
    oldMessages =
        SetMessageBoxHook([this](MsgBox, const std::string&, const std::string& text) { messages.push_back(text); });
    oldQuestions = SetQuestionHook([this](Buttons, const std::string&, const std::string& text) {
      messages.push_back(text);
      ++questions;
      return reply;
    });
  }
  void TearDown() override {
    SetMessageBoxHook(oldMessages);
    SetQuestionHook(oldQuestions);
    ConRunTest::TearDown();
  }

  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // A 24-bit picture of one colour.
  std::string SolidPicture(const std::string& name, int32_t width, int32_t height, uint8_t value) {
    Qimg img;
    _imgalloc_(img, width, height, 24, "Test.ProcExec.img");
    std::memset(img.data, value, size_t(img.size));
    ImgSave(Path(name), img, FF_AUTO);
    ImgFree(img);
    return Path(name);
  }

  // The output definition a front end would make: the automatic values, then depth and names.
  static void DefineOutput(Project& p, const std::string& video, const std::string& audio, int32_t depth) {
    OutputDef& def = p.output;
    CalcOptimalOutput(def, p.list);
    def.KeepDuration = RF_FALSE;  // one written frame for each source frame
    def.Depth = depth;
    def.OutMode = video.empty()    ? OM_AUDIO_ONLY
                  : audio.empty()  ? OM_VIDEO_ONLY
                  : video == audio ? OM_SAME_FILE
                                   : OM_SEPARATE;
    def.VideoFormat = video.empty() ? FF_AUTO : FFGetId(video, FF_SAVE_TABLE);
    def.AudioFormat = audio.empty() ? FF_AUTO : FFGetId(audio, FF_SAVE_TABLE);
    FFSaveSetFormat(def.VideoSaveOpt, def.VideoFormat);
    if (def.VideoFormat == FF_AVI) {
      AviSettingsInit(def.VideoSaveOpt.avi, AviFourCC("DIB"));
      def.VideoSaveOpt.avi.acceptedDepth = depth;
    }
    OutSetVideoFile(def, video);
    OutSetAudioFile(def, audio);
    OutputFiles_OnChange(def);
  }

  // Six 16 x 12 frames of six greys and a quarter second of sound.
  void SequenceAndSound(Project& p) {
    for (int32_t n = 1; n <= 6; ++n) SolidPicture("m000" + std::to_string(n) + ".tga", 16, 12, uint8_t(n * 30));
    ASSERT_TRUE(ProjectAddFile(p, Path("m0001.tga"), true));
    ASSERT_TRUE(ProjectAddFile(p, MakeWav(Path("s.wav"), 8000, 2000), false));
  }
};

TEST_F(ProcExecTest, PaletteRunOpensTwoWindowsAndStopInTheFirstEndsIt) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop);
    Project p;
    SequenceAndSound(p);
    const std::string out = Path(stop ? "stopped.avi" : "pal.avi");
    DefineOutput(p, out, out, 8);
    ASSERT_EQ(p.output.Depth, 8);
    view = RecordingView{};
    view.answer = stop ? PW_STOP : PW_PROCESSING;
    const int32_t result = StartProcessing(p, view, settings);
    ASSERT_GE(view.opens.size(), 1u);
    EXPECT_EQ(view.opens[0].caption, "Creating palette (Step 1 of 2)...");
    EXPECT_TRUE(view.opens[0].video);
    EXPECT_FALSE(view.opens[0].audio);
    if (stop) {
      EXPECT_EQ(view.opens.size(), 1u) << "no second pass after a stop";
      EXPECT_EQ(result, 1);
      EXPECT_FALSE(std::filesystem::exists(out));
      continue;
    }
    ASSERT_EQ(view.opens.size(), 2u);
    EXPECT_EQ(view.opens[1].caption, "Saving to file (Step 2 of 2)...");
    EXPECT_TRUE(view.opens[1].video && view.opens[1].audio);
    EXPECT_EQ(result, 0) << (messages.empty() ? "" : messages.back());
    EXPECT_EQ(view.status.rfind("Processing time: 00:00:0", 0), 0u) << view.status;
    QUniInfo info;
    ASSERT_TRUE(UniInfo(out, info, false));
    EXPECT_EQ(info.video.frames, 6);
    EXPECT_EQ(info.video.bpp, 8);
    EXPECT_GT(info.audio.frames, 0);
  }
}

// Frames slow enough for several updates: every update lies half a second after the one before,
// and the calls in between read no state.
TEST_F(ProcExecTest, UpdatesComeHalfASecondApart) {
  Project p;
  const std::string frame = SolidPicture("frame.tga", 96, 72, 90);
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(ProjectAddFile(p, frame, false));
  const double values[3] = {7, 0, 0};
  ProjectAddEffect(p, BatchEffectId("Oil painting"), values, 1, 0, 999);
  DefineOutput(p, Path("slow.bmp"), "", 24);
  ASSERT_EQ(StartProcessing(p, view, settings), 0);
  ASSERT_FALSE(view.stateReads.empty());
  EXPECT_LT(view.stateReads.size(), 200u);
  for (size_t i = 1; i < view.stateReads.size(); ++i)
    EXPECT_GT(view.stateReads[i] - view.stateReads[i - 1], std::chrono::milliseconds(500));
  EXPECT_EQ(view.lines.size(), view.stateReads.size());
  EXPECT_EQ(view.lines[0].rfind("Video: frame ", 0), 0u) << view.lines[0];
}

TEST_F(ProcExecTest, InterleaveLimitedToOneAndTheFrameCount) {
  const struct { int32_t interleave, registered; } kCases[] = {{0, 1}, {-3, 1}, {4, 4}, {6, 6}, {1000, 6}};
  for (const auto& c : kCases) {
    Project p;
    SequenceAndSound(p);
    DefineOutput(p, Path("i.avi"), Path("i.avi"), 24);
    p.output.Interleave = c.interleave;
    view = RecordingView{};
    settings.warningOverwrite = false;
    ASSERT_EQ(StartProcessing(p, view, settings), 0) << testing::PrintToString(messages);
    ASSERT_EQ(view.opens.size(), 1u);
    EXPECT_EQ(view.opens[0].interleave, c.registered) << c.interleave;
  }
}

TEST_F(ProcExecTest, CheckOutputRefusesWithOneMessage) {
  const std::string picture = SolidPicture("in.bmp", 8, 8, 40), sound = MakeWav(Path("in.wav"), 8000, 800);
  const std::string existing = Path("old.avi"), existingWav = Path("old.wav");
  test::WriteWholeFile(existing, "old");
  test::WriteWholeFile(existingWav, "old");
  const std::string kOther = "Please select another output file, this one is used as the input file.";
  const std::string kName = "Please enter the output file name.";
  const std::string kAsk = "File \u201c" + existing + "\u201d already exists. Overwrite?";
  const auto videoOnWithoutName = [](OutputDef& def) { def.VideoOn = RF_TRUE; };
  const struct {
    bool picture, sound;
    std::string video, audio;
    std::function<void(OutputDef&)> adjust;
    Answer reply;
    bool passes;
    std::vector<std::string> messages;
  } kCases[] = {
      {false, false, Path("o.avi"), Path("o.avi"), nullptr, Answer::No, false, {"There are no input files."}},
      {true, true, "", "", nullptr, Answer::No, false, {kName}},
      {true, true, "", Path("o.wav"), videoOnWithoutName, Answer::No, false, {kName}},
      {false,
       true,
       Path("o.bmp"),
       "",
       nullptr,
       Answer::No,
       false,
       {"This combination of input files and output settings cannot produce any output."}},
      {true, true, Path("o.avi"), sound, nullptr, Answer::No, false, {kOther}},
      {true, true, picture, "", nullptr, Answer::No, false, {kOther}},
      {true, true, Path("o.avi"), Path("o.avi"), nullptr, Answer::No, true, {}},
      {true, true, existing, existing, nullptr, Answer::No, false, {kAsk}},
      {true, true, existing, existing, nullptr, Answer::Yes, true, {kAsk}},
      {true,
       true,
       existing,
       existingWav,
       nullptr,
       Answer::Yes,
       true,
       {kAsk, "File \u201c" + existingWav + "\u201d already exists. Overwrite?"}},
  };
  for (const auto& c : kCases) {
    Project p;
    EXPECT_TRUE(!c.picture || ProjectAddFile(p, picture, false));
    EXPECT_TRUE(!c.sound || ProjectAddFile(p, sound, false));
    DefineOutput(p, c.video, c.audio, 24);
    if (c.adjust) c.adjust(p.output);
    messages.clear();
    reply = c.reply;
    EXPECT_EQ(CheckOutput(p, settings), c.passes) << c.video << " " << c.audio;
    EXPECT_EQ(messages, c.messages) << c.video << " " << c.audio;
  }
}

// The block sources walk the lists in the output's order; a frame that cannot be read is told
// once, with its file, and the run ends with an error and no output.
TEST_F(ProcExecTest, BlocksInTheOutputsOrderAndAFailedLoadToldOnce) {
  const struct {
    int32_t direction;
    uint8_t first, last;
  } kOrders[] = {{1, 10, 200}, {-1, 200, 10}};
  for (const auto& o : kOrders) {
    Project p;
    ASSERT_TRUE(ProjectAddFile(p, SolidPicture("a.bmp", 8, 8, 10), false));
    ASSERT_TRUE(ProjectAddFile(p, SolidPicture("b.bmp", 8, 8, 200), false));
    DefineOutput(p, Path("order.bmp"), "", 24);
    p.output.Direction = o.direction;
    settings.warningOverwrite = false;
    ASSERT_EQ(StartProcessing(p, view, settings), 0);
    const uint8_t expected[2] = {o.first, o.last};
    for (int32_t i = 0; i < 2; ++i) {
      Qimg img;
      ImgLoad(Path("order" + std::to_string(i) + ".bmp"), img, FF_AUTO);
      ASSERT_TRUE(ErrNone());
      EXPECT_EQ(img.data[0], expected[i]) << o.direction << " frame " << i;
      ImgFree(img);
    }
  }
  const std::string cut = Path("cut.bmp");
  test::WriteWholeFile(cut, test::ReadWholeFile(SolidPicture("whole.bmp", 64, 48, 5)).substr(0, 3000));
  Project p;
  ASSERT_TRUE(ProjectAddFile(p, cut, false));
  DefineOutput(p, Path("never.bmp"), "", 24);
  messages.clear();
  EXPECT_EQ(StartProcessing(p, view, settings), 2);
  EXPECT_EQ(messages, std::vector<std::string>{"Image data corrupted. (file: " + cut + ")"});
  EXPECT_FALSE(std::filesystem::exists(Path("never.bmp")));
  EXPECT_TRUE(ErrNone());
}

TEST_F(ProcExecTest, CountColorsWritesNothing) {
  Project p;
  ASSERT_TRUE(ProjectAddFile(p, MakeSequence(dir, ".bmp", 5), true));
  int32_t colors = 0;
  const auto before = std::distance(std::filesystem::directory_iterator(dir), {});
  EXPECT_EQ(CountColors(p, view, settings, colors), 1);
  // Black and one red value per frame.
  EXPECT_EQ(colors, 6);
  EXPECT_EQ(messages, std::vector<std::string>{"Number of unique colors: 6"});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), before);
  ASSERT_EQ(view.opens.size(), 1u);
  EXPECT_EQ(view.opens[0].caption, "Counting colors");
}

TEST_F(ProcExecTest, AverageWritesTheMeanFrame) {
  Project p;
  for (const uint8_t v : {10, 30, 50})
    ASSERT_TRUE(ProjectAddFile(p, SolidPicture("a" + std::to_string(v) + ".bmp", 8, 6, v), false));
  DefineOutput(p, Path("mean.bmp"), "", 24);
  ASSERT_EQ(TemporalAverage(p, view, settings), 0) << (messages.empty() ? "" : messages.back());
  Qimg mean;
  ImgLoad(Path("mean.bmp"), mean, FF_AUTO);
  ASSERT_TRUE(ErrNone());
  EXPECT_EQ(mean.width, 8);
  EXPECT_EQ(mean.data[0], 30);
  EXPECT_EQ(mean.data[mean.size - 1], 30);
  ImgFree(mean);
  EXPECT_FALSE(std::filesystem::exists(Path("mean1.bmp"))) << "one picture only";
}

TEST_F(ProcExecTest, PreviewFitsThePresetAndRestoresTheOutput) {
  const struct {
    int32_t mode, width, height, bits;
  } kCases[] = {{0, 100, 75, 8}, {2, 200, 150, 16}, {3, 320, 240, 16}, {9, 320, 240, 16}};
  settings.tempFolder = dir;
  for (const auto& c : kCases) {
    Project p;
    ASSERT_TRUE(ProjectAddFile(p, SolidPicture("p.bmp", 320, 240, 77), false));
    ASSERT_TRUE(ProjectAddFile(p, MakeWav(Path("p.wav"), 11025, 4000), false));
    DefineOutput(p, Path("final.avi"), Path("final.avi"), 24);
    const OutputDef before = p.output;
    settings.previewMode = c.mode;
    std::string name;
    ASSERT_EQ(RenderPreview(p, view, settings, name), 0) << (messages.empty() ? "" : messages.back());
    EXPECT_EQ(name, Path("$reelforge-preview.hav"));
    EXPECT_EQ(std::memcmp(&before, &p.output, sizeof before), 0) << "the output definition is restored whole";
    QUniInfo info;
    ASSERT_TRUE(UniInfo(name, info, false));
    EXPECT_EQ(info.format, FF_HAV);
    EXPECT_EQ(info.video.width, c.width) << c.mode;
    EXPECT_EQ(info.video.height, c.height) << c.mode;
    EXPECT_EQ(info.video.bpp, c.bits) << c.mode;
    EXPECT_TRUE(info.audio.hasAudio);
  }
}

}  // namespace
}  // namespace rf
