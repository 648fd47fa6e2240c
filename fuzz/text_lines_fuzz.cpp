// Any file read as text lines ends cleanly, with no tracked file or block left behind.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/errors.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/rf_fuzz_lines_" + std::to_string(::getpid()) + ".txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  int32_t h;
  if (rf::TXTOpen(h, path, 0) != 0) return 0;
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
