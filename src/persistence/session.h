// Session files: the output definition, the edit list and the effect chain saved section by
// section, and the open, merge, save and new commands over them.
#pragma once

#include <functional>
#include <string>

#include "engine/project.h"
#include "persistence/appsession.h"

namespace rf {

struct Preferences;

// Chunk identifiers.
inline constexpr int32_t SES_CHUNK_VIDEO = 2;
inline constexpr int32_t SES_CHUNK_AUDIO = 3;
inline constexpr int32_t SES_CHUNK_EFFECTS = 4;
inline constexpr int32_t SES_CHUNK_OUTPUT = 5;

struct SessionSections {
  bool output = false;
  bool files = false;  // both block lists
  bool effects = false;
  bool startNew = false;  // loading only: a blank session first
};

// What the commands ask of the user interface: the section dialog (question, whether it loads,
// the sections preselected; false for Cancel) and the status line.
struct SessionUi {
  std::function<bool(const std::string& question, bool loading, SessionSections& sections)> chooseSections;
  std::function<void(const std::string& text)> status;
};

// Error box for an unreadable header or a wrong magic; the newer-version question.
bool SessionCheckHeader(const std::string& fileName, QSesHeader& header);
// The save writes a temporary beside fileName that replaces it only when complete: a failed save
// leaves the earlier file as it was and nothing else behind.
bool SessionSaveToFile(const std::string& fileName, const Project& project, const SessionSections& sections);
// Appends the chosen sections to the project (the output definition is replaced). Files that
// cannot be opened are skipped and counted in one warning; a damaged file stops the load with
// false, keeping what was added before.
bool SessionLoadFromFile(const std::string& fileName, Project& project, const SessionSections& sections);
// Which sections the file holds.
bool SessionScan(const std::string& fileName, SessionSections& present);

// The commands behind the menu, given the name the file dialog returned.
bool SessionSave(const Project& project, const std::string& fileName, const SessionUi& ui);
bool SessionOpen(Project& project, const std::string& fileName, bool merge, const SessionUi& ui);
void SessionNew(Project& project);
// Loads the preference "DefaultSession" whole, or starts blank; a template that fails to load
// may be given up (the preference is cleared when the user says so).
void SessionNewFromDefault(Project& project, Preferences& prefs);

}  // namespace rf
