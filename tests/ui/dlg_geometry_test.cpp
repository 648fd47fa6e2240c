// The size, crop and rotate windows driven by keyboard and mouse: what OK stores in the output.
#include <gtest/gtest.h>

#include "engine/geodlg.h"
#include "engine/outdef.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

OutputDef Output640() {
  OutputDef def{};
  SetOutputDefaults(def, true, true);
  def.AutoSize = 0;
  def.Width = 640;
  def.Height = 480;
  OutCalcFinalSize(def);
  return def;
}

TEST(RescaleWindow, FieldsFollowDivisorAspectAndLimits) {
  const struct {
    const char* divisor;
    bool fixed;
    const char* ratio;
    const char* width;
    int32_t wantW, wantH;
  } rows[] = {{"16", false, "", "1000", 992, 480},
              {"1", true, "2", "640", 640, 320},
              {"1", false, "", "9999", 4096, 480},
              {"1", false, "", "abc", 640, 480},
              {"300", false, "", "640", 512, 256}};
  for (const auto& row : rows) {
    RescaleFixedAspect() = {};
    OutputDef def = Output640();
    WhenOpen("Video Size Settings", [&](QWidget* w) {
      ClickInto(w, "Make resolution divisible by");
      Type(row.divisor);
      if (row.fixed) {
        Key(Qt::Key_F, Qt::AltModifier);  // "Use &fixed aspect ratio:"
        ClickInto(w, "Fixed aspect ratio");
        Type(row.ratio);
      }
      Key(Qt::Key_W, Qt::AltModifier);  // "&Width"
      Type(row.width);
      Tab();
      Key(Qt::Key_Return);
    });
    EXPECT_TRUE(ui::ShowRescaleDialog(nullptr, def));
    EXPECT_EQ(def.Width, row.wantW) << row.width;
    EXPECT_EQ(def.Height, row.wantH) << row.width;
    EXPECT_EQ(def.FinalWidth, row.wantW);
    EXPECT_EQ(def.AutoSize, 0);
  }
  RescaleFixedAspect() = {};
}

TEST(RescaleWindow, CommonResolutionFromTheMenuAndModesFromTheirLists) {
  OutputDef def = Output640();
  WhenOpen("Video Size Settings", [](QWidget* w) {
    PickFromPopup(6);  // "DV 704 x 576 (PAL)"
    ClickInto(w, "Select a common resolution");
    Key(Qt::Key_Tab, Qt::ControlModifier);  // "Advanced"
    PickFromPopup(1);                       // "Best Fit Using Border"
    ClickInto(w, "Select the mode of large images");
    Key(Qt::Key_Return);
  });
  EXPECT_TRUE(ui::ShowRescaleDialog(nullptr, def));
  EXPECT_EQ(def.Width, 704);
  EXPECT_EQ(def.Height, 576);
  EXPECT_EQ(def.LargeMode, SM_BORDER);
  EXPECT_EQ(def.SmallMode, SM_STRETCH);
}

TEST(CropWindow, MarginsAreClampedAndCancelKeepsThem) {
  OutputDef def = Output640();
  WhenOpen("Crop", [](QWidget* w) {
    ClickInto(w, "Left");
    Type("700");  // at most 640 - 4
    ClickInto(w, "Right");
    Type("20");  // nothing left to take
    ClickInto(w, "Top");
    Type("100");
    Tab();
    Key(Qt::Key_Return);
  });
  EXPECT_TRUE(ui::ShowCropDialog(nullptr, def));
  EXPECT_EQ(def.CropLeft, 636);
  EXPECT_EQ(def.CropRight, 0);
  EXPECT_EQ(def.CropTop, 100);
  EXPECT_EQ(def.FinalWidth, 4);
  EXPECT_EQ(def.FinalHeight, 380);

  WhenOpen("Crop", [](QWidget* w) {
    ClickInto(w, "No Cropping");
    Key(Qt::Key_Escape);
  });
  EXPECT_FALSE(ui::ShowCropDialog(nullptr, def));
  EXPECT_EQ(def.CropLeft, 636);

  WhenOpen("Crop", [](QWidget* w) {
    ClickInto(w, "No Cropping");
    ClickInto(w, "Resize back to 640 x 480");
    Key(Qt::Key_Return);
  });
  EXPECT_TRUE(ui::ShowCropDialog(nullptr, def));
  EXPECT_EQ(def.CropLeft + def.CropTop + def.CropRight + def.CropBottom, 0);
  EXPECT_NE(def.ResizeBack, 0);
}

TEST(RotateWindow, ButtonsStoreTheirRotation) {
  const struct {
    const char* button;
    int32_t rotation, finalWidth;
  } rows[] = {{"-90 degrees", 3, 480}, {"180 degrees", 2, 640}, {"No rotation", 0, 640}};
  OutputDef def = Output640();
  for (const auto& row : rows) {
    WhenOpen("Rotate Image", [&](QWidget* w) {
      ClickInto(w, row.button);
      Key(Qt::Key_Return);
    });
    EXPECT_TRUE(ui::ShowRotateDialog(nullptr, def));
    EXPECT_EQ(def.Rotation, row.rotation) << row.button;
    EXPECT_EQ(def.FinalWidth, row.finalWidth) << row.button;
  }
  WhenOpen("Rotate Image", [](QWidget* w) {
    ClickInto(w, "90 degrees");
    Key(Qt::Key_Escape);
  });
  EXPECT_FALSE(ui::ShowRotateDialog(nullptr, def));
  EXPECT_EQ(def.Rotation, 0);
}

}  // namespace
}  // namespace rf
