// Time texts, number texts, box fitting and rounding to multiples.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

class MiscProcsTest : public test::FoundationTest {};

TEST_F(MiscProcsTest, SecondsToTextAndBack) {
  const struct {
    int32_t flags;
    double seconds;
    const char* text;
  } texts[] = {{SEC_LIST, 3725.5, "01:02:05.500"},
               {SEC_LIST, 59.9999, "00:59.999"},  // milliseconds are truncated, never carried
               {0, 0.5, "0.500"},
               {0, 60.0, "01:00"},
               {SEC_LIST | SEC_NO_MILLIS, 65.04, "01:05"},
               {SEC_NO_MILLIS, 0.25, ""},
               {SEC_HOURS, 0, "00:00:00"},
               {SEC_LIST, 360000.0, "100:00:00.000"}};
  for (const auto& t : texts) EXPECT_EQ(SecToStr(t.flags, t.seconds), t.text) << t.flags << " " << t.seconds;
  EXPECT_DOUBLE_EQ(StrToSec("1:02:03.5", 0), 3723.005);
  EXPECT_DOUBLE_EQ(StrToSec("  01:05.040 ", 0), 65.04);
  EXPECT_DOUBLE_EQ(StrToSec("42", 0), 42.0);
  // Invalid texts give the default; an empty seconds field (".250") is invalid too.
  for (const char* bad : {".250", "abc", "", "1:x:03", "1:2:3:4", "5.", "99999999999"})
    EXPECT_DOUBLE_EQ(StrToSec(bad, 7.0), 7.0) << bad;
}

TEST_F(MiscProcsTest, IntegerFormatter) {
  const struct {
    int32_t format;
    uint32_t value;
    const char* text;
  } rows[] = {{3, 12345, "12345"},
              {8, 12345, "   12345"},
              {100, 4294967295u, "4,294,967,295"},
              {100, 999, "999"},
              {110, 1234567, " 1,234,567"},
              {203, 40, "040"},
              {202, 123, "123"},
              {200, 0, "0"}};
  for (const auto& r : rows) EXPECT_EQ(FormatUInt(r.format, r.value), r.text) << r.format << " " << r.value;
  EXPECT_EQ(FormatUInt(999, 1).size(), 255u);
}

struct Box {
  int32_t x, y, w, h;
  bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Box& b) {
  return o << b.w << "x" << b.h << " at " << b.x << "," << b.y;
}

Box Fit(bool cover, int32_t W, int32_t H, bool enlarge, int32_t w, int32_t h) {
  Box b{-1, -1, w, h};
  (cover ? CalcCropResize : CalcBoxResize)(W, H, enlarge, b.x, b.y, b.w, b.h);
  return b;
}

TEST_F(MiscProcsTest, BoxFitting) {
  EXPECT_EQ(Fit(false, 320, 320, false, 640, 480), (Box{0, 40, 320, 240}));
  EXPECT_EQ(Fit(false, 320, 240, false, 100, 50), (Box{110, 95, 100, 50}));
  EXPECT_EQ(Fit(false, 320, 240, true, 100, 50), (Box{0, 40, 320, 160}));
  EXPECT_EQ(Fit(true, 320, 320, false, 640, 480), (Box{53, 0, 426, 320}));
  EXPECT_EQ(Fit(false, 100, 100, true, 1, 10000), (Box{49, 0, 1, 100})) << "sizes below 1 become 1";
  EXPECT_TRUE(ErrNone());
}

TEST_F(MiscProcsTest, UnusableSizesAreOutOfRange) {
  for (bool cover : {false, true}) {
    Box b{-1, -1, 0, 480};
    EXPECT_THROW((cover ? CalcCropResize : CalcBoxResize)(320, 240, true, b.x, b.y, b.w, b.h), EMon);
    EXPECT_EQ(ErrLastMessage(), "Out of range.");
    EXPECT_EQ(b, (Box{0, 0, 320, 240})) << "a failed fit yields the whole box";
    GuardedSilent("Test.Fit", [&] { Fit(cover, 0, 240, true, 640, 480); });
    EXPECT_EQ(ErrCode(), 1);
    ErrClear();
  }
}

TEST_F(MiscProcsTest, RoundingDownToMultiples) {
  EXPECT_EQ(std::vector<int32_t>({DivisibleInt(17, 4), DivisibleInt(-17, 4), DivisibleInt(INT32_MIN, -1)}),
            std::vector<int32_t>({16, -16, INT32_MIN}));
  EXPECT_DOUBLE_EQ(DivisibleFloat(10.7, 2.5), 10.0);
  EXPECT_DOUBLE_EQ(DivisibleFloat(-10.7, 2.5), -10.0);
  GuardedSilent("Test.Div", [] { DivisibleInt(5, 0); });
  EXPECT_EQ(ErrCategory(), 3);
  EXPECT_EQ(ErrLastMessage(), "Division by zero.");
  ErrClear();
  EXPECT_THROW(DivisibleFloat(1.0, 0.0), std::domain_error);
}

}  // namespace
}  // namespace rf
