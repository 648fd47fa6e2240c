// The video and audio block lists of the edit list: maintenance, times, lookups and row texts
// (trace labels "mmedit.*").
#include <algorithm>
#include <cmath>

#include "editlist/mmedit.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

int32_t Count(const MMBlockList& list) { return int32_t(list.items.size()); }

// min first, then max, so that an empty range (hi < lo) gives lo.
int32_t Clamp(int64_t x, int64_t lo, int64_t hi) { return int32_t(std::max(std::min(x, hi), lo)); }

int32_t QuantCount(const MMBlockRec& b) { return b.last - b.first + 1; }
double Duration(const MMBlockRec& b) { return b.endTime - b.startTime; }

void ComputeTimes(MMBlockRec& b, double frequency) {
  b.frequency = frequency;
  if (MMBlockP_IsFile(b)) {
    b.startTime = b.first / frequency;
    b.endTime = (double(b.last) + 1) / frequency;
    b.fileTime = b.fileQuants / frequency;
  } else {
    b.startTime = 0;
    b.endTime = b.duration;
    b.fileTime = b.duration;
  }
}

// Rates this small are nonsense (and zero would divide by zero): they count as one per second.
double UsableFrequency(double frequency) { return frequency > 0.01 ? frequency : 1.0; }

std::string Grouped(int64_t value) {
  const std::string digits = FormatUInt(100, uint32_t(value < 0 ? -value : value));
  return value < 0 ? "-" + digits : digits;
}

std::string TimeText(double seconds) { return SecToStr(SEC_LIST, seconds); }

std::string Cut(std::string text, size_t maxLength) {
  if (text.size() > maxLength) text.resize(maxLength);
  return text;
}

}  // namespace

void detail::MMBlock_UpdateCalcFields(MMBlockList& list) {
  TraceLabel scope("mmedit._MMBlock_UpdateCalcFields");
  int32_t quants = 0;
  double time = 0;
  for (const MMBlockRec* b : list.items) {
    quants += QuantCount(*b);
    time += Duration(*b);
  }
  list.totalQuants = quants;
  list.totalTime = time;
}

void detail::MMBlock_ResetLink(MMBlockRec& block) {
  TraceLabel scope("mmedit._MMBlock_ResetLink");
  block.link = NOT_SET;
  block.linked = RF_FALSE;
}

void detail::MMBlock_GetBlockByQuant(const MMBlockList& list, int32_t listQuant, int32_t& block, double& time,
                                     int32_t& fileQuant) {
  TraceLabel scope("mmedit._MMBlock_GetBlockByQuant");
  block = NOT_SET;
  fileQuant = NOT_SET;
  time = NOT_SET_F;
  int64_t sum = 0;
  double acc = 0;
  for (int32_t k = 0; sum <= listQuant && k < Count(list); ++k) {
    const MMBlockRec& b = *list.items[size_t(k)];
    const int64_t previousSum = sum;
    const double previousAcc = acc;
    sum += QuantCount(b);
    acc += Duration(b);
    if (sum > listQuant) {
      const int32_t offset = int32_t(listQuant - previousSum);
      block = k;
      fileQuant = b.first + offset;
      time = offset / b.frequency + previousAcc;
      return;
    }
  }
}

bool MMBlockP_IsFile(const MMBlockRec& block) { return block.file >= 0; }

void MMBlockP_SetFile(MMBlockRec& block, int32_t file, int32_t first, int32_t last, int32_t fileQuants,
                      double frequency) {
  block = MMBlockRec{};
  block.file = file;
  block.first = first;
  block.last = last;
  block.fileQuants = fileQuants;
  detail::MMBlock_ResetLink(block);
  ComputeTimes(block, UsableFrequency(frequency));
}

void MMBlockP_SetSilence(MMBlockRec& block, double duration) {
  block = MMBlockRec{};
  block.file = MM_SILENCE;
  block.duration = std::clamp(duration, 0.0, double(INT32_MAX) / MM_SILENCE_FREQ);
  block.fileQuants = int32_t(block.duration * MM_SILENCE_FREQ);
  block.first = 0;
  block.last = block.fileQuants - 1;
  detail::MMBlock_ResetLink(block);
  ComputeTimes(block, MM_SILENCE_FREQ);
}

void MMBlock_Init(MMBlockList& list, MMFileList& files) {
  TraceLabel scope("mmedit.MMBlock_Init");
  list.items.clear();
  list.files = &files;
  detail::MMBlock_UpdateCalcFields(list);
}

void MMBlock_Done(MMBlockList& list) {
  TraceLabel scope("mmedit.MMBlock_Done");
  MMBlock_Delete(list, 0, Count(list));
}

MMBlockList& MMBlock_Insert(MMBlockList& list, int32_t position, MMBlockRec* block) {
  TraceLabel scope("mmedit.MMBlock_Insert");
  if (!block) return list;
  const int32_t p = Clamp(position, 0, Count(list));
  list.items.insert(list.items.begin() + p, block);
  MMBlock_ChangeFreq(list, p, 1, block->frequency);
  return list;
}

void MMBlock_Update(MMBlockList& list, int32_t index) {
  TraceLabel scope("mmedit.MMBlock_Update");
  if (index >= 0 && index < Count(list)) MMBlock_ChangeFreq(list, index, 1, list.items[size_t(index)]->frequency);
}

void MMBlock_Delete(MMBlockList& list, int32_t first, int32_t count) {
  TraceLabel scope("mmedit.MMBlock_Delete");
  const int32_t n = Count(list);
  if (n > 0 && count > 0) {
    const int32_t a = Clamp(first, 0, n - 1);
    const int32_t b = Clamp(int64_t(a) + count - 1, 0, n - 1);
    for (int32_t k = b; k >= a; --k) {
      MemFree(list.items[size_t(k)]);
      list.items.erase(list.items.begin() + k);
    }
  }
  detail::MMBlock_UpdateCalcFields(list);
}

void MMBlock_UpdateLinksAfterInsert(MMBlockList& list, int32_t position, int32_t count) {
  TraceLabel scope("mmedit.MMBlock_UpdateLinksAfterInsert");
  if (count <= 0) return;
  for (MMBlockRec* b : list.items)
    if (b->link != NOT_SET && b->link >= position) b->link += count;
}

void MMBlock_UpdateLinksAfterDelete(MMBlockList& list, int32_t position, int32_t count) {
  TraceLabel scope("mmedit.MMBlock_UpdateLinksAfterDelete");
  if (count <= 0) return;
  for (MMBlockRec* b : list.items) {
    if (b->link == NOT_SET || b->link < position) continue;
    if (int64_t(b->link) < int64_t(position) + count)
      detail::MMBlock_ResetLink(*b);
    else
      b->link -= count;
  }
}

void MMBlock_ChangeFreq(MMBlockList& list, int32_t first, int32_t count, double frequency) {
  TraceLabel scope("mmedit.MMBlock_ChangeFreq");
  const int32_t n = Count(list);
  if (n > 0 && count > 0) {
    const int32_t a = Clamp(first, 0, n - 1);
    const int32_t b = Clamp(int64_t(a) + count - 1, 0, n - 1);
    const double f = UsableFrequency(frequency);
    for (int32_t k = a; k <= b; ++k) ComputeTimes(*list.items[size_t(k)], f);
  }
  detail::MMBlock_UpdateCalcFields(list);
}

void MMBlock_GetBlockByTime(const MMBlockList& list, double time, int32_t& block, int32_t& fileQuant,
                            int32_t& listQuant) {
  TraceLabel scope("mmedit.MMBlock_GetBlockByTime");
  block = NOT_SET;
  fileQuant = NOT_SET;
  listQuant = 0;
  double acc = 0;
  for (int32_t k = 0; acc <= time && k < Count(list); ++k) {
    const MMBlockRec& b = *list.items[size_t(k)];
    const double previousAcc = acc;
    const int32_t previousQuants = listQuant;
    acc += Duration(b);
    listQuant += QuantCount(b);
    if (acc - time >= MM_TIME_TOLERANCE) {
      // nearbyint rounds halves to even in the default rounding mode.
      const double q = std::nearbyint((time - previousAcc + b.startTime) * b.frequency);
      block = k;
      fileQuant = int32_t(std::max(std::min(q, double(b.last)), double(b.first)));
      listQuant = fileQuant - b.first + previousQuants;
      return;
    }
  }
}

double MMBlock_GetTimeByQuant(const MMBlockList& list, int32_t listQuant) {
  TraceLabel scope("mmedit.MMBlock_GetTimeByQuant");
  int32_t block, fileQuant;
  double time;
  detail::MMBlock_GetBlockByQuant(list, listQuant, block, time, fileQuant);
  return time;
}

int32_t MMBlock_GetQuantByTime(const MMBlockList& list, double time) {
  TraceLabel scope("mmedit.MMBlock_GetQuantByTime");
  int32_t block, fileQuant, listQuant;
  MMBlock_GetBlockByTime(list, time, block, fileQuant, listQuant);
  return listQuant;
}

int32_t MMBlock_GetBlockIndex(const MMBlockList& list, int32_t kind, double value) {
  TraceLabel scope("mmedit.MMBlock_GetBlockIndex");
  int32_t fileIndex = NOT_SET, fileQuant;
  return MMBlock_GetBlockInfo(list, kind, value, fileIndex, fileQuant);
}

int32_t MMBlock_GetBlockInfo(const MMBlockList& list, int32_t kind, double value, int32_t& fileIndex,
                             int32_t& fileQuant) {
  TraceLabel scope("mmedit.MMBlock_GetBlockInfo");
  int32_t block = NOT_SET;
  fileQuant = NOT_SET;
  if (kind == MM_BY_QUANT) {
    // A quant beyond the 32-bit range lies past the end of every list.
    const double q = std::trunc(value);
    const int32_t listQuant = q >= double(INT32_MIN) && q <= double(INT32_MAX) ? int32_t(q) : -1;
    double time;
    detail::MMBlock_GetBlockByQuant(list, listQuant, block, time, fileQuant);
  } else if (kind == MM_BY_TIME) {
    int32_t listQuant;
    MMBlock_GetBlockByTime(list, value, block, fileQuant, listQuant);
  }
  if (block != NOT_SET) fileIndex = list.items[size_t(block)]->file;
  return block;
}

double MMBlock_GetFirstItem(const MMBlockList& list, int32_t index, int32_t kind) {
  TraceLabel scope("mmedit.MMBlock_GetFirstItem");
  if (kind != MM_BY_QUANT && kind != MM_BY_TIME) return NOT_SET_F;
  if (index <= 0) return 0;
  if (index >= Count(list)) return kind == MM_BY_QUANT ? double(list.totalQuants) : list.totalTime;
  double sum = 0;
  for (int32_t k = 0; k < index; ++k) {
    const MMBlockRec& b = *list.items[size_t(k)];
    sum += kind == MM_BY_QUANT ? double(QuantCount(b)) : Duration(b);
  }
  return sum;
}

double MMBlock_GetLastItem(const MMBlockList& list, int32_t index, int32_t kind) {
  TraceLabel scope("mmedit.MMBlock_GetLastItem");
  if ((kind != MM_BY_QUANT && kind != MM_BY_TIME) || index < 0 || index >= Count(list)) return NOT_SET_F;
  const MMBlockRec& b = *list.items[size_t(index)];
  const double length = kind == MM_BY_QUANT ? double(b.last - b.first) : Duration(b);
  return MMBlock_GetFirstItem(list, index, kind) + length;
}

MMBlockRec* MMBlock_GetPtrByIndex(const MMBlockList& list, int32_t index) {
  TraceLabel scope("mmedit.MMBlock_GetPtrByIndex");
  return index >= 0 && index < Count(list) ? list.items[size_t(index)] : nullptr;
}

bool MMBlock_GetNameData(const MMBlockList& list, int32_t index, int32_t kind, std::string& name, size_t nameMax,
                         std::string& text1, size_t text1Max, std::string& text2, size_t text2Max) {
  TraceLabel scope("mmedit.MMBlock_GetNameData");
  name.clear();
  text1.clear();
  text2.clear();
  const MMBlockRec* b = MMBlock_GetPtrByIndex(list, index);
  if (!b) return false;
  if (!MMBlockP_IsFile(*b)) {
    name = Cut("Silence", nameMax);
    text1 = Cut("0", text1Max);
    text2 = Cut(TimeText(b->duration), text2Max);
    return true;
  }
  if (list.files) name = Cut(MMFile_GetShortNameByIndex(*list.files, b->file), nameMax);
  if (kind == MM_BY_QUANT) {
    text1 = Cut(Grouped(int64_t(b->first) + 1), text1Max);
    text2 = Cut(Grouped(QuantCount(*b)), text2Max);
  } else if (kind == MM_BY_TIME) {
    text1 = Cut(TimeText(b->startTime), text1Max);
    text2 = Cut(TimeText(Duration(*b)), text2Max);
  }
  return true;
}

int32_t MMBlock_Copy(MMBlockList& dest, MMFileList& destFiles, int32_t position, int32_t count, int32_t first,
                     const MMFileList& sourceFiles, const MMBlockList& source) {
  // Every block is allocated before the first one is inserted: an allocation failure then
  // releases only blocks that dest never saw. The slots outlive the guarded body for the abort.
  std::vector<MMBlockRec*> fresh;
  int32_t copied = 0;
  Guarded("mmedit.MMBlock_Copy", [&] {
    const int32_t n = Count(source);
    const int32_t a = Clamp(first, 0, n - 1);
    const int32_t c = Clamp(count, 0, n - a);
    fresh.assign(size_t(c), nullptr);
    for (MMBlockRec*& slot : fresh)
      _memalloc_(slot, int32_t(sizeof(MMBlockRec)), MEM_NEW, "mmedit.MMBlock_Copy.blockP");

    // All copies are taken before the first insertion, since dest may be the source itself.
    for (int32_t i = 0; i < c; ++i) *fresh[size_t(i)] = *source.items[size_t(a + i)];
    int32_t p = Clamp(position, 0, Count(dest));
    for (MMBlockRec* block : fresh) {
      detail::MMBlock_ResetLink(*block);
      if (MMBlockP_IsFile(*block))
        block->file = MMFile_AddFromList(destFiles, sourceFiles, block->file);
      else
        block->file = MM_SILENCE;
      dest.items.insert(dest.items.begin() + p, block);
      ++p;
      ++copied;
    }
    detail::MMBlock_UpdateCalcFields(dest);
  });
  return copied;
}

int32_t MMBlock_GetFileByName(const MMBlockList& list, const MMFileList& files, std::string_view name) {
  TraceLabel scope("mmedit.MMBlock_GetFileByName");
  if (list.items.empty() || files.empty()) return NOT_SET;
  const int32_t index = MMFile_GetIndexByName(files, name, MM_FILE_ANY);
  if (index == NOT_SET) return NOT_SET;
  for (const MMBlockRec* b : list.items)
    if (MMBlockP_IsFile(*b) && b->file == index) return index;
  return NOT_SET;
}

}  // namespace rf
