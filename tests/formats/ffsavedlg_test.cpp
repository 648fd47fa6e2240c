// The output options dialogs: choices per format, confirmed and cancelled answers.
#include <gtest/gtest.h>

#include <functional>

#include "formats/ffdesc.h"
#include "formats/ffsavedlg.h"

namespace rf {
namespace {

class ScriptedOptions : public SaveOptionDialogs {
 public:
  std::string title;
  std::vector<FFChoiceItem> items;
  QDlgData shown;
  std::function<bool(int32_t&)> choose = [](int32_t&) { return true; };
  std::function<bool(QDlgData&)> value = [](QDlgData&) { return true; };
  int movieCalls = 0;
  bool Choice(const std::string& t, const std::vector<FFChoiceItem>& i, int32_t& v) override {
    title = t;
    items = i;
    return choose(v);
  }
  bool Value(QDlgData& d) override {
    shown = d;
    return value(d);
  }
  bool MovieOptions(QffSaveOpt& opts, int32_t, int32_t, int32_t) override {
    ++movieCalls;
    opts.havCodec = 0;
    return true;
  }
};

QffSaveOpt Options(int32_t format) {
  QffSaveOpt o;
  FFSaveInit(o);
  FFSaveSetFormat(o, format);
  return o;
}

TEST(FfSaveDlgTest, ChoicesLandInTheFormatsField) {
  ScriptedOptions ui;
  QffSaveOpt o = Options(FF_TIF);
  ui.choose = [](int32_t& v) {
    EXPECT_EQ(v, 1) << "the dialog starts from the current choice";
    v = 32946;
    return true;
  };
  EXPECT_TRUE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_EQ(ui.title, "TIFF Compression");
  ASSERT_EQ(ui.items.size(), 5u);
  EXPECT_EQ(ui.items[0].text, "PackBits (Macintosh RLE)");
  EXPECT_EQ(int32_t{o.tiffCompression}, 32946);
  EXPECT_EQ(FFSaveCodecName(o), "Deflate compression (ZIP)");

  o = Options(FF_PNM);
  ui.choose = [](int32_t& v) {
    v = 1;
    return false;
  };
  EXPECT_FALSE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_EQ(ui.title, "PNM Format");
  EXPECT_EQ(int32_t{o.pnmEncoding}, 0) << "a cancelled dialog changes nothing";
}

TEST(FfSaveDlgTest, SlidersForQualityAndLevel) {
  ScriptedOptions ui;
  QffSaveOpt o = Options(FF_JPG);
  ui.value = [](QDlgData& d) {
    d.values[0] = 62.6;
    return true;
  };
  EXPECT_TRUE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_EQ(ui.shown.caption, "JPEG Quality");
  EXPECT_DOUBLE_EQ(ui.shown.maximum, 100);
  EXPECT_DOUBLE_EQ(ui.shown.values[0], 85);
  EXPECT_EQ(int32_t{o.jpegQuality}, 63) << "rounded to a whole number";

  o = Options(FF_PNG);
  EXPECT_TRUE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_EQ(ui.shown.caption, "PNG Compression Level");
  EXPECT_DOUBLE_EQ(ui.shown.maximum, 9);
  EXPECT_DOUBLE_EQ(ui.shown.largeStep, 1);
}

TEST(FfSaveDlgTest, FormatsWithoutDialogAndMovieFormats) {
  ScriptedOptions ui;
  QffSaveOpt o = Options(FF_BMP);
  EXPECT_TRUE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_TRUE(ui.title.empty());
  o = Options(FF_HAV);
  EXPECT_TRUE(FFSaveDlg(o, 320, 240, 24, ui));
  EXPECT_EQ(ui.movieCalls, 1);
  EXPECT_EQ(int32_t{o.havCodec}, 0);
}

}  // namespace
}  // namespace rf
