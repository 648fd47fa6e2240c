// The picture record, the operation table and scaffold, pasting, cropping, flips and colour counts.
#include <gtest/gtest.h>

#include <cstring>
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
using test::Pixels;
using test::SameImage;
using Px = std::vector<uint32_t>;

class ImgBasicTest : public test::FoundationTest {};

constexpr int32_t kDepths[] = {8, 15, 16, 24, 32};

TEST_F(ImgBasicTest, AllocationChecksSizesAndLabelsTheBlock) {
  EXPECT_TRUE(ImgCheckDims(IMG_MAX_SIDE, 4096, 32));
  const int32_t bad[][3] = {{0, 5, 24}, {-1, 5, 24}, {IMG_MAX_SIDE + 1, 1, 8}, {4, 4, 12}, {32768, 16385, 16}};
  for (const auto& b : bad) {
    EXPECT_FALSE(ImgCheckDims(b[0], b[1], b[2])) << b[0] << "x" << b[1] << "x" << b[2];
    EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 702);
    ErrClear();
  }
  Qimg img;
  EXPECT_EQ(_imgalloc_(img, 0, 10, 24, "Test.Bad"), 7);
  EXPECT_EQ(MemCount(), 0) << "no block is allocated for a rejected size";
  ErrClear();

  ASSERT_EQ(_imgalloc_(img, 5, 3, 15, "Test.Alloc.img", Site{42}), 0);
  EXPECT_EQ(MemLabel(img.data), "C:(ImgAlloc):Test.Alloc.img:42");
  std::memset(img.data, 0xAB, 30);
  ASSERT_EQ(_imgalloc_(img, 10, 3, 15, "Test.Alloc.img"), 0);
  EXPECT_EQ(img.data[29], 0xAB) << "re-sizing keeps the bytes that fit";
  int32_t w, h, bpp;
  ImgGetDims(img, w, h, bpp);
  EXPECT_EQ(std::vector<int32_t>({w, h, bpp, img.size, MemCount()}), std::vector<int32_t>({10, 3, 16, 60, 1}));
  img.palette[7][1] = 9;
  ImgFree(img);
  EXPECT_EQ(MemCount(), 0);
  EXPECT_EQ(img.width + img.palette[7][1], 0) << "freeing zeroes the record and its palette";
}

TEST_F(ImgBasicTest, CopyAndExchangeKeepEverythingButExternalBlocks) {
  for (int32_t bpp : kDepths) {
    Qimg a, b, c;
    MakePattern(a, 7, 5, bpp, 3);
    ImgCopy(a, b);
    EXPECT_TRUE(SameImage(a, b)) << bpp;
    EXPECT_EQ(std::memcmp(a.palette, b.palette, 768) == 0, bpp == 8) << "the palette travels at 8 bits only";
    MakePattern(c, 2, 9, 24, 4);
    const Px pa = Pixels(a), pc = Pixels(c);
    ImgXchg(a, c);
    EXPECT_EQ(Pixels(a), pc);
    EXPECT_EQ(Pixels(c), pa);
    for (Qimg* p : {&a, &b, &c}) ImgFree(*p);
  }
  uint8_t pixels[4 * 2 * 3] = {1, 2, 3};
  Qimg ext, own;
  ext.data = pixels;
  ext.external = RF_TRUE;
  ImgSetDims(ext, 4, 2, 24);
  EXPECT_EQ(ext.size, 24) << "an external record gets its size from the dimensions";
  MakePattern(own, 3, 3, 8);
  ImgXchg(ext, own);
  EXPECT_TRUE(own.external && own.data == pixels && !ext.external);
  ImgFree(own);
  EXPECT_EQ(pixels[0], 1) << "the external block is left alone";
  ImgFree(ext);
}

TEST_F(ImgBasicTest, OperationTableEdgesAndSetters) {
  // Chaos keeps 8 bits in palette mode, Sprite converts its destination, Insert keeps the deeper
  // depth; an unknown operation (33) keeps the defaults.
  const struct {
    int32_t op;
    std::vector<int32_t> bppMap;
    std::vector<bool> flags;  // in place, palette mode, convert destination, keep deeper
  } rows[] = {{19, {8, 24, 16, 24, 24, 24}, {true, true, false, false}},
              {IMG_OP_SPRITE, {8, 15, 16, 24, 32, 24}, {false, false, true, false}},
              {IMG_OP_INSERT, {8, 15, 16, 24, 32, 24}, {false, false, false, true}},
              {33, {24, 24, 24, 24, 24, 24}, {true, false, false, false}}};
  ImgOpInfo info;
  for (const auto& r : rows) {
    ImgInfo(info, r.op);
    EXPECT_EQ(std::vector<int32_t>(info.bppMap, info.bppMap + 6), r.bppMap) << r.op;
    EXPECT_EQ(std::vector<bool>({info.inPlace != 0, info.palMode != 0, info.convertDest != 0, info.keepDeeper != 0}),
              r.flags)
        << r.op;
  }
  ImgInitInfo(info);
  ImgInfoSetBpp(info, 12, 8);
  EXPECT_EQ(info.bppMap[5], 8) << "any other depth sets the entry for other depths";
  ImgInfoSetParam(info, 4, 1, 2, 3);
  ImgInfoSetParam(info, 1, 1, 2, 3);
  EXPECT_EQ(info.paramCount, 5) << "a lower index never lowers the count";
  ImgInfoSetParams(info, 6, 3, -1, 1, 0);
  EXPECT_EQ(info.paramCount, 9);
}

TEST_F(ImgBasicTest, ScaffoldNeedsADestinationUnlessInPlace) {
  ImgOpInfo info;
  ImgInfo(info, IMG_OP_RESIZE);
  ImgWork work;
  Qimg src, img;
  MakePattern(src, 4, 4, 24);
  GuardedSilent("Test.Scaffold", [&] { ImgInitEx(info, work, src, nullptr, 2, 2); });
  EXPECT_EQ(ErrLastMessage(), "Cannot initialize image function.");
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 706);
  ErrClear();

  // An in-place operation without a destination works on the source; 16 bits become 24.
  MakePattern(img, 3, 2, 16);
  ImgInfo(info, 6);
  ImgInit(info, work, img, nullptr);
  EXPECT_TRUE(work.tempUsed && work.dst == &img && work.src == &work.temp);
  EXPECT_EQ(work.dstLine, 9);
  ImgDone(work);
  EXPECT_EQ(img.bpp * 100 + img.size, 2418);
  ImgFree(img);
  ImgFree(src);
}

TEST_F(ImgBasicTest, SwapRBExchangesPaletteEntriesOrBytes) {
  Qimg img, out, rgb, w16;
  MakePattern(img, 6, 4, 8, 9);
  const Px indices = Pixels(img);
  ImgSwapRB(img, out);
  EXPECT_EQ(Pixels(out), indices);
  for (int32_t i = 0; i < 256; ++i)
    ASSERT_EQ(std::vector<uint8_t>(out.palette[i], out.palette[i] + 3),
              std::vector<uint8_t>({img.palette[i][2], img.palette[i][1], img.palette[i][0]}));
  MakeFrom(rgb, 2, 1, 24, {0x112233, 0xA0B0C0});
  ImgSwapRB(rgb, rgb);
  EXPECT_EQ(Pixels(rgb), (Px{0x332211, 0xC0B0A0}));
  MakeFrom(w16, 1, 1, 16, {0xF800});
  ImgSwapRB(w16, w16);
  EXPECT_EQ(w16.bpp, 24);
  EXPECT_EQ(Pixels(w16), Px{0x0000F8}) << "red has moved to blue";
  for (Qimg* p : {&img, &out, &rgb, &w16}) ImgFree(*p);
}

TEST_F(ImgBasicTest, InsertAndSpriteCutAtTheEdges) {
  Qimg bg, sprite, viaInsert, viaSprite;
  const uint32_t o = 0x101010, k = 0xFF00FF;
  MakeFrom(bg, 4, 3, 24, Px(12, o));
  MakeFrom(sprite, 3, 2, 24, {1, k, 3, 4, 5, k});
  ImgInsert(sprite, bg, 2, 2);
  EXPECT_EQ(Pixels(bg), (Px{o, o, o, o, o, o, o, o, o, o, 1, k}));
  ImgSprite(sprite, bg, 0, 0, 0x77FF00FF);  // only the low 24 bits of the key count for 3 bytes
  EXPECT_EQ(Pixels(bg), (Px{1, o, 3, o, 4, 5, o, o, o, o, 1, k}));
  ImgCopy(bg, viaInsert);
  ImgCopy(bg, viaSprite);
  ImgInsert(sprite, viaInsert, 1, 1);
  ImgSprite(sprite, viaSprite, 1, 1, 0x123456);
  EXPECT_TRUE(SameImage(viaInsert, viaSprite)) << "a key never present copies like Insert";

  const Px before = Pixels(bg);
  ImgInsert(sprite, bg, 4, 0);
  ImgInsert(sprite, bg, 0, 3);
  ImgInsert(bg, bg, 0, 0);
  EXPECT_EQ(Pixels(bg), before) << "positions outside the target leave it unchanged";
  ImgInsert(sprite, bg, -2, -1);
  EXPECT_EQ(Pixels(bg), (Px{k, o, 3, o, 4, 5, o, o, o, o, 1, k})) << "negative positions are cut too";
  for (Qimg* p : {&bg, &sprite, &viaInsert, &viaSprite}) ImgFree(*p);
}

TEST_F(ImgBasicTest, PastingChoosesTheWorkingDepth) {
  Qimg pal, bg, w16, bg8, s8, b8, s15, b24;
  MakeFrom(pal, 1, 1, 8, {5});
  pal.palette[5][0] = 10, pal.palette[5][1] = 20, pal.palette[5][2] = 30;
  MakeFrom(bg, 2, 1, 24, {0, 0});
  ImgInsert(pal, bg, 1, 0);
  EXPECT_EQ(Pixels(bg), (Px{0, 0x1E140A})) << "Insert works at the deeper depth";
  MakeFrom(w16, 1, 1, 16, {0xFFFF});
  MakeFrom(bg8, 2, 1, 8, {0, 0});
  ImgInsert(w16, bg8, 0, 0);
  EXPECT_EQ(bg8.bpp, 16) << "a shallower background is converted";
  EXPECT_EQ(Pixels(bg8)[0], 0xFFFFu);

  // Sprite converts the background to the sprite's depth; 8-bit targets take the sprite's palette.
  MakeFrom(s8, 1, 1, 8, {3});
  s8.palette[3][0] = 77;
  MakeFrom(b8, 2, 2, 8, {1, 1, 1, 1});
  ImgSprite(s8, b8, 1, 1, 1);
  EXPECT_EQ(Pixels(b8), (Px{1, 1, 1, 3}));
  EXPECT_EQ(b8.palette[3][0], 77);
  MakeFrom(s15, 1, 1, 15, {0x7C00});
  MakeFrom(b24, 2, 1, 24, {0xFFFFFF, 0xFFFFFF});
  ImgSprite(s15, b24, 0, 0, 0);
  EXPECT_EQ(b24.bpp, 15);
  EXPECT_EQ(Pixels(b24), (Px{0x7C00, 0x7FFF}));
  for (Qimg* p : {&pal, &bg, &w16, &bg8, &s8, &b8, &s15, &b24}) ImgFree(*p);
}

TEST_F(ImgBasicTest, CropCutsAndWorksInPlace) {
  Qimg src, out, w16;
  Px px;
  for (uint32_t i = 0; i < 20; ++i) px.push_back(i);
  MakeFrom(src, 5, 4, 8, px);
  ImgCrop(src, out, 3, 1, 10, 2);
  EXPECT_EQ(Pixels(out), (Px{8, 9, 13, 14})) << "a width beyond the edge is cut";
  ImgCrop(src, src, 1, 2, 3, 5);
  ImgCrop(src, src, 3, 0, 1, 1);
  ImgCrop(src, src, 0, 2, 1, 1);
  EXPECT_EQ(std::vector<int32_t>({src.width, src.height, src.size}), std::vector<int32_t>({3, 2, 6}));
  EXPECT_EQ(Pixels(src), (Px{11, 12, 13, 16, 17, 18})) << "an origin outside the picture changes nothing";
  MakeFrom(w16, 2, 2, 16, {0, 0xFFFF, 0, 0x001F});
  ImgCrop(w16, w16, 1, 0, 1, 2);
  EXPECT_EQ(w16.bpp, 24);
  EXPECT_EQ(Pixels(w16), (Px{0xF8FCF8, 0x0000F8}));
  for (Qimg* p : {&src, &out, &w16}) ImgFree(*p);
}

TEST_F(ImgBasicTest, FlipsAreInvolutionsAtEveryDepth) {
  for (int32_t bpp : kDepths) {
    for (int32_t h : {1, 4, 5}) {
      Qimg orig, a, b;
      MakePattern(orig, 3, h, bpp, uint32_t(bpp + h));
      ImgFlipV(orig, a);
      ImgCopy(orig, b);
      ImgFlipV(b, b);
      EXPECT_TRUE(SameImage(a, b)) << "in place and copying agree, at every depth";
      EXPECT_EQ(Pixels(a)[1], Pixels(orig)[3 * h - 2]);
      ImgFlipV(a, a);
      EXPECT_TRUE(SameImage(a, orig)) << bpp;
      for (Qimg* p : {&orig, &a, &b}) ImgFree(*p);
    }
  }
  Qimg row, mirrored, idx, w15;
  MakeFrom(row, 3, 1, 24, {1, 2, 3});
  ImgFlipH(row, mirrored);
  EXPECT_EQ(Pixels(mirrored), (Px{3, 2, 1}));
  ImgFlipH(mirrored, mirrored);
  EXPECT_TRUE(SameImage(mirrored, row));
  MakeFrom(idx, 4, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8});
  ImgFlipH(idx, mirrored);
  ImgFlipH(idx, idx);
  EXPECT_EQ(Pixels(idx), (Px{4, 3, 2, 1, 8, 7, 6, 5}));
  EXPECT_TRUE(SameImage(idx, mirrored));
  MakeFrom(w15, 2, 1, 15, {0x001F, 0x7C00});
  ImgFlipH(w15, w15);
  EXPECT_EQ(w15.bpp, 24) << "horizontal flips work at 8 or 24 bits";
  EXPECT_EQ(Pixels(w15), (Px{0xF80000, 0x0000F8}));
  for (Qimg* p : {&row, &mirrored, &idx, &w15}) ImgFree(*p);
}

TEST_F(ImgBasicTest, FillColorPerDepth) {
  Qimg a, b, c, d;
  MakeFrom(a, 3, 2, 8, Px(6, 0));
  FillColor(a, 2, 3, 0x1234);
  EXPECT_EQ(Pixels(a), (Px{0, 0, 0x34, 0x34, 0x34, 0}));
  MakeFrom(b, 2, 2, 16, Px(4, 0));
  FillColor(b, 1, 100, 0xABCDEF);
  EXPECT_EQ(Pixels(b), (Px{0, 0xCDEF, 0xCDEF, 0xCDEF})) << "the count stops at the last pixel";
  MakeFrom(c, 2, 1, 24, {0, 0});
  FillColor(c, 0, 2, 0x11223344);
  FillColor(c, 0, -5, 0);
  FillColor(c, 2, 1, 0);
  EXPECT_EQ(Pixels(c), (Px{0x223344, 0x223344}));
  MakeFrom(d, 1, 1, 32, {0x01020304});
  FillColor(d, 0, 1, 0);
  EXPECT_EQ(Pixels(d), Px{0x01020304}) << "32-bit pictures are left unchanged";
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
  for (Qimg* p : {&rgb, &w16, &w15, &pal, &x32}) ImgColorsCount(*p);
  EXPECT_EQ(ImgColorsDone(), 5);
  for (Qimg* p : {&rgb, &pal, &w16, &w15, &x32}) ImgFree(*p);
}

}  // namespace
}  // namespace rf
