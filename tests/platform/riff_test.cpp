// RIFF chunks: sizes and pad bytes fixed on ascent, searches that skip, bounds of the parent.
#include "platform/riff.h"

#include <gtest/gtest.h>

#include <string>

#include "common/test_support.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

class RiffTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("riff");
};

TEST_F(RiffTest, CreatedChunksGetTheirSizesAndPadBytes) {
  const std::string path = dir + "/chunks.riff";
  HMMIO h = mmioOpen(path, MMIO_CREATE | MMIO_WRITE);
  ASSERT_NE(h, 0);
  MMCKINFO riff{0, 0, mmioFOURCC('T', 'E', 'S', 'T'), 0, 0};
  ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0);
  MMCKINFO odd{mmioFOURCC('o', 'd', 'd', ' '), 0, 0, 0, 0};
  ASSERT_EQ(mmioCreateChunk(h, &odd, 0), 0);
  EXPECT_EQ(mmioWrite(h, "abc", 3), 3);
  ASSERT_EQ(mmioAscend(h, &odd, 0), 0);
  EXPECT_EQ(odd.cksize, 3u);
  MMCKINFO even{mmioFOURCC('e', 'v', 'e', 'n'), 2, 0, 0, 0};
  ASSERT_EQ(mmioCreateChunk(h, &even, 0), 0);
  EXPECT_EQ(mmioWrite(h, "xy", 2), 2);
  ASSERT_EQ(mmioAscend(h, &even, 0), 0);
  ASSERT_EQ(mmioAscend(h, &riff, 0), 0);
  EXPECT_EQ(mmioClose(h, 0), 0);

  const std::string expect = std::string("RIFF\x1A\0\0\0TESTodd \x03\0\0\0abc\0even\x02\0\0\0xy", 34);
  EXPECT_EQ(test::ReadWholeFile(path), expect);

  // Reading back: a search reads over the odd chunk and its pad byte.
  h = mmioOpen(path, MMIO_READ);
  ASSERT_NE(h, 0);
  MMCKINFO top{0, 0, mmioFOURCC('T', 'E', 'S', 'T'), 0, 0};
  ASSERT_EQ(mmioDescend(h, &top, nullptr, MMIO_FINDRIFF), 0);
  EXPECT_EQ(top.cksize, 26u);
  EXPECT_EQ(top.dwDataOffset, 8u);
  MMCKINFO found{mmioFOURCC('e', 'v', 'e', 'n'), 0, 0, 0, 0};
  ASSERT_EQ(mmioDescend(h, &found, &top, MMIO_FINDCHUNK), 0);
  EXPECT_EQ(found.dwDataOffset, 32u);
  char two[2];
  EXPECT_EQ(mmioRead(h, two, 2), 2);
  EXPECT_EQ(std::string(two, 2), "xy");
  ASSERT_EQ(mmioAscend(h, &found, 0), 0);
  MMCKINFO next{};
  EXPECT_EQ(mmioDescend(h, &next, &top, 0), MMIOERR_CHUNKNOTFOUND) << "the parent ends here";
  ASSERT_EQ(mmioSeek(h, 12, MMIO_SEEK_SET), 12);
  MMCKINFO missing{mmioFOURCC('n', 'o', 'n', 'e'), 0, 0, 0, 0};
  EXPECT_EQ(mmioDescend(h, &missing, &top, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  EXPECT_EQ(mmioSeek(h, -1, MMIO_SEEK_SET), -1);
  EXPECT_EQ(mmioSeek(h, -2, MMIO_SEEK_END), 32);
  EXPECT_EQ(mmioClose(h, 0), 0);
}

TEST_F(RiffTest, FailuresAreResultsAndLeaveTheErrorRegisterClear) {
  EXPECT_EQ(mmioOpen(dir + "/absent.riff", MMIO_READ), 0);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(mmioRead(12345, nullptr, 4), -1);
  EXPECT_EQ(mmioClose(12345, 0), MMIOERR_INVALIDHANDLE);
  MMCKINFO ck{};
  EXPECT_EQ(mmioDescend(12345, &ck, nullptr, 0), MMIOERR_INVALIDHANDLE);

  // A chunk header cut short is no chunk; a RIFF header without its form type neither.
  const std::string path = dir + "/short.riff";
  test::WriteWholeFile(path, std::string("RIFF\x04\0\0", 7));
  HMMIO h = mmioOpen(path, MMIO_READ);
  EXPECT_EQ(mmioDescend(h, &ck, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
  mmioClose(h, 0);
  test::WriteWholeFile(path, std::string("RIFF\x04\0\0\0WA", 10));
  h = mmioOpen(path, MMIO_READ);
  EXPECT_EQ(mmioDescend(h, &ck, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
  mmioClose(h, 0);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(FCount(), 0);
}

}  // namespace
}  // namespace rf
