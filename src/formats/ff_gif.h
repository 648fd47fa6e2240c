// GIF files (format 4): the reader of stills and animations and the animated GIF writer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

struct QGifWriter;

// The code tables of one LZW decoder: a code's string is its prefix code's string followed by
// its suffix byte; first and length describe the whole string.
struct QGifLzwTable {
  uint16_t prefix[4096];
  uint8_t suffix[4096];
  uint8_t first[4096];
  uint16_t length[4096];
};

// One open GIF, for reading (GIFOpen) or for writing (GIFCreate).
struct QGifHandle {
  int32_t width = 0;  // the logical screen
  int32_t height = 0;
  int32_t bytesPerPixel = 0;
  int32_t bpp = 0;
  int32_t frames = 0;
  int32_t decoded = 0;  // the frame decoded last (reading) or frames written (writing)
  double frameRate = 0;
  int64_t fileSize = 0;
  int32_t background = -1;  // -1 without a global colour table
  // The previous frame's window as it lies on the screen (clipped), and its disposal method.
  int32_t prevLeft = 0, prevTop = 0, prevWidth = 0, prevHeight = 0;
  uint8_t* PrevImg = nullptr;  // the screen under that window, for disposal method 3
  int32_t prevDisposal = 0;
  int32_t globalTable = 0;  // the file has a global colour table
  int32_t dependent = 0;    // some frame shows pixels of earlier ones
  uint8_t palette[256][3] = {};
  int32_t file = 0;
  int32_t writing = 0;
  int32_t* positions = nullptr;  // frames + 1 file positions: each frame's start, then the end
  uint8_t* data = nullptr;       // the compressed data of the frame being decoded
  uint8_t* window = nullptr;     // a frame decoded at its own size before it is placed
  QGifLzwTable* table = nullptr;
  QGifWriter* writer = nullptr;
};

// Opens for reading. With single set only the first image is located (a GIF read as a still);
// otherwise the whole file is scanned, or its positions taken from the process-wide cache when
// the same unchanged file was scanned last. Error (7, 2) for a file that is not a GIF, (7, 4)
// when no image header is found.
void GIFOpen(QGifHandle& gf, std::string_view name, bool single);
void GIFInfo(std::string_view name, QffInfo& info);
// Decodes the next frame onto the screen held in img (the screen's size; 8 bits, or 24 when the
// animation's frames bring colour tables of their own).
void GIFLoadNext(QGifHandle& gf, Qimg& img);
// Frame 1-based, 0 the next; flags bit 0: img holds the frame decoded last. Error (12, 1) for a
// frame out of range, (7, 9) for damaged frame data.
void GIFLoad(QGifHandle& gf, Qimg& img, int32_t frame, int32_t flags);
void GIFClose(QGifHandle& gf);
// The first image as a still picture.
void GIFLoad_(std::string_view name, Qimg& img);
// Forgets the scanned file of the position cache.
void GIFFreeFPosBlk_();

// Decodes the LZW data of one frame (the code-size byte, then the sub-blocks; the data block is
// compacted in place and must have 8 writable bytes beyond length) into at most capacity bytes.
// Returns the bytes written, or -1 for a stream that no encoder makes (a code beyond the table,
// a code size outside 1..8).
int32_t GIFDecodeLzw_(uint8_t* data, int32_t length, uint8_t* out, int32_t capacity, QGifLzwTable& table);

// The writer. Frames get the delays of the frame rate, in hundredths of a second alternating so
// that the total time stays right; a frame rate of 0 gives delays of 0.
void GIFCreate(QGifHandle& gf, std::string_view name, double frameRate);
// Loop count of the NETSCAPE block of files created from now on (0: forever).
void GIFSetLoops(int32_t loops);
// The colour table written as the file's global one; frames whose palette equals it carry no
// table of their own. Without it the first frame's palette becomes the global table.
void GIFSetGlobalPalette(QGifHandle& gf, const uint8_t (&palette)[256][3]);
// Any depth; pictures are converted to 8 bits with a palette of their own.
void GIFSave(QGifHandle& gf, Qimg& img);
// Ends a file being written: the trailer, then the file takes its name.
void GIFFinish_(QGifHandle& gf);
// One picture as a one-frame GIF.
void GIFSave_(std::string_view name, const Qimg& img);
// Encodes count pixels of 2^bits colours as LZW data (the code-size byte and the sub-blocks with
// their zero terminator), appended to out.
void GIFEncodeLzw_(const uint8_t* pixels, int32_t count, int32_t bits, std::vector<uint8_t>& out);

}  // namespace rf
