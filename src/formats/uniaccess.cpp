// The universal layer over the still codecs, the numbered sequences and the movie dispatch
// (trace labels "ConForm.Uni*").
#include "formats/uniaccess.h"

#include <set>

#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "os/pathclass.h"

namespace rf {
namespace {

QUniProblem g_problem;

struct PathRefusal {
  kernel::PathClass kind;
  const char* text;  // followed by the name
};

// Paths that no reader is asked about. A missing file keeps the file error of its own.
constexpr PathRefusal kPathRefusals[] = {
    {kernel::PathClass::Folder, "Is a folder, not a file: "},
    {kernel::PathClass::NotRegular, "Not a regular file (a pipe or a device): "},
    {kernel::PathClass::NoPermission, "Cannot open file (permission denied): "},
    {kernel::PathClass::Empty, "File is empty: "},
};

// Raises the problem of a path that names no readable file.
void CheckPath(std::string_view name) {
  const kernel::PathClass kind = kernel::ClassifyPath(std::string(name));
  if (kind == kernel::PathClass::Readable) return;
  SetLastFileName(name);
  if (kind == kernel::PathClass::Missing) ErrSet(6, 9);
  for (const PathRefusal& r : kPathRefusals)
    if (r.kind == kind) ErrSetText(2, r.text + std::string(name));
}

bool Readable(std::string_view name) { return kernel::ClassifyPath(std::string(name)) == kernel::PathClass::Readable; }

double Ratio(double a, double b) { return a > 0 && b > 0 ? a / b : 0; }

// FFInfo in a silent block; true when it raised no error.
bool TryInfo(std::string_view name, int32_t id, QffInfo& fi) {
  MonNextSilent();
  FFInfo(name, id, fi);
  return ErrNone();
}

bool HasMedia(const QffInfo& fi) { return fi.video.hasVideo || fi.audio.hasAudio; }

// The first other format of the load table that finds pictures or sound in the file.
int32_t ProbeContent(std::string_view name, int32_t tried, QffInfo& fi) {
  std::set<int32_t> done{tried};
  for (int32_t i = 0; i < FF_LOAD_ROWS; ++i) {
    QffDesc row;
    FFGetDescByIndex(i, FF_LOAD_TABLE, row);
    if (!done.insert(row.id).second) continue;
    const bool ok = TryInfo(name, row.id, fi);
    ErrClear();
    if (ok && HasMedia(fi)) return row.id;
  }
  return FF_AUTO;
}

void Derive(QUniInfo& info) {
  QVideoBlock& v = info.video;
  v.size = double(v.width) * v.height * v.bytesPerPixel * v.frames;
  v.duration = Ratio(v.frames, v.frameRate);
  QAudioBlock& a = info.audio;
  a.samplesPerSec = a.decodedFormat.samplesPerSec;
  a.channels = a.decodedFormat.channels;
  a.bitsPerSample = a.decodedFormat.bitsPerSample;
  a.blockAlign = a.decodedFormat.blockAlign;
  a.size = double(a.frames) * a.blockAlign;
  a.duration = Ratio(a.frames, a.samplesPerSec);
}

void ScanSequence(QUniInfo& info) {
  QSeqName& seq = info.seq;
  if (!SeqSplit(info.name, seq)) return;
  int64_t size = info.size;
  info.size = 0;
  seq.count = 0;
  do {
    ++seq.count;
    info.size += size;
  } while (SeqProbe(seq.suffix, seq.prefix, seq.firstNumber + seq.count, seq.digitWidth, info.video, size));
  if (seq.count > 1) {
    info.kind = UNI_SEQUENCE;
    info.video.frames = seq.count;
  }
}

bool VideoReadable(const QUniHandle& h) { return h.video.videoReadable != 0; }
bool AudioReadable(const QUniHandle& h) { return h.audio.audioReadable != 0; }

int32_t SaveFlags(int32_t format) {
  const int32_t flags = FFGetFlags(format, FF_SAVE_TABLE);
  return flags == FF_AUTO ? 0 : flags;
}

int32_t DecimalDigits(int32_t n) {
  int32_t digits = 1;
  for (; n >= 10; n /= 10) ++digits;
  return digits;
}

}  // namespace

bool SeqProbe(std::string_view suffix, std::string_view prefix, int32_t number, int32_t digitWidth,
              const QVideoBlock& reference, int64_t& size) {
  QSeqName seq;
  seq.prefix = prefix;
  seq.suffix = suffix;
  seq.firstNumber = number;
  seq.digitWidth = digitWidth;
  QffInfo fi;
  const std::string name = SeqMakeName(seq, 1);
  const bool ok = Readable(name) && TryInfo(name, FF_AUTO, fi);
  ErrClear();
  size = fi.fileSize;
  return ok && fi.video.width == reference.width && fi.video.height == reference.height &&
         fi.video.bpp == reference.bpp && reference.frames == 1 && reference.videoReadable;
}

bool UniInfo(std::string_view name, QUniInfo& info, bool scanSequence) {
  GuardedSilent("ConForm.UniInfo", [&] {
    info = QUniInfo{};
    CheckPath(name);
    int32_t id = FFGetId(name, FF_LOAD_TABLE);
    QffInfo fi;
    const bool ok = TryInfo(name, id, fi);
    const int32_t category = ErrCategory(), code = ErrCode();
    // The probes below replace the text of a library's message.
    const std::string text = ErrLastMessage();
    ErrClear();
    if (!ok || !HasMedia(fi)) {
      QffInfo probed;
      const int32_t found = ProbeContent(name, id, probed);
      if (found != FF_AUTO) {
        id = found;
        fi = probed;
      } else if (category == 14 && code == 2) {
        ErrSetText(2, "Unknown file format: " + std::string(name));
      } else if (!ok) {
        SetLastFileName(name);
        ErrSetFull(category, code, text);
      }
    }
    info.format = id;
    info.name = name;
    info.formatLabel = fi.filterLabel;
    info.size = fi.fileSize;
    info.video = fi.video;
    info.audio = fi.audio;
    info.maxDataRate = fi.maxDataRate;
    info.kind = UniKind(id, info.video.frames);
    if (scanSequence && info.kind == UNI_STILL) ScanSequence(info);
    Derive(info);
  });
  if (ErrNone()) {
    g_problem = QUniProblem{};
    return true;
  }
  g_problem = QUniProblem{ErrCategory(), ErrCode(), ErrLastMessage(), std::string(name)};
  ErrClear();
  WarnSet(6, 9);
  return false;
}

const QUniProblem& UniLastProblem() { return g_problem; }

void UniRaiseLastProblem() {
  SetLastFileName(g_problem.fileName);
  ErrSetFull(g_problem.category, g_problem.code, g_problem.text);
}

std::string UniGetFileName(const QUniInfo& info, int32_t index) {
  switch (info.kind) {
    case UNI_STILL:
    case UNI_MOVIE:
      return info.name;
    case UNI_SEQUENCE:
      return SeqMakeName(info.seq, index);
    default:
      return "Unknown";
  }
}

void UniOpen(QUniHandle& h, const QUniInfo& info) {
  Guarded("ConForm.UniOpen", [&] {
    UniClose(h);
    h.format = info.format;
    h.kind = info.kind;
    h.name = info.name;
    h.video = info.video;
    h.audio = info.audio;
    switch (h.kind) {
      case UNI_STILL:
        break;
      case UNI_SEQUENCE:
        h.seq = info.seq;
        break;
      case UNI_MOVIE:
        MviOpen(h.movie, h.name, h.format);
        break;
      default:
        ErrSet(16, 1);
        break;
    }
  });
}

void UniImgSetPos(QUniHandle& h, int32_t frame) {
  Guarded("ConForm.UniImgSetPos", [&] {
    if (!VideoReadable(h)) {
      ErrSet(12, 5);
      return;
    }
    switch (h.kind) {
      case UNI_STILL:
      case UNI_SEQUENCE:
        break;
      case UNI_MOVIE:
        MviImgSetPos(h.movie, frame);
        break;
      default:
        ErrSet(16, 1);
        break;
    }
  });
}

void UniImgLoad(QUniHandle& h, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("ConForm.UniImgLoad", [&] {
    if (!VideoReadable(h)) {
      ErrSet(12, 5);
      return;
    }
    switch (h.kind) {
      case UNI_STILL:
        ImgLoad(h.name, img, h.format);
        h.currentFrame = 1;
        break;
      case UNI_SEQUENCE: {
        // Frame 0 is the next member, as it is for movies.
        const int32_t member = frame == 0 ? h.currentFrame + 1 : frame;
        ImgLoad(SeqMakeName(h.seq, member), img, h.format);
        h.currentFrame = member;
        break;
      }
      case UNI_MOVIE:
        MviImgLoad(h.movie, img, frame, flags);
        h.currentFrame = *h.movie.current;
        break;
      default:
        ErrSet(16, 1);
        return;
    }
    h.videoTime = Ratio(h.currentFrame - 1, h.video.frameRate);
  });
}

void UniSndLoad(QUniHandle& h, QSndBuf& buffer, int32_t firstSample, int32_t flags, int32_t count) {
  Guarded("ConForm.UniSndLoad", [&] {
    if (!AudioReadable(h)) {
      ErrSet(12, 5);
      return;
    }
    if (h.kind != UNI_MOVIE) {
      ErrSet(16, 1);
      return;
    }
    MviSndLoad(h.movie, buffer, firstSample, flags, count);
    h.samplePos = *h.movie.samplePos;
    h.audioTime = Ratio(h.samplePos, h.audio.decodedFormat.samplesPerSec);
  });
}

void UniCreate(QUniHandle& h, std::string_view name) {
  Guarded("ConForm.UniCreate", [&] {
    UniClose(h);
    h.format = FFGetId(name, FF_SAVE_TABLE);
    h.kind = UniKind(h.format, 1);
    h.name = name;
    h.video.frames = 1;
    FFSaveInit(h.saveOpt);
    h.saveOpt.valid = RF_FALSE;
  });
}

void UniSetSaveOptions(QUniHandle& h, const QffSaveOpt& opts) {
  h.saveOpt = opts;
  // Options that name no format leave the format of the extension in place.
  if (opts.format != 0) h.format = opts.format;
}

int32_t UniSetFrameCount(QUniHandle& h, int32_t frames) {
  h.video.frames = frames;
  h.kind = UniKind(h.format, frames);
  return h.kind;
}

void UniSetFrameRate(QUniHandle& h, double framesPerSecond) {
  h.outFrameRate = framesPerSecond;
  h.video.frameRate = framesPerSecond;
}

void UniSetInterleave(QUniHandle& h, int32_t framesPerChunk) { h.framesPerChunk = framesPerChunk; }

void UniCreateCheck_(QUniHandle& h) {
  Guarded("ConForm.UniCreateCheck_", [&] {
    if (h.created) return;
    h.kind = UniKind(h.format, h.video.frames);
    const int32_t flags = SaveFlags(h.format);
    h.video.videoReadable = (flags & FFF_PICTURES) ? RF_TRUE : RF_FALSE;
    h.audio.audioReadable = (flags & FFF_SOUND) ? RF_TRUE : RF_FALSE;
    FFApplyWriterSettings(h.saveOpt);
    switch (h.kind) {
      case UNI_STILL:
      case UNI_SEQUENCE: {
        const bool numbered = SeqSplit(h.name, h.seq);
        if (!numbered && h.video.frames < 2) break;
        if (h.seq.digitWidth == 0) {
          h.seq.firstNumber = 0;
          h.seq.digitWidth = DecimalDigits(h.video.frames);
        }
        h.seq.count = 0;
        h.kind = UNI_SEQUENCE;
        break;
      }
      case UNI_MOVIE:
        MviCreate(h.movie, h.name, h.outFrameRate, h.framesPerChunk, h.video.frames);
        break;
      default:
        ErrSet(16, 1);
        return;
    }
    h.created = RF_TRUE;
  });
}

void UniImgSave(QUniHandle& h, Qimg& img) {
  Qimg copy;
  Guarded("ConForm.UniImgSave", [&] {
    if (!h.videoFixed) {
      h.video.width = img.width;
      h.video.height = img.height;
      h.video.bytesPerPixel = img.bytesPerPixel;
      h.video.bpp = img.bpp;
      h.videoFixed = RF_TRUE;
    }
    UniCreateCheck_(h);
    if (!VideoReadable(h)) {
      ErrSet(12, 5);
      return;
    }
    Qimg* picture = &img;
    if (img.bpp != h.video.bpp) {
      ImgConvBpp(img, copy, h.video.bpp);
      picture = &copy;
    }
    if (picture->width != h.video.width || picture->height != h.video.height) {
      ImgResize(*picture, copy, h.video.width, h.video.height);
      if (copy.bpp != h.video.bpp) ImgConvBpp(copy, copy, h.video.bpp);
      picture = &copy;
    }
    switch (h.kind) {
      case UNI_STILL:
        ImgSave(h.name, *picture, h.format);
        h.currentFrame = 1;
        break;
      case UNI_SEQUENCE:
        if (h.seq.count == 0) h.name = SeqMakeName(h.seq, 1);
        ImgSave(SeqMakeName(h.seq, h.seq.count + 1), *picture, h.format);
        ++h.seq.count;
        h.currentFrame = h.seq.count;
        break;
      case UNI_MOVIE:
        MviImgSave(h.movie, *picture);
        h.currentFrame = *h.movie.current;
        break;
      default:
        ErrSet(16, 1);
        break;
    }
  });
  ImgFree(copy);
}

void UniSndSave(QUniHandle& h, const QSndBuf& buffer) {
  Guarded("ConForm.UniSndSave", [&] {
    if (!h.audioFixed) {
      h.audio.decodedFormat = buffer.format;
      h.audio.samplesPerSec = buffer.format.samplesPerSec;
      h.audio.channels = buffer.format.channels;
      h.audio.bitsPerSample = buffer.format.bitsPerSample;
      h.audioFixed = RF_TRUE;
    }
    UniCreateCheck_(h);
    if (!AudioReadable(h)) {
      ErrSet(12, 5);
      return;
    }
    if (h.kind != UNI_MOVIE) {
      ErrSet(16, 1);
      return;
    }
    MviSndSave(h.movie, buffer);
    h.samplePos = *h.movie.samplePos;
    h.audioTime = Ratio(h.samplePos, h.audio.samplesPerSec);
  });
}

void UniClose(QUniHandle& h) {
  Guarded("ConForm.UniClose", [&] {
    MonSetCleanup([&] { h = QUniHandle{}; });
    if (h.kind == UNI_MOVIE)
      MviClose(h.movie);
    else if (h.kind < UNI_UNKNOWN || h.kind > UNI_MOVIE)
      ErrSet(16, 1);
    h = QUniHandle{};
  });
}

}  // namespace rf
