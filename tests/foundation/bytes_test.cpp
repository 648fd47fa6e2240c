// The header field reader never reads past its block and the writer lays fields as read back.
#include <gtest/gtest.h>

#include "foundation/bytes.h"

namespace rf {
namespace {

TEST(BytesTest, ReadsBothByteOrdersAndFailsPastTheEnd) {
  const uint8_t data[] = {0x52, 0x49, 0x46, 0x46, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
  ByteReader r(data, sizeof data);
  EXPECT_EQ(r.fourcc(), "RIFF");
  EXPECT_EQ(r.u16le(), 0x1234);
  EXPECT_EQ(r.u32be(), 0x78563412u);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 1u);
  EXPECT_EQ(r.u32le(), 0u) << "a short field reads as zero";
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.u8(), 0u) << "failure is sticky";

  ByteReader s(data, sizeof data);
  s.skip(10);
  EXPECT_EQ(s.i8(), -1);
  s.skip(1);
  EXPECT_FALSE(s.ok());
  ByteReader t(data, sizeof data);
  t.seek(12);
  EXPECT_FALSE(t.ok());
  EXPECT_EQ(t.remaining(), 0u);
}

TEST(BytesTest, WriterRoundTrip) {
  ByteWriter w;
  w.fourcc("WAVE");
  w.u16le(0xBEEF);
  w.u32be(0x01020304);
  const size_t at = w.size();
  w.u32le(0);
  w.fill(7, 3);
  w.patch32le(at, 0xCAFEBABE);
  ByteReader r(w.bytes().data(), w.size());
  EXPECT_EQ(r.fourcc(), "WAVE");
  EXPECT_EQ(r.u16le(), 0xBEEF);
  EXPECT_EQ(r.u32be(), 0x01020304u);
  EXPECT_EQ(r.u32le(), 0xCAFEBABEu);
  EXPECT_EQ(r.u8(), 7);
  EXPECT_EQ(r.remaining(), 2u);
}

}  // namespace
}  // namespace rf
