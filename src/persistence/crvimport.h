// Import of the effect list of the older sibling program's script files.
#pragma once

#include <cstdint>
#include <string>

#include "engine/project.h"

namespace rf {

inline constexpr int32_t CRV_FILE_SIZE = 1925;
inline constexpr int32_t CRV_MAX_ENTRIES = 25;

// This program's effect index (identifier - 1) for the sibling's effect number, NOT_SET when
// there is none.
int32_t CRVEffectIndex(int32_t siblingNumber);
// Appends the script's effects to the chain; false (and nothing more appended) for a file of
// another size or magic, or at an effect without translation, whose message is shown.
bool CRV_LoadScript(Project& project, const std::string& fileName);

}  // namespace rf
