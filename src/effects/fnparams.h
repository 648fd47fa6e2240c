// The effect identifiers and names, and the parameter record every chain entry carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rf {

// Identifiers are the effects' positions in the alphabetical order of their names.
enum FnId : int32_t {
  FN_ADJUST_RGB = 1,
  FN_BLUR,
  FN_BRIGHTNESS,
  FN_CHAOS,
  FN_CONTRAST,
  FN_DEINTERLACE,
  FN_DESPECKLE,
  FN_EDGE_ENHANCE,
  FN_EMBOSS,
  FN_EQUALIZE,
  FN_FIND_EDGES,
  FN_FLIP_H,
  FN_FLIP_V,
  FN_GAMMA,
  FN_GRAYSCALE,
  FN_HUE,
  FN_MIRROR_H,
  FN_MIRROR_V,
  FN_NEGATIVE,
  FN_NOISE_GAUSSIAN,
  FN_NOISE_INTERFERENCE,
  FN_NOISE_UNIFORM,
  FN_OIL_PAINTING,
  FN_PIXELIZE,
  FN_POSTERIZE,
  FN_SATURATION,
  FN_SHARPEN,
  FN_SOFTEN,
  FN_SOLARIZE,
  FN_SWAP_RB,
  FN_TRACE_CONTOUR,
};

// The dialog each effect's parameters are set with; it also decides the form of their text.
enum class FnDialogKind { None, OneValue, TwoValues, ThreeValues, Deinterlace };
FnDialogKind FnDialogKindOf(int32_t id);

int32_t FnCount();
// The effect's name, empty for an unknown identifier.
std::string FnName(int32_t id);

// The `fnParams` record: 328 bytes, stored as is in session files.
#pragma pack(push, 1)
struct QFnParams {
  int32_t paramSize;         // number of parameters x 8 + 4
  int32_t inPlace;           // -1 when the effect works in place
  double values[8];          // parameter i at offset 8 + 8 i
  uint8_t description[256];  // length byte, then up to 255 characters: the FnMakeStr text
};
#pragma pack(pop)
static_assert(sizeof(QFnParams) == 328);
static_assert(offsetof(QFnParams, inPlace) == 4);
static_assert(offsetof(QFnParams, values) == 8);
static_assert(offsetof(QFnParams, description) == 72);

// Length-prefixed text fields of stored records.
std::string ShortStrGet(const uint8_t* field);
void ShortStrSet(uint8_t* field, std::string_view text, size_t maxLength);

// A value in fixed notation, halves rounded away from zero, as dialogs and descriptions show it.
std::string FnFixed(double value, int32_t decimals);

// Writes the parameter text (":  R= 10, G= 10, B= 10" and the like) into description.
void FnMakeStr(int32_t id, QFnParams& params);
// A new tracked copy of src ("impress.FnCopy.dest"); dest is nil when src is.
void FnCopy(QFnParams*& dest, const QFnParams* src);
void FnFree(QFnParams*& params);

}  // namespace rf
