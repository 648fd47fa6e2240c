// The preferences batch over "Reelforge.ini" and the typed accessors on the profile stand-in.
#include "persistence/prefs.h"

#include <unistd.h>

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "os/kernel.h"
#include "platform/profile.h"

namespace rf {
namespace {

constexpr size_t kMaxValue = 1023;

std::string g_file, g_section;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProgramPath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

std::string ReadRaw(const std::string& key, const std::string& def) {
  if (g_file.empty()) return {};
  std::string v = ProfileGetString(g_file, g_section, key, def);
  if (v.size() > kMaxValue) v.resize(kMaxValue);
  return v;
}

// A default no number or boolean parses from, so that a missing key takes the caller's default.
constexpr const char* kMissing = "\x01";

template <class T>
bool ParseWhole(const std::string& text, T& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  return begin != end && ec == std::errc() && stop == end;
}

}  // namespace

void PrefsPrepare(const std::string& file, const std::string& section) {
  g_file = file;
  g_section = section;
}

void PrefsReadStr(const std::string& key, std::string& value, const std::string& def) { value = ReadRaw(key, def); }

void PrefsReadInt(const std::string& key, int32_t& value, int32_t def) {
  if (!ParseWhole(ReadRaw(key, kMissing), value)) value = def;
}

void PrefsReadFloat(const std::string& key, double& value, double def) {
  if (!ParseWhole(ReadRaw(key, kMissing), value) || !std::isfinite(value)) value = def;
}

void PrefsReadBool(const std::string& key, int32_t& value, int32_t def) {
  const std::string text = ReadRaw(key, kMissing);
  const char c = text.empty() ? '\0' : char(std::toupper(static_cast<unsigned char>(text[0])));
  value = (c == '1' || c == 'T' || c == 'Y') ? -1 : (c == '0' || c == 'F' || c == 'N') ? 0 : def;
}

void PrefsWriteStr(const std::string& key, const std::string& value) {
  if (!g_file.empty()) ProfileSetString(g_file, g_section, key, value);
}

void PrefsWriteInt(const std::string& key, int32_t value) { PrefsWriteStr(key, std::to_string(value)); }

void PrefsWriteFloat(const std::string& key, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%10.10f", value);
  PrefsWriteStr(key, text);
}

void PrefsWriteBool(const std::string& key, int32_t value) { PrefsWriteStr(key, value ? "1" : "0"); }

bool PrefsFlushCache() { return g_file.empty() || ProfileFlush(g_file); }

std::string PrefsFile() { return kernel::ConfigDir() + "/Reelforge.ini"; }

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void ReadPreferences(Preferences& p) {
  PrefsPrepare(PrefsFile(), "Local");
  PrefsReadStr("RecentFiles", p.recentFiles, "");
  PrefsReadStr("RecentDirs", p.recentDirs, "");
  PrefsReadStr("FileOpenDir", p.fileOpenDir, "");
  PrefsReadStr("VideoSaveDir", p.videoSaveDir, p.fileOpenDir);
  PrefsReadStr("AudioSaveDir", p.audioSaveDir, p.fileOpenDir);
  PrefsReadStr("SessionDir", p.sessionDir, ProgramFolder());
  PrefsReadStr("ListImportDir", p.listImportDir, p.fileOpenDir);
  PrefsReadStr("ListExportDir", p.listExportDir, p.fileOpenDir);
  PrefsReadBool("DetectImgSeq", p.detectImgSeq, -1);
  PrefsReadStr("DefaultSession", p.defaultSession, "");
  PrefsReadStr("DefaultVideoExt", p.defaultVideoExt, "");
  if (p.defaultVideoExt.empty()) p.defaultVideoExt = ".avi";
  PrefsReadStr("DefaultAudioExt", p.defaultAudioExt, "");
  if (p.defaultAudioExt.empty()) p.defaultAudioExt = ".wav";
  PrefsReadBool("SignalEnd", p.signalEnd, 0);
  PrefsReadInt("SignalMin", p.signalMin, 1);
  PrefsReadStr("SignalSound", p.signalSound, "");
  PrefsReadBool("PlayInput", p.playInput, 0);
  PrefsReadBool("PlayOutput", p.playOutput, -1);
  PrefsReadBool("ResamplePV", p.resamplePV, 0);
  PrefsReadFloat("DefaultFPS", p.defaultFPS, 30.0);
  p.defaultFPS = std::clamp(p.defaultFPS, 0.001, 1000000.0);
  PrefsReadInt("VideoUnit", p.videoUnit, 1);
  PrefsReadInt("AudioUnit", p.audioUnit, 1);
  PrefsReadInt("PreviewBackColor", p.previewBackColor, 0);
  PrefsReadInt("ImgCacheSize", p.imgCacheSize, 0);
  PrefsReadInt("PVRenderMode", p.pvRenderMode, 1);
  PrefsReadStr("TempFolder", p.tempFolder, kernel::TempDir());
  if (!IsFolder(p.tempFolder)) p.tempFolder = kernel::TempDir();
  PrefsReadBool("WarningOverwrite", p.warningOverwrite, -1);
}

bool WritePreferences(const Preferences& p) {
  PrefsPrepare(PrefsFile(), "Local");
  PrefsWriteStr("RecentFiles", p.recentFiles);
  PrefsWriteStr("RecentDirs", p.recentDirs);
  PrefsWriteStr("FileOpenDir", p.fileOpenDir);
  PrefsWriteStr("VideoSaveDir", p.videoSaveDir);
  PrefsWriteStr("AudioSaveDir", p.audioSaveDir);
  PrefsWriteStr("SessionDir", p.sessionDir);
  PrefsWriteStr("ListImportDir", p.listImportDir);
  PrefsWriteStr("ListExportDir", p.listExportDir);
  PrefsWriteBool("DetectImgSeq", p.detectImgSeq);
  PrefsWriteStr("DefaultSession", p.defaultSession);
  PrefsWriteStr("DefaultVideoExt", p.defaultVideoExt);
  PrefsWriteStr("DefaultAudioExt", p.defaultAudioExt);
  PrefsWriteBool("SignalEnd", p.signalEnd);
  PrefsWriteInt("SignalMin", p.signalMin);
  PrefsWriteStr("SignalSound", p.signalSound);
  PrefsWriteBool("PlayInput", p.playInput);
  PrefsWriteBool("PlayOutput", p.playOutput);
  PrefsWriteBool("ResamplePV", p.resamplePV);
  PrefsWriteFloat("DefaultFPS", p.defaultFPS);
  PrefsWriteInt("VideoUnit", p.videoUnit);
  PrefsWriteInt("AudioUnit", p.audioUnit);
  PrefsWriteInt("PreviewBackColor", p.previewBackColor);
  PrefsWriteInt("ImgCacheSize", p.imgCacheSize);
  PrefsWriteInt("PVRenderMode", p.pvRenderMode);
  PrefsWriteStr("TempFolder", p.tempFolder);
  PrefsWriteBool("WarningOverwrite", p.warningOverwrite);
  bool ok = PrefsFlushCache();
  PrefsPrepare(kernel::SharedIniPath(), "velmora");
  PrefsWriteStr("Reelforge-Path", ProgramPath());
  PrefsWriteStr("Reelforge-Date", "2000-06-13");
  ok = PrefsFlushCache() && ok;
  PrefsPrepare("", "");
  return ok;
}

}  // namespace rf
