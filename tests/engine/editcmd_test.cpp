// The edit list commands on generated pictures, sequences and a movie with sound: what blocks,
// links and effect ranges each command leaves, and what it tells the user.
#include "engine/editcmd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/test_support.h"
#include "effects/fnrun.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

class EditCmdTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("editcmd");
  test::MessageRecorder recorder;
  std::vector<std::string>& messages = recorder.texts;

  // Numbered 4 x 2 pictures prefix0001.bmp ..; returns their names.
  std::vector<std::string> Pictures(const std::string& prefix, int32_t count) {
    std::vector<std::string> names;
    for (int32_t n = 1; n <= count; ++n) {
      Qimg img;
      _imgalloc_(img, 4, 2, 24, "Test.EditCmd.img");
      char name[64];
      std::snprintf(name, sizeof name, "/%s%04d.bmp", prefix.c_str(), n);
      ImgSave(dir + name, img, FF_AUTO);
      ImgFree(img);
      names.push_back(dir + name);
    }
    return names;
  }

  // A 10-frame movie at 10 frames per second with one second of sound at 8000 Hz.
  std::string Movie() {
    const std::string name = dir + "/movie.avi";
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=16x8:rate=10 -f lavfi -i "
        "sine=sample_rate=8000 -t 1 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le '" +
        name + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return name;
  }

  static std::vector<int32_t> Lengths(const MMBlockList& list) {
    std::vector<int32_t> out;
    for (const MMBlockRec* b : list.items) out.push_back(b->last - b->first + 1);
    return out;
  }
  static std::vector<int32_t> Links(const MMBlockList& list) {
    std::vector<int32_t> out;
    for (const MMBlockRec* b : list.items) out.push_back(b->linked ? b->link : -1);
    return out;
  }
};

TEST_F(EditCmdTest, NamesFromTheDialogAreOrderedAsTheUserSeesThem) {
  const struct {
    std::vector<std::string> in, out;
  } cases[] = {
      {{"e", "b", "c", "d", "a"}, {"a", "b", "c", "d", "e"}},
      {{"e", "a", "b", "c", "d"}, {"e", "a", "b", "c", "d"}},
      {{"b", "a"}, {"a", "b"}},
      {{"c", "a", "b"}, {"b", "a", "c"}},
      {{"a", "d", "c", "b", "e"}, {"e", "d", "c", "b", "a"}},
      {{"E", "b", "C", "d", "A"}, {"A", "b", "C", "d", "E"}},
      {{"only"}, {"only"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> names = c.in;
    OrderProperly(names);
    EXPECT_EQ(names, c.out) << c.in.front();
  }
}

TEST_F(EditCmdTest, MovieWithSoundGivesLinkedBlocksAndInsertionKeepsLinksRight) {
  const std::string movie = Movie();
  Project project;
  FileAddStringList(project, {movie}, NOT_SET, NOT_SET, {});
  EXPECT_EQ(Lengths(project.list.video), std::vector<int32_t>({10}));
  EXPECT_EQ(Lengths(project.list.audio), std::vector<int32_t>({8000}));
  EXPECT_EQ(Links(project.list.video), std::vector<int32_t>({0}));
  EXPECT_EQ(Links(project.list.audio), std::vector<int32_t>({0}));

  // A silence block before the movie's sound and a second copy of the movie in front of it all.
  AddRequest silence = MakeAddRequest(project, NOT_SET, 0);
  silence.silenceDuration = 2;
  AudioSilenceAdd(project, silence);
  EXPECT_EQ(Links(project.list.video), std::vector<int32_t>({1}));
  FileAddStringList(project, {movie}, 0, 0, {});
  EXPECT_EQ(Links(project.list.video), std::vector<int32_t>({0, 2}));
  EXPECT_EQ(Links(project.list.audio), std::vector<int32_t>({0, -1, 1}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(EditCmdTest, SequencesAreDetectedOnlyForOneName) {
  const std::vector<std::string> names = Pictures("seq", 5);
  Project one;
  FileAddStringList(one, {names[0]}, NOT_SET, NOT_SET, {});
  EXPECT_EQ(Lengths(one.list.video), std::vector<int32_t>({5}));

  Project off;
  EditEnv noDetection;
  noDetection.detectImgSeq = false;
  FileAddStringList(off, {names[0]}, NOT_SET, NOT_SET, noDetection);
  EXPECT_EQ(Lengths(off.list.video), std::vector<int32_t>({1}));

  Project two;
  std::vector<std::string> statuses;
  EditEnv env;
  env.status = [&](const std::string& s) { statuses.push_back(s); };
  FileAddStringList(two, {names[0], names[1]}, NOT_SET, NOT_SET, env);
  EXPECT_EQ(Lengths(two.list.video), std::vector<int32_t>({1, 1}));
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[1], "Adding files, checking file 2 of 2...  (this may take several minutes)");
}

TEST_F(EditCmdTest, UnreadableFilesAreReportedOnlyWhenAddedAlone) {
  const std::string bad = dir + "/broken.bmp";
  test::WriteWholeFile(bad, "not a picture");
  const std::vector<std::string> good = Pictures("one", 1);
  Project project;
  FileAddStringList(project, {bad, good[0]}, NOT_SET, NOT_SET, {});
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(project.list.video.items.size(), 1u);

  FileAddStringList(project, {bad}, NOT_SET, NOT_SET, {});
  EXPECT_EQ(messages, std::vector<std::string>({"File \"" + bad + "\" cannot be opened."}));
  EXPECT_EQ(project.list.video.items.size(), 1u);
  EXPECT_EQ(project.list.files.size(), 1u);
}

TEST_F(EditCmdTest, TakeFieldsClampAndAZeroRateTakesTheDefault) {
  const std::string movie = Movie();
  Project project;
  AddRequest r = MakeAddRequest(project, NOT_SET, NOT_SET);
  r.fileName = movie;
  r.videoFirst = 50;  // beyond the file's 10 frames
  r.videoRate = 0;
  r.audioCount = 0;  // no sound
  ASSERT_TRUE(FileAdd(project, r, true, {}));
  ASSERT_EQ(project.list.video.items.size(), 1u);
  const MMBlockRec& b = *project.list.video.items[0];
  EXPECT_EQ(b.first, 9);
  EXPECT_EQ(b.last, 9);
  EXPECT_DOUBLE_EQ(b.frequency, OutDefaultFPS());
  EXPECT_FALSE(b.linked);
  EXPECT_TRUE(project.list.audio.items.empty());
}

TEST_F(EditCmdTest, SilenceIsClampedToItsRange) {
  const struct {
    double seconds;
    int32_t samples;
  } cases[] = {{0, 8}, {10, 80000}, {72000, 288000000}};
  for (const auto& c : cases) {
    Project project;
    AddRequest r = MakeAddRequest(project, NOT_SET, NOT_SET);
    r.silenceDuration = c.seconds;
    AudioSilenceAdd(project, r);
    EXPECT_EQ(Lengths(project.list.audio), std::vector<int32_t>({c.samples})) << c.seconds;
  }
  Project project;
  ProjectAddSilence(project, 1);
  SilenceSetDuration(project, 0, 0);
  EXPECT_EQ(Lengths(project.list.audio), std::vector<int32_t>({8}));
}

class EditCmdRangeTest : public EditCmdTest {
 protected:
  // Released before the fixture's leak check.
  std::unique_ptr<Project> owned = std::make_unique<Project>();
  Project& project = *owned;
  MMList clipboard;

  // Video blocks of 50, 100, 50 and 50 frames (one 50-frame sequence and one 100-frame one).
  void SetUp() override {
    EditCmdTest::SetUp();
    MMInit(clipboard);
    const std::string fifty = Pictures("a", 50)[0], hundred = Pictures("b", 100)[0];
    for (const std::string& name : {fifty, hundred, fifty, fifty})
      FileAddStringList(project, {name}, NOT_SET, NOT_SET, {});
    ASSERT_EQ(Lengths(project.list.video), std::vector<int32_t>({50, 100, 50, 50}));
  }
  void TearDown() override {
    MMDone(clipboard);
    owned.reset();
    EditCmdTest::TearDown();
  }
  // An effect on frames first..last that follows edits at both ends.
  QFnEntry& Effect(int32_t first, int32_t last) {
    QFnEntry& e = ProjectAddEffect(project, 1, nullptr, 0, first, last);
    e.flexStart = e.flexEnd = RF_TRUE;
    return e;
  }
};

TEST_F(EditCmdRangeTest, DeletingFramesShrinksTheRangesBehindThem) {
  QFnEntry& behind = Effect(160, 199);
  QFnEntry& before = Effect(0, 40);
  DeleteBlocks(project, EDIT_VIDEO, 1, 1);  // frames 50..149
  EXPECT_EQ(Lengths(project.list.video), std::vector<int32_t>({50, 50, 50}));
  EXPECT_EQ(std::make_pair(behind.first, behind.last), std::make_pair(60, 99));
  EXPECT_EQ(std::make_pair(before.first, before.last), std::make_pair(0, 40));
  EXPECT_EQ(project.list.files.size(), 1u);  // the 100-frame sequence is no longer used
}

TEST_F(EditCmdRangeTest, CutAndPasteMoveTheRangesWithTheFrames) {
  QFnEntry& last = Effect(200, 249);
  CutBlocks(project, clipboard, EDIT_VIDEO, 1, 1);
  EXPECT_EQ(std::make_pair(last.first, last.last), std::make_pair(100, 149));
  EXPECT_EQ(Lengths(clipboard.video), std::vector<int32_t>({100}));

  // Paste Below with the first block selected lands after it, not at the end.
  EXPECT_EQ(PasteBlocks(project, clipboard, EDIT_VIDEO, 0, 1, 1), 1);
  EXPECT_EQ(Lengths(project.list.video), std::vector<int32_t>({50, 100, 50, 50}));
  EXPECT_EQ(std::make_pair(last.first, last.last), std::make_pair(200, 249));

  EXPECT_EQ(PasteBlocks(project, clipboard, EDIT_VIDEO, 3, 0, 3), 3);
  EXPECT_EQ(Lengths(project.list.video), std::vector<int32_t>({50, 100, 50, 100, 100, 100, 50}));
  EXPECT_EQ(std::make_pair(last.first, last.last), std::make_pair(500, 549));
  EXPECT_EQ(PasteBlocks(project, clipboard, EDIT_VIDEO, 0, 0, 0), 0);
}

TEST_F(EditCmdRangeTest, AudioEditsLeaveRangesAndKeepVideoLinks) {
  const std::string movie = Movie();
  FileAddStringList(project, {movie}, 0, NOT_SET, {});
  QFnEntry& e = Effect(100, 120);
  EXPECT_EQ(Links(project.list.video).front(), 0);
  CopyBlocks(project, clipboard, EDIT_AUDIO, 0, 1);
  PasteBlocks(project, clipboard, EDIT_AUDIO, 0, 0, 2);
  EXPECT_EQ(Links(project.list.video).front(), 2);
  DeleteBlocks(project, EDIT_AUDIO, 0, 2);
  EXPECT_EQ(Links(project.list.video).front(), 0);
  EXPECT_EQ(std::make_pair(e.first, e.last), std::make_pair(100, 120));
}

}  // namespace
}  // namespace rf
