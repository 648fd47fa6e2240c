// The format registry: extension lookup, flags, filters, stored depths, kinds, numbered names and
// save options.
#include <gtest/gtest.h>

#include <cstring>
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
            std::vector<bool>({true, false, false, true}));
  EXPECT_EQ(FFGetFlags(FF_GIF, FF_LOAD_TABLE), 11);
  EXPECT_EQ(FFGetFlags(FF_MPG, FF_LOAD_TABLE), 26) << "the first row with the identifier";
  EXPECT_EQ(FFGetFlags(FF_GIF, FF_SAVE_TABLE), FF_AUTO);
  EXPECT_EQ(FFGetLabel(FF_MPG), "MPEG, Moving Pictures Experts Group");

  QffDesc d;
  ASSERT_TRUE(FFGetDescByIndex(0, FF_LOAD_TABLE, d));
  EXPECT_EQ(d.id, FF_HAV);
  ASSERT_TRUE(FFGetDescByIndex(17, FF_LOAD_TABLE, d));
  EXPECT_EQ(d.filterLabel, "MP3/MPA, MPEG Audio Layer I/II/III");
  EXPECT_FALSE(FFGetDescByIndex(18, FF_LOAD_TABLE, d));
  ASSERT_TRUE(FFGetDescByIndex(15, FF_SAVE_TABLE, d));
  EXPECT_EQ(d.id, FF_MP2);
  EXPECT_FALSE(FFGetDescByIndex(16, FF_SAVE_TABLE, d));
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
            "MP2, MPEG Audio Layer II|*.mp2|MPEG, Moving Pictures Experts Group|*.mpg;*.mpeg;*.m1v;*.m2v|"
            "WAV, Windows Wave Sound|*.wav|");
  EXPECT_EQ(FFMakeSaveFilter(4, 0), "All supported formats|*.wav;*.mp2|MPA|*.mp2|WAV|*.wav|Any file (*.*)|*.*");
  const std::string stills = FFMakeSaveFilter(1, 0);
  EXPECT_LT(stills.find("|BMP|"), stills.find("|JPEG|"));
  EXPECT_EQ(stills.find("AVI"), std::string::npos);
}

TEST(FfDescTest, StoredDepthsAndKinds) {
  // Any other depth (12) takes the format's last entry.
  const int32_t depths[][3] = {{FF_BMP, 16, 24}, {FF_TGA, 15, 15}, {FF_HAV, 15, 16},    {FF_FLC, 32, 8},
                               {FF_PCX, 12, 24}, {FF_WAV, 24, 0},  {FF_GIF, 8, FF_AUTO}};
  for (const auto& d : depths) EXPECT_EQ(FFSaveDepth(d[0], d[1]), d[2]) << d[0] << " " << d[1];
  const int32_t kinds[][3] = {{FF_TGA, 1, UNI_STILL}, {FF_TGA, 2, UNI_SEQUENCE}, {FF_GIF, 1, UNI_STILL},
                              {FF_GIF, 2, UNI_MOVIE}, {FF_WAV, 0, UNI_MOVIE},    {0, 1, UNI_UNKNOWN},
                              {19, 1, UNI_UNKNOWN},   {FF_AUTO, 1, UNI_UNKNOWN}};
  for (const auto& k : kinds) EXPECT_EQ(UniKind(k[0], k[1]), k[2]) << k[0] << " " << k[1];
}

TEST(FfDescTest, NumberedNames) {
  QSeqName s;
  EXPECT_TRUE(SeqSplit("/clips/shot0041_final.tga", s));
  EXPECT_EQ(s.prefix, "/clips/shot");
  EXPECT_EQ(s.digitWidth, 4);
  EXPECT_EQ(s.firstNumber, 41);
  EXPECT_EQ(s.suffix, "_final.tga");
  EXPECT_EQ(SeqMakeName(s, 1), "/clips/shot0041_final.tga");
  EXPECT_EQ(SeqMakeName(s, 10), "/clips/shot0050_final.tga");

  EXPECT_TRUE(SeqSplit("/clips/0001.tga", s));
  EXPECT_EQ(s.prefix, "/clips/");
  EXPECT_EQ(s.suffix, ".tga");

  EXPECT_FALSE(SeqSplit("/clips/title.tga", s));
  EXPECT_EQ(s.prefix, "/clips/title");
  EXPECT_EQ(s.suffix, ".tga");
  EXPECT_EQ(s.digitWidth, 0);

  EXPECT_FALSE(SeqSplit("/v2/title", s));
  EXPECT_EQ(s.prefix, "/v2/title") << "digits in a folder name do not count";
  EXPECT_EQ(s.suffix, "");

  EXPECT_TRUE(SeqSplit("out7.bmp", s));
  EXPECT_EQ(SeqMakeName(s, 12), "out18.bmp") << "a longer number is written in full";
  s.digitWidth = 2;
  s.firstNumber = 0;
  EXPECT_EQ(SeqMakeName(s, 12), "out11.bmp");
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
  FFSaveSetFormat(o, FF_PNG);
  EXPECT_EQ(FFSaveCodecName(o), "PNG compression level: 7 of 9");
  FFSaveSetFormat(o, FF_TIF);
  EXPECT_EQ(FFSaveCodecName(o), "Uncompressed, full frames");
  o.tiffCompression = 32946;
  EXPECT_EQ(FFSaveCodecName(o), "Deflate compression (ZIP)");
  FFSaveSetFormat(o, FF_HAV);
  o.havCodec = 3;
  EXPECT_EQ(FFSaveCodecName(o), "N/A");
  FFSaveSetFormat(o, FF_TGA);
  EXPECT_EQ(FFSaveCodecName(o), "Run Length Encoding (RLE)");
  FFSaveSetFormat(o, FF_FLC);
  EXPECT_EQ(FFSaveCodecName(o), "RLE + pixel difference from previous frame");
}

}  // namespace
}  // namespace rf
