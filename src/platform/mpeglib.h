// The MPEG modules: video and audio decoders (any container the codec libraries open, with
// frame-exact positioning through an index built once per file), video and audio encoders and the
// system-stream multiplexer, each reporting failures through the callback its caller installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rf {

// A module reports a failure by calling its error callback with one text, then returns 0.
using MplErrorCBF = void (*)(const char* text);
// The video encoder fetches picture number `frame` (from 0): width x height blue-green-red pixels.
using MplImgPtrCBF = void (*)(int32_t frame, uint8_t*& pixels);

enum class MplModule { VideoDecoder, AudioDecoder, AudioEncoder, Multiplexer };
void MOSLErrorFuncSet(MplModule module, MplErrorCBF callback);

// Video decoder module.
struct MplVideoInfo {
  int32_t width = 0;
  int32_t height = 0;
  int32_t frames = 0;
  int32_t rateCode = 0;  // the MPEG frame-rate code nearest the rate, 0 when none is near
  int32_t bitRate = 0;   // bits per second
  int32_t mpeg2 = 0;     // 1 for MPEG-2 video
  int32_t mpeg = 0;      // 1 for MPEG-1 or MPEG-2 video in an MPEG stream
  int32_t hasAudio = 0;
  int32_t variableRate = 0;  // the display timestamps are not evenly spaced
  double frameRate = 0;      // frames per second; for a variable rate the average rate
  std::string codec;         // the video codec's long name
  std::string container;     // the container's long name
};
// Examines any movie file; non-zero when it holds video pictures.
int32_t GetMovieInfo(std::string_view name, MplVideoInfo& info);
// Non-zero when the file holds MPEG-1 or MPEG-2 video in an MPEG stream.
int32_t GetMPEGInfo(std::string_view name, int32_t& width, int32_t& height, int32_t& frames, int32_t& rateCode,
                    int32_t& bitRate, int32_t& mpeg2, int32_t& hasAudio);

struct MplDecoder;
int32_t OpenMPEG(MplDecoder*& decoder, std::string_view name, int32_t flags);
// Afterwards GetMPEGFrame delivers frame number `frame` (1-based), exactly as decoding every
// frame from the start would give it.
int32_t SeekMPEG(MplDecoder*& decoder, int32_t frame);
// Fills width x height blue-green-red pixels, top row first, rows without padding.
int32_t GetMPEGFrame(MplDecoder*& decoder, uint8_t* pixels);
void CloseMPEG(MplDecoder*& decoder);

// Audio decoder module. The record's layout is fixed: rate at 0, channels 8, bits 12, samples per
// audio frame 20, version 32, layer 36, total samples 40, audio frames 44, kilobits per second 48.
struct MplAudioInfo {
  double samplesPerSec;
  int32_t channels;
  int32_t bitsPerSample;
  int32_t blockAlign;
  int32_t samplesPerFrame;
  int32_t word24;   // the stream's index in the file
  int32_t word28;   // the codec's identifier in the codec library
  int32_t version;  // 1 MPEG-1, 0 MPEG-2 low sampling frequencies, -1 not MPEG audio
  int32_t layer;    // 1..3, 0 not MPEG audio
  int32_t totalSamples;
  int32_t frames;
  int32_t kbps;
  char codec[64];  // the codec's long name
};
static_assert(offsetof(MplAudioInfo, channels) == 8 && offsetof(MplAudioInfo, samplesPerFrame) == 20);
static_assert(offsetof(MplAudioInfo, version) == 32 && offsetof(MplAudioInfo, kbps) == 48);
int32_t GetMPAInfo(std::string_view name, MplAudioInfo& info);

struct MplAudioDecoder;
int32_t OpenMPA(MplAudioDecoder*& state, std::string_view name);
// Delivers up to count sample frames of 16-bit PCM (the channels of the information record).
int32_t GetMPAData(MplAudioDecoder* state, uint8_t* buffer, int32_t count, int32_t& got);
// The next data starts at the first sample of that audio frame.
int32_t SeekMPA(MplAudioDecoder* state, int32_t audioFrame);
void CloseMPA(MplAudioDecoder*& state);

// Video encoder module. MPEG-1 and MPEG-2 write an elementary stream; H.264 writes the encoded
// pictures into a stream file only MPlexMP4 reads.
enum class MplVideoCodec : int32_t { Mpeg = 0, H264 = 1 };
struct MplEncParams {
  int32_t first = 1;
  int32_t mpeg1 = 1;  // 1 MPEG-1, 0 MPEG-2
  int32_t width = 0;
  int32_t height = 0;
  int32_t rateCode = 3;
  double bitRate = 1152000;
  MplVideoCodec codec = MplVideoCodec::Mpeg;
  int32_t crf = 23;                  // H.264 quality
  int32_t rateNum = 0, rateDen = 0;  // H.264 frame rate; 0 takes the rate code's
};
struct MplEncoder;
void EncErrorFuncSet(MplErrorCBF callback);
void GetImgPtrFuncSet(MplImgPtrCBF callback);
int32_t CreateMPEG(MplEncoder*& encoder, std::string_view file, const MplEncParams& params);
// n pictures are available to the encoder.
void SetNumFramesMPEG(MplEncoder* encoder, int32_t n);
// Encodes the next picture, fetched through the picture callback.
int32_t PutMPEGFrame(MplEncoder* encoder);
int32_t CloseMPEGEnc(MplEncoder*& encoder);
// PutMPEGFrame calls in this process, for tests of the feeding rules.
int64_t MplPutFrameCalls();

// Audio encoder module: MP2 into an elementary stream, or AAC into a stream file for MPlexMP4.
struct MplAudioEncParams {
  int32_t first = 2;
  int32_t samplesPerSec = 44100;
  int32_t mode = 0;  // 0 two channels, 3 one channel
  int32_t fourth = 2;
  int32_t fifth = 0;
  int32_t kbps = 160;
  int32_t aac = 0;  // beyond the MPEG modules: AAC for an MP4 output
};
struct MplAudioEncoder;
int32_t MPACreate(MplAudioEncoder*& state, std::string_view file, const MplAudioEncParams& params);
// count sample frames of 16-bit PCM, interleaved.
int32_t MPASave(MplAudioEncoder* state, const int16_t* samples, int32_t count);
int32_t MPAClose(MplAudioEncoder*& state);

// Multiplexer: a system stream of an MPEG video and an MP2 elementary stream, written under
// output through the tracked files (it replaces the output only when complete). mpeg2 chooses the
// MPEG-2 program stream.
int32_t MPlexMPEG(std::string_view output, std::string_view video, std::string_view audio, int32_t mpeg2 = 0);
// An MP4 file (index at the front) of the stream files the H.264 and AAC encoders wrote; either
// name may be empty.
int32_t MPlexMP4(std::string_view output, std::string_view video, std::string_view audio);
// Whether this installation's codec libraries can write MP4 with H.264 and AAC.
bool MplCanWriteMp4();

// A new, empty file of a unique name in the temporary folder for a stream of the given kind;
// empty when none can be made.
std::string MplTempName(const char* kind);

// The standard MPEG frame rates by code 0..8.
double MplStdRate(int32_t code);

}  // namespace rf

namespace rf::detail {
// Reports a failure of a module: the library's last error line (when there is one) follows the
// text, the module's callback receives it, and the result is 0.
int32_t MplFail(MplModule module, const std::string& text);
int32_t MplEncFail(const std::string& text);
// The frame-rate code whose standard rate lies within 0.1 % of rate, else 0.
int32_t MplNearestCode(double rate);
}  // namespace rf::detail
