// List files: the key rules and line examples of the text, exports of an edit list, and imports
// of real files with their ranges, rates and relative names.
#include <gtest/gtest.h>

#include "persist_support.h"
#include "persistence/vflformat.h"

namespace rf {
namespace {

std::vector<QVFLRec> Parse(std::string_view text, const std::string& base) {
  std::vector<QVFLRec> records;
  VFLImport(
      text, base,
      [&](QVFLRec& r) {
        records.push_back(r);
        return true;
      },
      nullptr);
  return records;
}

TEST(VFLText, LinesGiveTheirFields) {
  struct Case {
    const char* line;
    std::string name;
    int32_t vIn, vLen;
    double vFPS;
    int32_t aIn, aLen, sequence;
  };
  const Case cases[] = {
      {"/m/a.avi", "/m/a.avi", NOT_SET, NOT_SET, NOT_SET_F, NOT_SET, NOT_SET, 0},
      {"b.avi|vIn=11|vLen=50|vFPS=25", "/lists/b.avi", 10, 50, 25, NOT_SET, NOT_SET, -1},
      {"  sub/c.wav | vIn=1 | vLen=0 | vFPS=0 | aIn=101 | aLen=2000  ", "/lists/sub/c.wav", 0, 0, 0, 100, 2000, 0},
      {"d.avi|VLEN=5|vfps=29.97|AIN=1", "/lists/d.avi", NOT_SET, 5, 29.97, 0, NOT_SET, -1},
      {"e.avi|vLen=x|vFPS=|vLenght=3|aLen=1.5", "/lists/e.avi", NOT_SET, NOT_SET, NOT_SET_F, NOT_SET, NOT_SET, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto r = Parse(c.line, "/lists/");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].name, c.name);
    EXPECT_EQ(r[0].vIn, c.vIn);
    EXPECT_EQ(r[0].vLen, c.vLen);
    EXPECT_DOUBLE_EQ(r[0].vFPS, c.vFPS);
    EXPECT_EQ(r[0].aIn, c.aIn);
    EXPECT_EQ(r[0].aLen, c.aLen);
    EXPECT_EQ(r[0].sequence, c.sequence);
  }
  // Comments, empty lines and lines without a name are skipped; the index counts the others.
  const auto r = Parse("# list\r\n\r\n/a.avi\r\n|vLen=3\n  \n/b.avi", "/");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].name, "/b.avi");
  EXPECT_EQ(r[1].index, 1);
}

TEST(VFLText, ExportWritesEveryLineEndAndRoundsTheRate) {
  std::vector<QVFLRec> records(2);
  records[0] = QVFLRec{"/m/a.avi", 0, 0, 9, 50, 29.97, 0, 0, nullptr};
  records[1] = QVFLRec{"/m/a.avi", 0, 0, 0, 0, 0, 99, 1000, nullptr};
  const auto feed = [&](QVFLRec& r) {
    if (size_t(r.index) >= records.size()) return false;
    const int32_t index = r.index;
    r = records[size_t(index)];
    r.index = index;
    return true;
  };
  std::string text;
  VFLExport(true, feed, text);
  EXPECT_EQ(text,
            "/m/a.avi|vIn=10|vLen=50|vFPS=30|aIn=1|aLen=0\r\n"
            "/m/a.avi|vIn=1|vLen=0|vFPS=0|aIn=100|aLen=1000\r\n");
  VFLExport(false, feed, text);
  EXPECT_EQ(text, "/m/a.avi\r\n/m/a.avi\r\n");
}

class VFLProjectTest : public test::PersistTest {
 protected:
  std::string dir = test::ScratchDir("vfl");
};

TEST_F(VFLProjectTest, ImportTakesRangesRatesAndRelativeNames) {
  test::MakeMovie(dir, "b.avi", 70, true);
  Project p;
  const std::string list = dir + "/list.vfl";
  test::WriteWholeFile(list, "# the b example\r\nb.avi|vIn=11|vLen=50|vFPS=25\r\n" + dir + "/b.avi\r\nmissing.avi\r\n");
  int32_t failed = 0;
  ASSERT_TRUE(VFLImportFile(p, list, failed));
  EXPECT_EQ(failed, 1);
  // The b example: frames 10..59 at 25 per second and the whole sound, linked; then the whole
  // file with both streams.
  ASSERT_EQ(p.list.video.items.size(), 2u);
  ASSERT_EQ(p.list.audio.items.size(), 2u);
  const MMBlockRec& v = *p.list.video.items[0];
  EXPECT_EQ(MMFile_GetPtrByIndex(p.list.files, v.file)->info.name, dir + "/b.avi");
  EXPECT_EQ(v.first, 10);
  EXPECT_EQ(v.last, 59);
  EXPECT_DOUBLE_EQ(v.frequency, 25);
  EXPECT_EQ(p.list.audio.items[0]->first, 0);
  EXPECT_EQ(p.list.audio.items[0]->last, p.list.audio.items[0]->fileQuants - 1);
  EXPECT_EQ(v.link, 0);
  EXPECT_EQ(p.list.audio.items[1]->link, 1);
  EXPECT_EQ(p.list.video.items[1]->last, 69);
  EXPECT_DOUBLE_EQ(p.list.video.items[1]->frequency, 10);
}

TEST_F(VFLProjectTest, ExportAndImportSplitPairsAndSkipSilence) {
  const std::string movie = test::MakeMovie(dir, "pair.avi", 20, true);
  Project p;
  ASSERT_TRUE(ProjectAddFile(p, movie, false, 2, 9));
  ProjectAddSilence(p, 2);
  EXPECT_EQ(VFLExportProject(p, true),
            movie + "|vIn=3|vLen=8|vFPS=10|aIn=1|aLen=0\r\n" + movie + "|vIn=1|vLen=0|vFPS=0|aIn=1601|aLen=6400\r\n");
  const std::string file = dir + "/out.VFL";
  ASSERT_TRUE(VFLExportFile(p, file));
  Project back;
  int32_t failed = -1;
  ASSERT_TRUE(VFLImportFile(back, file, failed));
  EXPECT_EQ(failed, 0);
  ASSERT_EQ(back.list.video.items.size(), 1u);
  ASSERT_EQ(back.list.audio.items.size(), 1u);
  EXPECT_FALSE(back.list.video.items[0]->linked || back.list.audio.items[0]->linked);
  EXPECT_EQ(back.list.video.items[0]->first, 2);
  EXPECT_EQ(back.list.audio.items[0]->first, 1600);
  EXPECT_EQ(back.list.audio.items[0]->last, 7999);

  Project empty;
  ASSERT_TRUE(VFLExportFile(empty, file));
  EXPECT_EQ(test::ReadWholeFile(file), "");
}

}  // namespace
}  // namespace rf
