// Script import: the size and magic checks, the effect number map and where the values land.
#include <gtest/gtest.h>

#include <cstring>

#include "effects/fnparams.h"
#include "persist_support.h"
#include "persistence/crvimport.h"

namespace rf {
namespace {

// A script with the given sibling numbers, each entry's values k + 0.5 for k = 0..5.
std::string Script(const std::vector<int32_t>& numbers, size_t size = CRV_FILE_SIZE) {
  std::string s(size, '\0');
  std::memcpy(s.data(),
              "\x10"
              "CORVAN-SCRIPT-01",
              17);
  for (size_t i = 0; i < numbers.size(); ++i) {
    char* entry = s.data() + 21 + i * 76;
    std::memcpy(entry, &numbers[i], 4);
    for (int k = 0; k < 6; ++k) {
      const double v = k + 0.5 + double(i);
      std::memcpy(entry + 4 + 8 * k, &v, 8);
    }
  }
  if (size >= 1925) {
    const int32_t count = int32_t(numbers.size());
    std::memcpy(s.data() + 1921, &count, 4);
  }
  return s;
}

class CRVTest : public test::PersistTest {
 protected:
  std::string file = test::ScratchDir("crv") + "/s.scr";
};

TEST_F(CRVTest, MapsNumbersAndPlacesTheSixValues) {
  EXPECT_EQ(CRVEffectIndex(6), 0);
  EXPECT_EQ(CRVEffectIndex(21), 30);
  EXPECT_EQ(CRVEffectIndex(1000), NOT_SET);
  EXPECT_EQ(CRVEffectIndex(29), NOT_SET);
  test::WriteWholeFile(file, Script({6, 21}));
  Project p;
  ASSERT_TRUE(CRV_LoadScript(p, file));
  ASSERT_EQ(p.chain.size(), 2u);
  EXPECT_EQ(p.chain[0]->id, 1);
  EXPECT_EQ(p.chain[1]->id, 31);
  EXPECT_EQ(ShortStrGet(p.chain[1]->name), FnName(31));
  EXPECT_EQ(p.chain[1]->first, 0);
  EXPECT_EQ(p.chain[1]->last, 999999999);
  const QFnParams& params = *p.chain[1]->fnParams;
  for (int k = 0; k < 6; ++k) EXPECT_DOUBLE_EQ(params.values[k], k + 1.5);
  EXPECT_EQ(params.values[6], 0);
  EXPECT_EQ(params.values[7], 0);
  EXPECT_EQ(ShortStrGet(p.chain[0]->fnParams->description), ":  R= 1, G= 2, B= 3");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CRVTest, RefusesWrongFilesAndStopsAtAnUnknownNumber) {
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
    size_t entries;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"1924 bytes", Script({6}, 1924), false, 0, {}},
      {"bad magic",
       "\x10"
       "CORVAN-SCRIPT-02" +
           Script({6}).substr(17),
       false,
       0,
       {}},
      {"no entries", Script({}), true, 0, {}},
      {"1000 after one", Script({6, 1000, 7}), false, 1, {"E: Out of range."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteWholeFile(file, c.bytes);
    boxes.clear();
    Project p;
    EXPECT_EQ(CRV_LoadScript(p, file), c.ok);
    EXPECT_EQ(p.chain.size(), c.entries);
    EXPECT_EQ(boxes, c.boxes);
  }
}

}  // namespace
}  // namespace rf
