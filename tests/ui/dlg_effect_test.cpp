// The effect parameter windows driven by keyboard: the values OK stores, the linked sliders,
// and what Cancel leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "effects/fndialog.h"
#include "effects/fnparams.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

// Runs the effect's window on params, driven by act.
bool RunEffect(int32_t id, QFnParams*& params, std::function<void(QWidget*)> act) {
  WhenOpen(QString::fromStdString(FnName(id)), std::move(act));
  return ui::ShowEffectDialog(nullptr, id, params);
}

std::string Description(const QFnParams& p) {
  return std::string(p.description + 1, p.description + 1 + p.description[0]);
}

TEST(EffectWindows, LinkedSlidersMoveTogetherAndTheLinkIsRemembered) {
  FnLinkThreeValues() = false;
  QFnParams* params = nullptr;
  EXPECT_TRUE(RunEffect(FN_BRIGHTNESS, params, [](QWidget*) {
    EXPECT_EQ(FocusName(), "Red");
    Key(Qt::Key_L, Qt::AltModifier);  // "&Link"
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(FocusName(), "Green");
    for (int i = 0; i < 5; ++i) Key(Qt::Key_Right);
    Key(Qt::Key_Return);
  }));
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->values[0], 5);
  EXPECT_EQ(params->values[1], 5);
  EXPECT_EQ(params->values[2], 5);
  EXPECT_NE(Description(*params), "");
  EXPECT_TRUE(FnLinkThreeValues());

  params->values[0] = 10;
  params->values[1] = 20;
  params->values[2] = 30;
  EXPECT_TRUE(RunEffect(FN_BRIGHTNESS, params, [](QWidget* w) {
    ClickInto(w, "Make Equal");
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(params->values[1], 10);
  EXPECT_EQ(params->values[2], 10);
  FnFree(params);
  FnLinkThreeValues() = false;
}

TEST(EffectWindows, UnlinkedSliderMovesAloneInItsSteps) {
  FnLinkThreeValues() = false;
  QFnParams* params = nullptr;
  EXPECT_TRUE(RunEffect(FN_CONTRAST, params, [](QWidget*) {
    Tab(2);
    EXPECT_EQ(FocusName(), "Blue");
    Key(Qt::Key_End);
    Key(Qt::Key_PageDown);  // a large step of 10
    Key(Qt::Key_Left);
    Key(Qt::Key_Return);
  }));
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->values[0], 0);
  EXPECT_EQ(params->values[1], 0);
  EXPECT_EQ(params->values[2], 89);
  FnFree(params);
}

TEST(EffectWindows, CancelLeavesRecordsAlone) {
  QFnParams* fresh = nullptr;
  EXPECT_FALSE(RunEffect(FN_CHAOS, fresh, [](QWidget*) {
    Key(Qt::Key_End);
    Key(Qt::Key_Escape);
  }));
  EXPECT_EQ(fresh, nullptr) << "a new record is not kept";

  QFnParams* stored = nullptr;
  EXPECT_TRUE(RunEffect(FN_PIXELIZE, stored, [](QWidget*) { Key(Qt::Key_Return); }));
  ASSERT_NE(stored, nullptr);
  QFnParams before;
  std::memcpy(&before, stored, sizeof before);
  EXPECT_FALSE(RunEffect(FN_PIXELIZE, stored, [](QWidget*) {
    Tab();
    EXPECT_EQ(FocusName(), "Block height in pixels (2..64)");
    Key(Qt::Key_End);
    Key(Qt::Key_Escape);
  }));
  EXPECT_EQ(std::memcmp(&before, stored, sizeof before), 0);
  FnFree(stored);
}

TEST(EffectWindows, DeinterlaceChoicesAreTheListIndices) {
  QFnParams* params = nullptr;
  EXPECT_TRUE(RunEffect(FN_DEINTERLACE, params, [](QWidget*) {
    EXPECT_EQ(FocusName(), "Eliminate");
    Key(Qt::Key_Down);  // "Even Lines"
    Tab();
    Key(Qt::Key_Down);  // "Duplicate (faster)"
    Key(Qt::Key_Return);
  }));
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->values[0], 1);
  EXPECT_EQ(params->values[1], 1);
  FnFree(params);
}

}  // namespace
}  // namespace rf
