// The project: the edit list, the effect chain it owns and the output definition, and the
// additions every front end makes to them.
#include "engine/project.h"

#include <algorithm>
#include <cmath>

#include "effects/fnrun.h"
#include "foundation/errors.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

void AppendBlock(Project& project, MMBlockList& blocks, const MMBlockRec& rec) {
  MMBlock_Insert(blocks, int32_t(blocks.items.size()), ProjectNewBlock(project, rec));
}

// Raises why an input gives nothing to put in a list: the reason the media layer refused it, or,
// for a file it read, that it holds nothing readable (a WAV file without samples has no sound).
void RefuseInput(const std::string& name, int32_t format) {
  if (UniLastProblem().category != 0) {
    UniRaiseLastProblem();
    return;
  }
  SetLastFileName(name);
  if (format == FF_WAV)
    ErrSet(13, 3);
  else
    ErrSet(7, 1);
}

void FreeEntry(QFnEntry*& entry) {
  FnFree(entry->fnParams);
  delete entry;
  entry = nullptr;
}

}  // namespace

Project::Project() {
  MMInit(list);
  SetOutputDefaults(output, true, true);
}

Project::~Project() {
  for (QFnEntry*& e : chain) FreeEntry(e);
  MMDone(list);
}

MMBlockRec* ProjectNewBlock(Project& project, const MMBlockRec& rec) {
  MMBlockRec*& block = project.blockVariables.emplace_back(nullptr);
  _memalloc_(block, int32_t(sizeof(MMBlockRec)), MEM_NEW, "MainUnit.FileAdd.block");
  *block = rec;
  return block;
}

bool ProjectAddFile(Project& project, const std::string& name, bool sequences, int32_t first, int32_t last) {
  MMList& list = project.list;
  const int32_t index = MMFile_Add(list.files, name, sequences);
  if (index == NOT_SET) {
    RefuseInput(name, FFGetId(name, FF_LOAD_TABLE));
    return false;
  }
  const QUniInfo& info = MMFile_GetPtrByIndex(list.files, index)->info;
  const bool video = info.video.hasVideo && info.video.frames > 0;
  const bool audio = info.audio.hasAudio && info.audio.frames > 0;
  if (!video && !audio) {
    RefuseInput(name, info.format);
    return false;
  }
  const int32_t frames = std::max(info.video.frames, 1);
  const int32_t vFirst = first == NOT_SET ? 0 : std::clamp(first, 0, frames - 1);
  const int32_t vLast = last == NOT_SET ? frames - 1 : std::clamp(last, vFirst, frames - 1);
  MMBlockRec v{}, a{};
  if (video)
    MMBlockP_SetFile(v, index, vFirst, vLast, info.video.frames, info.video.frameRate > 0 ? info.video.frameRate : 25);
  if (audio) {
    int32_t aFirst = 0, aLast = info.audio.frames - 1;
    // A trim in frames cuts the sound at the same times.
    if (video && info.video.frameRate > 0 && (first != NOT_SET || last != NOT_SET)) {
      const double rate = info.audio.samplesPerSec / info.video.frameRate;
      aFirst = std::clamp(int32_t(std::trunc(vFirst * rate)), 0, aLast);
      aLast = std::clamp(int32_t(std::trunc((vLast + 1) * rate)) - 1, aFirst, aLast);
    }
    MMBlockP_SetFile(a, index, aFirst, aLast, info.audio.frames, info.audio.samplesPerSec);
  }
  if (video && audio) {
    v.linked = a.linked = RF_TRUE;
    v.link = int32_t(list.audio.items.size());
    a.link = int32_t(list.video.items.size());
  }
  if (video) AppendBlock(project, list.video, v);
  if (audio) AppendBlock(project, list.audio, a);
  return true;
}

void ProjectAddSilence(Project& project, double seconds) {
  MMBlockRec s{};
  MMBlockP_SetSilence(s, seconds);
  AppendBlock(project, project.list.audio, s);
}

QFnEntry& ProjectInsertEffect(Project& project, size_t position, const QFnEntry& entry, const QFnParams* params) {
  auto* copy = new QFnEntry(entry);
  copy->fnParams = nullptr;
  FnCopy(copy->fnParams, params);
  position = std::min(position, project.chain.size());
  project.chain.insert(project.chain.begin() + std::ptrdiff_t(position), copy);
  return *copy;
}

QFnEntry& ProjectAddEffect(Project& project, int32_t id, const double* values, int32_t valueCount, int32_t first,
                           int32_t last) {
  QFnEntry e = FnMakeEntry(id);
  e.first = first;
  e.last = last;
  QFnParams p{};
  p.paramSize = FnParamCount(id) * 8 + 4;
  p.inPlace = FnInPlace(id) ? RF_TRUE : RF_FALSE;
  for (int32_t i = 0; i < 8; ++i) p.values[i] = FnParamRange(id, i).defaultValue;
  for (int32_t i = 0; i < std::min(valueCount, 8); ++i) {
    const FnParamSpec range = FnParamRange(id, i);
    p.values[i] = std::clamp(values[i], range.minimum, range.maximum);
  }
  FnMakeStr(id, p);
  return ProjectInsertEffect(project, project.chain.size(), e, &p);
}

void ProjectDeleteEffect(Project& project, size_t position) {
  if (position >= project.chain.size()) return;
  FreeEntry(project.chain[position]);
  project.chain.erase(project.chain.begin() + std::ptrdiff_t(position));
}

void ProjectClear(Project& project) {
  for (QFnEntry*& e : project.chain) FreeEntry(e);
  project.chain.clear();
  MMDone(project.list);
  MMInit(project.list);
  project.blockVariables.clear();
}

}  // namespace rf
