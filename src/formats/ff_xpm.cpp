// XPM pictures (format 17): libXpm parses and formats the text, the pixels and colour values are
// ours, and the file itself goes through the tracked routines.
#include "formats/ff_xpm.h"

#include <X11/xpm.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formats/stillio.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 17;
// Characters that may stand for a colour inside a quoted pixel row.
constexpr char kPixelChars[] = ".#abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+@$%&*=-;:<>";
constexpr int32_t kPixelCharCount = sizeof kPixelChars - 1;

struct NamedColour {
  const char* name;  // lower case, without spaces
  uint32_t rgb;
};

// The X11 colour names without level digits; the grey levels are computed.
const NamedColour kNames[] = {
    {"snow", 0xFFFAFA},
    {"ghostwhite", 0xF8F8FF},
    {"whitesmoke", 0xF5F5F5},
    {"gainsboro", 0xDCDCDC},
    {"floralwhite", 0xFFFAF0},
    {"oldlace", 0xFDF5E6},
    {"linen", 0xFAF0E6},
    {"antiquewhite", 0xFAEBD7},
    {"papayawhip", 0xFFEFD5},
    {"blanchedalmond", 0xFFEBCD},
    {"bisque", 0xFFE4C4},
    {"peachpuff", 0xFFDAB9},
    {"navajowhite", 0xFFDEAD},
    {"moccasin", 0xFFE4B5},
    {"cornsilk", 0xFFF8DC},
    {"ivory", 0xFFFFF0},
    {"lemonchiffon", 0xFFFACD},
    {"seashell", 0xFFF5EE},
    {"honeydew", 0xF0FFF0},
    {"mintcream", 0xF5FFFA},
    {"azure", 0xF0FFFF},
    {"aliceblue", 0xF0F8FF},
    {"lavender", 0xE6E6FA},
    {"lavenderblush", 0xFFF0F5},
    {"mistyrose", 0xFFE4E1},
    {"white", 0xFFFFFF},
    {"black", 0x000000},
    {"darkslategray", 0x2F4F4F},
    {"darkslategrey", 0x2F4F4F},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"gray", 0xBEBEBE},
    {"grey", 0xBEBEBE},
    {"lightgrey", 0xD3D3D3},
    {"lightgray", 0xD3D3D3},
    {"midnightblue", 0x191970},
    {"navy", 0x000080},
    {"navyblue", 0x000080},
    {"cornflowerblue", 0x6495ED},
    {"darkslateblue", 0x483D8B},
    {"slateblue", 0x6A5ACD},
    {"mediumslateblue", 0x7B68EE},
    {"lightslateblue", 0x8470FF},
    {"mediumblue", 0x0000CD},
    {"royalblue", 0x4169E1},
    {"blue", 0x0000FF},
    {"dodgerblue", 0x1E90FF},
    {"deepskyblue", 0x00BFFF},
    {"skyblue", 0x87CEEB},
    {"lightskyblue", 0x87CEFA},
    {"steelblue", 0x4682B4},
    {"lightsteelblue", 0xB0C4DE},
    {"lightblue", 0xADD8E6},
    {"powderblue", 0xB0E0E6},
    {"paleturquoise", 0xAFEEEE},
    {"darkturquoise", 0x00CED1},
    {"mediumturquoise", 0x48D1CC},
    {"turquoise", 0x40E0D0},
    {"cyan", 0x00FFFF},
    {"lightcyan", 0xE0FFFF},
    {"cadetblue", 0x5F9EA0},
    {"mediumaquamarine", 0x66CDAA},
    {"aquamarine", 0x7FFFD4},
    {"darkgreen", 0x006400},
    {"darkolivegreen", 0x556B2F},
    {"darkseagreen", 0x8FBC8F},
    {"seagreen", 0x2E8B57},
    {"mediumseagreen", 0x3CB371},
    {"lightseagreen", 0x20B2AA},
    {"palegreen", 0x98FB98},
    {"springgreen", 0x00FF7F},
    {"lawngreen", 0x7CFC00},
    {"green", 0x00FF00},
    {"chartreuse", 0x7FFF00},
    {"mediumspringgreen", 0x00FA9A},
    {"greenyellow", 0xADFF2F},
    {"limegreen", 0x32CD32},
    {"yellowgreen", 0x9ACD32},
    {"forestgreen", 0x228B22},
    {"olivedrab", 0x6B8E23},
    {"darkkhaki", 0xBDB76B},
    {"khaki", 0xF0E68C},
    {"palegoldenrod", 0xEEE8AA},
    {"lightgoldenrodyellow", 0xFAFAD2},
    {"lightyellow", 0xFFFFE0},
    {"yellow", 0xFFFF00},
    {"gold", 0xFFD700},
    {"lightgoldenrod", 0xEEDD82},
    {"goldenrod", 0xDAA520},
    {"darkgoldenrod", 0xB8860B},
    {"rosybrown", 0xBC8F8F},
    {"indianred", 0xCD5C5C},
    {"saddlebrown", 0x8B4513},
    {"sienna", 0xA0522D},
    {"peru", 0xCD853F},
    {"burlywood", 0xDEB887},
    {"beige", 0xF5F5DC},
    {"wheat", 0xF5DEB3},
    {"sandybrown", 0xF4A460},
    {"tan", 0xD2B48C},
    {"chocolate", 0xD2691E},
    {"firebrick", 0xB22222},
    {"brown", 0xA52A2A},
    {"darksalmon", 0xE9967A},
    {"salmon", 0xFA8072},
    {"lightsalmon", 0xFFA07A},
    {"orange", 0xFFA500},
    {"darkorange", 0xFF8C00},
    {"coral", 0xFF7F50},
    {"lightcoral", 0xF08080},
    {"tomato", 0xFF6347},
    {"orangered", 0xFF4500},
    {"red", 0xFF0000},
    {"hotpink", 0xFF69B4},
    {"deeppink", 0xFF1493},
    {"pink", 0xFFC0CB},
    {"lightpink", 0xFFB6C1},
    {"palevioletred", 0xDB7093},
    {"maroon", 0xB03060},
    {"mediumvioletred", 0xC71585},
    {"violetred", 0xD02090},
    {"magenta", 0xFF00FF},
    {"violet", 0xEE82EE},
    {"plum", 0xDDA0DD},
    {"orchid", 0xDA70D6},
    {"mediumorchid", 0xBA55D3},
    {"darkorchid", 0x9932CC},
    {"darkviolet", 0x9400D3},
    {"blueviolet", 0x8A2BE2},
    {"purple", 0xA020F0},
    {"mediumpurple", 0x9370DB},
    {"thistle", 0xD8BFD8},
    {"debianred", 0xD70751},
    {"darkgrey", 0xA9A9A9},
    {"darkgray", 0xA9A9A9},
    {"darkblue", 0x00008B},
    {"darkcyan", 0x008B8B},
    {"darkmagenta", 0x8B008B},
    {"darkred", 0x8B0000},
    {"lightgreen", 0x90EE90},
};

// The first line libXpm reads: width, height, colours and characters per pixel.
struct XpmValues {
  int64_t width = 0, height = 0, colours = 0, cpp = 0;
};

size_t SkipComment(const char* s, size_t n, size_t i) {
  if (i + 1 < n && s[i] == '/' && s[i + 1] == '*') {
    const char* end = static_cast<const char*>(memmem(s + i + 2, n - i - 2, "*/", 2));
    return end ? size_t(end - s) + 2 : n;
  }
  return i;
}

bool ReadNumbers(const char* s, size_t n, size_t i, XpmValues& v) {
  int64_t* fields[] = {&v.width, &v.height, &v.colours, &v.cpp};
  for (int64_t* f : fields) {
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= n || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    for (*f = 0; i < n && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
      *f = std::min<int64_t>(*f * 10 + (s[i] - '0'), 1LL << 40);
  }
  return true;
}

// One string of the text: its first character and its end.
struct XpmSpan {
  size_t begin = 0, end = 0;
};

// The next string from position i the way libXpm splits the text: quoted strings between
// comments in C-style files, lines in "! XPM2" files.
bool NextString(const char* s, size_t n, bool lines, size_t& i, XpmSpan& span) {
  if (lines) {
    if (i >= n) return false;
    const char* eol = static_cast<const char*>(std::memchr(s + i, '\n', n - i));
    span = {i, eol ? size_t(eol - s) : n};
    i = span.end + 1;
    return true;
  }
  for (; i < n; ++i) {
    const size_t after = SkipComment(s, n, i);
    if (after != i) {
      i = after - 1;
      continue;
    }
    if (s[i] != '"') continue;
    const char* close = static_cast<const char*>(std::memchr(s + i + 1, '"', n - i - 1));
    span = {i + 1, close ? size_t(close - s) : n};
    i = span.end + 1;
    return true;
  }
  return false;
}

// libXpm leaks the earlier value when a colour line gives one key twice ("c red c blue"); such
// lines are refused before it sees them. A word is a key only after a value, as libXpm reads it.
bool ColourKeysOnce(const char* s, const XpmSpan& line, int64_t cpp) {
  static const char* const kKeys[] = {"m", "s", "g4", "g", "c"};
  bool given[5] = {}, lastWasKey = false;
  int current = -1;
  size_t i = line.begin + size_t(cpp);
  while (i < line.end) {
    while (i < line.end && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const size_t start = i;
    while (i < line.end && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i == start) break;
    const std::string_view word(s + start, i - start);
    int key = -1;
    for (int k = 0; k < 5 && !lastWasKey; ++k)
      if (word == kKeys[k]) key = k;
    if (key >= 0) {
      if (current >= 0 && std::exchange(given[current], true)) return false;
      current = key;
      lastWasKey = true;
    } else {
      lastWasKey = false;
    }
  }
  return current < 0 || !given[current];
}

// Finds the values the way libXpm does before it allocates the pixel table (the first string of
// a C-style file, or the line after the header of an "! XPM2" file) and checks the colour lines
// after them. Other layouts are not read.
bool FindValues(const char* s, size_t n, XpmValues& v) {
  const bool lines = n >= 6 && std::memcmp(s, "! XPM2", 6) == 0;
  size_t i = 0;
  XpmSpan span;
  if (lines && !NextString(s, n, true, i, span)) return false;
  if (!NextString(s, n, lines, i, span) || !ReadNumbers(s, span.end, span.begin, v)) return false;
  if (v.cpp < 1 || v.colours < 1 || v.colours > int64_t(n) / v.cpp) return false;
  for (int64_t c = 0; c < v.colours; ++c)
    if (!NextString(s, n, lines, i, span) || span.end - span.begin < size_t(v.cpp) || !ColourKeysOnce(s, span, v.cpp))
      return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "#" and 1-4 hex digits per component, the most significant ones first, as X11 reads them.
bool ParseHex(const std::string& s, uint32_t& rgb) {
  const size_t digits = s.size() - 1;
  if (digits == 0 || digits % 3 != 0 || digits > 12) return false;
  const size_t per = digits / 3;
  rgb = 0;
  for (size_t c = 0; c < 3; ++c) {
    uint32_t v = 0;
    for (size_t k = 0; k < per; ++k) {
      const int d = HexDigit(s[1 + c * per + k]);
      if (d < 0) return false;
      v = v * 16 + uint32_t(d);
    }
    // Widen or cut to 8 bits from the top.
    v = per == 1 ? v << 4 : per == 2 ? v : v >> (4 * (per - 2));
    rgb = (rgb << 8) | (v & 0xFF);
  }
  return true;
}

bool ParseName(std::string s, uint32_t& rgb) {
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (s == "none") {
    rgb = 0;
    return true;
  }
  for (const NamedColour& n : kNames)
    if (s == n.name) {
      rgb = n.rgb;
      return true;
    }
  // gray0 .. gray100 (or grey), levels rounded as X11 rounds them.
  if (s.size() > 4 && (s.compare(0, 4, "gray") == 0 || s.compare(0, 4, "grey") == 0) && s.size() <= 7 &&
      std::all_of(s.begin() + 4, s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    const int level = std::stoi(s.substr(4));
    if (level > 100) return false;
    const auto v = uint32_t(level * 2.55 + 0.5);
    rgb = v * 0x010101u;
    return true;
  }
  return false;
}

// The colour an entry shows in colour, falling back to its grey and mono values.
bool EntryColour(const XpmColor& c, uint32_t& rgb) {
  for (const char* value : {c.c_color, c.g_color, c.g4_color, c.m_color}) {
    if (!value) continue;
    const std::string s(value);
    return s[0] == '#' ? ParseHex(s, rgb) : ParseName(s, rgb);
  }
  return false;
}

// Frees what libXpm made whenever the routine ends.
struct XpmImageHold {
  XpmImage image{};
  ~XpmImageHold() { XpmFreeXpmImage(&image); }
};

struct XpmDataHold {
  char** lines = nullptr;
  ~XpmDataHold() {
    if (lines) XpmFree(lines);
  }
};

// The C array form of the lines libXpm made: values, colours, then the pixel rows.
std::string XpmText(char** lines, size_t count) {
  std::string text = "/* XPM */\nstatic char *image[] = {\n";
  for (size_t i = 0; i < count; ++i) {
    text += '"';
    text += lines[i];
    text += i + 1 < count ? "\",\n" : "\"\n";
  }
  return text + "};\n";
}

// Reads the file into a zero-ended tracked block; libXpm never sees the file itself.
void ReadText(std::string_view name, char*& text, int64_t& size) {
  int32_t file = 0;
  FOpen(file, name, FM_READ);
  size = std::max<int64_t>(0, FSize(file));
  if (size >= IMG_MAX_BYTES) ImgFileFail(7, 8);
  _memalloc_(text, int32_t(size + 1), MEM_RESIZE, "FF_XPM.ReadXpm.text");
  if (size > 0) FRead(file, text, int32_t(size));
  text[size] = 0;
  FClose(file);
}

void StorePixels(const XpmImage& image, const std::vector<uint32_t>& colours, uint8_t* out) {
  const size_t pixels = size_t(image.width) * image.height;
  for (size_t i = 0; i < pixels; ++i) {
    const uint32_t index = image.data[i];
    const uint32_t rgb = index < colours.size() ? colours[index] : 0;
    out[3 * i] = uint8_t(rgb);
    out[3 * i + 1] = uint8_t(rgb >> 8);
    out[3 * i + 2] = uint8_t(rgb >> 16);
  }
}

std::string PixelCode(size_t index, int32_t cpp) {
  std::string code;
  for (int32_t k = 0; k < cpp; ++k, index /= kPixelCharCount) code += kPixelChars[index % kPixelCharCount];
  return code;
}

// The size of a file, for Info.
int64_t FileSizeOf(std::string_view name) {
  int32_t file = 0;
  FOpen(file, name, FM_READ);
  const int64_t size = FSize(file);
  FClose(file);
  return std::max<int64_t>(0, size);
}

}  // namespace

int ReadXpm(std::string_view name, QXpmDesc& desc) {
  int result = 1;
  char* text = nullptr;
  XpmImageHold hold;
  Guarded("FF_XPM.ReadXpm", [&] {
    int64_t size = 0;
    ReadText(name, text, size);
    // Every pixel takes at least one character and every colour a line: larger values are damage,
    // refused before libXpm allocates for them.
    XpmValues v;
    if (!FindValues(text, size_t(size), v) || v.cpp < 1 || v.colours < 1 || v.width * v.height > size / v.cpp ||
        v.colours > size / v.cpp)
      return;
    if (!ImgCheckDims(int32_t(std::min<int64_t>(v.width, INT32_MAX)), int32_t(std::min<int64_t>(v.height, INT32_MAX)),
                      24))
      MonAbort();
    if (XpmCreateXpmImageFromBuffer(text, &hold.image, nullptr) != XpmSuccess) return;
    MemFree(text);
    const auto width = int32_t(hold.image.width), height = int32_t(hold.image.height);
    if (width != v.width || height != v.height) return;
    if (!desc.pixels) {
      desc.width = width;
      desc.height = height;
      result = 0;
      return;
    }
    if (desc.width != width || desc.height != height) return;
    std::vector<uint32_t> colours(hold.image.ncolors, 0);
    std::string unknown;
    for (size_t i = 0; i < colours.size(); ++i) {
      const XpmColor& c = hold.image.colorTable[i];
      if (!EntryColour(c, colours[i]) && unknown.empty()) unknown = c.c_color ? c.c_color : "";
    }
    StorePixels(hold.image, colours, desc.pixels);
    if (!unknown.empty()) WarnSetText(1, "Unknown colour \"" + unknown + "\" read as black");
    result = 0;
  });
  // Early refusals end the block with the text still held.
  MemFree(text);
  return result;
}

int WriteXpm(std::string_view name, const QXpmDesc& desc) {
  int result = 1;
  QImgFile imgf;
  uint32_t* data = nullptr;
  XpmDataHold lines;
  Guarded("FF_XPM.WriteXpm", [&] {
    if (!desc.pixels || desc.width < 1 || desc.height < 1) return;
    const size_t pixels = size_t(desc.width) * desc.height;
    if (pixels > size_t(IMG_MAX_BYTES) / 4) return;
    _memalloc_(data, int32_t(pixels * 4), MEM_RESIZE, "FF_XPM.WriteXpm.data");
    std::unordered_map<uint32_t, uint32_t> index;
    std::vector<uint32_t> order;
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* p = desc.pixels + 3 * i;
      const uint32_t rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      const auto [it, added] = index.try_emplace(rgb, uint32_t(order.size()));
      if (added) order.push_back(rgb);
      data[i] = it->second;
    }
    int32_t cpp = 1;
    for (size_t codes = kPixelCharCount; codes < order.size(); codes *= kPixelCharCount) ++cpp;
    std::vector<std::string> strings, values;
    std::vector<XpmColor> table(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%06X", order[i]);
      strings.push_back(PixelCode(i, cpp));
      values.emplace_back(hex);
    }
    for (size_t i = 0; i < order.size(); ++i) {
      table[i] = XpmColor{};
      table[i].string = strings[i].data();
      table[i].c_color = values[i].data();
    }
    XpmImage image{unsigned(desc.width),   unsigned(desc.height), unsigned(cpp),
                   unsigned(order.size()), table.data(),          data};
    if (XpmCreateDataFromXpmImage(&lines.lines, &image, nullptr) != XpmSuccess || !lines.lines) return;
    MemFree(data);
    const std::string text = XpmText(lines.lines, 1 + order.size() + size_t(desc.height));
    ImgFileCreate(imgf, name);
    FWrite(imgf.file, text.data(), int32_t(text.size()));
    FClose(imgf.file);
    result = 0;
  });
  MemFree(data);
  return result;
}

void XPMInfo(std::string_view name, QffInfo& info) {
  Guarded("FF_XPM.XPMInfo", [&] {
    // First, as its close clears the warning register.
    info.fileSize = FileSizeOf(name);
    QXpmDesc desc;
    if (ReadXpm(name, desc) != 0) ImgFileFail(7, 8);
    info.format = kFormatId;
    info.video.width = desc.width;
    info.video.height = desc.height;
    info.video.bytesPerPixel = 3;
    info.video.bpp = 24;
    info.video.frames = 1;
    info.video.hasVideo = RF_TRUE;
    info.video.videoReadable = RF_TRUE;
  });
}

void XPMLoad(std::string_view name, Qimg& img) {
  Guarded("FF_XPM.XPMLoad", [&] {
    ImgFileFreeOnFailure(img);
    QXpmDesc desc;
    if (ReadXpm(name, desc) != 0) ImgFileFail(7, 8);
    if (!ImgCheckDims(desc.width, desc.height, 24)) MonAbort();
    if (_imgalloc_(img, desc.width, desc.height, 24, "FF_XPM.XPMLoad.img") != 0) MonAbort();
    ImgSetDims(img, desc.width, desc.height, 24);
    desc.pixels = img.data;
    if (ReadXpm(name, desc) != 0) ImgFileFail(7, 8);
  });
}

void XPMSave(std::string_view name, const Qimg& img) {
  Qimg rgb;
  Guarded("FF_XPM.XPMSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    const Qimg* src = &ImgFileAtDepth(img, rgb, 24);
    QXpmDesc desc;
    desc.width = src->width;
    desc.height = src->height;
    desc.pixels = src->data;
    if (WriteXpm(name, desc) != 0) ImgFileFail(7, 11);
    ImgFree(rgb);
  });
}

}  // namespace rf
