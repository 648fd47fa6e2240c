// The picture record, the operation table and scaffold, pasting, cropping, flips and colour counts.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"
#include "image_test_util.h"

namespace rf {
namespace {

using test::MakeFrom;
using test::MakePattern;
using test::Pixel;
using test::Pixels;
using test::SameImage;

class ImgBasicTest : public test::FoundationTest {};

constexpr int32_t kDepths[] = {8, 15, 16, 24, 32};

TEST_F(ImgBasicTest, AllocationChecksSizesAndLabelsTheBlock) {
  EXPECT_TRUE(ImgCheckDims(1, 1, 8));
  EXPECT_TRUE(ImgCheckDims(IMG_MAX_SIDE, 4096, 32));
  EXPECT_TRUE(ErrNone());
  const int32_t bad[][3] = {{0, 5, 24}, {5, 0, 24}, {-1, 5, 24},       {IMG_MAX_SIDE + 1, 1, 8},
                            {4, 4, 12}, {4, 4, 0},  {65536, 65536, 8}, {32768, 16385, 16}};
  for (const auto& b : bad) {
    EXPECT_FALSE(ImgCheckDims(b[0], b[1], b[2])) << b[0] << "x" << b[1] << "x" << b[2];
    EXPECT_EQ(ErrCategory(), 7);
    EXPECT_EQ(ErrCode(), 2);
    ErrClear();
  }

  Qimg img;
  EXPECT_EQ(_imgalloc_(img, 0, 10, 24, "Test.Bad"), 7);
  EXPECT_EQ(img.data, nullptr);
  EXPECT_EQ(MemCount(), 0) << "no block is allocated for a rejected size";
  ErrClear();

  ASSERT_EQ(_imgalloc_(img, 5, 3, 15, "Test.Alloc.img", Site{42}), 0);
  EXPECT_EQ(img.size, 30);
  EXPECT_EQ(img.bytesPerPixel, 2);
  EXPECT_EQ(MemLabel(img.data), "C:(ImgAlloc):Test.Alloc.img:42");
  std::memset(img.data, 0xAB, 30);
  ASSERT_EQ(_imgalloc_(img, 10, 3, 15, "Test.Alloc.img"), 0);
  EXPECT_EQ(MemCount(), 1) << "re-sizing keeps one block";
  EXPECT_EQ(img.data[29], 0xAB) << "re-sizing keeps the bytes that fit";
  int32_t w, h, bpp;
  ImgGetDims(img, w, h, bpp);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(bpp, 16) << "a 15-bit picture reports 16";

  img.palette[7][1] = 9;
  ImgFree(img);
  EXPECT_EQ(MemCount(), 0);
  EXPECT_FALSE(ImgValid(img));
  EXPECT_EQ(img.width, 0);
  EXPECT_EQ(img.palette[7][1], 0) << "freeing zeroes the palette too";
}

TEST_F(ImgBasicTest, ExternalBlocksAreNeitherFreedNorExchangedAway) {
  uint8_t pixels[4 * 2 * 3] = {1, 2, 3};
  Qimg ext;
  ext.data = pixels;
  ext.external = RF_TRUE;
  ImgSetDims(ext, 4, 2, 24);
  EXPECT_TRUE(ImgValid(ext));
  EXPECT_EQ(ext.size, 24) << "an external record gets its size from the dimensions";

  Qimg own;
  MakePattern(own, 3, 3, 8);
  const std::vector<uint32_t> ownPixels = Pixels(own);
  ImgXchg(ext, own);
  EXPECT_EQ(own.data, pixels);
  EXPECT_TRUE(own.external);
  EXPECT_FALSE(ext.external);
  EXPECT_EQ(ext.width, 3);
  EXPECT_EQ(Pixels(ext), ownPixels);
  EXPECT_EQ(MemCount(), 1);
  ImgFree(own);
  EXPECT_EQ(pixels[0], 1) << "the external block is left alone";
  ImgFree(ext);
  EXPECT_EQ(MemCount(), 0);
}

TEST_F(ImgBasicTest, CopyAndExchangeKeepEverything) {
  for (int32_t bpp : kDepths) {
    Qimg a, b, c;
    MakePattern(a, 7, 5, bpp, 3);
    ImgCopy(a, b);
    EXPECT_TRUE(SameImage(a, b)) << bpp;
    EXPECT_EQ(std::memcmp(a.palette, b.palette, 768) == 0, bpp == 8) << "the palette travels at 8 bits only";
    ImgCopy(a, a);
    MakePattern(c, 2, 9, 24, 4);
    const std::vector<uint32_t> pa = Pixels(a), pc = Pixels(c);
    ImgXchg(a, c);
    EXPECT_EQ(Pixels(a), pc);
    EXPECT_EQ(Pixels(c), pa);
    EXPECT_EQ(c.bpp, bpp);
    ImgFree(a);
    ImgFree(b);
    ImgFree(c);
  }
  Qimg full, empty;
  MakePattern(full, 3, 2, 24);
  ImgXchg(full, empty);
  EXPECT_FALSE(ImgValid(full));
  EXPECT_EQ(empty.width, 3);
  EXPECT_EQ(MemSize(empty.data), 20);
  ImgFree(empty);
}

TEST_F(ImgBasicTest, OperationTable) {
  // One row of each depth map and of each flag; Chaos keeps 8 bits without palette mode; an
  // unknown operation (33) keeps the defaults.
  const struct {
    int32_t op;
    std::vector<int32_t> bppMap;
    std::vector<bool> flags;  // in place, palette mode, convert destination, keep deeper
  } rows[] = {{19, {8, 24, 16, 24, 24, 24}, {true, true, false, false}},
              {13, {8, 15, 16, 24, 32, 24}, {true, false, false, false}},
              {2, {24, 24, 24, 24, 24, 24}, {false, false, false, false}},
              {4, {8, 24, 24, 24, 24, 24}, {false, false, false, false}},
              {IMG_OP_SPRITE, {8, 15, 16, 24, 32, 24}, {false, false, true, false}},
              {IMG_OP_INSERT, {8, 15, 16, 24, 32, 24}, {false, false, false, true}},
              {IMG_OP_CROP, {8, 24, 24, 24, 24, 24}, {true, false, false, false}},
              {IMG_OP_RESAMPLE, {24, 24, 24, 24, 24, 24}, {false, false, false, false}},
              {33, {24, 24, 24, 24, 24, 24}, {true, false, false, false}}};
  ImgOpInfo info;
  for (const auto& r : rows) {
    ImgInfo(info, r.op);
    EXPECT_EQ(info.op, r.op);
    EXPECT_EQ(std::vector<int32_t>(info.bppMap, info.bppMap + 6), r.bppMap) << r.op;
    EXPECT_EQ(std::vector<bool>({info.inPlace != 0, info.palMode != 0, info.convertDest != 0, info.keepDeeper != 0}),
              r.flags)
        << r.op;
  }
  // A sample of parameter rows: operation, count, one parameter's minimum, maximum and default.
  const struct {
    int32_t op, count, param;
    double minimum, maximum, deflt;
  } params[] = {{14, 3, 2, 0.01, 5, 1}, {24, 2, 1, 2, 64, 2}, {29, 3, 0, 1, 255, 128}, {16, 1, 0, -180, 180, 0}};
  for (const auto& p : params) {
    ImgInfo(info, p.op);
    const ImgOpParam& q = info.params[p.param];
    EXPECT_EQ(std::tuple(info.paramCount, q.minimum, q.maximum, q.deflt),
              std::tuple(p.count, p.minimum, p.maximum, p.deflt))
        << p.op;
  }

  ImgInitInfo(info);
  ImgInfoSetBpp(info, 12, 8);
  EXPECT_EQ(info.bppMap[5], 8) << "any other depth sets the entry for other depths";
  ImgInfoSetBpp(info, 0, 16);
  EXPECT_EQ(std::vector<int32_t>(info.bppMap, info.bppMap + 6), (std::vector<int32_t>(6, 16)));
  ImgInfoSetParam(info, 4, 1, 2, 3);
  EXPECT_EQ(info.paramCount, 5);
  ImgInfoSetParam(info, 1, 1, 2, 3);
  EXPECT_EQ(info.paramCount, 5) << "a lower index never lowers the count";
  ImgInfoSetParams(info, 6, 3, -1, 1, 0);
  EXPECT_EQ(info.paramCount, 9);
  EXPECT_DOUBLE_EQ(info.params[8].minimum, -1);
}

TEST_F(ImgBasicTest, ScaffoldNeedsADestinationUnlessInPlace) {
  ImgOpInfo info;
  ImgInfo(info, IMG_OP_RESIZE);
  ImgWork work;
  Qimg src;
  MakePattern(src, 4, 4, 24);
  GuardedSilent("Test.Scaffold", [&] { ImgInitEx(info, work, src, nullptr, 2, 2); });
  EXPECT_EQ(ErrCategory(), 7);
  EXPECT_EQ(ErrCode(), 6);
  EXPECT_EQ(ErrLastMessage(), "Cannot initialize image function.");
  ErrClear();

  // An in-place operation without a destination works on the source; 16 bits become 24.
  Qimg img;
  MakePattern(img, 3, 2, 16);
  ImgInfo(info, 6);
  ImgInit(info, work, img, nullptr);
  EXPECT_TRUE(work.tempUsed);
  EXPECT_EQ(work.dst, &img);
  EXPECT_EQ(work.src, &work.temp);
  EXPECT_EQ(work.dstLine, 9);
  ImgDone(work);
  EXPECT_EQ(img.bpp, 24);
  EXPECT_EQ(img.size, 18);
  EXPECT_EQ(MemCount(), 2);
  ImgFree(img);
  ImgFree(src);
}

TEST_F(ImgBasicTest, PaletteModeLeavesIndicesAlone) {
  Qimg img, out;
  MakePattern(img, 6, 4, 8, 9);
  const std::vector<uint32_t> indices = Pixels(img);
  uint8_t palette[256][3];
  std::memcpy(palette, img.palette, 768);
  ImgSwapRB(img, out);
  EXPECT_EQ(out.bpp, 8);
  EXPECT_EQ(Pixels(out), indices);
  for (int32_t i = 0; i < 256; ++i) {
    EXPECT_EQ(out.palette[i][0], palette[i][2]);
    EXPECT_EQ(out.palette[i][1], palette[i][1]);
    EXPECT_EQ(out.palette[i][2], palette[i][0]);
  }
  ImgSwapRB(img, img);
  EXPECT_EQ(Pixels(img), indices);
  EXPECT_EQ(std::memcmp(img.palette, out.palette, 768), 0);

  // Pixels of other depths: bytes 0 and 2 exchanged, 16 bits worked at 24.
  Qimg rgb, swapped;
  MakeFrom(rgb, 2, 1, 24, {0x112233, 0xA0B0C0});
  ImgSwapRB(rgb, swapped);
  EXPECT_EQ(Pixels(swapped), (std::vector<uint32_t>{0x332211, 0xC0B0A0}));
  Qimg w16;
  MakeFrom(w16, 1, 1, 16, {0xF800});
  ImgSwapRB(w16, w16);
  EXPECT_EQ(w16.bpp, 24);
  EXPECT_EQ(Pixel(w16, 0, 0), 0x0000F8u) << "red has moved to blue";
  for (Qimg* p : {&img, &out, &rgb, &swapped, &w16}) ImgFree(*p);
}

TEST_F(ImgBasicTest, InsertAndSpriteCutAtTheEdges) {
  Qimg bg, sprite;
  MakeFrom(bg, 4, 3, 24, std::vector<uint32_t>(12, 0x101010));
  MakeFrom(sprite, 3, 2, 24, {1, 0xFF00FF, 3, 4, 5, 0xFF00FF});
  ImgInsert(sprite, bg, 2, 2);
  EXPECT_EQ(Pixels(bg), (std::vector<uint32_t>{0x101010, 0x101010, 0x101010, 0x101010, 0x101010, 0x101010, 0x101010,
                                               0x101010, 0x101010, 0x101010, 1, 0xFF00FF}));
  ImgSprite(sprite, bg, 0, 0, 0x77FF00FF);  // only the low 24 bits of the key count for 3 bytes
  EXPECT_EQ(Pixels(bg), (std::vector<uint32_t>{1, 0x101010, 3, 0x101010, 4, 5, 0x101010, 0x101010, 0x101010, 0x101010,
                                               1, 0xFF00FF}));
  Qimg viaInsert, viaSprite;
  ImgCopy(bg, viaInsert);
  ImgCopy(bg, viaSprite);
  ImgInsert(sprite, viaInsert, 1, 1);
  ImgSprite(sprite, viaSprite, 1, 1, 0x123456);
  EXPECT_TRUE(SameImage(viaInsert, viaSprite)) << "a key never present copies like Insert";

  const std::vector<uint32_t> before = Pixels(bg);
  ImgInsert(sprite, bg, 4, 0);
  ImgInsert(sprite, bg, 0, 3);
  ImgInsert(bg, bg, 0, 0);
  EXPECT_EQ(Pixels(bg), before) << "positions outside the target leave it unchanged";
  ImgInsert(sprite, bg, -2, -1);
  EXPECT_EQ(Pixel(bg, 0, 0), 0xFF00FFu) << "negative positions are cut too";
  EXPECT_EQ(Pixel(bg, 1, 0), 0x101010u);
  for (Qimg* p : {&bg, &sprite, &viaInsert, &viaSprite}) ImgFree(*p);
}

TEST_F(ImgBasicTest, PastingChoosesTheWorkingDepth) {
  Qimg pal, bg;
  MakeFrom(pal, 1, 1, 8, {5});
  pal.palette[5][0] = 10, pal.palette[5][1] = 20, pal.palette[5][2] = 30;
  MakeFrom(bg, 2, 1, 24, {0, 0});
  ImgInsert(pal, bg, 1, 0);
  EXPECT_EQ(bg.bpp, 24) << "Insert works at the deeper depth";
  EXPECT_EQ(Pixels(bg), (std::vector<uint32_t>{0, 0x1E140A}));

  Qimg w16, bg8;
  MakeFrom(w16, 1, 1, 16, {0xFFFF});
  MakeFrom(bg8, 2, 1, 8, {0, 0});
  ImgInsert(w16, bg8, 0, 0);
  EXPECT_EQ(bg8.bpp, 16) << "a shallower background is converted";
  EXPECT_EQ(Pixel(bg8, 0, 0), 0xFFFFu);

  // Sprite converts the background to the sprite's depth; 8-bit targets take the sprite's palette.
  Qimg s8, b8;
  MakeFrom(s8, 1, 1, 8, {3});
  s8.palette[3][0] = 77;
  MakeFrom(b8, 2, 2, 8, {1, 1, 1, 1});
  ImgSprite(s8, b8, 1, 1, 1);
  EXPECT_EQ(Pixels(b8), (std::vector<uint32_t>{1, 1, 1, 3}));
  EXPECT_EQ(b8.palette[3][0], 77);
  Qimg s15, b24;
  MakeFrom(s15, 1, 1, 15, {0x7C00});
  MakeFrom(b24, 2, 1, 24, {0xFFFFFF, 0xFFFFFF});
  ImgSprite(s15, b24, 0, 0, 0);
  EXPECT_EQ(b24.bpp, 15);
  EXPECT_EQ(Pixels(b24), (std::vector<uint32_t>{0x7C00, 0x7FFF}));
  for (Qimg* p : {&pal, &bg, &w16, &bg8, &s8, &b8, &s15, &b24}) ImgFree(*p);
}

TEST_F(ImgBasicTest, CropCutsAndWorksInPlace) {
  Qimg src, out;
  std::vector<uint32_t> px;
  for (uint32_t i = 0; i < 20; ++i) px.push_back(i);
  MakeFrom(src, 5, 4, 8, px);
  ImgCrop(src, out, 3, 1, 10, 2);
  EXPECT_EQ(out.width, 2) << "a width beyond the edge is cut";
  EXPECT_EQ(Pixels(out), (std::vector<uint32_t>{8, 9, 13, 14}));
  ImgCrop(src, src, 1, 2, 3, 5);
  EXPECT_EQ(src.width, 3);
  EXPECT_EQ(src.height, 2);
  EXPECT_EQ(src.size, 6);
  EXPECT_EQ(Pixels(src), (std::vector<uint32_t>{11, 12, 13, 16, 17, 18}));
  const std::vector<uint32_t> before = Pixels(src);
  ImgCrop(src, src, 3, 0, 1, 1);
  ImgCrop(src, src, 0, 2, 1, 1);
  EXPECT_EQ(Pixels(src), before) << "an origin outside the picture changes nothing";

  Qimg w16;
  MakeFrom(w16, 2, 2, 16, {0, 0xFFFF, 0, 0x001F});
  ImgCrop(w16, w16, 1, 0, 1, 2);
  EXPECT_EQ(w16.bpp, 24);
  EXPECT_EQ(Pixels(w16), (std::vector<uint32_t>{0xF8FCF8, 0x0000F8}));
  for (Qimg* p : {&src, &out, &w16}) ImgFree(*p);
}

TEST_F(ImgBasicTest, FlipsAreInvolutionsAtEveryDepth) {
  for (int32_t bpp : kDepths) {
    for (int32_t h : {1, 4, 5}) {
      Qimg orig, a, b;
      MakePattern(orig, 3, h, bpp, uint32_t(bpp + h));
      ImgFlipV(orig, a);
      EXPECT_EQ(a.bpp, bpp) << "vertical flips keep every depth";
      ImgCopy(orig, b);
      ImgFlipV(b, b);
      EXPECT_TRUE(SameImage(a, b)) << "in place and copying agree";
      EXPECT_EQ(Pixel(a, 1, 0), Pixel(orig, 1, h - 1));
      ImgFlipV(a, a);
      EXPECT_TRUE(SameImage(a, orig)) << bpp;
      for (Qimg* p : {&orig, &a, &b}) ImgFree(*p);
    }
  }
  Qimg row, mirrored;
  MakeFrom(row, 3, 1, 24, {1, 2, 3});
  ImgFlipH(row, mirrored);
  EXPECT_EQ(Pixels(mirrored), (std::vector<uint32_t>{3, 2, 1}));
  ImgFlipH(mirrored, mirrored);
  EXPECT_TRUE(SameImage(mirrored, row));
  Qimg idx;
  MakeFrom(idx, 4, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8});
  ImgFlipH(idx, idx);
  EXPECT_EQ(Pixels(idx), (std::vector<uint32_t>{4, 3, 2, 1, 8, 7, 6, 5}));
  Qimg w15;
  MakeFrom(w15, 2, 1, 15, {0x001F, 0x7C00});
  ImgFlipH(w15, w15);
  EXPECT_EQ(w15.bpp, 24) << "horizontal flips work at 8 or 24 bits";
  EXPECT_EQ(Pixels(w15), (std::vector<uint32_t>{0xF80000, 0x0000F8}));
  for (Qimg* p : {&row, &mirrored, &idx, &w15}) ImgFree(*p);
}

TEST_F(ImgBasicTest, FillColorPerDepth) {
  Qimg a, b, c, d;
  MakeFrom(a, 3, 2, 8, std::vector<uint32_t>(6, 0));
  FillColor(a, 2, 3, 0x1234);
  EXPECT_EQ(Pixels(a), (std::vector<uint32_t>{0, 0, 0x34, 0x34, 0x34, 0}));
  MakeFrom(b, 2, 2, 16, std::vector<uint32_t>(4, 0));
  FillColor(b, 1, 100, 0xABCDEF);
  EXPECT_EQ(Pixels(b), (std::vector<uint32_t>{0, 0xCDEF, 0xCDEF, 0xCDEF})) << "the count stops at the last pixel";
  MakeFrom(c, 2, 1, 24, {0, 0});
  FillColor(c, 0, 2, 0x11223344);
  EXPECT_EQ(Pixels(c), (std::vector<uint32_t>{0x223344, 0x223344}));
  FillColor(c, 0, -5, 0);
  FillColor(c, 2, 1, 0);
  EXPECT_EQ(Pixel(c, 0, 0), 0x223344u);
  MakeFrom(d, 1, 1, 32, {0x01020304});
  FillColor(d, 0, 1, 0);
  EXPECT_EQ(Pixel(d, 0, 0), 0x01020304u) << "32-bit pictures are left unchanged";
  for (Qimg* p : {&a, &b, &c, &d}) ImgFree(*p);
}

TEST_F(ImgBasicTest, ColourCountAcrossPicturesAndPalettes) {
  EXPECT_EQ(ImgColorsDone(), 0) << "no set, no colours";
  Qimg rgb, pal, w16, w15, x32;
  MakeFrom(rgb, 4, 1, 24, {0x000000, 0xF8FCF8, 0x102030, 0x102030});
  ImgColorsCount(rgb);
  ImgColorsCount(rgb);
  EXPECT_EQ(ImgColorsDone(), 3) << "identical pictures count their colours once";
  EXPECT_EQ(MemCount(), 1) << "the set is gone";

  // Unused palette entries do not count; used ones count with their full colour.
  MakeFrom(pal, 3, 1, 8, {2, 2, 9});
  pal.palette[2][0] = 0x30, pal.palette[2][1] = 0x20, pal.palette[2][2] = 0x10;
  pal.palette[9][0] = 0x31;
  ImgColorsCount(pal);
  EXPECT_EQ(ImgColorsDone(), 2);

  // 16-bit white expands to (248, 252, 248), which the 24-bit picture holds too; 15-bit red is
  // new. The 32-bit picture repeats colours already seen.
  MakeFrom(w16, 2, 1, 16, {0xFFFF, 0});
  MakeFrom(w15, 1, 1, 15, {0x7C00});
  MakeFrom(x32, 2, 1, 32, {0x102030, 0xF80000});
  ImgColorsCount(rgb);
  ImgColorsCount(w16);
  ImgColorsCount(w15);
  ImgColorsCount(pal);
  ImgColorsCount(x32);
  EXPECT_EQ(ImgColorsDone(), 5);
  for (Qimg* p : {&rgb, &pal, &w16, &w15, &x32}) ImgFree(*p);
}

}  // namespace
}  // namespace rf
