// Small damaged files of every kind the fuzz targets once tripped on, made here byte by byte, and
// the error each must end with, through the registry as a user's file would go.
#include <gtest/gtest.h>

#include <string>

#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/still_test_util.h"

namespace rf {
namespace {

using stilltest::Outcome;
using stilltest::Try;

std::string XpmHead(const std::string& values) { return "/* XPM */\nstatic char *p[] = {\n\"" + values + "\",\n"; }

struct BadFile {
  const char* name;  // the file's name; its extension chooses the reader
  std::string (*make)();
  Outcome info, load;
};

const BadFile kBadFiles[] = {
    // Values that do not fit 32 bits once overflowed the size check made with them.
    {"huge_values.xpm",
     [] { return XpmHead("1099511627776 1099511627776 1 1") + "\"a c red\",\n\"a\"};\n"; },
     {7, 8},
     {7, 8}},
    // A file without pictures whose depth field, times 8, overflowed 32 bits.
    {"sound_only_odd_depth.hav",
     [] {
       std::string h("HAV\x1a\x40\0\0\0\x61\0\0\0", 12);
       h += std::string(8, '\0') + std::string("\x03\x8a\x30\x60", 4) + std::string(40, '\0');
       return h;
     },
     {0, 0},
     {7, 2}},
};

class BadFilesTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("bad_files");
  }
  std::string dir_;
};

TEST_F(BadFilesTest, EachEndsWithItsError) {
  const int32_t blocks = MemCount(), files = FCount();
  for (const BadFile& b : kBadFiles) {
    SCOPED_TRACE(b.name);
    const std::string path = dir_ + "/" + b.name;
    test::WriteWholeFile(path, b.make());
    QffInfo info;
    EXPECT_EQ(Try([&] { FFInfo(path, FF_AUTO, info); }), b.info);
    Qimg img;
    EXPECT_EQ(Try([&] { ImgLoad(path, img, FF_AUTO); }), b.load);
    EXPECT_FALSE(ImgValid(img));
    ImgFree(img);
    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(FCount(), files);
  }
}

}  // namespace
}  // namespace rf
