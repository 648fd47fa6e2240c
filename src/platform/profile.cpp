// The INI reader and writer behind the preferences: parsing, lookups without regard to case, a
// per-file cache of written values and the atomic rewrite.
#include "platform/profile.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <utility>

#include "os/kernel.h"

namespace rf {
namespace {

// Longest INI file read; anything longer is not a preferences file.
constexpr std::streamoff kMaxIniBytes = 1 << 20;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string ReadWhole(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxIniBytes) return {};
  in.seekg(0);
  std::string text(size_t(size), '\0');
  in.read(text.data(), size);
  return in ? text : std::string();
}

// Writes text to a temporary beside file, flushes it to the disk and renames it over file.
bool ReplaceFile(const std::string& file, const std::string& text) {
  std::string temp;
  const int fd = kernel::CreateTempBeside(file, temp);
  if (fd < 0) return false;
  const bool written =
      kernel::WriteFileAt(fd, text.data(), int64_t(text.size()), 0) == int64_t(text.size()) && ::fsync(fd) == 0;
  const bool closed = kernel::CloseFile(fd);
  if (written && closed && kernel::RenameFile(temp, file)) return true;
  kernel::DeleteFile(temp);
  return false;
}

std::mutex g_lock;
std::map<std::string, IniText> g_cache;  // files with values not yet flushed

}  // namespace

void IniText::Parse(std::string_view text) {
  sections_.assign(1, Section{});
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view line = Trim(raw);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      sections_.push_back(Section{std::string(Trim(line.substr(1, line.size() - 2))), {}});
      continue;
    }
    const size_t eq = line.find('=');
    const std::string_view key = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(0, eq));
    if (line.empty() || line.front() == ';' || key.empty())
      sections_.back().lines.push_back(Line{{}, std::string(Trim(raw))});
    else
      sections_.back().lines.push_back(Line{std::string(key), std::string(Trim(line.substr(eq + 1)))});
  }
}

std::string IniText::Serialize() const {
  std::string out;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) out += "[" + sections_[i].name + "]\r\n";
    for (const Line& l : sections_[i].lines) out += (l.key.empty() ? l.text : l.key + "=" + l.text) + "\r\n";
  }
  return out;
}

IniText::Section* IniText::Find(std::string_view section) {
  return const_cast<Section*>(std::as_const(*this).Find(section));
}

const IniText::Section* IniText::Find(std::string_view section) const {
  // The unnamed first section holds only keys written before any header.
  for (size_t i = section.empty() ? 0 : 1; i < sections_.size(); ++i)
    if (SameName(sections_[i].name, section)) return &sections_[i];
  return nullptr;
}

bool IniText::Get(std::string_view section, std::string_view key, std::string& value) const {
  const Section* s = Find(section);
  if (!s) return false;
  for (const Line& l : s->lines)
    if (!l.key.empty() && SameName(l.key, key)) {
      value = l.text;
      return true;
    }
  return false;
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (sections_.empty()) sections_.assign(1, Section{});
  Section* s = Find(section);
  if (!s) s = &sections_.emplace_back(Section{std::string(section), {}});
  for (Line& l : s->lines)
    if (!l.key.empty() && SameName(l.key, key)) {
      l.text = value;
      return;
    }
  // A new key goes after the section's last key, before the blank lines that separate sections.
  auto at = s->lines.end();
  while (at != s->lines.begin() && std::prev(at)->key.empty() && std::prev(at)->text.empty()) --at;
  s->lines.insert(at, Line{std::string(key), std::string(value)});
}

std::string ProfileGetString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def) {
  std::string value;
  {
    std::lock_guard lock(g_lock);
    if (const auto it = g_cache.find(file); it != g_cache.end())
      return it->second.Get(section, key, value) ? value : std::string(def);
  }
  IniText ini;
  ini.Parse(ReadWhole(file));
  return ini.Get(section, key, value) ? value : std::string(def);
}

void ProfileSetString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard lock(g_lock);
  auto it = g_cache.find(file);
  if (it == g_cache.end()) {
    it = g_cache.emplace(file, IniText{}).first;
    it->second.Parse(ReadWhole(file));
  }
  // A line end inside a value would start a new line on reading.
  std::string clean(value);
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  it->second.Set(section, key, clean);
}

bool ProfileFlush(const std::string& file) {
  std::string text;
  {
    std::lock_guard lock(g_lock);
    const auto it = g_cache.find(file);
    if (it == g_cache.end()) return true;
    text = it->second.Serialize();
    g_cache.erase(it);
  }
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos && slash > 0) kernel::MakeDirs(file.substr(0, slash));
  return ReplaceFile(file, text);
}

}  // namespace rf
