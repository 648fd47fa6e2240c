// Fills the main window's hooks with the program's real dialogs, sessions, list files and player,
// and its run settings with the user's preferences.
#include "ui/mainwin_wiring.h"

#include <QDir>

#include "formats/uniaccess.h"
#include "persistence/prefs.h"
#include "persistence/session.h"
#include "persistence/vflformat.h"
#include "ui/blockdlg.h"
#include "ui/dlg_entry.h"
#include "ui/dlg_session.h"
#include "ui/mainwin.h"
#include "ui/mainwin_dialogs.h"
#include "ui/playerlink.h"

namespace rf::ui {
namespace {

uint32_t SectionFlags(const SessionSections& s) {
  return (s.output ? SES_OUTPUT : 0) | (s.files ? SES_FILES : 0) | (s.effects ? SES_EFFECTS : 0) |
         (s.startNew ? SES_START_NEW : 0);
}

SessionSections SectionsOf(uint32_t flags) {
  return {(flags & SES_OUTPUT) != 0, (flags & SES_FILES) != 0, (flags & SES_EFFECTS) != 0,
          (flags & SES_START_NEW) != 0};
}

SessionUi SessionDialogs(QWidget* parent) {
  SessionUi ui;
  ui.chooseSections = [parent](const std::string& question, bool loading, SessionSections& sections) {
    uint32_t flags = SectionFlags(sections);
    if (!ShowSessionSections(parent, question, loading, flags)) return false;
    sections = SectionsOf(flags);
    return true;
  };
  return ui;
}

// The program's preferences as the options dialog last left them.
Preferences& ProgramPreferences() {
  static Preferences prefs;
  return prefs;
}

}  // namespace

RunSettings RunSettingsFromPreferences(const Preferences& prefs) {
  RunSettings s;
  s.warningOverwrite = prefs.warningOverwrite != 0;
  s.playOutput = prefs.playOutput != 0;
  s.signalEnd = prefs.signalEnd != 0;
  s.signalMinutes = prefs.signalMin;
  s.signalSound = prefs.signalSound;
  s.previewMode = prefs.pvRenderMode;
  s.tempFolder = prefs.tempFolder.empty() ? QDir::tempPath().toStdString() : prefs.tempFolder;
  return s;
}

void InstallProgramDialogs(const Preferences& prefs) {
  MainDialogs& d = Dialogs();
  d.defineOutput = [](QWidget* w, Project& p) { return ShowOutputDialog(w, p.output); };
  // The dialog moves the effect ranges after the block itself.
  d.blockSettings = [](QWidget* w, Project& p, int32_t kind, int32_t index, int32_t& lengthChange) {
    lengthChange = 0;
    return ShowBlockDialog(w, p, kind, index);
  };
  d.fileInformation = [](QWidget* w, const std::string& name) {
    QUniInfo info{};
    if (UniInfo(name, info, true)) ShowFileInformation(w, {&info});
  };
  d.effectSettings = [](QWidget* w, QFnEntry& e) { return ShowEffectDialog(w, e.id, e.fnParams); };
  d.sessionOpen = [](QWidget* w, Project& p, const std::string& name) {
    return SessionOpen(p, name, false, SessionDialogs(w));
  };
  d.sessionMerge = [](QWidget* w, Project& p, const std::string& name) {
    return SessionOpen(p, name, true, SessionDialogs(w));
  };
  d.sessionSave = [](QWidget* w, Project& p, const std::string& name) {
    return SessionSave(p, name, SessionDialogs(w));
  };
  d.listImport = [](QWidget*, Project& p, const std::string& name) {
    int32_t failed = 0;
    return VFLImportFile(p, name, failed);
  };
  d.listExport = [](QWidget*, Project& p, const std::string& name) { return VFLExportFile(p, name); };
  d.defaultSession = [file = prefs.defaultSession] { return file; };
  d.effectRange = [](QWidget* w, Project& p, int32_t first, int32_t last, const RangePositions& pos) {
    std::vector<QFnEntry*> entries;
    for (int32_t i = first; i <= last; ++i) entries.push_back(p.chain[size_t(i)]);
    return ShowRangeDialog(w, entries, pos);
  };
  ProgramPreferences() = prefs;
  d.options = [](QWidget* w) {
    Preferences edited = ProgramPreferences();
    if (!ShowOptionsDialog(w, edited)) return false;
    ProgramPreferences() = edited;
    WritePreferences(edited);
    if (auto* window = dynamic_cast<TfrmMain*>(w)) window->runSettings() = RunSettingsFromPreferences(edited);
    return true;
  };
  d.play = PlayerPlayFunction(PlayerReadKeys(PlayerKeysFile()));
}

}  // namespace rf::ui
