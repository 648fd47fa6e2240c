// Any bytes read as a TIFF file end cleanly, with no tracked file or block and no library
// structure left behind.
#include <cstddef>
#include <cstdint>

#include "formats/ff_tif.h"
#include "still_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return rf::fuzz::StillFuzzOne(data, size, ".tif", rf::TIFInfo, rf::TIFLoad);
}
