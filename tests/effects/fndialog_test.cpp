// The parameter dialogs without windows: records, labels, slider arithmetic, links and the flow.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "common/test_support.h"
#include "effects/fndialog.h"
#include "effects/fnrun.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class FnDialogTest : public test::FoundationTest {};

// Answers every dialog with a scripted reply and remembers what it was shown.
class ScriptedDialogs : public EffectDialogs {
 public:
  std::function<bool(QDlgData&)> reply = [](QDlgData&) { return true; };
  QDlgData shown;
  FnDialogKind kind = FnDialogKind::None;
  bool ThreeValues(QDlgData& d) override { return Show(FnDialogKind::ThreeValues, d); }
  bool OneValue(QDlgData& d) override { return Show(FnDialogKind::OneValue, d); }
  bool TwoValues(QDlgData& d) override { return Show(FnDialogKind::TwoValues, d); }
  bool Deinterlace(QDlgData& d) override { return Show(FnDialogKind::Deinterlace, d); }

 private:
  bool Show(FnDialogKind k, QDlgData& d) {
    kind = k;
    shown = d;
    return reply(d);
  }
};

TEST_F(FnDialogTest, RecordsAndLabels) {
  const QDlgData gamma = FnDialogData(FN_GAMMA, nullptr);
  EXPECT_EQ(gamma.caption + "|" + gamma.label1, "Gamma correction|Value (0.01..5.00)");
  EXPECT_EQ(gamma.decimals, 2);
  EXPECT_EQ(std::vector<double>({gamma.smallStep, gamma.largeStep, gamma.values[2]}),
            std::vector<double>({0.01, 1, 1.0}));

  const QDlgData pixelize = FnDialogData(FN_PIXELIZE, nullptr);
  EXPECT_EQ(pixelize.label1, "Block width in pixels (2..64)");
  EXPECT_EQ(pixelize.label2, "Block height in pixels (2..64)");

  EXPECT_DOUBLE_EQ(FnDialogData(FN_CHAOS, nullptr).largeStep, 1) << "a large step never exceeds the range";
  QFnParams stored{};
  stored.values[0] = 7;
  stored.values[1] = -3;
  EXPECT_DOUBLE_EQ(FnDialogData(FN_CONTRAST, &stored).values[1], -3) << "stored values win over defaults";
}

TEST_F(FnDialogTest, SliderArithmetic) {
  const DlgSlider percent(-100, 100, 1, 10, 0);
  EXPECT_EQ(std::vector<int32_t>({percent.positions(), percent.pageStep(), percent.PositionOf(-100)}),
            std::vector<int32_t>({200, 10, 0}));
  EXPECT_DOUBLE_EQ(percent.ValueAt(150), 50);
  EXPECT_EQ(percent.PositionOf(500), 200) << "values are clamped";

  const DlgSlider gamma(0.01, 5, 0.01, 1, 2);
  EXPECT_EQ(std::vector<int32_t>({gamma.positions(), gamma.PositionOf(1.0), gamma.pageStep()}),
            std::vector<int32_t>({499, 99, 100}));
  EXPECT_DOUBLE_EQ(gamma.ValueAt(499), 5.0);
  EXPECT_EQ(gamma.Text(1), "1.00");

  const DlgSlider flat(3, 3, 1, 10, 0);
  EXPECT_FALSE(flat.enabled());
  EXPECT_DOUBLE_EQ(flat.ValueAt(5), 3);
  EXPECT_EQ(flat.positions() + flat.PositionOf(3), 0);

  const DlgSlider noStep(0, 10, 0, 1, 0);
  EXPECT_EQ(noStep.positions(), 0);
  const DlgSlider huge(0, 1e12, 1, 10, 0);
  EXPECT_EQ(huge.positions(), 2147483631);
  const DlgSlider half(0, 3, 1, 1, 0);
  EXPECT_EQ(half.PositionOf(1.5), 2) << "halves round to even";
  EXPECT_EQ(half.PositionOf(2.5), 2);
}

TEST_F(FnDialogTest, LinkedSlidersMoveTogether) {
  const DlgSlider s(-100, 100, 1, 10, 0);
  double v[3] = {10, 20, 90};
  DlgLink link(3);
  link.Record(v);
  auto values = [&v] { return std::vector<double>(v, v + 3); };
  link.Moved(0, 30, v, s);
  EXPECT_EQ(values(), (std::vector<double>{30, 40, 100})) << "kept within the range";
  link.Moved(1, 0, v, s);
  EXPECT_EQ(values(), (std::vector<double>{-10, 0, 70})) << "changes count from the recorded values";
  link.MakeEqual(v);
  link.Moved(2, 0, v, s);
  EXPECT_EQ(values(), (std::vector<double>{0, 0, 0}));
}

TEST_F(FnDialogTest, NewEntryAcceptedWithDefaults) {
  ScriptedDialogs dialogs;
  QFnParams* params = nullptr;
  ASSERT_TRUE(FnDialog(FN_BRIGHTNESS, params, dialogs));
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(dialogs.kind, FnDialogKind::ThreeValues);
  EXPECT_EQ(ShortStrGet(params->description), ":  R= 0, G= 0, B= 0");
  EXPECT_EQ(params->paramSize, 3 * 8 + 4);
  EXPECT_EQ(params->inPlace, -1);
  EXPECT_EQ(MemLabel(params).substr(0, 28), "N:impress.FnDialog.fnParams:");
  FnFree(params);

  ASSERT_TRUE(FnDialog(FN_BLUR, params, dialogs)) << "effects without a dialog are accepted at once";
  EXPECT_EQ(ShortStrGet(params->description), "");
  EXPECT_EQ(params->inPlace, 0);
  FnFree(params);

  dialogs.reply = [](QDlgData& d) {
    d.values[0] = 1;
    d.values[1] = 0;
    return true;
  };
  ASSERT_TRUE(FnDialog(FN_DEINTERLACE, params, dialogs));
  EXPECT_EQ(dialogs.kind, FnDialogKind::Deinterlace);
  EXPECT_DOUBLE_EQ(params->values[0], 1);
  EXPECT_EQ(ShortStrGet(params->description), "") << "deinterlace keeps no description";
  FnFree(params);
}

TEST_F(FnDialogTest, DeclinedDialogChangesNothing) {
  ScriptedDialogs dialogs;
  dialogs.reply = [](QDlgData& d) {
    d.values[0] = 45;
    return false;
  };
  QFnParams* params = nullptr;
  EXPECT_FALSE(FnDialog(FN_HUE, params, dialogs));
  EXPECT_EQ(params, nullptr) << "a declined new record is discarded";

  dialogs.reply = [](QDlgData& d) {
    d.values[0] = 30;
    return true;
  };
  ASSERT_TRUE(FnDialog(FN_HUE, params, dialogs));
  EXPECT_EQ(ShortStrGet(params->description), ":  value= 30");
  dialogs.reply = [](QDlgData& d) {
    EXPECT_DOUBLE_EQ(d.values[0], 30) << "the dialog starts from the stored values";
    d.values[0] = -90;
    return false;
  };
  EXPECT_FALSE(FnDialog(FN_HUE, params, dialogs));
  EXPECT_DOUBLE_EQ(params->values[0], 30);
  EXPECT_EQ(ShortStrGet(params->description), ":  value= 30");
  FnFree(params);
}

}  // namespace
}  // namespace rf
