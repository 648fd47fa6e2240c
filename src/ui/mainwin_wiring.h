// Fills the main window's hooks with the program's real dialogs, sessions, list files and player,
// and its run settings with the user's preferences.
#pragma once

#include "engine/procexec.h"

namespace rf {
struct Preferences;
}  // namespace rf

namespace rf::ui {

void InstallProgramDialogs(const Preferences& prefs);
// The run settings the preferences give ("WarningOverwrite", "PlayOutput", "SignalEnd", ...).
RunSettings RunSettingsFromPreferences(const Preferences& prefs);

}  // namespace rf::ui
