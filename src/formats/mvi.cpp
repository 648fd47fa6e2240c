// The movie dispatch table and the rules every movie format shares (trace labels "ConForm.Mvi*").
#include "formats/mvi.h"

#include <new>

#include "formats/ff_mpg.h"
#include "formats/ff_wav.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

const int32_t kZero = 0;
const double kZeroRate = 0;

// One movie format's entry points; a null entry is the table's "nothing" (or "empty" for sound).
struct MviRow {
  int32_t id;
  void (*open)(QMviHandle& mv, std::string_view name);
  void (*create)(QMviHandle& mv, std::string_view name, double rate, int32_t framesPerChunk, int32_t frames);
  void (*setPos)(QMviHandle& mv, int32_t frame);
  void (*imgLoad)(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags);
  void (*sndLoad)(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count);
  void (*imgSave)(QMviHandle& mv, Qimg& img);
  void (*sndSave)(QMviHandle& mv, const QSndBuf& buffer);
  void (*close)(QMviHandle& mv);
};

// Points the handle's fields at the format's handle; fields it lacks read as zero.
void BindDefaults(QMviHandle& mv) {
  mv.width = mv.height = mv.bytesPerPixel = mv.bpp = &kZero;
  mv.frames = mv.current = mv.samplePos = mv.writing = &kZero;
  mv.frameRate = &kZeroRate;
}

// WAV: sound only.
template <class Label>
void AllocWav(QMviHandle& mv, Label label) {
  _memalloc_(mv.WAV, int32_t(sizeof(QWavHandle)), MEM_NEW, label);
  new (mv.WAV) QWavHandle{};
  BindDefaults(mv);
  mv.samplePos = &mv.WAV->position;
  mv.writing = &mv.WAV->writing;
  mv.hasAudio = RF_TRUE;
  mv.audioFormat = &mv.WAV->sl.decodedFormat;
}

void WavOpen(QMviHandle& mv, std::string_view name) {
  AllocWav(mv, "ConForm.MviOpen.mf.WAV");
  WAVOpen(*mv.WAV, name);
}

void WavCreate(QMviHandle& mv, std::string_view name, double, int32_t, int32_t) {
  AllocWav(mv, "ConForm.MviCreate.mf.WAV");
  WAVCreate(*mv.WAV, name);
}

void WavSndLoad(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  WAVLoad(*mv.WAV, buffer, first, flags, count);
}

void WavSndSave(QMviHandle& mv, const QSndBuf& buffer) { WAVSave(*mv.WAV, buffer); }

void WavClose(QMviHandle& mv) { WAVClose(*mv.WAV); }

// MPEG video and audio, MP2 and the other containers share the MPEG unit.
template <class Label>
void AllocMpg(QMviHandle& mv, Label label) {
  _memalloc_(mv.MPG, int32_t(sizeof(QMpgHandle)), MEM_NEW, label);
  new (mv.MPG) QMpgHandle{};
  QMpgHandle& h = *mv.MPG;
  mv.width = &h.width;
  mv.height = &h.height;
  mv.bytesPerPixel = &h.bytesPerPixel;
  mv.bpp = &h.bpp;
  mv.frameRate = &h.frameRate;
  mv.frames = &h.frames;
  mv.current = &h.current;
  mv.samplePos = &h.samplePos;
  mv.writing = &h.writing;
  mv.hasAudio = RF_TRUE;
  mv.audioFormat = &h.soundFormat;
}

void MpgOpenRow(QMviHandle& mv, std::string_view name) {
  AllocMpg(mv, "ConForm.MviOpen.mf.MPG");
  MpgOpen(*mv.MPG, name, 0);
}

void MpgCreateRow(QMviHandle& mv, std::string_view name, double rate, int32_t, int32_t frames) {
  AllocMpg(mv, "ConForm.MviCreate.mf.MPG");
  MpgCreate(*mv.MPG, name, rate, frames, mv.format);
}

void MpgImgLoadRow(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) { MpgImgLoad(*mv.MPG, img, frame, flags); }

void MpgSndLoadRow(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  MpgSndLoad(*mv.MPG, buffer, first, flags, count);
}

void MpgImgSaveRow(QMviHandle& mv, Qimg& img) { MpgImgSave(*mv.MPG, img); }

void MpgSndSaveRow(QMviHandle& mv, const QSndBuf& buffer) { MpgSndSave(*mv.MPG, buffer); }

void MpgCloseRow(QMviHandle& mv) { MpgClose(*mv.MPG); }

// Movie formats in identifier order. GIF, FLIC, AVI, HAV and MPEG join with their units.
const MviRow kMovies[] = {
    {FF_MPG, MpgOpenRow, MpgCreateRow, nullptr, MpgImgLoadRow, MpgSndLoadRow, MpgImgSaveRow, MpgSndSaveRow,
     MpgCloseRow},
    {FF_WAV, WavOpen, WavCreate, nullptr, nullptr, WavSndLoad, nullptr, WavSndSave, WavClose},
    {FF_MP2, nullptr, MpgCreateRow, nullptr, nullptr, nullptr, nullptr, MpgSndSaveRow, MpgCloseRow},
    {FF_MOV, MpgOpenRow, MpgCreateRow, nullptr, MpgImgLoadRow, MpgSndLoadRow, MpgImgSaveRow, MpgSndSaveRow,
     MpgCloseRow},
};

const MviRow* Find(int32_t id) {
  for (const MviRow& r : kMovies)
    if (r.id == id) return &r;
  return nullptr;
}

bool Writing(const QMviHandle& mv) { return mv.writing && *mv.writing; }

void CheckFrame(const QMviHandle& mv, int32_t frame) {
  if (mv.frames && *mv.frames < frame) ErrSet(12, 7);
}

// Frees whichever sub-handle is set and zeroes the handle.
void ReleaseAndZero(QMviHandle& mv) {
  MemFree(mv.GIF);
  MemFree(mv.FLC);
  MemFree(mv.AVI);
  MemFree(mv.HAV);
  MemFree(mv.MPG);
  MemFree(mv.WAV);
  mv = QMviHandle{};
}

}  // namespace

void MviOpen(QMviHandle& mv, std::string_view name, int32_t format) {
  Guarded("ConForm.MviOpen", [&] {
    MviClose(mv);
    MonSetCleanup([&] { ReleaseAndZero(mv); });
    mv.format = format == FF_AUTO ? FFGetId(name, FF_LOAD_TABLE) : format;
    const MviRow* row = Find(mv.format);
    if (!row || !row->open) {
      ErrSet(12, 1);
      return;
    }
    row->open(mv, name);
  });
}

void MviCreate(QMviHandle& mv, std::string_view name, double frameRate, int32_t framesPerChunk, int32_t frames) {
  Guarded("ConForm.MviCreate", [&] {
    MviClose(mv);
    MonSetCleanup([&] { ReleaseAndZero(mv); });
    mv.format = FFGetId(name, FF_SAVE_TABLE);
    const MviRow* row = Find(mv.format);
    if (!row || !row->create) {
      ErrSet(12, 1);
      return;
    }
    row->create(mv, name, frameRate, framesPerChunk, frames);
  });
}

void MviImgSetPos(QMviHandle& mv, int32_t frame) {
  Guarded("ConForm.MviImgSetPos", [&] {
    const MviRow* row = Find(mv.format);
    if (!row || !row->imgLoad || Writing(mv)) return;
    CheckFrame(mv, frame);
    if (row->setPos) row->setPos(mv, frame);
  });
}

void MviImgLoad(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("ConForm.MviImgLoad", [&] {
    // Formats without pictures ignore picture requests, and a movie being written is not read.
    const MviRow* row = Find(mv.format);
    if (!row || !row->imgLoad || Writing(mv)) return;
    CheckFrame(mv, frame);
    row->imgLoad(mv, img, frame, flags);
  });
}

void MviSndLoad(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  Guarded("ConForm.MviSndLoad", [&] {
    const MviRow* row = Find(mv.format);
    if (row && row->sndLoad)
      row->sndLoad(mv, buffer, first, flags, count);
    else
      buffer.count = 0;
  });
}

void MviImgSave(QMviHandle& mv, Qimg& img) {
  Guarded("ConForm.MviImgSave", [&] {
    if (!Writing(mv)) {
      ErrSet(12, 2);
      return;
    }
    const MviRow* row = Find(mv.format);
    if (row && row->imgSave) row->imgSave(mv, img);
  });
}

void MviSndSave(QMviHandle& mv, const QSndBuf& buffer) {
  Guarded("ConForm.MviSndSave", [&] {
    const MviRow* row = Find(mv.format);
    if (row && row->sndSave) row->sndSave(mv, buffer);
  });
}

void MviClose(QMviHandle& mv) {
  Guarded("ConForm.MviClose", [&] {
    MonSetCleanup([&] { ReleaseAndZero(mv); });
    const MviRow* row = Find(mv.format);
    if (row && row->close && (mv.GIF || mv.FLC || mv.AVI || mv.HAV || mv.MPG || mv.WAV)) row->close(mv);
    ReleaseAndZero(mv);
  });
}

}  // namespace rf
