// Stand-in for the multimedia RIFF file functions: chunked files read and written through the
// tracked files.
#pragma once

#include <cstdint>
#include <string_view>

namespace rf {

// A RIFF file handle: the tracked file handle, 0 when none.
using HMMIO = int32_t;

// Chunk information: id, data size, form type (RIFF and LIST only), file offset of the data
// (of the form type for RIFF and LIST) and flags.
struct MMCKINFO {
  uint32_t ckid;
  uint32_t cksize;
  uint32_t fccType;
  uint32_t dwDataOffset;
  uint32_t dwFlags;
};
static_assert(sizeof(MMCKINFO) == 20);

// Open flags.
inline constexpr uint32_t MMIO_READ = 0x0;
inline constexpr uint32_t MMIO_WRITE = 0x1;
inline constexpr uint32_t MMIO_READWRITE = 0x2;
inline constexpr uint32_t MMIO_CREATE = 0x1000;

// Search and create flags of mmioDescend and mmioCreateChunk.
inline constexpr uint32_t MMIO_FINDCHUNK = 0x10;
inline constexpr uint32_t MMIO_FINDRIFF = 0x20;
inline constexpr uint32_t MMIO_FINDLIST = 0x40;
inline constexpr uint32_t MMIO_CREATERIFF = 0x20;
inline constexpr uint32_t MMIO_CREATELIST = 0x40;
// Chunk flag: the chunk was created here and its size is fixed when it is ascended.
inline constexpr uint32_t MMIO_DIRTY = 0x10000000;

// Seek origins.
inline constexpr int32_t MMIO_SEEK_SET = 0;
inline constexpr int32_t MMIO_SEEK_CUR = 1;
inline constexpr int32_t MMIO_SEEK_END = 2;

// Results.
inline constexpr int32_t MMIOERR_FILENOTFOUND = 257;
inline constexpr int32_t MMIOERR_CANNOTOPEN = 259;
inline constexpr int32_t MMIOERR_CANNOTCLOSE = 260;
inline constexpr int32_t MMIOERR_CANNOTREAD = 261;
inline constexpr int32_t MMIOERR_CANNOTWRITE = 262;
inline constexpr int32_t MMIOERR_CANNOTSEEK = 263;
inline constexpr int32_t MMIOERR_CHUNKNOTFOUND = 265;
inline constexpr int32_t MMIOERR_INVALIDHANDLE = 5;

constexpr uint32_t mmioFOURCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
inline constexpr uint32_t FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr uint32_t FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// Opens a file (MMIO_READ, or MMIO_CREATE | MMIO_WRITE); 0 when it cannot be opened. Failures
// never touch the error register.
HMMIO mmioOpen(std::string_view name, uint32_t flags);
int32_t mmioClose(HMMIO h, uint32_t flags);
// Bytes moved, or -1.
int32_t mmioRead(HMMIO h, void* buffer, int32_t count);
int32_t mmioWrite(HMMIO h, const void* buffer, int32_t count);
// The new position, or -1.
int64_t mmioSeek(HMMIO h, int64_t offset, int32_t origin);
int32_t mmioFlush(HMMIO h, uint32_t flags);

// Reads the chunk header at the current position (within parent, when given) and stands at its
// data; with a find flag, skips chunks until one matches. MMIOERR_CHUNKNOTFOUND when the parent
// or the file ends first.
int32_t mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags);
// Stands after the chunk and its pad byte; a chunk created here gets its size and pad written.
int32_t mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t flags);
// Writes a chunk header (with form type for MMIO_CREATERIFF / MMIO_CREATELIST) at the current
// position and stands at its data.
int32_t mmioCreateChunk(HMMIO h, MMCKINFO* ck, uint32_t flags);

}  // namespace rf
