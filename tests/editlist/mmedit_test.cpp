// The edit list: block times and totals, the quant and time lookups at block boundaries, link
// repair, copying, row texts, and the file table over real files in a scratch folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <tuple>

#include "common/test_support.h"
#include "editlist/mmedit.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"

namespace rf {
namespace {

class MMEditTest : public test::FoundationTest {
 protected:
  MMList mm;
  std::string dir = test::ScratchDir("mmedit");

  void SetUp() override {
    FoundationTest::SetUp();
    MMInit(mm);
  }
  void TearDown() override {
    MMDone(mm);
    FoundationTest::TearDown();
  }

  static MMBlockRec* NewBlock() {
    MMBlockRec* b = nullptr;
    EXPECT_EQ(_memalloc_(b, int32_t(sizeof(MMBlockRec)), MEM_NEW, "Test.MMEdit.block"), 0);
    return b;
  }

  static MMBlockRec* AddFile(MMBlockList& list, int32_t position, int32_t file, int32_t first, int32_t last,
                             int32_t fileQuants, double frequency) {
    MMBlockRec* b = NewBlock();
    MMBlockP_SetFile(*b, file, first, last, fileQuants, frequency);
    MMBlock_Insert(list, position, b);
    return b;
  }

  static MMBlockRec* AddSilence(MMBlockList& list, int32_t position, double seconds) {
    MMBlockRec* b = NewBlock();
    MMBlockP_SetSilence(*b, seconds);
    MMBlock_Insert(list, position, b);
    return b;
  }

  // Two 100-frame blocks at 25 frames per second.
  void TwoBlocks() {
    AddFile(mm.video, 0, 0, 0, 99, 100, 25);
    AddFile(mm.video, 1, 0, 0, 99, 100, 25);
  }

  static std::vector<int32_t> Links(const MMBlockList& list) {
    std::vector<int32_t> links;
    for (const MMBlockRec* b : list.items) links.push_back(b->linked ? b->link : (b->link == NOT_SET ? -1 : -2));
    return links;
  }

  static std::vector<int32_t> Files(const MMBlockList& list) {
    std::vector<int32_t> files;
    for (const MMBlockRec* b : list.items) files.push_back(b->file);
    return files;
  }

  std::string Picture(const std::string& file, int32_t w = 8, int32_t h = 6) {
    const std::string name = dir + "/" + file;
    Qimg img;
    EXPECT_EQ(_imgalloc_(img, w, h, 24, "Test.MMEdit.img"), 0);
    for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t(i * 5);
    ImgSave(name, img, FF_AUTO);
    ImgFree(img);
    EXPECT_TRUE(ErrNone()) << ErrLastMessage();
    return name;
  }

  struct Found {
    int32_t block, fileQuant, listQuant;
  };
  Found ByTime(double t) const {
    Found f{};
    MMBlock_GetBlockByTime(mm.video, t, f.block, f.fileQuant, f.listQuant);
    return f;
  }
  struct FoundQ {
    int32_t block;
    double time;
    int32_t fileQuant;
  };
  FoundQ ByQuant(int32_t q) const {
    FoundQ f{};
    detail::MMBlock_GetBlockByQuant(mm.video, q, f.block, f.time, f.fileQuant);
    return f;
  }
};

TEST_F(MMEditTest, BlockRecordIsStoredInItsDocumentedLayout) {
  MMBlockRec b;
  MMBlockP_SetFile(b, 3, 10, 19, 50, 25);
  b.linked = RF_TRUE;
  b.link = 7;
  b.duration = 0.5;
  uint8_t bytes[64];
  std::memcpy(bytes, &b, sizeof bytes);
  // Offsets below 16 and 24, 28 hold 32-bit integers, the rest doubles.
  const std::pair<size_t, double> fields[] = {{0, 3},  {4, 10},   {8, 19},   {12, 50},  {16, 25.0}, {24, -1},
                                              {28, 7}, {32, 0.5}, {40, 0.4}, {48, 0.8}, {56, 2.0}};
  for (const auto& [offset, want] : fields) {
    int32_t i;
    double d;
    std::memcpy(&i, bytes + offset, 4);
    std::memcpy(&d, bytes + offset, 8);
    EXPECT_EQ(offset < 16 || offset == 24 || offset == 28 ? double(i) : d, want) << "offset " << offset;
  }
  MMBlockP_SetFile(b, 0, 0, 0, 1, 25);
  std::memcpy(bytes, &b, sizeof bytes);
  EXPECT_EQ(0, std::memcmp(bytes + 24, "\0\0\0\0\x7C\x0D\x10\xAF", 8)) << "a fresh block has no link, little-endian";
}

TEST_F(MMEditTest, LookupsAtBlockBoundaries) {
  TwoBlocks();
  // The other list is untouched.
  EXPECT_EQ(std::tuple(mm.video.items[0]->endTime, mm.video.items[0]->fileTime, mm.video.totalQuants,
                       mm.video.totalTime, mm.audio.totalQuants),
            std::tuple(4.0, 4.0, 200, 8.0, 0));

  const struct {
    int32_t q, block, fileQuant;
    double time;
  } byQuant[] = {{100, 1, 0, 4.0},
                 {99, 0, 99, 3.96},
                 {199, 1, 99, 7.96},
                 {200, NOT_SET, NOT_SET, NOT_SET_F},
                 {-1, NOT_SET, NOT_SET, NOT_SET_F}};
  for (const auto& c : byQuant) {
    const FoundQ f = ByQuant(c.q);
    EXPECT_EQ(std::tuple(f.block, f.fileQuant, f.time), std::tuple(c.block, c.fileQuant, c.time)) << c.q;
  }
  EXPECT_DOUBLE_EQ(MMBlock_GetTimeByQuant(mm.video, 150), 6.0);

  // Block 0 ends less than 0.0001 s after 3.99995, block 1 starts after it: no block. 3.9998 is
  // rounded up to 100 and held at block 0's last frame.
  const struct {
    double t;
    int32_t block, fileQuant, listQuant;
  } byTime[] = {{4.0, 1, 0, 100},         {3.96, 0, 99, 99}, {3.99995, NOT_SET, NOT_SET, 100},
                {3.9998, 0, 99, 99},      {0, 0, 0, 0},      {8.0, NOT_SET, NOT_SET, 200},
                {-1, NOT_SET, NOT_SET, 0}};
  for (const auto& c : byTime) {
    const Found f = ByTime(c.t);
    EXPECT_EQ(std::tuple(f.block, f.fileQuant, f.listQuant), std::tuple(c.block, c.fileQuant, c.listQuant)) << c.t;
  }
  EXPECT_EQ(MMBlock_GetQuantByTime(mm.video, 6.0), 150);
}

TEST_F(MMEditTest, TrimmedBlockClampsToItsLastQuant) {
  AddFile(mm.video, 0, 0, 50, 149, 300, 25);
  const MMBlockRec& b = *mm.video.items[0];
  EXPECT_EQ(std::tuple(b.startTime, b.endTime, b.fileTime), std::tuple(2.0, 6.0, 12.0));
  // 3.999 s: 149.975 rounds to 150, which lies past last.
  for (double t : {3.96, 3.999}) {
    EXPECT_EQ(ByTime(t).fileQuant, 149) << t;
    EXPECT_EQ(ByTime(t).listQuant, 99) << t;
  }
  EXPECT_EQ(ByTime(0).fileQuant, 50) << "list time 0 is the block's first quant";
  EXPECT_EQ(ByQuant(0).fileQuant, 50);
  EXPECT_DOUBLE_EQ(ByQuant(99).time, 3.96);
}

TEST_F(MMEditTest, TimeLookupRoundsHalvesToEven) {
  // Two quants per second make every half exact: 0.5, 1.5, 2.5 and 3.5 quants.
  AddFile(mm.video, 0, 0, 0, 9, 10, 2);
  const std::pair<double, int32_t> cases[] = {{0.25, 0}, {0.75, 2}, {1.25, 2}, {1.75, 4}, {1.3, 3}};
  for (const auto& [t, q] : cases) EXPECT_EQ(ByTime(t).fileQuant, q) << t;
}

TEST_F(MMEditTest, ChangeFreqStoresUnusableRatesAsOne) {
  TwoBlocks();
  MMBlock_ChangeFreq(mm.video, 1, 1, 0);
  const MMBlockRec& b1 = *mm.video.items[1];
  EXPECT_EQ(b1.endTime + b1.fileTime, 200.0);
  EXPECT_EQ(mm.video.totalTime, 104.0);
  MMBlock_ChangeFreq(mm.video, 0, 1, 0.01);
  EXPECT_EQ(mm.video.items[0]->frequency, 1.0) << "0.01 is still too small";
  MMBlock_ChangeFreq(mm.video, -4, 99, 50);
  EXPECT_EQ(mm.video.items[1]->frequency, 50.0) << "the range is clamped to the list";
  EXPECT_EQ(mm.video.totalTime, 4.0);
  AddFile(mm.video, 2, 0, 0, 9, 10, 0);
  EXPECT_EQ(mm.video.items[2]->frequency, 1.0) << "a new block too";
}

TEST_F(MMEditTest, InsertUpdateAndDeleteKeepTotals) {
  AddFile(mm.video, 0, 0, 0, 24, 100, 25);   // 1 s
  AddFile(mm.video, 99, 1, 0, 49, 100, 25);  // appended: 2 s
  AddFile(mm.video, -3, 2, 0, 74, 100, 25);  // first: 3 s
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{2, 0, 1}));
  EXPECT_DOUBLE_EQ(mm.video.totalTime, 6.0);

  MMBlockRec* b = MMBlock_GetPtrByIndex(mm.video, 1);
  b->last = 99;
  b->frequency = 50;
  MMBlock_Update(mm.video, 1);
  EXPECT_EQ(std::tuple(b->endTime, mm.video.totalQuants, mm.video.totalTime), std::tuple(2.0, 225, 7.0));
  MMBlock_Update(mm.video, 3);  // out of range: nothing

  mm.video.items[0]->link = 5;
  MMBlock_Delete(mm.video, 1, 1);
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(mm.video.items[0]->link, 5) << "deleting does not touch links";
  EXPECT_EQ(mm.video.totalQuants, 125);
  MMBlock_Delete(mm.video, 0, 0);
  EXPECT_EQ(mm.video.items.size(), 2u) << "nothing to delete";
  MMBlock_Delete(mm.video, -5, 1);
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{1}));
  MMBlock_Delete(mm.video, 7, 3);
  EXPECT_TRUE(mm.video.items.empty()) << "a start past the end is clamped to the last block";
  EXPECT_EQ(mm.video.totalTime, 0.0);
  MMBlock_Delete(mm.video, 0, 1);  // empty list: nothing

  EXPECT_EQ(MMBlock_GetPtrByIndex(mm.video, 0), nullptr);
  EXPECT_EQ(&MMBlock_Insert(mm.video, 0, nullptr), &mm.video);
}

TEST_F(MMEditTest, PositionsOfBlocksInQuantsAndSeconds) {
  TwoBlocks();
  AddFile(mm.video, 2, 0, 0, 49, 100, 50);  // 50 quants, 1 s
  // first (true) or last item of a block, by quant or by time; kinds 2 and 5 are unknown.
  const struct {
    bool first;
    int32_t index, kind;
    double want;
  } items[] = {{true, 1, MM_BY_QUANT, 100}, {true, 2, MM_BY_TIME, 8},    {true, 0, MM_BY_TIME, 0},
               {true, -2, MM_BY_QUANT, 0},  {true, 3, MM_BY_QUANT, 250}, {true, 9, MM_BY_TIME, 9},
               {true, 1, 2, NOT_SET_F},     {false, 0, MM_BY_QUANT, 99}, {false, 2, MM_BY_QUANT, 249},
               {false, 2, MM_BY_TIME, 9},   {false, 1, 5, NOT_SET_F}};
  for (const auto& c : items) {
    EXPECT_EQ((c.first ? MMBlock_GetFirstItem : MMBlock_GetLastItem)(mm.video, c.index, c.kind), c.want)
        << c.first << " " << c.index << " " << c.kind;
  }
  // A quant position is truncated (99.9).
  const struct {
    int32_t kind;
    double value;
    int32_t block;
  } index[] = {{MM_BY_QUANT, 99.9, 0},     {MM_BY_QUANT, 200, 2}, {MM_BY_TIME, 4.0, 1},
               {MM_BY_TIME, 9.0, NOT_SET}, {2, 0, NOT_SET},       {MM_BY_QUANT, 1e12, NOT_SET}};
  for (const auto& c : index) EXPECT_EQ(MMBlock_GetBlockIndex(mm.video, c.kind, c.value), c.block) << c.value;

  mm.video.items[2]->file = 4;
  // Without a block the file index is left alone.
  const struct {
    int32_t kind;
    double value;
    int32_t block, file, quant;
  } info[] = {{MM_BY_QUANT, 210, 2, 4, 10}, {MM_BY_TIME, 8.5, 2, 4, 25}, {MM_BY_TIME, 20, NOT_SET, 77, NOT_SET}};
  for (const auto& c : info) {
    int32_t file = 77, quant = 0;
    const int32_t block = MMBlock_GetBlockInfo(mm.video, c.kind, c.value, file, quant);
    EXPECT_EQ(std::tuple(block, file, quant), std::tuple(c.block, c.file, c.quant)) << c.value;
  }
}

TEST_F(MMEditTest, LinkRepairAfterDeletingAudioBlocks) {
  for (int32_t i = 0; i < 7; ++i) {
    MMBlockRec* v = AddFile(mm.video, i, 0, 0, 9, 10, 25);
    MMBlockRec* a = AddFile(mm.audio, i, 0, 0, 999, 1000, 8000);
    v->linked = a->linked = RF_TRUE;
    v->link = a->link = i;
  }
  mm.video.items[0]->link = NOT_SET;  // an unlinked block stays unlinked
  mm.video.items[0]->linked = RF_FALSE;

  MMBlock_Delete(mm.audio, 2, 3);
  MMBlock_UpdateLinksAfterDelete(mm.video, 2, 3);
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, 1, -1, -1, -1, 2, 3}));
  MMBlock_UpdateLinksAfterDelete(mm.video, 0, 0);
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, 1, -1, -1, -1, 2, 3})) << "count 0 changes nothing";

  // Two audio blocks inserted before audio 1.
  MMBlock_UpdateLinksAfterInsert(mm.video, 1, 2);
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, 3, -1, -1, -1, 4, 5}));
  MMBlock_UpdateLinksAfterInsert(mm.video, 5, 1);
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, 3, -1, -1, -1, 4, 6})) << "a link at the position moves";
  MMBlock_UpdateLinksAfterInsert(mm.video, 0, -4);
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, 3, -1, -1, -1, 4, 6}));
}

TEST_F(MMEditTest, SilenceBlocksCount8000QuantsPerSecond) {
  MMBlockRec* s = AddSilence(mm.audio, 0, 2.5);
  EXPECT_FALSE(MMBlockP_IsFile(*s));
  EXPECT_EQ(std::tuple(s->file, s->last, s->frequency, s->fileTime, mm.audio.totalQuants, mm.audio.totalTime),
            std::tuple(MM_SILENCE, 19999, 8000.0, 2.5, 20000, 2.5));

  // Silence keeps its duration whatever rate it is given.
  MMBlock_ChangeFreq(mm.audio, 0, 1, 44100);
  EXPECT_EQ(s->endTime, 2.5);
  MMBlock_ChangeFreq(mm.audio, 0, 1, MM_SILENCE_FREQ);

  AddFile(mm.audio, 1, 0, 0, 22049, 44100, 22050);
  int32_t block, quant, listQuant;
  MMBlock_GetBlockByTime(mm.audio, 2.5, block, quant, listQuant);
  EXPECT_EQ(std::tuple(block, quant, listQuant), std::tuple(1, 0, 20000));
  MMBlock_GetBlockByTime(mm.audio, 1.0, block, quant, listQuant);
  EXPECT_EQ(std::tuple(block, quant), std::tuple(0, 8000));

  MMBlockRec one;
  MMBlockP_SetSilence(one, 0.00001);
  EXPECT_EQ(std::tuple(one.fileQuants, one.last), std::tuple(0, -1)) << "Trunc(0.08)";
  MMBlockP_SetSilence(one, 1.99999);
  EXPECT_EQ(one.fileQuants, 15999);
}

TEST_F(MMEditTest, RowTextsOfFileAndSilenceBlocks) {
  const int32_t f = MMFile_Add(mm.files, Picture("clip.tga"), false);
  ASSERT_EQ(f, 0);
  AddFile(mm.video, 0, f, 1000, 2999, 5000, 25);
  AddFile(mm.video, 1, f, 90000, 90024, 100000, 25);
  AddSilence(mm.video, 2, 2.5);

  // Hours appear when not zero; kind 2 gives no texts; the lengths cut the texts.
  const struct {
    int32_t index, kind;
    size_t nameMax, t1Max;
    const char *name, *t1, *t2;
  } rows[] = {{0, MM_BY_QUANT, 255, 255, "clip.tga", "1,001", "2,000"},
              {0, MM_BY_TIME, 255, 255, "clip.tga", "00:40.000", "01:20.000"},
              {1, MM_BY_TIME, 255, 255, "clip.tga", "01:00:00.000", "00:01.000"},
              {1, 2, 255, 255, "clip.tga", "", ""},
              {1, MM_BY_QUANT, 4, 2, "clip", "90", "25"},
              {2, MM_BY_QUANT, 255, 255, "Silence", "0", "00:02.500"},
              {2, MM_BY_TIME, 255, 255, "Silence", "0", "00:02.500"}};
  std::string name, t1, t2;
  for (const auto& r : rows) {
    ASSERT_TRUE(MMBlock_GetNameData(mm.video, r.index, r.kind, name, r.nameMax, t1, r.t1Max, t2, 255));
    EXPECT_EQ(name + "|" + t1 + "|" + t2, std::string(r.name) + "|" + r.t1 + "|" + r.t2);
  }
  EXPECT_FALSE(MMBlock_GetNameData(mm.video, 3, MM_BY_QUANT, name, 255, t1, 255, t2, 255));
  EXPECT_EQ(name + t1 + t2, "");
}

TEST_F(MMEditTest, AddingFilesExaminesEachOnce) {
  const std::string still = Picture("still.tga", 8, 6);
  EXPECT_EQ(MMFile_Add(mm.files, still, false), 0);
  const QMMFileInfo* rec = MMFile_GetPtrByIndex(mm.files, 0);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(std::tuple(rec->name, rec->info.name, rec->info.video.width), std::tuple("still.tga", still, 8));

  ASSERT_EQ(std::remove(still.c_str()), 0);
  EXPECT_EQ(MMFile_Add(mm.files, still, false), 0) << "the table answers without looking at the file";
  EXPECT_EQ(mm.files.size(), 1u);

  EXPECT_EQ(MMFile_Add(mm.files, dir + "/missing.tga", false), NOT_SET);
  EXPECT_TRUE(ErrNone()) << "an unreadable file leaves the register clear";
  EXPECT_EQ(std::tuple(WarnCategory(), WarnCode()), std::tuple(6, 9));
  test::WriteWholeFile(dir + "/junk.tga", "no picture in here");
  EXPECT_EQ(MMFile_Add(mm.files, dir + "/junk.tga", false), NOT_SET);
  EXPECT_EQ(mm.files.size(), 1u);
}

TEST_F(MMEditTest, SequencesAndPlainRecordsOfOneName) {
  for (const char* n : {"img0001.tga", "img0002.tga", "img0003.tga"}) Picture(n);
  const std::string first = dir + "/img0001.tga";
  EXPECT_EQ(MMFile_Add(mm.files, first, true), 0);
  EXPECT_EQ(mm.files[0]->info.kind, UNI_SEQUENCE);
  EXPECT_EQ(mm.files[0]->info.video.frames, 3);
  EXPECT_EQ(MMFile_Add(mm.files, first, false), 1) << "the plain still is a record of its own";
  EXPECT_EQ(mm.files[1]->info.kind, UNI_STILL);
  EXPECT_EQ(MMFile_Add(mm.files, first, true), 0);
  EXPECT_EQ(MMFile_Add(mm.files, first, false), 1);
  EXPECT_EQ(mm.files.size(), 2u);

  // Names compare exactly, as the file system does, and in full.
  const struct {
    std::string name;
    int32_t kind, index;
  } byName[] = {{first, MM_FILE_PLAIN, 1},
                {first, MM_FILE_SEQUENCE, 0},
                {first, MM_FILE_ANY, 0},
                {dir + "/IMG0001.TGA", MM_FILE_ANY, NOT_SET},
                {"img0001.tga", MM_FILE_ANY, NOT_SET}};
  for (const auto& c : byName) EXPECT_EQ(MMFile_GetIndexByName(mm.files, c.name, c.kind), c.index) << c.name;

  // A still without numbered neighbours asked for as a sequence is the plain record we hold.
  const std::string solo = Picture("solo.tga");
  EXPECT_EQ(MMFile_Add(mm.files, solo, false), 2);
  EXPECT_EQ(MMFile_Add(mm.files, solo, true), 2);
  EXPECT_EQ(mm.files.size(), 4u) << "the second examination is appended all the same";
  EXPECT_EQ(mm.files[3]->info.kind, UNI_STILL);

  EXPECT_EQ(MMFile_GetShortNameByIndex(mm.files, 2) + MMFile_GetShortNameByIndex(mm.files, 4) +
                MMFile_GetShortNameByIndex(mm.files, -1),
            "solo.tga");
  EXPECT_EQ(MMFile_GetPtrByIndex(mm.files, 4), nullptr);

  const QMMFileInfo* third = MMFile_GetPtrByIndex(mm.files, 2);
  MMFile_Delete(mm.files, 1);
  EXPECT_EQ(MMFile_GetPtrByIndex(mm.files, 1), third) << "later records move down";
  MMFile_Delete(mm.files, 9);
  EXPECT_EQ(mm.files.size(), 3u);
}

TEST_F(MMEditTest, RemovingUnusedFilesRenumbersBlocks) {
  for (const char* n : {"a.tga", "b.tga", "c.tga"}) MMFile_Add(mm.files, Picture(n), false);
  ASSERT_EQ(mm.files.size(), 3u);
  AddFile(mm.video, 0, 2, 0, 0, 1, 25);
  AddFile(mm.video, 1, 0, 0, 0, 1, 25);
  AddFile(mm.video, 2, 2, 0, 0, 1, 25);
  AddSilence(mm.audio, 0, 1);
  AddFile(mm.audio, 1, 2, 0, 0, 1, 25);

  MMRemoveUnusedFiles(mm);
  ASSERT_EQ(mm.files.size(), 2u);
  EXPECT_EQ(mm.files[0]->name + mm.files[1]->name, "a.tgac.tga");
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{1, 0, 1}));
  EXPECT_EQ(Files(mm.audio), (std::vector<int32_t>{MM_SILENCE, 1}));
  EXPECT_EQ(MemCount(), 5) << "only the five blocks stay allocated";

  MMBlock_Delete(mm.video, 0, 3);
  MMBlock_Delete(mm.audio, 0, 2);
  MMRemoveUnusedFiles(mm);
  EXPECT_TRUE(mm.files.empty());
  MMRemoveUnusedFiles(mm);  // an empty table: nothing to do
  EXPECT_TRUE(ErrNone());
}

TEST_F(MMEditTest, CopyingBlocksBetweenEditLists) {
  const std::string a = Picture("a.tga"), b = Picture("b.tga");
  MMList clip;
  MMInit(clip);
  MMFile_Add(clip.files, a, false);
  MMFile_Add(clip.files, b, false);
  AddFile(clip.video, 0, 1, 0, 9, 10, 25);
  AddSilence(clip.video, 1, 0.5);
  MMBlockRec* last = AddFile(clip.video, 2, 0, 5, 9, 10, 25);
  for (MMBlockRec* blk : clip.video.items) {
    blk->linked = RF_TRUE;
    blk->link = 0;
  }
  last->startTime = 123;  // a stale time shows that times are copied, not recomputed

  MMFile_Add(mm.files, b, false);
  AddFile(mm.video, 0, 0, 0, 0, 1, 25);
  AddFile(mm.video, 1, 0, 0, 0, 1, 25);

  EXPECT_EQ(MMBlock_Copy(mm.video, mm.files, 1, 99, 1, clip.files, clip.video), 2) << "the count is clamped";
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{0, MM_SILENCE, 1, 0}));
  ASSERT_EQ(mm.files.size(), 2u);
  EXPECT_EQ(mm.files[1]->info.name, a) << "a new file is appended, a known one reused";
  EXPECT_EQ(Links(mm.video), (std::vector<int32_t>{-1, -1, -1, -1}));
  EXPECT_EQ(mm.video.items[2]->startTime, 123.0);
  EXPECT_EQ(mm.video.items[1]->endTime, 0.5);
  EXPECT_EQ(mm.video.totalQuants, 1 + 4000 + 5 + 1);

  EXPECT_EQ(MMBlock_Copy(mm.video, mm.files, -7, 1, -3, clip.files, clip.video), 1);
  EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{0, 0, MM_SILENCE, 1, 0})) << "block 0 of the clip, file b";
  EXPECT_EQ(MMBlock_Copy(mm.video, mm.files, 0, 5, 0, clip.files, clip.audio), 0) << "empty source";
  EXPECT_EQ(MMBlock_Copy(mm.video, mm.files, 0, 0, 0, clip.files, clip.video), 0);
  EXPECT_EQ(mm.video.items.size(), 5u);

  // Within one list: the copies are taken before any is inserted.
  EXPECT_EQ(MMBlock_Copy(clip.video, clip.files, 1, 2, 0, clip.files, clip.video), 2);
  EXPECT_EQ(Files(clip.video), (std::vector<int32_t>{1, 1, MM_SILENCE, MM_SILENCE, 0}));
  EXPECT_EQ(clip.files.size(), 2u);

  // A clip's sequence is not the plain still of the same name.
  const QMMFileInfo plain = *clip.files[0];
  clip.files[0]->info.kind = UNI_SEQUENCE;
  EXPECT_EQ(MMFile_AddFromList(mm.files, clip.files, 0), 2);
  EXPECT_EQ(MMFile_AddFromList(mm.files, clip.files, 0), 2);
  *clip.files[0] = plain;
  EXPECT_EQ(MMFile_AddFromList(mm.files, clip.files, 0), 1);
  EXPECT_EQ(MMFile_AddFromList(mm.files, clip.files, 2), NOT_SET);
  MMDone(clip);
}

TEST_F(MMEditTest, RunsOutOfMemoryChangeNothing) {
  for (const char* n : {"a.tga", "b.tga"}) MMFile_Add(mm.files, Picture(n), false);
  AddFile(mm.video, 0, 1, 0, 0, 1, 25);
  for (int i = 0; i < 3; ++i) AddSilence(mm.audio, i, 1);
  const std::pair<int32_t, std::function<void()>> runs[] = {
      {2, [&] { MMRemoveUnusedFiles(mm); }},
      {3, [&] { MMBlock_Copy(mm.video, mm.files, 0, 3, 0, mm.files, mm.audio); }}};
  for (const auto& [n, run] : runs) {
    FaultAfter(Fault::Alloc, n);
    GuardedSilent("Test.MMEdit", run);
    EXPECT_EQ(ErrCategory(), 5);
    ErrClear();
    EXPECT_EQ(mm.files.size(), 2u);
    EXPECT_EQ(Files(mm.video), (std::vector<int32_t>{1}));
    EXPECT_EQ(MemCount(), 4);
  }
}

TEST_F(MMEditTest, FileByNameNeedsABlockOfThisList) {
  const std::string a = Picture("a.tga"), b = Picture("b.tga");
  EXPECT_EQ(MMBlock_GetFileByName(mm.video, mm.files, a), NOT_SET) << "empty table";
  MMFile_Add(mm.files, a, false);
  MMFile_Add(mm.files, b, false);
  EXPECT_EQ(MMBlock_GetFileByName(mm.video, mm.files, a), NOT_SET) << "empty list";
  AddSilence(mm.video, 0, 1);
  AddFile(mm.video, 1, 1, 0, 0, 1, 25);
  EXPECT_EQ(MMBlock_GetFileByName(mm.video, mm.files, b), 1);
  EXPECT_EQ(MMBlock_GetFileByName(mm.video, mm.files, a), NOT_SET) << "in the table, used by no block";
  EXPECT_EQ(MMBlock_GetFileByName(mm.video, mm.files, dir + "/c.tga"), NOT_SET);
  EXPECT_EQ(MMBlock_GetFileByName(mm.audio, mm.files, b), NOT_SET);
}

}  // namespace
}  // namespace rf
