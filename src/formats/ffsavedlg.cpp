// The options dialogs of the still formats, and the hand-over to the movie formats' own.
#include "formats/ffsavedlg.h"

#include <cmath>

#include "formats/ffdesc.h"

namespace rf {
namespace {

const std::vector<FFChoiceItem> kRle = {{"RLE Compressed", 1}, {"Uncompressed", 0}};

// The field a choice dialog edits.
int32_t QffSaveOpt::*ChoiceField(int32_t format) {
  switch (format) {
    case FF_TGA:
      return &QffSaveOpt::tgaCompression;
    case FF_TIF:
      return &QffSaveOpt::tiffCompression;
    case FF_SGI:
      return &QffSaveOpt::sgiCompression;
    case FF_RAS:
      return &QffSaveOpt::rasCompression;
    case FF_PNM:
      return &QffSaveOpt::pnmEncoding;
    default:
      return nullptr;
  }
}

// The slider dialog for a whole-number setting from 0 to maximum; false when cancelled. The
// value travels by copy: fields of the packed options record may be misaligned for a reference.
bool AskValue(SaveOptionDialogs& dialogs, const char* title, double maximum, double largeStep, int32_t& value) {
  QDlgData d;
  d.caption = title;
  d.label1 = "Value (0.." + std::to_string(int32_t(maximum)) + ")";
  d.minimum = 0;
  d.maximum = maximum;
  d.smallStep = 1;
  d.largeStep = largeStep;
  d.values[0] = value;
  if (!dialogs.Value(d)) return false;
  value = int32_t(std::nearbyint(d.values[0]));
  return true;
}

}  // namespace

std::vector<FFChoiceItem> FFSaveChoices(int32_t format, std::string& title) {
  switch (format) {
    case FF_TGA:
      title = "TGA Compression";
      return kRle;
    case FF_SGI:
      title = "SGI Compression";
      return kRle;
    case FF_RAS:
      title = "RAS Compression";
      return kRle;
    case FF_PNM:
      title = "PNM Format";
      return {{"Binary Encoded", 0}, {"ASCII Encoded", 1}};
    case FF_TIF:
      title = "TIFF Compression";
      return {{"PackBits (Macintosh RLE)", 32773},
              {"JPEG DCT", 7},
              {"Deflate (ZIP)", 32946},
              {"LZW Compressed", 5},
              {"Uncompressed", 1}};
    default:
      title.clear();
      return {};
  }
}

bool FFSaveDlg(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth, SaveOptionDialogs& dialogs) {
  if (!opts.hasDialog) return true;
  if (int32_t QffSaveOpt::*field = ChoiceField(opts.format)) {
    std::string title;
    const std::vector<FFChoiceItem> items = FFSaveChoices(opts.format, title);
    int32_t value = opts.*field;
    if (!dialogs.Choice(title, items, value)) return false;
    opts.*field = value;
    return true;
  }
  switch (opts.format) {
    case FF_JPG: {
      int32_t quality = opts.jpegQuality;
      if (!AskValue(dialogs, "JPEG Quality", 100, 10, quality)) return false;
      opts.jpegQuality = quality;
      return true;
    }
    case FF_PNG: {
      int32_t level = opts.pngLevel;
      if (!AskValue(dialogs, "PNG Compression Level", 9, 1, level)) return false;
      opts.pngLevel = level;
      return true;
    }
    case FF_AVI:
    case FF_HAV:
    case FF_MPG: {
      QffSaveOpt edited = opts;
      if (!dialogs.MovieOptions(edited, width, height, depth)) return false;
      opts = edited;
      return true;
    }
    default:
      return true;
  }
}

}  // namespace rf
