// Stand-in for the installable video compressors: the compressor list, query-mode information,
// compression and decompression of single frames, over the codec libraries (RLE bitmaps our own).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rf {

// Compressor type of every video compressor ("vidc").
inline constexpr uint32_t ICTYPE_VIDEO = 0x63646976;

// Open modes.
inline constexpr uint32_t ICMODE_COMPRESS = 1;
inline constexpr uint32_t ICMODE_DECOMPRESS = 2;
inline constexpr uint32_t ICMODE_QUERY = 4;

// Results (0 is success).
inline constexpr int32_t ICERR_OK = 0;
inline constexpr int32_t ICERR_DONTDRAW = 1;  // the decoder holds the picture back (reordering)
inline constexpr int32_t ICERR_UNSUPPORTED = -1;
inline constexpr int32_t ICERR_BADFORMAT = -2;
inline constexpr int32_t ICERR_MEMORY = -3;
inline constexpr int32_t ICERR_INTERNAL = -4;
inline constexpr int32_t ICERR_BADPARAM = -6;
inline constexpr int32_t ICERR_BADHANDLE = -8;
inline constexpr int32_t ICERR_ERROR = -100;

// Capability flags of the information record.
inline constexpr uint32_t VIDCF_QUALITY = 1;   // honours a quality
inline constexpr uint32_t VIDCF_CRUNCH = 2;    // compresses to a data rate
inline constexpr uint32_t VIDCF_TEMPORAL = 4;  // has key frames and difference frames

// Quality given as "the compressor's own default".
inline constexpr int32_t ICQUALITY_DEFAULT = -1;

// ICCompress: make this frame a key frame whatever the key frame interval says.
inline constexpr uint32_t ICCOMPRESS_KEYFRAME = 1;
// ICDecompress: the picture is not needed (decoding up to a later frame); no output is made.
inline constexpr uint32_t ICDECOMPRESS_HURRYUP = 0x80000000;

// Bitmap compression codes of the bitmap header.
inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;

// A bitmap header (Windows BITMAPINFOHEADER): 40 bytes, little-endian, as stored in AVI stream
// formats. A positive height is a bottom-up picture.
#pragma pack(push, 1)
struct DibHeader {
  uint32_t size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter;
  int32_t yPelsPerMeter;
  uint32_t clrUsed;
  uint32_t clrImportant;
};
#pragma pack(pop)
static_assert(sizeof(DibHeader) == 40);

// A video stream format: the header and the bytes stored after it (palette entries of blue,
// green, red, 0 for up to 8 bits, or the codec's own data). header.size is 40 + extra.size().
struct DibFormat {
  DibHeader header{};
  std::vector<uint8_t> extra;
};

// A decoded picture: packed rows, bottom row first, each padded to 4 bytes; for 8 bits the
// 256-entry palette (blue, green, red, 0). Owned by the decompressor, valid until its next call.
struct PackedDib {
  DibHeader header{};  // width, height (positive), bitCount 8, 16 (5-5-5) or 24, sizeImage
  uint8_t palette[1024] = {};
  std::vector<uint8_t> bits;
};

// The information record of a compressor (ICINFO), texts already narrow.
struct IcInfo {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t flags = 0;       // VIDCF_*
  std::string name;         // at most 16 characters
  std::string description;  // at most 128 characters
};

// What a compression run is asked for (from the AVI compression options).
struct IcCompressOptions {
  int32_t quality = ICQUALITY_DEFAULT;  // 0..10000
  int32_t keyFrameEvery = 0;            // frames between key frames; 0: only the first
  int32_t bytesPerSecond = 0;           // target data rate; 0: none
  uint32_t rate = 25, scale = 1;        // frame rate as rate / scale, for the data rate
};

// One option of a compressor that its configure dialog edits and its state blob carries.
struct IcOption {
  std::string key;    // the option's name in the state blob
  std::string label;  // what the dialog shows
  int32_t minimum = 0, maximum = 0, value = 0;
};

// The about box and configure dialog of a compressor, drawn by the desktop program. Without an
// installed interface (the command line) no compressor has either.
class IcDialogs {
 public:
  virtual ~IcDialogs() = default;
  // Shows what a compressor says about itself.
  virtual void about(const std::string& name, const std::string& text) = 0;
  // Lets the user change the options; false when cancelled (the options are then ignored).
  virtual bool configure(const std::string& name, std::vector<IcOption>& options) = 0;
};

struct IcCodec;
using HIC = IcCodec*;

// Calls that reach the codec libraries start without a library reason; one that fails leaves the
// library's last error line pending (LibTakeReason, platform/libmsg).

// The four characters of a code, low byte first, as a code ("cvid" -> 0x64697663).
uint32_t VcFourCC(std::string_view text);
// The four characters of a code (non-printable bytes as '?').
std::string VcFourCCText(uint32_t fourcc);
// Whether a compressor code means uncompressed frames: 0, "DIB ", "RAW ", "RGB " in any case.
bool VcIsUncompressed(uint32_t fourcc);

// The bytes of a packed row of this width and bit count, padded to 4.
uint32_t DibRowBytes(int32_t width, int32_t bitCount);
// The input description of the compressor check: no compression, image size, and for 8 bits
// 256 palette entries (a grey ramp) with colours used 256.
DibFormat DibFormatFor(int32_t width, int32_t height, int32_t bitCount);
// Reads a stored stream format; false when shorter than its header or its header is impossible.
bool DibFormatParse(const uint8_t* bytes, size_t size, DibFormat& out);
// The stored bytes of a format (header with size 40 + extra, then extra).
std::vector<uint8_t> DibFormatBytes(const DibFormat& format);

// Installs (or, with nullptr, removes) the dialog interface for about boxes and configuration.
void ICSetDialogs(IcDialogs* dialogs);

// The compressor at list position index (0-based, stable order); false past the end.
bool ICInfo(uint32_t fccType, uint32_t index, IcInfo* info);
// Opens a compressor by code (any case; "CRAM"/"WHAM" open Video-1): query mode needs an encoder
// or a decoder, compress mode an encoder, decompress mode a decoder; nullptr otherwise.
HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode);
// Finds and opens the decompressor for a stored format: by its compression code, else by the
// stream's handler code; nullptr when none exists (the video is then unreadable).
HIC ICLocateDecompressor(const DibFormat& in, uint32_t fccHandler);
// Closes a compressor opened by ICOpen or ICLocateDecompressor.
int32_t ICClose(HIC hic);
// The information record of an open compressor.
int32_t ICGetInfo(HIC hic, IcInfo* info);

// Frames between key frames the compressor suggests (1 for compressors without difference frames).
int32_t ICGetDefaultKeyFrameRate(HIC hic);
// The quality the compressor suggests, 0..10000 (0 where it has no quality).
int32_t ICGetDefaultQuality(HIC hic);
// Whether the compressor has an about box / configure dialog now (ICERR_OK) or not.
int32_t ICQueryAbout(HIC hic);
int32_t ICQueryConfigure(HIC hic);
// Shows the about box; edits the options through the configure dialog (ICERR_OK when confirmed).
int32_t ICAbout(HIC hic);
int32_t ICConfigure(HIC hic);

// The state blob: the compressor's option values as bytes (size, get into size bytes, set).
uint32_t ICGetStateSize(HIC hic);
int32_t ICGetState(HIC hic, void* state, uint32_t size);
// Takes a blob from ICGetState; a damaged or foreign one is ICERR_BADPARAM and changes nothing.
int32_t ICSetState(HIC hic, const void* state, uint32_t size);
// The options of the open compressor with their current values (what the blob carries).
std::vector<IcOption> ICGetOptions(HIC hic);

// Whether the compressor takes pictures of this format (and, given out, produces that one).
int32_t ICCompressQuery(HIC hic, const DibFormat& in, const DibFormat* out);
// The size in bytes of the output format for this input (negative: an ICERR_ result).
int32_t ICCompressGetFormatSize(HIC hic, const DibFormat& in);
// The output format for this input: size, compression code, bit count and the codec's data.
int32_t ICCompressGetFormat(HIC hic, const DibFormat& in, DibFormat& out);
// Starts compressing pictures of this format with these options (the state's options apply).
int32_t ICCompressBegin(HIC hic, const DibFormat& in, const IcCompressOptions& options);
// Compresses one packed bottom-up picture of the begun format into out; key tells whether the
// result is a key frame.
int32_t ICCompress(HIC hic, uint32_t flags, const uint8_t* bits, size_t size, std::vector<uint8_t>& out, bool* key);
// Ends the compression run.
int32_t ICCompressEnd(HIC hic);

// Whether the decompressor reads this stored format.
int32_t ICDecompressQuery(HIC hic, const DibFormat& in);
// Starts decoding frames of this stored format into pictures of outBitCount bits (24 or 16), or,
// with 0, of the stream's own kind: 8 bits with palette for paletted streams, else 24.
int32_t ICDecompressBegin(HIC hic, const DibFormat& in, int32_t outBitCount);
// Decodes one stored chunk, in stream order, into *out (an empty chunk repeats the last picture).
// ICERR_DONTDRAW: no picture yet (a decoder that reorders); a chunk the decoder rejects is
// ICERR_BADFORMAT. RLE runs that leave the row or the picture are cut off, not rejected.
int32_t ICDecompress(HIC hic, uint32_t flags, const uint8_t* data, uint32_t size, const PackedDib** out);
// Forgets the pictures decoded so far (before decoding from another key frame).
int32_t ICDecompressReset(HIC hic);
// Ends the decoding run.
int32_t ICDecompressEnd(HIC hic);

// Compressors currently open (for leak checks in tests and fuzzing).
int32_t ICOpenCount();

}  // namespace rf
