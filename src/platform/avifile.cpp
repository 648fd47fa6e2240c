// AVI file library stand-in: opening and closing, the stream queries and raw chunk reads.
#include "platform/avifile.h"

#include <algorithm>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "platform/avifile_impl.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

bool Open(const AviFile& f) { return f.handle != 0 && !FName(f.handle).empty(); }

// Closes a written file; false when it did not replace its name (a lost write or a failed rename).
bool CloseWritten(AviFile& f) {
  if (!Open(f)) return false;
  bool ok = !f.failed && AviWriteFinish(f);
  if (!ok) {
    FAbandon(f.handle);
    return false;
  }
  // Closing reports a lost write or a failed rename through the register only.
  GuardedSilent("AVIFile.Close", [&] { FClose(f.handle); });
  if (!ErrNone()) {
    ok = false;
    ErrClear();
  }
  return ok;
}

bool Reading(PAVISTREAM s) { return s && !s->file->writing; }

// The chunk holding byte position at of a sound stream; searched from the last read's chunk,
// which a sequential reader hits at once.
size_t ChunkAtByte(AviStream& s, int64_t at) {
  const auto& starts = s.byteStarts;
  size_t i = std::min(s.cursor, s.chunks.size() - 1);
  if (starts[i] <= at && at < starts[i + 1]) return i;
  if (i + 1 < s.chunks.size() && starts[i + 1] <= at && at < starts[i + 2]) return i + 1;
  return size_t(std::upper_bound(starts.begin(), starts.end(), at) - starts.begin()) - 1;
}

// Sound of a sample size is a byte stream across its chunks: samples from start, as many as asked
// (or as fit), up to the end.
int32_t ReadSamples(AviStream& s, int32_t start, int32_t samples, void* buffer, int32_t room, int32_t* bytes,
                    int32_t* done) {
  const int64_t unit = s.info.dwSampleSize, total = s.byteStarts.back() / unit;
  int64_t count = std::min<int64_t>(total - start, samples >= 0 ? samples : INT32_MAX / unit);
  size_t i = ChunkAtByte(s, start * unit);
  if (samples < 0) {
    // Convenient: what fits, or without a buffer the rest of the chunk.
    const int64_t limit = buffer ? room / unit : std::max<int64_t>(1, (s.byteStarts[i + 1] - start * unit) / unit);
    count = std::min(count, limit);
  }
  if (bytes) *bytes = int32_t(count * unit);
  if (done) *done = int32_t(count);
  if (!buffer) return AVIERR_OK;
  if (count < 1 || count * unit > room) {
    if (bytes) *bytes = int32_t(std::max<int64_t>(count, 1) * unit);
    if (done) *done = 0;
    return AVIERR_BUFFERTOOSMALL;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  for (int64_t at = start * unit, end = at + count * unit; at < end; ++i) {
    const int64_t skip = at - s.byteStarts[i], n = std::min(end - at, s.byteStarts[i + 1] - at);
    if (!AviReadAt(*s.file, s.chunks[i].offset + skip, out, n))
      return AviFail(AVIERR_FILEREAD, "a chunk cannot be read");
    out += n;
    at += n;
    s.cursor = i;
  }
  return AVIERR_OK;
}

// Video, and sound without a sample size: one chunk is one sample.
int32_t ReadChunk(AviStream& s, int32_t start, void* buffer, int32_t room, int32_t* bytes, int32_t* done) {
  const AviChunk& c = s.chunks[size_t(start)];
  if (bytes) *bytes = int32_t(c.size);
  if (done) *done = 1;
  if (!buffer) return AVIERR_OK;
  if (int64_t(c.size) > room) {
    if (done) *done = 0;
    return AVIERR_BUFFERTOOSMALL;
  }
  return AviReadAt(*s.file, c.offset, buffer, c.size) ? AVIERR_OK : AviFail(AVIERR_FILEREAD, "a chunk cannot be read");
}

}  // namespace

int32_t AviFail(int32_t result, std::string_view reason) {
  LibMessage("avifile", LibLevel::Error, reason);
  return result;
}

bool AviReadAt(const AviFile& f, int64_t pos, void* buffer, int64_t count) {
  if (pos < 0 || count < 0 || count > INT32_MAX || pos + count > f.fileSize) return false;
  if (count == 0) return true;
  if (FSeek(f.handle, pos) != 0) return false;
  int32_t done = 0;
  FReadCount(f.handle, buffer, int32_t(count), done);
  return done == count;
}

int32_t AVIFileOpen(PAVIFILE* file, std::string_view name, uint32_t mode) {
  if (!file) return AVIERR_BADPARAM;
  *file = nullptr;
  const bool create = (mode & OF_CREATE) != 0;
  if (create && !(mode & OF_WRITE)) return AVIERR_BADPARAM;
  auto f = std::make_unique<AviFile>();
  f->writing = create;
  int32_t handle = 0;
  if (AviUnraised([&] { return FOpen(handle, name, create ? FM_CREATE | FM_WRITE : FM_READ); }) != 0)
    return AviFail(AVIERR_FILEOPEN, "the file cannot be opened");
  f->handle = handle;
  if (!create) {
    f->fileSize = FSize(f->handle);
    if (const int32_t r = AviReadHeaders(*f); r != AVIERR_OK) {
      FClose(f->handle);
      return r;
    }
  }
  *file = f.release();
  return AVIERR_OK;
}

int32_t AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, int32_t size) {
  if (!file || !info || size < 0) return AVIERR_BADPARAM;
  std::memcpy(info, &file->info, size_t(std::min<int32_t>(size, sizeof(AVIFILEINFO))));
  return AVIERR_OK;
}

int32_t AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t type, int32_t index) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  if (!file) return AVIERR_BADHANDLE;
  for (const auto& s : file->streams)
    if ((type == 0 || s->info.fccType == type) && index-- == 0) {
      *stream = s.get();
      return AVIERR_OK;
    }
  return AVIERR_NODATA;
}

int32_t AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  if (!file || !info) return AVIERR_BADPARAM;
  if (!file->writing) return AVIERR_READONLY;
  return AviWriteCreateStream(*file, *info, stream);
}

int32_t AVIFileRelease(PAVIFILE file) {
  if (!file) return AVIERR_BADHANDLE;
  std::unique_ptr<AviFile> f(file);
  if (f->writing) return CloseWritten(*f) ? AVIERR_OK : AVIERR_FILEWRITE;
  if (Open(*f)) FClose(f->handle);
  return AVIERR_OK;
}

void AVIFileAbandon(PAVIFILE file) {
  if (!file) return;
  std::unique_ptr<AviFile> f(file);
  if (!Open(*f)) return;
  if (f->writing)
    FAbandon(f->handle);
  else
    FClose(f->handle);
}

AviIndexKind AVIFileIndexKind(PAVIFILE file) { return file ? file->indexKind : AviIndexKind::Scan; }

void AVIFileSetPartLimit(PAVIFILE file, int64_t bytes) {
  if (file && bytes > 0) file->partLimit = bytes;
}

int32_t AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size) {
  if (!stream || !info || size < 0) return AVIERR_BADPARAM;
  AVISTREAMINFO copy = stream->info;
  if (stream->file->writing) {
    copy.dwLength = uint32_t(stream->length);
    copy.dwSuggestedBufferSize = std::max(copy.dwSuggestedBufferSize, stream->largest);
  }
  std::memcpy(info, &copy, size_t(std::min<int32_t>(size, sizeof(AVISTREAMINFO))));
  return AVIERR_OK;
}

int32_t AVIStreamReadFormat(PAVISTREAM stream, int32_t, void* format, int32_t* size) {
  if (!stream || !size) return AVIERR_BADPARAM;
  const auto have = int32_t(stream->format.size());
  if (format) std::memcpy(format, stream->format.data(), size_t(std::clamp(*size, 0, have)));
  *size = format ? std::clamp(*size, 0, have) : have;
  return AVIERR_OK;
}

int32_t AVIStreamLength(PAVISTREAM stream) {
  if (!stream) return -1;
  return stream->file->writing ? int32_t(stream->length) : int32_t(stream->info.dwLength);
}

int32_t AVIStreamRead(PAVISTREAM stream, int32_t start, int32_t samples, void* buffer, int32_t bufferSize,
                      int32_t* bytes, int32_t* samplesRead) {
  if (bytes) *bytes = 0;
  if (samplesRead) *samplesRead = 0;
  if (!Reading(stream)) return stream ? AVIERR_UNSUPPORTED : AVIERR_BADHANDLE;
  if (start < 0 || bufferSize < 0 || samples < AVISTREAMREAD_CONVENIENT) return AVIERR_BADPARAM;
  if (uint32_t(start) >= stream->info.dwLength || samples == 0) return AVIERR_OK;
  if (!stream->byteStarts.empty()) return ReadSamples(*stream, start, samples, buffer, bufferSize, bytes, samplesRead);
  return ReadChunk(*stream, start, buffer, bufferSize, bytes, samplesRead);
}

bool AVIStreamIsKeyFrame(PAVISTREAM stream, int32_t pos) {
  if (!Reading(stream) || pos < 0) return false;
  return std::binary_search(stream->keyFrames.begin(), stream->keyFrames.end(), pos);
}

int32_t AVIStreamNearestKeyFrame(PAVISTREAM stream, int32_t pos) {
  if (!Reading(stream) || pos <= 0) return 0;
  const auto& keys = stream->keyFrames;
  const auto it = std::upper_bound(keys.begin(), keys.end(), pos);
  return it == keys.begin() ? 0 : *(it - 1);
}

int32_t AVIStreamSetFormat(PAVISTREAM stream, int32_t, const void* format, int32_t size) {
  if (!stream || !format || size < 1) return AVIERR_BADPARAM;
  if (!stream->file->writing) return AVIERR_READONLY;
  return AviWriteFormat(*stream, format, size);
}

int32_t AVIStreamWrite(PAVISTREAM stream, int32_t start, int32_t samples, const void* buffer, int32_t size,
                       uint32_t flags, int32_t* samplesWritten, int32_t* bytesWritten) {
  if (samplesWritten) *samplesWritten = 0;
  if (bytesWritten) *bytesWritten = 0;
  if (!stream) return AVIERR_BADHANDLE;
  if (!stream->file->writing) return AVIERR_READONLY;
  if ((start != -1 && start != stream->length) || size < 0 || (size > 0 && !buffer) || samples < 0)
    return AVIERR_BADPARAM;
  const int32_t r = AviWriteChunk(*stream, buffer, size, flags, samplesWritten);
  if (r == AVIERR_OK && bytesWritten) *bytesWritten = size;
  return r;
}

}  // namespace rf
