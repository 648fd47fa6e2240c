// The desktop program's own command line: the files the shell hands it and the switch that
// removes the shell verb.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rf::ui {

struct ShellCommand {
  std::vector<std::string> files;  // to add to the edit list, in command-line order
  bool uninstall = false;          // remove the shell verb and stop start-up
};

// One command line as a single text: every /Open:"name" (any case) is cut out in turn and its
// name collected; one without its closing quote is ignored; /Uninst anywhere asks for removal.
ShellCommand ParseShellCommandLine(std::string line);
// The program's arguments as the shell and desktop entries pass them: /Open: and /Uninst
// switches (the shell may have taken the quotes away), every other argument a file to open.
ShellCommand ParseShellArguments(const std::vector<std::string>& arguments);

}  // namespace rf::ui
