// Guarded blocks: abort, release, propagation, silent blocks and foreign exceptions.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class MonitorTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("monitor");
};

struct Acquired {
  char* outer = nullptr;
  char* middle = nullptr;
  int32_t file = NOT_SET;
  int reached = 0;
};

// Three guarded levels, each acquiring something; the innermost fails with (7, 2).
void ThreeDeep(Acquired& a, const std::string& path) {
  Guarded("Test.Outer", [&] {
    _memalloc_(a.outer, 100, MEM_RESIZE, "Test.Outer.outer");
    FOpen(a.file, path, FM_CREATE);
    Guarded("Test.Middle", [&] {
      _memalloc_(a.middle, 50, MEM_RESIZE, "Test.Middle.middle");
      Guarded("Test.Inner", [&] {
        ErrSet(7, 2);
        a.reached = 3;
      });
      a.reached = 2;
    });
    a.reached = 1;
  });
}

// An error three deep aborts every level and releases what each acquired; a silent outer block
// stops the exception there and leaves the error for its caller. The fixture checks the release.
TEST_F(MonitorTest, ErrorThreeDeepAbortsAllAndReleases) {
  Acquired a;
  try {
    ThreeDeep(a, dir + "/out.bin");
    FAIL() << "the error did not propagate";
  } catch (const EMon& e) {
    EXPECT_STREQ(e.what(), "Invalid image format.");
  }
  EXPECT_EQ(a.reached, 0);
  EXPECT_EQ(a.outer, nullptr);
  EXPECT_EQ(a.middle, nullptr);
  EXPECT_EQ(MemCount() + FCount(), 0);
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 702);

  bool afterInner = false;
  GuardedSilent("Test.Action", [&] {
    ThreeDeep(a, dir + "/out.bin");
    afterInner = true;
  });
  EXPECT_FALSE(afterInner);
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 702);
  ErrClear();
}

TEST_F(MonitorTest, ReleaseKeepsWhatOuterBlocksAcquired) {
  char* kept = nullptr;
  char* lost = nullptr;
  GuardedSilent("Test.Outer", [&] {
    _memalloc_(kept, 10, MEM_RESIZE, "Test.Outer.kept");
    GuardedSilent("Test.Inner", [&] {
      _memalloc_(lost, 10, MEM_RESIZE, "Test.Inner.lost");
      ErrSet(4, 1);
    });
    EXPECT_EQ(ErrCategory(), 4);
    EXPECT_NE(kept, nullptr);
    EXPECT_EQ(lost, nullptr);
  });
  EXPECT_EQ(MemCount(), 1);
  MemFree(kept);
  ErrClear();
}

TEST_F(MonitorTest, RunTimeExceptionsBecomeCategoryThree) {
  char* block = nullptr;
  GuardedSilent("Test.Alloc", [&] {
    _memalloc_(block, 64, MEM_RESIZE, "Test.Alloc.block");
    throw std::bad_alloc();
  });
  EXPECT_EQ(ErrCategory(), 3);
  EXPECT_EQ(ErrLastMessage(), std::bad_alloc().what());
  EXPECT_EQ(block, nullptr);

  const std::string longText(3000, 'x');
  GuardedSilent("Test.Long", [&] { throw std::runtime_error(longText); });
  EXPECT_EQ(ErrLastMessage().size(), 1025u);

  // A foreign exception in an inner block aborts the outer one too.
  int outerFinished = 0;
  GuardedSilent("Test.Outer", [&] {
    Guarded("Test.Inner", [] { throw std::out_of_range("vector index 9"); });
    outerFinished = 1;
  });
  EXPECT_EQ(outerFinished, 0);
  EXPECT_EQ(ErrCategory(), 3);
  EXPECT_EQ(ErrCode(), 2147483647);
  EXPECT_EQ(ErrLastMessage(), "vector index 9");
  ErrClear();
}

TEST_F(MonitorTest, CleanupRunsOnceAndOnlyOnFailure) {
  int cleanups = 0;
  Guarded("Test.Ok", [&] { MonSetCleanup([&] { ++cleanups; }); });
  EXPECT_EQ(cleanups, 0);
  GuardedSilent("Test.Fail", [&] {
    MonSetCleanup([&] {
      ++cleanups;
      ErrSet(6, 4);  // failures inside a cleanup never reach the caller
    });
    ErrSet(12, 2);
  });
  EXPECT_EQ(cleanups, 1);
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 1202);
  Guarded("Test.Ok", [] {});
  EXPECT_TRUE(ErrNone()) << "a successful block ends without an error";
}

TEST_F(MonitorTest, AbortWithoutErrorStopsTheRoutineOnly) {
  int steps = 0;
  GuardedSilent("Test.Outer", [&] {
    Guarded("Test.Abort", [&] {
      ++steps;
      MonAbort();
      ++steps;
    });
    ++steps;
  });
  EXPECT_EQ(steps, 2);
  EXPECT_TRUE(ErrNone());

  // After a callee stopped, an error in the caller still aborts the caller.
  GuardedSilent("Test.Outer", [&] {
    Guarded("Test.Stop", [] { MonAbort(); });
    ErrSet(5, 1);
    ++steps;
  });
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(ErrCategory(), 5);
  ErrClear();
}

TEST_F(MonitorTest, NextSilentMakesThePlainBeginSilent) {
  bool continued = false;
  MonNextSilent();
  EXPECT_NO_THROW(Guarded("Test.Outer", [&] {
    Guarded("Test.Inner", [] { ErrSet(8, 4); });
    continued = true;
  }));
  EXPECT_FALSE(continued);
  EXPECT_EQ(ErrCategory(), 8);
  EXPECT_THROW(Guarded("Test.Again", [] { ErrSet(8, 4); }), EMon) << "only the next block is silent";
  MonDisable();
  Guarded("Test.Disabled", [&] {
    ErrSet(7, 3);
    continued = true;
  });
  MonEnable();
  EXPECT_TRUE(continued) << "a disabled monitor does not abort";
  ErrClear();
}

void Nest(int levels) {
  if (levels == 0) return;
  Guarded("Test.Nest", [&] { Nest(levels - 1); });
}

TEST_F(MonitorTest, NestingDepthLimit) {
  Nest(MON_MAX_DEPTH);
  EXPECT_EQ(MonDepth(), 0);
  EXPECT_EXIT(Nest(MON_MAX_DEPTH + 1), ::testing::ExitedWithCode(EXIT_FAILURE),
              "Error: Fatal error: internal monitoring overflow\\.");
}

}  // namespace
}  // namespace rf
