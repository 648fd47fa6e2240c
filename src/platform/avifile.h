// Stand-in for the AVI file library: RIFF AVI files read and written chunk by chunk through the
// tracked files (AVI 1.0 with idx1, OpenDML parts and indexes past 1 GiB); results are returned,
// never raised, and a failure's reason goes to the library messages ("avifile: ...").
#pragma once

#include <cstdint>
#include <string_view>

namespace rf {

struct AviFile;
struct AviStream;
using PAVIFILE = AviFile*;
// Streams belong to their file: valid until the file is released, never released on their own.
using PAVISTREAM = AviStream*;

// Results (0 is success), the library's own values.
constexpr int32_t MakeAviErr(int32_t n) { return int32_t(0x80044000u + uint32_t(n)); }
inline constexpr int32_t AVIERR_OK = 0;
inline constexpr int32_t AVIERR_UNSUPPORTED = MakeAviErr(101);
inline constexpr int32_t AVIERR_BADFORMAT = MakeAviErr(102);
inline constexpr int32_t AVIERR_BADPARAM = MakeAviErr(106);
inline constexpr int32_t AVIERR_BADSIZE = MakeAviErr(107);
inline constexpr int32_t AVIERR_BADHANDLE = MakeAviErr(108);
inline constexpr int32_t AVIERR_FILEREAD = MakeAviErr(109);
inline constexpr int32_t AVIERR_FILEWRITE = MakeAviErr(110);
inline constexpr int32_t AVIERR_FILEOPEN = MakeAviErr(111);
inline constexpr int32_t AVIERR_READONLY = MakeAviErr(114);
inline constexpr int32_t AVIERR_NODATA = MakeAviErr(115);
inline constexpr int32_t AVIERR_BUFFERTOOSMALL = MakeAviErr(116);

// Open modes of AVIFileOpen: OF_READ, or OF_CREATE | OF_WRITE.
inline constexpr uint32_t OF_READ = 0x0;
inline constexpr uint32_t OF_WRITE = 0x1;
inline constexpr uint32_t OF_CREATE = 0x1000;

constexpr uint32_t AviFourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
inline constexpr uint32_t streamtypeVIDEO = AviFourcc('v', 'i', 'd', 's');
inline constexpr uint32_t streamtypeAUDIO = AviFourcc('a', 'u', 'd', 's');

// Chunk flag of AVIStreamWrite and of the indexes: the chunk decodes without the ones before it.
inline constexpr uint32_t AVIIF_KEYFRAME = 0x10;
// Sample count of AVIStreamRead: as many as fit in the buffer (video: the one frame).
inline constexpr int32_t AVISTREAMREAD_CONVENIENT = -1;

// Main header flags, as stored (AVIFILEINFO dwFlags).
inline constexpr uint32_t AVIF_HASINDEX = 0x10;
inline constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;

// What AVIFileInfo tells of a file; the counts are those of the main header, the rest measured.
struct AVIFILEINFO {
  uint32_t dwMaxBytesPerSec;
  uint32_t dwFlags;
  uint32_t dwCaps;
  uint32_t dwStreams;
  uint32_t dwSuggestedBufferSize;
  uint32_t dwWidth;
  uint32_t dwHeight;
  uint32_t dwScale;
  uint32_t dwRate;
  uint32_t dwLength;
  uint32_t dwEditCount;
  char szFileType[64];
};
static_assert(sizeof(AVIFILEINFO) == 108);

struct AVIRECT {
  int32_t left, top, right, bottom;
};

// A stream's header. Read: dwLength is what the file holds (frames for video, sample-size units
// or chunks for sound), dwSuggestedBufferSize at least the largest chunk.
struct AVISTREAMINFO {
  uint32_t fccType;
  uint32_t fccHandler;
  uint32_t dwFlags;
  uint32_t dwCaps;
  uint16_t wPriority;
  uint16_t wLanguage;
  uint32_t dwScale;
  uint32_t dwRate;
  uint32_t dwStart;
  uint32_t dwLength;
  uint32_t dwInitialFrames;
  uint32_t dwSuggestedBufferSize;
  uint32_t dwQuality;
  uint32_t dwSampleSize;
  AVIRECT rcFrame;
  uint32_t dwEditCount;
  uint32_t dwFormatChangeCount;
  char16_t szName[64];
};
static_assert(sizeof(AVISTREAMINFO) == 204);

// How a read file's chunks were found.
enum class AviIndexKind { Idx1, OpenDml, Scan };

// Opens name for reading (OF_READ) or creates it (OF_CREATE | OF_WRITE, written under a hidden
// temporary that replaces name when released); *file is nullptr on failure.
int32_t AVIFileOpen(PAVIFILE* file, std::string_view name, uint32_t mode);
// Copies min(size, 108) bytes of the file's information.
int32_t AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, int32_t size);
// The index-th stream of that type (0: of any type); AVIERR_NODATA when there is none.
int32_t AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t type, int32_t index);
// Adds a stream to a file being written (type, handler, scale, rate, quality, sample size and
// frame rectangle are taken from info); streams are numbered in the order they are created.
int32_t AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info);
// Closes a file and its streams. Written files get their counts and indexes and replace their
// name; a write that failed, now or earlier, gives AVIERR_FILEWRITE and the name keeps its old file.
int32_t AVIFileRelease(PAVIFILE file);
// Closes a file being written without keeping it (the name keeps its old file); reading files close.
void AVIFileAbandon(PAVIFILE file);
// How the chunks of a read file were found: the AVI 1.0 index, the OpenDML indexes or a scan.
AviIndexKind AVIFileIndexKind(PAVIFILE file);
// Test hook: a written file starts a new RIFF part once the current one would pass bytes (default 1 GiB).
void AVIFileSetPartLimit(PAVIFILE file, int64_t bytes);

// Copies min(size, 204) bytes of the stream's header.
int32_t AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size);
// The stored format (video at least 40 bytes with biSize <= size; sound at least 18 with cbSize
// fitting): format nullptr asks for *size, else copies min(*size, format size) and sets *size.
int32_t AVIStreamReadFormat(PAVISTREAM stream, int32_t pos, void* format, int32_t* size);
// Frames (video, or sound of sample size 0: chunks) or sample-size units (sound) in the stream; -1 on a bad stream.
int32_t AVIStreamLength(PAVISTREAM stream);
// Reads raw stored data from sample start: video one frame's chunk; sound samples (-1: as many as
// fit) across chunks. buffer nullptr asks for the size; a buffer too small is AVIERR_BUFFERTOOSMALL
// with *bytes the size needed; start at or past the end reads nothing and succeeds.
int32_t AVIStreamRead(PAVISTREAM stream, int32_t start, int32_t samples, void* buffer, int32_t bufferSize,
                      int32_t* bytes, int32_t* samplesRead);
// Whether frame pos is a key frame (indexes' flags; frame 0 always; unindexed compressed frames are not).
bool AVIStreamIsKeyFrame(PAVISTREAM stream, int32_t pos);
// The key frame at or before pos (0 when none), where decoding of frame pos starts.
int32_t AVIStreamNearestKeyFrame(PAVISTREAM stream, int32_t pos);
// Sets the stored format of a stream being written (pos 0): a BITMAPINFOHEADER (with palette) or a
// wave format; AVIERR_UNSUPPORTED once data was written and it no longer fits the reserved header.
int32_t AVIStreamSetFormat(PAVISTREAM stream, int32_t pos, const void* format, int32_t size);
// Appends at start (the stream's length, or -1): video one frame chunk of size bytes (flags
// AVIIF_KEYFRAME or 0; size 0 is a dropped frame), sound samples in one chunk.
int32_t AVIStreamWrite(PAVISTREAM stream, int32_t start, int32_t samples, const void* buffer, int32_t size,
                       uint32_t flags, int32_t* samplesWritten, int32_t* bytesWritten);

}  // namespace rf
