// Bayer camera pictures (format 16): fixed-size sensor dump with a trailer; each 4-byte cell
// becomes a 2 x 2 square of grey levels or of one colour per row pair.
#include "formats/ff_bay.h"

#include <cstring>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 16;
constexpr int32_t kColour = 1;
constexpr int32_t kMonochrome = 2;

// Exposure values by index (from 1) for the two camera families.
constexpr double kExposureMl[] = {30, 60, 125, 250, 500, 1000, 2000};
constexpr double kExposureEk[] = {250, 500, 1000};

double ExposureValue(const QBayFile& bay) {
  const int32_t i = bay.exposure - 1;
  if (bay.camera == "ML" && i >= 0 && i < 7) return kExposureMl[i];
  if ((bay.camera == "EK" || bay.camera == "RO") && i >= 0 && i < 3) return kExposureEk[i];
  return 0;
}

std::string ModeName(const QBayFile& bay) {
  const bool mono = bay.colourByte == kMonochrome;
  std::string name = bay.camera;
  if (bay.camera == "EK")
    name = mono ? "HR" : "DRC";
  else if (bay.camera == "ML")
    name = "HG";
  return name + (mono ? " (monochrome)" : " (color)");
}

// Cells run left to right across a pair of rows, pairs from the top; c[0], c[1] are the upper
// pixels, c[2], c[3] the lower ones.
void FillMonochrome(const uint8_t* cells, Qimg& img) {
  for (int32_t y = 0; y < BAY_HEIGHT; y += 2)
    for (int32_t x = 0; x < BAY_WIDTH; x += 2, cells += 4) {
      uint8_t* up = img.data + size_t(y) * BAY_WIDTH + x;
      up[0] = cells[0];
      up[1] = cells[1];
      up[BAY_WIDTH] = cells[2];
      up[BAY_WIDTH + 1] = cells[3];
    }
}

// A colour cell carries green twice (c[0] above, c[3] below) and red (c[1]) and blue (c[2]) once
// for its whole square.
void FillColour(const uint8_t* cells, Qimg& img) {
  const size_t line = size_t(BAY_WIDTH) * 3;
  for (int32_t y = 0; y < BAY_HEIGHT; y += 2)
    for (int32_t x = 0; x < BAY_WIDTH; x += 2, cells += 4) {
      uint8_t* up = img.data + size_t(y) * line + size_t(x) * 3;
      const uint8_t upper[3] = {cells[2], cells[0], cells[1]};
      const uint8_t lower[3] = {cells[2], cells[3], cells[1]};
      std::memcpy(up, upper, 3);
      std::memcpy(up + 3, upper, 3);
      std::memcpy(up + line, lower, 3);
      std::memcpy(up + line + 3, lower, 3);
    }
}

}  // namespace

void BayOpen_(QBayFile& bay, std::string_view name) {
  Guarded("FF_BAY.BayOpen_", [&] {
    bay = QBayFile{};
    ImgFileOpenRead(bay.f, name, nullptr, 0);
    if (bay.f.fileSize != BAY_FILE_SIZE) ImgFileFail(7, 2);
    uint8_t trailer[BAY_TRAILER_BYTES];
    FSeek(bay.f.file, BAY_SENSOR_BYTES);
    FRead(bay.f.file, trailer, BAY_TRAILER_BYTES);
    if (std::memcmp(trailer + 3, "BAY 2", 5) != 0) ImgFileFail(7, 2);
    bay.camera.assign(reinterpret_cast<const char*>(trailer), strnlen(reinterpret_cast<const char*>(trailer), 2));
    bay.colourByte = trailer[8];
    bay.exposure = trailer[11];
    ImgFileSetGeometry(bay.f, BAY_WIDTH, BAY_HEIGHT, bay.colourByte == kMonochrome ? 8 : 24);
    bay.f.supported = bay.colourByte == kColour || bay.colourByte == kMonochrome ? RF_TRUE : RF_FALSE;
    bay.f.dataOffset = 0;
  });
}

void BayInfo(std::string_view name, QffInfo& info) {
  QBayFile bay;
  Guarded("FF_BAY.BayInfo", [&] {
    BayOpen_(bay, name);
    ImgFileFillInfo(bay.f, kFormatId, true, info);
    const double value = ExposureValue(bay);
    if (value > 0) info.video.frameRate = value;
    info.video.compression = ModeName(bay);
    FClose(bay.f.file);
  });
}

void BayLoad(std::string_view name, Qimg& img) {
  QBayFile bay;
  Guarded("FF_BAY.BayLoad", [&] {
    ImgFileFreeOnFailure(img);
    BayOpen_(bay, name);
    if (!bay.f.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(bay.f.width, bay.f.height, bay.f.bpp)) MonAbort();
    _memalloc_(bay.f.CmpsData, BAY_SENSOR_BYTES, MEM_RESIZE, "FF_BAY.BayLoad.cells");
    FSeek(bay.f.file, 0);
    FRead(bay.f.file, bay.f.CmpsData, BAY_SENSOR_BYTES);
    if (_imgalloc_(img, bay.f.width, bay.f.height, bay.f.bpp, "FF_BAY.BayLoad.img") != 0) MonAbort();
    std::memset(img.palette, 0, sizeof img.palette);
    if (img.bpp == 8) {
      for (int32_t i = 0; i < 256; ++i) std::memset(img.palette[i], i, 3);
      FillMonochrome(bay.f.CmpsData, img);
    } else {
      FillColour(bay.f.CmpsData, img);
    }
    MemFree(bay.f.CmpsData);
    FClose(bay.f.file);
  });
}

}  // namespace rf
