// Script files of the older sibling program: a fixed-size file of up to 25 effects whose numbers
// are translated into this program's effects.
#include "persistence/crvimport.h"

#include <algorithm>
#include <cstring>

#include "effects/fnrun.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr char kMagic[] =
    "\x10"
    "CORVAN-SCRIPT-01";
constexpr int32_t kMagicSize = 17;
constexpr int32_t kEntriesAt = 21;
constexpr int32_t kEntrySize = 76;
constexpr int32_t kCountAt = 1921;

// Sibling number -> index in the list of available effects.
constexpr int32_t kEffectMap[][2] = {
    {0, 2},   {1, 4},   {2, 18},  {3, 14},  {4, 13},  {5, 25},  {6, 0},   {7, 1},   {8, 27},  {9, 26},
    {10, 10}, {11, 8},  {12, 12}, {13, 11}, {14, 17}, {15, 16}, {16, 3},  {17, 28}, {18, 24}, {19, 29},
    {20, 7},  {21, 30}, {22, 20}, {23, 21}, {24, 6},  {25, 9},  {26, 15}, {27, 19}, {28, 22}, {1000, NOT_SET},
};

int32_t Int32At(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void AppendEntry(Project& project, const uint8_t* entry) {
  const int32_t index = CRVEffectIndex(Int32At(entry));
  // An effect without translation has no template in the list of available effects.
  if (index == NOT_SET || index < 0 || index >= FnCount()) ErrSet(4, 1);
  const int32_t id = index + 1;
  QFnParams params{};
  params.paramSize = FnParamCount(id) * 8 + 4;
  params.inPlace = FnInPlace(id) ? RF_TRUE : RF_FALSE;
  std::memcpy(params.values, entry + 4, 6 * sizeof(double));
  FnMakeStr(id, params);
  ProjectInsertEffect(project, project.chain.size(), FnMakeEntry(id), &params);
}

}  // namespace

int32_t CRVEffectIndex(int32_t siblingNumber) {
  for (const auto& pair : kEffectMap)
    if (pair[0] == siblingNumber) return pair[1];
  return NOT_SET;
}

bool CRV_LoadScript(Project& project, const std::string& fileName) {
  bool ok = false;
  GuardedSilent("CRVImport.CRV_LoadScript", [&] {
    int32_t h;
    if (FOpen(h, fileName, FM_READ) != 0) return;
    if (FSize(h) != CRV_FILE_SIZE) {
      FClose(h);
      return;
    }
    uint8_t* script = nullptr;
    _memalloc_(script, CRV_FILE_SIZE, MEM_NEW, "CRVImport.CRV_LoadScript.crvScriptP");
    FRead(h, script, CRV_FILE_SIZE);
    FClose(h);
    if (std::memcmp(script, kMagic, kMagicSize) == 0) {
      const int32_t count = std::clamp(Int32At(script + kCountAt), 0, CRV_MAX_ENTRIES);
      for (int32_t i = 0; i < count; ++i) AppendEntry(project, script + kEntriesAt + i * kEntrySize);
      ok = true;
    }
    MemFree(script);
  });
  if (!ErrNone()) {
    ShowErrorBox(ErrLastMessage());
    ErrClear();
  }
  return ok;
}

}  // namespace rf
