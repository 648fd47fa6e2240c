// Any bytes read as a BAY file end cleanly, with no tracked file or block left behind. Inputs
// other than the one file size are refused at once, so the interesting mutations are those of a
// full-sized seed.
#include <cstddef>
#include <cstdint>

#include "formats/ff_bay.h"
#include "still_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return rf::fuzz::StillFuzzOne(data, size, ".bay", rf::BayInfo, rf::BayLoad);
}
