// Value lists: small tables of typed columns addressed by id, used for named choices such as
// sample rates and audio presets.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

inline constexpr int32_t VL_MAX_FIELDS = 16;

// Field types.
inline constexpr int32_t VL_INT = 1;
inline constexpr int32_t VL_RESERVED = 2;
inline constexpr int32_t VL_FLOAT = 3;
inline constexpr int32_t VL_STR = 4;

// One 8-byte value slot of a row.
union VListSlot {
  int32_t i;
  double f;
  char* s;  // zero-terminated tracked buffer, or nil
};

// A row: one slot per field position, 128 bytes.
struct VListRow {
  VListSlot slots[VL_MAX_FIELDS];
};
static_assert(sizeof(VListRow) == 128);

// Owns its rows: never copied, released with VList_Free.
struct VList {
  VList() = default;
  VList(const VList&) = delete;
  VList& operator=(const VList&) = delete;

  int32_t fieldCount = 0;
  int32_t ids[VL_MAX_FIELDS] = {};
  int32_t types[VL_MAX_FIELDS] = {};
  // Rows are tracked blocks held in place, so that their addresses stay valid as rows are added.
  std::deque<VListRow*> rows;
};

void VList_Alloc(VList& list);
void VList_Free(VList& list);
void VList_AddField(VList& list, int32_t id, int32_t type);
int32_t VList_FindFieldByID(const VList& list, int32_t id);
int32_t VList_Append(VList& list);
int32_t VList_GetCount(const VList& list);
void VList_SetInt(VList& list, int32_t row, int32_t id, int32_t value);
void VList_SetFloat(VList& list, int32_t row, int32_t id, double value);
void VList_SetStr(VList& list, int32_t row, int32_t id, std::string_view text);
int32_t VList_GetInt(const VList& list, int32_t row, int32_t id, int32_t defaultValue);
double VList_GetFloat(const VList& list, int32_t row, int32_t id, double defaultValue);
std::string VList_GetStr(const VList& list, int32_t row, int32_t id, std::string_view defaultValue);
int32_t VList_FindInt(const VList& list, int32_t id, int32_t value, int32_t notFound);

// A text in field 0 with one (Prepare2/Add2) or three (Prepare4/Add4) integers in fields 1..3.
void VList_Prepare2(VList& list);
void VList_Add2(VList& list, std::string_view text, int32_t a);
void VList_Prepare4(VList& list);
void VList_Add4(VList& list, std::string_view text, int32_t a, int32_t b, int32_t c);

// The lists the output dialog offers: sample rates (text, rate), audio presets (text, rate,
// bits, channels) and frame rates (text, frames per second as a float in field 1).
void VList_SampleRates(VList& list);
void VList_AudioPresets(VList& list);
void VList_FrameRates(VList& list);

}  // namespace rf
