// A failing allocation at any point of an operation leaves no tracked block behind and leaves the
// caller's pictures usable.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"
#include "image/palopt.h"
#include "image_test_util.h"

namespace rf {
namespace {

using test::MakePattern;

class ImgFaultTest : public test::FoundationTest {};

struct Case {
  const char* name;
  int32_t srcBpp;
  bool dstExists;
  bool movesSource;
  std::function<void(Qimg& src, Qimg& dst)> run;
};

// Fails the 1st, 2nd, ... allocation of the operation until it runs through; after every failure
// the pictures hold exactly the blocks they held before.
void FailEveryAllocation(const Case& c) {
  int32_t failures = 0;
  for (int32_t n = 1; n < 40; ++n) {
    Qimg src, dst;
    MakePattern(src, 23, 17, c.srcBpp, uint32_t(n));
    if (c.dstExists) MakePattern(dst, 31, 19, 24, 2);
    const int32_t before = MemCount();
    FaultAfter(Fault::Alloc, n);
    GuardedSilent("Test.Fault", [&] { c.run(src, dst); });
    FaultAfter(Fault::Alloc, 0);
    const bool failed = !ErrNone();
    if (failed) {
      EXPECT_EQ(ErrCategory(), 5) << c.name << " failing allocation " << n;
      EXPECT_EQ(MemCount(), before) << c.name << " failing allocation " << n;
      EXPECT_EQ(MonDepth(), 0);
      ++failures;
      ErrClear();
    }
    if (c.movesSource) {
      EXPECT_TRUE((src.data != nullptr) != (dst.data != nullptr)) << c.name << ": one record holds the block";
    } else {
      EXPECT_TRUE(src.data != nullptr) << c.name << ": the source keeps its block";
    }
    ImgFree(src);
    ImgFree(dst);
    ImgColorsDone();
    EXPECT_EQ(MemCount(), 0) << c.name << " failing allocation " << n;
    if (!failed) break;
  }
  EXPECT_GT(failures, 0) << c.name << " allocates";
}

TEST_F(ImgFaultTest, NoOperationLeaksWhenAnAllocationFails) {
  const Case cases[] = {
      {"convert in place", 16, false, false, [](Qimg& s, Qimg&) { ImgConvBpp(s, s, 24); }},
      {"dithered reduction", 24, false, false, [](Qimg& s, Qimg& d) { ImgConvBppEx(s, d, 8, 1); }},
      {"reduction of words in place", 15, false, false, [](Qimg& s, Qimg&) { ImgConvBppEx(s, s, 8, 0); }},
      {"resize in place", 16, false, false, [](Qimg& s, Qimg&) { ImgResize(s, s, 40, 9); }},
      {"resample shrinking", 8, true, false, [](Qimg& s, Qimg& d) { ImgResample(s, d, 7, 5); }},
      {"resample enlarging in place", 24, false, false, [](Qimg& s, Qimg&) { ImgResample(s, s, 70, 60); }},
      {"rotate in place", 15, false, false, [](Qimg& s, Qimg&) { ImgRotate(s, s, 1); }},
      {"half turn", 24, true, false, [](Qimg& s, Qimg& d) { ImgRotate(s, d, 2); }},
      {"insert a shallower picture", 8, true, false, [](Qimg& s, Qimg& d) { ImgInsert(s, d, 3, 4); }},
      {"sprite onto a deeper background", 16, true, false, [](Qimg& s, Qimg& d) { ImgSprite(s, d, 3, 4, 0); }},
      {"crop in place", 32, false, false, [](Qimg& s, Qimg&) { ImgCrop(s, s, 2, 2, 5, 5); }},
      {"colour count", 16, false, false, [](Qimg& s, Qimg&) { ImgColorsCount(s); }},
      {"exchange with an empty record", 24, false, true,
       [](Qimg& s, Qimg& d) {
         ImgXchg(s, d);
         ImgXchg(s, d);
       }},
  };
  for (const Case& c : cases) FailEveryAllocation(c);
}

}  // namespace
}  // namespace rf
