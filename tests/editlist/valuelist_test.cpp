// Value lists: typed fields, reset values, type errors, lookups and the prepared lists.
#include <gtest/gtest.h>

#include "common/test_support.h"
#include "editlist/valuelist.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class ValueListTest : public test::FoundationTest {
 protected:
  VList list;
  void TearDown() override {
    VList_Free(list);
    FoundationTest::TearDown();
  }
};

TEST_F(ValueListTest, FreshFieldsHoldTheirResetValues) {
  VList_Prepare2(list);
  const int32_t row = VList_Append(list);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(VList_GetInt(list, row, 1, 5), NOT_SET);
  EXPECT_EQ(VList_GetStr(list, row, 0, "dflt"), "") << "a nil string reads as empty";
  VList_AddField(list, 7, VL_FLOAT);
  EXPECT_EQ(VList_GetFloat(list, row, 7, 0.5), NOT_SET_F) << "a field added later is reset in existing rows";
  VList_AddField(list, 8, VL_RESERVED);
  EXPECT_EQ(MemCount(), 1);
  EXPECT_EQ(MemLabel(list.rows[0]).substr(0, 31), "N:ValueList.VList_Append.itemP:");
}

TEST_F(ValueListTest, ReadsOutsideTheTableGiveTheDefault) {
  VList_SampleRates(list);
  ASSERT_EQ(VList_GetCount(list), 8);
  EXPECT_EQ(VList_GetStr(list, 8, 0, "none"), "none");
  EXPECT_EQ(VList_GetStr(list, -1, 0, "none"), "none");
  EXPECT_EQ(VList_GetInt(list, 0, 99, 42), 42);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(VList_GetStr(list, 6, 0, ""), "44100 CD-Quality");
  EXPECT_EQ(VList_FindInt(list, 1, 22050, -7), 3);
  EXPECT_EQ(VList_FindInt(list, 1, 12345, -7), -7);
  EXPECT_EQ(VList_FindInt(list, 99, NOT_SET, -7), -7) << "a missing field never matches";
}

TEST_F(ValueListTest, TypeMismatchesAreErrors) {
  VList_Prepare2(list);
  VList_Add2(list, "8000", 8000);
  VList_SetInt(list, 0, 0, 77);
  EXPECT_EQ(ErrCategory(), 4);
  EXPECT_EQ(ErrCode(), 3);
  ErrClear();
  EXPECT_EQ(VList_GetStr(list, 0, 0, ""), "8000") << "the string field is unchanged";
  EXPECT_EQ(VList_GetFloat(list, 0, 1, 1.5), 1.5);
  EXPECT_EQ(ErrLastMessage(), "Invalid variable type.");
  ErrClear();
  GuardedSilent("Test.Dup", [&] {
    VList_AddField(list, 1, VL_INT);
    ADD_FAILURE() << "a duplicate id aborts the caller";
  });
  EXPECT_EQ(ErrCode(), 3);
  ErrClear();
}

TEST_F(ValueListTest, StringsAreReplacedAndFreed) {
  VList_Prepare4(list);
  VList_Add4(list, "Telephone Quality", 8000, 8, 1);
  VList_SetStr(list, 0, 0, "A much longer text than before");
  EXPECT_EQ(VList_GetStr(list, 0, 0, ""), "A much longer text than before");
  EXPECT_EQ(MemCount(), 2) << "one row and one string buffer";
  EXPECT_EQ(VList_GetInt(list, 0, 3, 0), 1);
  VList_Free(list);
  EXPECT_EQ(MemCount(), 0);
  EXPECT_EQ(VList_GetCount(list), 0);
}

TEST_F(ValueListTest, SixteenFieldsAtMost) {
  VList_Alloc(list);
  for (int32_t id = 100; id < 117; ++id) VList_AddField(list, id, VL_INT);
  EXPECT_EQ(list.fieldCount, 16);
  EXPECT_EQ(VList_FindFieldByID(list, 115), 15);
  EXPECT_EQ(VList_FindFieldByID(list, 116), NOT_SET);
}

TEST_F(ValueListTest, PreparedLists) {
  VList_AudioPresets(list);
  ASSERT_EQ(VList_GetCount(list), 3);
  EXPECT_EQ(VList_GetStr(list, 1, 0, ""), "Radio Quality");
  EXPECT_EQ(VList_GetInt(list, 1, 1, 0), 22050);
  EXPECT_EQ(VList_GetInt(list, 2, 2, 0), 8);
  VList_Free(list);
  VList_FrameRates(list);
  ASSERT_EQ(VList_GetCount(list), 6);
  EXPECT_EQ(VList_GetStr(list, 4, 0, ""), "29.97  fps  (NTSC)");
  EXPECT_DOUBLE_EQ(VList_GetFloat(list, 4, 1, 0), 30000.0 / 1001);
}

TEST_F(ValueListTest, FailedRowAllocationAddsNoRow) {
  VList_Prepare2(list);
  FaultAfter(Fault::Alloc, 1);
  GuardedSilent("Test.Append", [&] { VList_Append(list); });
  EXPECT_EQ(ErrCategory(), 5);
  EXPECT_EQ(VList_GetCount(list), 0);
  ErrClear();
}

}  // namespace
}  // namespace rf
