// The records behind the AVI file library's handles, shared by its reader and writer units.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/errors.h"
#include "platform/avifile.h"

namespace rf {

inline constexpr uint32_t kAviRiff = AviFourcc('R', 'I', 'F', 'F');
inline constexpr uint32_t kAviList = AviFourcc('L', 'I', 'S', 'T');
inline constexpr uint32_t kAviJunk = AviFourcc('J', 'U', 'N', 'K');
inline constexpr uint32_t kAviForm = AviFourcc('A', 'V', 'I', ' ');
inline constexpr uint32_t kAviExtension = AviFourcc('A', 'V', 'I', 'X');
inline constexpr uint32_t kAviMovi = AviFourcc('m', 'o', 'v', 'i');

// The sizes of the stored headers.
inline constexpr int32_t kAviMainHeader = 56;
inline constexpr int32_t kAviStreamHeader = 56;
inline constexpr int32_t kAviBitmapHeader = 40;
inline constexpr int32_t kAviWaveHeader = 18;
// A standard or super index chunk's own header, before its entries.
inline constexpr int32_t kAviIndexHeader = 24;
// OpenDML index types (bIndexType).
inline constexpr uint8_t kAviIndexOfIndexes = 0;
inline constexpr uint8_t kAviIndexOfChunks = 1;
// In a standard index entry's size: the chunk is not a key frame.
inline constexpr uint32_t kAviDeltaFrame = 0x80000000u;

// One stored chunk of a stream: where its data starts, its size and whether it is a key frame.
struct AviChunk {
  int64_t offset;
  uint32_t size;
  bool key;
};

// An entry of a written stream's super index: one standard index chunk.
struct AviSuperEntry {
  int64_t offset;
  uint32_t size;
  uint32_t duration;
};

struct AviStream {
  AviFile* file = nullptr;
  int32_t number = 0;  // the two digits of its chunk ids
  AVISTREAMINFO info{};
  std::vector<uint8_t> format;
  std::vector<AviChunk> chunks;
  // Reading sound of a sample size: the byte position in the stream where each chunk starts,
  // and one more entry, the total.
  std::vector<int64_t> byteStarts;
  size_t cursor = 0;  // the chunk the last sound read ended in: the next read starts there
  std::vector<int32_t> keyFrames;
  // Writing: the chunk id, what was written, and the standard indexes of finished parts.
  uint32_t chunkId = 0;
  int64_t length = 0, bytes = 0;
  uint32_t largest = 0;
  int64_t partUnits = 0;  // stream units written in the current part
  std::vector<AviSuperEntry> super;
};

// A chunk of the part being written, in file order: for idx1 and the standard indexes.
struct AviWrittenChunk {
  int64_t offset;  // of its data
  uint32_t size;
  uint16_t stream;
  bool key;
};

struct AviFile {
  int32_t handle = 0;
  bool writing = false;
  int64_t fileSize = 0;
  AVIFILEINFO info{};
  std::vector<std::unique_ptr<AviStream>> streams;
  AviIndexKind indexKind = AviIndexKind::Scan;
  // Writing.
  bool failed = false;
  int64_t partLimit = int64_t(1) << 30;
  int64_t headerRoom = 0;  // where the first movi list starts; 0 until data is written
  int64_t pos = 0;         // the end of what was written
  int64_t partStart = 0, moviList = 0;
  int32_t parts = 0;
  uint32_t firstPartFrames = 0;
  std::vector<AviWrittenChunk> partChunks;
};

// Runs a tracked-file call with the error register locked: its failure comes back as its result
// only, neither aborting the caller's guarded block nor clearing the caller's warnings.
template <class Call>
int32_t AviUnraised(Call&& call) {
  const ErrLockScope lock;
  return call();
}

// Records a failure's reason as the library's message and returns result.
int32_t AviFail(int32_t result, std::string_view reason);
// Reads count bytes at a file position; false when fewer were there.
bool AviReadAt(const AviFile& f, int64_t pos, void* buffer, int64_t count);

// The reader: parses an opened file's headers and finds its chunks.
int32_t AviReadHeaders(AviFile& f);
// The writer's calls, on a file opened for creation.
int32_t AviWriteCreateStream(AviFile& f, const AVISTREAMINFO& info, PAVISTREAM* stream);
int32_t AviWriteFormat(AviStream& s, const void* format, int32_t size);
int32_t AviWriteChunk(AviStream& s, const void* data, int32_t size, uint32_t flags, int32_t* samples);
// Writes the indexes and headers; false when a write failed.
bool AviWriteFinish(AviFile& f);

}  // namespace rf
