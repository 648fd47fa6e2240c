// The effect range window driven by keyboard: typed and chosen positions reach every entry.
#include <gtest/gtest.h>

#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

// Replaces the focused field's text; an empty text clears it.
void Enter(const char* text) {
  Type(text);
  if (!*text) Key(Qt::Key_Delete);
}

struct Entries {
  QFnEntry a, b;
  Entries() {
    a.first = b.first = 10;
    a.last = 20, b.last = 40;
  }
  std::vector<QFnEntry*> Both() { return {&a, &b}; }
};

TEST(EffectRangeWindow, TypedPositionsAndFlagsReachEverySelectedEntry) {
  const struct {
    const char *start, *end;
    bool flexStart, flexEnd;
    int32_t first, last;
  } rows[] = {{"5", "75", true, false, 5, 75},
              {"", "", false, true, 0, FN_RANGE_LAST},
              {"abc", "x9", true, true, 0, FN_RANGE_LAST},
              {"-5", "1000000000", false, false, 0, FN_RANGE_LAST},
              {" 7 ", "7", true, true, 7, 7}};
  for (const auto& row : rows) {
    Entries e;
    WhenOpen("Video Effects Range", [&](QWidget*) {
      Enter(row.start);
      Tab(2);
      if (row.flexStart) Key(Qt::Key_Space);
      Tab();
      Enter(row.end);
      Tab(2);
      if (row.flexEnd) Key(Qt::Key_Space);
      Key(Qt::Key_Return);
    });
    ASSERT_TRUE(ui::ShowRangeDialog(nullptr, e.Both(), {}));
    for (const QFnEntry* entry : e.Both()) {
      EXPECT_EQ(entry->first, row.first) << row.start;
      EXPECT_EQ(entry->last, row.last) << row.end;
      EXPECT_EQ(entry->flexStart, row.flexStart ? -1 : 0) << row.start;
      EXPECT_EQ(entry->flexEnd, row.flexEnd ? -1 : 0) << row.end;
    }
  }
}

TEST(EffectRangeWindow, CancelLeavesTheEntriesAlone) {
  Entries e;
  e.b.flexEnd = -1;
  WhenOpen("Video Effects Range", [](QWidget*) {
    Type("3");
    Tab(2);
    Key(Qt::Key_Space);
    Key(Qt::Key_Escape);
  });
  EXPECT_FALSE(ui::ShowRangeDialog(nullptr, e.Both(), {}));
  EXPECT_EQ(e.a.first, 10);
  EXPECT_EQ(e.a.last, 20);
  EXPECT_EQ(e.a.flexStart, 0);
  EXPECT_EQ(e.b.last, 40);
  EXPECT_EQ(e.b.flexEnd, -1);
}

TEST(EffectRangeWindow, GetValueMenusFillThePositions) {
  const ui::RangePositions pos{120, 300, 449, nullptr};
  const struct {
    int startItem, endItem;
    int32_t first, last;
  } rows[] = {{0, 0, 0, FN_RANGE_LAST}, {1, 1, 120, 120}, {2, 2, 300, 449}};
  for (const auto& row : rows) {
    Entries e;
    WhenOpen("Video Effects Range", [&](QWidget*) {
      PickFromPopup(row.startItem);
      Key(Qt::Key_V, Qt::AltModifier);
      QTest::qWait(100);
      PickFromPopup(row.endItem);
      Key(Qt::Key_A, Qt::AltModifier);
      QTest::qWait(100);
      Key(Qt::Key_Return);
    });
    ASSERT_TRUE(ui::ShowRangeDialog(nullptr, e.Both(), pos));
    EXPECT_EQ(e.a.first, row.first) << row.startItem;
    EXPECT_EQ(e.b.last, row.last) << row.endItem;
  }
}

}  // namespace
}  // namespace rf
