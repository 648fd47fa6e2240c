// The block settings keep selections inside the file, read back what they show, and move a linked
// video block and its sound together.
#include "engine/blockedit.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/test_support.h"
#include "engine/project.h"

namespace rf {
namespace {

constexpr double kFps = 25;
constexpr double kRate = 8000;
constexpr int32_t kFrames = 100;
constexpr int32_t kSamples = 32000;  // 4 s, as the 100 frames

class BlockEditTest : public test::FoundationTest {
 protected:
  // A video block and its sound, linked both ways unless told otherwise; a second video block
  // before them when asked, so that the pair is not the first.
  void Build(double nativeFps, bool linkFlags = true, bool leading = false) {
    auto file = std::make_unique<QMMFileInfo>();
    file->name = "clip.avi";
    file->info.name = "/tmp/clip.avi";
    file->info.video.frameRate = nativeFps;
    project.list.files.push_back(std::move(file));
    MMBlockRec video{}, audio{};
    MMBlockP_SetFile(video, 0, 0, kFrames - 1, kFrames, kFps);
    MMBlockP_SetFile(audio, 0, 0, kSamples - 1, kSamples, kRate);
    const int32_t at = leading ? 1 : 0;
    video.link = audio.link = 0;
    audio.link = at;
    video.linked = audio.linked = linkFlags ? RF_TRUE : RF_FALSE;
    if (leading) {
      MMBlockRec first{};
      MMBlockP_SetFile(first, 0, 0, 9, kFrames, kFps);
      MMBlock_Insert(project.list.video, 0, ProjectNewBlock(project, first));
    }
    MMBlock_Insert(project.list.video, at, ProjectNewBlock(project, video));
    MMBlock_Insert(project.list.audio, 0, ProjectNewBlock(project, audio));
    settings.videoList = &project.list.video;
    settings.videoIndex = at;
    settings.audioList = &project.list.audio;
    settings.audioIndex = 0;
    edit.Load(settings, 10.0);
  }

  void TearDown() override {
    owner.reset();
    test::FoundationTest::TearDown();
  }

  std::unique_ptr<Project> owner = std::make_unique<Project>();
  Project& project = *owner;
  QInputSettings settings;
  BlockEdit edit;
};

TEST_F(BlockEditTest, LinkedBlocksFollowEitherSide) {
  Build(kFps);
  ASSERT_TRUE(edit.Linked());
  ASSERT_TRUE(edit.LinkActive());
  struct Step {
    int32_t side, field, value;
    int32_t videoIn, videoOut, audioIn, audioOut;
  };
  // 320 samples per frame.
  const Step steps[] = {
      {BE_VIDEO, BE_IN, 50, 50, 99, 16000, 31680},  {BE_VIDEO, BE_LENGTH, 10, 50, 59, 16000, 18880},
      {BE_AUDIO, BE_IN, 8000, 25, 59, 8000, 18880}, {BE_AUDIO, BE_LENGTH, 3200, 25, 34, 8000, 11199},
      {BE_AUDIO, BE_OUT, 4000, 12, 12, 4000, 4000},  // the in point follows the out point down
      {BE_VIDEO, BE_OUT, 500, 12, 99, 3840, 31680},  // clamped to the last frame
      {BE_VIDEO, BE_IN, -3, 0, 99, 0, 31680},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "side " << s.side << " field " << s.field << " value " << s.value);
    if (s.field == BE_IN) edit.SetIn(s.side, s.value);
    if (s.field == BE_OUT) edit.SetOut(s.side, s.value);
    if (s.field == BE_LENGTH) edit.SetLength(s.side, s.value);
    EXPECT_EQ(edit.Block(BE_VIDEO).first, s.videoIn);
    EXPECT_EQ(edit.Block(BE_VIDEO).last, s.videoOut);
    EXPECT_EQ(edit.Block(BE_AUDIO).first, s.audioIn);
    EXPECT_EQ(edit.Block(BE_AUDIO).last, s.audioOut);
  }
}

TEST_F(BlockEditTest, UnlinkedOrInactivePairsMoveAlone) {
  struct Case {
    const char* name;
    bool flags;
    bool activate;
  };
  for (const Case& c : {Case{"flags cleared", false, false}, Case{"unchecked by the user", true, false}}) {
    SCOPED_TRACE(c.name);
    project.list.files.clear();
    ProjectClear(project);
    Build(kFps, c.flags);
    EXPECT_TRUE(edit.Linked());
    edit.SetLinkActive(c.activate);
    edit.SetIn(BE_VIDEO, 40);
    EXPECT_EQ(edit.Block(BE_AUDIO).first, 0);
  }
  // A video block whose partner is not named back has no link at all.
  settings.audioIndex = NOT_SET;
  edit.Load(settings, 10.0);
  EXPECT_FALSE(edit.Linked());
  edit.SetLinkActive(true);
  EXPECT_FALSE(edit.LinkActive());
}

TEST_F(BlockEditTest, AFileWithoutFrameRateLinksAtTheDefaultRate) {
  Build(0);
  EXPECT_EQ(edit.ReferenceRate(), 10.0);
  edit.SetIn(BE_VIDEO, 10);
  EXPECT_EQ(edit.Block(BE_AUDIO).first, 8000);  // one second at 10 fps
  EXPECT_EQ(edit.Convert(BE_AUDIO, 12000), 15);
  EXPECT_EQ(edit.Convert(BE_VIDEO, 0), 0);
}

TEST_F(BlockEditTest, ALengthPastTheEndMovesTheInPointBack) {
  Build(kFps);
  edit.SetIn(BE_VIDEO, 90);
  edit.SetLength(BE_VIDEO, 20);
  EXPECT_EQ(edit.Block(BE_VIDEO).first, 80);
  EXPECT_EQ(edit.Block(BE_VIDEO).last, 99);
  edit.SetLength(BE_VIDEO, 500);
  EXPECT_EQ(edit.Block(BE_VIDEO).first, 0);
  edit.SelectAll(BE_AUDIO);
  EXPECT_EQ(edit.Block(BE_AUDIO).first, 0);
  EXPECT_EQ(edit.Block(BE_AUDIO).last, kSamples - 1);
}

TEST_F(BlockEditTest, EntriesShowAndReadNumbersAndTimes) {
  Build(kFps);
  edit.SetLinkActive(false);
  edit.SetIn(BE_VIDEO, 9);
  edit.SetOut(BE_VIDEO, 33);
  struct Case {
    int32_t unit, field;
    const char* shown;
    const char* typed;
    int32_t read;
  };
  const Case cases[] = {
      {BE_UNIT_NUMBER, BE_IN, "10", "7", 6},
      {BE_UNIT_NUMBER, BE_OUT, "34", "20", 19},
      {BE_UNIT_NUMBER, BE_LENGTH, "25", "5", 5},
      {BE_UNIT_NUMBER, BE_IN, "10", "seven", 9},  // not a number: unchanged
      {BE_UNIT_TIME, BE_IN, "00:00.360", "00:02.000", 50},
      {BE_UNIT_TIME, BE_OUT, "00:01.360", "00:02.000", 49},  // the end of frame 34, read as an end time
      {BE_UNIT_TIME, BE_LENGTH, "00:01.000", "00:00.400", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    edit.SetUnit(BE_VIDEO, c.unit);
    EXPECT_EQ(edit.FieldText(BE_VIDEO, c.field), c.shown);
    EXPECT_EQ(edit.ReadField(BE_VIDEO, c.field, c.typed), c.read);
  }
  edit.SetUnit(BE_VIDEO, BE_UNIT_NUMBER);
  EXPECT_EQ(edit.ReadField(BE_VIDEO, BE_IN, " 12 "), 11);
  EXPECT_EQ(edit.PositionLabel(BE_VIDEO, 250), "Time=00:03.960,  Frame=100");
  EXPECT_EQ(edit.PositionLabel(BE_AUDIO, kSamples + 5), "Time=00:04.000,  Sample=32001");
  edit.SetUnit(BE_VIDEO, 7);
  EXPECT_EQ(edit.ReadField(BE_VIDEO, BE_IN, "3"), NOT_SET);
}

TEST_F(BlockEditTest, UntouchedTimeEntriesKeepTheirPoints) {
  // At 30 fps the times shown are rounded to milliseconds, so reading them back by the rule
  // alone would move each point a frame earlier.
  Build(kFps);
  ASSERT_TRUE(edit.SetFrameRate(30.0));
  edit.SetUnit(BE_VIDEO, BE_UNIT_TIME);
  edit.SetLinkActive(false);
  for (int32_t out : {9, 10, 29, 98}) {
    edit.SetOut(BE_VIDEO, out);
    edit.SetIn(BE_VIDEO, out / 3);
    for (int32_t field : {BE_IN, BE_OUT, BE_LENGTH}) edit.SetField(BE_VIDEO, field, edit.FieldText(BE_VIDEO, field));
    EXPECT_EQ(edit.Block(BE_VIDEO).last, out);
    EXPECT_EQ(edit.Block(BE_VIDEO).first, out / 3);
  }
}

TEST_F(BlockEditTest, FrameRatesOutsideTheRangeAreRefused) {
  Build(kFps);
  struct Case {
    const char* typed;
    bool applied;
    double rate;
  };
  const Case cases[] = {{"12.5", true, 12.5}, {"0", false, 12.5},     {"2e6", false, 12.5},
                        {"abc", true, 12.5},  {"0.001", true, 0.001}, {"1000000", true, 1e6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(edit.SetFrameRate(c.typed), c.applied);
    EXPECT_EQ(edit.Rate(BE_VIDEO), c.rate);
  }
  EXPECT_EQ(edit.FrameRateText(), "1000000.000");
}

TEST_F(BlockEditTest, ApplyWritesBothBlocksAndReportsTheChange) {
  Build(kFps, true, true);
  edit.SetIn(BE_VIDEO, 20);
  edit.SetLength(BE_VIDEO, 30);
  ASSERT_TRUE(edit.SetFrameRate(20.0));
  edit.Apply(settings);
  const MMBlockRec& video = *project.list.video.items[1];
  const MMBlockRec& audio = *project.list.audio.items[0];
  EXPECT_EQ(video.first, 20);
  EXPECT_EQ(video.last, 49);
  EXPECT_EQ(video.frequency, 20.0);
  EXPECT_DOUBLE_EQ(video.endTime - video.startTime, 1.5);  // the times follow the new rate
  EXPECT_EQ(audio.first, 6400);
  EXPECT_EQ(audio.last, 15680);
  EXPECT_EQ(settings.startPosition, 10);
  EXPECT_EQ(settings.lengthChange, 30 - kFrames);
  EXPECT_EQ(project.list.video.totalQuants, 10 + 30);
}

}  // namespace
}  // namespace rf
