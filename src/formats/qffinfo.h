// What a format's Info routine learns about one file: its video and audio blocks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/waveformat.h"

namespace rf {

// The video block shared by QffInfo, QUniInfo and QUniHandle.
struct QVideoBlock {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 0;
  int32_t bpp = 0;  // 8, 15, 16, 24 or 32
  int32_t frames = 0;
  double duration = 0;  // seconds
  double size = 0;      // uncompressed bytes
  double frameRate = 0;
  std::string compression;  // at most 255 characters
  int32_t hasVideo = 0;
  int32_t videoReadable = 0;  // a decoder for these pictures exists
};

// The audio block shared by QffInfo, QUniInfo and QUniHandle.
struct QAudioBlock {
  WaveFormatEx storedFormat{};   // as the file stores the sound
  WaveFormatEx decodedFormat{};  // the PCM the reader delivers
  int32_t frames = 0;            // sample frames
  double duration = 0;
  double size = 0;
  double samplesPerSec = 0;
  int32_t channels = 0;
  int32_t bitsPerSample = 0;
  int32_t blockAlign = 0;
  std::string compression;  // at most 255 characters
  int32_t hasAudio = 0;
  int32_t audioReadable = 0;
};

struct QffInfo {
  int32_t format = 0;
  int64_t fileSize = 0;
  int32_t maxDataRate = 0;  // bytes per second, from an AVI header, else 0
  QVideoBlock video;
  QAudioBlock audio;
  std::string filterLabel;  // at most 255 characters
};

}  // namespace rf
