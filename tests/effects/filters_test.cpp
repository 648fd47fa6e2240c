// Convolution kernels and despeckle: uniform pictures, lone pixels, borders and tolerance.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "effects/filters.h"
#include "effects/fx_test_util.h"

namespace rf {
namespace {

using test::At;
using test::Bgr;
using test::Grey;
using test::Pic;

class FiltersTest : public test::EffectsTest {};

using Filter = std::function<void(Qimg&, Qimg&)>;

struct Named {
  const char* name;
  Filter run;
};

const std::vector<Named>& AllKernels() {
  static const std::vector<Named> all = {{"soften", ImgSoften},
                                         {"blur", ImgBlur},
                                         {"sharpen", ImgSharpen},
                                         {"emboss", ImgEmboss},
                                         {"find edges", ImgFindEdges},
                                         {"edge enhance", ImgEdgeEnhance},
                                         {"trace contour", ImgTraceContour}};
  return all;
}

// Every pixel of img has this colour.
bool Uniform(const Qimg& img, Bgr colour) {
  for (int32_t y = 0; y < img.height; ++y)
    for (int32_t x = 0; x < img.width; ++x)
      if (At(img, x, y) != colour) return false;
  return true;
}

TEST_F(FiltersTest, UniformPictures) {
  const Bgr colour = {90, 160, 200};
  // Weights summing to 16 with shift 4 (soften, blur) or to 4 with shift 2 (sharpen, edge
  // enhance) give the value back; the others sum to 0 and leave their offset.
  const std::pair<const char*, Bgr> expected[] = {
      {"soften", colour},      {"blur", colour},         {"sharpen", colour},         {"emboss", Grey(128)},
      {"find edges", Grey(0)}, {"edge enhance", colour}, {"trace contour", Grey(255)}};
  for (size_t i = 0; i < AllKernels().size(); ++i) {
    Pic src, dst;
    test::Fill24(src, 5, 4, colour);
    AllKernels()[i].run(src, dst);
    ASSERT_EQ(std::string(AllKernels()[i].name), expected[i].first);
    ASSERT_EQ(dst.bpp, 24);
    EXPECT_TRUE(Uniform(dst, expected[i].second)) << expected[i].first;
  }
}

TEST_F(FiltersTest, LoneBrightPixel) {
  Pic src;
  test::Fill24(src, 5, 5, Grey(0));
  std::memset(src.data + (2 * 5 + 2) * 3, 255, 3);
  // Sharpen: 8 x 255 >> 2 held at 255, -255 held at 0. Soften: 8 x 255 >> 4 and 255 >> 4. Blur:
  // the centre weight is 0, 3 x 255 >> 4. Emboss: the lower right neighbour counts +255, the upper
  // left -255. Trace contour: 255 - 2 x 255. Edge enhance: 16 x 255 >> 2.
  const struct {
    Filter run;
    int32_t x, y;
    uint8_t grey;
  } cases[] = {{ImgSharpen, 2, 2, 255},      {ImgSharpen, 1, 2, 0},      {ImgSharpen, 2, 1, 0},
               {ImgSharpen, 1, 1, 0},        {ImgSoften, 2, 2, 127},     {ImgSoften, 1, 1, 15},
               {ImgSoften, 0, 0, 0},         {ImgBlur, 2, 2, 0},         {ImgBlur, 1, 1, 47},
               {ImgBlur, 2, 1, 15},          {ImgEmboss, 1, 1, 255},     {ImgEmboss, 3, 3, 0},
               {ImgEmboss, 2, 2, 128},       {ImgFindEdges, 2, 2, 255},  {ImgFindEdges, 2, 1, 0},
               {ImgTraceContour, 2, 2, 255}, {ImgTraceContour, 2, 1, 0}, {ImgTraceContour, 1, 1, 255},
               {ImgEdgeEnhance, 2, 2, 255},  {ImgEdgeEnhance, 3, 3, 0}};
  for (const auto& c : cases) {
    Pic out;
    c.run(src, out);
    EXPECT_EQ(At(out, c.x, c.y), Grey(c.grey)) << &c - cases;
  }

  EXPECT_EQ(At(src, 2, 2), Grey(255)) << "the source is read only";
}

TEST_F(FiltersTest, BordersUseThePixelsOwnRowAndColumn) {
  // One row: the rows above and below are the row itself; the end pixels stand in for their
  // missing outer neighbours.
  Pic src;
  test::Make24(src, 3, 1, {Grey(0), Grey(160), Grey(0)});
  Pic soft;
  ImgSoften(src, soft);
  // (160 + 160 + 160) >> 4 at the ends, (160 + 8 x 160 + 160) >> 4 in the middle.
  EXPECT_EQ(test::Greys(soft), (std::vector<int32_t>{30, 100, 30}));

  // Channels are filtered separately, and the upper-left neighbour beyond the border is the
  // pixel's own row or column: only pixels whose clipped upper-left is (0, 0) see its blue.
  Pic colour;
  std::vector<Bgr> px(9, Grey(0));
  px[0] = {255, 0, 0};
  test::Make24(colour, 3, 3, px);
  Pic emboss, want;
  ImgEmboss(colour, emboss);
  std::vector<Bgr> embossed(9, Grey(128));
  for (int32_t i : {0, 1, 3, 4}) embossed[size_t(i)] = {0, 128, 128};
  test::Make24(want, 3, 3, embossed);
  EXPECT_EQ(test::Bytes(emboss), test::Bytes(want));
}

TEST_F(FiltersTest, WorkingInPlaceGivesTheSameResult) {
  for (const Named& k : AllKernels()) {
    Pic a, b, out;
    test::Pattern(a, 11, 6);
    test::Pattern(b, 11, 6);
    k.run(a, out);
    k.run(b, b);
    EXPECT_EQ(test::Bytes(out), test::Bytes(b)) << k.name;
  }
  // Other depths are worked at 24 bits.
  Pic w16, out;
  test::Pattern(w16, 4, 4, 16);
  ImgSoften(w16, out);
  EXPECT_EQ(out.bpp, 24);
  Pic i8;
  test::Pattern(i8, 4, 4, 8);
  ImgDespeckle(i8, i8, 10);
  EXPECT_EQ(i8.bpp, 24);
}

TEST_F(FiltersTest, DespeckleTolerance) {
  auto speck = [](Qimg& img, uint8_t centre) {
    test::Fill24(img, 3, 3, Grey(0));
    std::memset(img.data + 4 * 3, centre, 3);
  };
  Pic a, out;
  speck(a, 254);
  ImgDespeckle(a, out, 254);
  // The centre differs from its mean 0 by exactly 254, the others from theirs by less.
  EXPECT_EQ(test::Greys(out), std::vector<int32_t>(9, 0));
  Pic b, kept;
  speck(b, 253);
  ImgDespeckle(b, kept, 254);
  EXPECT_EQ(test::Bytes(kept), test::Bytes(b));

  // Tolerance 1: every byte takes its mean unless it already equals it. The end pixels of a row
  // average five neighbours, the top row stands in for the row above it.
  Pic c, all;
  speck(c, 254);
  ImgDespeckle(c, all, 1);
  // Corners (0 + 0 + 0 + 0 + 254) div 5, edges 254 >> 3 or of above, above-right, right, below,
  // below-right.
  EXPECT_EQ(test::Greys(all), (std::vector<int32_t>{50, 31, 50, 50, 0, 50, 50, 31, 50}));

  // Out-of-range tolerances are held within 1..254.
  Pic low, high;
  ImgDespeckle(c, low, 0);
  ImgDespeckle(c, high, 1000);
  EXPECT_EQ(test::Bytes(low), test::Bytes(all));
  EXPECT_EQ(test::Bytes(high), test::Bytes(out));
}

}  // namespace
}  // namespace rf
