// The image cache of the previews: recently decoded frames kept in memory, found again by source
// file, frame and the file's date-time stamp and size, so that a frame is shown again (or the next
// frame of a movie decoded) without starting from the beginning of the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "formats/uniaccess.h"
#include "image/imgbasic.h"

namespace rf {

// The cache never holds more items than this once a frame has been added.
inline constexpr int32_t IMGCACHE_MAX_ITEMS = 64;

// Copies frame f (from 0) of the file into dest. True when it came from the cache, false when it
// was decoded now, or on failure (error recorded, dest untouched).
bool ImgCache_GetImage(const QUniInfo& info, int32_t frame, Qimg& dest);
// Closes the cache's own input and deletes every item.
void ImgCache_Clear();
// True when the pair is the source position of the frame delivered last.
bool ImgCache_EqualPosition(std::string_view fileName, int32_t frame);
// NOT_SET: half the physical memory; otherwise the value within 0 .. the physical memory.
void ImgCache_MaxSizeMB(int32_t megabytes);
// The items kept whatever their size.
void ImgCache_MinItems(int32_t count);

namespace detail {
// For tests: the millisecond counter the cache stamps its items with (nullptr: the machine's).
void ImgCache_SetClock(std::function<uint32_t()> clock);
int32_t ImgCache_ItemCount();
}  // namespace detail

}  // namespace rf
