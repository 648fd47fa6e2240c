// Effect chain entries: their stored form and how their frame ranges follow edit-list changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "effects/fnparams.h"

namespace rf {

struct Qimg;

inline constexpr int32_t FN_RANGE_FIRST = 0;
inline constexpr int32_t FN_RANGE_LAST = 999999999;

// One chain entry in memory: the stored layout with a real pointer to its parameter record.
struct QFnEntry {
  int32_t id = 0;
  uint8_t name[65] = {};  // length byte, then up to 64 characters
  int32_t first = FN_RANGE_FIRST;
  int32_t last = FN_RANGE_LAST;
  int32_t flexStart = 0;  // -1: first follows insertions and deletions
  int32_t flexEnd = 0;    // -1: last follows insertions and deletions
  QFnParams* fnParams = nullptr;
};

// The chain entry as session files store it: 89 bytes, packed; the parameter reference is a
// placeholder that gets its pointer on load.
#pragma pack(push, 1)
struct QFnEntryDisk {
  int32_t id;
  uint8_t name[65];
  int32_t first;
  int32_t last;
  int32_t flexStart;
  int32_t flexEnd;
  uint32_t fnParams;
};
#pragma pack(pop)
static_assert(sizeof(QFnEntryDisk) == 89);
static_assert(offsetof(QFnEntryDisk, name) == 4);
static_assert(offsetof(QFnEntryDisk, first) == 69);
static_assert(offsetof(QFnEntryDisk, last) == 73);
static_assert(offsetof(QFnEntryDisk, flexStart) == 77);
static_assert(offsetof(QFnEntryDisk, flexEnd) == 81);
static_assert(offsetof(QFnEntryDisk, fnParams) == 85);

using QFnChain = std::vector<QFnEntry*>;

// A fresh entry for an effect: its name, the whole range, no follow flags, no parameters.
QFnEntry FnMakeEntry(int32_t id);
QFnEntryDisk FnEntryToDisk(const QFnEntry& entry);
// The entry without its parameter record, which the caller attaches.
QFnEntry FnEntryFromDisk(const QFnEntryDisk& disk);
// The text of the effects list: the name immediately followed by the description.
std::string FnEntryText(const QFnEntry& entry);

// Applies every entry whose range holds frame (all of them when frame is NOT_SET) to current, in
// chain order. After an effect that cannot work in place current refers to spare; the spare
// reference itself stays, so later effects of that kind run through the scaffold's temporary.
void FnChainApply(const QFnChain& chain, int32_t frame, Qimg*& current, Qimg& spare);

// Range maintenance of every entry when count frames are inserted or deleted at position.
void FnRangesInserted(QFnChain& chain, int32_t position, int32_t count);
void FnRangesDeleted(QFnChain& chain, int32_t position, int32_t count);
void FnRangeInserted(QFnEntry& entry, int32_t position, int32_t count);
void FnRangeDeleted(QFnEntry& entry, int32_t position, int32_t count);

}  // namespace rf
