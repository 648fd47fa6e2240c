// Row transfer, compressed-data reading and file handling shared by the TGA, PCX and BMP codecs.
#include "formats/stillio.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {

void ImgFileFail(int32_t category, int32_t code) {
  ErrSet(category, code);
  MonAbort();
}

void ImgFileSetGeometry(QImgFile& imgf, int32_t width, int32_t height, int32_t bpp) {
  imgf.width = width;
  imgf.height = height;
  imgf.bpp = bpp;
  imgf.bytesPerPixel = (bpp + 7) / 8;
  imgf.rowBytes = int64_t(width) * imgf.bytesPerPixel;
  // A damaged header can ask for more than 64 bits hold; the size then saturates and fails
  // every later check.
  if (__builtin_mul_overflow(imgf.rowBytes, int64_t(height), &imgf.imageBytes)) imgf.imageBytes = INT64_MAX;
}

void Dsk2Mem_(QImgFile& imgf, uint8_t* dest, int32_t rowPadding) {
  Guarded("ConForm.Dsk2Mem_", [&] {
    const auto rowBytes = size_t(imgf.rowBytes);
    int64_t pos = imgf.dataOffset;
    for (int32_t i = 0; i < imgf.height; ++i) {
      const int32_t row = imgf.bottomUp ? imgf.height - 1 - i : i;
      FSeek(imgf.file, pos);
      FRead(imgf.file, dest + size_t(row) * rowBytes, int32_t(rowBytes));
      pos += imgf.rowBytes + rowPadding;
    }
  });
}

void Mem2Dsk_(QImgFile& imgf, const Qimg& img, int32_t rowPadding) {
  Guarded("ConForm.Mem2Dsk_", [&] {
    const auto rowBytes = size_t(img.width) * img.bytesPerPixel;
    const uint8_t zeros[4] = {};
    for (int32_t row = img.height - 1; row >= 0; --row) {
      FWrite(imgf.file, img.data + size_t(row) * rowBytes, int32_t(rowBytes));
      if (rowPadding > 0) FWrite(imgf.file, zeros, rowPadding);
    }
  });
}

void GetCmpsData_(QImgFile& imgf, int64_t maxLength) {
  Guarded("ConForm.GetCmpsData_", [&] {
    const int64_t available = imgf.fileSize - imgf.dataOffset;
    if (available < 0) ImgFileFail(7, 9);
    imgf.cmpsLength = int32_t(std::clamp<int64_t>(std::min(available, maxLength), 0, CMPS_MAX_LENGTH));
    if (imgf.cmpsLength == 0) return;
    _memalloc_(imgf.CmpsData, imgf.cmpsLength, MEM_RESIZE, "ConForm.GetCmpsData_.imgf.CmpsData");
    FSeek(imgf.file, imgf.dataOffset);
    FRead(imgf.file, imgf.CmpsData, imgf.cmpsLength);
  });
}

void ImgFileCheckData(const QImgFile& imgf, int32_t rowPadding) {
  if (imgf.dataOffset < 0 || imgf.dataOffset > imgf.fileSize) ImgFileFail(7, 9);
  if (imgf.compressed) return;
  // The last row needs no padding after it: some writers leave it out.
  const int64_t needed = imgf.dataOffset + (imgf.rowBytes + rowPadding) * (imgf.height - 1) + imgf.rowBytes;
  if (needed > imgf.fileSize) ImgFileFail(7, 9);
}

void ImgFileOpenRead(QImgFile& imgf, std::string_view name, uint8_t* header, int32_t count) {
  imgf = QImgFile{};
  FOpen(imgf.file, name, FM_READ);
  imgf.fileSize = std::max<int64_t>(0, FSize(imgf.file));
  FRead(imgf.file, header, count);
}

void ImgFileCreate(QImgFile& imgf, std::string_view name) {
  imgf = QImgFile{};
  // A failed save leaves the old file as it was: what the create made is undone, also when the
  // writer closed it before failing.
  MonSetCleanup([&imgf] { FAbandon(imgf.file); });
  FOpen(imgf.file, name, FM_CREATE | FM_WRITE);
}

void ImgFileFillInfo(const QImgFile& imgf, int32_t format, bool hasVideo, QffInfo& info) {
  info.format = format;
  info.fileSize = imgf.fileSize;
  info.video.width = imgf.width;
  info.video.height = imgf.height;
  info.video.bytesPerPixel = imgf.bytesPerPixel;
  info.video.bpp = imgf.bpp;
  info.video.frames = 1;
  info.video.compression = imgf.compressed ? RLE_NAME : "";
  info.video.hasVideo = hasVideo ? RF_TRUE : RF_FALSE;
  info.video.videoReadable = imgf.supported ? RF_TRUE : RF_FALSE;
}

void ImgFileFreeOnFailure(Qimg& img) {
  // A picture the caller already held stays the caller's; only a new one is undone.
  if (ImgValid(img)) return;
  MonSetCleanup([&img] { ImgFree(img); });
}

const Qimg& ImgFileAtDepth(const Qimg& img, Qimg& temp, int32_t bpp) {
  if (img.bpp == bpp) return img;
  // Converting into another record only reads the source.
  ImgConvBpp(const_cast<Qimg&>(img), temp, bpp);
  return temp;
}

void ImgFileGreyPalette(Qimg& img) {
  for (int32_t i = 0; i < 256; ++i) std::memset(img.palette[i], i, 3);
}

void ImgClear15BitTop(Qimg& img) {
  if (img.bpp != 15) return;
  const size_t bytes = size_t(img.width) * img.height * 2;
  for (size_t i = 1; i < bytes; i += 2) img.data[i] &= 0x7F;
}

}  // namespace rf
