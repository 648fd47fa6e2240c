// Stand-in for the profile-string services: a small INI reader and writer with sections,
// case-insensitive section and key names, and a rewrite that replaces the file in one rename.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rf {

// One INI text held in memory. Lines that are not keys (comments, blanks, lines without "=")
// are kept where they stand, so that a rewrite changes only the values written.
class IniText {
 public:
  // Accepts CR LF and LF line ends; a key before any section belongs to the section "".
  void Parse(std::string_view text);
  // Lines end in CR LF.
  std::string Serialize() const;
  // False when the section or key is missing.
  bool Get(std::string_view section, std::string_view key, std::string& value) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);
  size_t SectionCount() const { return sections_.size(); }

 private:
  struct Line {
    std::string key;   // empty for a line kept as it is
    std::string text;  // the value, or the whole line
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  Section* Find(std::string_view section);
  const Section* Find(std::string_view section) const;
  std::vector<Section> sections_;
};

// The value of key in section of file, or def when the file, section or key is missing. Values
// written but not yet flushed are seen.
std::string ProfileGetString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def);
// Stores the value in the cache of file; ProfileFlush writes it.
void ProfileSetString(const std::string& file, std::string_view section, std::string_view key, std::string_view value);
// Writes the cached values of file: the whole text goes to a temporary beside it, flushed to the
// disk, that then replaces it. False (and the old file as it was) when that fails; the cache of
// file is dropped either way.
bool ProfileFlush(const std::string& file);

}  // namespace rf
