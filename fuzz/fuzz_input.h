// The file a fuzz target reads: one input's bytes under $TMPDIR (else /tmp), removed again when
// that input has been run.
#pragma once

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace rf::fuzz {

class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size, const char* stem, const char* ext) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/rf_fuzz_" + stem + "_" + std::to_string(::getpid()) + ext;
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) return;
    ok_ = std::fwrite(data, 1, size, f) == size;
    ok_ = std::fclose(f) == 0 && ok_;
  }
  ~InputFile() { std::remove(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

}  // namespace rf::fuzz
