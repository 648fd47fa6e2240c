// The dialogs the main window opens and the programs it starts, as hooks the program fills in
// at start-up; a command whose hook is empty says that it is not available.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

#include "engine/procexec.h"
#include "ui/dlg_range.h"

namespace rf {
struct QFnEntry;
}  // namespace rf

namespace rf::ui {

struct MainDialogs {
  // "Define Output" (TfrmOutput); true on OK.
  std::function<bool(QWidget*, Project&)> defineOutput;
  // Block settings of video (kind 0) or audio (kind 1) block index with its linked partner;
  // true on OK, lengthChange then holds the change of the block's frame count.
  std::function<bool(QWidget*, Project&, int32_t kind, int32_t index, int32_t& lengthChange)> blockSettings;
  // "File Information" window for a file.
  std::function<void(QWidget*, const std::string& fileName)> fileInformation;
  // The parameter dialog of an effect entry (FnDialog); true on OK.
  std::function<bool(QWidget*, QFnEntry& entry)> effectSettings;
  // "Video Effects Range" for the chain's selected entries first .. last, offering the window's
  // positions; true on OK.
  std::function<bool(QWidget*, Project&, int32_t first, int32_t last, const RangePositions&)> effectRange;
  // Session files and list files; true when the project changed (open, merge, import) or the
  // file was written (save, export).
  std::function<bool(QWidget*, Project&, const std::string&fileName)> sessionOpen, sessionMerge, sessionSave;
  std::function<bool(QWidget*, Project&, const std::string&fileName)> listImport, listExport;
  // The default session template ("DefaultSession"); empty when there is none.
  std::function<std::string()> defaultSession;
  // The preferences dialog; true on OK.
  std::function<bool(QWidget*)> options;
  // Plays a file with the player.
  std::function<void(const std::string& fileName)> play;
  // The runs of "Start Processing", "Render Preview", "Count Colors" and "Temporal Average",
  // called on a worker thread: the processing engine's commands.
  using Run = std::function<int32_t(Project&, ProgressView&, const RunSettings&)>;
  Run startProcessing = rf::StartProcessing;
  Run renderPreview = [](Project& p, ProgressView& v, const RunSettings& s) {
    std::string name;
    return rf::RenderPreview(p, v, s, name);
  };
  Run countColors = [](Project& p, ProgressView& v, const RunSettings& s) {
    int32_t colors = 0;
    return rf::CountColors(p, v, s, colors);
  };
  Run temporalAverage = rf::TemporalAverage;
};

// The program's one set of hooks.
MainDialogs& Dialogs();

}  // namespace rf::ui
