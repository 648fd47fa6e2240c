// The format options windows driven by keyboard: the choice each format stores, the HAV and
// MPEG settings, and what Cancel leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/ffdesc.h"
#include "formats/ffsaveopt.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

QffSaveOpt OptionsFor(int32_t format) {
  QffSaveOpt opts{};
  FFSaveInit(opts);
  FFSaveSetFormat(opts, format);
  return opts;
}

bool RunOptions(QffSaveOpt& opts, const char* title, std::function<void(QWidget*)> act) {
  WhenOpen(title, std::move(act));
  return ui::ShowSaveOptions(nullptr, opts, 320, 240, 24);
}

TEST(SaveOptionWindows, ChoicesStoreTheirValues) {
  const struct {
    int32_t format;
    const char* title;
    const char* choice;
    int32_t QffSaveOpt::*field;
    int32_t want;
  } rows[] = {{FF_TIF, "TIFF Compression", "Deflate (ZIP)", &QffSaveOpt::tiffCompression, 32946},
              {FF_TGA, "TGA Compression", "Uncompressed", &QffSaveOpt::tgaCompression, 0},
              {FF_SGI, "SGI Compression", "Uncompressed", &QffSaveOpt::sgiCompression, 0},
              {FF_PNM, "PNM Format", "ASCII Encoded", &QffSaveOpt::pnmEncoding, 1}};
  for (const auto& row : rows) {
    QffSaveOpt opts = OptionsFor(row.format);
    const QffSaveOpt before = opts;
    EXPECT_FALSE(RunOptions(opts, row.title, [&](QWidget* w) {
      ClickInto(w, row.choice);
      Key(Qt::Key_Escape);
    }));
    EXPECT_EQ(std::memcmp(&opts, &before, sizeof opts), 0) << row.title;
    EXPECT_TRUE(RunOptions(opts, row.title, [&](QWidget* w) {
      ClickInto(w, row.choice);
      Key(Qt::Key_Return);
    }));
    EXPECT_EQ(Value(opts.*row.field), row.want) << row.title;
  }
}

TEST(SaveOptionWindows, SliderValuesAndHavSettings) {
  QffSaveOpt jpeg = OptionsFor(FF_JPG);
  EXPECT_TRUE(RunOptions(jpeg, "JPEG Quality", [](QWidget*) {
    Key(Qt::Key_Home);
    Key(Qt::Key_PageUp);  // a large step of 10
    Key(Qt::Key_Right);
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(jpeg.jpegQuality), 11);
  QffSaveOpt png = OptionsFor(FF_PNG);
  EXPECT_TRUE(RunOptions(png, "PNG Compression Level", [](QWidget*) {
    Key(Qt::Key_End);
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(png.pngLevel), 9);

  QffSaveOpt hav = OptionsFor(FF_HAV);
  EXPECT_TRUE(RunOptions(hav, "HAV Settings", [](QWidget* w) {
    ClickInto(w, "BEST Codec");
    ClickInto(w, "Key frame every");
    Type("50");
    Key(Qt::Key_Return);
  }));
  EXPECT_EQ(Value(hav.havCodec), 0);
  EXPECT_EQ(Value(hav.havSetting), 50);
}

TEST(SaveOptionWindows, MpegRatesFollowPresetsAndTypedRates) {
  const struct {
    int presetKey;  // moves the preset list; Qt::Key_End picks "Custom"
    const char* field;
    const char* typed;
    int32_t want;
  } rows[] = {{Qt::Key_End, "Bit Rate, kilobits/sec", "2000", 2000},
              {Qt::Key_End, "Byte Rate, kilobytes/sec", "300", 2400},
              {Qt::Key_End, "Bit Rate, kilobits/sec", "200000", 102400},
              {Qt::Key_Down, "Bit Rate, kilobits/sec", "7", 4882}};  // a preset locks the rates
  for (const auto& row : rows) {
    QffSaveOpt opts = OptionsFor(FF_MPG);
    EXPECT_TRUE(RunOptions(opts, "MPEG Compression", [&](QWidget* w) {
      ClickInto(w, row.field);
      Key(Qt::Key_Tab, Qt::ShiftModifier);
      if (QString(row.field).startsWith("Byte")) Key(Qt::Key_Tab, Qt::ShiftModifier);
      EXPECT_EQ(FocusName(), "Presets");
      Key(row.presetKey);
      ClickInto(w, row.field);
      Type(row.typed);
      Key(Qt::Key_Return);
    }));
    EXPECT_EQ(Value(opts.mpegRate), row.want) << row.typed;
    EXPECT_EQ(Value(opts.mpegFormat), 1);
  }
}

}  // namespace
}  // namespace rf
