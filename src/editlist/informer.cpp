// File information texts over QUniInfo records (trace labels "informer.*").
#include "editlist/informer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "foundation/common.h"
#include "foundation/miscprocs.h"
#include "foundation/trace.h"

namespace rf {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLabelWidth = 24;
constexpr size_t kStarLine = 72;
constexpr char kBoxNotice[] = "...Sorry, Windows edit box can't handle more than 32k...";

constexpr std::array<const char*, INF_TEXT_COUNT> kColumns = {
    "FileName",  "FileFormat", "FileSize",    "FileUncompSize", "FileComprRatio", "FileDataRate", "FileEstDataRate",
    "VidFormat", "VidRes",     "VidColors",   "VidRate",        "VidFrames",      "VidTime",      "VidUncmpSize",
    "AudFormat", "AudRate",    "AudChannels", "AudBits",        "AudSamples",     "AudTime",      "AudUncmpSize"};

// The CSV columns that are enclosed in double quotes.
bool Quoted(int32_t text) {
  switch (text) {
    case INF_FILE_NAME:
    case INF_FILE_FORMAT:
    case INF_FILE_COMPR_RATIO:
    case INF_VID_FORMAT:
    case INF_VID_RES:
    case INF_VID_COLORS:
    case INF_AUD_FORMAT:
    case INF_AUD_BITS:
      return true;
    default:
      return false;
  }
}

// When a report line shows its unit.
enum class Unit { Always, NotEmpty, Video, Audio };

struct ReportLine {
  const char* label;  // nil: an empty line
  int32_t text;
  const char* unit;
  Unit when;
};

constexpr ReportLine kReport[] = {
    {"File name", INF_FILE_NAME, "", Unit::Always},
    {"File Format", INF_FILE_FORMAT, "", Unit::Always},
    {"File Size", INF_FILE_SIZE, " bytes", Unit::Always},
    {"Uncompressed size", INF_FILE_UNCOMP_SIZE, " bytes", Unit::Always},
    {"Compression ratio", INF_FILE_COMPR_RATIO, "", Unit::Always},
    {"Reported data rate", INF_FILE_DATA_RATE, " kB/s", Unit::NotEmpty},
    {"Estimated data rate", INF_FILE_EST_DATA_RATE, " kB/s", Unit::NotEmpty},
    {nullptr, 0, "", Unit::Always},
    {"Video format", INF_VID_FORMAT, "", Unit::Always},
    {"Width x Height", INF_VID_RES, " pixels", Unit::Video},
    {"Color depth", INF_VID_COLORS, "", Unit::Always},
    {"Frame rate", INF_VID_RATE, " fps", Unit::Video},
    {"Number of frames", INF_VID_FRAMES, "", Unit::Always},
    {"Duration", INF_VID_TIME, "", Unit::Always},
    {"Uncompressed size", INF_VID_UNCMP_SIZE, " bytes", Unit::Video},
    {nullptr, 0, "", Unit::Always},
    {"Audio format", INF_AUD_FORMAT, "", Unit::Always},
    {"Sample rate", INF_AUD_RATE, " Hz", Unit::Audio},
    {"Channels", INF_AUD_CHANNELS, "", Unit::Always},
    {"Bits per channel", INF_AUD_BITS, "-bit", Unit::Audio},
    {"Number of samples", INF_AUD_SAMPLES, "", Unit::Always},
    {"Duration", INF_AUD_TIME, "", Unit::Always},
    {"Uncompressed size", INF_AUD_UNCMP_SIZE, " bytes", Unit::Audio},
};

std::vector<const QUniInfo*> g_list;

// Fixed notation with "." whatever the process locale says.
std::string Fixed(double value, int decimals) {
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::string GroupDigits(const std::string& number) {
  const size_t sign = !number.empty() && number[0] == '-' ? 1 : 0;
  std::string out = number.substr(0, sign);
  const size_t digits = number.size() - sign;
  for (size_t i = 0; i < digits; ++i) {
    if (i > 0 && (digits - i) % 3 == 0) out += ',';
    out += number[sign + i];
  }
  return out;
}

std::string Grouped(int64_t value) { return GroupDigits(std::to_string(value)); }

std::string ColorText(int32_t bpp) {
  switch (bpp) {
    case 8:
      return "8-bit (256 colors)";
    case 15:
      return "15-bit (32,768 colors)";
    case 16:
      return "16-bit (65,536 colors)";
    case 24:
      return "24-bit (16,777,216 colors)";
    case 32:
      return "32-bit (16,777,216 colors + alpha channel)";
    default:
      return std::to_string(bpp) + "-bit";
  }
}

std::string StreamFormat(const std::string& compression, int32_t readable) {
  return readable ? compression : compression + " *NOT SUPPORTED*";
}

std::string ChannelText(int32_t channels, bool report) {
  std::string text = std::to_string(channels);
  if (report && channels == 1) text += " (mono)";
  if (report && channels == 2) text += " (stereo)";
  return text;
}

bool ShowsUnit(Unit when, const std::string& value, const QUniInfo& info) {
  switch (when) {
    case Unit::Always:
      return true;
    case Unit::NotEmpty:
      return !value.empty();
    case Unit::Video:
      return info.video.hasVideo != 0;
    case Unit::Audio:
      return info.audio.hasAudio != 0;
  }
  return false;
}

std::string Report(const QUniInfo& info, const QInfTextRec& values) {
  std::string text;
  for (const ReportLine& line : kReport) {
    if (line.label) {
      const std::string label = line.label;
      const std::string& value = values.texts[size_t(line.text)];
      text += label + std::string(kLabelWidth - label.size(), '.') + ' ' + value;
      if (ShowsUnit(line.when, value, info)) text += line.unit;
    }
    text += kLineEnd;
  }
  return text + std::string(kStarLine, '*') + kLineEnd;
}

std::string Csv(const QInfTextRec& values, bool header) {
  std::string text;
  if (header) {
    for (size_t i = 0; i < kColumns.size(); ++i) text += (i ? ";\"" : "\"") + std::string(kColumns[i]) + '"';
    text += kLineEnd;
  }
  for (int32_t i = 0; i < INF_TEXT_COUNT; ++i) {
    if (i) text += ';';
    const std::string& value = values.texts[size_t(i)];
    text += Quoted(i) ? '"' + value + '"' : value;
  }
  return text + ';' + kLineEnd;
}

std::string ListText(bool csv, bool boxLimit) {
  std::string text;
  for (size_t i = 0; i < g_list.size(); ++i) {
    const std::string piece = detail::GetTextualInfo(*g_list[i], csv, i == 0);
    if (boxLimit && text.size() + piece.size() > INFO_BOX_LIMIT) {
      text += kLineEnd;
      text += kBoxNotice;
      break;
    }
    text += piece;
  }
  return text;
}

}  // namespace

void detail::ClearInfRec(QInfTextRec& texts) {
  TraceLabel scope("informer._ClearInfRec");
  for (std::string& t : texts.texts) t.clear();
  texts.texts[INF_VID_FORMAT] = "No video stream";
  texts.texts[INF_AUD_FORMAT] = "No audio stream";
}

std::string detail::GetSizeString(double size, bool report) {
  TraceLabel scope("informer._GetSizeString");
  // Beyond the 32-bit range the value is rounded, within it cut to its integer part.
  const double whole = size <= 2147483647.0 ? std::trunc(size) : std::nearbyint(size);
  const std::string text = Fixed(whole, 0);
  return report ? GroupDigits(text) : text;
}

std::string detail::GetRatioString(double a, double b, bool report) {
  TraceLabel scope("informer._GetRatioString");
  const double r = std::fabs(b / a);
  // An empty file or one of no known size has no ratio.
  if (r == 0 || !std::isfinite(r)) return {};
  std::string text = Fixed(100 / r, 1) + "%";
  if (report && r >= 1) text += "  (" + Fixed(r, 1) + " : 1)";
  return text;
}

std::string detail::CalcTimeString(double rate, double count, bool report) {
  TraceLabel scope("informer._CalcTimeString");
  if (!(rate > 0)) return {};
  const double seconds = count / rate;
  return report ? SecToStr(SEC_LIST, seconds) : Fixed(seconds, 3);
}

void detail::CalcInfoValues(const QUniInfo& info, QInfTextRec& texts, bool report) {
  TraceLabel scope("informer._CalcInfoValues");
  ClearInfRec(texts);
  auto& t = texts.texts;
  const QVideoBlock& v = info.video;
  const QAudioBlock& a = info.audio;
  const double videoBytes = double(v.width) * v.height * v.bytesPerPixel * v.frames;
  const double fileSize = double(info.size);

  t[INF_FILE_NAME] = info.name;
  t[INF_FILE_FORMAT] = info.formatLabel;
  t[INF_FILE_SIZE] = GetSizeString(fileSize, report);
  t[INF_FILE_UNCOMP_SIZE] = GetSizeString(videoBytes + a.size, report);
  t[INF_FILE_COMPR_RATIO] = GetRatioString(fileSize, videoBytes + a.size, report);
  if (info.maxDataRate / 1024 >= 1) t[INF_FILE_DATA_RATE] = Grouped(info.maxDataRate / 1024);
  const double duration = std::max(v.duration, a.duration);
  if (duration > 0.001) t[INF_FILE_EST_DATA_RATE] = Fixed(fileSize / 1024 / duration, 0);

  if (v.hasVideo) {
    t[INF_VID_FORMAT] = StreamFormat(v.compression, v.videoReadable);
    t[INF_VID_RES] = std::to_string(v.width) + " x " + std::to_string(v.height);
    t[INF_VID_COLORS] = ColorText(v.bpp);
    t[INF_VID_RATE] = Fixed(v.frameRate, 2);
    t[INF_VID_FRAMES] = Grouped(v.frames);
    t[INF_VID_TIME] = CalcTimeString(v.frameRate, v.frames, report);
    t[INF_VID_UNCMP_SIZE] = GetSizeString(videoBytes, report);
  }
  if (a.hasAudio) {
    t[INF_AUD_FORMAT] = StreamFormat(a.compression, a.audioReadable);
    t[INF_AUD_RATE] = Fixed(std::trunc(a.samplesPerSec), 0);
    t[INF_AUD_CHANNELS] = ChannelText(a.channels, report);
    t[INF_AUD_BITS] = std::to_string(a.bitsPerSample);
    t[INF_AUD_SAMPLES] = GetSizeString(a.frames, report);
    t[INF_AUD_TIME] = CalcTimeString(a.samplesPerSec, a.frames, report);
    t[INF_AUD_UNCMP_SIZE] = GetSizeString(a.size, report);
  }
}

std::string detail::GetTextualInfo(const QUniInfo& info, bool csv, bool header) {
  TraceLabel scope("informer._GetTextualInfo");
  QInfTextRec values;
  CalcInfoValues(info, values, !csv);
  return csv ? Csv(values, header) : Report(info, values);
}

void InfoListInit() {
  TraceLabel scope("informer.InfoListInit");
  g_list.clear();
}

void InfoListDone() {
  TraceLabel scope("informer.InfoListDone");
  g_list.clear();
  g_list.shrink_to_fit();
}

int32_t InfoListAdd(const QUniInfo* info) {
  TraceLabel scope("informer.InfoListAdd");
  if (!info) return NOT_SET;
  const auto found = std::find(g_list.begin(), g_list.end(), info);
  if (found != g_list.end()) return int32_t(found - g_list.begin());
  g_list.push_back(info);
  return int32_t(g_list.size()) - 1;
}

std::string InfoListGetStr(bool csv) {
  TraceLabel scope("informer.InfoListGetStr");
  return ListText(csv, false);
}

std::string InfoListGetBoxStr(bool csv) {
  TraceLabel scope("informer.InfoListGetStr");
  return ListText(csv, true);
}

}  // namespace rf
