// Effect names, parameter texts, the stored records and range maintenance.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_support.h"
#include "effects/fnchain.h"
#include "effects/fnparams.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class FnParamsTest : public test::FoundationTest {};

QFnParams Values(double a, double b, double c) {
  QFnParams p{};
  p.values[0] = a;
  p.values[1] = b;
  p.values[2] = c;
  return p;
}

TEST_F(FnParamsTest, NamesInIdentifierOrder) {
  EXPECT_EQ(FnCount(), 31);
  EXPECT_EQ(FnName(1), "Adjust RGB");
  EXPECT_EQ(FnName(FN_FLIP_H), "Flip - horizontal");
  EXPECT_EQ(FnName(FN_NOISE_INTERFERENCE), "Noise - interference");
  EXPECT_EQ(FnName(31), "Trace contour");
  EXPECT_EQ(FnName(0), "");
  EXPECT_EQ(FnName(32), "");
  for (int32_t id = 2; id <= FnCount(); ++id) EXPECT_LT(FnName(id - 1), FnName(id)) << "alphabetical";
}

TEST_F(FnParamsTest, DescriptionsByEffect) {
  auto text = [](int32_t id, QFnParams p) {
    FnMakeStr(id, p);
    return ShortStrGet(p.description);
  };
  EXPECT_EQ(text(FN_BRIGHTNESS, Values(10, 10, 10)), ":  R= 10, G= 10, B= 10");
  EXPECT_EQ(text(FN_BRIGHTNESS, Values(0, 0, 0)), ":  R= 0, G= 0, B= 0");
  EXPECT_EQ(text(FN_GAMMA, Values(1, 1, 1)), ":  R= 1.00, G= 1.00, B= 1.00");
  EXPECT_EQ(text(FN_GAMMA, Values(0.015, 2.5, 4.999)), ":  R= 0.02, G= 2.50, B= 5.00");
  EXPECT_EQ(text(FN_HUE, Values(-180, 0, 0)), ":  value= -180");
  EXPECT_EQ(text(FN_PIXELIZE, Values(8, 16, 0)), ":  width= 8, height= 16");
  EXPECT_EQ(text(FN_SOLARIZE, Values(128, 1, 255)), ":  R= 128, G= 1, B= 255");
  EXPECT_EQ(text(FN_BLUR, Values(5, 5, 5)), "");
  EXPECT_EQ(text(FN_DEINTERLACE, Values(1, 1, 0)), "");
}

TEST_F(FnParamsTest, ListTextAndStoredEntry) {
  QFnEntry e = FnMakeEntry(FN_BRIGHTNESS);
  EXPECT_EQ(FnEntryText(e), "Brightness");
  QFnParams p = Values(10, 10, 10);
  FnMakeStr(FN_BRIGHTNESS, p);
  e.fnParams = &p;
  EXPECT_EQ(FnEntryText(e), "Brightness:  R= 10, G= 10, B= 10");

  e.first = -5;
  e.last = 77;
  e.flexEnd = -1;
  const QFnEntryDisk d = FnEntryToDisk(e);
  uint8_t bytes[89];
  std::memcpy(bytes, &d, sizeof bytes);
  EXPECT_EQ(bytes[0], FN_BRIGHTNESS);
  EXPECT_EQ(bytes[4], 10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 5), 10), "Brightness");
  EXPECT_EQ(bytes[69], 0xFB);  // -5, little-endian
  EXPECT_EQ(bytes[72], 0xFF);
  EXPECT_EQ(bytes[73], 77);
  EXPECT_EQ(bytes[81], 0xFF);
  EXPECT_EQ(bytes[85] | bytes[86] | bytes[87] | bytes[88], 0) << "no pointer reaches a file";
  const QFnEntry back = FnEntryFromDisk(d);
  EXPECT_EQ(back.fnParams, nullptr);
  EXPECT_EQ(FnEntryText(back), "Brightness");
  EXPECT_EQ(back.first, -5);
  EXPECT_EQ(back.flexEnd, -1);
}

TEST_F(FnParamsTest, CopyIsTrackedAndComplete) {
  QFnParams p = Values(1, 2, 3);
  p.paramSize = 28;
  p.inPlace = -1;
  FnMakeStr(FN_CONTRAST, p);
  QFnParams* copy = nullptr;
  FnCopy(copy, &p);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(copy, &p, sizeof p), 0);
  EXPECT_EQ(MemLabel(copy).substr(0, 22), "N:impress.FnCopy.dest:");
  FnFree(copy);
  EXPECT_EQ(copy, nullptr);
  FnCopy(copy, nullptr);
  EXPECT_EQ(copy, nullptr);
}

struct RangeCase {
  int32_t first, last, flexStart, flexEnd;
  bool inserted;
  int32_t position, count;
  int32_t wantFirst, wantLast;
};

TEST_F(FnParamsTest, RangesFollowInsertionsAndDeletions) {
  const RangeCase cases[] = {
      {10, 20, -1, -1, true, 0, 5, 15, 25},    // both flags before the range
      {10, 20, 0, -1, true, 0, 5, 10, 25},     // only the end follows
      {10, 20, 0, 0, true, 0, 5, 10, 20},      // neither follows
      {10, 20, 0, -1, true, 15, 5, 10, 25},    // inside the range
      {10, 20, -1, -1, true, 21, 5, 10, 20},   // after the range
      {10, 20, -1, -1, true, 10, 5, 15, 25},   // at the first frame counts as before
      {10, 20, -1, -1, false, 2, 4, 6, 16},    // deleted before the range
      {10, 20, 0, -1, false, 15, 16, 10, 14},  // deleted from inside past the end
      {10, 20, 0, -1, false, 12, 3, 10, 17},   // deleted inside
      {10, 20, 0, -1, false, 10, 30, 10, 10},  // the whole range: one frame left at first
      {10, 20, -1, -1, false, 5, 10, 5, 10},   // straddling the start
      {10, 20, -1, -1, false, 25, 3, 10, 20},  // after the range
  };
  for (const auto& c : cases) {
    QFnEntry e = FnMakeEntry(FN_BLUR);
    e.first = c.first;
    e.last = c.last;
    e.flexStart = c.flexStart;
    e.flexEnd = c.flexEnd;
    QFnEntry other = e;
    QFnChain chain{&e, &other};
    if (c.inserted)
      FnRangesInserted(chain, c.position, c.count);
    else
      FnRangesDeleted(chain, c.position, c.count);
    EXPECT_EQ(e.first, c.wantFirst) << (c.inserted ? "insert " : "delete ") << c.count << " at " << c.position;
    EXPECT_EQ(e.last, c.wantLast) << (c.inserted ? "insert " : "delete ") << c.count << " at " << c.position;
    EXPECT_EQ(other.first, e.first) << "every entry follows the same rule";
    EXPECT_EQ(other.last, e.last);
  }
}

}  // namespace
}  // namespace rf
