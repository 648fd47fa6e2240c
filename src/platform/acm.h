// Stand-in for the audio compression manager: PCM suggestions for wave tags, conversion streams
// and the names of wave format tags.
#pragma once

#include <cstdint>
#include <string>

#include "platform/waveformat.h"

namespace rf {

// Result codes, as the compression manager returns them (0 is success).
inline constexpr int32_t MMSYSERR_ERROR = 1;
inline constexpr int32_t MMSYSERR_INVALHANDLE = 5;
inline constexpr int32_t MMSYSERR_NOMEM = 7;
inline constexpr int32_t MMSYSERR_INVALFLAG = 10;
inline constexpr int32_t MMSYSERR_INVALPARAM = 11;
inline constexpr int32_t ACMERR_NOTPOSSIBLE = 512;
inline constexpr int32_t ACMERR_UNPREPARED = 514;

// acmFormatSuggest: the destination's format tag is given (only PCM is ever asked for).
inline constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x10000;
// acmStreamOpen: the stream is used for non-real-time conversion.
inline constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 4;
// acmStreamConvert: the source ends the sound; what the converter holds back comes out with it.
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x20;

inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Highest channel count a stream converts.
inline constexpr int32_t ACM_MAX_CHANNELS = 8;

struct AcmStream;
using HACMSTREAM = AcmStream*;

// One conversion request: the source bytes and the destination space, and what was used.
struct ACMSTREAMHEADER {
  uint32_t cbStruct;
  uint32_t fdwStatus;
  const uint8_t* pbSrc;
  uint32_t cbSrcLength;
  uint32_t cbSrcLengthUsed;
  uint8_t* pbDst;
  uint32_t cbDstLength;
  uint32_t cbDstLengthUsed;
};

// Every wave format pointer below addresses the 18-byte record followed by its extraSize bytes.
// Each call starts without a library reason; one that fails or drops damaged sound leaves the
// codec library's last error line pending (LibTakeReason, platform/libmsg).

// Fills dst (dstSize bytes, at least 18) with the PCM format the source decodes to.
int32_t acmFormatSuggest(const WaveFormatEx* src, WaveFormatEx* dst, uint32_t dstSize, uint32_t flags);

// Opens a stream from src (PCM, float or any tag a decoder exists for) to PCM dst. A stream keeps
// its state between conversions, so consecutive pieces of one sound join without a seam.
int32_t acmStreamOpen(HACMSTREAM* stream, const WaveFormatEx* src, const WaveFormatEx* dst, uint32_t flags);
int32_t acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
// Consumes the whole source; sound that does not fit the destination waits for the next call.
// With ACM_STREAMCONVERTF_END the sound ends with this source: it comes out whole, exactly as
// long as the source sound, and the next conversion starts a new sound.
int32_t acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
int32_t acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
// Forgets all state: the next conversion starts a new sound.
int32_t acmStreamReset(HACMSTREAM stream, uint32_t flags);
int32_t acmStreamClose(HACMSTREAM stream, uint32_t flags);

// How many stored blocks before a given one a decoder must see to decode it exactly as a whole
// decode from the start would: 0 where every block stands alone.
int32_t acmPrerollBlocks(const WaveFormatEx* src);

// The display name of a wave format tag, empty when no codec is known for it.
std::string acmFormatTagName(uint16_t tag);

// Streams currently open (for leak checks in tests and fuzzing).
int32_t acmStreamCount();

}  // namespace rf
