// The edit list as a whole and its file table (trace labels "mmedit.*"); the block lists are in
// mmblocks.cpp.
#include "editlist/mmedit.h"

#include <utility>

#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr size_t kMaxDisplayName = 255;

std::string DisplayName(std::string_view name) {
  const size_t slash = name.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
  return std::string(file.substr(0, kMaxDisplayName));
}

// Names compare exactly, as the Linux file system compares them.
bool Matches(const QMMFileInfo& record, std::string_view name, int32_t mode) {
  if (record.info.name != name) return false;
  switch (mode) {
    case MM_FILE_PLAIN:
      return record.info.kind != UNI_SEQUENCE;
    case MM_FILE_SEQUENCE:
      return record.info.kind == UNI_SEQUENCE;
    case MM_FILE_ANY:
      return true;
    default:
      return false;
  }
}

bool Usable(const QUniInfo& info) {
  return info.format != NOT_SET && (info.video.videoReadable != 0 || info.audio.audioReadable != 0);
}

bool InRange(const MMFileList& files, int32_t index) { return index >= 0 && size_t(index) < files.size(); }

}  // namespace

void MMInit(MMList& list) {
  TraceLabel scope("mmedit.MMInit");
  MMFile_Init(list.files);
  MMBlock_Init(list.video, list.files);
  MMBlock_Init(list.audio, list.files);
}

void MMDone(MMList& list) {
  TraceLabel scope("mmedit.MMDone");
  MMBlock_Done(list.video);
  MMBlock_Done(list.audio);
  MMFile_Done(list.files);
}

void MMRemoveUnusedFiles(MMList& list) {
  // The tables live outside the guarded body so that an abort can clear them.
  uint8_t* used = nullptr;
  int32_t* shift = nullptr;
  Guarded("mmedit.MMRemoveUnusedFiles", [&] {
    const int32_t n = int32_t(list.files.size());
    if (n == 0) return;
    _memalloc_(used, (n + 7) / 8, MEM_NEW, "mmedit.MMRemoveUnusedFiles.used");
    _memalloc_(shift, n * int32_t(sizeof(int32_t)), MEM_NEW, "mmedit.MMRemoveUnusedFiles.shift");

    const auto isUsed = [&](int32_t i) { return (used[i / 8] >> (i % 8)) & 1; };
    const auto ownsFile = [&](const MMBlockRec* b) { return MMBlockP_IsFile(*b) && b->file < n; };
    for (const MMBlockList* blocks : {&list.video, &list.audio})
      for (const MMBlockRec* b : blocks->items)
        if (ownsFile(b)) used[b->file / 8] |= uint8_t(1u << (b->file % 8));

    int32_t d = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (!isUsed(i)) --d;
      shift[i] = d;
    }
    for (MMBlockList* blocks : {&list.video, &list.audio})
      for (MMBlockRec* b : blocks->items)
        if (ownsFile(b)) b->file += shift[b->file];
    for (int32_t i = n - 1; i >= 0; --i)
      if (!isUsed(i)) MMFile_Delete(list.files, i);
  });
  MemFree(used);
  MemFree(shift);
}

void MMFile_Init(MMFileList& files) {
  TraceLabel scope("mmedit.MMFile_Init");
  files.clear();
}

void MMFile_Done(MMFileList& files) {
  TraceLabel scope("mmedit.MMFile_Done");
  files.clear();
}

int32_t MMFile_Add(MMFileList& files, std::string_view name, bool sequence) {
  int32_t result = NOT_SET;
  Guarded("mmedit.MMFile_Add", [&] {
    const int32_t s = MMFile_GetIndexByName(files, name, MM_FILE_SEQUENCE);
    const int32_t p = MMFile_GetIndexByName(files, name, MM_FILE_PLAIN);
    result = sequence ? s : p;
    if (result != NOT_SET) return;

    auto record = std::make_unique<QMMFileInfo>();
    record->name = DisplayName(name);
    if (!UniInfo(name, record->info, sequence) || !Usable(record->info)) return;
    const bool isSequence = record->info.kind == UNI_SEQUENCE;
    files.push_back(std::move(record));
    result = int32_t(files.size()) - 1;
    // A file asked for as a sequence that has no numbered neighbours is the plain record we
    // already hold; the record just appended stays until MMRemoveUnusedFiles.
    if (sequence && !isSequence && p != NOT_SET) result = p;
  });
  return result;
}

int32_t MMFile_AddFromList(MMFileList& files, const MMFileList& sourceFiles, int32_t sourceIndex) {
  TraceLabel scope("mmedit.MMFile_AddFromList");
  if (!InRange(sourceFiles, sourceIndex)) return NOT_SET;
  const QMMFileInfo& source = *sourceFiles[size_t(sourceIndex)];
  const int32_t mode = source.info.kind == UNI_SEQUENCE ? MM_FILE_SEQUENCE : MM_FILE_PLAIN;
  const int32_t found = MMFile_GetIndexByName(files, source.info.name, mode);
  if (found != NOT_SET) return found;
  files.push_back(std::make_unique<QMMFileInfo>(source));
  return int32_t(files.size()) - 1;
}

void MMFile_Delete(MMFileList& files, int32_t index) {
  TraceLabel scope("mmedit.MMFile_Delete");
  if (InRange(files, index)) files.erase(files.begin() + index);
}

int32_t MMFile_GetIndexByName(const MMFileList& files, std::string_view name, int32_t mode) {
  int32_t result = NOT_SET;
  Guarded("mmedit.MMFile_GetIndexByName", [&] {
    for (size_t i = 0; i < files.size(); ++i)
      if (Matches(*files[i], name, mode)) {
        result = int32_t(i);
        return;
      }
  });
  return result;
}

std::string MMFile_GetShortNameByIndex(const MMFileList& files, int32_t index) {
  TraceLabel scope("mmedit.MMFile_GetShortNameByIndex");
  return InRange(files, index) ? files[size_t(index)]->name : std::string();
}

QMMFileInfo* MMFile_GetPtrByIndex(const MMFileList& files, int32_t index) {
  TraceLabel scope("mmedit.MMFile_GetPtrByIndex");
  return InRange(files, index) ? files[size_t(index)].get() : nullptr;
}

}  // namespace rf
