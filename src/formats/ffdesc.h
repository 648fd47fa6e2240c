// The format registry: identifiers, the load and save tables, extension lookup, dialog filters,
// stored depths and media kinds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

enum FfId : int32_t {
  FF_TGA = 1,
  FF_PCX = 2,
  FF_BMP = 3,
  FF_GIF = 4,
  FF_FLC = 5,
  FF_AVI = 6,
  FF_HAV = 7,
  FF_JPG = 8,
  FF_PNG = 9,
  FF_TIF = 10,
  FF_MPG = 11,
  FF_WAV = 12,
  FF_SGI = 13,
  FF_RAS = 14,
  FF_PNM = 15,
  FF_BAY = 16,
  FF_XPM = 17,
  FF_MP2 = 18,
  FF_MOV = 19,  // MP4, MOV, MKV, WebM and any movie the codec libraries open; writes MP4
};
// As a format argument: follow the file name's extension; as a result: no such format.
inline constexpr int32_t FF_AUTO = NOT_SET;

// Capability flags of a table row.
inline constexpr int32_t FFF_STILL = 1;       // can be a single still picture
inline constexpr int32_t FFF_FRAMES = 2;      // can hold several frames
inline constexpr int32_t FFF_SOUND_ONLY = 4;  // holds sound only
inline constexpr int32_t FFF_PICTURES = 8;    // carries pictures
inline constexpr int32_t FFF_SOUND = 16;      // carries sound

// Table selectors.
inline constexpr int32_t FF_LOAD_TABLE = 1;
inline constexpr int32_t FF_SAVE_TABLE = 2;

// Media kinds.
inline constexpr int32_t UNI_UNKNOWN = 0;
inline constexpr int32_t UNI_STILL = 1;
inline constexpr int32_t UNI_SEQUENCE = 2;
inline constexpr int32_t UNI_MOVIE = 3;

struct QffDesc {
  int32_t id = FF_AUTO;
  int32_t flags = 0;
  std::string extensions;  // every extension with its dot, run together, lower case
  std::string shortName;
  std::string description;
  std::string filterLabel;
};

inline constexpr int32_t FF_LOAD_ROWS = 19;
inline constexpr int32_t FF_SAVE_ROWS = 18;

// The row whose extension list holds the name's extension; a zeroed row with FF_AUTO otherwise.
QffDesc FFGetDesc(std::string_view name, int32_t table);
int32_t FFGetId(std::string_view name, int32_t table);
bool FFCanSave(int32_t id);
int32_t FFGetFlags(int32_t id, int32_t table);
bool FFGetDescByIndex(int32_t index, int32_t table, QffDesc& desc);
// The filter label of the first load-table row with that identifier, empty when none.
std::string FFGetLabel(int32_t id);

// ".gif.giff" gives the dialog mask "*.gif;*.giff" and the list "gif,giff".
void FFConvExt_(std::string_view extensions, std::string& mask, std::string& list);

// Dialog filter options.
inline constexpr int32_t FFO_FILTER_LABEL = 1;  // label rows with their filter label, else the short name
inline constexpr int32_t FFO_EXT_LIST = 2;      // append " (" + extension list + ")"
inline constexpr int32_t FFO_PLAIN = 4;         // no "All supported formats" and "Any file" entries
std::string FFMakeLoadFilter(int32_t flagMask, int32_t options);
std::string FFMakeSaveFilter(int32_t flagMask, int32_t options);

// The depth in which a writer stores a picture of the given depth; 0 when it stores no pictures,
// FF_AUTO for a format that writes nothing.
int32_t FFSaveDepth(int32_t id, int32_t bpp);

int32_t UniKind(int32_t id, int32_t frames);

}  // namespace rf
