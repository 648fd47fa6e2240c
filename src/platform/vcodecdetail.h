// Inside the video compressor stand-in: the compressor table, the open compressor record and the
// compression, decompression and RLE steps the calls are built from.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "platform/avlib.h"
#include "platform/vcodec.h"

namespace rf::detail {

// How a compressor turns the 0..10000 quality into its own setting.
enum class VcQuality { None, QScale, Lambda, Crf };

// One option of the configure dialog and the state blob, set on the codec context by name.
struct VcOptionRow {
  const char* key;
  const char* label;
  int32_t minimum, maximum, value;
};

// One compressor of the list: its code, texts, the codec behind it and what it can do.
struct VcRow {
  const char* fourcc;
  const char* name;
  const char* description;
  AVCodecID decoder;
  const char* encoder;  // encoder name in the codec library, nullptr for decoders only
  uint32_t flags;       // VIDCF_*
  VcQuality quality;
  int32_t keyFrameRate;  // default frames between key frames
  int32_t keyMinBias;    // added to the interval for an encoder that counts it one frame longer
  // The pixel format the encoder is given for 8-, 16- and 24-bit pictures (NONE: refused).
  AVPixelFormat pixels[3];
  std::span<const VcOptionRow> options;
};

// The rows in list order; the row for a code (aliases and case resolved), or nullptr.
std::span<const VcRow> VcRows();
const VcRow* VcFindRow(uint32_t fourcc);
// The encoder of a row when the installed library has it.
const AVCodec* VcEncoder(const VcRow& row);
// Whether a handle is one ICOpen gave and ICClose has not taken back.
bool VcLive(HIC hic);

struct CodecDeleter {
  void operator()(AVCodecContext* c) const { Av().avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { Av().av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { Av().av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { Av().sws_freeContext(s); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

// A compression run: the opened encoder, its input frame and the converter into it.
struct VcEncodeRun {
  CodecPtr ctx;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr sws;
  DibFormat in;
  AVPixelFormat source = AV_PIX_FMT_NONE;
  int32_t keyFrameEvery = 0;
  int64_t frames = 0;
};

// A decompression run through a codec library decoder.
struct VcDecodeRun {
  CodecPtr ctx;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr sws;
  std::vector<uint8_t> palette;  // the stored format's palette, sent with the first chunk
  bool paletteSent = false;
};

// A decompression run of RLE4/RLE8 bitmaps: the picture as palette indices, kept between
// frames because a frame only paints what changed.
struct VcRleRun {
  int32_t bits = 8;  // 4 or 8
  std::vector<uint8_t> indices;
};

}  // namespace rf::detail

namespace rf {

struct IcCodec {
  uint32_t fourcc = 0;
  uint32_t mode = 0;
  const detail::VcRow* row = nullptr;  // nullptr for a code only the decoder list knows
  AVCodecID decoder = AV_CODEC_ID_NONE;
  bool rle = false;
  std::vector<int32_t> options;  // values of row->options
  std::unique_ptr<detail::VcEncodeRun> encode;
  std::unique_ptr<detail::VcDecodeRun> decode;
  std::unique_ptr<detail::VcRleRun> rleRun;
  int32_t outBitCount = 0;  // what the decompressed pictures are asked to be (0: the stream's own)
  PackedDib picture;
};

}  // namespace rf

namespace rf::detail {

// Opens the row's encoder for pictures of this format (the compressor's options and the run's
// options applied); nullptr when the format is refused or the encoder will not open.
CodecPtr VcOpenEncoder(const IcCodec& codec, const DibFormat& in, const IcCompressOptions& options);

// Decodes one RLE chunk over the kept picture; runs are cut at the row and the picture.
void VcRleDecode(VcRleRun& run, int32_t width, int32_t height, const uint8_t* data, size_t size);

// Fills the picture's header and sizes its bits for this size and bit count.
void VcShapePicture(PackedDib& picture, int32_t width, int32_t height, int32_t bitCount);
// Paints palette indices (rows bottom first, width bytes each) into the picture in its bit count.
void VcPaintIndices(PackedDib& picture, const uint8_t* indices, const uint8_t* palette);

}  // namespace rf::detail
