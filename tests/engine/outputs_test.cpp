// What a run leaves of the files its outputs' names had: a run failing at every open and write in
// turn, a stop, an abort and a failing run of a batch job never change them, and leave no temporary.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <map>
#include <vector>

#include "common/test_support.h"
#include "engine/batchjob.h"
#include "engine/con_run.h"
#include "engine/conform.h"
#include "engine/procexec.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

// A progress window that shows nothing and is never closed by the user.
class QuietView : public ProgressView {
 public:
  void Open(const std::string&, bool, bool) override {}
  void Close() override {}
  void SetLine(int32_t, const std::string&, int32_t) override {}
  void SetTimes(const std::string&, const std::string&) override {}
  void SetTitle(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  int32_t State() override { return PW_PROCESSING; }
};

class OutputsTest : public test::ConRunTest {
 protected:
  std::string dir = test::ScratchDir("outputs");
  std::string in = dir + "/in", out = dir + "/out";

  void SetUp() override {
    ConRunTest::SetUp();
    test::ScratchDir("outputs/in");
    test::ScratchDir("outputs/out");
  }

  // A 4 x 2 picture whose first byte is n.
  static void SavePicture(const std::string& name, int32_t n) {
    Qimg img;
    _imgalloc_(img, 4, 2, 24, "Test.Outputs.img");
    img.data[0] = uint8_t(n);
    ImgSave(name, img, FF_AUTO);
    ImgFree(img);
  }

  // One run with the blocks given; the state is reset for the next.
  void Run(const std::string& video, const std::string& audio, int32_t frames, int32_t stopAt = 0,
           int32_t state = csRunning) {
    Register();
    ConSetProgressCBF(
        [=](QConProgress& p) {
          if (stopAt > 0 && p.VideoFramesDone >= stopAt) ConSetStopState(state);
        },
        nullptr);
    ConSetFrameRate(false, 10);
    ConSetInterleave(5);
    ConSetFrameCount(frames);
    ConStart(video.empty() ? "" : out + "/" + video, audio.empty() ? "" : out + "/" + audio, nullptr, report);
  }

  // Files with recognisable contents under the names given; returns them by name.
  std::map<std::string, std::string> Precious(const std::vector<std::string>& files) {
    std::map<std::string, std::string> old;
    for (const auto& f : files) {
      old[f] = "PRECIOUS " + f;
      test::WriteWholeFile(out + "/" + f, old[f]);
    }
    return old;
  }

  std::vector<std::string> Listing() const {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(out.c_str())) {
      while (const dirent* e = ::readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") found.push_back(e->d_name);
      ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // Every file that was there before is there unchanged, and there is nothing else.
  void ExpectUntouched(const std::map<std::string, std::string>& old) {
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : old) {
      expected.push_back(name);
      EXPECT_EQ(test::ReadWholeFile(out + "/" + name), bytes) << name;
    }
    EXPECT_EQ(Listing(), expected);
    EXPECT_EQ(FCount(), 0);
    EXPECT_EQ(MemCount(), 0);
  }
};

TEST_F(OutputsTest, AFailureAtAnyOpenOrWriteLeavesTheOldFiles) {
  const struct {
    const char* what;
    std::string video, audio;
    int32_t frames;
    std::vector<std::string> old;
    std::vector<std::string> written;  // what a run without a failure leaves
  } cases[] = {
      {"still", "o.bmp", "", 1, {"o.bmp"}, {"o.bmp"}},
      {"sequence",
       "s.bmp",
       "",
       8,
       {"s.bmp", "s0.bmp", "s3.bmp", "s9.bmp"},
       {"s.bmp", "s0.bmp", "s1.bmp", "s2.bmp", "s3.bmp", "s4.bmp", "s5.bmp", "s6.bmp", "s7.bmp", "s9.bmp"}},
      {"sound", "", "o.wav", 1, {"o.wav"}, {"o.wav"}},
  };
  const std::string seq = MakeSequence(in, ".bmp", 8);
  const std::string wav = MakeWav(in + "/src.wav", 8000, 12000);
  const std::string lone = in + "/lone.bmp";
  SavePicture(lone, 1);
  for (const auto& c : cases) {
    for (const Fault kind : {Fault::Open, Fault::Write}) {
      SCOPED_TRACE(std::string(c.what) + (kind == Fault::Open ? ", open" : ", write"));
      videoBlocks.clear();
      audioBlocks.clear();
      if (!c.video.empty()) videoBlocks = {FileBlock(c.frames == 1 ? lone : seq)};
      if (!c.audio.empty()) audioBlocks = {FileBlock(wav)};
      bool finished = false;
      for (int32_t n = 1; n < 500 && !finished; ++n) {
        const auto old = Precious(c.old);
        FaultAfter(kind, n);
        Run(c.video, c.audio, c.frames);
        finished = FaultLeft(kind) > 0;
        FaultReset();
        // A run may also get over a failed open, by leaving out what it could not read.
        if (!ErrNone()) ExpectUntouched(old);
        EXPECT_EQ(FCount(), 0);
        ErrClear();
        ConDone();
        if (::testing::Test::HasFailure()) return;
        if (!finished) {
          const auto left = Listing();
          EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const std::string& f) { return f[0] == '.'; }));
          for (const auto& name : left) ::unlink((out + "/" + name).c_str());
        }
      }
      ASSERT_TRUE(finished) << "the run never got past its faults";
      EXPECT_EQ(Listing(), c.written);
      for (const auto& name : c.old) {
        const bool outside = name == "s.bmp" || name == "s9.bmp";  // not a member the run writes
        EXPECT_EQ(test::ReadWholeFile(out + "/" + name).rfind("PRECIOUS", 0) == 0, outside) << name;
      }
      for (const auto& name : c.written) ::unlink((out + "/" + name).c_str());
    }
  }
}

TEST_F(OutputsTest, AStopKeepsWhatWasWrittenAndAnAbortNothing) {
  const std::string seq = MakeSequence(in, ".bmp", 8);
  const std::string wav = MakeWav(in + "/src.wav", 8000, 12000);
  for (const int32_t state : {csStop, csAbort}) {
    SCOPED_TRACE(state == csStop ? "stop" : "abort");
    const auto old = Precious({"s0.bmp", "s1.bmp", "s7.bmp", "o.wav"});
    videoBlocks = {FileBlock(seq)};
    audioBlocks = {FileBlock(wav)};
    Run("s.bmp", "o.wav", 8, 6, state);
    EXPECT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(report.VideoFrames, 6);
    if (state == csAbort) {
      ExpectUntouched(old);
    } else {
      EXPECT_EQ(Listing(), (std::vector<std::string>{"o.wav", "s0.bmp", "s1.bmp", "s2.bmp", "s3.bmp", "s4.bmp",
                                                     "s5.bmp", "s7.bmp"}));
      EXPECT_EQ(test::ReadWholeFile(out + "/s7.bmp"), old.at("s7.bmp"));
      for (const char* made : {"s0.bmp", "s1.bmp", "o.wav"}) {
        EXPECT_NE(test::ReadWholeFile(out + "/" + made), old.at(made));
      }
      QUniInfo info;
      EXPECT_TRUE(UniInfo(out + "/o.wav", info, false)) << "the stopped sound file is complete";
    }
    ConDone();
    test::ScratchDir("outputs/out");
  }
}

TEST_F(OutputsTest, ABatchJobThatFailsOnADamagedInputLeavesTheOldFiles) {
  SavePicture(in + "/good.bmp", 1);
  Qimg img;
  _imgalloc_(img, 64, 48, 24, "Test.Outputs.big");
  ImgSave(in + "/big.bmp", img, FF_AUTO);
  ImgFree(img);
  test::WriteWholeFile(in + "/cut.bmp", test::ReadWholeFile(in + "/big.bmp").substr(0, 5000));
  const struct {
    const char* what;
    std::vector<std::string> inputs;
    std::string output;
  } cases[] = {
      {"convert of a damaged picture", {"cut.bmp"}, "o.bmp"},
      {"render of a good and a damaged picture", {"good.bmp", "cut.bmp"}, "seq0000.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScratchDir("outputs/out");
    const auto old = Precious({c.output});
    BatchJob job;
    for (const auto& name : c.inputs) job.inputs.push_back(BatchInput{in + "/" + name});
    job.output = out + "/" + c.output;
    {
      Project project;
      ASSERT_TRUE(BatchBuild(job, project));
      QuietView view;
      QWorkingData work;
      InitWorkingData(work, project);
      EXPECT_EQ(ProcessingExec(project, work, view, RunSettings{}), 2);
    }
    ErrClear();
    ExpectUntouched(old);
  }
}

}  // namespace
}  // namespace rf
