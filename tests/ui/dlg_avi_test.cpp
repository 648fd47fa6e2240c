// "Select AVI Video Format" driven by keyboard: the compressor and its settings OK stores, and
// what Cancel keeps.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/ff_avi.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

aviCodecsRec Uncompressed() {
  aviCodecsRec avi{};
  AviSettingsInit(avi, AviFourCC("DIB"));
  return avi;
}

bool RunAvi(aviCodecsRec& avi, std::function<void(QWidget*)> act) {
  WhenOpen("Select AVI Video Format", std::move(act));
  return ui::ShowAviDialog(nullptr, avi, 320, 240, 24);
}

TEST(AviWindow, ChoosingACompressorTakesItsDefaults) {
  aviCodecsRec avi = Uncompressed();
  EXPECT_TRUE(RunAvi(avi, [](QWidget* w) {
    ClickInto(w, "Video compressors");
    Key(Qt::Key_Home);  // Cinepak heads the compatible list
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(avi.fourcc), AviFourCC("cvid"));
  EXPECT_NE(Value(avi.supportsQuality), 0);
  EXPECT_EQ(AviRecName(avi), "Cinepak");
}

TEST(AviWindow, SettingsTypedForTheCurrentCompressorAreStored) {
  aviCodecsRec avi{};
  AviSettingsInit(avi, AviFourCC("cvid"));
  avi.quality = 50;
  avi.keyFrameEvery = 0;
  avi.dataRate = 0;
  EXPECT_TRUE(RunAvi(avi, [](QWidget* w) {
    Key(Qt::Key_Q, Qt::AltModifier);
    Key(Qt::Key_End);  // quality 100
    Key(Qt::Key_K, Qt::AltModifier);
    Tab();
    Type("12");
    Key(Qt::Key_D, Qt::AltModifier);
    Tab();
    Type("300");
    Screenshot(w, "avi-dialog.png");
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(avi.fourcc), AviFourCC("cvid"));
  EXPECT_EQ(Value(avi.quality), 100);
  EXPECT_EQ(Value(avi.keyFrameEvery), 12);
  EXPECT_EQ(Value(avi.dataRate), 300);
}

TEST(AviWindow, CancelKeepsTheSettingsAndTheCurrentCompressor) {
  aviCodecsRec current{};
  AviSettingsStore(current);
  aviCodecsRec avi = Uncompressed();
  const aviCodecsRec before = avi;
  EXPECT_FALSE(RunAvi(avi, [](QWidget* w) {
    ClickInto(w, "Video compressors");
    Key(Qt::Key_Home);
    Key(Qt::Key_Escape);
  }));
  EXPECT_EQ(std::memcmp(&avi, &before, sizeof avi), 0);
  aviCodecsRec after{};
  AviSettingsStore(after);
  EXPECT_EQ(Value(after.fourcc), Value(current.fourcc));
}

TEST(AviWindow, UncheckedBoxesStoreZero) {
  aviCodecsRec avi{};
  AviSettingsInit(avi, AviFourCC("cvid"));
  avi.keyFrameEvery = 15;
  avi.dataRate = 200;
  EXPECT_TRUE(RunAvi(avi, [](QWidget*) {
    Key(Qt::Key_K, Qt::AltModifier);
    Key(Qt::Key_D, Qt::AltModifier);
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(avi.fourcc), AviFourCC("cvid"));
  EXPECT_EQ(Value(avi.keyFrameEvery), 0);
  EXPECT_EQ(Value(avi.dataRate), 0);
}

TEST(AviWindow, ShowListReachesEveryInstalledCompressor) {
  aviCodecsRec avi = Uncompressed();
  EXPECT_TRUE(RunAvi(avi, [](QWidget* w) {
    Key(Qt::Key_S, Qt::AltModifier);  // "&Show:"
    Key(Qt::Key_End);                 // "All installed codecs"
    ClickInto(w, "Video compressors");
    Key(Qt::Key_End);  // the uncompressed entry closes the list
    Key(Qt::Key_Up);   // a decoder-only compressor cannot be chosen for writing
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(avi.isEncoder), 0);
  EXPECT_EQ(Value(avi.compatible), 0);
}

}  // namespace
}  // namespace rf
