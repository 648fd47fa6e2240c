// WAV reader and writer on the RIFF stand-in; compressed sound is decoded through the loader.
#include "formats/ff_wav.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "platform/acm.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

constexpr uint32_t kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr uint32_t kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr uint32_t kData = mmioFOURCC('d', 'a', 't', 'a');

// Skipped chunks are read in pieces of this size, so a huge chunk costs no huge block.
constexpr int32_t kExtraPiece = 65536;
// A format chunk is the 18-byte record and at most 65535 extra bytes.
constexpr uint32_t kMaxFormatChunk = 18 + 65535;
// Stored formats beyond these are damaged files, not sound.
constexpr uint32_t kMaxRate = 1000000;

// The name the movie units give a stored format tag.
std::string AudioName(uint16_t tag) {
  std::string name = "(#" + std::to_string(tag) + ") ";
  if (tag == WAVE_FORMAT_PCM) return name + "PCM, uncompressed";
  const std::string known = acmFormatTagName(tag);
  return name + (known.empty() ? "Unknown codec" : known);
}

int64_t FileSize(HMMIO file) { return std::max<int64_t>(0, FSize(file)); }

// A chunk whose size runs past the end of the file is cut there: a truncated recording keeps the
// sound it has.
void ClampToFile(HMMIO file, MMCKINFO& ck) {
  const int64_t room = FileSize(file) - int64_t(ck.dwDataOffset);
  if (int64_t(ck.cksize) > room) ck.cksize = uint32_t(std::max<int64_t>(0, room));
}

bool PlainPcmShape(const WaveFormatEx& f) {
  const uint16_t bits = f.bitsPerSample;
  return (bits == 8 || bits == 16 || bits == 24 || bits == 32) && f.blockAlign == uint32_t(f.channels) * (bits / 8);
}

// Gives up a writer after a failure: the half-written file is closed and removed.
void AbandonWriter(QWavHandle& wf) {
  const ErrLockScope lock;
  FAbandon(wf.file);
  MemFree(wf.sl.InFormat);
  MemFree(wf.sl.SndData);
  wf = QWavHandle{};
}

// Decodes the first stored blocks to learn how many frames one block gives. Several blocks are
// measured, not one: a codec whose frames do not fill its blocks exactly (MPEG audio stores a
// byte stream) averages out, and a block codec gives the same count either way.
void MeasureBlock(QWavHandle& wf, uint8_t*& stored, uint8_t*& pcm) {
  const WaveFormatEx& in = *wf.sl.InFormat;
  WaveFormatEx& decoded = wf.sl.decodedFormat;
  if (wf.sl.unitsTotal < 1 || !WaveFormatValidate(decoded)) return;
  if (mmioSeek(wf.file, wf.dataChunk.dwDataOffset, MMIO_SEEK_SET) != wf.dataChunk.dwDataOffset) WAVAbort_(wf);
  const int32_t blocks = std::min(wf.sl.unitsTotal, std::clamp(16384 / int32_t(in.blockAlign), 1, 64));
  const int32_t bytes = blocks * in.blockAlign;
  _memalloc_(stored, bytes, MEM_RESIZE, "FF_WAV.WAVOpen.cmpsBuf");
  if (mmioRead(wf.file, stored, bytes) != bytes) ErrSet(13, 3);
  // Room for what the header's rates promise, with slack; a damaged header gets no more than
  // its bytes could ever decode to.
  const double promised = double(bytes) * decoded.avgBytesPerSec / std::max<uint32_t>(1, in.avgBytesPerSec) * 1.5;
  const int32_t room = int32_t(std::clamp(promised, 65536.0, double(bytes) * 256));
  _memalloc_(pcm, room, MEM_RESIZE, "FF_WAV.WAVOpen.pcmBuf");
  int32_t produced = 0;
  WaveConvertReset(wf.sl.InFormat, &decoded);
  WaveConvert(stored, pcm, bytes, room, produced, wf.sl.InFormat, &decoded);
  WaveConvertReset(wf.sl.InFormat, &decoded);
  // A decoder that refused every block said why: the file is damaged, not of an unknown kind.
  const std::string refusal = produced == 0 ? LibTakeReason() : std::string();
  if (!refusal.empty()) ErrSetText(1, refusal);
  MemFree(stored);
  MemFree(pcm);
  wf.framesPerBlock = produced / decoded.blockAlign / blocks;
  // The header's byte rate only estimates buffer sizes; the measured one is exact.
  if (wf.framesPerBlock > 0)
    wf.sl.InFormat->avgBytesPerSec =
        uint32_t(std::max(1.0, std::nearbyint(double(in.samplesPerSec) * in.blockAlign / wf.framesPerBlock)));
}

}  // namespace

int32_t FindChunkAndKeepExtras_(HMMIO file, MMCKINFO& ck, const MMCKINFO* parent, uint32_t flags) {
  int32_t result = 0;
  Guarded("FF_WAV.FindChunkAndKeepExtras_", [&] {
    for (;;) {
      MMCKINFO next{};
      result = mmioDescend(file, &next, parent, 0);
      if (result != 0) {
        if (flags == 0 && result == MMIOERR_CHUNKNOTFOUND) result = 0;
        return;
      }
      const bool match = (flags & MMIO_FINDRIFF)    ? next.ckid == FOURCC_RIFF && next.fccType == ck.fccType
                         : (flags & MMIO_FINDLIST)  ? next.ckid == FOURCC_LIST && next.fccType == ck.fccType
                         : (flags & MMIO_FINDCHUNK) ? next.ckid == ck.ckid
                                                    : true;
      if (match) {
        ck = next;
        return;
      }
      ReadIntoExtra_(file, next);
      // RIFF pads a chunk of odd size with one byte that its size does not count.
      if ((next.cksize & 1) && mmioSeek(file, 1, MMIO_SEEK_CUR) < 0) ErrSet(13, 5);
    }
  });
  return result;
}

void ReadIntoExtra_(HMMIO file, const MMCKINFO& ck) {
  uint8_t* extra = nullptr;
  Guarded("FF_WAV.ReadIntoExtra_", [&] {
    if (mmioSeek(file, ck.dwDataOffset, MMIO_SEEK_SET) != ck.dwDataOffset) ErrSet(13, 3);
    // A size past the end of the file is a short read: say so before allocating anything.
    if (int64_t(ck.cksize) > FileSize(file) - int64_t(ck.dwDataOffset)) ErrSet(13, 3);
    int64_t left = ck.cksize;
    if (left == 0) return;
    const int32_t piece = int32_t(std::min<int64_t>(left, kExtraPiece));
    _memalloc_(extra, piece, MEM_RESIZE, "FF_WAV.ReadIntoExtra_.extra");
    while (left > 0) {
      const int32_t n = int32_t(std::min<int64_t>(left, piece));
      if (mmioRead(file, extra, n) != n) ErrSet(13, 3);
      left -= n;
    }
    MemFree(extra);
  });
}

void WAVAbort_(QWavHandle& wf) {
  if (wf.file) mmioClose(wf.file, 0);
  MemFree(wf.sl.InFormat);
  MemFree(wf.sl.SndData);
  wf = QWavHandle{};
  ErrSet(13, 1);
}

void WAVOpen(QWavHandle& wf, std::string_view name) {
  uint8_t* stored = nullptr;
  uint8_t* pcm = nullptr;
  Guarded("FF_WAV.WAVOpen", [&] {
    wf = QWavHandle{};
    MonSetCleanup([&] { wf = QWavHandle{}; });
    wf.file = mmioOpen(name, MMIO_READ);
    if (!wf.file) ErrSet(13, 1);

    MMCKINFO riff{};
    if (mmioDescend(wf.file, &riff, nullptr, 0) != 0 || riff.ckid != FOURCC_RIFF || riff.fccType != kWave)
      WAVAbort_(wf);
    ClampToFile(wf.file, riff);

    MMCKINFO fmt{};
    fmt.ckid = kFmt;
    if (FindChunkAndKeepExtras_(wf.file, fmt, &riff, MMIO_FINDCHUNK) != 0) WAVAbort_(wf);
    if (fmt.cksize < 16 || fmt.cksize > kMaxFormatChunk ||
        int64_t(fmt.cksize) > FileSize(wf.file) - int64_t(fmt.dwDataOffset))
      WAVAbort_(wf);
    wf.sl.inFormatSize = int32_t(fmt.cksize);
    _memalloc_(wf.sl.InFormat, std::max<int32_t>(fmt.cksize, sizeof(WaveFormatEx)), MEM_RESIZE,
               "FF_WAV.WAVOpen.wf.sl.InFormat");
    if (mmioRead(wf.file, wf.sl.InFormat, int32_t(fmt.cksize)) != int32_t(fmt.cksize)) WAVAbort_(wf);
    WaveFormatEx& in = *wf.sl.InFormat;
    // The extra bytes are the ones the chunk holds, whatever the record claims.
    in.extraSize = uint16_t(std::min<uint32_t>(in.extraSize, fmt.cksize >= 18 ? fmt.cksize - 18 : 0));
    if (fmt.cksize < 18) in.extraSize = 0;
    if (mmioAscend(wf.file, &fmt, 0) != 0) WAVAbort_(wf);

    MMCKINFO data{};
    data.ckid = kData;
    if (FindChunkAndKeepExtras_(wf.file, data, &riff, MMIO_FINDCHUNK) != 0) WAVAbort_(wf);
    ClampToFile(wf.file, data);
    if (mmioAscend(wf.file, &data, 0) != 0) WAVAbort_(wf);
    wf.dataChunk = data;

    if (in.channels == 0 || in.samplesPerSec == 0 || in.samplesPerSec > kMaxRate || in.blockAlign == 0) WAVAbort_(wf);
    if (in.formatTag == WAVE_FORMAT_PCM && !PlainPcmShape(in)) WAVAbort_(wf);
    wf.sl.unitsTotal = int32_t(std::min<uint32_t>(data.cksize / in.blockAlign, INT32_MAX));
    if (in.avgBytesPerSec < 1)
      in.avgBytesPerSec = uint32_t(std::min<uint64_t>(uint64_t(in.samplesPerSec) * in.blockAlign, UINT32_MAX));

    if (in.formatTag == WAVE_FORMAT_PCM) {
      wf.sl.decodedFormat = in;
      wf.sl.decodedFormat.extraSize = 0;
      wf.framesPerBlock = 1;
    } else {
      wf.sl.decodedFormat = WaveFormatEx{};
      wf.sl.decodedFormat.formatTag = WAVE_FORMAT_PCM;
      if (acmFormatSuggest(wf.sl.InFormat, &wf.sl.decodedFormat, sizeof(WaveFormatEx), ACM_FORMATSUGGESTF_WFORMATTAG) !=
          0)
        return;
      MeasureBlock(wf, stored, pcm);
      if (wf.framesPerBlock < 1) return;
    }
    const int64_t frames = int64_t(wf.sl.unitsTotal) * wf.framesPerBlock;
    if (frames > INT32_MAX) wf.sl.unitsTotal = INT32_MAX / wf.framesPerBlock;
    wf.totalFrames = wf.sl.unitsTotal * wf.framesPerBlock;
    if (!WaveFormatValidate(wf.sl.decodedFormat)) return;
    wf.readable = RF_TRUE;
    if (mmioSeek(wf.file, data.dwDataOffset, MMIO_SEEK_SET) != data.dwDataOffset) ErrSet(13, 5);
  });
}

void WAVInfo(std::string_view name, QffInfo& info) {
  QWavHandle wf;
  Guarded("FF_WAV.WAVInfo", [&] {
    int32_t handle = NOT_SET;
    FOpen(handle, name, FM_READ);
    info.fileSize = FSize(handle);
    FClose(handle);
    WAVOpen(wf, name);
    info.format = FF_WAV_ID;
    QAudioBlock& a = info.audio;
    a.storedFormat = *wf.sl.InFormat;
    a.decodedFormat = wf.sl.decodedFormat;
    a.hasAudio = wf.sl.unitsTotal > 0 ? RF_TRUE : RF_FALSE;
    a.frames = wf.totalFrames;
    a.compression = AudioName(wf.sl.InFormat->formatTag);
    a.audioReadable = wf.readable ? RF_TRUE : RF_FALSE;
    WAVClose(wf);
  });
}

void WAVSeek(QWavHandle& wf, int32_t frame) {
  QSndBuf skipped;
  Guarded("FF_WAV.WAVSeek", [&] {
    if (wf.writing || !wf.file || !wf.readable) return;
    const int32_t position = std::clamp(frame, 0, std::max(0, wf.totalFrames - 1));
    // Land on the stored block that holds the frame (or, for a decoder with memory, a few
    // blocks earlier), then decode and drop the frames before it.
    const int32_t block = std::max(0, position / wf.framesPerBlock - acmPrerollBlocks(wf.sl.InFormat));
    const int32_t drop = position - block * wf.framesPerBlock;
    const int64_t offset = int64_t(wf.dataChunk.dwDataOffset) + int64_t(block) * wf.sl.InFormat->blockAlign;
    if (mmioSeek(wf.file, offset, MMIO_SEEK_SET) != offset) ErrSet(13, 5);
    wf.sl.unitsRead = block;
    wf.sl.held = wf.sl.delivered = 0;
    wf.sl.endReached = RF_FALSE;
    WaveConvertReset(wf.sl.InFormat, &wf.sl.decodedFormat);
    wf.position = position;
    if (drop > 0) {
      SndLoad(&wf, wf.sl, skipped, WAVLoad_, drop);
      SndFree(skipped);
    }
  });
}

void WAVLoad(QWavHandle& wf, QSndBuf& buffer, int32_t first, int32_t flags, int32_t frames) {
  Guarded("FF_WAV.WAVLoad", [&] {
    if (wf.writing || !wf.file) {
      buffer.count = 0;
      return;
    }
    if (!wf.readable) ErrSet(8, 4);
    if (!(flags & 1) || wf.position != first) WAVSeek(wf, first);
    buffer.count = 0;
    if (wf.sl.endReached && wf.sl.held - wf.sl.delivered <= 0) return;
    SndLoad(&wf, wf.sl, buffer, WAVLoad_, frames);
    wf.position += buffer.count;
  });
}

bool WAVLoad_(void* handle, uint8_t*& raw, int32_t wanted, int32_t& bytesRead, int32_t& unitsRead) {
  auto& wf = *static_cast<QWavHandle*>(handle);
  bool full = false;
  bytesRead = unitsRead = 0;
  Guarded("FF_WAV.WAVLoad_", [&] {
    const int32_t align = wf.sl.InFormat->blockAlign;
    const int32_t left = wf.sl.unitsTotal - wf.sl.unitsRead;
    if (left < 1) return;
    // Whole stored blocks of the 'data' chunk only: chunks after it are not sound.
    const int32_t blocks = std::min(std::max(1, wanted / align), left);
    const int32_t request = int32_t(std::min<int64_t>(int64_t(blocks) * align, INT32_MAX / 2));
    _memalloc_(raw, request, MEM_RESIZE, "FF_WAV.WAVLoad_.temp_buf");
    const int32_t got = mmioRead(wf.file, raw, request);
    if (got < 1) ErrSet(13, 3);
    bytesRead = got;
    unitsRead = got / align;
    full = got == request;
  });
  return full;
}

void WAVCreate(QWavHandle& wf, std::string_view name) {
  Guarded("FF_WAV.WAVCreate", [&] {
    wf = QWavHandle{};
    wf.file = mmioOpen(name, MMIO_CREATE | MMIO_WRITE);
    if (!wf.file) ErrSet(13, 2);
    wf.writing = RF_TRUE;
  });
}

void WAVSave(QWavHandle& wf, const QSndBuf& buffer) {
  QSndBuf converted;
  Guarded("FF_WAV.WAVSave", [&] {
    if (!wf.writing || !wf.file) return;
    MonSetCleanup([&] { AbandonWriter(wf); });
    if (!wf.headerReserved) {
      WaveFormatEx format = buffer.format;
      format.extraSize = 0;
      if (format.formatTag != WAVE_FORMAT_PCM || !WaveFormatValidate(format)) ErrSet(8, 4);
      wf.sl.decodedFormat = format;
      wf.dataChunk = MMCKINFO{kData, 0, 0, uint32_t(WAV_HEADER_SIZE), 0};
      if (mmioSeek(wf.file, WAV_HEADER_SIZE, MMIO_SEEK_SET) != WAV_HEADER_SIZE) ErrSet(13, 5);
      wf.headerReserved = RF_TRUE;
    }
    // Every buffer is written in the file's format, the first buffer's.
    const QSndBuf* source = &buffer;
    if (buffer.count > 0 && !WaveFormatEqual(buffer.format, wf.sl.decodedFormat)) {
      SndConvert(buffer, converted, wf.sl.decodedFormat);
      source = &converted;
    }
    const int64_t bytes = int64_t(std::max(0, source->count)) * wf.sl.decodedFormat.blockAlign;
    if (bytes > 0) {
      // The RIFF size must still fit 32 bits with the header and a pad byte.
      if (int64_t(wf.dataChunk.cksize) + bytes > int64_t(UINT32_MAX) - WAV_HEADER_SIZE) ErrSet(13, 4);
      if (mmioWrite(wf.file, source->SndData, int32_t(bytes)) != bytes) ErrSet(13, 4);
      wf.position += source->count;
      wf.dataChunk.cksize += uint32_t(bytes);
    }
    SndFree(converted);
  });
}

void WAVClose(QWavHandle& wf) {
  Guarded("FF_WAV.WAVClose", [&] {
    // A guarded block that failed may have closed the file and freed the blocks already.
    if (!wf.file || FName(wf.file).empty()) {
      MemFree(wf.sl.InFormat);
      MemFree(wf.sl.SndData);
      wf = QWavHandle{};
      return;
    }
    if (wf.writing) {
      MonSetCleanup([&] { AbandonWriter(wf); });
      if (mmioSeek(wf.file, 0, MMIO_SEEK_SET) != 0) ErrSet(13, 5);
      MMCKINFO riff{};
      riff.fccType = kWave;
      int32_t r = mmioCreateChunk(wf.file, &riff, MMIO_CREATERIFF);
      if (r != 0) ErrSet(20, r);
      MMCKINFO fmt{kFmt, 18, 0, 0, 0};
      if ((r = mmioCreateChunk(wf.file, &fmt, 0)) != 0) ErrSet(20, r);
      const WaveFormatEx& f = wf.sl.decodedFormat;
      ByteWriter w;
      w.u16le(f.formatTag);
      w.u16le(f.channels);
      w.u32le(f.samplesPerSec);
      w.u32le(f.avgBytesPerSec);
      w.u16le(f.blockAlign);
      w.u16le(f.bitsPerSample);
      w.u16le(0);
      if (mmioWrite(wf.file, w.bytes().data(), int32_t(w.size())) != int32_t(w.size())) ErrSet(13, 4);
      if ((r = mmioAscend(wf.file, &fmt, 0)) != 0) ErrSet(20, r);
      MMCKINFO data{kData, wf.dataChunk.cksize, 0, 0, 0};
      if ((r = mmioCreateChunk(wf.file, &data, 0)) != 0) ErrSet(20, r);
      if (mmioSeek(wf.file, data.cksize, MMIO_SEEK_CUR) < 0) ErrSet(20, MMIOERR_CANNOTSEEK);
      if ((r = mmioAscend(wf.file, &data, 0)) != 0) ErrSet(20, r);
      if ((r = mmioAscend(wf.file, &riff, 0)) != 0) ErrSet(20, r);
      if ((r = mmioFlush(wf.file, 0)) != 0) ErrSet(20, r);
    } else if (wf.sl.InFormat) {
      WaveConvertReset(wf.sl.InFormat, &wf.sl.decodedFormat);
    }
    const int32_t r = mmioClose(wf.file, 0);
    wf.file = 0;
    MemFree(wf.sl.InFormat);
    MemFree(wf.sl.SndData);
    wf = QWavHandle{};
    if (r != 0) ErrSet(20, r);
  });
}

}  // namespace rf
