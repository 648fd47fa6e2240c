// The working record of one still file and the row, buffer and palette helpers its readers share.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

// One still file while it is read or written; zeroed by each Open. Sizes derived from header
// fields are 64-bit so that a damaged header cannot overflow them before they are checked.
struct QImgFile {
  int32_t file = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 0;  // (bpp + 7) div 8
  int32_t bpp = 0;            // 8, 15, 16, 24 or 32 as the Qimg counts them
  int64_t fileSize = 0;
  int64_t paletteOffset = 0;
  int64_t paletteSize = 0;  // bytes of colour table in the file
  int64_t dataOffset = 0;
  uint8_t* CmpsData = nullptr;  // the compressed pixel data read by GetCmpsData_
  int32_t cmpsLength = 0;
  int32_t palEntrySize = 0;   // bytes per colour-table entry (TGA)
  int32_t firstPalIndex = 0;  // index of the first colour-table entry (TGA)
  int64_t rowBytes = 0;       // width x bytes per pixel
  int64_t imageBytes = 0;     // row bytes x height
  int32_t compressed = 0;
  int32_t supported = 0;
  int32_t bottomUp = 0;
  int32_t os2Header = 0;
  int32_t planeBytes = 0;  // bytes of one colour plane in a scan line (PCX)
  int32_t grey = 0;        // the pixels are grey levels (TGA)
  int32_t fileBpp = 0;     // bits per pixel as the file stores them (BMP)
  int32_t runBits = 0;     // bits per pixel of run-length codes, 4 or 8 (BMP)
  uint32_t masks[4] = {};  // where red, green, blue and alpha lie in a pixel (BMP)
};

// The compression name the Info routines give run-length coded pictures.
inline constexpr const char* RLE_NAME = "Run Length Encoding (RLE)";

// Compressed data beyond this is never read: no picture the system holds needs more.
inline constexpr int64_t CMPS_MAX_LENGTH = IMG_MAX_BYTES;

// Sets the error and ends the running guarded routine, whatever state its frame is in.
[[noreturn]] void ImgFileFail(int32_t category, int32_t code);

// Sets width, height and depth together with bytes per pixel, row bytes and image bytes.
void ImgFileSetGeometry(QImgFile& imgf, int32_t width, int32_t height, int32_t bpp);

// Reads height uncompressed rows from the data offset; rows in the file are rowPadding bytes
// apart beyond their pixels. Bottom-up files fill dest from its last row upwards.
void Dsk2Mem_(QImgFile& imgf, uint8_t* dest, int32_t rowPadding);

// Writes the picture's rows bottom row first, each followed by rowPadding zero bytes.
void Mem2Dsk_(QImgFile& imgf, const Qimg& img, int32_t rowPadding);

// Reads from the data offset to the end of the file, but at most maxLength bytes, into CmpsData
// (cmpsLength bytes; no block when there are none). The caller frees it after decoding.
void GetCmpsData_(QImgFile& imgf, int64_t maxLength = CMPS_MAX_LENGTH);

// Error (7, 9) when the file ends before the uncompressed rows Dsk2Mem_ would read, or before
// compressed data begins; called before the picture is allocated.
void ImgFileCheckData(const QImgFile& imgf, int32_t rowPadding);

// Opens name for reading into imgf.file (zeroing imgf first) and reads the first count bytes.
void ImgFileOpenRead(QImgFile& imgf, std::string_view name, uint8_t* header, int32_t count);

// Replaces any file of that name by a new empty one. Should the calling guarded routine fail
// later, the new file is closed and deleted, so that no half-written picture stays behind.
void ImgFileCreate(QImgFile& imgf, std::string_view name);

// Fills what an Info routine reports of an opened still file: one frame of its geometry.
void ImgFileFillInfo(const QImgFile& imgf, int32_t format, bool hasVideo, QffInfo& info);

// Should the calling guarded routine fail, an img that held no picture before is left empty
// rather than with the geometry of a picture it never got.
void ImgFileFreeOnFailure(Qimg& img);

// The picture at bpp bits: img itself when it has that depth, else a converted copy in temp,
// which the caller frees after writing (a failure of the calling guarded routine releases it).
const Qimg& ImgFileAtDepth(const Qimg& img, Qimg& temp, int32_t bpp);

// Gives img the 256 grey levels as its palette.
void ImgFileGreyPalette(Qimg& img);

// Clears bit 15 of every 15-bit pixel: files use it as an attribute that the picture has no room
// for.
void ImgClear15BitTop(Qimg& img);

}  // namespace rf
