// RIFF chunk reading and writing on the tracked files; results are returned, never raised.
#include "platform/riff.h"

#include <algorithm>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

// Runs a tracked-file call whose failure must come back as a result: the error it sets stays
// inside this silent block and is cleared.
template <class Body>
bool Quietly(Body&& body) {
  bool ok = true;
  GuardedSilent("RIFF.Quietly", [&] { body(); });
  if (!ErrNone()) {
    ok = false;
    ErrClear();
  }
  return ok;
}

bool Valid(HMMIO h) { return h != 0 && !FName(h).empty(); }

bool SeekTo(HMMIO h, int64_t position) {
  if (position < 0) return false;
  int32_t result = 0;
  return Quietly([&] { result = FSeek(h, position); }) && result == 0;
}

bool WriteAll(HMMIO h, const void* data, int32_t count) {
  int32_t result = 0;
  return Quietly([&] { result = FWrite(h, data, count); }) && result == 0;
}

bool ReadAll(HMMIO h, void* data, int32_t count) {
  int32_t done = 0;
  FReadCount(h, data, count, done);
  return done == count;
}

bool Matches(uint32_t flags, uint32_t wantId, uint32_t wantType, uint32_t id, uint32_t type) {
  if (flags & MMIO_FINDRIFF) return id == FOURCC_RIFF && type == wantType;
  if (flags & MMIO_FINDLIST) return id == FOURCC_LIST && type == wantType;
  if (flags & MMIO_FINDCHUNK) return id == wantId;
  return true;
}

}  // namespace

HMMIO mmioOpen(std::string_view name, uint32_t flags) {
  int32_t mode = FM_READ;
  if (flags & MMIO_CREATE)
    mode = FM_CREATE | ((flags & MMIO_WRITE) ? FM_WRITE : 0);
  else if (flags & MMIO_WRITE)
    mode = FM_WRITE;
  else if (flags & MMIO_READWRITE)
    mode = 0;
  int32_t handle = NOT_SET;
  int32_t result = 0;
  if (!Quietly([&] { result = FOpen(handle, name, mode); }) || result != 0 || handle == NOT_SET) return 0;
  return handle;
}

int32_t mmioClose(HMMIO h, uint32_t flags) {
  if (!Valid(h)) return MMIOERR_INVALIDHANDLE;
  FClose(h);
  return WarnCategory() == 6 && WarnCode() == 8 ? MMIOERR_CANNOTCLOSE : 0;
}

int32_t mmioRead(HMMIO h, void* buffer, int32_t count) {
  if (!Valid(h) || count < 0) return -1;
  int32_t done = 0;
  FReadCount(h, buffer, count, done);
  return done;
}

int32_t mmioWrite(HMMIO h, const void* buffer, int32_t count) {
  if (!Valid(h) || count < 0) return -1;
  if (count == 0) return 0;
  return WriteAll(h, buffer, count) ? count : -1;
}

int64_t mmioSeek(HMMIO h, int64_t offset, int32_t origin) {
  if (!Valid(h)) return -1;
  int64_t base = 0;
  if (origin == MMIO_SEEK_CUR)
    base = FPos(h);
  else if (origin == MMIO_SEEK_END)
    base = FSize(h);
  else if (origin != MMIO_SEEK_SET)
    return -1;
  if (base < 0) return -1;
  const int64_t target = base + offset;
  return SeekTo(h, target) ? target : -1;
}

int32_t mmioFlush(HMMIO h, uint32_t flags) { return Valid(h) ? 0 : MMIOERR_INVALIDHANDLE; }

int32_t mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags) {
  if (!Valid(h) || !ck) return MMIOERR_INVALIDHANDLE;
  const uint32_t wantId = ck->ckid, wantType = ck->fccType;
  int64_t end = FSize(h);
  if (parent) end = std::min<int64_t>(end, int64_t(parent->dwDataOffset) + parent->cksize);
  int64_t pos = FPos(h);
  if (pos < 0 || end < 0) return MMIOERR_CANNOTSEEK;
  for (;;) {
    if (pos + 8 > end || pos + 8 > int64_t(UINT32_MAX)) return MMIOERR_CHUNKNOTFOUND;
    uint8_t header[12];
    if (!ReadAll(h, header, 8)) return MMIOERR_CHUNKNOTFOUND;
    ByteReader r(header, sizeof header);
    const uint32_t id = r.u32le(), size = r.u32le();
    uint32_t type = 0;
    if (id == FOURCC_RIFF || id == FOURCC_LIST) {
      if (pos + 12 > end || !ReadAll(h, header + 8, 4)) return MMIOERR_CHUNKNOTFOUND;
      type = r.u32le();
    }
    if (Matches(flags, wantId, wantType, id, type)) {
      *ck = MMCKINFO{id, size, type, uint32_t(pos + 8), 0};
      return 0;
    }
    // RIFF pads every chunk to an even length; the pad byte is not part of the size.
    pos += 8 + int64_t(size) + (size & 1);
    if (pos > end || !SeekTo(h, pos)) return MMIOERR_CHUNKNOTFOUND;
  }
}

int32_t mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t flags) {
  if (!Valid(h) || !ck) return MMIOERR_INVALIDHANDLE;
  if (ck->dwFlags & MMIO_DIRTY) {
    const int64_t pos = FPos(h);
    if (pos < int64_t(ck->dwDataOffset) || pos - ck->dwDataOffset > int64_t(UINT32_MAX)) return MMIOERR_CANNOTSEEK;
    const uint32_t size = uint32_t(pos - ck->dwDataOffset);
    if (size != ck->cksize) {
      ByteWriter w;
      w.u32le(size);
      if (!SeekTo(h, int64_t(ck->dwDataOffset) - 4)) return MMIOERR_CANNOTSEEK;
      if (!WriteAll(h, w.bytes().data(), 4)) return MMIOERR_CANNOTWRITE;
      ck->cksize = size;
    }
    if (size & 1) {
      const uint8_t pad = 0;
      if (!SeekTo(h, pos)) return MMIOERR_CANNOTSEEK;
      if (!WriteAll(h, &pad, 1)) return MMIOERR_CANNOTWRITE;
    }
    ck->dwFlags &= ~MMIO_DIRTY;
    return SeekTo(h, pos + (size & 1)) ? 0 : MMIOERR_CANNOTSEEK;
  }
  return SeekTo(h, int64_t(ck->dwDataOffset) + ck->cksize + (ck->cksize & 1)) ? 0 : MMIOERR_CANNOTSEEK;
}

int32_t mmioCreateChunk(HMMIO h, MMCKINFO* ck, uint32_t flags) {
  if (!Valid(h) || !ck) return MMIOERR_INVALIDHANDLE;
  const int64_t pos = FPos(h);
  if (pos < 0 || pos + 12 > int64_t(UINT32_MAX)) return MMIOERR_CANNOTSEEK;
  if (flags & MMIO_CREATERIFF) ck->ckid = FOURCC_RIFF;
  if (flags & MMIO_CREATELIST) ck->ckid = FOURCC_LIST;
  const bool form = (flags & (MMIO_CREATERIFF | MMIO_CREATELIST)) != 0;
  ByteWriter w;
  w.u32le(ck->ckid);
  w.u32le(ck->cksize);
  if (form) w.u32le(ck->fccType);
  if (!WriteAll(h, w.bytes().data(), int32_t(w.size()))) return MMIOERR_CANNOTWRITE;
  ck->dwDataOffset = uint32_t(pos + 8);
  ck->dwFlags = MMIO_DIRTY;
  return 0;
}

}  // namespace rf
