// Any bytes read as an XPM file end cleanly, with no tracked file or block left behind.
#include <cstddef>
#include <cstdint>

#include "formats/ff_xpm.h"
#include "still_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return rf::fuzz::StillFuzzOne(data, size, ".xpm", rf::XPMInfo, rf::XPMLoad);
}
