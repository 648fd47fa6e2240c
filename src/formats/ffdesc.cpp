// The load and save tables of every format and the lookups over them.
#include "formats/ffdesc.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace rf {
namespace {

struct Row {
  int32_t id;
  int32_t flags;
  const char* extensions;
  const char* shortName;
  const char* description;
  const char* filterLabel;
};

// Order matters: extension lookup takes the first matching row, and filters list rows in order.
const Row kLoadTable[FF_LOAD_ROWS] = {
    {FF_HAV, 26, ".hav", "HAV", "High quality Audio Video", "HAV, High quality Audio Video"},
    {FF_GIF, 11, ".gif.giff", "GIF", "Graphics Interchange Format", "GIF, Graphics Interchange Format"},
    {FF_BMP, 9, ".bmp.dib.rle", "BMP", "Windows Device Independent Bitmap",
     "BMP/DIB, Windows Device Independent Bitmap"},
    {FF_FLC, 10, ".flc.fli", "FLIC", "Autodesk FLIC", "FLIC/FLIC-Pro, Autodesk"},
    {FF_RAS, 9, ".ras.sun", "RGB", "Sun Raster Image", "RAS, Sun Raster Image"},
    {FF_SGI, 9, ".rgb.rgba.bw.sgi", "SGI", "Silicon Graphics Image", "RGB, Silicon Graphics Image"},
    {FF_PNM, 9, ".pnm.ppm.pgm.pbm", "PNM", "Portable Image", "PNM, Portable Image"},
    {FF_PCX, 9, ".pcx", "PCX", "Zsoft Paintbrush", "PCX, Zsoft Paintbrush"},
    {FF_PNG, 9, ".png", "PNG", "Portable Network Graphics", "PNG, Portable Network Graphics"},
    {FF_AVI, 26, ".avi", "AVI", "Windows Audio Video Interleaved", "AVI, Windows Audio Video Interleaved"},
    {FF_WAV, 20, ".wav", "WAV", "Windows Wave Sound", "WAV, Windows Wave Sound"},
    {FF_JPG, 9, ".jpg.jpeg.jif.jfif.jpe.J", "JPEG", "Joint Photographic Experts Group",
     "JPEG, Joint Photographic Experts Group"},
    {FF_TIF, 9, ".tif.tiff", "TIFF", "Tagged Image File Format", "TIFF, Tagged Image File Format"},
    {FF_MPG, 26, ".mpg.mpeg.m1v.m2v.mpe", "MPEG", "Moving Pictures Experts Group",
     "MPEG, Moving Pictures Experts Group"},
    {FF_TGA, 9, ".tga", "TGA", "Truevision Targa", "TGA, Truevision Targa"},
    {FF_BAY, 9, ".bay", "BAY", "Bayer Image", "BAY, Bayer Image"},
    {FF_XPM, 9, ".xpm", "XPM", "X PixMap", "XPM, X PixMap"},
    {FF_MPG, 20, ".mp3.mpa.mp2", "MPA", "MPEG Audio Layer I/II/III", "MP3/MPA, MPEG Audio Layer I/II/III"},
    {FF_MOV, 26, ".mp4.m4v.mov.mkv.webm.3gp.ts", "MP4", "MPEG-4, QuickTime and Matroska movies",
     "MP4/MOV/MKV/WebM, MPEG-4, QuickTime and Matroska movies"},
};

const Row kSaveTable[FF_SAVE_ROWS] = {
    {FF_AVI, 26, ".avi", "AVI", "Windows Audio Video Interleaved", "AVI, Windows Audio Video Interleaved"},
    {FF_BMP, 9, ".bmp.dib", "BMP", "Windows Device Independent Bitmap", "BMP/DIB, Windows Device Independent Bitmap"},
    {FF_FLC, 10, ".flc.fli", "FLIC", "Autodesk FLIC", "FLIC/FLIC-Pro, Autodesk"},
    {FF_GIF, 11, ".gif", "GIF", "Graphics Interchange Format", "GIF, Graphics Interchange Format"},
    {FF_HAV, 26, ".hav", "HAV", "High quality Audio Video", "HAV, High quality Audio Video"},
    {FF_JPG, 9, ".jpg.jpeg", "JPEG", "Joint Photographic Experts Group", "JPEG, Joint Photographic Experts Group"},
    {FF_PCX, 9, ".pcx", "PCX", "Zsoft Paintbrush", "PCX, Zsoft Paintbrush"},
    {FF_PNG, 9, ".png", "PNG", "Portable Network Graphics", "PNG, Portable Network Graphics"},
    {FF_TGA, 9, ".tga", "TGA", "Truevision Targa", "TGA, Truevision Targa"},
    {FF_MPG, 26, ".mpg.mpeg.m1v.m2v", "MPEG", "Moving Pictures Experts Group", "MPEG, Moving Pictures Experts Group"},
    {FF_WAV, 20, ".wav", "WAV", "Windows Wave Sound", "WAV, Windows Wave Sound"},
    {FF_SGI, 9, ".rgb.sgi", "SGI", "Silicon Graphics Image", "RGB, Silicon Graphics Image"},
    {FF_RAS, 9, ".ras.sun", "RGB", "Sun Raster Image", "RAS, Sun Raster Image"},
    {FF_PNM, 9, ".ppm.pnm", "PPM", "Portable PixelMap", "PPM, Portable PixelMap"},
    {FF_TIF, 9, ".tif.tiff", "TIFF", "Tagged Image File Format", "TIFF, Tagged Image File Format"},
    {FF_XPM, 9, ".xpm", "XPM", "X PixMap", "XPM, X PixMap"},
    {FF_MP2, 20, ".mp2", "MPA", "MPEG Audio Layer II", "MP2, MPEG Audio Layer II"},
    {FF_MOV, 26, ".mp4.m4v", "MP4", "MPEG-4 Part 14, H.264 and AAC", "MP4, H.264 video and AAC sound"},
};

// Stored depth per source depth 8, 15, 16, 24, 32 and any other.
struct DepthRow {
  int32_t id;
  int32_t depth[6];
};
const DepthRow kSaveDepths[] = {
    {FF_AVI, {8, 15, 24, 24, 24, 24}},  {FF_BMP, {8, 15, 24, 24, 24, 24}},  {FF_FLC, {8, 8, 8, 8, 8, 8}},
    {FF_HAV, {8, 16, 16, 24, 24, 24}},  {FF_JPG, {24, 24, 24, 24, 24, 24}}, {FF_PCX, {8, 24, 24, 24, 24, 24}},
    {FF_PNG, {8, 24, 24, 24, 24, 24}},  {FF_TGA, {8, 15, 24, 24, 24, 24}},  {FF_MPG, {24, 24, 24, 24, 24, 24}},
    {FF_WAV, {0, 0, 0, 0, 0, 0}},       {FF_SGI, {24, 24, 24, 24, 24, 24}}, {FF_RAS, {8, 24, 24, 24, 24, 24}},
    {FF_PNM, {24, 24, 24, 24, 24, 24}}, {FF_TIF, {8, 24, 24, 24, 24, 24}},  {FF_XPM, {24, 24, 24, 24, 24, 24}},
    {FF_MP2, {0, 0, 0, 0, 0, 0}},       {FF_GIF, {8, 8, 8, 8, 8, 8}},       {FF_MOV, {24, 24, 24, 24, 24, 24}},
};

struct Table {
  const Row* rows;
  int32_t count;
};

Table Select(int32_t table) {
  return table == FF_SAVE_TABLE ? Table{kSaveTable, FF_SAVE_ROWS} : Table{kLoadTable, FF_LOAD_ROWS};
}

QffDesc Describe(const Row& r) { return {r.id, r.flags, r.extensions, r.shortName, r.description, r.filterLabel}; }

// The name's extension with its dot, lower-cased: the text from the last "." after the last "/".
std::string ExtensionOf(std::string_view name) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string MakeFilter(const Table& t, int32_t flagMask, int32_t options) {
  std::string all = "All supported formats|";
  std::vector<std::string> entries;
  for (int32_t i = 0; i < t.count; ++i) {
    const Row& r = t.rows[i];
    if (flagMask != 0 && (r.flags & flagMask) == 0) continue;
    std::string mask, list;
    FFConvExt_(r.extensions, mask, list);
    std::string label = (options & FFO_FILTER_LABEL) ? r.filterLabel : r.shortName;
    if (options & FFO_EXT_LIST) label += " (" + list + ")";
    std::string entry = label + "|" + mask;
    all += mask + ";";
    entries.insert(std::upper_bound(entries.begin(), entries.end(), entry), std::move(entry));
  }
  std::string result;
  if (!(options & FFO_PLAIN) && entries.size() >= 2) {
    all.pop_back();
    result = all + "|";
  }
  for (const auto& e : entries) result += e + "|";
  if (!(options & FFO_PLAIN)) result += "Any file (*.*)|*.*";
  return result;
}

}  // namespace

QffDesc FFGetDesc(std::string_view name, int32_t table) {
  const std::string ext = ExtensionOf(name);
  if (!ext.empty()) {
    const std::string key = ext + ".";
    const Table t = Select(table);
    for (int32_t i = 0; i < t.count; ++i)
      if ((std::string(t.rows[i].extensions) + ".").find(key) != std::string::npos) return Describe(t.rows[i]);
  }
  return QffDesc{};
}

int32_t FFGetId(std::string_view name, int32_t table) { return FFGetDesc(name, table).id; }

bool FFCanSave(int32_t id) {
  return std::any_of(kSaveTable, kSaveTable + FF_SAVE_ROWS, [id](const Row& r) { return r.id == id; });
}

int32_t FFGetFlags(int32_t id, int32_t table) {
  const Table t = Select(table);
  for (int32_t i = 0; i < t.count; ++i)
    if (t.rows[i].id == id) return t.rows[i].flags;
  return FF_AUTO;
}

bool FFGetDescByIndex(int32_t index, int32_t table, QffDesc& desc) {
  const Table t = Select(table);
  if (index < 0 || index >= t.count) return false;
  desc = Describe(t.rows[index]);
  return true;
}

std::string FFGetLabel(int32_t id) {
  for (const Row& r : kLoadTable)
    if (r.id == id) return r.filterLabel;
  return {};
}

void FFConvExt_(std::string_view extensions, std::string& mask, std::string& list) {
  mask.clear();
  list.assign(extensions);
  for (size_t dot = list.find('.'); dot != std::string::npos; dot = list.find('.', dot + 1)) {
    list[dot] = ',';
    const size_t end = list.find('.', dot + 1);
    mask += "*." + list.substr(dot + 1, end == std::string::npos ? std::string::npos : end - dot - 1) + ";";
  }
  if (!mask.empty()) mask.pop_back();
  if (!list.empty()) list.erase(0, 1);
}

std::string FFMakeLoadFilter(int32_t flagMask, int32_t options) {
  return MakeFilter(Select(FF_LOAD_TABLE), flagMask, options);
}

std::string FFMakeSaveFilter(int32_t flagMask, int32_t options) {
  return MakeFilter(Select(FF_SAVE_TABLE), flagMask, options);
}

int32_t FFSaveDepth(int32_t id, int32_t bpp) {
  for (const DepthRow& r : kSaveDepths) {
    if (r.id != id) continue;
    switch (bpp) {
      case 8:
        return r.depth[0];
      case 15:
        return r.depth[1];
      case 16:
        return r.depth[2];
      case 24:
        return r.depth[3];
      case 32:
        return r.depth[4];
      default:
        return r.depth[5];
    }
  }
  return FF_AUTO;
}

int32_t UniKind(int32_t id, int32_t frames) {
  switch (id) {
    case FF_TGA:
    case FF_PCX:
    case FF_BMP:
    case FF_JPG:
    case FF_PNG:
    case FF_TIF:
    case FF_SGI:
    case FF_RAS:
    case FF_PNM:
    case FF_BAY:
    case FF_XPM:
      return frames < 2 ? UNI_STILL : UNI_SEQUENCE;
    case FF_GIF:
      return frames < 2 ? UNI_STILL : UNI_MOVIE;
    case FF_FLC:
    case FF_AVI:
    case FF_HAV:
    case FF_MPG:
    case FF_WAV:
    case FF_MP2:
    case FF_MOV:
      return UNI_MOVIE;
    default:
      return UNI_UNKNOWN;
  }
}

}  // namespace rf
