// Files added at given places of the block lists, trimmed to the request's ranges.
#include "persistence/listadd.h"

#include <algorithm>
#include <cmath>

#include "foundation/trace.h"

namespace rf {
namespace {

// The block of a stream of length quants cut to first and count (NOT_SET: from the start, to the
// end); false when nothing is taken.
bool TakeRange(int32_t length, int32_t first, int32_t count, int32_t& from, int32_t& to) {
  if (length < 1 || count == 0) return false;
  from = first == NOT_SET ? 0 : std::clamp(first, 0, length - 1);
  const int64_t end = count == NOT_SET ? int64_t(length) - 1 : int64_t(from) + count - 1;
  to = int32_t(std::clamp<int64_t>(end, from, length - 1));
  return true;
}

bool UsableRate(double rate) { return std::isfinite(rate) && rate > 0.001 && rate != NOT_SET_F; }

void Insert(Project& project, MMBlockList& list, MMBlockList& other, int32_t& position, MMBlockRec& rec,
            bool updateLinks) {
  if (updateLinks) MMBlock_UpdateLinksAfterInsert(other, position, 1);
  MMBlock_Insert(list, position, ProjectNewBlock(project, rec));
  ++position;
}

}  // namespace

QListAdd ListAddBegin(const Project& project, int32_t videoPos, int32_t audioPos) {
  QListAdd r;
  r.videoPos = std::clamp(videoPos, 0, int32_t(project.list.video.items.size()));
  r.audioPos = std::clamp(audioPos, 0, int32_t(project.list.audio.items.size()));
  r.videoStartFrame = int32_t(MMBlock_GetFirstItem(project.list.video, r.videoPos, MM_BY_QUANT));
  return r;
}

bool ListAddFile(Project& project, QListAdd& r, bool updateLinks) {
  MMList& list = project.list;
  const int32_t index = MMFile_Add(list.files, r.name, r.detectSequences);
  if (index == NOT_SET) return false;
  const QUniInfo& info = MMFile_GetPtrByIndex(list.files, index)->info;
  MMBlockRec v{}, a{};
  int32_t first, last;
  const bool video = info.video.hasVideo && TakeRange(info.video.frames, r.videoFirst, r.videoCount, first, last);
  if (video) {
    const double rate = UsableRate(r.frameRate)            ? r.frameRate
                        : UsableRate(info.video.frameRate) ? info.video.frameRate
                                                           : OutDefaultFPS();
    MMBlockP_SetFile(v, index, first, last, info.video.frames, rate);
  }
  const bool audio = info.audio.hasAudio && TakeRange(info.audio.frames, r.audioFirst, r.audioCount, first, last);
  if (audio) MMBlockP_SetFile(a, index, first, last, info.audio.frames, info.audio.samplesPerSec);
  if (!video && !audio) {
    MMRemoveUnusedFiles(list);
    return false;
  }
  if (video) {
    if (audio) {
      if (updateLinks) MMBlock_UpdateLinksAfterInsert(list.video, r.audioPos, 1);
      v.linked = RF_TRUE;
      v.link = r.audioPos;
      Insert(project, list.video, list.audio, r.videoPos, v, updateLinks);
      a.linked = RF_TRUE;
      a.link = r.videoPos - 1;
      MMBlock_Insert(list.audio, r.audioPos++, ProjectNewBlock(project, a));
    } else {
      Insert(project, list.video, list.audio, r.videoPos, v, updateLinks);
    }
    ++r.videoAdded;
    r.videoFramesAdded += v.last - v.first + 1;
  } else {
    Insert(project, list.audio, list.video, r.audioPos, a, updateLinks);
  }
  if (audio) {
    ++r.audioAdded;
    r.audioSamplesAdded += a.last - a.first + 1;
  }
  TraceWrite("Added file");
  return true;
}

void ListAddEnd(Project& project, const QListAdd& r) {
  if (r.videoFramesAdded > 0) FnRangesInserted(project.chain, r.videoStartFrame, r.videoFramesAdded);
}

}  // namespace rf
