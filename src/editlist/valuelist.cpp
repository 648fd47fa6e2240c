// Value lists over tracked rows and tracked string buffers (trace labels "ValueList.*").
#include "editlist/valuelist.h"

#include <cstring>

#include "foundation/errors.h"
#include "foundation/trace.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

void ResetSlot(VListSlot& slot, int32_t type) {
  switch (type) {
    case VL_INT:
      slot.i = NOT_SET;
      break;
    case VL_FLOAT:
      slot.f = NOT_SET_F;
      break;
    case VL_STR:
      slot.s = nullptr;
      break;
    default:
      slot.i = 0;
      break;
  }
}

// The slot for (row, id) with its field's type, or nil when either does not exist.
VListSlot* Find(const VList& list, int32_t row, int32_t id, int32_t& type) {
  const int32_t field = VList_FindFieldByID(list, id);
  if (field == NOT_SET || row < 0 || row >= VList_GetCount(list)) return nullptr;
  type = list.types[field];
  return &list.rows[size_t(row)]->slots[field];
}

// The slot when it exists and has the wanted type; a mismatch is error (4, 3).
VListSlot* FindTyped(const VList& list, int32_t row, int32_t id, int32_t wanted) {
  int32_t type = 0;
  VListSlot* slot = Find(list, row, id, type);
  if (!slot) return nullptr;
  if (type != wanted) {
    ErrSet(4, 3);
    return nullptr;
  }
  return slot;
}

}  // namespace

void VList_Alloc(VList& list) {
  TraceLabel scope("ValueList.VList_Alloc");
  list.rows.clear();
  list.fieldCount = 0;
}

void VList_Free(VList& list) {
  TraceLabel scope("ValueList.VList_Free");
  for (VListRow*& row : list.rows) {
    for (int32_t f = 0; f < list.fieldCount; ++f)
      if (list.types[f] == VL_STR) MemFree(row->slots[f].s);
    MemFree(row);
  }
  list.rows.clear();
  list.fieldCount = 0;
}

void VList_AddField(VList& list, int32_t id, int32_t type) {
  TraceLabel scope("ValueList.VList_AddField");
  if (VList_FindFieldByID(list, id) != NOT_SET) {
    ErrSet(4, 3);
    return;
  }
  if (list.fieldCount >= VL_MAX_FIELDS) return;
  const int32_t f = list.fieldCount++;
  list.ids[f] = id;
  list.types[f] = type;
  for (VListRow* row : list.rows) ResetSlot(row->slots[f], type);
}

int32_t VList_FindFieldByID(const VList& list, int32_t id) {
  for (int32_t f = 0; f < list.fieldCount; ++f)
    if (list.ids[f] == id) return f;
  return NOT_SET;
}

int32_t VList_Append(VList& list) {
  TraceLabel scope("ValueList.VList_Append");
  // The row is allocated straight into its place in the list, which must not keep an empty
  // place when the allocation fails (outside a guarded block it returns, inside it throws).
  list.rows.push_back(nullptr);
  VListRow*& row = list.rows.back();
  int32_t result;
  try {
    result = _memalloc_(row, int32_t(sizeof(VListRow)), MEM_NEW, "ValueList.VList_Append.itemP");
  } catch (...) {
    list.rows.pop_back();
    throw;
  }
  if (result != 0) {
    list.rows.pop_back();
    return NOT_SET;
  }
  for (int32_t f = 0; f < VL_MAX_FIELDS; ++f) ResetSlot(row->slots[f], f < list.fieldCount ? list.types[f] : 0);
  return VList_GetCount(list) - 1;
}

int32_t VList_GetCount(const VList& list) { return int32_t(list.rows.size()); }

void VList_SetInt(VList& list, int32_t row, int32_t id, int32_t value) {
  TraceLabel scope("ValueList.VList_SetInt");
  if (VListSlot* slot = FindTyped(list, row, id, VL_INT)) slot->i = value;
}

void VList_SetFloat(VList& list, int32_t row, int32_t id, double value) {
  TraceLabel scope("ValueList.VList_SetFloat");
  if (VListSlot* slot = FindTyped(list, row, id, VL_FLOAT)) slot->f = value;
}

void VList_SetStr(VList& list, int32_t row, int32_t id, std::string_view text) {
  TraceLabel scope("ValueList.VList_SetStr");
  VListSlot* slot = FindTyped(list, row, id, VL_STR);
  if (!slot) return;
  MemFree(slot->s);
  if (_memalloc_(slot->s, int32_t(text.size() + 1), MEM_STRING, "ValueList.VList_SetStr.valueP^.vStrP") != 0) return;
  std::memcpy(slot->s, text.data(), text.size());
  slot->s[text.size()] = '\0';
}

int32_t VList_GetInt(const VList& list, int32_t row, int32_t id, int32_t defaultValue) {
  TraceLabel scope("ValueList.VList_GetInt");
  const VListSlot* slot = FindTyped(list, row, id, VL_INT);
  return slot ? slot->i : defaultValue;
}

double VList_GetFloat(const VList& list, int32_t row, int32_t id, double defaultValue) {
  TraceLabel scope("ValueList.VList_GetFloat");
  const VListSlot* slot = FindTyped(list, row, id, VL_FLOAT);
  return slot ? slot->f : defaultValue;
}

std::string VList_GetStr(const VList& list, int32_t row, int32_t id, std::string_view defaultValue) {
  TraceLabel scope("ValueList.VList_GetStr");
  const VListSlot* slot = FindTyped(list, row, id, VL_STR);
  if (!slot) return std::string(defaultValue);
  return slot->s ? std::string(slot->s) : std::string();
}

int32_t VList_FindInt(const VList& list, int32_t id, int32_t value, int32_t notFound) {
  // A default unequal to the value, so that a row without the field never matches.
  const int32_t missing = value == INT32_MIN ? INT32_MAX : value - 1;
  for (int32_t row = 0; row < VList_GetCount(list); ++row)
    if (VList_GetInt(list, row, id, missing) == value) return row;
  return notFound;
}

void VList_Prepare2(VList& list) {
  VList_Alloc(list);
  VList_AddField(list, 0, VL_STR);
  VList_AddField(list, 1, VL_INT);
}

void VList_Add2(VList& list, std::string_view text, int32_t a) {
  const int32_t row = VList_Append(list);
  VList_SetStr(list, row, 0, text);
  VList_SetInt(list, row, 1, a);
}

void VList_Prepare4(VList& list) {
  VList_Alloc(list);
  VList_AddField(list, 0, VL_STR);
  for (int32_t id = 1; id <= 3; ++id) VList_AddField(list, id, VL_INT);
}

void VList_Add4(VList& list, std::string_view text, int32_t a, int32_t b, int32_t c) {
  const int32_t row = VList_Append(list);
  VList_SetStr(list, row, 0, text);
  VList_SetInt(list, row, 1, a);
  VList_SetInt(list, row, 2, b);
  VList_SetInt(list, row, 3, c);
}

void VList_SampleRates(VList& list) {
  VList_Prepare2(list);
  const struct {
    const char* text;
    int32_t rate;
  } rates[] = {{"8000", 8000},
               {"11025", 11025},
               {"16000", 16000},
               {"22050", 22050},
               {"24000", 24000},
               {"32000", 32000},
               {"44100 CD-Quality", 44100},
               {"48000", 48000}};
  for (const auto& r : rates) VList_Add2(list, r.text, r.rate);
}

void VList_AudioPresets(VList& list) {
  VList_Prepare4(list);
  VList_Add4(list, "CD-Quality", 44100, 16, 2);
  VList_Add4(list, "Radio Quality", 22050, 16, 2);
  VList_Add4(list, "Telephone Quality", 8000, 8, 1);
}

void VList_FrameRates(VList& list) {
  VList_Alloc(list);
  VList_AddField(list, 0, VL_STR);
  VList_AddField(list, 1, VL_FLOAT);
  const struct {
    const char* text;
    double fps;
  } rates[] = {{"15.00  fps  (AVI standard)", 15.0},   {"23.98  fps  (NTSC film)", 24000.0 / 1001},
               {"24.00  fps  (film)", 24.0},           {"25.00  fps  (PAL)", 25.0},
               {"29.97  fps  (NTSC)", 30000.0 / 1001}, {"30.00  fps  (NTSC)", 30.0}};
  for (const auto& r : rates) {
    const int32_t row = VList_Append(list);
    VList_SetStr(list, row, 0, r.text);
    VList_SetFloat(list, row, 1, r.fps);
  }
}

}  // namespace rf
