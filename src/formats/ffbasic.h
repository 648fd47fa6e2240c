// The preparation every movie writer applies to a picture before storing it: size limits,
// padding to the writer's block size and conversion to the depth the format stores.
#pragma once

#include <cstdint>

#include "image/imgbasic.h"

namespace rf {

// Movie frames are 4 .. 4096 pixels on each side.
inline constexpr int32_t FF_MOVIE_MIN_SIDE = 4;
inline constexpr int32_t FF_MOVIE_MAX_SIDE = 4096;

// A picture ready for a movie writer: `img` points at the caller's picture when it could be used
// as it stands, else at `temp`, which holds the padded or converted copy.
struct QffPrepared {
  Qimg* img = nullptr;
  Qimg temp;

  QffPrepared() = default;
  QffPrepared(const QffPrepared&) = delete;
  QffPrepared& operator=(const QffPrepared&) = delete;
};

// Prepares img for writer `format`: error (14, 1) when the picture is not allocated, a side lies
// outside 4..4096 or the format stores no pictures. A size that is not a multiple of blockSize is
// padded with zeroed pixels on the right and at the bottom; the depth becomes the format's stored
// depth for it.
void FFInit(int32_t format, QffPrepared& prepared, Qimg& img, int32_t blockSize);
// Frees the copy FFInit made, if any.
void FFDone(QffPrepared& prepared);

}  // namespace rf
