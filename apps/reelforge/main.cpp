// The desktop program: the main window, the files named on the command line, --help and
// --version.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "persistence/prefs.h"
#include "ui/mainwin.h"
#include "ui/mainwin_state.h"
#include "ui/mainwin_wiring.h"
#include "ui/msghooks.h"
#include "ui/shell.h"
#include "ui/shell_cmdline.h"

namespace {

void Describe(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Turns pictures, movies and sounds into new movies, picture sequences and sound files.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("files", "Pictures, movies or sounds to add to the edit list.", "[FILE...]");
}

// --help and --version answer without a display.
bool AsksForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    for (const char* option : {"--help", "-h", "--version", "-v", "--help-all"})
      if (std::strcmp(argv[i], option) == 0) return true;
  return false;
}

void SetNames() {
  QCoreApplication::setApplicationName("Reelforge");
  QCoreApplication::setApplicationVersion(RF_VERSION);
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForText(argc, argv)) {
    QCoreApplication app(argc, argv);
    SetNames();
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app);  // prints and exits
    return 0;
  }
  QApplication app(argc, argv);
  SetNames();
  QCommandLineParser parser;
  Describe(parser);
  parser.process(app);
  rf::SetAppTitle("Reelforge");
  std::vector<std::string> arguments;
  for (const QString& a : parser.positionalArguments()) arguments.push_back(a.toStdString());
  const rf::ui::ShellCommand command = rf::ui::ParseShellArguments(arguments);
  if (command.uninstall) {
    rf::ui::ShellRemoveVerbCommand();
    return 0;
  }
  rf::Preferences prefs;
  rf::ReadPreferences(prefs);
  rf::ui::InstallProgramDialogs(prefs);

  const std::string stateFile = rf::ui::DefaultWindowStateFile();
  QDir().mkpath(QFileInfo(QString::fromStdString(stateFile)).absolutePath());
  auto window = std::make_unique<rf::ui::TfrmMain>(stateFile);
  rf::ui::InstallMessageHooks(window.get());
  window->runSettings() = rf::ui::RunSettingsFromPreferences(prefs);
  window->show();
  QStringList files;
  for (const std::string& name : command.files) files << QFileInfo(QString::fromStdString(name)).absoluteFilePath();
  if (!files.isEmpty()) QTimer::singleShot(0, window.get(), [&window, files] { window->AddFiles(files); });
  const int result = app.exec();
  window.reset();
  return result;
}
