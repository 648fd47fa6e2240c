// Frames of one size go through the geometry without a single heap call after the first frame:
// every allocation of the library and of the standard library is counted while the frames run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/test_support.h"
#include "engine/geometry.h"
#include "foundation/errors.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<int> g_calls{0};

void Count() {
  if (g_counting.load(std::memory_order_relaxed)) g_calls.fetch_add(1, std::memory_order_relaxed);
}

void* NewOrThrow(size_t n) {
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

// The library's own calls (it is linked statically) reach these through the linker's --wrap; the
// standard library's allocations reach them through the replaced operator new.
extern "C" {
void* __real_malloc(size_t n);
void* __real_calloc(size_t count, size_t n);
void* __real_realloc(void* p, size_t n);
void* __wrap_malloc(size_t n) {
  Count();
  return __real_malloc(n);
}
void* __wrap_calloc(size_t count, size_t n) {
  Count();
  return __real_calloc(count, n);
}
void* __wrap_realloc(void* p, size_t n) {
  Count();
  return __real_realloc(p, n);
}
}

void* operator new(size_t n) { return NewOrThrow(n); }
void* operator new[](size_t n) { return NewOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace rf {
namespace {

class GeometryAllocTest : public test::FoundationTest {
 protected:
  Qimg src;
  GeoWork work;
  void TearDown() override {
    ImgFree(src);
    GeoDone(work);
    FoundationTest::TearDown();
  }
  // The heap calls of one frame through every step.
  int Frame(const OutputDef& def) {
    g_calls = 0;
    g_counting = true;
    Qimg* current = &src;
    GeoPrepareFrame(def, work, current);
    GeoFinishFrame(def, work, current);
    g_counting = false;
    return g_calls;
  }
};

TEST_F(GeometryAllocTest, FramesAfterTheFirstAllocateNothing) {
  struct Case {
    const char* name;
    int32_t srcW, srcH, width, height, mode, filter;
    int32_t cropLeft, cropTop, rotation, resizeBack;
  };
  // Shrinking and enlarging, by picking pixels and by averaging, in every fitting mode, with
  // margins, turns and the scaling back.
  const Case cases[] = {
      {"border resample shrink", 640, 480, 320, 320, SM_BORDER, 1, 0, 0, 0, 0},
      {"border resize enlarge", 160, 100, 640, 640, SM_BORDER, 0, 0, 0, 0, 0},
      {"crop resample", 640, 480, 200, 200, SM_CROP, 1, 0, 0, 0, 0},
      {"center", 640, 480, 320, 200, SM_CENTER, 0, 0, 0, 0, 0},
      {"center small", 100, 80, 320, 200, SM_CENTER, 0, 0, 0, 0, 0},
      {"stretch resample enlarge", 160, 120, 640, 480, SM_STRETCH, 1, 0, 0, 0, 0},
      {"stretch resample mixed", 640, 120, 320, 480, SM_STRETCH, 1, 0, 0, 0, 0},
      {"crop rotate resize back", 640, 480, 320, 240, SM_STRETCH, 1, 16, 8, 1, 1},
      {"rotate half", 320, 240, 320, 240, SM_STRETCH, 0, 0, 0, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OutputDef def{};
    SetOutputDefaults(def, true, true);
    def.Width = c.width;
    def.Height = c.height;
    def.SmallMode = def.LargeMode = c.mode;
    def.Filter = c.filter;
    def.CropLeft = def.CropRight = c.cropLeft;
    def.CropTop = def.CropBottom = c.cropTop;
    def.Rotation = c.rotation;
    def.ResizeBack = c.resizeBack ? RF_TRUE : RF_FALSE;
    OutCalcFinalSize(def);
    GeoDone(work);
    ASSERT_EQ(_imgalloc_(src, c.srcW, c.srcH, 24, "Test.GeometryAlloc.src"), 0);
    // The first frame builds the pictures and tables (which shows that the counting works).
    EXPECT_GT(Frame(def), 0);
    ASSERT_EQ(ErrCode(), 0);
    for (int frame = 2; frame <= 5; ++frame) EXPECT_EQ(Frame(def), 0) << "frame " << frame;
    ImgFree(src);
  }
}

}  // namespace
}  // namespace rf
