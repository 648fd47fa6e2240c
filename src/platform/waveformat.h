// The wave format record that sound files, movie streams and the converter exchange.
#pragma once

#include <cstdint>

namespace rf {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// A Windows WAVEFORMATEX: 18 bytes, packed, little-endian, as stored in WAV and AVI headers.
#pragma pack(push, 1)
struct WaveFormatEx {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

}  // namespace rf
