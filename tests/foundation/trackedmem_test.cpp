// The memory handle table: sizes, kinds, labels, exchange, limits and injected failures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class TrackedMemTest : public test::FoundationTest {};

TEST_F(TrackedMemTest, SizesGrowByFivePercentToWholeWords) {
  char* p = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(_memalloc_(p, 0, MEM_RESIZE, "Test.Sizes.p"), 5);
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 505);
  EXPECT_EQ(p, reinterpret_cast<char*>(0x1));
  EXPECT_EQ(_memalloc_(p, -8, MEM_RESIZE, "Test.Sizes.p"), 5);

  p = nullptr;
  const std::pair<int32_t, int32_t> sizes[] = {{1, 4}, {100, 108}, {10, 12}, {1000, 1052}, {30, 32}};
  for (auto [requested, allocated] : sizes) {
    EXPECT_EQ(_memalloc_(p, requested, MEM_NEW, "Test.Sizes.p"), 0);
    EXPECT_TRUE(ErrNone());
    EXPECT_EQ(MemSize(p), allocated) << requested;
    MemFree(p);
  }
  char* a = nullptr;
  char* b = nullptr;
  _memalloc_(a, 4, MEM_RESIZE, "IMGBasic.ImgCopyData.dest", Site{1234});
  _memalloc_(b, 4, MEM_NEW, "", Site{7});
  EXPECT_EQ(MemLabel(a), "C:IMGBasic.ImgCopyData.dest:1,234") << "labels name kind, owner and site";
  EXPECT_EQ(MemLabel(b), "N:Handle #1:7");
  MemFree(a);
  MemFree(b);
}

// Resize keeps one entry and the contents, New adds a second entry, String replaces the buffer.
TEST_F(TrackedMemTest, KindsOfAllocation) {
  char *p = nullptr, *first = nullptr, *s = nullptr;
  ASSERT_EQ(_memalloc_(p, 16, MEM_RESIZE, "Test.Resize.p"), 0);
  std::memcpy(p, "0123456789abcdef", 16);
  ASSERT_EQ(_memalloc_(p, 4000, MEM_RESIZE, "Test.Resize.p"), 0);
  EXPECT_EQ(MemCount(), 1);
  EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
  EXPECT_EQ(p[3999], 0) << "grown part is zero-filled";
  MemFree(p);
  EXPECT_EQ(p, nullptr);

  ASSERT_EQ(_memalloc_(first, 8, MEM_NEW, "Test.New.p"), 0);
  p = first;
  ASSERT_EQ(_memalloc_(p, 8, MEM_NEW, "Test.New.p"), 0);
  EXPECT_NE(p, first);
  EXPECT_EQ(MemCount(), 2);
  MemFree(p);
  MemFree(first);

  ASSERT_EQ(_memalloc_(s, 10, MEM_STRING, "Test.Str.s"), 0);
  std::strcpy(s, "abc");
  ASSERT_EQ(_memalloc_(s, 20, MEM_STRING, "Test.Str.s"), 0);
  EXPECT_EQ(MemCount(), 1);
  EXPECT_STREQ(s, "") << "contents are not carried over";
  EXPECT_EQ(MemLabel(s).substr(0, 2), "S:");
  MemFree(s);
}

TEST_F(TrackedMemTest, ExchangeSwapsTrackedBlocksButNotLabels) {
  char* a = nullptr;
  char* b = nullptr;
  _memalloc_(a, 8, MEM_RESIZE, "Test.X.a");
  _memalloc_(b, 80, MEM_RESIZE, "Test.X.b");
  char* blockA = a;
  const std::string labelA = MemLabel(a);
  MemXchg(a, b);
  EXPECT_EQ(b, blockA);
  EXPECT_EQ(MemSize(a), 84);
  EXPECT_EQ(MemSize(b), 8);
  EXPECT_EQ(MemLabel(a), labelA) << "labels stay with their variables";
  MemFree(a);
  MemFree(b);

  char local[4];
  char* untracked = local;
  MemFree(untracked);
  EXPECT_EQ(untracked, local) << "free of an untracked value is ignored";
  EXPECT_TRUE(ErrNone() && WarnNone());
  GuardedSilent("Test.X", [&] { MemXchg(a, untracked); });
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 502);
  ErrClear();
}

TEST_F(TrackedMemTest, FullTableGivesFatalErrorAndAnUntrackedBlock) {
  std::vector<char*> blocks(MEM_MAX_HANDLES, nullptr);
  for (auto& p : blocks) ASSERT_EQ(_memalloc_(p, 1, MEM_RESIZE, "Test.Full.p"), 0);
  EXPECT_EQ(MemPeak(), MEM_MAX_HANDLES);
  char* extra = nullptr;
  EXPECT_EQ(_memalloc_(extra, 1, MEM_RESIZE, "Test.Full.extra"), 6);
  EXPECT_EQ(ErrMessage(5, 6), "Fatal memory manager error.");
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(MemSize(extra), NOT_SET);
  std::free(extra);
  for (auto& p : blocks) MemFree(p);
  ErrClear();
}

TEST_F(TrackedMemTest, InjectedFailuresReportAllocationAndReallocationFaults) {
  char* p = nullptr;
  FaultAfter(Fault::Alloc, 1);
  EXPECT_EQ(_memalloc_(p, 10, MEM_RESIZE, "Test.Fault.p"), 1);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(_memalloc_(p, 10, MEM_RESIZE, "Test.Fault.p"), 0);
  char* before = p;
  FaultAfter(Fault::Alloc, 1);
  EXPECT_EQ(_memalloc_(p, 100, MEM_RESIZE, "Test.Fault.p"), 3);
  EXPECT_EQ(p, before) << "a failed resize keeps the old block";
  EXPECT_EQ(MemCount(), 1);
  MemFree(p);
  ErrClear();
}

TEST_F(TrackedMemTest, LeakReportListsAndReleasesRemainingBlocks) {
  const std::string dir = test::ScratchDir("leaks");
  TraceSetFile(dir + "/trace.txt");
  TraceStart("Leak test");
  char* a = nullptr;
  char* b = nullptr;
  _memalloc_(a, 1000, MEM_RESIZE, "Test.Leak.a", Site{3});
  _memalloc_(b, 2, MEM_NEW, "Test.Leak.b", Site{4});
  const std::string peak = FormatUInt(100, uint32_t(MemPeak()));  // earlier tests in this process count too
  MemReportLeaks();
  EXPECT_EQ(MemCount(), 0);
  const std::string trace = test::ReadWholeFile(dir + "/trace.txt");
  EXPECT_NE(trace.find("#Max. allocated memory handles: " + peak +
                       "\r\n#Memory handles not freed:\r\n"
                       "#  N:Test.Leak.b:4:4 bytes\r\n#  C:Test.Leak.a:3:1,052 bytes\r\n"),
            std::string::npos)
      << trace;
}

}  // namespace
}  // namespace rf
