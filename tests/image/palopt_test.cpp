// Palette reduction: counting, low palette, median cut, dark colour first, remap and dithering.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "common/test_support.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"
#include "image/palopt.h"
#include "image_test_util.h"

namespace rf {
namespace {

using test::MakeFrom;
using test::MakePattern;
using test::Pixels;

class PalOptTest : public test::FoundationTest {};

uint32_t Entry(const Qimg& img, int32_t i) {
  return uint32_t(img.palette[i][0]) | (uint32_t(img.palette[i][1]) << 8) | (uint32_t(img.palette[i][2]) << 16);
}

uint32_t Grey(uint32_t g) { return g * 0x010101; }

TEST_F(PalOptTest, CountingFillsTheCellsOfEveryDepth) {
  Qimg w16, w15, pal, rgb;
  MakeFrom(w16, 2, 1, 16, {0xFFFF, 0xFFFF});
  MakeFrom(w15, 1, 1, 15, {0x7FFF});
  MakeFrom(pal, 5, 1, 8, {3, 3, 3, 7, 3});
  pal.palette[3][0] = 40, pal.palette[3][1] = 80, pal.palette[3][2] = 120;
  MakeFrom(rgb, 1, 1, 32, {0x00FC0004});
  PalInit();
  PalCountColors(w16);
  PalCountColors(w15);
  PalCountColors(pal);
  PalCountColors(rgb);
  const PalQuant* q = PalState();
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(MemLabel(q).substr(0, 23), "C:PalOpt.PalInit.quant:");
  // Cells hold the count minus 1: two 16-bit white pixels, not 15-bit white, four pixels of index
  // 3, index 7 (black) once, the 32-bit pixel once, an unused cell.
  const int32_t cells[] = {62 + 64 * 63 + 4096 * 62, 62 + 64 * 62 + 4096 * 62, PalCell(40, 80, 120), 0, 63 + 4096, 1};
  std::vector<int32_t> counts;
  for (int32_t c : cells) counts.push_back(q->histogram[c]);
  EXPECT_EQ(counts, (std::vector<int32_t>{1, 0, 3, 0, 0, -1}));
  PalDone();
  EXPECT_EQ(PalState(), nullptr);
  for (Qimg* p : {&w16, &w15, &pal, &rgb}) ImgFree(*p);
}

TEST_F(PalOptTest, LowPaletteKeepsCellColoursInCellOrder) {
  std::vector<uint32_t> px;
  for (uint32_t i = 0; i < 10; ++i) px.push_back(((i * 25 + 3) << 16) | ((250 - i * 20) << 8) | (i * 7 + 2));
  px.push_back(px[3]);
  px.push_back(0x000000);
  Qimg img, out;
  MakeFrom(img, 4, 3, 24, px);
  ConvTo8bit(img, out, false);
  EXPECT_EQ(MemCount(), 2) << "the working block is gone";
  const std::vector<uint32_t> idx = Pixels(out);
  std::vector<uint32_t> got, want;
  for (size_t i = 0; i < px.size(); ++i) {
    got.push_back(Entry(out, int32_t(idx[i])));
    want.push_back(px[i] & 0xFCFCFC);
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(std::set<uint32_t>(idx.begin(), idx.end()).size(), 11u) << "ten colours and black";
  for (int32_t i = 11; i < 256; ++i) ASSERT_EQ(Entry(out, i), 0xFFFFFFu) << "unused entries stay white";
  EXPECT_EQ(idx[11], 0u) << "black is entry 0";

  Qimg white, w8;
  MakeFrom(white, 2, 2, 24, std::vector<uint32_t>(4, 0xFFFFFF));
  ConvTo8bit(white, w8, true);
  EXPECT_EQ(Entry(w8, 0), 0xFCFCFCu) << "white becomes 252";
  EXPECT_EQ(Pixels(w8), std::vector<uint32_t>(4, 0));
  Qimg reds;
  MakeFrom(reds, 3, 1, 24, {200 << 16, 201 << 16, 203 << 16});
  ImgConvBppEx(reds, reds, 8, 0);
  EXPECT_EQ(Pixels(reds), std::vector<uint32_t>(3, 0)) << "red 200, 201 and 203 share a cell";
  EXPECT_EQ(Entry(reds, 0), 200u << 16);
  for (Qimg* p : {&img, &out, &white, &w8, &reds}) ImgFree(*p);
}

TEST_F(PalOptTest, MedianCutPutsTheDarkColourFirst) {
  // Blue (0, 0, 200) is nearer to black than the two olive colours by the weighted distance, but
  // its box comes second: the blue axis is the longest and blue is at its top.
  Qimg img, out;
  MakeFrom(img, 3, 1, 24, {200, (120 << 16) | (120 << 8), (110 << 16) | (110 << 8)});
  PalInit();
  PalCountColors(img);
  PalReduce(2);
  EXPECT_EQ(PalState()->boxCount, 2);
  PalRemap(img, out, false);
  PalDone();
  EXPECT_EQ(Entry(out, 0), 200u);
  EXPECT_EQ(Entry(out, 1), (114u << 16) | (114u << 8)) << "the population mean of the olive box";
  EXPECT_EQ(Pixels(out), (std::vector<uint32_t>{0, 1, 1}));
  EXPECT_EQ(Entry(out, 2), 0xFFFFFFu);
  ImgFree(img);
  ImgFree(out);
}

std::vector<uint32_t> Reduced(const Qimg& img, int32_t n, uint8_t (*palette)[3]) {
  Qimg out;
  PalInit();
  PalCountColors(img);
  PalReduce(n);
  PalRemap(img, out, false);
  PalDone();
  std::memcpy(palette, out.palette, 768);
  std::vector<uint32_t> idx = Pixels(out);
  ImgFree(out);
  return idx;
}

TEST_F(PalOptTest, ColourCountIsClampedAndTheCutStaysWithinItsBoxes) {
  Qimg img;
  MakePattern(img, 64, 48, 24, 17);
  uint8_t p1[256][3], p2[256][3], p256[256][3], p1000[256][3];
  EXPECT_EQ(Reduced(img, 1, p1), Reduced(img, 2, p2));
  EXPECT_EQ(std::memcmp(p1, p2, 768), 0);
  EXPECT_EQ(std::memcmp(p2[2], "\xFF\xFF\xFF", 3), 0) << "two colours only";
  const std::vector<uint32_t> idx = Reduced(img, 256, p256);
  EXPECT_EQ(Reduced(img, 1000, p1000), idx);
  EXPECT_EQ(std::memcmp(p256, p1000, 768), 0);

  // 3072 random pixels fill 256 boxes; every entry is a quantised mean, at most 252, entry 0 the
  // darkest, and every pixel lands on an entry that is close to it.
  std::set<int32_t> used(idx.begin(), idx.end());
  EXPECT_GT(used.size(), 200u);
  auto dist = [](const uint8_t* e, const uint8_t* p) {
    return 4 * (e[2] - p[2]) * (e[2] - p[2]) + 9 * (e[1] - p[1]) * (e[1] - p[1]) + (e[0] - p[0]) * (e[0] - p[0]);
  };
  const uint8_t black[3] = {0, 0, 0};
  for (int32_t i = 0; i < 256; ++i) {
    for (int32_t c = 0; c < 3; ++c) EXPECT_LE(p256[i][c], 252);
    EXPECT_GE(dist(p256[i], black), dist(p256[0], black));
  }
  int64_t total = 0;
  for (size_t i = 0; i < idx.size(); ++i) total += dist(p256[idx[i]], img.data + 3 * i);
  EXPECT_LT(total / int64_t(idx.size()), 14 * 40 * 40) << "mean weighted error of a 256-colour cut";
  ImgFree(img);
}

TEST_F(PalOptTest, PaletteSourcesAreTranslated) {
  Qimg pal, out;
  MakeFrom(pal, 4, 1, 8, {9, 4, 9, 200});
  pal.palette[9][2] = 255;
  pal.palette[4][1] = 128;
  pal.palette[200][0] = 64;
  PalInit();
  PalCountColors(pal);
  PalReduce(256);
  PalRemap(pal, pal, true);
  PalDone();
  const std::vector<uint32_t> idx = Pixels(pal);
  EXPECT_EQ(Entry(pal, int32_t(idx[0])), 0xFC0000u);
  EXPECT_EQ(Entry(pal, int32_t(idx[1])), 0x008000u);
  EXPECT_EQ(Entry(pal, int32_t(idx[3])), 0x000040u);
  EXPECT_EQ(idx[0], idx[2]);
  ImgFree(pal);
}

TEST_F(PalOptTest, DampedErrorShares) {
  const int32_t ks[] = {1, 3, 5, 7};
  // error: share for k = 1, 3, 5, 7
  // Edges of the damping: the shares fade out above 19, 38 and 57.
  const int32_t table[][5] = {{1, 0, 0, 0, 0},  {2, 0, 0, 1, 1},  {19, 1, 4, 6, 8},
                              {20, 0, 0, 0, 0}, {38, 0, 2, 3, 4}, {39, 0, 0, 0, 0},
                              {57, 0, 1, 1, 2}, {58, 0, 0, 0, 0}, {-19, -1, -4, -6, -8}};
  for (const auto& row : table)
    for (int32_t t = 0; t < 4; ++t)
      EXPECT_EQ(detail::PalErrShare(row[0], ks[t]), row[t + 1]) << "error " << row[0] << ", k " << ks[t];
}

// Remaps grey rows with dithering to the palette {black, grey 24}; returns the indices.
std::vector<uint32_t> DitherGreys(int32_t w, int32_t h, const std::vector<uint32_t>& greys, int32_t bpp = 24) {
  Qimg palette, img, out;
  MakeFrom(palette, 2, 1, 24, {0, Grey(24)});
  std::vector<uint32_t> px;
  for (uint32_t g : greys) px.push_back(Grey(g));
  MakeFrom(img, w, h, bpp, px);
  PalInit();
  PalCountColors(palette);
  PalReduce(256);
  PalRemap(img, out, true);
  PalDone();
  EXPECT_EQ(Pixels(img), px) << "the source is left as it was";
  std::vector<uint32_t> idx = Pixels(out);
  for (Qimg* p : {&palette, &img, &out}) ImgFree(*p);
  return idx;
}

TEST_F(PalOptTest, DiffusionSkipsTheFirstPixelOfEvenRows) {
  // Grey 12 is as near to black as to grey 24 and becomes black, an error of 12 that gives the
  // right neighbour 5; 11 + 5 lands in a cell nearer to grey 24.
  EXPECT_EQ(DitherGreys(2, 1, {12, 11}), (std::vector<uint32_t>{0, 0})) << "row 0 starts without passing";
  EXPECT_EQ(DitherGreys(3, 1, {0, 12, 11}), (std::vector<uint32_t>{0, 0, 1})) << "later pixels pass";
  EXPECT_EQ(DitherGreys(2, 2, {0, 0, 12, 11}), (std::vector<uint32_t>{0, 0, 0, 1})) << "odd rows pass from the start";
  EXPECT_EQ(DitherGreys(2, 3, {0, 0, 0, 0, 12, 11}), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DitherGreys(3, 1, {0, 12, 11}, 32), (std::vector<uint32_t>{0, 0, 1})) << "32-bit sources alike";
  // The lower neighbours: black above passes nothing, the 12 of pixel 1 gives 4 below it.
  EXPECT_EQ(DitherGreys(3, 2, {0, 12, 0, 0, 14, 0}), (std::vector<uint32_t>{0, 0, 0, 0, 1, 0}));

  // Without dithering the same rows map cell by cell.
  Qimg palette, img, out;
  MakeFrom(palette, 2, 1, 24, {0, Grey(24)});
  MakeFrom(img, 3, 1, 16, {0, 0x0841, 0x0841 * 3});  // 16-bit greys 8 and 24
  PalInit();
  PalCountColors(palette);
  PalReduce(256);
  PalRemap(img, out, false);
  PalDone();
  EXPECT_EQ(Pixels(out), (std::vector<uint32_t>{0, 0, 1}));
  for (Qimg* p : {&palette, &img, &out}) ImgFree(*p);
}

TEST_F(PalOptTest, DitheredConversionOfARealPicture) {
  Qimg img, plain, dithered;
  MakePattern(img, 40, 30, 24, 23);
  ImgConvBppEx(img, plain, 8, 0);
  ImgConvBppEx(img, dithered, 8, 1);
  EXPECT_EQ(std::memcmp(plain.palette, dithered.palette, 768), 0) << "the same palette either way";
  EXPECT_NE(Pixels(plain), Pixels(dithered));
  EXPECT_EQ(Pixels(plain)[0], Pixels(dithered)[0]) << "nothing reaches the first pixel";
  for (Qimg* p : {&img, &plain, &dithered}) ImgFree(*p);
}

}  // namespace
}  // namespace rf
