// Tracked heap blocks: every block is registered under its owner's label so that guarded blocks
// can release what they acquired and leaks are reported at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

// Allocation kinds, as the label letter shows them.
inline constexpr int32_t MEM_RESIZE = 0;  // 'C': resizes the variable's tracked block in place
inline constexpr int32_t MEM_STRING = 1;  // 'S': zero-terminated character buffer, contents not kept
inline constexpr int32_t MEM_NEW = 2;     // 'N': always a new block and a new entry

inline constexpr int32_t MEM_MAX_HANDLES = 10240;

namespace detail {
// The variable is the address of a pointer object; its value is read and written by bytes so
// that one table serves pointer variables of every type.
int32_t MemAlloc(void* variable, int32_t size, int32_t kind, std::string_view label, Site site);
void MemFree(void* variable);
void MemXchg(void* a, void* b);
}  // namespace detail

// Allocates or resizes the block held by var; returns the error code (0 on success).
// New blocks are zero-filled.
template <class T>
int32_t _memalloc_(T*& var, int32_t size, int32_t kind, std::string_view label, Site site = {}) {
  return detail::MemAlloc(static_cast<void*>(&var), size, kind, label, site);
}

// Releases the tracked block whose address var holds and sets var to nil; untracked values are
// ignored.
template <class T>
void MemFree(T*& var) {
  detail::MemFree(static_cast<void*>(&var));
}

// Exchanges the blocks (and their sizes) of two tracked variables; the labels stay with the
// variables. Error (5, 2) when either is untracked.
template <class T>
void MemXchg(T*& a, T*& b) {
  detail::MemXchg(static_cast<void*>(&a), static_cast<void*>(&b));
}

int32_t MemCount();
int32_t MemPeak();
// The allocated size of a tracked block, NOT_SET when untracked.
int32_t MemSize(const void* block);
// The label of a tracked block, empty when untracked.
std::string MemLabel(const void* block);
// Frees every entry from the last down to index first.
void MemReleaseFrom(int32_t first);
// Writes the not-freed blocks to the trace and frees them.
void MemReportLeaks();

}  // namespace rf
