// The list file text in both directions, and the edit-list callbacks that feed and take it.
#include "persistence/vflformat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "engine/editcmd.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

// Longest list file read.
constexpr int64_t kMaxListBytes = 64 << 20;

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

size_t FindNoCase(std::string_view text, std::string_view key) {
  const auto it = std::search(text.begin(), text.end(), key.begin(), key.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  return it == text.end() ? std::string_view::npos : size_t(it - text.begin());
}

// vIn and aIn count from 1 in the text and from 0 in memory.
int32_t FromOne(int32_t v) { return v == NOT_SET || v == INT32_MIN ? v : v - 1; }
int64_t ToOne(int32_t v) { return int64_t(v) + 1; }

std::string Line(const QVFLRec& r, bool withParams) {
  if (!withParams) return r.name;
  return r.name + "|vIn=" + std::to_string(ToOne(r.vIn)) + "|vLen=" + std::to_string(r.vLen) +
         "|vFPS=" + std::to_string(std::llround(std::isfinite(r.vFPS) ? r.vFPS : 0)) +
         "|aIn=" + std::to_string(ToOne(r.aIn)) + "|aLen=" + std::to_string(r.aLen);
}

std::string FullName(const MMList& list, int32_t file) {
  const QMMFileInfo* f = MMFile_GetPtrByIndex(list.files, file);
  return f ? f->info.name : std::string();
}

}  // namespace

namespace detail {

std::string VFLGetStr(std::string_view line, std::string_view key) {
  const size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {};
  const std::string_view fields = line.substr(bar);
  const size_t at = FindNoCase(fields, key);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = fields.substr(at + key.size());
  return std::string(Trim(rest.substr(0, rest.find('|'))));
}

int32_t VFLGetInt(std::string_view line, std::string_view key, int32_t def) {
  const std::string text = VFLGetStr(line, key);
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return text.empty() || ec != std::errc() || end != text.data() + text.size() ? def : v;
}

double VFLGetFloat(std::string_view line, std::string_view key, double def) {
  const std::string text = VFLGetStr(line, key);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) ? def : v;
}

}  // namespace detail

void VFLExport(bool withParams, const VFLCallback& callback, std::string& text) {
  text.clear();
  QVFLRec r;
  r.index = 0;
  while (callback(r)) {
    text += Line(r, withParams) + "\r\n";
    ++r.index;
  }
}

void VFLImport(std::string_view text, const std::string& baseFolder, const VFLCallback& callback, void* userData) {
  QVFLRec r;
  r.index = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::string name(Trim(line.substr(0, line.find('|'))));
    if (name.empty()) continue;
    r.name = name.front() == '/' ? name : baseFolder + name;
    r.vIn = FromOne(detail::VFLGetInt(line, "vIn=", NOT_SET));
    r.vLen = detail::VFLGetInt(line, "vLen=", NOT_SET);
    r.vFPS = detail::VFLGetFloat(line, "vFPS=", NOT_SET_F);
    r.aIn = FromOne(detail::VFLGetInt(line, "aIn=", NOT_SET));
    r.aLen = detail::VFLGetInt(line, "aLen=", NOT_SET);
    r.sequence = r.vLen > 1 ? RF_TRUE : RF_FALSE;
    r.userData = userData;
    if (!callback(r)) return;
    ++r.index;
  }
}

std::string VFLExportProject(const Project& project, bool withParams) {
  const MMList& list = project.list;
  std::vector<const MMBlockRec*> audio;
  for (const MMBlockRec* b : list.audio.items)
    if (MMBlockP_IsFile(*b)) audio.push_back(b);
  const size_t videoCount = list.video.items.size();
  std::string text;
  VFLExport(
      withParams,
      [&](QVFLRec& r) {
        const size_t i = size_t(r.index);
        if (i >= videoCount + audio.size()) return false;
        const bool video = i < videoCount;
        const MMBlockRec& b = video ? *list.video.items[i] : *audio[i - videoCount];
        const int32_t length = b.last - b.first + 1;
        r.name = FullName(list, b.file);
        r.vIn = video ? b.first : 0;
        r.vLen = video ? length : 0;
        r.vFPS = video ? b.frequency : 0;
        r.aIn = video ? 0 : b.first;
        r.aLen = video ? 0 : length;
        return true;
      },
      text);
  return text;
}

int32_t VFLImportProject(Project& project, std::string_view text, const std::string& baseFolder, int32_t videoPos,
                         int32_t audioPos) {
  AddRequest request = MakeAddRequest(project, videoPos, audioPos);
  request.showErrors = false;
  int32_t failed = 0;
  VFLImport(
      text, baseFolder,
      [&](QVFLRec& r) {
        request.fileName = r.name;
        request.detectSequences = r.sequence != 0;
        request.videoFirst = r.vIn;
        request.videoCount = r.vLen;
        request.videoRate = r.vFPS;
        request.audioFirst = r.aIn;
        request.audioCount = r.aLen;
        if (!FileAdd(project, request, true, EditEnv{})) ++failed;
        ErrClear();
        return true;
      },
      &request);
  if (request.videoFramesAdded > 0) FnRangesInserted(project.chain, request.videoStartFrame, request.videoFramesAdded);
  return failed;
}

bool VFLImportFile(Project& project, const std::string& fileName, int32_t& failed) {
  std::string text;
  bool ok = false;
  GuardedSilent("MainUnit.ImportList", [&] {
    int32_t h;
    if (FOpen(h, fileName, FM_READ) != 0) return;
    const int64_t size = FSize(h);
    if (size > kMaxListBytes) ErrSet(6, 3);
    text.resize(size_t(size));
    if (size > 0) FRead(h, text.data(), int32_t(size));
    FClose(h);
    ok = true;
  });
  if (!ok) return false;
  ErrClear();
  const size_t slash = fileName.rfind('/');
  const std::string base = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  failed = VFLImportProject(project, text, base, int32_t(project.list.video.items.size()),
                            int32_t(project.list.audio.items.size()));
  return true;
}

bool VFLExportFile(const Project& project, const std::string& fileName) {
  const std::string ext = fileName.size() >= 4 ? fileName.substr(fileName.size() - 4) : std::string();
  const bool withParams = ext.size() == 4 && FindNoCase(ext, ".vfl") == 0;
  const std::string text = VFLExportProject(project, withParams);
  bool ok = false;
  GuardedSilent("MainUnit.ExportList", [&] {
    int32_t h;
    if (FOpen(h, fileName, FM_CREATE | FM_WRITE) != 0) return;
    if (!text.empty()) FWrite(h, text.data(), int32_t(text.size()));
    FClose(h);
    ok = ErrNone();
  });
  ErrClear();
  return ok;
}

}  // namespace rf
