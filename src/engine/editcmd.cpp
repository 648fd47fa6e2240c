// The edit list commands of the main window, without any window: adding files and silence,
// deleting, copying, cutting and pasting blocks, and keeping the effect ranges in step.
#include "engine/editcmd.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"

namespace rf {
namespace {

MMBlockList& Blocks(MMList& list, int32_t kind) { return kind == EDIT_VIDEO ? list.video : list.audio; }
const MMBlockList& Blocks(const MMList& list, int32_t kind) { return kind == EDIT_VIDEO ? list.video : list.audio; }
MMBlockList& Other(MMList& list, int32_t kind) { return kind == EDIT_VIDEO ? list.audio : list.video; }

int32_t Count(const MMBlockList& list) { return int32_t(list.items.size()); }
int32_t StartQuant(const MMBlockList& list, int32_t index) {
  return int32_t(std::trunc(MMBlock_GetFirstItem(list, index, MM_BY_QUANT)));
}
int32_t Position(const MMBlockList& list, int32_t pos) {
  return pos == NOT_SET ? Count(list) : std::clamp(pos, 0, Count(list));
}

void Status(const EditEnv& env, const std::string& text) {
  if (env.status) env.status(text);
}

std::string Format1(const char* pattern, const std::string& value) {
  std::string text = pattern;
  text.replace(text.find("%s"), 2, value);
  return text;
}

// Tells the user why a file gave no block: a stream nobody decodes (with the offer of the file's
// information) or a file that cannot be opened at all.
void ReportUnusable(const std::string& name, const QUniInfo* known, const EditEnv& env) {
  QUniInfo info;
  if (known)
    info = *known;
  else
    GuardedSilent("MainUnit.ReportUnusable", [&] { UniInfo(name, info, false); });
  ErrClear();
  const bool unsupported =
      (info.video.hasVideo && !info.video.videoReadable) || (info.audio.hasAudio && !info.audio.audioReadable);
  if (!unsupported) {
    ShowErrorBox(Format1("File \"%s\" cannot be opened.", name));
    return;
  }
  const std::string question = Format1(
      "File \"%s\" contains video or audio stream that is not supported. Do you want to see the file information?",
      name);
  if (AskQuestion(Buttons::YesNo, question) == Answer::Yes && env.showFileInfo) env.showFileInfo(name);
}

int32_t TakeFirst(int32_t requested, int32_t length) {
  return std::clamp(requested == NOT_SET ? 0 : requested, 0, std::max(length - 1, 0));
}
int32_t TakeLast(int32_t first, int32_t count, int32_t length) {
  const int64_t wanted = int64_t(first) + (count == NOT_SET ? length : count) - 1;
  return int32_t(std::clamp<int64_t>(wanted, first, std::max(length - 1, first)));
}

void InsertVideo(Project& project, AddRequest& r, int32_t file, const QUniInfo& info, bool withAudio,
                 bool updateLinks) {
  MMList& list = project.list;
  const int32_t first = TakeFirst(r.videoFirst, info.video.frames);
  const int32_t last = TakeLast(first, r.videoCount, info.video.frames);
  double rate = r.videoRate == NOT_SET_F ? info.video.frameRate : r.videoRate;
  // A rate read from a list or session file may be anything, not a number included.
  if (!std::isfinite(rate) || rate <= 0.001) rate = OutDefaultFPS();
  MMBlockRec block{};
  MMBlockP_SetFile(block, file, first, last, info.video.frames, rate);
  if (withAudio) {
    if (updateLinks) MMBlock_UpdateLinksAfterInsert(list.video, r.audioPos, 1);
    block.link = r.audioPos;
    block.linked = RF_TRUE;
  }
  MMBlock_Insert(list.video, r.videoPos, ProjectNewBlock(project, block));
  if (updateLinks) MMBlock_UpdateLinksAfterInsert(list.audio, r.videoPos, 1);
  ++r.videoPos;
  ++r.videoAdded;
  r.videoFramesAdded += last - first + 1;
}

void InsertAudioBlock(Project& project, AddRequest& r, const MMBlockRec& block) {
  MMBlock_Insert(project.list.audio, r.audioPos, ProjectNewBlock(project, block));
  ++r.audioPos;
  ++r.audioAdded;
  r.audioSamplesAdded += block.last - block.first + 1;
}

void InsertAudio(Project& project, AddRequest& r, int32_t file, const QUniInfo& info, bool withVideo,
                 bool updateLinks) {
  const int32_t first = TakeFirst(r.audioFirst, info.audio.frames);
  const int32_t last = TakeLast(first, r.audioCount, info.audio.frames);
  MMBlockRec block{};
  MMBlockP_SetFile(block, file, first, last, info.audio.frames, info.audio.samplesPerSec);
  if (withVideo) {
    block.link = r.videoPos - 1;
    block.linked = RF_TRUE;
  } else if (updateLinks) {
    MMBlock_UpdateLinksAfterInsert(project.list.video, r.audioPos, 1);
  }
  InsertAudioBlock(project, r, block);
}

// CompareText: only a-z fold to upper case, everything else compares by its code.
int CompareText(const std::string& a, const std::string& b) {
  auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = fold(uint8_t(a[i])) - fold(uint8_t(b[i]));
    if (d != 0) return d;
  }
  return int(a.size()) - int(b.size());
}

// True when a sorts at or before b in the direction (ascending when up).
bool InOrder(const std::string& a, const std::string& b, bool up) {
  const int c = CompareText(a, b);
  return up ? c <= 0 : c >= 0;
}

}  // namespace

AddRequest MakeAddRequest(const Project& project, int32_t videoPos, int32_t audioPos) {
  AddRequest r;
  r.videoPos = r.firstVideoPos = Position(project.list.video, videoPos);
  r.audioPos = r.firstAudioPos = Position(project.list.audio, audioPos);
  r.videoStartFrame = StartQuant(project.list.video, r.videoPos);
  r.audioStartSample = StartQuant(project.list.audio, r.audioPos);
  return r;
}

bool FileAdd(Project& project, AddRequest& r, bool updateLinks, const EditEnv& env) {
  MMList& list = project.list;
  int32_t file = NOT_SET;
  GuardedSilent("MainUnit.FileAdd",
                [&] { file = MMFile_Add(list.files, r.fileName, r.detectSequences && env.detectImgSeq); });
  if (file == NOT_SET) {
    ErrClear();
    if (r.showErrors) ReportUnusable(r.fileName, nullptr, env);
    return false;
  }
  const QUniInfo info = MMFile_GetPtrByIndex(list.files, file)->info;
  const bool videoOk = info.video.hasVideo && info.video.videoReadable;
  const bool audioOk = info.audio.hasAudio && info.audio.audioReadable;
  if (r.showErrors && ((info.video.hasVideo && !videoOk) || (info.audio.hasAudio && !audioOk)))
    ReportUnusable(r.fileName, &info, env);
  const bool addVideo = videoOk && info.video.frames > 0 && r.videoCount != 0;
  const bool addAudio = audioOk && info.audio.frames > 0 && r.audioCount != 0;
  if (addVideo) InsertVideo(project, r, file, info, addAudio, updateLinks);
  if (addAudio) InsertAudio(project, r, file, info, addVideo, updateLinks);
  if (!addVideo && !addAudio) {
    MMRemoveUnusedFiles(list);
    return false;
  }
  TraceWrite("Added file");
  return true;
}

void OrderProperly(std::vector<std::string>& names) {
  const size_t n = names.size();
  if (n < 2) return;
  if (n < 4) {
    if (CompareText(names[0], names[n - 1]) > 0) std::swap(names[0], names[n - 1]);
    return;
  }
  const bool up = CompareText(names[1], names[2]) <= 0;
  for (size_t i = 1; i + 2 < n; ++i)
    if (!InOrder(names[i], names[i + 1], up)) return;
  if (InOrder(names[n - 1], names[1], up) && InOrder(names[n - 2], names[0], up)) std::swap(names[0], names[n - 1]);
}

AddRequest FileAddStringList(Project& project, const std::vector<std::string>& names, int32_t videoPos,
                             int32_t audioPos, const EditEnv& env) {
  AddRequest r = MakeAddRequest(project, videoPos, audioPos);
  if (names.empty()) return r;
  r.detectSequences = r.showErrors = names.size() == 1;
  const std::string total = FormatUInt(100, uint32_t(names.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    Status(env, "Adding files, checking file " + FormatUInt(100, uint32_t(i + 1)) + " of " + total +
                    "...  (this may take several minutes)");
    r.fileName = names[i];
    r.videoFirst = r.videoCount = r.audioFirst = r.audioCount = NOT_SET;
    r.videoRate = NOT_SET_F;
    FileAdd(project, r, true, env);
  }
  if (r.videoFramesAdded > 0) FnRangesInserted(project.chain, r.videoStartFrame, r.videoFramesAdded);
  return r;
}

void AudioSilenceAdd(Project& project, AddRequest& r) {
  const double seconds = std::clamp(r.silenceDuration, SILENCE_MIN, SILENCE_MAX);
  MMBlockRec block{};
  MMBlockP_SetSilence(block, seconds);
  MMBlock_UpdateLinksAfterInsert(project.list.video, r.audioPos, 1);
  InsertAudioBlock(project, r, block);
  TraceWrite("Added silence " + std::to_string(seconds) + " s");
}

void SilenceSetDuration(Project& project, int32_t index, double seconds) {
  MMBlockRec* block = MMBlock_GetPtrByIndex(project.list.audio, index);
  if (!block || MMBlockP_IsFile(*block)) return;
  const int32_t linked = block->linked, link = block->link;
  MMBlockP_SetSilence(*block, std::clamp(seconds, SILENCE_MIN, SILENCE_MAX));
  block->linked = linked;
  block->link = link;
  MMBlock_Update(project.list.audio, index);
}

void DeleteBlocks(Project& project, int32_t kind, int32_t first, int32_t count) {
  MMBlockList& blocks = Blocks(project.list, kind);
  if (first < 0 || count < 1 || first >= Count(blocks)) return;
  count = std::min(count, Count(blocks) - first);
  const int32_t start = StartQuant(blocks, first);
  const int32_t end = int32_t(std::trunc(MMBlock_GetLastItem(blocks, first + count - 1, MM_BY_QUANT)));
  MMBlock_Delete(blocks, first, count);
  MMBlock_UpdateLinksAfterDelete(Other(project.list, kind), first, count);
  MMRemoveUnusedFiles(project.list);
  if (kind == EDIT_VIDEO) FnRangesDeleted(project.chain, start, end - start + 1);
}

void CopyBlocks(const Project& project, MMList& clipboard, int32_t kind, int32_t first, int32_t count) {
  MMBlockList& target = Blocks(clipboard, kind);
  MMBlock_Delete(target, 0, Count(target));
  MMRemoveUnusedFiles(clipboard);
  const MMBlockList& source = Blocks(project.list, kind);
  if (first < 0 || count < 1 || first >= Count(source)) return;
  MMBlock_Copy(target, clipboard.files, 0, count, first, project.list.files, source);
}

void CutBlocks(Project& project, MMList& clipboard, int32_t kind, int32_t first, int32_t count) {
  CopyBlocks(project, clipboard, kind, first, count);
  DeleteBlocks(project, kind, first, count);
}

int32_t PasteBlocks(Project& project, const MMList& clipboard, int32_t kind, int32_t selected, int32_t offset,
                    int32_t times) {
  const MMBlockList& source = Blocks(clipboard, kind);
  const int32_t n = Count(source);
  if (n == 0 || times < 1) return 0;
  MMBlockList& blocks = Blocks(project.list, kind);
  const int32_t p = Position(blocks, selected == NOT_SET ? NOT_SET : selected + offset);
  const int32_t start = StartQuant(blocks, p);
  int32_t at = p, inserted = 0;
  for (int32_t t = 0; t < times; ++t) {
    const int32_t copied = MMBlock_Copy(blocks, project.list.files, at, n, 0, clipboard.files, source);
    at += copied;
    inserted += copied;
  }
  MMBlock_UpdateLinksAfterInsert(Other(project.list, kind), p, inserted);
  if (kind == EDIT_VIDEO) FnRangesInserted(project.chain, start, source.totalQuants * times);
  return inserted;
}

}  // namespace rf
