// List files: a plain list of names (.lst) or names with the range and rate each block takes
// (.vfl), exported from and imported into the edit list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/project.h"

namespace rf {

struct QVFLRec {
  std::string name;
  int32_t sequence = 0;  // 32-bit boolean
  int32_t index = 0;     // records handled so far
  int32_t vIn = NOT_SET;
  int32_t vLen = NOT_SET;
  double vFPS = NOT_SET_F;
  int32_t aIn = NOT_SET;
  int32_t aLen = NOT_SET;
  void* userData = nullptr;
};

// Fills the record and returns true while there is one more.
using VFLCallback = std::function<bool(QVFLRec& rec)>;

void VFLExport(bool withParams, const VFLCallback& callback, std::string& text);
// baseFolder ends in "/"; names without a folder are taken from there.
void VFLImport(std::string_view text, const std::string& baseFolder, const VFLCallback& callback, void* userData);

// The edit list as list text: every video block, then every audio block that is not silence.
std::string VFLExportProject(const Project& project, bool withParams);
// Adds the list's files at the given block positions; returns the number of records whose file
// gave no block.
int32_t VFLImportProject(Project& project, std::string_view text, const std::string& baseFolder, int32_t videoPos,
                         int32_t audioPos);
// Reads a list file and imports it at the ends of both lists; false when it cannot be read.
bool VFLImportFile(Project& project, const std::string& fileName, int32_t& failed);
// Writes the export (.vfl names, any case, get the ranges); false when it cannot be written.
bool VFLExportFile(const Project& project, const std::string& fileName);

namespace detail {
std::string VFLGetStr(std::string_view line, std::string_view key);
int32_t VFLGetInt(std::string_view line, std::string_view key, int32_t def);
double VFLGetFloat(std::string_view line, std::string_view key, double def);
}  // namespace detail

}  // namespace rf
