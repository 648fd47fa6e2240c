// Any bytes read as a PCX file end cleanly, with no tracked file or block left behind.
#include <cstddef>
#include <cstdint>

#include "formats/ff_pcx.h"
#include "still_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return rf::fuzz::StillFuzzOne(data, size, ".pcx", rf::PCXInfo, rf::PCXLoad_);
}
