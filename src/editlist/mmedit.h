// The edit list: the table of input files and the video and audio block lists cut from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "formats/uniaccess.h"
#include "foundation/common.h"

namespace rf {

// The file field of a silence block.
inline constexpr int32_t MM_SILENCE = -12345;
// Silence blocks count 8000 quants per second.
inline constexpr double MM_SILENCE_FREQ = 8000.0;
// Lookups by time accept a block only when it ends at least this long after the time.
inline constexpr double MM_TIME_TOLERANCE = 0.0001;

// Modes of MMFile_GetIndexByName.
inline constexpr int32_t MM_FILE_PLAIN = 0;     // records that are not sequences
inline constexpr int32_t MM_FILE_SEQUENCE = 1;  // sequence records only
inline constexpr int32_t MM_FILE_ANY = 2;

// Position kinds of the block lookups and texts.
inline constexpr int32_t MM_BY_QUANT = 0;
inline constexpr int32_t MM_BY_TIME = 1;

struct QMMFileInfo {
  std::string name;  // display name: the file name without its folder, at most 255 characters
  QUniInfo info;
};

// The file table. Records are held by pointer so that MMFile_GetPtrByIndex stays valid while
// other records are added.
using MMFileList = std::vector<std::unique_ptr<QMMFileInfo>>;

// One block, stored byte for byte in session files. Every field lies on its natural boundary,
// so the plain layout is the stored one without packing.
struct MMBlockRec {
  int32_t file;        // index into the file table, MM_SILENCE for silence
  int32_t first;       // first quant taken from the file, 0-based
  int32_t last;        // last quant taken, inclusive
  int32_t fileQuants;  // the file's total quants; for silence Trunc(duration * 8000)
  double frequency;    // quants per second
  int32_t linked;      // 32-bit boolean: the block has a partner in the other list
  int32_t link;        // index of the partner in the other list, or NOT_SET
  double duration;     // seconds; silence blocks only
  double startTime;    // computed by MMBlock_ChangeFreq
  double endTime;
  double fileTime;
};
static_assert(sizeof(MMBlockRec) == 64);
static_assert(std::is_standard_layout_v<MMBlockRec> && std::is_trivially_copyable_v<MMBlockRec>);
static_assert(offsetof(MMBlockRec, file) == 0 && offsetof(MMBlockRec, first) == 4 && offsetof(MMBlockRec, last) == 8 &&
              offsetof(MMBlockRec, fileQuants) == 12 && offsetof(MMBlockRec, frequency) == 16 &&
              offsetof(MMBlockRec, linked) == 24 && offsetof(MMBlockRec, link) == 28 &&
              offsetof(MMBlockRec, duration) == 32 && offsetof(MMBlockRec, startTime) == 40 &&
              offsetof(MMBlockRec, endTime) == 48 && offsetof(MMBlockRec, fileTime) == 56);

struct MMBlockList {
  MMBlockList() = default;
  MMBlockList(const MMBlockList&) = delete;
  MMBlockList& operator=(const MMBlockList&) = delete;

  std::vector<MMBlockRec*> items;  // tracked 64-byte blocks, owned by the list
  MMFileList* files = nullptr;     // the edit list's file table
  int32_t totalQuants = 0;
  double totalTime = 0;
};

// Both block lists refer to the file table, so an edit list never moves.
struct MMList {
  MMList() = default;
  MMList(const MMList&) = delete;
  MMList& operator=(const MMList&) = delete;

  MMFileList files;
  MMBlockList video;
  MMBlockList audio;
};

void MMInit(MMList& list);
void MMDone(MMList& list);
// Drops the file records no block uses and renumbers the blocks' file fields.
void MMRemoveUnusedFiles(MMList& list);

// File table.
void MMFile_Init(MMFileList& files);
void MMFile_Done(MMFileList& files);
// The index of the file (examined and appended when it is new), or NOT_SET when it cannot be read.
int32_t MMFile_Add(MMFileList& files, std::string_view name, bool sequence);
int32_t MMFile_AddFromList(MMFileList& files, const MMFileList& sourceFiles, int32_t sourceIndex);
void MMFile_Delete(MMFileList& files, int32_t index);
int32_t MMFile_GetIndexByName(const MMFileList& files, std::string_view name, int32_t mode);
std::string MMFile_GetShortNameByIndex(const MMFileList& files, int32_t index);
QMMFileInfo* MMFile_GetPtrByIndex(const MMFileList& files, int32_t index);

// Block records. The fillers set every field, with no link, and compute the times.
bool MMBlockP_IsFile(const MMBlockRec& block);
void MMBlockP_SetFile(MMBlockRec& block, int32_t file, int32_t first, int32_t last, int32_t fileQuants,
                      double frequency);
void MMBlockP_SetSilence(MMBlockRec& block, double duration);

// Block lists.
void MMBlock_Init(MMBlockList& list, MMFileList& files);
void MMBlock_Done(MMBlockList& list);
// The list takes over the tracked block.
MMBlockList& MMBlock_Insert(MMBlockList& list, int32_t position, MMBlockRec* block);
void MMBlock_Update(MMBlockList& list, int32_t index);
void MMBlock_Delete(MMBlockList& list, int32_t first, int32_t count);
// Keep the links of this list pointing at the right blocks after the other list changed.
void MMBlock_UpdateLinksAfterInsert(MMBlockList& list, int32_t position, int32_t count);
void MMBlock_UpdateLinksAfterDelete(MMBlockList& list, int32_t position, int32_t count);
void MMBlock_ChangeFreq(MMBlockList& list, int32_t first, int32_t count, double frequency);

// Lookups; list quants and list times count from the start of the list.
void MMBlock_GetBlockByTime(const MMBlockList& list, double time, int32_t& block, int32_t& fileQuant,
                            int32_t& listQuant);
double MMBlock_GetTimeByQuant(const MMBlockList& list, int32_t listQuant);
int32_t MMBlock_GetQuantByTime(const MMBlockList& list, double time);
int32_t MMBlock_GetBlockIndex(const MMBlockList& list, int32_t kind, double value);
// Returns the block index; fileIndex is left alone when no block is found.
int32_t MMBlock_GetBlockInfo(const MMBlockList& list, int32_t kind, double value, int32_t& fileIndex,
                             int32_t& fileQuant);
double MMBlock_GetFirstItem(const MMBlockList& list, int32_t index, int32_t kind);
double MMBlock_GetLastItem(const MMBlockList& list, int32_t index, int32_t kind);
MMBlockRec* MMBlock_GetPtrByIndex(const MMBlockList& list, int32_t index);
// The texts of one row of a block list, each cut to its maximum length; false for a bad index.
bool MMBlock_GetNameData(const MMBlockList& list, int32_t index, int32_t kind, std::string& name, size_t nameMax,
                         std::string& text1, size_t text1Max, std::string& text2, size_t text2Max);
// Copies count blocks from first on into dest before position, adding their files to destFiles;
// returns the number of blocks copied.
int32_t MMBlock_Copy(MMBlockList& dest, MMFileList& destFiles, int32_t position, int32_t count, int32_t first,
                     const MMFileList& sourceFiles, const MMBlockList& source);
int32_t MMBlock_GetFileByName(const MMBlockList& list, const MMFileList& files, std::string_view name);

namespace detail {
void MMBlock_UpdateCalcFields(MMBlockList& list);
void MMBlock_ResetLink(MMBlockRec& block);
void MMBlock_GetBlockByQuant(const MMBlockList& list, int32_t listQuant, int32_t& block, double& time,
                             int32_t& fileQuant);
}  // namespace detail

}  // namespace rf
