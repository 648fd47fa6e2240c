// Save option defaults and the compression names shown for an output.
#include "formats/ffsaveopt.h"

#include <cstring>

#include "formats/ffdesc.h"

namespace rf {

void FFSaveInit(QffSaveOpt& opts) {
  std::memset(&opts, 0, sizeof opts);
  opts.valid = RF_TRUE;
  opts.hasDialog = RF_TRUE;
  opts.format = 0;
  opts.param1 = opts.param2 = opts.param3 = opts.param4 = FF_AUTO;
  opts.tgaCompression = 1;
  opts.tiffCompression = 1;
  opts.sgiCompression = 1;
  opts.rasCompression = 1;
  opts.pnmEncoding = 0;
  opts.havCodec = 1;
  opts.pngLevel = 7;
  opts.mpegFormat = 1;
  opts.avi.fourcc = MakeFourCC("cvid");
  opts.jpegQuality = 85;
  opts.havSetting = 25;
  opts.mpegRate = 1125;
}

void FFSaveSetFormat(QffSaveOpt& opts, int32_t id) {
  opts.format = id;
  switch (id) {
    case FF_TGA:
    case FF_AVI:
    case FF_HAV:
    case FF_JPG:
    case FF_PNG:
    case FF_TIF:
    case FF_MPG:
    case FF_SGI:
    case FF_RAS:
    case FF_PNM:
      opts.hasDialog = RF_TRUE;
      break;
    default:
      opts.hasDialog = RF_FALSE;
      break;
  }
}

std::string FFSaveCodecName(const QffSaveOpt& opts) {
  const std::string rle = "Run Length Encoding (RLE)";
  switch (opts.format) {
    case FF_TGA:
      return opts.tgaCompression ? rle : "Uncompressed, full frames";
    case FF_PCX:
      return rle;
    case FF_FLC:
      return "RLE + pixel difference from previous frame";
    case FF_AVI: {
      const std::string name(reinterpret_cast<const char*>(opts.avi.name + 1), opts.avi.name[0]);
      return name.empty() ? "Uncompressed, full frames" : name;
    }
    case FF_HAV:
      return opts.havCodec == 1 ? "HAV-FAST compression" : opts.havCodec == 0 ? "HAV-BEST compression" : "N/A";
    case FF_JPG:
      return "JPEG quality: " + std::to_string(opts.jpegQuality) + "%";
    case FF_PNG:
      return "PNG compression level: " + std::to_string(opts.pngLevel) + " of 9";
    case FF_TIF:
      switch (opts.tiffCompression) {
        case 5:
          return "Variable-Length-Code LZW";
        case 7:
          return "JPEG DCT compression";
        case 32773:
          return "PackBits (Macintosh RLE)";
        case 32946:
          return "Deflate compression (ZIP)";
        default:
          return "Uncompressed, full frames";
      }
    case FF_MPG:
      return opts.mpegFormat == 1 ? "MPEG-1 format" : opts.mpegFormat == 2 ? "MPEG-2 format" : "N/A";
    case FF_MOV:
      return "H.264 video and AAC sound";
    case FF_SGI:
      return opts.sgiCompression ? rle : "Uncompressed, full frames";
    case FF_RAS:
      return opts.rasCompression ? rle : "Uncompressed, full frames";
    case FF_PNM:
      return opts.pnmEncoding ? "ASCII encoded" : "Binary encoded";
    default:
      return "Uncompressed, full frames";
  }
}

}  // namespace rf
