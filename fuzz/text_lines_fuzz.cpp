// Any file read as text lines ends cleanly, with no tracked file or block left behind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/errors.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "lines", ".txt");
  if (!input.ok()) return 0;
  int32_t h;
  if (rf::TXTOpen(h, input.path(), 0) != 0) return 0;
  std::string line;
  size_t total = 0;
  while (rf::TXTReadLn(h, line)) {
    total += line.size() + 1;
    if (total > size + 1) std::abort();
  }
  rf::TXTClose(h);
  if (rf::FCount() != 0 || rf::MemCount() != 0) std::abort();
  rf::ErrClear();
  return 0;
}
