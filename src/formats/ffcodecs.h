// The codec registry: each format's Info, still loader and still saver, and the dispatchers
// FFInfo, ImgLoad and ImgSave over it.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/ffsaveopt.h"
#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

// Examines one file with the Info routine of format id (FF_AUTO: from the extension); error
// (14, 2) for an unknown format, (14, 5) for a format this build has no reader for.
void FFInfo(std::string_view name, int32_t id, QffInfo& info);
// Reads one still picture; error (7, 2) for a format without a still loader.
void ImgLoad(std::string_view name, Qimg& img, int32_t id);
// Writes one still picture; error (7, 9) for an invalid picture, (7, 2) for a format without a
// still saver.
void ImgSave(std::string_view name, Qimg& img, int32_t id);
// Hands an output's writer parameters to the writer of its format (the module settings).
void FFApplyWriterSettings(const QffSaveOpt& opts);
// Fills the writer parameters from the per-format fields and returns the depth in which pictures
// will be stored (FF_AUTO when the format cannot store them).
int32_t FFSavePrepare(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth);

}  // namespace rf
