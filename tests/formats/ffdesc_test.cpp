// The format registry: extension lookup, flags, filters, stored depths, kinds, numbered names and
// save options.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "formats/ffdesc.h"
#include "formats/ffsaveopt.h"
#include "formats/seqname.h"

namespace rf {
namespace {

TEST(FfDescTest, ExtensionLookup) {
  // A dot in a folder is no extension; .jp must not match inside .jpg; upper-case list entries
  // never match; MPEG audio reads through the MPEG reader.
  const struct {
    const char* name;
    int32_t table, id;
  } cases[] = {{"photo.JPG", FF_LOAD_TABLE, FF_JPG},
               {"/clips/a.b/photo.jfif", FF_LOAD_TABLE, FF_JPG},
               {"noextension", FF_LOAD_TABLE, FF_AUTO},
               {"/clips.d/noextension", FF_LOAD_TABLE, FF_AUTO},
               {"archive.tar.gz", FF_LOAD_TABLE, FF_AUTO},
               {"x.jp", FF_LOAD_TABLE, FF_AUTO},
               {"x.J", FF_LOAD_TABLE, FF_AUTO},
               {"x.mpe", FF_LOAD_TABLE, FF_MPG},
               {"x.mpe", FF_SAVE_TABLE, FF_AUTO},
               {"song.mp2", FF_LOAD_TABLE, FF_MPG},
               {"song.mp2", FF_SAVE_TABLE, FF_MP2},
               {"x.rle", FF_SAVE_TABLE, FF_AUTO}};
  for (const auto& c : cases) EXPECT_EQ(FFGetId(c.name, c.table), c.id) << c.name << " " << c.table;

  const QffDesc sun = FFGetDesc("image.sun", FF_LOAD_TABLE);
  EXPECT_EQ(sun.id, FF_RAS);
  EXPECT_EQ(sun.shortName, "RGB");
  EXPECT_EQ(FFGetDesc("x.qqq", FF_LOAD_TABLE).flags, 0);
  EXPECT_EQ(FFGetDesc("song.mp3", FF_LOAD_TABLE).flags, 20);
}

TEST(FfDescTest, TablesByIdentifierAndIndex) {
  EXPECT_EQ(std::vector<bool>({FFCanSave(FF_TGA), FFCanSave(FF_GIF), FFCanSave(FF_BAY), FFCanSave(FF_MP2)}),
            std::vector<bool>({true, true, false, true}));
  EXPECT_EQ(FFGetFlags(FF_GIF, FF_LOAD_TABLE), 11);
  EXPECT_EQ(FFGetFlags(FF_MPG, FF_LOAD_TABLE), 26) << "the first row with the identifier";
  EXPECT_EQ(FFGetFlags(FF_GIF, FF_SAVE_TABLE), 11);
  EXPECT_EQ(FFGetFlags(FF_BAY, FF_SAVE_TABLE), FF_AUTO);
  EXPECT_EQ(FFGetLabel(FF_MPG), "MPEG, Moving Pictures Experts Group");

  QffDesc d;
  ASSERT_TRUE(FFGetDescByIndex(0, FF_LOAD_TABLE, d));
  EXPECT_EQ(d.id, FF_HAV);
  ASSERT_TRUE(FFGetDescByIndex(17, FF_LOAD_TABLE, d));
  EXPECT_EQ(d.filterLabel, "MP3/MPA, MPEG Audio Layer I/II/III");
  ASSERT_TRUE(FFGetDescByIndex(18, FF_LOAD_TABLE, d));
  EXPECT_EQ(d.id, FF_MOV);
  EXPECT_FALSE(FFGetDescByIndex(19, FF_LOAD_TABLE, d));
  ASSERT_TRUE(FFGetDescByIndex(16, FF_SAVE_TABLE, d));
  EXPECT_EQ(d.id, FF_MP2);
  ASSERT_TRUE(FFGetDescByIndex(17, FF_SAVE_TABLE, d));
  EXPECT_EQ(d.id, FF_MOV);
  EXPECT_FALSE(FFGetDescByIndex(18, FF_SAVE_TABLE, d));
  EXPECT_FALSE(FFGetDescByIndex(-1, FF_SAVE_TABLE, d));
}

TEST(FfDescTest, DialogFilters) {
  std::string mask, list;
  FFConvExt_(".gif.giff", mask, list);
  EXPECT_EQ(mask, "*.gif;*.giff");
  EXPECT_EQ(list, "gif,giff");

  const std::string load = FFMakeLoadFilter(0, 3);
  EXPECT_EQ(load.rfind("All supported formats|*.hav;*.gif;*.giff;*.bmp;*.dib;*.rle;", 0), 0u) << load;
  EXPECT_NE(load.find("|BMP/DIB, Windows Device Independent Bitmap (bmp,dib,rle)|*.bmp;*.dib;*.rle|"),
            std::string::npos);
  EXPECT_EQ(load.substr(load.size() - 18), "Any file (*.*)|*.*");

  // Sound outputs, plain: only the per-format entries, sorted by their text, each ending in "|".
  EXPECT_EQ(FFMakeSaveFilter(16, 4 | 1),
            "AVI, Windows Audio Video Interleaved|*.avi|HAV, High quality Audio Video|*.hav|"
            "MP2, MPEG Audio Layer II|*.mp2|MP4, H.264 video and AAC sound|*.mp4;*.m4v|"
            "MPEG, Moving Pictures Experts Group|*.mpg;*.mpeg;*.m1v;*.m2v|"
            "WAV, Windows Wave Sound|*.wav|");
  EXPECT_EQ(FFMakeSaveFilter(4, 0), "All supported formats|*.wav;*.mp2|MPA|*.mp2|WAV|*.wav|Any file (*.*)|*.*");
  const std::string stills = FFMakeSaveFilter(1, 0);
  EXPECT_LT(stills.find("|BMP|"), stills.find("|GIF|*.gif|"));
  EXPECT_LT(stills.find("|GIF|*.gif|"), stills.find("|JPEG|"));
  EXPECT_EQ(stills.find("AVI"), std::string::npos);
}

TEST(FfDescTest, StoredDepthsAndKinds) {
  // Any other depth (12) takes the format's last entry.
  const int32_t depths[][3] = {{FF_BMP, 16, 24}, {FF_TGA, 15, 15}, {FF_HAV, 15, 16}, {FF_FLC, 32, 8},
                               {FF_PCX, 12, 24}, {FF_WAV, 24, 0},  {FF_GIF, 24, 8},  {FF_BAY, 8, FF_AUTO}};
  for (const auto& d : depths) EXPECT_EQ(FFSaveDepth(d[0], d[1]), d[2]) << d[0] << " " << d[1];
  const int32_t kinds[][3] = {{FF_TGA, 1, UNI_STILL}, {FF_TGA, 2, UNI_SEQUENCE}, {FF_GIF, 1, UNI_STILL},
                              {FF_GIF, 2, UNI_MOVIE}, {FF_WAV, 0, UNI_MOVIE},    {0, 1, UNI_UNKNOWN},
                              {20, 1, UNI_UNKNOWN},   {FF_AUTO, 1, UNI_UNKNOWN}};
  for (const auto& k : kinds) EXPECT_EQ(UniKind(k[0], k[1]), k[2]) << k[0] << " " << k[1];
}

TEST(FfDescTest, NumberedNames) {
  // Digits in a folder name do not count; a number longer than its width is written in full.
  const struct {
    const char* name;
    bool numbered;
    std::string prefix;
    int32_t width, first;
    std::string suffix, tenth;
  } cases[] = {{"/clips/shot0041_final.tga", true, "/clips/shot", 4, 41, "_final.tga", "/clips/shot0050_final.tga"},
               {"/clips/0001.tga", true, "/clips/", 4, 1, ".tga", "/clips/0010.tga"},
               {"/clips/title.tga", false, "/clips/title", 0, 0, ".tga", ""},
               {"/v2/title", false, "/v2/title", 0, 0, "", ""},
               {"out7.bmp", true, "out", 1, 7, ".bmp", "out16.bmp"}};
  for (const auto& c : cases) {
    QSeqName s;
    EXPECT_EQ(SeqSplit(c.name, s), c.numbered) << c.name;
    EXPECT_EQ(std::tuple(s.prefix, s.digitWidth, s.suffix), std::tuple(c.prefix, c.width, c.suffix)) << c.name;
    if (c.numbered) {
      EXPECT_EQ(std::tuple(s.firstNumber, SeqMakeName(s, 1), SeqMakeName(s, 10)),
                std::tuple(c.first, std::string(c.name), c.tenth));
    }
  }
}

TEST(FfDescTest, SaveOptions) {
  QffSaveOpt o;
  FFSaveInit(o);
  // Fields of the packed record are read by value: a reference to one may be misaligned.
  EXPECT_EQ(int32_t{o.valid}, -1);
  EXPECT_EQ(int32_t{o.param1}, FF_AUTO);
  EXPECT_EQ(int32_t{o.jpegQuality}, 85);
  EXPECT_EQ(int32_t{o.mpegRate}, 1125);
  uint8_t bytes[282];
  std::memcpy(bytes, &o, sizeof bytes);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 64), 4), "cvid");
  EXPECT_EQ(bytes[270], 85);

  FFSaveSetFormat(o, FF_BMP);
  EXPECT_EQ(int32_t{o.hasDialog}, 0);
  EXPECT_EQ(FFSaveCodecName(o), "Uncompressed, full frames");
  FFSaveSetFormat(o, FF_PNM);
  EXPECT_EQ(int32_t{o.hasDialog}, -1);
  EXPECT_EQ(FFSaveCodecName(o), "Binary encoded");
  FFSaveSetFormat(o, FF_JPG);
  EXPECT_EQ(FFSaveCodecName(o), "JPEG quality: 85%");
  FFSaveSetFormat(o, FF_TIF);
  o.tiffCompression = 32946;
  EXPECT_EQ(FFSaveCodecName(o), "Deflate compression (ZIP)");
  FFSaveSetFormat(o, FF_HAV);
  o.havCodec = 3;
  EXPECT_EQ(FFSaveCodecName(o), "N/A");
}

}  // namespace
}  // namespace rf
