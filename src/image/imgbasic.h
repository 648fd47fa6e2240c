// The picture record every unit shares, the operation scaffold and the core picture operations.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/common.h"

namespace rf {

// One picture: rows top first, packed without gaps, blue-green-red byte order. 15-bit words hold
// red in bits 10-14, green 5-9, blue 0-4; 16-bit words red 11-15, green 5-10, blue 0-4; the fourth
// byte of a 32-bit pixel is written as 0. The palette (blue, green, red per entry) is meaningful at
// 8 bits and can be processed as a row of 256 24-bit pixels.
//
// The record owns its tracked pixel block through the field `data`, so it must stay where it was
// allocated: copying or moving a record would leave the block registered to the old field. Use
// ImgCopy or ImgXchg instead.
struct Qimg {
  uint8_t* data = nullptr;
  int32_t size = 0;  // bytesPerPixel * width * height
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 0;  // (bpp + 7) div 8
  int32_t bpp = 0;            // 8, 15, 16, 24 or 32
  uint8_t palette[256][3] = {};
  int32_t external = 0;  // set when the pixel block is not owned by the record

  Qimg() = default;
  Qimg(const Qimg&) = delete;
  Qimg& operator=(const Qimg&) = delete;
};

// Limits of every picture the system holds, checked by ImgCheckDims before any pixel block is
// allocated: each side 1 .. IMG_MAX_SIDE pixels and at most IMG_MAX_BYTES pixel bytes, so that
// `size`, the allocator's 5 % growth and every row offset stay inside 32-bit signed arithmetic.
inline constexpr int32_t IMG_MAX_SIDE = 65536;
inline constexpr int32_t IMG_MAX_BYTES = 1 << 30;

// True when a width x height picture of bpp bits (8, 15, 16, 24 or 32) is within the limits;
// otherwise sets error (7, 2) "Invalid image format." (which aborts an enclosing guarded block)
// and returns false. Every loader calls it with the header's values before allocating.
bool ImgCheckDims(int32_t width, int32_t height, int32_t bpp);

// Operation identifiers beyond the effects 1-31.
inline constexpr int32_t IMG_OP_SPRITE = 35;
inline constexpr int32_t IMG_OP_RESIZE = 36;
inline constexpr int32_t IMG_OP_RESAMPLE = 37;
inline constexpr int32_t IMG_OP_CROP = 38;
inline constexpr int32_t IMG_OP_ROTATE = 39;
inline constexpr int32_t IMG_OP_INSERT = 40;
inline constexpr int32_t IMG_MAX_PARAMS = 16;

struct ImgOpParam {
  double minimum;
  double maximum;
  double deflt;
};

// What an operation accepts: the working depth per source depth (8, 15, 16, 24, 32, other),
// whether it may run in place, whether 8-bit sources are handled through their palette, the
// destination rules and the numeric parameter ranges.
struct ImgOpInfo {
  int32_t op;
  int32_t bppMap[6];
  int32_t inPlace;
  int32_t palMode;
  int32_t convertDest;
  int32_t keepDeeper;
  int32_t paramCount;
  ImgOpParam params[IMG_MAX_PARAMS];
};

// The working record of one operation, filled by ImgInitEx and closed by ImgDone. It holds a
// tracked temporary picture, so it too must not be copied while in use.
// Declare it outside the guarded block of the operation, so that it is still alive when the block
// releases the temporary after a failure.
struct ImgWork {
  int32_t tempUsed = 0;
  int32_t palMode = 0;
  int32_t src8 = 0;
  int32_t swapBack = 0;
  int32_t srcLine = 0, dstLine = 0;
  int32_t srcBytes = 0, dstBytes = 0;
  int32_t srcUnits = 0, dstUnits = 0;
  int32_t srcPixels = 0, dstPixels = 0;
  int32_t srcLen = 0, dstLen = 0;
  int32_t dstWidth = 0, dstHeight = 0;
  Qimg* src = nullptr;
  Qimg* dst = nullptr;
  Qimg temp;
  uint8_t* srcData = nullptr;
  uint8_t* dstData = nullptr;
};

// Allocation and identity.
// Allocates or resizes img's pixel block for width x height at bpp bits (label "(ImgAlloc):" +
// label); resizing keeps the bytes that fit, new blocks start zero-filled. Error (7, 2) for sizes
// outside the limits above. Returns 0 on success, else the category of the error set.
int32_t _imgalloc_(Qimg& img, int32_t width, int32_t height, int32_t bpp, std::string_view label, Site line = {});
void ImgFree(Qimg& img);
bool ImgValid(const Qimg& img);
void ImgSetDims(Qimg& img, int32_t width, int32_t height, int32_t bpp);
void ImgCopyInfo(const Qimg& src, Qimg& dst);
void ImgCopyPalette(const Qimg& src, Qimg& dst);
void ImgCopyData(const Qimg& src, Qimg& dst);
void ImgCopy(const Qimg& src, Qimg& dst);
void ImgXchg(Qimg& a, Qimg& b);
// Reports bytesPerPixel x 8 as the depth, so a 15-bit picture reports 16.
void ImgGetDims(const Qimg& img, int32_t& width, int32_t& height, int32_t& bpp);

// Operation records and the scaffold.
void ImgInitInfo(ImgOpInfo& info);
void ImgInfo(ImgOpInfo& info, int32_t op);
void ImgInfoSetBpp(ImgOpInfo& info, int32_t depth, int32_t value);
void ImgInfoPalMode(ImgOpInfo& info);
void ImgInfoSetParam(ImgOpInfo& info, int32_t index, double minimum, double maximum, double deflt);
void ImgInfoSetParams(ImgOpInfo& info, int32_t first, int32_t count, double minimum, double maximum, double deflt);
// The working depth an operation uses for a source of the given depth.
int32_t ImgInfoBpp(const ImgOpInfo& info, int32_t bpp);
// dst may be null for operations that work in place; it then means src.
void ImgInitEx(const ImgOpInfo& info, ImgWork& work, Qimg& src, Qimg* dst, int32_t width, int32_t height);
void ImgInit(const ImgOpInfo& info, ImgWork& work, Qimg& src, Qimg* dst);
void ImgDone(ImgWork& work);

// Depth conversion. Methods for 8-bit targets: 1 dithered palette reduction, 2 and 4 grey, any
// other plain palette reduction. src and dst may be the same record.
void ImgConvBppEx(Qimg& src, Qimg& dst, int32_t bpp, int32_t method);
void ImgConvBpp(Qimg& src, Qimg& dst, int32_t bpp);

// Distinct colours over every picture passed since the last ImgColorsDone.
void ImgColorsCount(const Qimg& img);
int32_t ImgColorsDone();

// Compositing and geometry. Positions outside the target leave it unchanged.
void ImgInsert(Qimg& src, Qimg& dst, int32_t x, int32_t y);
void ImgSprite(Qimg& src, Qimg& dst, int32_t x, int32_t y, uint32_t key);
void ImgCrop(Qimg& src, Qimg& dst, int32_t x, int32_t y, int32_t width, int32_t height);
void ImgFlipV(Qimg& src, Qimg& dst);
void ImgFlipH(Qimg& src, Qimg& dst);
void ImgSwapRB(Qimg& src, Qimg& dst);

// Scaling by picking pixels (8 bits stay 8, others become 24) and by averaging (always 24 bits);
// sizes are at least 1.
void ImgResize(Qimg& src, Qimg& dst, int32_t width, int32_t height);
void ImgResample(Qimg& src, Qimg& dst, int32_t width, int32_t height);
// Mode 1 turns clockwise, 2 by 180 degrees, 3 counter-clockwise; any other mode copies.
void ImgRotate(Qimg& src, Qimg& dst, int32_t mode);

// Gives count pixels from pixel index first the colour (low byte at 8 bits, the word at 15 and 16
// bits, blue-green-red bytes at 24 bits); 32-bit pictures are left unchanged.
void FillColor(Qimg& img, int32_t first, int32_t count, uint32_t colour);

}  // namespace rf
