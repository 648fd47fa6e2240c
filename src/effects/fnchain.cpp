// Chain entries: stored form, list text, range maintenance and applying the chain to a frame.
#include "effects/fnchain.h"

#include <algorithm>
#include <cstring>

#include "effects/fnrun.h"
#include "foundation/common.h"

namespace rf {

QFnEntry FnMakeEntry(int32_t id) {
  QFnEntry e;
  e.id = id;
  ShortStrSet(e.name, FnName(id), 64);
  return e;
}

QFnEntryDisk FnEntryToDisk(const QFnEntry& entry) {
  QFnEntryDisk d{};
  d.id = entry.id;
  std::memcpy(d.name, entry.name, sizeof d.name);
  d.first = entry.first;
  d.last = entry.last;
  d.flexStart = entry.flexStart;
  d.flexEnd = entry.flexEnd;
  d.fnParams = 0;
  return d;
}

QFnEntry FnEntryFromDisk(const QFnEntryDisk& disk) {
  QFnEntry e;
  e.id = disk.id;
  std::memcpy(e.name, disk.name, sizeof e.name);
  e.name[0] = std::min<uint8_t>(e.name[0], 64);
  e.first = disk.first;
  e.last = disk.last;
  e.flexStart = disk.flexStart;
  e.flexEnd = disk.flexEnd;
  return e;
}

std::string FnEntryText(const QFnEntry& entry) {
  std::string text = ShortStrGet(entry.name);
  if (entry.fnParams) text += ShortStrGet(entry.fnParams->description);
  return text;
}

void FnRangeInserted(QFnEntry& e, int32_t p, int32_t n) {
  if (p >= 0 && p <= e.first) {
    if (e.flexStart) e.first += n;
    if (e.flexEnd) e.last += n;
  } else if (e.first <= p && p <= e.last) {
    if (e.flexEnd) e.last += n;
  }
}

void FnRangeDeleted(QFnEntry& e, int32_t p, int32_t n) {
  int32_t rest = n;
  if (p < e.first) {
    const int32_t before = std::min(e.first - p, rest);
    if (e.flexStart) e.first -= before;
    if (e.flexEnd) e.last -= before;
    rest -= before;
  }
  // The frames still to delete start at p in the range's new places: compared with its shifted
  // end, so that a deletion straddling the start never makes the range longer.
  const int64_t lastDeleted = int64_t(p) + rest - 1;
  if (rest > 0 && e.first <= p && p <= e.last && e.flexEnd) {
    const int32_t cut = lastDeleted > e.last ? int32_t(rest - (lastDeleted - e.last)) : rest;
    e.last -= cut;
    if (e.last < e.first) e.last = e.first;
  }
}

void FnRangesInserted(QFnChain& chain, int32_t position, int32_t count) {
  for (QFnEntry* e : chain) FnRangeInserted(*e, position, count);
}

void FnRangesDeleted(QFnChain& chain, int32_t position, int32_t count) {
  for (QFnEntry* e : chain) FnRangeDeleted(*e, position, count);
}

void FnChainApply(const QFnChain& chain, int32_t frame, Qimg*& current, Qimg& spare) {
  for (const QFnEntry* e : chain) {
    if (frame != NOT_SET && (frame < e->first || frame > e->last)) continue;
    // An entry without a record runs with zero values and its effect's own in-place ability.
    QFnParams none{};
    none.inPlace = FnInPlace(e->id) ? RF_TRUE : RF_FALSE;
    Qimg* result = current;
    FnRun(e->id, *current, spare, e->fnParams ? *e->fnParams : none, result);
    current = result;
  }
}

}  // namespace rf
