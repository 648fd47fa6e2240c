// AVI reader and writer: streams through the AVI file stand-in, frames through the video
// compressors (uncompressed frames copied directly), sound through the buffered loader.
#include "formats/ff_avi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/ffbasic.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "image/imgdib.h"
#include "platform/acm.h"
#include "platform/vcodec.h"

namespace rf {

// Turns stored video chunks into pictures: uncompressed frames are taken as they are, others go
// through their decompressor from the nearest key frame.
struct AviFrameDecoder {
  PAVISTREAM stream = nullptr;
  DibFormat format;
  DibInfo info;
  HIC hic = nullptr;
  int32_t decoded = -1;  // the frame the decompressor last decoded
  std::vector<uint8_t> chunk;

  ~AviFrameDecoder() {
    if (hic) {
      ICDecompressEnd(hic);
      ICClose(hic);
    }
  }
};

// The compressor of a stream being written; none for uncompressed frames.
struct AviFrameEncoder {
  HIC hic = nullptr;
  bool begun = false;
  std::vector<uint8_t> out;

  ~AviFrameEncoder() {
    if (!hic) return;
    if (begun) ICCompressEnd(hic);
    ICClose(hic);
  }
};

namespace {

void Check10(int32_t result) {
  if (result != AVIERR_OK) ErrSet(10, result);
}

DibInfo InfoOf(const DibHeader& h) {
  DibInfo i;
  i.size = h.size;
  i.width = h.width;
  i.height = h.height;
  i.planes = h.planes;
  i.bitCount = h.bitCount;
  i.compression = h.compression;
  i.sizeImage = h.sizeImage;
  i.clrUsed = h.clrUsed;
  return i;
}

bool RawFrames(const DibHeader& h) {
  return h.compression == BI_RGB && (h.bitCount == 8 || h.bitCount == 16 || h.bitCount == 24 || h.bitCount == 32);
}

// One stored chunk of the video stream into d.chunk; false when it cannot be read.
bool ReadChunk(AviFrameDecoder& d, int32_t pos) {
  int32_t bytes = 0, samples = 0;
  if (AVIStreamRead(d.stream, pos, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK || bytes < 0) return false;
  d.chunk.resize(size_t(bytes));
  if (bytes == 0) return true;
  return AVIStreamRead(d.stream, pos, 1, d.chunk.data(), bytes, &bytes, &samples) == AVIERR_OK;
}

// An uncompressed frame; an empty chunk (a dropped frame) repeats the frame before it.
bool RawFrame(AviFrameDecoder& d, Qimg& img, int32_t pos) {
  for (int32_t at = pos; at >= 0; --at) {
    if (!ReadChunk(d, at)) return false;
    if (d.chunk.empty()) continue;
    const uint8_t* colours = d.format.extra.size() >= size_t(DIB_PALETTE_SIZE) ? d.format.extra.data() : nullptr;
    uint8_t grey[DIB_PALETTE_SIZE];
    if (!colours && d.info.bitCount == 8) {
      for (int32_t i = 0; i < DIB_PALETTE_SIZE; ++i) grey[i] = (i & 3) == 3 ? 0 : uint8_t(i / 4);
      colours = grey;
    }
    DibRowsToQimg(img, d.info, colours, d.chunk.data(), int64_t(d.chunk.size()));
    return true;
  }
  return false;
}

// A compressed frame: decoding goes on from the frame decoded last when no key frame lies
// between, else starts again at the key frame before pos.
bool CodecFrame(AviFrameDecoder& d, Qimg& img, int32_t pos) {
  const int32_t key = AVIStreamNearestKeyFrame(d.stream, pos);
  int32_t from = d.decoded + 1;
  if (d.decoded < key - 1 || d.decoded >= pos) {
    ICDecompressReset(d.hic);
    from = key;
  }
  const PackedDib* out = nullptr;
  for (int32_t at = from; at <= pos; ++at) {
    if (!ReadChunk(d, at)) return false;
    d.decoded = at;
    const uint32_t flags = at < pos ? ICDECOMPRESS_HURRYUP : 0;
    out = nullptr;
    const int32_t r = ICDecompress(d.hic, flags, d.chunk.data(), uint32_t(d.chunk.size()), &out);
    if (r < 0) {
      d.decoded = -1;
      return false;
    }
  }
  if (!out) return false;
  DibRowsToQimg(img, InfoOf(out->header), out->palette, out->bits.data(), int64_t(out->bits.size()));
  return true;
}

bool DecodeFrame(AviFrameDecoder& d, Qimg& img, int32_t pos) {
  return d.hic ? CodecFrame(d, img, pos) : RawFrame(d, img, pos);
}

// A decoder for the stream's stored format; nullptr when no decompressor reads it.
AviFrameDecoder* OpenDecoder(PAVISTREAM stream, const DibFormat& format, uint32_t handler) {
  auto* d = new AviFrameDecoder;
  d->stream = stream;
  d->format = format;
  d->info = InfoOf(format.header);
  d->info.size = DIB_HEADER_SIZE;
  if (RawFrames(format.header)) return d;
  d->hic = ICLocateDecompressor(format, handler);
  if (d->hic && ICDecompressBegin(d->hic, format, 0) == ICERR_OK) return d;
  delete d;
  return nullptr;
}

void CloseDecoder(QAviHandle& af) {
  delete af.decoder;
  af.decoder = nullptr;
}

void CloseEncoder(QAviHandle& af) {
  delete af.encoder;
  af.encoder = nullptr;
}

// Decodes frame 0 to learn the picture the stream delivers; without a decoder that can, the
// video stays described by its stored format but is not readable.
void OpenVideo(QAviHandle& af) {
  Check10(AVIStreamInfo(af.video, &af.videoInfo, int32_t(sizeof af.videoInfo)));
  int32_t size = 0;
  Check10(AVIStreamReadFormat(af.video, 0, nullptr, &size));
  if (size < DIB_HEADER_SIZE) ErrSet(9, 5);
  _memalloc_(af.videoFormat, size, MEM_RESIZE, "FF_AVI.AviOpen.af.videoFormat");
  Check10(AVIStreamReadFormat(af.video, 0, af.videoFormat, &size));
  af.videoFormatSize = size;
  DibFormat format;
  if (!DibFormatParse(af.videoFormat, size_t(size), format)) ErrSet(9, 5);
  af.frameRate = af.videoInfo.dwScale ? double(af.videoInfo.dwRate) / af.videoInfo.dwScale : 0;
  af.frames = AVIStreamLength(af.video);
  if (af.frames < 1) ErrSet(9, 5);
  af.width = format.header.width;
  af.height = std::abs(format.header.height);
  af.bpp = format.header.bitCount == 16 ? 15 : format.header.bitCount;
  af.decoder = OpenDecoder(af.video, format, af.videoInfo.fccHandler);
  Qimg first;
  bool decoded = false;
  if (af.decoder) {
    GuardedSilent("FF_AVI.AviOpen.firstFrame", [&] { decoded = DecodeFrame(*af.decoder, first, 0); });
    ErrClear();
  }
  if (decoded) {
    af.width = first.width;
    af.height = first.height;
    af.bpp = first.bpp;
  } else {
    CloseDecoder(af);
    af.video = nullptr;
  }
  ImgFree(first);
  af.bytesPerPixel = (af.bpp + 7) / 8;
}

// Bytes of one stored sound unit as the stream counts them (the sample size, else a chunk).
bool CountsChunks(const QAviHandle& af) {
  return af.soundInfo.dwSampleSize == 0 || af.sl.InFormat->blockAlign % af.soundInfo.dwSampleSize != 0;
}

// Stream units (samples of the stream's sample size, or chunks) in one stored block.
int32_t UnitsPerBlock(const QAviHandle& af) {
  return CountsChunks(af) ? 1 : int32_t(af.sl.InFormat->blockAlign / af.soundInfo.dwSampleSize);
}

// The loader's read callback: whole stored blocks from the next one on.
bool SoundRead(void* handle, uint8_t*& raw, int32_t wanted, int32_t& bytesRead, int32_t& unitsRead) {
  auto& af = *static_cast<QAviHandle*>(handle);
  bool full = false;
  bytesRead = unitsRead = 0;
  Guarded("FF_AVI.AviSndLoad_", [&] {
    const int32_t left = af.sl.unitsTotal - af.sl.unitsRead;
    if (left < 1) return;
    const int32_t align = af.sl.InFormat->blockAlign;
    const int32_t blocks = CountsChunks(af) ? 1 : std::clamp(wanted / align, 1, left);
    const int32_t per = UnitsPerBlock(af);
    const int32_t start = af.sl.unitsRead * per;
    int32_t bytes = 0, samples = 0;
    Check10(AVIStreamRead(af.sound, start, blocks * per, nullptr, 0, &bytes, &samples));
    if (bytes < 1) return;
    _memalloc_(raw, bytes, MEM_RESIZE, "FF_AVI.AviSndLoad_.temp_buf");
    Check10(AVIStreamRead(af.sound, start, blocks * per, raw, bytes, &bytes, &samples));
    bytesRead = bytes;
    unitsRead = std::max(1, samples / per);
    full = unitsRead == blocks;
  });
  return full;
}

// Decodes the first stored block to learn how many sample frames one block gives.
int32_t MeasureBlock(QAviHandle& af) {
  uint8_t* pcm = nullptr;
  uint8_t* stored = nullptr;
  int32_t frames = 0;
  Guarded("FF_AVI.AviOpen.measure", [&] {
    const WaveFormatEx& decoded = af.sl.decodedFormat;
    int32_t bytes = 0, units = 0;
    const int32_t keep = af.sl.unitsRead;
    SoundRead(&af, stored, 1, bytes, units);
    af.sl.unitsRead = keep;
    if (bytes < 1) return;
    const int32_t room = int32_t(std::clamp<int64_t>(int64_t(decoded.avgBytesPerSec) + bytes * 16, 65536, 1 << 26));
    _memalloc_(pcm, room, MEM_RESIZE, "FF_AVI.AviOpen.pcmBuf");
    int32_t produced = 0;
    WaveConvertReset(af.sl.InFormat, &af.sl.decodedFormat);
    WaveConvert(stored, pcm, bytes, room, produced, af.sl.InFormat, &af.sl.decodedFormat);
    WaveConvertReset(af.sl.InFormat, &af.sl.decodedFormat);
    frames = produced / std::max<int32_t>(1, decoded.blockAlign) / std::max(1, units);
    MemFree(stored);
    MemFree(pcm);
  });
  return frames;
}

bool PlainPcm(const WaveFormatEx& f) {
  const uint16_t bits = f.bitsPerSample;
  return (bits == 8 || bits == 16 || bits == 24 || bits == 32) && f.blockAlign == uint32_t(f.channels) * (bits / 8);
}

// The sound stream's format, its block count and the frames each block decodes to; false
// drops the sound.
bool OpenSound(QAviHandle& af) {
  if (AVIStreamInfo(af.sound, &af.soundInfo, int32_t(sizeof af.soundInfo)) != AVIERR_OK) return false;
  int32_t size = 0;
  if (AVIStreamReadFormat(af.sound, 0, nullptr, &size) != AVIERR_OK || size < 16) return false;
  _memalloc_(af.sl.InFormat, std::max<int32_t>(size, sizeof(WaveFormatEx)), MEM_RESIZE,
             "FF_AVI.AviOpen.af.sl.InFormat");
  if (AVIStreamReadFormat(af.sound, 0, af.sl.InFormat, &size) != AVIERR_OK) return false;
  af.sl.inFormatSize = size;
  WaveFormatEx& in = *af.sl.InFormat;
  if (size < 18) in.extraSize = 0;
  if (in.channels == 0 || in.samplesPerSec == 0 || in.blockAlign == 0) return false;
  if (in.avgBytesPerSec < 1)
    in.avgBytesPerSec = uint32_t(std::min<uint64_t>(uint64_t(in.samplesPerSec) * in.blockAlign, UINT32_MAX));
  const int64_t length = std::max(0, AVIStreamLength(af.sound));
  af.sl.unitsTotal = int32_t(
      CountsChunks(af) ? length : std::min<int64_t>(length * af.soundInfo.dwSampleSize / in.blockAlign, INT32_MAX));
  if (in.formatTag == WAVE_FORMAT_PCM) {
    if (!PlainPcm(in)) return false;
    af.sl.decodedFormat = in;
    af.sl.decodedFormat.extraSize = 0;
    af.framesPerBlock = 1;
  } else {
    af.sl.decodedFormat = WaveFormatEx{};
    af.sl.decodedFormat.formatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(af.sl.InFormat, &af.sl.decodedFormat, sizeof(WaveFormatEx), ACM_FORMATSUGGESTF_WFORMATTAG) !=
        0)
      return false;
    if (!WaveFormatValidate(af.sl.decodedFormat)) return false;
    af.framesPerBlock = af.sl.unitsTotal > 0 ? MeasureBlock(af) : 0;
    if (af.framesPerBlock < 1) return false;
    // The header's byte rate only sizes the loader's buffers; the measured one is exact.
    in.avgBytesPerSec =
        uint32_t(std::max(1.0, std::nearbyint(double(in.samplesPerSec) * in.blockAlign / af.framesPerBlock)));
  }
  af.sl.unitsTotal = std::min(af.sl.unitsTotal, INT32_MAX / af.framesPerBlock);
  af.totalSamples = af.sl.unitsTotal * af.framesPerBlock;
  return WaveFormatValidate(af.sl.decodedFormat);
}

void DropSound(QAviHandle& af) {
  af.sound = nullptr;
  MemFree(af.sl.InFormat);
  af.sl = QSndLoader{};
  af.totalSamples = af.framesPerBlock = 0;
  WarnSet(9, 8);
}

void ReleaseAll(QAviHandle& af) {
  CloseDecoder(af);
  CloseEncoder(af);
  if (af.file) {
    if (af.writing)
      AVIFileAbandon(af.file);
    else
      AVIFileRelease(af.file);
  }
  if (af.sl.InFormat) WaveConvertReset(af.sl.InFormat, &af.sl.decodedFormat);
  MemFree(af.sl.InFormat);
  MemFree(af.sl.SndData);
  MemFree(af.videoFormat);
  MemFree(af.frameBuf);
  af = QAviHandle{};
}

// Gives up a writer after a failure: the file is dropped and its name keeps what it had.
void AbandonWriter(QAviHandle& af) {
  const ErrLockScope lock;
  ReleaseAll(af);
}

int32_t FileSizeOf(std::string_view name) {
  int32_t handle = NOT_SET;
  FOpen(handle, name, FM_READ);
  const int64_t size = FSize(handle);
  FClose(handle);
  return int32_t(std::clamp<int64_t>(size, 0, INT32_MAX));
}

// The video stream of a file being written, made by its first picture.
void CreateVideo(QAviHandle& af, const Qimg& img) {
  AviSettingsApply(af.settings);
  AviSetVC(img.width, img.height, img.bpp, false);
  AviSettingsStore(af.settings);
  af.width = img.width;
  af.height = img.height;
  af.bpp = img.bpp;
  af.bytesPerPixel = img.bytesPerPixel;
  const AviCompressOptions& options = AviCurrentOptions();
  AVISTREAMINFO& si = af.videoInfo;
  si = AVISTREAMINFO{};
  si.fccType = streamtypeVIDEO;
  si.fccHandler = af.settings.fourcc;
  si.dwScale = 10000;
  si.dwRate = uint32_t(std::lround(af.frameRate * 10000));
  si.dwSuggestedBufferSize = uint32_t(af.frameSize);
  si.dwQuality = uint32_t(options.quality);
  si.rcFrame.right = af.width;
  si.rcFrame.bottom = af.height;
  Check10(AVIFileCreateStream(af.file, &af.video, &si));
  af.rawVideo = af.video;
  std::vector<uint8_t> format = DibStreamFormat(af.width, af.height, af.bpp, img.palette);
  if (!AviIsUncompressed(af.settings.fourcc)) {
    af.encoder = new AviFrameEncoder;
    AviFrameEncoder& e = *af.encoder;
    e.hic = ICOpen(ICTYPE_VIDEO, af.settings.fourcc, ICMODE_COMPRESS);
    if (!e.hic) ErrSet(9, 7);
    if (!options.state.empty()) ICSetState(e.hic, options.state.data(), uint32_t(options.state.size()));
    DibFormat in;
    if (!DibFormatParse(format.data(), format.size(), in)) ErrSet(9, 7);
    DibFormat out;
    if (ICCompressGetFormat(e.hic, in, out) != ICERR_OK) ErrSet(9, 7);
    IcCompressOptions run;
    run.quality = options.quality;
    run.keyFrameEvery = options.keyFrameEvery;
    run.bytesPerSecond = (options.flags & AVICOMPRESSF_DATARATE) ? options.bytesPerSecond : 0;
    run.rate = si.dwRate;
    run.scale = si.dwScale;
    if (ICCompressBegin(e.hic, in, run) != ICERR_OK) ErrSet(9, 7);
    e.begun = true;
    format = DibFormatBytes(out);
  }
  _memalloc_(af.videoFormat, int32_t(format.size()), MEM_RESIZE, "FF_AVI.AviImgSave.af.videoFormat");
  std::memcpy(af.videoFormat, format.data(), format.size());
  af.videoFormatSize = int32_t(format.size());
  Check10(AVIStreamSetFormat(af.rawVideo, 0, af.videoFormat, af.videoFormatSize));
}

void WriteFrame(QAviHandle& af) {
  int32_t samples = 0, bytes = 0;
  if (!af.encoder) {
    Check10(AVIStreamWrite(af.rawVideo, af.nextFrame, 1, af.frameBuf, af.frameSize, AVIIF_KEYFRAME, &samples, &bytes));
    return;
  }
  AviFrameEncoder& e = *af.encoder;
  bool key = false;
  if (ICCompress(e.hic, 0, af.frameBuf, size_t(af.frameSize), e.out, &key) != ICERR_OK) ErrSet(9, 2);
  Check10(AVIStreamWrite(af.rawVideo, af.nextFrame, 1, e.out.data(), int32_t(e.out.size()), key ? AVIIF_KEYFRAME : 0,
                         &samples, &bytes));
}

}  // namespace

void AviOpen(QAviHandle& af, std::string_view name) {
  Guarded("FF_AVI.AviOpen", [&] {
    af = QAviHandle{};
    MonSetCleanup([&] { ReleaseAll(af); });
    af.fileSize = FileSizeOf(name);
    if (af.fileSize < 1) ErrSet(9, 5);
    Check10(AVIFileOpen(&af.file, name, OF_READ));
    AVIFILEINFO fi{};
    Check10(AVIFileInfo(af.file, &fi, int32_t(sizeof fi)));
    af.maxDataRate = int32_t(std::min<uint32_t>(fi.dwMaxBytesPerSec, INT32_MAX));
    int32_t last = AVIFileGetStream(af.file, &af.video, streamtypeVIDEO, 0);
    const bool hadVideo = last == AVIERR_OK;
    if (hadVideo) OpenVideo(af);
    const int32_t soundResult = AVIFileGetStream(af.file, &af.sound, streamtypeAUDIO, 0);
    if (soundResult == AVIERR_OK) {
      bool kept = false;
      GuardedSilent("FF_AVI.AviOpen.sound", [&] { kept = OpenSound(af); });
      ErrClear();
      if (!kept) DropSound(af);
    } else {
      last = soundResult;
    }
    // A file whose video cannot be decoded still opens, to tell its size and play its sound.
    if (!hadVideo && !af.sound) ErrSet(10, last != AVIERR_OK ? last : AVIERR_NODATA);
  });
}

void AviInfo(std::string_view name, QffInfo& info) {
  QAviHandle af;
  Guarded("FF_AVI.AviInfo", [&] {
    AviOpen(af, name);
    MonSetCleanup([&] { ReleaseAll(af); });
    info.format = FF_AVI;
    info.fileSize = af.fileSize;
    info.maxDataRate = af.maxDataRate;
    if (af.frames > 0) {
      QVideoBlock& v = info.video;
      v.width = af.width;
      v.height = af.height;
      v.bpp = af.bpp;
      v.bytesPerPixel = af.bytesPerPixel;
      v.frames = af.frames;
      v.frameRate = af.frameRate;
      uint32_t code = af.videoInfo.fccHandler;
      DibFormat format;
      if (code == 0 && DibFormatParse(af.videoFormat, size_t(af.videoFormatSize), format))
        code = format.header.compression;
      v.compression = AVIGetVideoName(code);
      v.hasVideo = RF_TRUE;
      v.videoReadable = af.decoder ? RF_TRUE : RF_FALSE;
    }
    if (af.sl.InFormat) {
      QAudioBlock& a = info.audio;
      a.storedFormat = *af.sl.InFormat;
      a.decodedFormat = af.sl.decodedFormat;
      a.frames = af.totalSamples;
      a.compression = AVIGetAudioName(af.sl.InFormat->formatTag);
      a.hasAudio = af.totalSamples > 0 ? RF_TRUE : RF_FALSE;
      a.audioReadable = a.hasAudio && af.sound ? RF_TRUE : RF_FALSE;
    }
    AviClose(af);
  });
}

void AviImgLoad(QAviHandle& af, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("FF_AVI.AviImgLoad", [&] {
    if (frame < 0 || frame > af.frames) ErrSet(9, 1);
    if ((flags & 1) && frame == af.nextFrame) return;
    if (frame != 0 && frame - 1 != af.nextFrame) af.nextFrame = frame - 1;
    if (!af.decoder || af.nextFrame >= af.frames) ErrSet(9, 1);
    if (!DecodeFrame(*af.decoder, img, af.nextFrame)) ErrSet(9, 1);
    ++af.nextFrame;
  });
}

void AviSndSeek(QAviHandle& af, int32_t sample) {
  Guarded("FF_AVI.AviSndSeek", [&] {
    if (!af.sound || sample < 0) return;
    af.sl.held = af.sl.delivered = 0;
    WaveConvertReset(af.sl.InFormat, &af.sl.decodedFormat);
    // A position at or past the end leaves nothing to deliver.
    if (sample >= af.totalSamples) {
      af.samplePos = sample;
      af.sl.unitsRead = af.sl.unitsTotal;
      af.sl.endReached = RF_TRUE;
      return;
    }
    // Decoding starts on the block that holds the sample, or a few before it for a decoder with
    // memory; the frames before the sample are decoded and dropped, so that the position is exact.
    af.sl.unitsRead = std::max(0, sample / af.framesPerBlock - acmPrerollBlocks(af.sl.InFormat));
    af.sl.endReached = RF_FALSE;
    af.samplePos = af.sl.unitsRead * af.framesPerBlock;
    const int32_t drop = sample - af.samplePos;
    if (drop == 0) return;
    QSndBuf skipped;
    SndLoad(&af, af.sl, skipped, SoundRead, drop);
    af.samplePos += skipped.count;
    SndFree(skipped);
  });
}

void AviSndLoad(QAviHandle& af, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  Guarded("FF_AVI.AviSndLoad", [&] {
    if (!(flags & 1) || af.samplePos != first) AviSndSeek(af, first);
    buffer.count = 0;
    if (!af.sound || (af.sl.endReached && af.sl.held - af.sl.delivered <= 0)) ErrSet(9, 3);
    SndLoad(&af, af.sl, buffer, SoundRead, count);
    af.samplePos += buffer.count;
  });
}

void AviCreate(QAviHandle& af, std::string_view name, int32_t framesPerChunk, double frameRate) {
  Guarded("FF_AVI.AviCreate", [&] {
    af = QAviHandle{};
    // The stand-in writes under a hidden name and replaces the old file only when it is released.
    Check10(AVIFileOpen(&af.file, name, OF_CREATE | OF_WRITE));
    af.frameRate = frameRate;
    af.writing = RF_TRUE;
    af.framesPerChunk = framesPerChunk;
    AviSettingsStore(af.settings);
  });
}

void AviImgSave(QAviHandle& af, Qimg& img) {
  QffPrepared prepared;
  Guarded("FF_AVI.AviImgSave", [&] {
    MonSetCleanup([&] {
      FFDone(prepared);
      AbandonWriter(af);
    });
    if (!af.writing || !af.file) ErrSet(9, 2);
    FFInit(FF_AVI, prepared, img, 1);
    const Qimg& picture = *prepared.img;
    if (!af.video) {
      af.frameSize = DibStride(picture.width, picture.bpp) * picture.height;
      CreateVideo(af, picture);
      _memalloc_(af.frameBuf, af.frameSize, MEM_RESIZE, "FF_AVI.AviImgSave.imgFlipped");
    }
    if (picture.width != af.width || picture.height != af.height || picture.bpp != af.bpp) ErrSet(9, 2);
    QimgToDibBits(picture, af.frameBuf);
    WriteFrame(af);
    ++af.nextFrame;
    af.frames = af.nextFrame;
    FFDone(prepared);
  });
}

void AviSndSave(QAviHandle& af, const QSndBuf& buffer) {
  QSndBuf converted;
  Guarded("FF_AVI.AviSndSave", [&] {
    if (!buffer.SndData || buffer.count < 1) return;
    MonSetCleanup([&] {
      SndFree(converted);
      AbandonWriter(af);
    });
    if (!af.writing || !af.file) ErrSet(9, 4);
    if (!af.sound) {
      WaveFormatEx format = buffer.format;
      format.extraSize = 0;
      if (format.formatTag != WAVE_FORMAT_PCM || !WaveFormatValidate(format)) ErrSet(8, 4);
      AVISTREAMINFO& si = af.soundInfo;
      si = AVISTREAMINFO{};
      si.fccType = streamtypeAUDIO;
      si.dwScale = format.blockAlign;
      si.dwRate = format.avgBytesPerSec;
      si.dwSampleSize = format.blockAlign;
      Check10(AVIFileCreateStream(af.file, &af.sound, &si));
      _memalloc_(af.sl.InFormat, int32_t(sizeof(WaveFormatEx)), MEM_RESIZE, "FF_AVI.AviSndSave.af.sl.InFormat");
      *af.sl.InFormat = format;
      af.sl.inFormatSize = int32_t(sizeof(WaveFormatEx));
      af.sl.decodedFormat = format;
      Check10(AVIStreamSetFormat(af.sound, 0, af.sl.InFormat, af.sl.inFormatSize));
    }
    const QSndBuf* source = &buffer;
    if (!WaveFormatEqual(buffer.format, *af.sl.InFormat)) {
      SndConvert(buffer, converted, *af.sl.InFormat);
      source = &converted;
    }
    const int64_t bytes = int64_t(source->count) * af.sl.InFormat->blockAlign;
    if (bytes > INT32_MAX) ErrSet(9, 4);
    int32_t samples = 0, written = 0;
    if (source->count > 0)
      Check10(AVIStreamWrite(af.sound, af.samplePos, source->count, source->SndData, int32_t(bytes), AVIIF_KEYFRAME,
                             &samples, &written));
    af.samplePos += source->count;
    af.totalSamples = af.samplePos;
    SndFree(converted);
  });
}

void AviClose(QAviHandle& af) {
  Guarded("FF_AVI.AviClose", [&] {
    if (!af.file) {
      ReleaseAll(af);
      return;
    }
    MonSetCleanup([&] { ReleaseAll(af); });
    CloseDecoder(af);
    CloseEncoder(af);
    PAVIFILE file = af.file;
    af.file = nullptr;
    const int32_t result = AVIFileRelease(file);
    ReleaseAll(af);
    Check10(result);
  });
}

}  // namespace rf
