// The preview image cache: hits leave the file alone, a changed file is decoded again, the item
// cap, the size limit with its minimum, the wrapped tick counter and sequence members.
#include "engine/imgcache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

class ImgCacheTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("imgcache");
  Qimg dest;
  uint32_t tick = 1000;

  void SetUp() override {
    FoundationTest::SetUp();
    detail::ImgCache_SetClock([this] { return tick++; });
  }
  void TearDown() override {
    ImgCache_Clear();
    detail::ImgCache_SetClock(nullptr);
    ImgCache_MinItems(0);
    ImgCache_MaxSizeMB(NOT_SET);
    ImgFree(dest);
    FoundationTest::TearDown();
  }

  // A picture whose first pixel's blue byte is mark.
  std::string Save(const std::string& name, int32_t w, int32_t h, uint8_t mark) {
    const std::string path = dir + "/" + name;
    Qimg img;
    EXPECT_EQ(_imgalloc_(img, w, h, 24, "Test.ImgCache.img"), 0);
    img.data[0] = mark;
    ImgSave(path, img, FF_AUTO);
    ImgFree(img);
    return path;
  }

  static QUniInfo Info(const std::string& path, bool sequence = false) {
    QUniInfo info;
    EXPECT_TRUE(UniInfo(path, info, sequence));
    return info;
  }

  // 1024 x 400 at 24 bits: 1.17 MB, so that every such frame counts one megabyte.
  std::string SaveMegabyte(const std::string& name, uint8_t mark) { return Save(name, 1024, 400, mark); }
};

TEST_F(ImgCacheTest, SecondRequestIsAHitThatOpensNothing) {
  const QUniInfo info = Info(Save("still.bmp", 8, 8, 7));
  FaultAfter(Fault::Open, 1000);
  EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
  EXPECT_LT(FaultLeft(Fault::Open), 1000) << "the first request decodes the file";
  FaultAfter(Fault::Open, 1000);
  FaultAfter(Fault::Read, 1000);
  EXPECT_TRUE(ImgCache_GetImage(info, 0, dest));
  EXPECT_EQ(FaultLeft(Fault::Open), 1000);
  EXPECT_EQ(FaultLeft(Fault::Read), 1000);
  EXPECT_EQ(dest.data[0], 7);
  EXPECT_TRUE(ImgCache_EqualPosition(info.name, 0));
  EXPECT_FALSE(ImgCache_EqualPosition(info.name, 1));
}

TEST_F(ImgCacheTest, ChangedFileIsDecodedAgain) {
  const std::string path = Save("touched.bmp", 8, 8, 1);
  const QUniInfo info = Info(path);
  EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
  EXPECT_TRUE(ImgCache_GetImage(info, 0, dest));
  const auto stamp = std::filesystem::last_write_time(path);
  Save("touched.bmp", 8, 8, 2);  // same size, new contents
  std::filesystem::last_write_time(path, stamp + std::chrono::seconds(5));
  EXPECT_FALSE(ImgCache_GetImage(info, 0, dest)) << "a new stamp is not matched";
  EXPECT_EQ(dest.data[0], 2);
  EXPECT_TRUE(ImgCache_GetImage(info, 0, dest));
}

TEST_F(ImgCacheTest, SixtyFiveItemsDropTheOldest) {
  for (int i = 0; i < 65; ++i) Save("many" + std::to_string(1000 + i) + ".bmp", 4, 4, uint8_t(i));
  const QUniInfo seq = Info(dir + "/many1000.bmp", true);
  ASSERT_EQ(seq.kind, UNI_SEQUENCE);
  ASSERT_EQ(seq.video.frames, 65);
  for (int f = 0; f < 65; ++f) EXPECT_FALSE(ImgCache_GetImage(seq, f, dest));
  EXPECT_EQ(detail::ImgCache_ItemCount(), 64) << "far below the size limit";
  EXPECT_TRUE(ImgCache_GetImage(seq, 1, dest));
  EXPECT_TRUE(ImgCache_GetImage(seq, 64, dest));
  EXPECT_FALSE(ImgCache_GetImage(seq, 0, dest)) << "the first item was the oldest";
  EXPECT_EQ(dest.data[0], 0);
}

TEST_F(ImgCacheTest, SizeLimitAndMinimumItems) {
  struct Case {
    int32_t minItems;
    bool kept;
  } cases[] = {{0, false}, {1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minItems);
    ImgCache_Clear();
    ImgCache_MaxSizeMB(0);
    ImgCache_MinItems(c.minItems);
    const QUniInfo info = Info(SaveMegabyte("huge.bmp", 3));
    EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
    EXPECT_EQ(dest.data[0], 3) << "the frame is delivered either way";
    EXPECT_EQ(ImgCache_GetImage(info, 0, dest), c.kept);
  }
}

TEST_F(ImgCacheTest, ItemsStampedBeforeTheCounterWrappedAreOldest) {
  ImgCache_MaxSizeMB(2);
  const QUniInfo a = Info(SaveMegabyte("a.bmp", 1)), b = Info(SaveMegabyte("b.bmp", 2)),
                 c = Info(SaveMegabyte("c.bmp", 3));
  tick = 4000000000u;
  EXPECT_FALSE(ImgCache_GetImage(a, 0, dest));
  tick = 10;  // the counter wrapped
  EXPECT_FALSE(ImgCache_GetImage(b, 0, dest));
  EXPECT_FALSE(ImgCache_GetImage(c, 0, dest));
  EXPECT_EQ(detail::ImgCache_ItemCount(), 2) << "three megabytes over a limit of two";
  EXPECT_TRUE(ImgCache_GetImage(b, 0, dest)) << "b, stamped 10, is younger than a, stamped before the wrap";
  EXPECT_TRUE(ImgCache_GetImage(c, 0, dest));
  EXPECT_FALSE(ImgCache_GetImage(a, 0, dest));
}

TEST_F(ImgCacheTest, SequenceMembersGoByTheirOwnNames) {
  for (int i = 0; i < 3; ++i) {
    Save("left" + std::to_string(i) + ".bmp", 4, 4, uint8_t(10 + i));
    Save("right" + std::to_string(i) + ".bmp", 4, 4, uint8_t(20 + i));
  }
  const QUniInfo left = Info(dir + "/left0.bmp", true), right = Info(dir + "/right0.bmp", true);
  ASSERT_EQ(left.video.frames, 3);
  EXPECT_FALSE(ImgCache_GetImage(left, 2, dest));
  EXPECT_EQ(dest.data[0], 12);
  EXPECT_TRUE(ImgCache_EqualPosition(dir + "/left2.bmp", 0)) << "the member's own name, frame 0";
  EXPECT_FALSE(ImgCache_GetImage(right, 2, dest)) << "another sequence never matches";
  EXPECT_EQ(dest.data[0], 22);
  EXPECT_TRUE(ImgCache_GetImage(Info(dir + "/left2.bmp"), 0, dest)) << "the member opened as a still";
  EXPECT_EQ(dest.data[0], 12);
  EXPECT_FALSE(ImgCache_GetImage(left, 1, dest)) << "member 1 was never cached";
  EXPECT_EQ(dest.data[0], 11);
  ImgCache_Clear();
  EXPECT_FALSE(ImgCache_GetImage(left, 0, dest));
  EXPECT_FALSE(ImgCache_GetImage(left, 1, dest)) << "decoded on from the cached member 0";
  EXPECT_EQ(dest.data[0], 11);
}

TEST_F(ImgCacheTest, FailedLoadDeliversNothing) {
  const std::string path = Save("gone.bmp", 4, 4, 9);
  const QUniInfo info = Info(path);
  EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
  std::filesystem::remove(path);
  EXPECT_FALSE(ImgCache_GetImage(info, 0, dest)) << "a missing file no longer matches its item";
  EXPECT_FALSE(ErrNone());
  EXPECT_FALSE(ImgCache_EqualPosition(path, 0));
  EXPECT_EQ(detail::ImgCache_ItemCount(), 1) << "the failed item is not kept";
  ErrClear();
}

// Every allocation, open and read of a request failing in turn: the request fails cleanly and
// keeps no item (one whose delivery failed was released by the caller's failing block) and no
// file, and the next requests decode and then hit again.
TEST_F(ImgCacheTest, EveryFaultLeavesACleanCache) {
  const QUniInfo info = Info(Save("faults.bmp", 16, 8, 5));
  for (const Fault kind : {Fault::Alloc, Fault::Open, Fault::Read}) {
    for (int32_t n = 1;; ++n) {
      SCOPED_TRACE(testing::Message() << "fault " << int(kind) << " at " << n);
      ImgCache_Clear();
      FaultAfter(kind, n);
      // A failing copy to the destination raises into the caller's frame, after the cache's own.
      bool failed = false;
      GuardedSilent("Test.ImgCache", [&] {
        EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
        failed = !ErrNone();
      });
      failed = failed || !ErrNone();
      const bool struck = FaultLeft(kind) == 0;
      FaultReset();
      ErrClear();
      if (!struck) break;
      EXPECT_TRUE(failed);
      EXPECT_FALSE(ImgCache_EqualPosition(info.name, 0));
      EXPECT_EQ(detail::ImgCache_ItemCount(), 0);
      EXPECT_FALSE(ImgCache_GetImage(info, 0, dest));
      EXPECT_EQ(dest.data[0], 5);
      EXPECT_TRUE(ImgCache_GetImage(info, 0, dest));
    }
  }
}

}  // namespace
}  // namespace rf
