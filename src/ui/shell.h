// Shell integration on the XDG desktop: the MIME types of every extension the program reads, the
// "open with" entry that stands for the shell verb, and the desktop shortcut.
#pragma once

#include <string>
#include <vector>

namespace rf::ui {

// The MIME type of each extension; ours marks the globs the program's own MIME package adds.
struct ShellMimeRow {
  const char* extension;  // without the dot, as the format table spells it
  const char* mimeType;
  bool ours;
};
const std::vector<ShellMimeRow>& ShellMimeTable();
// Sorted, without repeats: the types of every extension of the load table, and the session type.
std::vector<std::string> ShellMimeTypes();
inline constexpr char SHELL_SESSION_TYPE[] = "application/x-reelforge-session";

// The desktop entry of the verb for the program at programPath.
std::string ShellVerbEntry(const std::string& programPath);
// The user's applications folder and the verb's entry in it.
std::string ShellVerbPath();
// The desktop folder as xdg-user-dir names it (the home folder's Desktop when it cannot).
std::string ShellDesktopFolder();

// Each returns false when the file could not be written or removed.
bool ShellCreateVerb(const std::string& programPath);
bool ShellRemoveVerb();
bool ShellCreateDesktopShortcut(const std::string& programPath);

// The options dialog's commands: act, then tell the user.
void ShellCreateVerbCommand(const std::string& programPath);
void ShellRemoveVerbCommand();

}  // namespace rf::ui
