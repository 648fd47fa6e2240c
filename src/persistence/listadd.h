// Adding files to a project at given places in its block lists, with the take ranges the list
// and session loaders read from their files.
#pragma once

#include <cstdint>
#include <string>

#include "engine/project.h"

namespace rf {

// One request shared by every file of one command; the counters and positions advance with it.
struct QListAdd {
  int32_t videoPos = 0;
  int32_t videoAdded = 0;
  int32_t videoFramesAdded = 0;
  int32_t audioPos = 0;
  int32_t audioAdded = 0;
  int32_t audioSamplesAdded = 0;
  int32_t videoStartFrame = 0;  // where the first video position starts in the list, in frames
  bool detectSequences = false;
  std::string name;
  int32_t videoFirst = NOT_SET;  // NOT_SET: from the start
  int32_t videoCount = NOT_SET;  // NOT_SET: to the end; 0: no video block
  double frameRate = NOT_SET_F;  // NOT_SET_F: the file's
  int32_t audioFirst = NOT_SET;
  int32_t audioCount = NOT_SET;
};

// A request at these positions of the project's lists (clamped to them).
QListAdd ListAddBegin(const Project& project, int32_t videoPos, int32_t audioPos);
// Adds the request's file; with updateLinks the other list's links move past inserted blocks.
// False when the file gave no block (the error register says why when it could not be read).
bool ListAddFile(Project& project, QListAdd& request, bool updateLinks);
// Shifts the effect ranges by the video frames the request added.
void ListAddEnd(Project& project, const QListAdd& request);

}  // namespace rf
