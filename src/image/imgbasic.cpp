// The picture record: allocation, identity, the operation table and scaffold, colour counting,
// pasting, cropping, flipping and the red-blue exchange.
#include "image/imgbasic.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgpixels.h"

namespace rf {
namespace {

int32_t DepthIndex(int32_t bpp) {
  switch (bpp) {
    case 8:
      return 0;
    case 15:
      return 1;
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 5;
  }
}

// Depth maps of the operation table.
enum MapKind : uint8_t { kAll24, kKeep8, kIdentity, kKeep8And16 };

struct OpRow {
  int32_t op;
  MapKind map;
  bool inPlace;
  bool palMode;
  bool convertDest;
  bool keepDeeper;
  int32_t paramCount;
  double minimum, maximum, deflt;
};

constexpr OpRow kOps[] = {
    {1, kKeep8, true, true, false, false, 3, -100, 100, 0},   // Adjust RGB
    {2, kAll24, false, false, false, false, 0, 0, 0, 0},      // Blur
    {3, kKeep8, true, true, false, false, 3, -100, 100, 0},   // Brightness
    {4, kKeep8, false, false, false, false, 1, 1, 10, 1},     // Chaos
    {5, kKeep8, true, true, false, false, 3, -100, 100, 0},   // Contrast
    {6, kAll24, true, false, false, false, 0, 0, 0, 0},       // Deinterlace
    {7, kAll24, false, false, false, false, 1, 1, 254, 1},    // Despeckle
    {8, kAll24, false, false, false, false, 0, 0, 0, 0},      // Edge enhance
    {9, kAll24, false, false, false, false, 0, 0, 0, 0},      // Emboss
    {10, kKeep8, true, true, false, false, 0, 0, 0, 0},       // Equalize
    {11, kAll24, false, false, false, false, 0, 0, 0, 0},     // Find edges
    {12, kKeep8, true, false, false, false, 0, 0, 0, 0},      // Flip - horizontal
    {13, kIdentity, true, false, false, false, 0, 0, 0, 0},   // Flip - vertical
    {14, kKeep8, true, true, false, false, 3, 0.01, 5, 1},    // Gamma correction
    {15, kKeep8, true, true, false, false, 0, 0, 0, 0},       // Grayscale
    {16, kKeep8, true, true, false, false, 1, -180, 180, 0},  // Hue
    {17, kKeep8, true, false, false, false, 0, 0, 0, 0},      // Mirror - horizontal
    {18, kIdentity, true, false, false, false, 0, 0, 0, 0},   // Mirror - vertical
    {19, kKeep8And16, true, true, false, false, 0, 0, 0, 0},  // Negative
    {20, kAll24, true, false, false, false, 3, 1, 100, 1},    // Noise - gaussian
    {21, kAll24, true, false, false, false, 3, 1, 100, 1},    // Noise - interference
    {22, kAll24, true, false, false, false, 3, 1, 100, 1},    // Noise - uniform
    {23, kAll24, false, false, false, false, 1, 1, 7, 1},     // Oil painting
    {24, kAll24, true, false, false, false, 2, 2, 64, 2},     // Pixelize
    {25, kKeep8, true, true, false, false, 3, 1, 255, 1},     // Posterize
    {26, kKeep8, true, true, false, false, 1, -100, 100, 0},  // Saturation
    {27, kAll24, false, false, false, false, 0, 0, 0, 0},     // Sharpen
    {28, kAll24, false, false, false, false, 0, 0, 0, 0},     // Soften
    {29, kKeep8, true, true, false, false, 3, 1, 255, 128},   // Solarize
    {30, kKeep8, true, true, false, false, 0, 0, 0, 0},       // Swap red and blue
    {31, kAll24, false, false, false, false, 0, 0, 0, 0},     // Trace contour
    {IMG_OP_SPRITE, kIdentity, false, false, true, false, 0, 0, 0, 0},
    {IMG_OP_RESIZE, kKeep8, false, false, false, false, 0, 0, 0, 0},
    {IMG_OP_RESAMPLE, kAll24, false, false, false, false, 0, 0, 0, 0},
    {IMG_OP_CROP, kKeep8, true, false, false, false, 0, 0, 0, 0},
    {IMG_OP_ROTATE, kKeep8, false, false, false, false, 0, 0, 0, 0},
    {IMG_OP_INSERT, kIdentity, false, false, false, true, 0, 0, 0, 0},
};

int32_t Flag(bool b) { return b ? RF_TRUE : RF_FALSE; }

void ClearWork(ImgWork& work) {
  ImgFree(work.temp);
  work.tempUsed = work.palMode = work.src8 = work.swapBack = 0;
  work.srcLine = work.dstLine = work.srcBytes = work.dstBytes = 0;
  work.srcUnits = work.dstUnits = work.srcPixels = work.dstPixels = 0;
  work.srcLen = work.dstLen = work.dstWidth = work.dstHeight = 0;
  work.src = work.dst = nullptr;
  work.srcData = work.dstData = nullptr;
}

// Insert and Sprite share one routine; only the row copy differs.
void Paste(int32_t op, const char* label, Qimg& src, Qimg& dst, int32_t x, int32_t y, uint32_t key) {
  ImgWork work;
  Guarded(label, [&] {
    if (x >= dst.width || y >= dst.height || &src == &dst) return;
    ImgOpInfo info;
    ImgInfo(info, op);
    ImgInitEx(info, work, src, &dst, dst.width, dst.height);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const int32_t bpp = d.bytesPerPixel;
    // Negative positions are cut like overhangs, so that no caller can write outside the target.
    const int32_t sx = std::max(0, -x), sy = std::max(0, -y);
    const int32_t dx = std::max(0, x), dy = std::max(0, y);
    const int32_t cols = std::min(s.width - sx, d.width - dx);
    const int32_t rows = std::min(s.height - sy, d.height - dy);
    for (int32_t r = 0; cols > 0 && r < rows; ++r) {
      const uint8_t* from = s.data + (size_t(sy + r) * s.width + sx) * bpp;
      uint8_t* to = d.data + (size_t(dy + r) * d.width + dx) * bpp;
      if (op == IMG_OP_INSERT) {
        std::memcpy(to, from, size_t(cols) * bpp);
      } else if (bpp == 1) {
        for (int32_t i = 0; i < cols; ++i) to[i] = from[i] == key ? to[i] : from[i];
      } else if (bpp == 2) {
        for (int32_t i = 0; i < cols; ++i, from += 2, to += 2)
          if (detail::Load16(from) != key) std::memcpy(to, from, 2);
      } else if (bpp == 3) {
        const uint32_t key24 = key & 0xFFFFFF;
        for (int32_t i = 0; i < cols; ++i, from += 3, to += 3)
          if ((from[0] | (from[1] << 8) | (uint32_t(from[2]) << 16)) != key24) std::memcpy(to, from, 3);
      } else {
        for (int32_t i = 0; i < cols; ++i, from += 4, to += 4) {
          uint32_t v;
          std::memcpy(&v, from, 4);
          if (v != key) std::memcpy(to, from, 4);
        }
      }
    }
    ImgDone(work);
  });
}

// Colour-count set: one bit per 24-bit colour, set while the colour has not been seen.
struct ColorsRec {
  uint8_t* buffer = nullptr;
  int32_t count = 0;
};
ColorsRec g_colors;
constexpr int32_t kColorBits = 1 << 24;

void CountBgr(const uint8_t* p, int32_t n, int32_t stride) {
  uint8_t* bits = g_colors.buffer;
  int32_t count = 0;
  for (int32_t i = 0; i < n; ++i, p += stride) {
    const uint32_t v = p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    const uint32_t mask = 1u << (v & 7);
    count += (bits[v >> 3] & mask) != 0;
    bits[v >> 3] &= uint8_t(~mask);
  }
  g_colors.count += count;
}

}  // namespace

namespace detail {

void ImgAllocOrStop(Qimg& img, int32_t width, int32_t height, int32_t bpp, std::string_view label, Site line) {
  if (_imgalloc_(img, width, height, bpp, label, line) != 0) MonAbort();
}

void MemAllocOrStop(uint8_t*& var, int32_t size, std::string_view label, Site line) {
  if (_memalloc_(var, size, MEM_RESIZE, label, line) != 0) MonAbort();
}

}  // namespace detail

bool ImgCheckDims(int32_t width, int32_t height, int32_t bpp) {
  const bool depthOk = bpp == 8 || bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
  const bool sidesOk = width >= 1 && height >= 1 && width <= IMG_MAX_SIDE && height <= IMG_MAX_SIDE;
  if (depthOk && sidesOk && int64_t(width) * height * ((bpp + 7) / 8) <= IMG_MAX_BYTES) return true;
  ErrSet(7, 2);
  return false;
}

int32_t _imgalloc_(Qimg& img, int32_t width, int32_t height, int32_t bpp, std::string_view label, Site line) {
  if (!ImgCheckDims(width, height, bpp)) return 7;
  // A picture that already has this shape keeps its block: a run of frames of one size then
  // allocates nothing after the first.
  if (detail::ImgOwnsBlock(img) && img.width == width && img.height == height && img.bpp == bpp) {
    ErrSet(5, 0, line);  // the register ends as after a successful allocation
    return 0;
  }
  if (!detail::ImgOwnsBlock(img)) {
    img.data = nullptr;
    img.size = img.width = img.height = img.bytesPerPixel = img.bpp = 0;
    img.external = 0;
  }
  const int32_t bytesPerPixel = (bpp + 7) / 8;
  const int32_t size = bytesPerPixel * width * height;
  std::string full = "(ImgAlloc):";
  full += label;
  if (_memalloc_(img.data, size, MEM_RESIZE, full, line) != 0) return 5;
  img.size = size;
  img.width = width;
  img.height = height;
  img.bytesPerPixel = bytesPerPixel;
  img.bpp = bpp;
  img.external = 0;
  return 0;
}

void ImgFree(Qimg& img) {
  if (detail::ImgOwnsBlock(img)) MemFree(img.data);
  img.data = nullptr;
  img.size = img.width = img.height = img.bytesPerPixel = img.bpp = 0;
  std::memset(img.palette, 0, sizeof img.palette);
  img.external = 0;
}

bool ImgValid(const Qimg& img) { return img.data != nullptr || img.external != 0; }

void ImgSetDims(Qimg& img, int32_t width, int32_t height, int32_t bpp) {
  img.width = width;
  img.height = height;
  img.bytesPerPixel = (bpp + 7) / 8;
  img.bpp = bpp;
  if (img.external) img.size = img.bytesPerPixel * width * height;
}

void ImgCopyInfo(const Qimg& src, Qimg& dst) {
  if (&src == &dst) return;
  dst.width = src.width;
  dst.height = src.height;
  dst.bytesPerPixel = src.bytesPerPixel;
  dst.bpp = src.bpp;
}

void ImgCopyPalette(const Qimg& src, Qimg& dst) {
  if (&src != &dst && src.bpp == 8) std::memcpy(dst.palette, src.palette, sizeof dst.palette);
}

void ImgCopyData(const Qimg& src, Qimg& dst) {
  Guarded("IMGBasic.ImgCopyData", [&] {
    if (&src == &dst) return;
    detail::ImgAllocOrStop(dst, src.width, src.height, src.bpp, "IMGBasic.ImgCopyData.dest");
    std::memcpy(dst.data, src.data, size_t(src.width) * src.height * src.bytesPerPixel);
  });
}

void ImgCopy(const Qimg& src, Qimg& dst) {
  Guarded("IMGBasic.ImgCopy", [&] {
    if (&src == &dst) return;
    ImgCopyInfo(src, dst);
    ImgCopyData(src, dst);
    ImgCopyPalette(src, dst);
  });
}

void ImgXchg(Qimg& a, Qimg& b) {
  Guarded("IMGBasic.ImgXchg", [&] {
    if (&a == &b) return;
    const bool ownA = detail::ImgOwnsBlock(a), ownB = detail::ImgOwnsBlock(b);
    if (ownA && ownB) {
      MemXchg(a.data, b.data);
    } else if (ownA != ownB) {
      // The allocator knows a block by the field that holds it: give the other field a
      // placeholder block, exchange the two blocks and drop the placeholder.
      Qimg& owner = ownA ? a : b;
      Qimg& other = ownA ? b : a;
      uint8_t* kept = other.data;
      if (_memalloc_(other.data, 1, MEM_RESIZE, "IMGBasic.ImgXchg.data") != 0) MonAbort();
      MemXchg(owner.data, other.data);
      MemFree(owner.data);
      owner.data = kept;
    } else {
      std::swap(a.data, b.data);
    }
    std::swap(a.size, b.size);
    std::swap(a.width, b.width);
    std::swap(a.height, b.height);
    std::swap(a.bytesPerPixel, b.bytesPerPixel);
    std::swap(a.bpp, b.bpp);
    std::swap(a.palette, b.palette);
    std::swap(a.external, b.external);
  });
}

void ImgGetDims(const Qimg& img, int32_t& width, int32_t& height, int32_t& bpp) {
  width = img.width;
  height = img.height;
  bpp = img.bytesPerPixel * 8;
}

void ImgInitInfo(ImgOpInfo& info) {
  std::memset(&info, 0, sizeof info);
  ImgInfoSetBpp(info, 0, 24);
  info.inPlace = RF_TRUE;
  info.palMode = RF_FALSE;
}

void ImgInfoSetBpp(ImgOpInfo& info, int32_t depth, int32_t value) {
  if (depth != 0) {
    info.bppMap[DepthIndex(depth)] = value;
  } else if (value == 0) {
    const int32_t identity[6] = {8, 15, 16, 24, 32, 24};
    std::copy(identity, identity + 6, info.bppMap);
  } else {
    std::fill(info.bppMap, info.bppMap + 6, value);
  }
}

void ImgInfoPalMode(ImgOpInfo& info) {
  ImgInfoSetBpp(info, 8, 8);
  info.palMode = RF_TRUE;
}

void ImgInfoSetParam(ImgOpInfo& info, int32_t index, double minimum, double maximum, double deflt) {
  if (index < 0 || index >= IMG_MAX_PARAMS) return;
  info.params[index] = ImgOpParam{minimum, maximum, deflt};
  if (info.paramCount < index + 1) info.paramCount = index + 1;
}

void ImgInfoSetParams(ImgOpInfo& info, int32_t first, int32_t count, double minimum, double maximum, double deflt) {
  for (int32_t i = 0; i < count; ++i) ImgInfoSetParam(info, first + i, minimum, maximum, deflt);
}

int32_t ImgInfoBpp(const ImgOpInfo& info, int32_t bpp) { return info.bppMap[DepthIndex(bpp)]; }

void ImgInfo(ImgOpInfo& info, int32_t op) {
  ImgInitInfo(info);
  info.op = op;
  const OpRow* row = std::find_if(std::begin(kOps), std::end(kOps), [op](const OpRow& r) { return r.op == op; });
  if (row == std::end(kOps)) return;
  switch (row->map) {
    case kAll24:
      break;
    case kKeep8:
      ImgInfoSetBpp(info, 8, 8);
      break;
    case kIdentity:
      ImgInfoSetBpp(info, 0, 0);
      break;
    case kKeep8And16:
      ImgInfoSetBpp(info, 8, 8);
      ImgInfoSetBpp(info, 16, 16);
      break;
  }
  info.inPlace = Flag(row->inPlace);
  if (row->palMode) ImgInfoPalMode(info);
  info.convertDest = Flag(row->convertDest);
  info.keepDeeper = Flag(row->keepDeeper);
  ImgInfoSetParams(info, 0, row->paramCount, row->minimum, row->maximum, row->deflt);
}

void ImgInitEx(const ImgOpInfo& info, ImgWork& work, Qimg& src, Qimg* dstp, int32_t width, int32_t height) {
  Guarded("IMGBasic.ImgInitEx", [&] {
    ClearWork(work);
    if (!info.inPlace && dstp == nullptr) {
      ErrSet(7, 6);
      MonAbort();
    }
    Qimg& dst = dstp ? *dstp : src;
    int32_t depth = ImgInfoBpp(info, src.bpp);
    if (&dst != &src && ImgValid(dst)) {
      if (info.keepDeeper && dst.bpp != depth) {
        if (dst.bpp > depth)
          depth = dst.bpp;
        else
          ImgConvBpp(dst, dst, depth);
      } else if (info.convertDest && dst.bpp != depth) {
        ImgConvBpp(dst, dst, depth);
      }
    }
    Qimg* wsrc = &src;
    Qimg* wdst = &dst;
    if (src.bpp != depth) {
      ImgConvBpp(src, work.temp, depth);
      wsrc = &work.temp;
      work.tempUsed = RF_TRUE;
    } else if (!info.inPlace && &src == &dst) {
      detail::ImgAllocOrStop(work.temp, width, height, depth, "IMGBasic.ImgInitEx.temp_ih");
      wdst = &work.temp;
      work.tempUsed = work.swapBack = RF_TRUE;
    }
    if (wsrc != wdst) detail::ImgAllocOrStop(*wdst, width, height, depth, "IMGBasic.ImgInitEx.pdest^");
    work.src = wsrc;
    work.dst = wdst;
    work.srcLine = wsrc->width * wsrc->bytesPerPixel;
    work.dstLine = wdst->bytesPerPixel * width;
    work.srcBytes = work.srcLine * wsrc->height;
    work.dstBytes = work.dstLine * height;
    work.srcPixels = wsrc->width * wsrc->height;
    work.dstPixels = width * height;
    work.dstWidth = width;
    work.dstHeight = height;
    if (info.palMode && wsrc->bpp == 8) {
      work.srcUnits = work.dstUnits = 256;
      work.srcLen = work.dstLen = 768;
      work.srcData = &wsrc->palette[0][0];
      work.dstData = &wdst->palette[0][0];
      work.palMode = RF_TRUE;
    } else {
      work.srcUnits = work.srcPixels;
      work.dstUnits = work.dstPixels;
      work.srcLen = work.srcBytes;
      work.dstLen = work.dstBytes;
      work.srcData = wsrc->data;
      work.dstData = wdst->data;
    }
    work.src8 = Flag(wsrc->bpp == 8);
  });
}

void ImgInit(const ImgOpInfo& info, ImgWork& work, Qimg& src, Qimg* dst) {
  ImgInitEx(info, work, src, dst, src.width, src.height);
}

void ImgDone(ImgWork& work) {
  Guarded("IMGBasic.ImgDone", [&] {
    if (work.palMode)
      ImgCopyData(*work.src, *work.dst);
    else if (work.src8)
      ImgCopyPalette(*work.src, *work.dst);
    Qimg* result = work.dst;
    if (work.swapBack) {
      ImgXchg(*work.src, work.temp);
      result = work.src;
    }
    ImgFree(work.temp);
    if (result) {
      result->width = work.dstWidth;
      result->height = work.dstHeight;
      result->size = result->bytesPerPixel * work.dstWidth * work.dstHeight;
    }
  });
}

void ImgConvBpp(Qimg& src, Qimg& dst, int32_t bpp) { ImgConvBppEx(src, dst, bpp, 0); }

void ImgColorsCount(const Qimg& img) {
  uint8_t* cntBuf = nullptr;
  uint8_t* usedClrs = nullptr;
  Guarded("IMGBasic.ImgColorsCount", [&] {
    if (!g_colors.buffer) {
      g_colors.count = 0;
      detail::MemAllocOrStop(g_colors.buffer, kColorBits / 8, "IMGBasic.ImgColorsCount.ColorsRec.buffer");
      std::memset(g_colors.buffer, 0xFF, kColorBits / 8);
    }
    const int32_t n = img.width * img.height;
    if (!img.data || n <= 0) return;
    if (img.bpp == 24 || img.bpp == 32) {
      CountBgr(img.data, n, img.bytesPerPixel);
      return;
    }
    if (img.bpp != 8 && img.bpp != 15 && img.bpp != 16) return;
    // Palette pictures and word pictures: count each used value once, through its full colour.
    const int32_t values = img.bpp == 8 ? 256 : img.bpp == 15 ? 32768 : 65536;
    detail::MemAllocOrStop(cntBuf, values, "IMGBasic.ImgColorsCount.cnt_buf");
    std::memset(cntBuf, 0, size_t(values));
    if (img.bpp == 8) {
      for (int32_t i = 0; i < n; ++i) cntBuf[img.data[i]] = 1;
    } else {
      const uint32_t mask = uint32_t(values - 1);
      for (int32_t i = 0; i < n; ++i) cntBuf[detail::Load16(img.data + 2 * i) & mask] = 1;
    }
    detail::MemAllocOrStop(usedClrs, values * 3, "IMGBasic.ImgColorsCount.used_clrs");
    int32_t used = 0;
    for (int32_t v = 0; v < values; ++v) {
      if (!cntBuf[v]) continue;
      uint8_t* to = usedClrs + 3 * used++;
      if (img.bpp == 8)
        std::memcpy(to, img.palette[v], 3);
      else if (img.bpp == 15)
        detail::Unpack15(uint32_t(v), to);
      else
        detail::Unpack16(uint32_t(v), to);
    }
    CountBgr(usedClrs, used, 3);
    MemFree(usedClrs);
    MemFree(cntBuf);
  });
}

int32_t ImgColorsDone() {
  const int32_t count = g_colors.buffer ? g_colors.count : 0;
  MemFree(g_colors.buffer);
  g_colors.count = 0;
  return count;
}

void ImgInsert(Qimg& src, Qimg& dst, int32_t x, int32_t y) {
  Paste(IMG_OP_INSERT, "IMGBasic.ImgInsert", src, dst, x, y, 0);
}

void ImgSprite(Qimg& src, Qimg& dst, int32_t x, int32_t y, uint32_t key) {
  Paste(IMG_OP_SPRITE, "IMGBasic.ImgSprite", src, dst, x, y, key);
}

void ImgCrop(Qimg& src, Qimg& dst, int32_t x, int32_t y, int32_t width, int32_t height) {
  ImgWork work;
  Guarded("IMGBasic.ImgCrop", [&] {
    if (x < 0 || y < 0 || x >= src.width || y >= src.height || width < 1 || height < 1) return;
    width = std::min(width, src.width - x);
    height = std::min(height, src.height - y);
    ImgOpInfo info;
    ImgInfo(info, IMG_OP_CROP);
    ImgInitEx(info, work, src, &dst, width, height);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const size_t bpp = size_t(d.bytesPerPixel), line = size_t(width) * bpp;
    // Rows move toward the start of the block, so copying them in order also works in place.
    for (int32_t r = 0; r < height; ++r)
      std::memmove(d.data + r * line, s.data + (size_t(y + r) * s.width + x) * bpp, line);
    ImgDone(work);
  });
}

void ImgFlipV(Qimg& src, Qimg& dst) {
  ImgWork work;
  Guarded("IMGBasic.ImgFlipV", [&] {
    ImgOpInfo info;
    ImgInfo(info, 13);
    ImgInit(info, work, src, &dst);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const size_t line = size_t(work.srcLine);
    const int32_t h = s.height;
    if (&s == &d) {
      for (int32_t i = 0; i < h / 2; ++i)
        std::swap_ranges(d.data + i * line, d.data + (i + 1) * line, d.data + (h - 1 - i) * line);
    } else {
      for (int32_t i = 0; i < h; ++i) std::memcpy(d.data + i * line, s.data + (h - 1 - i) * line, line);
    }
    ImgDone(work);
  });
}

void ImgFlipH(Qimg& src, Qimg& dst) {
  ImgWork work;
  Guarded("IMGBasic.ImgFlipH", [&] {
    ImgOpInfo info;
    ImgInfo(info, 12);
    ImgInit(info, work, src, &dst);
    const Qimg& s = *work.src;
    Qimg& d = *work.dst;
    const int32_t w = s.width;
    const size_t line = size_t(work.srcLine);
    for (int32_t r = 0; r < s.height; ++r) {
      const uint8_t* from = s.data + r * line;
      uint8_t* to = d.data + r * line;
      if (s.bytesPerPixel == 1) {
        if (from == to)
          std::reverse(to, to + w);
        else
          std::reverse_copy(from, from + w, to);
      } else if (from == to) {
        for (int32_t a = 0, b = w - 1; a < b; ++a, --b) std::swap_ranges(to + 3 * a, to + 3 * a + 3, to + 3 * b);
      } else {
        for (int32_t i = 0; i < w; ++i) std::memcpy(to + 3 * i, from + 3 * (w - 1 - i), 3);
      }
    }
    ImgDone(work);
  });
}

void ImgSwapRB(Qimg& src, Qimg& dst) {
  ImgWork work;
  Guarded("IMGBasic.ImgSwapRB", [&] {
    ImgOpInfo info;
    ImgInfo(info, 30);
    ImgInit(info, work, src, &dst);
    const uint8_t* from = work.srcData;
    uint8_t* to = work.dstData;
    for (int32_t i = 0; i < work.srcUnits; ++i, from += 3, to += 3) {
      const uint8_t b = from[0], g = from[1], r = from[2];
      to[0] = r;
      to[1] = g;
      to[2] = b;
    }
    ImgDone(work);
  });
}

void FillColor(Qimg& img, int32_t first, int32_t count, uint32_t colour) {
  const int32_t pixels = img.width * img.height;
  if (!img.data || first < 0 || first >= pixels) return;
  // Clamped to the pixels that exist from first on, so that no count can run past the block.
  count = std::clamp(count, 0, pixels - first);
  uint8_t* p = img.data + size_t(first) * img.bytesPerPixel;
  switch (img.bytesPerPixel) {
    case 1:
      std::memset(p, int(colour & 0xFF), size_t(count));
      break;
    case 2:
      for (int32_t i = 0; i < count; ++i) detail::Store16(p + 2 * i, colour);
      break;
    case 3:
      for (int32_t i = 0; i < count; ++i, p += 3) {
        p[0] = uint8_t(colour);
        p[1] = uint8_t(colour >> 8);
        p[2] = uint8_t(colour >> 16);
      }
      break;
    default:
      break;
  }
}

}  // namespace rf
