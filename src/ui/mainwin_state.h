// What the main window remembers between runs of the program: its geometry, the display units
// and the recent sessions, in a small text file of its own in the configuration folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rf::ui {

inline constexpr size_t RECENT_MAX = 8;

struct WindowState {
  std::string geometry;             // the window's own encoding, base64
  int32_t videoUnit = 0;            // 0 frames, 1 time
  int32_t audioUnit = 0;            // 0 samples, 1 time
  std::vector<std::string> recent;  // most recent first
};

// The file the desktop program uses: reelforge/window-state in the user's configuration folder.
std::string DefaultWindowStateFile();
// Reads name; lines it does not understand are skipped, a missing file gives the defaults.
WindowState ReadWindowState(const std::string& name);
// Writes name, creating its folder; false when it cannot be written.
bool WriteWindowState(const std::string& name, const WindowState& state);
// Puts name first in the recent list, without duplicates, at most RECENT_MAX.
void AddRecent(WindowState& state, const std::string& name);

}  // namespace rf::ui
