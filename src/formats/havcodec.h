// The two lossless bit-stream codecs of HAV strips (BEST and FAST), the number code they share
// and the pixel prediction of 24-bit pictures.
#pragma once

#include <cstdint>

namespace rf {

// Zero bytes a decoder may read past the end of a stream: the stream is copied into a buffer
// with this many zeroed bytes after it, so the bit reader needs no bounds check per read.
inline constexpr int32_t HAV_STREAM_PAD = 16;

// What a strip looks like to a codec: its total bytes, the row length in bytes and the pixel size.
struct HavStrip {
  int32_t total;
  int32_t row;
  int32_t bytesPerPixel;
};

// The number code of a count v (2 .. 767): its bits, right-aligned, and how many there are.
void HavNumberCode(int32_t v, uint32_t& bits, int32_t& length);

// Decode `size` stream bytes (followed by HAV_STREAM_PAD zero bytes) into out, which holds the
// previous content of the strip. False for a stream that is damaged or leaves the strip.
bool HavDecodeBest(const uint8_t* stream, int32_t size, uint8_t* out, const HavStrip& strip);
bool HavDecodeFast(const uint8_t* stream, int32_t size, uint8_t* out, const HavStrip& strip);

// Encode cur against prev (null for a key frame, which then never depends on earlier content)
// into out; the stream's length, or -1 when it would need more than capacity bytes.
int32_t HavEncodeBest(const uint8_t* cur, const uint8_t* prev, const HavStrip& strip, uint8_t* out, int32_t capacity);
int32_t HavEncodeFast(const uint8_t* cur, const uint8_t* prev, const HavStrip& strip, uint8_t* out, int32_t capacity);

// The prediction of 24-bit strips: each byte becomes its difference to the same byte of the
// previous pixel (in memory order, from 0 at the first pixel), and back as running sums.
void HavPredict(const uint8_t* pixels, uint8_t* residuals, int32_t total);
void HavUnpredict(const uint8_t* residuals, uint8_t* pixels, int32_t total);

}  // namespace rf
