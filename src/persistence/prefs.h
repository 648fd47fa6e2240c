// The user's preferences in "Reelforge.ini" (section "Local") of the configuration folder, read
// at start and written at the end through the profile stand-in, and the typed accessors over it.
#pragma once

#include <cstdint>
#include <string>

namespace rf {

// Booleans are 0 / -1 as the rest of the program holds them.
struct Preferences {
  std::string recentFiles, recentDirs, fileOpenDir, videoSaveDir, audioSaveDir, sessionDir, listImportDir,
      listExportDir;
  int32_t detectImgSeq = -1;
  std::string defaultSession;
  std::string defaultVideoExt = ".avi", defaultAudioExt = ".wav";
  int32_t signalEnd = 0;
  int32_t signalMin = 1;
  std::string signalSound;
  int32_t playInput = 0, playOutput = -1, resamplePV = 0;
  double defaultFPS = 30.0;
  int32_t videoUnit = 1, audioUnit = 1, previewBackColor = 0, imgCacheSize = 0, pvRenderMode = 1;
  std::string tempFolder;
  int32_t warningOverwrite = -1;
};

// The file and section the following accessors use; an empty file switches them off.
void PrefsPrepare(const std::string& file, const std::string& section);
// Values are read whole up to 1023 characters; a missing key (or no prepared file) gives def.
void PrefsReadStr(const std::string& key, std::string& value, const std::string& def);
void PrefsReadInt(const std::string& key, int32_t& value, int32_t def);
void PrefsReadFloat(const std::string& key, double& value, double def);
// "1", "T", "Y" (any case, first character) true; "0", "F", "N" false; anything else def.
void PrefsReadBool(const std::string& key, int32_t& value, int32_t def);
void PrefsWriteStr(const std::string& key, const std::string& value);
void PrefsWriteInt(const std::string& key, int32_t value);
// Fixed notation with 10 decimals, at least 10 characters wide.
void PrefsWriteFloat(const std::string& key, double value);
void PrefsWriteBool(const std::string& key, int32_t value);
// Writes what was stored to the prepared file; false when that failed.
bool PrefsFlushCache();

// "Reelforge.ini" in the configuration folder.
std::string PrefsFile();
// The folder of the running program.
std::string ProgramFolder();

void ReadPreferences(Preferences& prefs);
// Also records the program's path in the shared file for the player. False when a file could not
// be written.
bool WritePreferences(const Preferences& prefs);

}  // namespace rf
