// MPEG reader and writer over the MPEG modules (trace labels "FF_MPG.*").
#include "formats/ff_mpg.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/ffbasic.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "os/kernel.h"

namespace rf {

const QMPGPresetItem kMpgPresets[MPG_PRESETS] = {
    {"MPEG-1 Standard", 1125},
    {"MPEG-2 Standard", 4882},
    {"28 kilobits/sec (modem)", 28},
    {"300 kilobytes/sec (CDROM x 2)", 2400},
    {"600 kilobytes/sec (CDROM x 4)", 4800},
    {"1200 kilobytes/sec (CDROM x 8)", 9600},
    {"Custom", 0},
};

namespace {

constexpr int32_t kMaxBitRate = 104857200;
constexpr int32_t kDefaultKbps = 1125;

struct Settings {
  int32_t format = 1;
  int32_t bitRate = kDefaultKbps * 1024;
  bool mpeg2 = true;
  int32_t crf = 23;
};
Settings g_settings;

// What MpgInfo learned about the file it examined last.
struct InfoCache {
  bool valid = false;
  int64_t size = 0;
  int64_t date = 0;
  std::string name;
  int32_t bitRate = 0, width = 0, height = 0, bpp = 0, frames = 0, rateCode = 0, mpeg2 = 0, hasAudio = 0;
};
InfoCache g_cache;

// The handle whose pool the video encoder is fed from.
QMpgHandle* g_current = nullptr;

bool Stat(std::string_view name, int64_t& size, int64_t& date) {
  struct stat st {};
  if (::stat(std::string(name).c_str(), &st) != 0) return false;
  size = st.st_size;
  date = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
  return true;
}

void error_handler(const char* text) { ErrSetText(1, text); }

void GetImgPtr(int32_t frame, uint8_t*& pixels) {
  QMpgHandle* h = g_current;
  for (int32_t i = 0; h && i < MPG_POOL_SLOTS; ++i) {
    if (h->pool[i].frame != frame) continue;
    pixels = h->pool[i].img.data;
    h->slotInUse = i;
    return;
  }
  ErrSet(12, 4);
}

void CopyName(char (&field)[256], std::string_view text) {
  const size_t n = std::min(text.size(), sizeof field - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

WaveFormatEx Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, rate, 0, 0, bits, 0};
  WaveFormatValidate(f);
  return f;
}

std::string AudioName(const MplAudioInfo& a) {
  if (a.layer < 1 || a.layer > 3) return a.codec;
  static const char* const kLayers[] = {"-I", "-II", "-III (MP3)"};
  const std::string version = a.version == 0 ? "MPEG-2 LSF, " : a.version == 1 ? "MPEG-1, " : "";
  return version + "Layer" + kLayers[a.layer - 1];
}

// The sound part of the information; mpegOnly keeps other codecs out of the MPEG row.
void AudioInfo(std::string_view name, QffInfo& info, bool mpegOnly) {
  MOSLErrorFuncSet(MplModule::AudioDecoder, error_handler);
  MplAudioInfo a{};
  int32_t readable = 0;
  GuardedSilent("FF_MPG.MpgInfo.audio", [&] { readable = GetMPAInfo(name, a); });
  const bool found = ErrNone() && readable && (!mpegOnly || a.layer > 0 || info.video.hasVideo);
  ErrClear();
  if (!found) return;
  QAudioBlock& au = info.audio;
  au.hasAudio = RF_TRUE;
  info.maxDataRate += a.kbps * 1024 / 8;
  au.decodedFormat = Pcm(uint32_t(a.samplesPerSec), uint16_t(a.channels), uint16_t(a.bitsPerSample));
  au.storedFormat = au.decodedFormat;
  au.frames = a.totalSamples;
  au.compression = AudioName(a);
  au.audioReadable = a.totalSamples > 0 ? RF_TRUE : RF_FALSE;
}

void VideoInfo(QffInfo& info, int32_t width, int32_t height, int32_t frames, double rate, const std::string& name,
               bool readable) {
  QVideoBlock& v = info.video;
  v.hasVideo = RF_TRUE;
  v.width = width;
  v.height = height;
  v.bpp = 24;
  v.bytesPerPixel = 3;
  v.frames = frames;
  v.frameRate = rate;
  v.compression = name;
  v.videoReadable = readable ? RF_TRUE : RF_FALSE;
}

// The MPEG video of the file through the cache: false when there is none.
bool MpegVideo(std::string_view name, InfoCache& out) {
  if (isMPEGCached(name)) {
    out = g_cache;
    return true;
  }
  InfoCache c;
  int32_t found = 0;
  MOSLErrorFuncSet(MplModule::VideoDecoder, error_handler);
  GuardedSilent("FF_MPG.MpgInfo.video", [&] {
    found = GetMPEGInfo(name, c.width, c.height, c.frames, c.rateCode, c.bitRate, c.mpeg2, c.hasAudio);
  });
  const bool ok = ErrNone() && found;
  ErrClear();
  if (!ok || !Stat(name, c.size, c.date)) return false;
  c.valid = true;
  c.name = name;
  c.bpp = 24;
  g_cache = c;
  out = c;
  return true;
}

void FileSize(std::string_view name, QffInfo& info) {
  int64_t date = 0;
  if (!Stat(name, info.fileSize, date)) {
    SetLastFileName(name);
    ErrSet(12, 6);
  }
}

void FreePool(QMpgHandle& h) {
  for (QMpgPoolSlot& s : h.pool) {
    ImgFree(s.img);
    s.frame = -1;
  }
}

// A writer's stream files are its own temporaries; a reader's are the files it reads.
void DeleteStreamFiles(QMpgHandle& h) {
  if (!h.writing) return;
  if (h.videoFile[0]) kernel::DeleteFile(h.videoFile);
  if (h.audioFile[0]) kernel::DeleteFile(h.audioFile);
  h.videoFile[0] = h.audioFile[0] = 0;
}

// Closes whatever the handle holds, also after a failure, and zeroes it.
void Release(QMpgHandle& h) {
  {
    const ErrLockScope lock;
    if (h.encoder) CloseMPEGEnc(h.encoder);
    if (h.audioEncoder) MPAClose(h.audioEncoder);
    if (h.decoder) CloseMPEG(h.decoder);
    if (h.audioDecoder) CloseMPA(h.audioDecoder);
  }
  FreePool(h);
  DeleteStreamFiles(h);
  if (g_current == &h) g_current = nullptr;
  h.~QMpgHandle();
  new (&h) QMpgHandle{};
}

void OpenVideo(QMpgHandle& h, std::string_view name) {
  MOSLErrorFuncSet(MplModule::VideoDecoder, error_handler);
  if (!OpenMPEG(h.decoder, name, 0)) {
    ErrSet(12, 6);
    return;
  }
  CopyName(h.videoFile, name);
  h.videoDecoderOpen = RF_TRUE;
}

void OpenAudio(QMpgHandle& h, std::string_view name) {
  MOSLErrorFuncSet(MplModule::AudioDecoder, error_handler);
  MplAudioInfo a{};
  if (!GetMPAInfo(name, a) || !OpenMPA(h.audioDecoder, name)) {
    ErrSet(12, 6);
    return;
  }
  h.audioDecoderOpen = RF_TRUE;
  h.blockAlign = a.bitsPerSample / 8 * a.channels;
  h.samplesPerFrame = std::max(a.samplesPerFrame, 1);
  h.audioWords[0] = a.frames;
  h.audioWords[1] = a.word24;
  h.audioWords[2] = a.word28;
  h.soundFormat = Pcm(uint32_t(a.samplesPerSec), uint16_t(a.channels), uint16_t(a.bitsPerSample));
  CopyName(h.audioFile, name);
}

int32_t AudioFrames(const QMpgHandle& h) { return h.audioWords[0]; }

// The sound the audio encoder takes: 16 bits, one or two channels, and for MP2 one of its rates.
WaveFormatEx EncoderFormat(const QMpgHandle& h, const WaveFormatEx& f) {
  static const uint32_t kMp2Rates[] = {16000, 22050, 24000, 32000, 44100, 48000};
  uint32_t rate = f.samplesPerSec;
  if (!h.mp4 && std::find(std::begin(kMp2Rates), std::end(kMp2Rates), rate) == std::end(kMp2Rates))
    rate = uint32_t(MpgAudioRate(int32_t(rate)));
  return Pcm(rate, uint16_t(std::clamp<int>(f.channels, 1, 2)), 16);
}

void CreateAudioEncoder(QMpgHandle& h, const WaveFormatEx& format) {
  MOSLErrorFuncSet(MplModule::AudioEncoder, error_handler);
  const std::string file = MplTempName("audio");
  if (file.empty()) ErrSet(12, 8);
  CopyName(h.audioFile, file);
  MplAudioEncParams p;
  p.samplesPerSec = int32_t(format.samplesPerSec);
  p.mode = format.channels == 1 ? 3 : 0;
  p.aac = h.mp4;
  if (!MPACreate(h.audioEncoder, file, p)) ErrSet(12, 8);
  h.soundFormat = format;
  h.audioEncoderCreated = RF_TRUE;
}

void CreateVideoEncoder(QMpgHandle& h, const Qimg& img) {
  EncErrorFuncSet(error_handler);
  GetImgPtrFuncSet(GetImgPtr);
  g_current = &h;
  MplEncParams p;
  p.mpeg1 = h.format == 1 ? 1 : 0;
  p.width = img.width;
  p.height = img.height;
  p.rateCode = h.rateCode;
  p.bitRate = g_settings.bitRate;
  if (h.mp4) {
    p.codec = MplVideoCodec::H264;
    p.crf = g_settings.crf;
    p.rateCode = detail::MplNearestCode(h.frameRate);
    p.rateNum = p.rateCode ? 0 : int32_t(std::lround(h.frameRate * 1000));
    p.rateDen = 1000;
  }
  const std::string file = MplTempName("video");
  if (file.empty()) ErrSet(12, 8);
  CopyName(h.videoFile, file);
  if (!CreateMPEG(h.encoder, file, p)) ErrSet(12, 8);
  h.width = img.width;
  h.height = img.height;
  h.bytesPerPixel = 3;
  h.bpp = 24;
  h.videoEncoderCreated = RF_TRUE;
}

void Encode(QMpgHandle& h) {
  g_current = &h;
  if (!PutMPEGFrame(h.encoder)) ErrSet(12, 4);
  ++h.framesEncoded;
}

// Feeds the pool: the encoder takes a picture only when three are waiting, and the slot it took
// receives the new one.
void Queue(QMpgHandle& h, const Qimg& img) {
  const int32_t number = h.current;
  int32_t slot = h.slotInUse;
  if (h.slotsFilled < MPG_POOL_SLOTS) {
    slot = h.slotsFilled++;
    ++h.framesQueued;
    SetNumFramesMPEG(h.encoder, h.framesQueued);
  } else {
    ++h.framesQueued;
    SetNumFramesMPEG(h.encoder, h.framesQueued);
    Encode(h);
    slot = h.slotInUse;
  }
  ImgCopy(img, h.pool[slot].img);
  h.pool[slot].frame = number;
}

}  // namespace

void MpgSetFormat(int32_t format) {
  if (format == 1 || format == 2) g_settings.format = format;
}

int32_t MpgSetRate(int32_t kbps) {
  if (kbps != FF_AUTO) g_settings.bitRate = int32_t(std::clamp<int64_t>(int64_t(kbps) * 1024, 0, kMaxBitRate));
  return int32_t(std::lround(g_settings.bitRate / 1024.0));
}

void MpgSetMpeg2Enabled(bool on) { g_settings.mpeg2 = on; }
bool MpgMpeg2Enabled() { return g_settings.mpeg2; }
void MpgSetCrf(int32_t crf) { g_settings.crf = std::clamp(crf, 0, 51); }

void MpgApplySettings(const QffSaveOpt& opts) {
  if (opts.format == FF_MOV) {
    if (opts.param1 != FF_AUTO) MpgSetCrf(opts.param1);
    return;
  }
  MpgSetFormat(opts.param1);
  MpgSetRate(opts.param3);
}

int32_t MpgRateCode(double frameRate) {
  int32_t code = 0;
  for (int32_t c = 0; c <= 7; ++c)
    if (MplStdRate(c) < frameRate) ++code;
  return frameRate <= 0 ? 0 : code;
}

double MpgStdRate(double frameRate) { return MplStdRate(MpgRateCode(frameRate)); }

int32_t MpgAudioRate(int32_t samplesPerSec) {
  if (samplesPerSec <= 32000) return 32000;
  return samplesPerSec <= 44100 ? 44100 : 48000;
}

bool isMPEGCached(std::string_view name) {
  int64_t size = 0, date = 0;
  return g_cache.valid && g_cache.name == name && Stat(name, size, date) && size == g_cache.size &&
         date == g_cache.date;
}

void MpgInfo(std::string_view name, QffInfo& info) {
  Guarded("FF_MPG.MpgInfo", [&] {
    info = QffInfo{};
    FileSize(name, info);
    InfoCache c;
    if (MpegVideo(name, c)) {
      const std::string kind = c.mpeg2 ? "MPEG-2" : "MPEG-1";
      VideoInfo(info, c.width, c.height, c.frames, MplStdRate(std::clamp(c.rateCode, 0, 8)), kind,
                !c.mpeg2 || g_settings.mpeg2);
      info.maxDataRate = c.bitRate / 8;
    }
    if (!info.video.hasVideo || c.hasAudio) AudioInfo(name, info, true);
  });
}

void MovInfo(std::string_view name, QffInfo& info) {
  Guarded("FF_MPG.MovInfo", [&] {
    info = QffInfo{};
    FileSize(name, info);
    MplVideoInfo v;
    int32_t found = 0;
    MOSLErrorFuncSet(MplModule::VideoDecoder, error_handler);
    GuardedSilent("FF_MPG.MovInfo.video", [&] { found = GetMovieInfo(name, v); });
    const bool ok = ErrNone() && found;
    ErrClear();
    if (ok) VideoInfo(info, v.width, v.height, v.frames, v.frameRate, v.codec + " in " + v.container, true);
    AudioInfo(name, info, false);
  });
}

void MpgOpen(QMpgHandle& h, std::string_view name, int32_t argument) {
  Guarded("FF_MPG.MpgOpen", [&] {
    Release(h);
    MonSetCleanup([&] { Release(h); });
    QffInfo info;
    MpgInfo(name, info);
    if (!info.video.hasVideo && !info.audio.hasAudio) MovInfo(name, info);
    h.hasVideo = info.video.hasVideo && info.video.videoReadable;
    h.hasAudio = info.audio.hasAudio && info.audio.audioReadable;
    if (h.hasVideo) {
      h.width = info.video.width;
      h.height = info.video.height;
      h.bpp = 24;
      h.bytesPerPixel = 3;
      h.frames = info.video.frames;
      h.frameRate = info.video.frameRate;
      h.rateCode = detail::MplNearestCode(h.frameRate);
      h.format = info.video.compression == "MPEG-2" ? 2 : 1;
      h.openArgument = argument;
      OpenVideo(h, name);
    }
    if (h.hasAudio) OpenAudio(h, name);
    if (!h.hasVideo && !h.hasAudio) ErrSet(12, 6);
  });
}

void MpgImgLoad(QMpgHandle& h, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("FF_MPG.MpgImgLoad", [&] {
    if (!h.decoder || frame < 0 || frame > h.frames) {
      ErrSet(12, 1);
      return;
    }
    if (frame != 0 && frame != h.current + 1 && (flags & 1) && frame == h.current) return;
    if (_imgalloc_(img, h.width, h.height, 24, "FF_MPG.MpgImgLoad.ih") != 0) MonAbort();
    if (frame != 0 && frame != h.current + 1) {
      if (!SeekMPEG(h.decoder, frame)) {
        h.frameFailed = RF_TRUE;
        return;
      }
      h.current = frame - 1;
    }
    h.frameFailed = GetMPEGFrame(h.decoder, img.data) ? RF_FALSE : RF_TRUE;
    ++h.current;
  });
}

void MpgImgRewind(QMpgHandle&) {}

void MpgSndSeek(QMpgHandle& h, int32_t sample) {
  Guarded("FF_MPG.MpgSndSeek", [&] {
    const int32_t frame = sample / std::max(h.samplesPerFrame, 1);
    if (!h.audioDecoder || sample < 0 || frame >= AudioFrames(h)) {
      ErrSet(12, 7);
      return;
    }
    h.currentAudioFrame = frame;
    h.samplePos = frame * h.samplesPerFrame;
    if (!SeekMPA(h.audioDecoder, frame)) ErrSet(12, 7);
  });
}

void MpgSndLoad(QMpgHandle& h, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  Guarded("FF_MPG.MpgSndLoad", [&] {
    buffer.count = 0;
    if (!h.audioDecoder || count <= 0) return;
    if (!((flags & 1) && h.samplePos == first)) MpgSndSeek(h, first);
    _sndalloc_(buffer, count * h.blockAlign, "FF_MPG.MpgSndLoad.snd");
    int32_t got = 0;
    GetMPAData(h.audioDecoder, buffer.SndData, count, got);
    // Seeking lands on the start of an audio frame: what lies before `first` is dropped and as
    // much is read again at the end.
    const int32_t skip = std::clamp(first - h.samplePos, 0, got);
    if (skip > 0) {
      std::memmove(buffer.SndData, buffer.SndData + skip * h.blockAlign, size_t(got - skip) * h.blockAlign);
      int32_t more = 0;
      GetMPAData(h.audioDecoder, buffer.SndData + (got - skip) * h.blockAlign, skip, more);
      got = got - skip + more;
    }
    h.samplePos = std::max(h.samplePos, first) + got;
    buffer.count = got;
    buffer.format = h.soundFormat;
  });
}

void MpgCreate(QMpgHandle& h, std::string_view name, double& frameRate, int32_t frames, int32_t format) {
  Guarded("FF_MPG.MpgCreate", [&] {
    Release(h);
    h.writing = RF_TRUE;
    h.mp4 = format == FF_MOV ? RF_TRUE : RF_FALSE;
    CopyName(h.outputName, name);
    if (frames <= 0) return;
    h.frames = frames;
    h.format = g_settings.format == 2 && g_settings.mpeg2 ? 2 : 1;
    h.rateCode = MpgRateCode(frameRate);
    // MP4 keeps any rate; MPEG knows only its standard ones.
    if (!h.mp4) frameRate = MplStdRate(h.rateCode);
    h.frameRate = frameRate;
    h.slotInUse = h.slotsFilled = 0;
  });
}

void MpgImgSave(QMpgHandle& h, Qimg& img) {
  // Outside the guarded block, so that it still lives when a failure releases it.
  QffPrepared prepared;
  Guarded("FF_MPG.MpgImgSave", [&] {
    if (!h.writing) return;
    MonSetCleanup([&] { FFDone(prepared); });
    FFInit(FF_MPG, prepared, img, 16);
    if (!h.videoEncoderCreated) CreateVideoEncoder(h, *prepared.img);
    Queue(h, *prepared.img);
    ++h.current;
    FFDone(prepared);
  });
}

void MpgSndSave(QMpgHandle& h, const QSndBuf& buffer) {
  QSndBuf converted;
  Guarded("FF_MPG.MpgSndSave", [&] {
    if (!h.writing || buffer.count <= 0) return;
    const WaveFormatEx wanted = EncoderFormat(h, h.audioEncoderCreated ? h.soundFormat : buffer.format);
    if (!h.audioEncoderCreated) CreateAudioEncoder(h, wanted);
    const QSndBuf* source = &buffer;
    MonSetCleanup([&] { SndFree(converted); });
    if (!WaveFormatEqual(buffer.format, wanted)) {
      SndConvert(buffer, converted, wanted);
      source = &converted;
    }
    if (!MPASave(h.audioEncoder, reinterpret_cast<const int16_t*>(source->SndData), source->count)) ErrSet(12, 8);
    h.samplePos += buffer.count;
    SndFree(converted);
  });
}

void MpgClose(QMpgHandle& h) {
  Guarded("FF_MPG.MpgClose", [&] {
    MonSetCleanup([&] { Release(h); });
    if (h.videoEncoderCreated) {
      for (int32_t i = 0; i < h.slotsFilled; ++i) Encode(h);
      if (!CloseMPEGEnc(h.encoder)) ErrSet(12, 8);
      FreePool(h);
    }
    if (h.audioEncoderCreated && !MPAClose(h.audioEncoder)) ErrSet(12, 8);
    if (h.videoEncoderCreated || h.audioEncoderCreated) {
      const std::string video = h.videoEncoderCreated ? h.videoFile : "";
      const std::string audio = h.audioEncoderCreated ? h.audioFile : "";
      if (h.mp4) {
        MOSLErrorFuncSet(MplModule::Multiplexer, error_handler);
        if (!MPlexMP4(h.outputName, video, audio)) ErrSet(12, 8);
      } else {
        MpgMultiPlex(h.outputName, video, audio, true, h.format == 2);
      }
    }
    Release(h);
  });
}

void MpgMultiPlex(std::string_view output, std::string_view video, std::string_view audio, bool deleteSources,
                  bool mpeg2) {
  Guarded("FF_MPG.MpgMultiPlex", [&] {
    if (deleteSources)
      MonSetCleanup([&] {
        if (!video.empty()) kernel::DeleteFile(std::string(video));
        if (!audio.empty()) kernel::DeleteFile(std::string(audio));
      });
    MOSLErrorFuncSet(MplModule::Multiplexer, error_handler);
    if (!MPlexMPEG(output, video, audio, mpeg2 ? 1 : 0)) ErrSet(12, 8);
    if (!deleteSources) return;
    if (!video.empty()) kernel::DeleteFile(std::string(video));
    if (!audio.empty()) kernel::DeleteFile(std::string(audio));
  });
}

QMpgDlgState MpgDlgStart(const QDlgMPGData& data) {
  QMpgDlgState s;
  s.mpeg2Enabled = g_settings.mpeg2;
  s.mpeg2Caption = s.mpeg2Enabled ? "MPEG-2" : "MPEG-2 not enabled (see documentation)";
  s.format = data.format == 2 && s.mpeg2Enabled ? 2 : 1;
  s.rate = std::clamp(data.rate, 1, 102400);
  s.preset = MPG_PRESETS - 1;
  for (int32_t i = 0; i + 1 < MPG_PRESETS; ++i)
    if (kMpgPresets[i].rate == s.rate) s.preset = i;
  s.ratesLocked = s.preset != MPG_PRESETS - 1;
  return s;
}

void MpgDlgChoosePreset(QMpgDlgState& state, int32_t preset) {
  if (preset < 0 || preset >= MPG_PRESETS) return;
  state.preset = preset;
  state.ratesLocked = preset != MPG_PRESETS - 1;
  if (state.ratesLocked) state.rate = kMpgPresets[preset].rate;
}

void MpgDlgSetBitRate(QMpgDlgState& state, int32_t kbps) {
  if (!state.ratesLocked) state.rate = std::clamp(kbps, 1, 102400);
}

void MpgDlgSetByteRate(QMpgDlgState& state, int32_t kBps) {
  if (!state.ratesLocked) state.rate = std::clamp(int32_t(std::min<int64_t>(int64_t(kBps) * 8, 102400)), 1, 102400);
}

void MpgDlgConfirm(const QMpgDlgState& state, QffSaveOpt& opts) {
  opts.mpegFormat = state.format == 2 && state.mpeg2Enabled ? 2 : 1;
  opts.mpegRate = std::clamp(state.rate, 1, 102400);
}

bool DlgMPG(QDlgMPGData& data, QffSaveOpt& opts, MpgDialogWindow& window) {
  data.title = "MPEG Compression";
  QMpgDlgState state = MpgDlgStart(data);
  if (!window.Run(state)) return false;
  MpgDlgConfirm(state, opts);
  data.format = opts.mpegFormat;
  data.rate = opts.mpegRate;
  return true;
}

}  // namespace rf
