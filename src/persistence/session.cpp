// The session commands: what goes into which chunk, and how a file's chunks come back into the
// project (links remapped past the blocks already there).
#include "persistence/session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "effects/fnrun.h"
#include "engine/editcmd.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "persistence/crvimport.h"
#include "persistence/prefs.h"

namespace rf {
namespace {

constexpr const char* kNotSession = "That is not a valid Reelforge session file.";
constexpr const char* kOpenError = "Error opening session";
constexpr const char* kNewerVersion =
    "This session is saved by a newer version of the program than the one you are currently using. Opening this "
    "session could freeze your computer or corrupt data in the memory and/or on your hard disk. Are you sure you want "
    "to open this session?";

// One item read from the file; its tracked block is freed with it.
struct Item {
  uint8_t* data = nullptr;
  int32_t length = 0;
  explicit Item(QAppSession& s) { SesLoadChunkData(s, data, length); }
  ~Item() { MemFree(data); }
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  std::string Text() const { return std::string(reinterpret_cast<const char*>(data), size_t(length)); }
};

// ---- saving

void WriteBlocks(QAppSession& s, int32_t id, const MMList& list, const MMBlockList& blocks) {
  SesChunkBegin(s, id);
  // The video chunk counts its block items, the audio chunk its name items.
  const bool countNames = id == SES_CHUNK_AUDIO;
  for (const MMBlockRec* b : blocks.items) {
    const QMMFileInfo* file = MMBlockP_IsFile(*b) ? MMFile_GetPtrByIndex(list.files, b->file) : nullptr;
    // Full names, so that the session opens the same files from any working folder.
    std::error_code ec;
    const std::string name = file ? std::filesystem::absolute(file->info.name, ec).lexically_normal().string() : "";
    SesWriteItem(s, name.data(), int32_t(name.size()), countNames);
    SesWriteItem(s, b, int32_t(sizeof(MMBlockRec)), !countNames);
  }
  SesChunkEnd(s);
}

void WriteSession(QAppSession& s, const Project& project, const SessionSections& sections) {
  if (sections.output) {
    OutputDefStored stored;
    OutputDefStore(project.output, stored);
    SesChunkBegin(s, SES_CHUNK_OUTPUT);
    SesWriteItem(s, &stored, int32_t(sizeof stored), true);
    SesChunkEnd(s);
  }
  if (sections.files) {
    WriteBlocks(s, SES_CHUNK_VIDEO, project.list, project.list.video);
    WriteBlocks(s, SES_CHUNK_AUDIO, project.list, project.list.audio);
  }
  if (sections.effects) {
    SesChunkBegin(s, SES_CHUNK_EFFECTS);
    for (const QFnEntry* e : project.chain) {
      const QFnEntryDisk disk = FnEntryToDisk(*e);
      const QFnParams params = e->fnParams ? *e->fnParams : QFnParams{};
      SesWriteItem(s, &disk, int32_t(sizeof disk), false);
      SesWriteItem(s, &params, int32_t(sizeof params), true);
    }
    SesChunkEnd(s);
  }
}

// ---- loading

// A damaged file: the load stops here.
[[noreturn]] void Damaged() {
  ErrSet(6, 3);
  throw EMon("damaged session");
}

// What a file holds, read under the guarded block. The project takes it afterwards, so that the
// clean-up of a damaged file cannot take back blocks and effects the project was given.
struct SavedBlock {
  bool video;
  std::string name;
  MMBlockRec rec;
};
struct SavedSession {
  std::vector<SavedBlock> blocks;
  std::vector<std::pair<QFnEntry, QFnParams>> effects;
  bool hasOutput = false;
  OutputDefStored output{};
};

void ReadBlocks(QAppSession& s, SavedSession& saved, const QSesChunk& chunk, bool video) {
  for (int32_t i = 0; i < chunk.count; ++i) {
    // An item count larger than the chunk is a damaged file.
    if (FPos(s.handle) >= s.nextChunk) Damaged();
    TraceLabel scope(video ? "MainUnit.Session_LoadVideo" : "MainUnit.Session_LoadAudio");
    const Item name(s);
    const Item block(s);
    if (block.length != int32_t(sizeof(MMBlockRec))) {
      TraceWrite(video ? "Session_LoadVideo: invalid block data" : "Session_LoadAudio: invalid block data");
      continue;
    }
    SavedBlock& b = saved.blocks.emplace_back(SavedBlock{video, name.Text(), {}});
    std::memcpy(&b.rec, block.data, sizeof b.rec);
  }
}

// An entry read back from the file: a known effect, its name and values within their limits.
QFnEntry CheckedEntry(const QFnEntryDisk& disk, QFnParams& params) {
  if (FnName(disk.id).empty()) Damaged();
  QFnEntry e = FnEntryFromDisk(disk);
  e.name[0] = std::min<uint8_t>(e.name[0], sizeof e.name - 1);
  for (int32_t i = 0; i < FnParamCount(e.id); ++i) {
    const FnParamSpec range = FnParamRange(e.id, i);
    double& v = params.values[i];
    v = std::isfinite(v) ? std::clamp(v, range.minimum, range.maximum) : range.defaultValue;
  }
  return e;
}

void ReadEffects(QAppSession& s, SavedSession& saved, const QSesChunk& chunk) {
  for (int32_t i = 0; i < chunk.count; ++i) {
    if (FPos(s.handle) >= s.nextChunk) Damaged();
    const Item entry(s);
    if (entry.length != int32_t(sizeof(QFnEntryDisk))) Damaged();
    const Item params(s);
    if (params.length != int32_t(sizeof(QFnParams))) Damaged();
    QFnEntryDisk disk;
    QFnParams p;
    std::memcpy(&disk, entry.data, sizeof disk);
    std::memcpy(&p, params.data, sizeof p);
    const QFnEntry e = CheckedEntry(disk, p);
    saved.effects.emplace_back(e, p);
  }
}

void ReadOutput(QAppSession& s, SavedSession& saved) {
  const Item item(s);
  if (item.length == 0) return;
  if (item.length != int32_t(sizeof(OutputDefStored))) Damaged();
  std::memcpy(&saved.output, item.data, sizeof saved.output);
  saved.hasOutput = true;
}

void ReadChunks(QAppSession& s, SavedSession& saved, const SessionSections& sections) {
  while (FPos(s.handle) < s.fileSize) {
    QSesChunk chunk;
    SesNextChunk(s, chunk);
    if (sections.files && (chunk.id == SES_CHUNK_VIDEO || chunk.id == SES_CHUNK_AUDIO))
      ReadBlocks(s, saved, chunk, chunk.id == SES_CHUNK_VIDEO);
    else if (sections.effects && chunk.id == SES_CHUNK_EFFECTS)
      ReadEffects(s, saved, chunk);
    else if (sections.output && chunk.id == SES_CHUNK_OUTPUT)
      ReadOutput(s, saved);
    if (!SesSkipToNextChunk(s)) break;
  }
}

// Blocks of a session are added without a message per file: the missing ones are told in one.
AddRequest QuietRequest(const Project& project, int32_t videoPos, int32_t audioPos) {
  AddRequest r = MakeAddRequest(project, videoPos, audioPos);
  r.showErrors = false;
  return r;
}

struct LoadState {
  Project& project;
  AddRequest request;
  int32_t videoBase, audioBase;
  int32_t missingVideo = 0, missingAudio = 0;
};

// The saved link of a block, moved past the blocks the other list had before the load.
void RestoreLink(MMBlockList& list, int32_t index, const MMBlockRec& saved, int32_t otherBase) {
  MMBlockRec& b = *list.items[size_t(index)];
  b.linked = saved.linked ? RF_TRUE : RF_FALSE;
  if (saved.link != NOT_SET && saved.link >= 0) b.link = saved.link + otherBase;
  MMBlock_Update(list, index);
}

int32_t CountOf(const MMBlockRec& b) {
  return int32_t(std::clamp<int64_t>(int64_t(b.last) - b.first + 1, 1, INT32_MAX));
}

void AddBlock(LoadState& st, const SavedBlock& b) {
  MMList& list = st.project.list;
  const MMBlockRec& saved = b.rec;
  AddRequest& r = st.request;
  r.fileName = b.name;
  bool added = false;
  if (!b.video && saved.file == MM_SILENCE) {
    MMBlockRec silence;
    MMBlockP_SetSilence(silence, std::isfinite(saved.duration) ? saved.duration : 0.0);
    MMBlock_Insert(list.audio, r.audioPos++, ProjectNewBlock(st.project, silence));
    added = true;
  } else if (!r.fileName.empty()) {
    r.detectSequences = b.video && saved.fileQuants > 1;
    r.videoFirst = b.video ? saved.first : NOT_SET;
    r.videoCount = b.video ? CountOf(saved) : 0;
    r.videoRate = saved.frequency;
    r.audioFirst = b.video ? NOT_SET : saved.first;
    r.audioCount = b.video ? 0 : CountOf(saved);
    added = FileAdd(st.project, r, false, EditEnv{});
    ErrClear();
  }
  if (!added)
    ++(b.video ? st.missingVideo : st.missingAudio);
  else if (b.video)
    RestoreLink(list.video, r.videoPos - 1, saved, st.audioBase);
  else
    RestoreLink(list.audio, r.audioPos - 1, saved, st.videoBase);
}

// Links that point past the other list (a damaged file, or partners that could not be loaded)
// are dropped.
void DropBrokenLinks(MMBlockList& list, const MMBlockList& other) {
  for (MMBlockRec* b : list.items)
    if (b->link != NOT_SET && (b->link < 0 || b->link >= int32_t(other.items.size()))) detail::MMBlock_ResetLink(*b);
}

}  // namespace

bool SessionCheckHeader(const std::string& fileName, QSesHeader& header) {
  bool read = false;
  GuardedSilent("MainUnit.SessionCheckHeader", [&] { read = SesReadHeader(fileName, header); });
  ErrClear();
  if (!read) {
    ShowErrorBox(kOpenError);
    return false;
  }
  if (header.magic != SES_MAGIC) {
    ShowErrorBox(kNotSession);
    return false;
  }
  return header.version == SES_VERSION || AskQuestion(Buttons::YesNo, kNewerVersion) == Answer::Yes;
}

bool SessionSaveToFile(const std::string& fileName, const Project& project, const SessionSections& sections) {
  bool ok = false;
  GuardedSilent("MainUnit.SessionSaveToFile", [&] {
    QSesHeader header;
    SesMakeHeader(header, SES_MAGIC, SES_VERSION, std::string("Reelforge ") + RF_VERSION);
    QAppSession s;
    if (!SesCreate(s, fileName, header)) return;
    WriteSession(s, project, sections);
    SesClose(s);
    ok = ErrNone();
  });
  ErrClear();
  return ok;
}

bool SessionLoadFromFile(const std::string& fileName, Project& project, const SessionSections& sections) {
  QSesHeader header;
  if (!SessionCheckHeader(fileName, header)) return false;
  SavedSession saved;
  bool ok = false;
  GuardedSilent("MainUnit.SessionLoadFromFile", [&] {
    QAppSession s;
    if (!SesOpen(s, fileName, header)) return;
    ReadChunks(s, saved, sections);
    SesClose(s);
    ok = true;
  });
  ErrClear();
  MMList& list = project.list;
  const size_t chainBefore = project.chain.size();
  LoadState st{project, QuietRequest(project, int32_t(list.video.items.size()), int32_t(list.audio.items.size())),
               int32_t(list.video.items.size()), int32_t(list.audio.items.size())};
  for (const SavedBlock& b : saved.blocks) AddBlock(st, b);
  for (const auto& [entry, params] : saved.effects) ProjectInsertEffect(project, project.chain.size(), entry, &params);
  if (saved.hasOutput) {
    OutputDefLoad(saved.output, project.output);
    OutputFiles_OnChange(project.output);
  }
  DropBrokenLinks(list.video, list.audio);
  DropBrokenLinks(list.audio, list.video);
  // The entries the project had follow the inserted frames; loaded ones keep their saved ranges.
  for (size_t i = 0; i < chainBefore && st.request.videoFramesAdded > 0; ++i)
    FnRangeInserted(*project.chain[i], st.request.videoStartFrame, st.request.videoFramesAdded);
  if (st.missingVideo > 0 || st.missingAudio > 0)
    ShowWarningBox("Some files from the saved session could not be loaded anymore (" + std::to_string(st.missingVideo) +
                   " video and " + std::to_string(st.missingAudio) + " audio blocks).");
  return ok;
}

bool SessionScan(const std::string& fileName, SessionSections& present) {
  present = SessionSections{};
  QSesHeader header;
  if (!SessionCheckHeader(fileName, header)) return false;
  bool ok = false;
  GuardedSilent("MainUnit.SessionScan", [&] {
    QAppSession s;
    if (!SesOpen(s, fileName, header)) return;
    QSesChunk chunk;
    while (FPos(s.handle) < s.fileSize) {
      SesNextChunk(s, chunk);
      present.files |= chunk.id == SES_CHUNK_VIDEO || chunk.id == SES_CHUNK_AUDIO;
      present.effects |= chunk.id == SES_CHUNK_EFFECTS;
      present.output |= chunk.id == SES_CHUNK_OUTPUT;
      if (!SesSkipToNextChunk(s)) break;
    }
    SesClose(s);
    ok = true;
  });
  if (!ok) ShowErrorBox(kOpenError);
  ErrClear();
  return ok;
}

bool SessionSave(const Project& project, const std::string& fileName, const SessionUi& ui) {
  SessionSections s;
  s.files = !project.list.video.items.empty() || !project.list.audio.items.empty();
  s.effects = !project.chain.empty();
  s.output = !OutVideoFile(project.output).empty() || !OutAudioFile(project.output).empty();
  if (ui.chooseSections && !ui.chooseSections("Which sections to save?", false, s)) return false;
  if (!s.output && !s.files && !s.effects) return false;
  if (!SessionSaveToFile(fileName, project, s)) {
    ShowErrorBox("Error saving session file.");
    return false;
  }
  if (ui.status) ui.status("Session saved");
  return true;
}

bool SessionOpen(Project& project, const std::string& fileName, bool merge, const SessionUi& ui) {
  std::string ext = fileName.size() >= 4 ? fileName.substr(fileName.size() - 4) : std::string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (ext == ".scr") {
    while (!project.chain.empty()) ProjectDeleteEffect(project, project.chain.size() - 1);
    if (CRV_LoadScript(project, fileName)) return true;
    ShowErrorBox("This is not a valid CRV 1.4x script file.");
    return false;
  }
  SessionSections present;
  if (!SessionScan(fileName, present)) return false;
  SessionSections chosen = present;
  chosen.startNew = !merge;
  if (merge && ui.chooseSections && !ui.chooseSections("Which sections to load?", true, chosen)) return false;
  if (!chosen.output && !chosen.files && !chosen.effects) return false;
  if (!merge) {
    if (present.files) {
      MMDone(project.list);
      MMInit(project.list);
      project.blockVariables.clear();
    }
    if (present.effects)
      while (!project.chain.empty()) ProjectDeleteEffect(project, project.chain.size() - 1);
  } else if (chosen.startNew) {
    SessionNew(project);
  }
  if (!SessionLoadFromFile(fileName, project, chosen)) {
    ShowErrorBox(kOpenError);
    return false;
  }
  if (ui.status) ui.status("Session opened");
  return true;
}

void SessionNew(Project& project) {
  TraceWrite("New session");
  ProjectClear(project);
  SetOutputDefaults(project.output, true, true);
}

void SessionNewFromDefault(Project& project, Preferences& prefs) {
  SessionNew(project);
  if (prefs.defaultSession.empty()) return;
  if (SessionLoadFromFile(prefs.defaultSession, project, SessionSections{true, true, true, false})) return;
  SessionNew(project);
  if (AskQuestion(Buttons::YesNo, "The default session cannot be loaded. Do you want to stop using that session?") ==
      Answer::Yes)
    prefs.defaultSession.clear();
}

}  // namespace rf
