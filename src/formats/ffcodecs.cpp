// One row per format with its entry points; formats join the table with their units.
#include "formats/ffcodecs.h"

#include "formats/ff_avi.h"
#include "formats/ff_bay.h"
#include "formats/ff_bmp.h"
#include "formats/ff_flc.h"
#include "formats/ff_gif.h"
#include "formats/ff_hav.h"
#include "formats/ff_jpg.h"
#include "formats/ff_mpg.h"
#include "formats/ff_pcx.h"
#include "formats/ff_png.h"
#include "formats/ff_pnm.h"
#include "formats/ff_ras.h"
#include "formats/ff_sgi.h"
#include "formats/ff_tga.h"
#include "formats/ff_tif.h"
#include "formats/ff_wav.h"
#include "formats/ff_xpm.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

struct CodecRow {
  int32_t id;
  void (*info)(std::string_view name, QffInfo& info);
  void (*load)(std::string_view name, Qimg& img);
  void (*save)(std::string_view name, const Qimg& img);
  // The writer's module setting and the writer parameter of the save options that feeds it.
  void (*setParam)(int32_t value);
  int32_t QffSaveOpt::*param;
  // A second setting, for writers that take two.
  void (*setParamB)(int32_t value) = nullptr;
  int32_t QffSaveOpt::*paramB = nullptr;
};

constexpr int32_t QffSaveOpt::*kParam1 = &QffSaveOpt::param1;

const CodecRow kCodecs[] = {
    {FF_TGA, TGAInfo, TGALoad_, TGASave_, TGASetCompression, kParam1},
    {FF_PCX, PCXInfo, PCXLoad_, PCXSave_, nullptr, nullptr},
    {FF_BMP, DIBInfo, DIBLoad_, DIBSave_, nullptr, nullptr},
    {FF_FLC, FLCInfo, nullptr, nullptr, nullptr, nullptr},
    {FF_HAV, HAVInfo, nullptr, nullptr, [](int32_t v) { HAVSetCodec(v); }, kParam1,
     [](int32_t v) { HAVSetKeyFrames(v); }, &QffSaveOpt::param4},
    {FF_GIF, GIFInfo, GIFLoad_, GIFSave_, nullptr, nullptr},
    {FF_JPG, JPGInfo, JPGLoad, JPGSave, JPGSetQuality, &QffSaveOpt::param2},
    {FF_PNG, PNGInfo, PNGLoad, PNGSave, PNGSetLevel, kParam1},
    {FF_TIF, TIFInfo, TIFLoad, TIFSave, TIFSetCompression, kParam1},
    {FF_AVI, AviInfo, nullptr, nullptr, nullptr, nullptr},
    {FF_MPG, MpgInfo, nullptr, nullptr, nullptr, nullptr},
    {FF_WAV, WAVInfo, nullptr, nullptr, nullptr, nullptr},
    {FF_SGI, SGIInfo, SGILoad, SGISave, SGISetCompression, kParam1},
    {FF_RAS, RASInfo, RASLoad, RASSave, RASSetCompression, kParam1},
    {FF_PNM, PNMInfo, PNMLoad, PNMSave, PNMSetEncoding, kParam1},
    {FF_BAY, BayInfo, BayLoad, nullptr, nullptr, nullptr},
    {FF_XPM, XPMInfo, XPMLoad, XPMSave, nullptr, nullptr},
    {FF_MOV, MovInfo, nullptr, nullptr, nullptr, nullptr},
};

const CodecRow* Find(int32_t id) {
  for (const CodecRow& r : kCodecs)
    if (r.id == id) return &r;
  return nullptr;
}

bool Known(int32_t id) { return (id >= FF_TGA && id <= FF_XPM) || id == FF_MOV; }

}  // namespace

void FFInfo(std::string_view name, int32_t id, QffInfo& info) {
  Guarded("ConForm.FFInfo", [&] {
    info = QffInfo{};
    const int32_t found = FFGetId(name, FF_LOAD_TABLE);
    if (id == FF_AUTO) id = found;
    const CodecRow* row = Find(id);
    if (!row || !row->info) {
      ErrSet(14, Known(id) ? 5 : 2);
      return;
    }
    row->info(name, info);
    info.format = id;
    info.filterLabel = FFGetLabel(id);
    if (info.video.compression.empty()) info.video.compression = "Uncompressed, full frames";
    if (info.audio.compression.empty()) info.audio.compression = "PCM, uncompressed";
  });
}

void ImgLoad(std::string_view name, Qimg& img, int32_t id) {
  Guarded("ConForm.ImgLoad", [&] {
    if (id == FF_AUTO) id = FFGetId(name, FF_LOAD_TABLE);
    const CodecRow* row = Find(id);
    if (!row || !row->load) {
      ErrSet(7, 2);
      return;
    }
    row->load(name, img);
  });
}

void ImgSave(std::string_view name, Qimg& img, int32_t id) {
  Guarded("ConForm.ImgSave", [&] {
    if (!ImgValid(img)) {
      ErrSet(7, 9);
      return;
    }
    if (id == FF_AUTO) id = FFGetId(name, FF_SAVE_TABLE);
    const CodecRow* row = Find(id);
    if (!row || !row->save) {
      ErrSet(7, 2);
      return;
    }
    row->save(name, img);
  });
}

void FFApplyWriterSettings(const QffSaveOpt& opts) {
  if (!opts.valid) return;
  if (opts.format == FF_AVI) {
    // Options that only name a compressor get its defaults.
    aviCodecsRec avi = opts.avi;
    if (avi.acceptedDepth == 0) AviSettingsInit(avi, avi.fourcc);
    AviSettingsApply(avi);
  }
  if (opts.format == FF_MPG || opts.format == FF_MOV) MpgApplySettings(opts);
  const CodecRow* row = Find(opts.format);
  if (row && row->setParam) row->setParam(opts.*row->param);
  if (row && row->setParamB) row->setParamB(opts.*row->paramB);
}

int32_t FFSavePrepare(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth) {
  int32_t result = FFSaveDepth(opts.format, depth);
  switch (opts.format) {
    case FF_TGA:
      opts.param1 = opts.tgaCompression;
      break;
    case FF_AVI:
      result = opts.avi.acceptedDepth > 0 ? int32_t(opts.avi.acceptedDepth) : FF_AUTO;
      break;
    case FF_HAV:
      opts.param1 = opts.havCodec;
      opts.param4 = opts.havSetting;
      break;
    case FF_JPG:
      opts.param2 = opts.jpegQuality;
      break;
    case FF_PNG:
      opts.param1 = opts.pngLevel;
      break;
    case FF_TIF:
      opts.param1 = opts.tiffCompression;
      break;
    case FF_MPG:
      opts.param1 = opts.mpegFormat;
      opts.param3 = opts.mpegRate;
      break;
    case FF_MOV:
      opts.param1 = opts.param1 == FF_AUTO ? 23 : opts.param1;  // the H.264 quality
      break;
    case FF_SGI:
      opts.param1 = opts.sgiCompression;
      break;
    case FF_RAS:
      opts.param1 = opts.rasCompression;
      break;
    case FF_PNM:
      opts.param1 = opts.pnmEncoding;
      break;
    default:
      break;
  }
  return result;
}

}  // namespace rf
