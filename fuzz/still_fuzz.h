// The body shared by the still-picture fuzz targets: any bytes end as an error or a picture,
// with no tracked block or file left behind.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/qffinfo.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"
#include "image/imgbasic.h"

namespace rf::fuzz {

// Pictures larger than this are looked at but not loaded: a header may rightly ask for a
// gigabyte, and filling one per input would only slow the search down.
inline constexpr int64_t kMaxLoadBytes = 4 << 20;

inline int StillFuzzOne(const uint8_t* data, size_t size, const char* ext, void (*info)(std::string_view, QffInfo&),
                        void (*load)(std::string_view, Qimg&)) {
  const InputFile input(data, size, "still", ext);
  if (!input.ok()) return 0;
  const std::string& path = input.path();

  QffInfo fileInfo;
  GuardedSilent("Fuzz.Info", [&] { info(path, fileInfo); });
  const bool known = ErrNone();
  ErrClear();
  const double bytes = double(fileInfo.video.width) * fileInfo.video.height * fileInfo.video.bytesPerPixel;
  if (!known || bytes <= double(kMaxLoadBytes)) {
    Qimg img;
    GuardedSilent("Fuzz.Load", [&] { load(path, img); });
    const bool loaded = ErrNone();
    ErrClear();
    if (loaded && (!ImgValid(img) || img.width != fileInfo.video.width || img.height != fileInfo.video.height))
      std::abort();
    ImgFree(img);
  }
  if (FCount() != 0 || MemCount() != 0 || MonDepth() != 0) std::abort();
  return 0;
}

}  // namespace rf::fuzz
