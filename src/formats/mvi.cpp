// The movie dispatch table and the rules every movie format shares (trace labels "ConForm.Mvi*").
#include "formats/mvi.h"

#include <algorithm>
#include <new>

#include "formats/ff_avi.h"
#include "formats/ff_flc.h"
#include "formats/ff_gif.h"
#include "formats/ff_hav.h"
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

// FLIC: pictures only.
template <class Label>
void AllocFlc(QMviHandle& mv, Label label) {
  _memalloc_(mv.FLC, int32_t(sizeof(QFlcHandle)), MEM_NEW, label);
  new (mv.FLC) QFlcHandle{};
  BindDefaults(mv);
  QFlcHandle& ff = *mv.FLC;
  mv.width = &ff.width;
  mv.height = &ff.height;
  mv.bytesPerPixel = &ff.bytesPerPixel;
  mv.bpp = &ff.bpp;
  mv.frameRate = &ff.frameRate;
  mv.frames = &ff.frames;
  mv.current = &ff.current;
  mv.writing = &ff.writing;
}

void FlcOpen(QMviHandle& mv, std::string_view name) {
  AllocFlc(mv, "ConForm.MviOpen.mf.FLC");
  FLCOpen(*mv.FLC, name);
}

void FlcCreate(QMviHandle& mv, std::string_view name, double rate, int32_t, int32_t) {
  AllocFlc(mv, "ConForm.MviCreate.mf.FLC");
  FLCCreate(*mv.FLC, name, rate);
}

// Every frame after the first is a delta: position from the start, stepping over the frames.
void FlcSetPos(QMviHandle& mv, int32_t frame) {
  Qimg unused;
  FLCRewind(*mv.FLC);
  while (mv.FLC->current < frame) FLCLoadNext(*mv.FLC, unused, true);
}

void FlcImgLoad(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) { FLCLoad(*mv.FLC, img, frame, flags); }

void FlcImgSave(QMviHandle& mv, Qimg& img) { FLCSave(*mv.FLC, img); }

void FlcClose(QMviHandle& mv) { FLCClose(*mv.FLC); }

// AVI: pictures and sound; positioning only sets the next frame to decode.
template <class Label>
void AllocAvi(QMviHandle& mv, Label label) {
  _memalloc_(mv.AVI, int32_t(sizeof(QAviHandle)), MEM_NEW, label);
  new (mv.AVI) QAviHandle{};
  QAviHandle& af = *mv.AVI;
  mv.width = &af.width;
  mv.height = &af.height;
  mv.bytesPerPixel = &af.bytesPerPixel;
  mv.bpp = &af.bpp;
  mv.frameRate = &af.frameRate;
  mv.frames = &af.frames;
  mv.current = &af.nextFrame;
  mv.samplePos = &af.samplePos;
  mv.writing = &af.writing;
  mv.hasAudio = RF_TRUE;
  mv.audioFormat = &af.sl.decodedFormat;
}

void AviOpenRow(QMviHandle& mv, std::string_view name) {
  AllocAvi(mv, "ConForm.MviOpen.mf.AVI");
  AviOpen(*mv.AVI, name);
}

void AviCreateRow(QMviHandle& mv, std::string_view name, double rate, int32_t framesPerChunk, int32_t) {
  AllocAvi(mv, "ConForm.MviCreate.mf.AVI");
  AviCreate(*mv.AVI, name, framesPerChunk, rate);
}

void AviSetPosRow(QMviHandle& mv, int32_t frame) { mv.AVI->nextFrame = std::max(0, frame - 1); }

void AviImgLoadRow(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) { AviImgLoad(*mv.AVI, img, frame, flags); }

void AviSndLoadRow(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  AviSndLoad(*mv.AVI, buffer, first, flags, count);
}

void AviImgSaveRow(QMviHandle& mv, Qimg& img) { AviImgSave(*mv.AVI, img); }

void AviSndSaveRow(QMviHandle& mv, const QSndBuf& buffer) { AviSndSave(*mv.AVI, buffer); }

void AviCloseRow(QMviHandle& mv) { AviClose(*mv.AVI); }
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

// HAV: pictures, and sound when the file has it (a new file can take both).
template <class Label>
void AllocHav(QMviHandle& mv, Label label) {
  _memalloc_(mv.HAV, int32_t(sizeof(QHavHandle)), MEM_NEW, label);
  new (mv.HAV) QHavHandle{};
}

void BindHav(QMviHandle& mv) {
  QHavHandle& hv = *mv.HAV;
  mv.width = &hv.width;
  mv.height = &hv.height;
  mv.bytesPerPixel = &hv.bytesPerPixel;
  mv.bpp = &hv.bpp;
  mv.frameRate = &hv.frameRate;
  mv.frames = &hv.frames;
  mv.current = &hv.current;
  mv.samplePos = &hv.soundPos;
  mv.writing = &hv.writing;
  mv.hasAudio = hv.writing || hv.soundFlags != 0 ? RF_TRUE : RF_FALSE;
  mv.audioFormat = &hv.soundFormat;
}

void HavOpen(QMviHandle& mv, std::string_view name) {
  AllocHav(mv, "ConForm.MviOpen.mf.HAV");
  HAVOpen(*mv.HAV, name);
  BindHav(mv);
}

void HavCreate(QMviHandle& mv, std::string_view name, double rate, int32_t, int32_t) {
  AllocHav(mv, "ConForm.MviCreate.mf.HAV");
  HAVCreate(*mv.HAV, name, rate);
  BindHav(mv);
}

void HavSetPos(QMviHandle& mv, int32_t frame) { HAVImgSetPos(*mv.HAV, frame); }

void HavImgLoad(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) { HAVImgLoad(*mv.HAV, img, frame, flags); }

void HavSndLoad(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count) {
  HAVSndLoad(*mv.HAV, buffer, first, flags, count);
}

void HavImgSave(QMviHandle& mv, Qimg& img) { HAVImgSave(*mv.HAV, img); }

void HavSndSave(QMviHandle& mv, const QSndBuf& buffer) { HAVSndSave(*mv.HAV, buffer); }

void HavClose(QMviHandle& mv) { HAVClose(*mv.HAV); }

// GIF: pictures only, read or written.
template <class Label>
void AllocGif(QMviHandle& mv, Label label) {
  _memalloc_(mv.GIF, int32_t(sizeof(QGifHandle)), MEM_NEW, label);
  new (mv.GIF) QGifHandle{};
  BindDefaults(mv);
  mv.width = &mv.GIF->width;
  mv.height = &mv.GIF->height;
  mv.bytesPerPixel = &mv.GIF->bytesPerPixel;
  mv.bpp = &mv.GIF->bpp;
  mv.frameRate = &mv.GIF->frameRate;
  mv.frames = &mv.GIF->frames;
  mv.current = &mv.GIF->decoded;
  mv.writing = &mv.GIF->writing;
}

void GifOpen(QMviHandle& mv, std::string_view name) {
  AllocGif(mv, "ConForm.MviOpen.mf.GIF");
  GIFOpen(*mv.GIF, name, false);
}

void GifCreate(QMviHandle& mv, std::string_view name, double rate, int32_t, int32_t) {
  AllocGif(mv, "ConForm.MviCreate.mf.GIF");
  GIFCreate(*mv.GIF, name, rate);
}

void GifImgLoad(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags) { GIFLoad(*mv.GIF, img, frame, flags); }

void GifImgSave(QMviHandle& mv, Qimg& img) { GIFSave(*mv.GIF, img); }

void GifClose(QMviHandle& mv) { GIFClose(*mv.GIF); }

// Movie formats in identifier order.
const MviRow kMovies[] = {
    {FF_GIF, GifOpen, GifCreate, nullptr, GifImgLoad, nullptr, GifImgSave, nullptr, GifClose},
    {FF_FLC, FlcOpen, FlcCreate, FlcSetPos, FlcImgLoad, nullptr, FlcImgSave, nullptr, FlcClose},
    {FF_AVI, AviOpenRow, AviCreateRow, AviSetPosRow, AviImgLoadRow, AviSndLoadRow, AviImgSaveRow, AviSndSaveRow,
     AviCloseRow},
    {FF_HAV, HavOpen, HavCreate, HavSetPos, HavImgLoad, HavSndLoad, HavImgSave, HavSndSave, HavClose},
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
