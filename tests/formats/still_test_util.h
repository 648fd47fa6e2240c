// Helpers of the TGA, PCX and BMP tests: guarded runs, byte-built files and fault sweeps.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/qffinfo.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "image/image_test_util.h"
#include "image/imgbasic.h"
#include "os/kernel.h"

namespace rf::stilltest {

// The error a routine left behind (0/0 when it succeeded); the register is cleared.
struct Outcome {
  int32_t category;
  int32_t code;
  bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) { return os << o.category << "/" << o.code; }

inline Outcome Try(const std::function<void()>& body) {
  GuardedSilent("Test.Still", body);
  const Outcome o{ErrCategory(), ErrCode()};
  ErrClear();
  return o;
}

inline constexpr Outcome kOk{0, 0};

inline std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  const std::string s = test::ReadWholeFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

inline void PutFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  test::WriteWholeFile(path, Str(bytes));
}

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b.at(at) | (b.at(at + 1) << 8)); }
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

// Whether a hidden file named after output is in its folder.
inline bool TemporaryBeside(const std::string& output) {
  const size_t slash = output.rfind('/');
  const std::string folder = output.substr(0, slash + 1), stem = "." + output.substr(slash + 1) + ".";
  bool found = false;
  if (DIR* d = ::opendir(folder.empty() ? "." : folder.c_str())) {
    while (const dirent* e = ::readdir(d)) found = found || std::string(e->d_name).rfind(stem, 0) == 0;
    ::closedir(d);
  }
  return found;
}

// Runs op with the nth operation of kind failing, for n = 1, 2, ... until op gets through
// untouched, and returns how many runs failed. Every failed run must end with the expected error
// category, no more tracked blocks or files than before and, when output is given, that file as
// it was before (or still missing) with nothing else beside it.
inline int32_t SweepFaults(Fault kind, int32_t category, const std::function<void()>& op,
                           const std::string& output = {}) {
  const int32_t blocks = MemCount(), files = FCount();
  const bool existed = kernel::FileExists(output);
  const std::string before = test::ReadWholeFile(output);

  for (int32_t n = 1; n < 10000; ++n) {
    FaultAfter(kind, n);
    const Outcome o = Try(op);
    FaultReset();
    if (o == kOk) return n - 1;
    EXPECT_EQ(o.category, category) << "fault " << n;
    EXPECT_EQ(MemCount(), blocks) << "fault " << n << " left a tracked block";
    EXPECT_EQ(FCount(), files) << "fault " << n << " left a file open";
    if (!output.empty()) {
      EXPECT_EQ(kernel::FileExists(output), existed) << "fault " << n << " on " << output;
      EXPECT_EQ(test::ReadWholeFile(output), before) << "fault " << n << " changed " << output;
      EXPECT_FALSE(TemporaryBeside(output)) << "fault " << n << " left a temporary";
    }
  }
  ADD_FAILURE() << "the operation kept failing";
  return 0;
}

// Sweeps load over failing opens, reads and allocations, then save (over an older file at output)
// over failing opens, writes and allocations; every kind must fail at least once.
inline void SweepLoadAndSave(const std::function<void()>& load, const std::function<void()>& save,
                             const std::string& output) {
  for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc})
    EXPECT_GE(SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, load), 1) << "load, fault kind " << int(kind);
  for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
    test::WriteWholeFile(output, "old");
    EXPECT_GE(SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, save, output), 1) << "save, fault kind " << int(kind);
  }
}

// The fields every still picture's information shares.
struct StillFields {
  int32_t format;
  int64_t fileSize;
  int32_t width, height, bpp;
  bool operator==(const StillFields&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const StillFields& f) {
  return os << "format " << f.format << " size " << f.fileSize << " " << f.width << "x" << f.height << "x" << f.bpp;
}

// The shared fields of info; the bytes per pixel, the frame count and the video flag must agree.
inline StillFields Still(const QffInfo& info) {
  EXPECT_EQ(info.video.bytesPerPixel, (info.video.bpp + 7) / 8);
  EXPECT_EQ(info.video.frames, 1);
  EXPECT_EQ(info.video.hasVideo, -1);
  return {info.format, info.fileSize, info.video.width, info.video.height, info.video.bpp};
}

// A decoded picture: 24-bit with these pixels, or, when colour is given, 8-bit with these indices
// and that colour in palette entry entry.
inline void ExpectDecoded(const Qimg& img, const std::vector<uint32_t>& pixels, int entry,
                          const std::vector<uint8_t>& colour) {
  EXPECT_EQ(img.bpp, colour.empty() ? 24 : 8);
  EXPECT_EQ(test::Pixels(img), pixels);
  if (!colour.empty()) {
    EXPECT_EQ(std::vector<uint8_t>(img.palette[entry], img.palette[entry] + 3), colour);
  }
}

}  // namespace rf::stilltest
