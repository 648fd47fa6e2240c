// The main window's remembered state as "key=value" lines.
#include "ui/mainwin_state.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <fstream>

namespace rf::ui {
namespace {

int32_t Unit(const std::string& value) { return value == "1" ? 1 : 0; }

}  // namespace

std::string DefaultWindowStateFile() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (folder + "/reelforge/window-state").toStdString();
}

WindowState ReadWindowState(const std::string& name) {
  WindowState state;
  std::ifstream in(name);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "geometry")
      state.geometry = value;
    else if (key == "videoUnit")
      state.videoUnit = Unit(value);
    else if (key == "audioUnit")
      state.audioUnit = Unit(value);
    else if (key == "recent" && !value.empty() && state.recent.size() < RECENT_MAX)
      state.recent.push_back(value);
  }
  return state;
}

bool WriteWindowState(const std::string& name, const WindowState& state) {
  QDir().mkpath(QFileInfo(QString::fromStdString(name)).absolutePath());
  std::ofstream out(name, std::ios::trunc);
  out << "geometry=" << state.geometry << "\nvideoUnit=" << state.videoUnit << "\naudioUnit=" << state.audioUnit
      << "\n";
  for (const std::string& r : state.recent) out << "recent=" << r << "\n";
  return bool(out);
}

void AddRecent(WindowState& state, const std::string& name) {
  auto& r = state.recent;
  r.erase(std::remove(r.begin(), r.end(), name), r.end());
  r.insert(r.begin(), name);
  if (r.size() > RECENT_MAX) r.resize(RECENT_MAX);
}

}  // namespace rf::ui
