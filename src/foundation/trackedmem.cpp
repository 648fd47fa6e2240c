// The memory handle table behind _memalloc_, MemFree and MemXchg (trace labels "Basic.*").
#include "foundation/trackedmem.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"

namespace rf {
namespace {

struct MemEntry {
  void* block;
  void* variable;
  int32_t size;
  std::string label;
};

MemEntry g_table[MEM_MAX_HANDLES];
int32_t g_count = 0;
int32_t g_peak = 0;

void* ReadVar(const void* variable) {
  void* value;
  std::memcpy(&value, variable, sizeof value);
  return value;
}

void WriteVar(void* variable, void* value) { std::memcpy(variable, &value, sizeof value); }

char KindLetter(int32_t kind) { return kind == MEM_STRING ? 'S' : kind == MEM_NEW ? 'N' : 'C'; }

std::string MakeLabel(int32_t kind, std::string_view label, int32_t index, Site site) {
  std::string text(1, KindLetter(kind));
  text += ':';
  if (label.empty())
    text += "Handle #" + std::to_string(index);
  else
    text += label;
  return text + ":" + FormatUInt(100, uint32_t(site.number));
}

int32_t FindBlock(const void* block) {
  if (!block) return NOT_SET;
  for (int32_t i = 0; i < g_count; ++i)
    if (g_table[i].block == block) return i;
  return NOT_SET;
}

// The requested size grown by 5 % and rounded up to whole 32-bit words; 0 when unusable.
int32_t GrownSize(int32_t requested) {
  const double grown = std::nearbyint(double(requested) * 1.05);
  if (!(grown > 0) || grown > double(INT32_MAX - 3)) return 0;
  return (int32_t(grown) + 3) / 4 * 4;
}

void* NewBlock(int32_t size) { return detail::FaultHit(Fault::Alloc) ? nullptr : std::calloc(1, size_t(size)); }

// Resizes a block, zero-filling what it gained.
void* ResizeBlock(void* block, int32_t oldSize, int32_t size) {
  if (detail::FaultHit(Fault::Alloc)) return nullptr;
  void* grown = std::realloc(block, size_t(size));
  if (grown && size > oldSize) std::memset(static_cast<char*>(grown) + oldSize, 0, size_t(size - oldSize));
  return grown;
}

void RemoveEntry(int32_t index) {
  --g_count;
  if (index != g_count) g_table[index] = std::move(g_table[g_count]);
  g_table[g_count] = MemEntry{};
}

}  // namespace

int32_t detail::MemAlloc(void* variable, int32_t requested, int32_t kind, std::string_view label, Site site) {
  TraceLabel scope("Basic._memalloc_");
  int32_t result = 0;
  const int32_t size = GrownSize(requested);
  void* current = ReadVar(variable);
  int32_t found = NOT_SET;
  for (int32_t i = 0; i < g_count && current; ++i)
    if (g_table[i].block == current && g_table[i].variable == variable) found = i;

  if (size == 0) {
    result = 5;
  } else if (found != NOT_SET && kind != MEM_NEW) {
    MemEntry& e = g_table[found];
    void* block;
    if (kind == MEM_STRING) {
      block = NewBlock(size);
      if (block) std::free(e.block);
    } else {
      block = ResizeBlock(e.block, e.size, size);
    }
    if (!block) {
      result = 3;
    } else {
      e.block = block;
      e.size = size;
      e.label = MakeLabel(kind, label, found, site);
      WriteVar(variable, block);
    }
  } else if (void* block = NewBlock(size); !block) {
    result = 1;
  } else {
    WriteVar(variable, block);
    if (g_count >= MEM_MAX_HANDLES) {
      result = 6;
    } else {
      g_table[g_count] = MemEntry{block, variable, size, MakeLabel(kind, label, g_count, site)};
      ++g_count;
      if (g_count > g_peak) g_peak = g_count;
    }
  }
  ErrSet(5, result, site);
  return result;
}

void detail::MemFree(void* variable) {
  TraceLabel scope("Basic.MemFree");
  const int32_t index = FindBlock(ReadVar(variable));
  if (index == NOT_SET) return;
  // free() cannot report a failure, so the warning (5, 4) of other heaps never arises here.
  std::free(g_table[index].block);
  WriteVar(variable, nullptr);
  RemoveEntry(index);
}

void detail::MemXchg(void* a, void* b) {
  Guarded("Basic.MemXchg", [&] {
    const int32_t ia = FindBlock(ReadVar(a));
    const int32_t ib = FindBlock(ReadVar(b));
    if (ia == NOT_SET || ib == NOT_SET) {
      ErrSet(5, 2);
      return;
    }
    std::swap(g_table[ia].block, g_table[ib].block);
    std::swap(g_table[ia].size, g_table[ib].size);
    void* va = ReadVar(a);
    WriteVar(a, ReadVar(b));
    WriteVar(b, va);
  });
}

int32_t MemCount() { return g_count; }
int32_t MemPeak() { return g_peak; }

int32_t MemSize(const void* block) {
  const int32_t i = FindBlock(block);
  return i == NOT_SET ? NOT_SET : g_table[i].size;
}

std::string MemLabel(const void* block) {
  const int32_t i = FindBlock(block);
  return i == NOT_SET ? std::string() : g_table[i].label;
}

void MemReleaseFrom(int32_t first) {
  TraceLabel scope("Basic.MemFree");
  if (first < 0) first = 0;
  // Variables may live inside blocks released here: clear them all while every block is alive,
  // and only those that still hold their block.
  for (int32_t i = g_count - 1; i >= first; --i)
    if (ReadVar(g_table[i].variable) == g_table[i].block) WriteVar(g_table[i].variable, nullptr);
  for (int32_t i = g_count - 1; i >= first; --i) {
    std::free(g_table[i].block);
    RemoveEntry(i);
  }
}

void MemReportLeaks() {
  if (g_count == 0) return;
  std::string text =
      "Max. allocated memory handles: " + FormatUInt(100, uint32_t(g_peak)) + "\r\nMemory handles not freed:\r\n";
  for (int32_t i = g_count - 1; i >= 0; --i) {
    text += "  " + g_table[i].label + ":" + FormatUInt(100, uint32_t(g_table[i].size)) + " bytes\r\n";
    std::free(g_table[i].block);
    g_table[i] = MemEntry{};
  }
  g_count = 0;
  TraceWriteText(text);
}

}  // namespace rf
