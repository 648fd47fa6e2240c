// Parsing of the desktop program's command line.
#include "ui/shell_cmdline.h"

#include <algorithm>
#include <cctype>

namespace rf::ui {
namespace {

constexpr std::string_view kOpen = "/open:";
constexpr std::string_view kUninst = "/uninst";

size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  const auto same = [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); };
  if (from > text.size()) return std::string_view::npos;
  const auto at = std::search(text.begin() + from, text.end(), what.begin(), what.end(), same);
  return at == text.end() ? std::string_view::npos : size_t(at - text.begin());
}

bool StartsNoCase(std::string_view text, std::string_view what) {
  return FindNoCase(text.substr(0, what.size()), what) == 0;
}

}  // namespace

ShellCommand ParseShellCommandLine(std::string line) {
  ShellCommand result;
  size_t from = 0;
  for (size_t at; (at = FindNoCase(line, kOpen, from)) != std::string::npos;) {
    const size_t open = at + kOpen.size();
    const size_t close = open < line.size() && line[open] == '"' ? line.find('"', open + 1) : std::string::npos;
    if (close == std::string::npos) {
      from = open;
      continue;
    }
    result.files.push_back(line.substr(open + 1, close - open - 1));
    line.erase(at, close + 1 - at);
    from = at;
  }
  result.uninstall = FindNoCase(line, kUninst) != std::string::npos;
  return result;
}

ShellCommand ParseShellArguments(const std::vector<std::string>& arguments) {
  ShellCommand result;
  for (const std::string& argument : arguments) {
    if (StartsNoCase(argument, kUninst) && argument.size() == kUninst.size()) {
      result.uninstall = true;
    } else if (StartsNoCase(argument, kOpen)) {
      const std::string_view name = std::string_view(argument).substr(kOpen.size());
      const bool quoted = name.size() >= 2 && name.front() == '"' && name.back() == '"';
      const ShellCommand one =
          ParseShellCommandLine(std::string(kOpen) + (quoted ? std::string(name) : "\"" + std::string(name) + "\""));
      result.files.insert(result.files.end(), one.files.begin(), one.files.end());
    } else if (!argument.empty()) {
      result.files.push_back(argument);
    }
  }
  return result;
}

}  // namespace rf::ui
