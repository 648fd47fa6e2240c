// Any text read as a list file gives records with a name, and exporting those records and
// reading them back gives the same records.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "persistence/vflformat.h"

namespace {

std::vector<rf::QVFLRec> Records(std::string_view text) {
  std::vector<rf::QVFLRec> records;
  rf::VFLImport(
      text, "/base/",
      [&](rf::QVFLRec& r) {
        records.push_back(r);
        return true;
      },
      nullptr);
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<rf::QVFLRec> records = Records(text);
  for (const rf::QVFLRec& r : records)
    if (r.name.empty() || r.name.front() != '/') std::abort();
  // Names holding a line end or "|" cannot be written back as one line; the rest must survive.
  std::string out;
  rf::VFLExport(
      false,
      [&](rf::QVFLRec& r) {
        if (size_t(r.index) >= records.size()) return false;
        r.name = records[size_t(r.index)].name;
        return true;
      },
      out);
  const std::vector<rf::QVFLRec> again = Records(out);
  if (again.size() != records.size()) std::abort();
  for (size_t i = 0; i < again.size(); ++i)
    if (again[i].name != records[i].name) std::abort();
  return 0;
}
