// XPM pictures (format 17): our own reader of the C-array and "! XPM2" line forms with any number
// of characters per pixel, and a writer of the C-array form, through the tracked routines.
#include "formats/ff_xpm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
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
// Numbers of the values line above this are damage; products of two of them stay inside 64 bits.
constexpr int64_t kMaxValue = INT32_MAX;
// The writer hands the text to the file in pieces of about this size.
constexpr size_t kWriteChunk = 1 << 16;

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

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// The strings of an XPM text in order: quoted strings between comments in the C-array form
// ("/* XPM */" first), lines in the "! XPM2" form.
class XpmStrings {
 public:
  explicit XpmStrings(std::string_view text) : text_(text) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return;
    const std::string_view rest = text.substr(start);
    if (rest.substr(0, 6) == "! XPM2") {
      lines_ = valid_ = true;
      pos_ = start;
      std::string_view header;
      NextLine(header);
    } else if (rest.substr(0, 2) == "/*") {
      const size_t close = rest.find("*/", 2);
      if (close == std::string_view::npos) return;
      valid_ = Trim(rest.substr(2, close - 2)) == "XPM";
      pos_ = start + close + 2;
    }
  }

  bool Valid() const { return valid_; }
  bool Next(std::string_view& s) { return lines_ ? NextLine(s) : NextQuoted(s); }

 private:
  bool NextLine(std::string_view& s) {
    if (pos_ >= text_.size()) return false;
    size_t eol = text_.find('\n', pos_);
    if (eol == std::string_view::npos) eol = text_.size();
    s = text_.substr(pos_, eol - pos_);
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    pos_ = eol + 1;
    return true;
  }

  // Anything outside strings and comments (the declaration, commas, braces) is passed over.
  bool NextQuoted(std::string_view& s) {
    for (; pos_ < text_.size(); ++pos_) {
      if (text_.compare(pos_, 2, "/*") == 0) {
        const size_t close = text_.find("*/", pos_ + 2);
        if (close == std::string_view::npos) return false;
        pos_ = close + 1;
      } else if (text_[pos_] == '"') {
        const size_t close = text_.find('"', pos_ + 1);
        if (close == std::string_view::npos) return false;
        s = text_.substr(pos_ + 1, close - pos_ - 1);
        pos_ = close + 1;
        return true;
      }
    }
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
  bool lines_ = false, valid_ = false;
};

// Width, height, colours and characters per pixel; what follows them (hot spot, extensions)
// does not change the picture.
struct XpmValues {
  int64_t width = 0, height = 0, colours = 0, cpp = 0;
};

bool ReadValues(std::string_view s, XpmValues& v) {
  size_t i = 0;
  for (int64_t* f : {&v.width, &v.height, &v.colours, &v.cpp}) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    for (*f = 0; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
      *f = *f * 10 + (s[i] - '0');
      if (*f > kMaxValue) return false;
    }
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// One channel of 1-4 hex digits as 8 bits: one digit gives the high bits, as X11 reads it; three
// or four digits are a fraction of their largest value, rounded.
uint32_t HexChannel(uint32_t v, size_t digits) {
  if (digits == 1) return v << 4;
  if (digits == 2) return v;
  const uint32_t max = (1u << (4 * digits)) - 1;
  return (v * 255 + max / 2) / max;
}

bool ParseHex(std::string_view s, uint32_t& rgb) {
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
    rgb = (rgb << 8) | HexChannel(v, per);
  }
  return true;
}

// A colour name, spaces and case ignored; "None" (transparent) reads as black.
bool ParseName(std::string_view text, uint32_t& rgb) {
  std::string s;
  for (char c : text)
    if (c != ' ') s += char(std::tolower(static_cast<unsigned char>(c)));
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
  if (s.size() > 4 && s.size() <= 7 && (s.compare(0, 4, "gray") == 0 || s.compare(0, 4, "grey") == 0) &&
      std::all_of(s.begin() + 4, s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    const int level = std::stoi(s.substr(4));
    if (level > 100) return false;
    rgb = uint32_t(level * 2.55 + 0.5) * 0x010101u;
    return true;
  }
  return false;
}

bool ParseColour(std::string_view s, uint32_t& rgb) { return s[0] == '#' ? ParseHex(s, rgb) : ParseName(s, rgb); }

// The keys of a colour line, in the order their values are taken: colour first, then the grey
// and mono values; a symbolic name ("s") never gives a colour.
constexpr const char* kKeys[] = {"c", "g", "g4", "m", "s"};
constexpr int kKeyCount = sizeof kKeys / sizeof kKeys[0];

int KeyOf(std::string_view word) {
  for (int k = 0; k < kKeyCount; ++k)
    if (word == kKeys[k]) return k;
  return -1;
}

// The value a colour line shows (after its pixel code): each key is followed by one or more
// words, and a word is a key only after a value. A line without a value for a key, with words
// before the first key or with a key given twice is damage.
bool EntryValue(std::string_view line, std::string& value) {
  std::string values[kKeyCount];
  bool given[kKeyCount] = {};
  int current = -1;
  bool afterKey = false;
  for (size_t i = 0; i < line.size();) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    if (i == start) break;
    const std::string_view word = line.substr(start, i - start);
    const int key = afterKey ? -1 : KeyOf(word);
    if (key >= 0) {
      if (given[key]) return false;
      given[key] = afterKey = true;
      current = key;
    } else if (current < 0) {
      return false;
    } else {
      std::string& v = values[current];
      v += v.empty() ? "" : " ";
      v += word;
      afterKey = false;
    }
  }
  if (afterKey) return false;
  for (int k = 0; k + 1 < kKeyCount; ++k)
    if (given[k]) {
      value = values[k];
      return true;
    }
  return false;
}

// The colour table: pixel code to blue-green-red value, and the first value no colour was found
// for.
struct XpmColours {
  std::unordered_map<std::string_view, uint32_t> byCode;
  std::string unknown;
};

bool ReadColours(XpmStrings& strings, const XpmValues& v, XpmColours& colours) {
  for (int64_t c = 0; c < v.colours; ++c) {
    std::string_view line;
    std::string value;
    if (!strings.Next(line) || line.size() < size_t(v.cpp) || !EntryValue(line.substr(size_t(v.cpp)), value))
      return false;
    uint32_t rgb = 0;
    if (!ParseColour(value, rgb) && colours.unknown.empty()) colours.unknown = value;
    colours.byCode.try_emplace(line.substr(0, size_t(v.cpp)), rgb);
  }
  return true;
}

// Reads every pixel row; out (blue, green, red bytes) may be null to check the rows only.
bool ReadPixels(XpmStrings& strings, const XpmValues& v, const XpmColours& colours, uint8_t* out) {
  const auto cpp = size_t(v.cpp), width = size_t(v.width);
  for (int64_t y = 0; y < v.height; ++y) {
    std::string_view row;
    if (!strings.Next(row) || row.size() < width * cpp) return false;
    for (size_t x = 0; x < width; ++x) {
      const auto it = colours.byCode.find(row.substr(x * cpp, cpp));
      if (it == colours.byCode.end()) return false;
      if (!out) continue;
      *out++ = uint8_t(it->second);
      *out++ = uint8_t(it->second >> 8);
      *out++ = uint8_t(it->second >> 16);
    }
  }
  return true;
}

// Reads the values, checks them against the text before anything is sized by them, and reads
// the colours and pixels. False for damage; a size beyond the picture limits sets its error.
bool ParseXpm(std::string_view text, QXpmDesc& desc, std::string& unknown) {
  XpmStrings strings(text);
  std::string_view first;
  XpmValues v;
  if (!strings.Valid() || !strings.Next(first) || !ReadValues(first, v)) return false;
  // Every colour takes a string and every pixel its characters.
  const auto size = int64_t(text.size());
  if (v.cpp < 1 || v.colours < 1 || v.colours > size / v.cpp || v.width * v.height > size / v.cpp) return false;
  if (!ImgCheckDims(int32_t(v.width), int32_t(v.height), 24)) MonAbort();
  if (desc.pixels && (desc.width != v.width || desc.height != v.height)) return false;
  XpmColours colours;
  if (!ReadColours(strings, v, colours) || !ReadPixels(strings, v, colours, desc.pixels)) return false;
  desc.width = int32_t(v.width);
  desc.height = int32_t(v.height);
  unknown = colours.unknown;
  return true;
}

// Reads the file into a tracked block.
void ReadText(std::string_view name, char*& text, int64_t& size) {
  int32_t file = 0;
  FOpen(file, name, FM_READ);
  size = std::max<int64_t>(0, FSize(file));
  if (size >= IMG_MAX_BYTES) ImgFileFail(7, 8);
  _memalloc_(text, int32_t(size + 1), MEM_RESIZE, "FF_XPM.ReadXpm.text");
  if (size > 0) FRead(file, text, int32_t(size));
  FClose(file);
}

// The codes of count colours, cpp characters each, one after the other.
std::string PixelCodes(size_t count, int32_t cpp) {
  std::string codes;
  for (size_t i = 0; i < count; ++i)
    for (size_t k = 0, rest = i; k < size_t(cpp); ++k, rest /= kPixelCharCount)
      codes += kPixelChars[rest % kPixelCharCount];
  return codes;
}

// Gives each distinct pixel value an index in order of appearance; returns the values.
std::vector<uint32_t> IndexPixels(const QXpmDesc& desc, size_t pixels, uint32_t* index) {
  std::unordered_map<uint32_t, uint32_t> seen;
  std::vector<uint32_t> order;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = desc.pixels + 3 * i;
    const uint32_t rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    const auto [it, added] = seen.try_emplace(rgb, uint32_t(order.size()));
    if (added) order.push_back(rgb);
    index[i] = it->second;
  }
  return order;
}

// The text before the pixel rows: declaration, values and one line per colour.
std::string XpmHead(const QXpmDesc& desc, const std::vector<uint32_t>& colours, const std::string& codes, int32_t cpp) {
  std::string text = "/* XPM */\nstatic char *image[] = {\n/* columns rows colors chars-per-pixel */\n";
  text += '"' + std::to_string(desc.width) + ' ' + std::to_string(desc.height) + ' ' + std::to_string(colours.size()) +
          ' ' + std::to_string(cpp) + "\",\n";
  for (size_t i = 0; i < colours.size(); ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%06X", colours[i]);
    text += '"' + codes.substr(i * size_t(cpp), size_t(cpp)) + " c " + hex + "\",\n";
  }
  return text;
}

void WriteText(int32_t file, std::string& text) {
  FWrite(file, text.data(), int32_t(text.size()));
  text.clear();
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
  Guarded("FF_XPM.ReadXpm", [&] {
    int64_t size = 0;
    ReadText(name, text, size);
    std::string unknown;
    if (!ParseXpm(std::string_view(text, size_t(size)), desc, unknown)) return;
    if (desc.pixels && !unknown.empty()) WarnSetText(1, "Unknown colour \"" + unknown + "\" read as black");
    result = 0;
  });
  // Refusals end the block with the text still held.
  MemFree(text);
  return result;
}

int WriteXpm(std::string_view name, const QXpmDesc& desc) {
  int result = 1;
  QImgFile imgf;
  uint32_t* index = nullptr;
  Guarded("FF_XPM.WriteXpm", [&] {
    if (!desc.pixels || desc.width < 1 || desc.height < 1) return;
    const size_t pixels = size_t(desc.width) * desc.height;
    if (pixels > size_t(IMG_MAX_BYTES) / 4) return;
    _memalloc_(index, int32_t(pixels * 4), MEM_RESIZE, "FF_XPM.WriteXpm.index");
    const std::vector<uint32_t> colours = IndexPixels(desc, pixels, index);
    int32_t cpp = 1;
    for (size_t codes = kPixelCharCount; codes < colours.size(); codes *= kPixelCharCount) ++cpp;
    const std::string codes = PixelCodes(colours.size(), cpp);
    std::string text = XpmHead(desc, colours, codes, cpp);
    ImgFileCreate(imgf, name);
    for (size_t y = 0, i = 0; y < size_t(desc.height); ++y) {
      text += '"';
      for (size_t x = 0; x < size_t(desc.width); ++x, ++i) text.append(codes, index[i] * size_t(cpp), size_t(cpp));
      text += y + 1 < size_t(desc.height) ? "\",\n" : "\"\n};\n";
      if (text.size() >= kWriteChunk) WriteText(imgf.file, text);
    }
    WriteText(imgf.file, text);
    FClose(imgf.file);
    result = 0;
  });
  MemFree(index);
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
