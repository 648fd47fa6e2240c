// Effect names, parameter texts, the stored records and range maintenance.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
  EXPECT_EQ(text(FN_BRIGHTNESS, Values(0, 0, 0)), ":  R= 0, G= 0, B= 0");
  EXPECT_EQ(text(FN_GAMMA, Values(0.015, 2.5, 4.999)), ":  R= 0.02, G= 2.50, B= 5.00");
  EXPECT_EQ(text(FN_HUE, Values(-180, 0, 0)), ":  value= -180");
  EXPECT_EQ(text(FN_PIXELIZE, Values(8, 16, 0)), ":  width= 8, height= 16");
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
  // Identifier, name as a short string, first (-5, little-endian) and last, the end flag, and no
  // pointer reaching a file.
  const std::pair<int32_t, uint8_t> fields[] = {{0, FN_BRIGHTNESS}, {4, 10},  {5, 'B'},   {14, 's'}, {69, 0xFB},
                                                {72, 0xFF},         {73, 77}, {81, 0xFF}, {85, 0},   {88, 0}};
  for (const auto& [at, value] : fields) EXPECT_EQ(bytes[at], value) << "byte " << at;
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
      {10, 20, -1, -1, true, 0, 5, 15, 25},        // both flags before the range
      {10, 20, 0, -1, true, 0, 5, 10, 25},         // only the end follows
      {10, 20, 0, 0, true, 0, 5, 10, 20},          // neither follows
      {10, 20, 0, -1, true, 15, 5, 10, 25},        // inside the range
      {10, 20, -1, -1, true, 21, 5, 10, 20},       // after the range
      {10, 20, -1, -1, true, 10, 5, 15, 25},       // at the first frame counts as before
      {10, 20, -1, -1, false, 2, 4, 6, 16},        // deleted before the range
      {10, 20, 0, -1, false, 15, 16, 10, 14},      // deleted from inside past the end
      {10, 20, 0, -1, false, 12, 3, 10, 17},       // deleted inside
      {10, 20, 0, -1, false, 10, 30, 10, 10},      // the whole range: one frame left at first
      {10, 20, -1, -1, false, 5, 10, 5, 10},       // straddling the start
      {120, 170, -1, -1, false, 50, 100, 50, 70},  // straddling the start, most of the range gone
      {10, 20, -1, -1, false, 25, 3, 10, 20},      // after the range
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
    EXPECT_EQ(std::vector<int32_t>({e.first, e.last, other.first, other.last}),
              std::vector<int32_t>({c.wantFirst, c.wantLast, c.wantFirst, c.wantLast}))
        << (c.inserted ? "insert " : "delete ") << c.count << " at " << c.position;
  }
}

}  // namespace
}  // namespace rf
