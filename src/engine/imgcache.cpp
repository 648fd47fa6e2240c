// The image cache of the previews: decoded frames kept by source file, frame and file stamp.
#include "engine/imgcache.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <list>
#include <new>
#include <string>

#include "effects/fnparams.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "os/kernel.h"

namespace rf {
namespace {

// One cached frame; a tracked block of its own, so that its picture record never moves.
struct CacheItem {
  uint8_t Name[256];  // the source file: a sequence's member, else the media file
  int32_t FileTime;
  int32_t FileSize;
  int32_t Frame;  // within the source file; always 0 for a sequence member
  Qimg Image;
  uint32_t LastUse;
};

int32_t PhysicalMB() { return int32_t(std::min<uint64_t>(kernel::GetMemoryStatus().totalPhysKB / 1024, INT32_MAX)); }

struct CacheState {
  bool initialised = false;
  // Oldest addition first. Each item's block is tracked under its slot here, which a list keeps
  // in place: a failing guarded block that acquired an item clears the slot as it frees it.
  std::list<CacheItem*> items;
  QUniHandle handle;
  bool open = false;
  std::string lastName;
  int32_t lastFrame = NOT_SET;
  int32_t minItems = 0;
  int32_t maxSizeMB = int32_t(int64_t(PhysicalMB()) * 50 / 100);
  std::function<uint32_t()> clock;
};

CacheState& Cache() {
  static CacheState state;
  return state;
}

uint32_t Now() { return Cache().clock ? Cache().clock() : kernel::TickCount(); }

struct SourcePos {
  std::string name;
  int32_t frame;
};

// A sequence's frames are the first frames of its member files.
SourcePos GetRealNameAndFrame(const QUniInfo& info, int32_t f) {
  if (info.kind == UNI_SEQUENCE) return {UniGetFileName(info, f + 1), 0};
  return {info.name, f};
}

struct FileAttribs {
  int32_t time = NOT_SET;
  int32_t size = NOT_SET;
  bool operator==(const FileAttribs&) const = default;
};

FileAttribs GetFileAttribs(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto stamp = fs::last_write_time(name, ec);
  if (ec) return {};
  const auto size = fs::file_size(name, ec);
  if (ec) return {};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(stamp.time_since_epoch()).count();
  return {int32_t(uint32_t(seconds)), int32_t(uint32_t(size))};
}

bool AttribsEqual(const CacheItem& item) {
  return GetFileAttribs(ShortStrGet(item.Name)) == FileAttribs{item.FileTime, item.FileSize};
}

using ItemIt = std::list<CacheItem*>::iterator;

// Forgets the slots whose items a failing guarded block released.
void Purge() { Cache().items.remove(nullptr); }

// The newest item of the source file whose frame lies in lo .. hi, its file unchanged.
CacheItem* Search(const QUniInfo& info, int32_t lo, int32_t hi) {
  CacheState& c = Cache();
  if (!c.initialised) return nullptr;
  const int32_t first = GetRealNameAndFrame(info, lo).frame;
  const SourcePos last = GetRealNameAndFrame(info, hi);
  for (auto it = c.items.rbegin(); it != c.items.rend(); ++it) {
    CacheItem* item = *it;
    if (item && item->Frame >= first && item->Frame <= last.frame && ShortStrGet(item->Name) == last.name &&
        AttribsEqual(*item))
      return item;
  }
  return nullptr;
}

void DeleteItem(ItemIt it) {
  ImgFree((*it)->Image);
  MemFree(*it);
  Cache().items.erase(it);
}

void CloseFile() {
  CacheState& c = Cache();
  if (c.open) UniClose(c.handle);
  c.open = false;
}

// Items stamped after the current count were stamped before the counter wrapped: oldest of all.
ItemIt FindOldestItem() {
  CacheState& c = Cache();
  const uint32_t now = Now();
  for (CacheItem* item : c.items)
    if (item->LastUse > now) item->LastUse = 0;
  ItemIt oldest = c.items.end();
  for (auto it = c.items.begin(); it != c.items.end(); ++it)
    if ((*it)->LastUse < now && (oldest == c.items.end() || (*it)->LastUse < (*oldest)->LastUse)) oldest = it;
  return oldest == c.items.end() ? c.items.begin() : oldest;
}

// Pixel bytes only, summed in 32 bits as the limit was always computed.
int32_t GetTotalSizeMB() {
  uint32_t total = 0;
  for (const CacheItem* item : Cache().items)
    total += uint32_t(item->Image.width) * uint32_t(item->Image.height) * uint32_t(item->Image.bytesPerPixel);
  return int32_t(total) / 1048576;
}

void MakeRoom() {
  CacheState& c = Cache();
  while (int32_t(c.items.size()) > c.minItems &&
         (int32_t(c.items.size()) > IMGCACHE_MAX_ITEMS || GetTotalSizeMB() > c.maxSizeMB))
    DeleteItem(FindOldestItem());
}

CacheItem& NewItem(const QUniInfo& info, int32_t f) {
  CacheItem*& slot = Cache().items.emplace_back(nullptr);
  if (_memalloc_(slot, int32_t(sizeof(CacheItem)), MEM_NEW, "DataCache.ImgCache_GetImage.pItem") != 0) MonAbort();
  CacheItem& item = *new (slot) CacheItem{};
  const SourcePos pos = GetRealNameAndFrame(info, f);
  ShortStrSet(item.Name, pos.name, 255);
  item.Frame = pos.frame;
  item.LastUse = Now();
  const FileAttribs attribs = GetFileAttribs(pos.name);
  item.FileTime = attribs.time;
  item.FileSize = attribs.size;
  return item;
}

// Decodes frame f into the new item, continuing from the newest cached earlier frame of the same
// file, so that a decoder building each frame on the previous one does not start again.
// openedNow tells whether the cache's handle was opened here.
void Load(const QUniInfo& info, int32_t f, CacheItem& item, bool& openedNow) {
  CacheState& c = Cache();
  if (c.open && c.handle.name != info.name) CloseFile();
  if (!c.open) {
    UniOpen(c.handle, info);
    c.open = openedNow = true;
  }
  const CacheItem* previous = f >= 1 ? Search(info, 0, f - 1) : nullptr;
  if (!previous) {
    UniImgLoad(c.handle, item.Image, f + 1, 2);
    return;
  }
  const CacheItem& from = *previous;
  ImgCopy(from.Image, item.Image);
  UniImgSetPos(c.handle, from.Frame + 1);
  UniImgLoad(c.handle, item.Image, f + 1, 3);
}

}  // namespace

bool ImgCache_GetImage(const QUniInfo& info, int32_t frame, Qimg& dest) {
  CacheState& c = Cache();
  if (!c.initialised) {
    c.items.clear();
    c.open = false;
    c.lastFrame = NOT_SET;
    c.initialised = true;
  }
  Purge();
  CacheItem* item = Search(info, frame, frame);
  const bool hit = item != nullptr;
  bool openedNow = false;
  GuardedSilent("DataCache.ImgCache_GetImage", [&] {
    if (hit) {
      item->LastUse = Now();
      return;
    }
    item = &NewItem(info, frame);
    Load(info, frame, *item, openedNow);
  });
  if (!ErrNone()) {
    // The failed block released what it acquired: the new item with its picture, and the file
    // when it was opened there. The item is not kept, so that a later request tries again.
    Purge();
    if (openedNow) {
      c.handle = QUniHandle{};
      c.open = false;
    }
    c.lastFrame = NOT_SET;
    return false;
  }
  ImgCopy(item->Image, dest);
  c.lastName = ShortStrGet(item->Name);
  c.lastFrame = item->Frame;
  MakeRoom();
  return hit;
}

void ImgCache_Clear() {
  CacheState& c = Cache();
  if (!c.initialised) return;
  CloseFile();
  Purge();
  while (!c.items.empty()) DeleteItem(std::prev(c.items.end()));
  c.lastFrame = NOT_SET;
}

bool ImgCache_EqualPosition(std::string_view fileName, int32_t frame) {
  const CacheState& c = Cache();
  return c.lastFrame != NOT_SET && fileName == c.lastName && frame == c.lastFrame;
}

void ImgCache_MaxSizeMB(int32_t megabytes) {
  const int32_t physical = PhysicalMB();
  Cache().maxSizeMB = megabytes == NOT_SET ? int32_t(int64_t(physical) * 50 / 100) : std::clamp(megabytes, 0, physical);
}

void ImgCache_MinItems(int32_t count) { Cache().minItems = count; }

void detail::ImgCache_SetClock(std::function<uint32_t()> clock) { Cache().clock = std::move(clock); }
int32_t detail::ImgCache_ItemCount() {
  Purge();
  return int32_t(Cache().items.size());
}

}  // namespace rf
