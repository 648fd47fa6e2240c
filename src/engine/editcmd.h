// The commands that change the edit list: adding and inserting files, silence, deleting,
// copying, cutting and pasting blocks, with the effect ranges following every video change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/project.h"

namespace rf {

// Block list kinds of the commands.
inline constexpr int32_t EDIT_VIDEO = 0;
inline constexpr int32_t EDIT_AUDIO = 1;

// Silence durations are kept in this range (seconds).
inline constexpr double SILENCE_MIN = 0.001;
inline constexpr double SILENCE_MAX = 36000.0;

// One add command, shared by all of its files.
struct AddRequest {
  int32_t videoPos = 0;
  int32_t videoAdded = 0;
  int32_t videoFramesAdded = 0;
  int32_t audioPos = 0;
  int32_t audioAdded = 0;
  int32_t audioSamplesAdded = 0;
  int32_t firstVideoPos = 0;
  int32_t videoStartFrame = 0;
  int32_t firstAudioPos = 0;
  int32_t audioStartSample = 0;
  bool detectSequences = false;
  bool showErrors = true;
  std::string fileName;
  int32_t videoFirst = NOT_SET;
  int32_t videoCount = NOT_SET;
  double videoRate = NOT_SET_F;
  int32_t audioFirst = NOT_SET;
  int32_t audioCount = NOT_SET;
  double silenceDuration = 0;
};

// What the commands need from the program around them; every member may be empty.
struct EditEnv {
  bool detectImgSeq = true;                              // the "DetectImgSeq" preference
  std::function<void(const std::string&)> status;        // the status line
  std::function<void(const std::string&)> showFileInfo;  // the "File Information" window
};

// A request for inserting at the given positions (clamped to the lists; NOT_SET = the end).
AddRequest MakeAddRequest(const Project& project, int32_t videoPos, int32_t audioPos);
// Adds request.fileName at the request's positions; true when a block was added.
bool FileAdd(Project& project, AddRequest& request, bool updateLinks, const EditEnv& env);
// Puts the names a multiple-selection dialog returned back into the order the user sees them.
void OrderProperly(std::vector<std::string>& names);
// Adds the names at the positions (NOT_SET = the end) and shifts the effect ranges; returns the
// request with the counts of what was added.
AddRequest FileAddStringList(Project& project, const std::vector<std::string>& names, int32_t videoPos,
                             int32_t audioPos, const EditEnv& env);
// Inserts a silence block of request.silenceDuration seconds at the request's audio position.
void AudioSilenceAdd(Project& project, AddRequest& request);
// Gives an existing silence block a new duration.
void SilenceSetDuration(Project& project, int32_t index, double seconds);

// The list commands on count blocks from first on.
void DeleteBlocks(Project& project, int32_t kind, int32_t first, int32_t count);
void CopyBlocks(const Project& project, MMList& clipboard, int32_t kind, int32_t first, int32_t count);
void CutBlocks(Project& project, MMList& clipboard, int32_t kind, int32_t first, int32_t count);
// Pastes the clipboard's blocks of that kind times times at selected + offset (0 above, 1
// below); returns the number of blocks inserted.
int32_t PasteBlocks(Project& project, const MMList& clipboard, int32_t kind, int32_t selected, int32_t offset,
                    int32_t times);

}  // namespace rf
