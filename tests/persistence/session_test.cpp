// Session files: round trips of every field and every subset of sections, merges with their link
// remapping, damaged and hostile files, and saves that fail at every write.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>

#include "formats/ffdesc.h"
#include "foundation/faults.h"
#include "persist_support.h"
#include "persistence/prefs.h"
#include "persistence/session.h"

namespace rf {
namespace {

std::string Hex(const void* data, size_t size) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = static_cast<const uint8_t*>(data)[i];
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Every field of the project as text: blocks by their file's name (indices into the file table
// may differ), chain entries with their parameter records, the stored output definition.
std::string Describe(const Project& p) {
  std::string s;
  for (const MMBlockList* list : {&p.list.video, &p.list.audio}) {
    s += "list\n";
    for (const MMBlockRec* b : list->items) {
      MMBlockRec r = *b;
      const QMMFileInfo* f = MMBlockP_IsFile(r) ? MMFile_GetPtrByIndex(p.list.files, r.file) : nullptr;
      if (f) r.file = 0;
      s += (f ? f->info.name : "") + " " + Hex(&r, sizeof r) + "\n";
    }
  }
  for (const QFnEntry* e : p.chain) {
    QFnEntryDisk d = FnEntryToDisk(*e);
    d.fnParams = 0;
    s += "fx " + Hex(&d, sizeof d) + " " + Hex(e->fnParams, sizeof(QFnParams)) + "\n";
  }
  OutputDefStored o;
  OutputDefStore(p.output, o);
  return s + "out " + Hex(&o, sizeof o) + "\n";
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.' || (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")))
        names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

const SessionSections kAll{true, true, true, false};

class SessionTest : public test::PersistTest {
 protected:
  static void SetUpTestSuite() {
    dir = test::ScratchDir("session-inputs");
    movie = test::MakeMovie(dir, "pair.avi", 20, true);
    wav = test::MakeWav(dir, "tone.wav", 1.5);
    picture = test::MakePicture(dir, "still.bmp");
  }
  static inline std::string dir, movie, wav, picture;
  std::string out = test::ScratchDir("session-out");

  // A linked pair trimmed to frames 3..12, a sound file, a picture, 3 seconds of silence, two
  // effects and an output definition with both names.
  static void Fill(Project& p) {
    ASSERT_TRUE(ProjectAddFile(p, movie, false, 3, 12));
    ASSERT_TRUE(ProjectAddFile(p, wav, false));
    ASSERT_TRUE(ProjectAddFile(p, picture, false));
    ProjectAddSilence(p, 3.0);
    const double blur[] = {2};
    ProjectAddEffect(p, FN_BLUR, blur, 1, 2, 8);
    const double rgb[] = {10, -20, 30};
    ProjectAddEffect(p, FN_ADJUST_RGB, rgb, 3, 0, 999999999).flexEnd = -1;
    OutSetVideoFile(p.output, dir + "/result.avi");
    p.output.VideoFormat = FFGetId(OutVideoFile(p.output), FF_SAVE_TABLE);
    p.output.FPS = 12.5;
    p.output.Width = 48;
    OutputFiles_OnChange(p.output);
  }

  std::string Save(const Project& p, const SessionSections& s, const std::string& name = "s.rfs") {
    const std::string file = out + "/" + name;
    EXPECT_TRUE(SessionSaveToFile(file, p, s));
    return file;
  }
};

TEST_F(SessionTest, RoundTripKeepsEveryFieldAndTheSilence) {
  Project a, b;
  Fill(a);
  const std::string file = Save(a, kAll);
  ASSERT_TRUE(SessionLoadFromFile(file, b, kAll));
  EXPECT_EQ(Describe(b), Describe(a));
  const MMBlockRec& silence = *b.list.audio.items.back();
  EXPECT_FALSE(MMBlockP_IsFile(silence));
  EXPECT_DOUBLE_EQ(silence.duration, 3.0);
  EXPECT_TRUE(boxes.empty());
  // The header: magic, size, version, description and a date of the form yyyy-mm-dd.
  const std::string bytes = test::ReadWholeFile(file);
  QSesHeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  EXPECT_EQ(bytes.substr(0, 4), "\xF7\x76\xE5\x42");
  EXPECT_EQ(h.headerSize, 150);
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(std::string(h.description).rfind("Reelforge ", 0), 0u);
  EXPECT_EQ(std::string(h.date, 10).find_first_not_of("0123456789-"), std::string::npos);
}

// Each subset saved and opened without merge into a different project: exactly the saved
// sections are replaced, the others stay as they were.
TEST_F(SessionTest, EachSubsetOfSectionsReplacesOnlyItself) {
  for (int mask = 1; mask < 8; ++mask) {
    SCOPED_TRACE(mask);
    const SessionSections s{(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, false};
    Project a, other, expected;
    Fill(a);
    ASSERT_TRUE(ProjectAddFile(other, wav, false));
    ProjectAddEffect(other, FN_NEGATIVE, nullptr, 0, 0, 5);
    const std::string file = Save(a, s);
    SessionSections present;
    ASSERT_TRUE(SessionScan(file, present));
    EXPECT_EQ(present.output, s.output);
    EXPECT_EQ(present.files, s.files);
    EXPECT_EQ(present.effects, s.effects);
    ASSERT_TRUE(SessionOpen(other, file, false, {}));
    // The expected project: the saved sections of a, the rest of other.
    ASSERT_TRUE(ProjectAddFile(expected, s.files ? movie : wav, false, s.files ? 3 : NOT_SET, s.files ? 12 : NOT_SET));
    if (s.files) {
      ASSERT_TRUE(ProjectAddFile(expected, wav, false));
      ASSERT_TRUE(ProjectAddFile(expected, picture, false));
      ProjectAddSilence(expected, 3.0);
    }
    for (const QFnEntry* e : (s.effects ? a : other).chain)
      ProjectInsertEffect(expected, expected.chain.size(), *e, e->fnParams);
    expected.output = (s.output ? a : other).output;
    EXPECT_EQ(Describe(other), Describe(expected));
  }
}

TEST_F(SessionTest, MergeAppendsAndRemapsLinksTwice) {
  Project pairs, p;
  ASSERT_TRUE(ProjectAddFile(pairs, movie, false));
  ASSERT_TRUE(ProjectAddFile(pairs, movie, false, 2, 5));
  const std::string file = Save(pairs, kAll);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(ProjectAddFile(p, movie, false));
  ASSERT_TRUE(ProjectAddFile(p, picture, false));
  const SessionUi ui{[](const std::string& q, bool loading, SessionSections& s) {
                       EXPECT_EQ(q, "Which sections to load?");
                       EXPECT_TRUE(loading && s.files && s.effects && s.output && !s.startNew);
                       return true;
                     },
                     {}};
  // Video blocks 5, 6 link to audio 4, 5; audio 4, 5 link to video 5, 6; then two places on.
  for (int32_t round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(SessionOpen(p, file, true, ui));
    ASSERT_EQ(p.list.video.items.size(), size_t(7 + 2 * round));
    ASSERT_EQ(p.list.audio.items.size(), size_t(6 + 2 * round));
    for (int32_t k = 0; k < 2; ++k) {
      const MMBlockRec& v = *p.list.video.items[size_t(5 + 2 * round + k)];
      const MMBlockRec& a = *p.list.audio.items[size_t(4 + 2 * round + k)];
      EXPECT_TRUE(v.linked && a.linked);
      EXPECT_EQ(v.link, 4 + 2 * round + k);
      EXPECT_EQ(a.link, 5 + 2 * round + k);
    }
  }
  EXPECT_EQ(p.list.video.items[6]->first, 2);
  EXPECT_EQ(p.list.video.items[6]->last, 5);
}

TEST_F(SessionTest, MissingFileIsWarnedAndTheRestLoads) {
  Project a, b;
  const std::string gone = test::MakeWav(out, "gone.wav", 0.5);
  ASSERT_TRUE(ProjectAddFile(a, movie, false));
  ASSERT_TRUE(ProjectAddFile(a, gone, false));
  const std::string file = Save(a, kAll);
  std::remove(gone.c_str());
  ASSERT_TRUE(SessionLoadFromFile(file, b, kAll));
  EXPECT_EQ(b.list.video.items.size(), 1u);
  EXPECT_EQ(b.list.audio.items.size(), 1u);
  EXPECT_EQ(boxes,
            std::vector<std::string>{
                "W: Some files from the saved session could not be loaded anymore (0 video and 1 audio blocks)."});
}

// A refused open (wrong magic, or a newer version declined) leaves the project as it was.
TEST_F(SessionTest, RefusedOpenChangesNothing) {
  Project saved, p;
  Fill(saved);
  const std::string good = test::ReadWholeFile(Save(saved, kAll));
  Fill(p);
  ProjectAddEffect(p, FN_NEGATIVE, nullptr, 0, 0, 1);
  const std::string before = Describe(p);
  std::string newer = good;
  newer[8] = 2;
  for (const std::string& bytes : {"\x01" + good.substr(1), newer}) {
    test::WriteWholeFile(out + "/refused.rfs", bytes);
    answer = Answer::No;
    EXPECT_FALSE(SessionOpen(p, out + "/refused.rfs", false, {}));
    EXPECT_EQ(Describe(p), before);
  }
  EXPECT_EQ(boxes, std::vector<std::string>{"E: That is not a valid Reelforge session file."});
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].rfind("This session is saved by a newer version of the program", 0), 0u);
}

// Files changed at the byte level: what the load answers, what it leaves in the project.
TEST_F(SessionTest, DamagedAndHostileFilesAreRefusedOrPartlyLoaded) {
  Project a;
  ASSERT_TRUE(ProjectAddFile(a, movie, false));
  ASSERT_TRUE(ProjectAddFile(a, picture, false));
  const double v[] = {3};
  ProjectAddEffect(a, FN_BLUR, v, 1, 0, 9);
  const std::string good = test::ReadWholeFile(Save(a, SessionSections{false, true, true, false}));
  // Layout: header 150, chunk 2 at 150 (count at 158), its first name item at 166.
  const size_t videoChunk = 150;
  const std::string chunk7 = std::string("\x07\0\0\0\x10\0\0\0\x01\0\0\0\x08\0\0\0\x04\0\0\0junk", 24);
  const auto put32 = [](std::string bytes, size_t at, uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
  };
  // An audio chunk with one block of file index 57 and an empty name.
  MMBlockRec nameless{};
  nameless.file = 57;
  nameless.last = 9;
  nameless.frequency = 8000;
  nameless.link = NOT_SET;
  const uint32_t head[] = {3, 16, 1, 72, 0, 64};
  const std::string orphan = std::string(reinterpret_cast<const char*>(head), sizeof head) +
                             std::string(reinterpret_cast<const char*>(&nameless), sizeof nameless);
  const size_t firstBlock = videoChunk + 16 + 4 + movie.size() + 4;
  struct Case {
    const char* what;
    std::string bytes;
    Answer answer;
    bool loads;
    size_t video, audio, effects;
    std::vector<std::string> boxes;
  };
  const std::vector<Case> cases = {
      {"bad magic",
       "\x01" + good.substr(1),
       Answer::Yes,
       false,
       0,
       0,
       0,
       {"E: That is not a valid Reelforge session file."}},
      {"newer version, No", put32(good, 8, 2), Answer::No, false, 0, 0, 0, {}},
      {"newer version, Yes", put32(good, 8, 2), Answer::Yes, true, 2, 1, 1, {}},
      {"chunk 7 skipped", good.substr(0, 150) + chunk7 + good.substr(150), Answer::Yes, true, 2, 1, 1, {}},
      {"count past the file", put32(good, videoChunk + 8, 1000000), Answer::Yes, false, 2, 0, 0, {}},
      {"name item without end", put32(good, videoChunk + 16, 0x7fffffff), Answer::Yes, false, 0, 0, 0, {}},
      {"link past the other list", put32(good, firstBlock + 28, 77), Answer::Yes, true, 2, 1, 1, {}},
      {"audio block of a file index without name",
       good + orphan,
       Answer::Yes,
       true,
       2,
       1,
       1,
       {"W: Some files from the saved session could not be loaded anymore (0 video and 1 audio blocks)."}},
      {"cut inside a chunk", good.substr(0, good.size() - 100), Answer::Yes, false, 2, 1, 0, {}},
      {"header only", good.substr(0, 150), Answer::Yes, true, 0, 0, 0, {}},
      {"shorter than a header", good.substr(0, 100), Answer::Yes, false, 0, 0, 0, {"E: Error opening session"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = out + "/hostile.rfs";
    test::WriteWholeFile(file, c.bytes);
    boxes.clear();
    answer = c.answer;
    Project p;
    EXPECT_EQ(SessionLoadFromFile(file, p, kAll), c.loads);
    EXPECT_EQ(p.list.video.items.size(), c.video);
    EXPECT_EQ(p.list.audio.items.size(), c.audio);
    EXPECT_EQ(p.chain.size(), c.effects);
    EXPECT_EQ(boxes, c.boxes);
    for (const MMBlockRec* b : p.list.video.items)
      EXPECT_TRUE(b->link == NOT_SET || (b->link >= 0 && b->link < int32_t(p.list.audio.items.size())));
  }
}

// A save that fails at any of its writes leaves the earlier file byte for byte and no
// temporary beside it; only a save that completes replaces it.
TEST_F(SessionTest, FailedWritesLeaveTheEarlierFile) {
  Project before, after;
  ProjectAddEffect(before, FN_NEGATIVE, nullptr, 0, 0, 3);
  const std::string file = Save(before, kAll);
  const std::string old = test::ReadWholeFile(file);
  Fill(after);
  bool finished = false;
  for (int32_t n = 1; n < 200 && !finished; ++n) {
    FaultAfter(Fault::Write, n);
    const bool ok = SessionSaveToFile(file, after, kAll);
    finished = FaultLeft(Fault::Write) > 0;
    FaultReset();
    ErrClear();
    EXPECT_EQ(ok, finished) << n;
    EXPECT_EQ(Listing(out), std::vector<std::string>{"s.rfs"}) << n;
    if (!finished) {
      EXPECT_EQ(test::ReadWholeFile(file), old) << n;
    }
  }
  ASSERT_TRUE(finished);
  Project back;
  ASSERT_TRUE(SessionLoadFromFile(file, back, kAll));
  EXPECT_EQ(Describe(back), Describe(after));
}

TEST_F(SessionTest, SaveAsksForSectionsAndNewFromDefaultFallsBack) {
  Project a;
  Fill(a);
  SessionSections offered;
  std::string status;
  const SessionUi ui{[&](const std::string& q, bool loading, SessionSections& s) {
                       EXPECT_EQ(q, "Which sections to save?");
                       EXPECT_FALSE(loading);
                       offered = s;
                       s.output = s.files = false;
                       return true;
                     },
                     [&](const std::string& text) { status = text; }};
  const std::string file = out + "/chosen.rfs";
  ASSERT_TRUE(SessionSave(a, file, ui));
  EXPECT_TRUE(offered.output && offered.files && offered.effects);
  EXPECT_EQ(status, "Session saved");
  SessionSections present;
  ASSERT_TRUE(SessionScan(file, present));
  EXPECT_TRUE(!present.output && !present.files && present.effects);

  Preferences prefs;
  prefs.defaultSession = file;
  Project p;
  SessionNewFromDefault(p, prefs);
  EXPECT_EQ(p.chain.size(), 2u);
  prefs.defaultSession = out + "/no-such.rfs";
  answer = Answer::Yes;
  SessionNewFromDefault(p, prefs);
  EXPECT_TRUE(p.chain.empty());
  EXPECT_TRUE(prefs.defaultSession.empty());
  EXPECT_EQ(questions.back(), "The default session cannot be loaded. Do you want to stop using that session?");
}

}  // namespace
}  // namespace rf
