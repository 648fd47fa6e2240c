// Any text parsed as an INI file serialises to a text that parses to itself, and every key
// written into it reads back as written.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  rf::IniText ini;
  ini.Parse(text);
  const std::string once = ini.Serialize();
  rf::IniText again;
  again.Parse(once);
  if (again.Serialize() != once) std::abort();
  // The input's first line, cut at "=", as a section, key and value.
  const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
  const size_t eq = line.find('=');
  const std::string key = eq == std::string_view::npos ? "Key" : std::string(line.substr(0, eq));
  again.Set("Local", key, "value");
  std::string value;
  if (!key.empty() && key.find_first_of("[];=") == std::string::npos &&
      key.find_first_not_of(" \t") != std::string::npos && key.front() != ' ' && key.back() != ' ' &&
      key.front() != '\t' && key.back() != '\t') {
    rf::IniText back;
    back.Parse(again.Serialize());
    if (!back.Get("local", key, value) || value != "value") std::abort();
  }
  return 0;
}
