// The player program: one window around the player widget, listening on the player channel so
// that the desktop program can hand it previews and results.
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>

#include "foundation/errors.h"
#include "ui/msghooks.h"
#include "ui/player.h"
#include "ui/playerlink.h"
#include "ui/soundqt.h"

namespace {

using rf::ui::PlayerWidget;

struct Options {
  QString wndClass = rf::ui::PLAYER_DEFAULT_CLASS;
  QString file;
  bool play = false;
  bool closeAtEnd = false;
};

Options ParseOptions(const QApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription("Plays movies, picture sequences and sounds.");
  parser.addHelpOption();
  const QCommandLineOption play("play", "Start playing the file at once.");
  const QCommandLineOption close("close", "Quit when playing reaches the end.");
  const QCommandLineOption wndClass("class", "Listen on the player channel under <name>.", "name");
  parser.addOptions({play, close, wndClass});
  parser.addPositionalArgument("file", "The file to open.");
  parser.process(app);
  Options o;
  if (parser.isSet(wndClass)) o.wndClass = parser.value(wndClass);
  if (!parser.positionalArguments().isEmpty()) o.file = parser.positionalArguments().first();
  o.play = parser.isSet(play);
  o.closeAtEnd = parser.isSet(close);
  return o;
}

void BuildMenu(QMainWindow& window, PlayerWidget& player) {
  QMenu* file = window.menuBar()->addMenu(QObject::tr("&File"));
  file->addAction(QObject::tr("&Open..."), QKeySequence::Open, &player, [&] {
    const QString name = QFileDialog::getOpenFileName(&window, QObject::tr("Open"));
    if (!name.isEmpty()) player.Open(name);
  });
  file->addAction(QObject::tr("&Close"), QKeySequence::Close, &player, &PlayerWidget::CloseFile);
  file->addSeparator();
  file->addAction(QObject::tr("&Quit"), QKeySequence::Quit, &window, &QMainWindow::close);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("Vistrel");
  app.setWindowIcon(QIcon::fromTheme("vistrel"));
  rf::SetAppTitle("Vistrel");
  rf::ui::InstallSoundOutput();
  const Options options = ParseOptions(app);
  // A player already running takes the file over; this one has nothing more to do.
  rf::ui::PlayerLinkServer link;
  if (!link.Listen(options.wndClass)) {
    if (!options.file.isEmpty())
      rf::ui::IpcSendString(options.wndClass, rf::ui::IPC_CHANNEL_OPEN, options.file.toStdString());
    return 0;
  }
  // The desktop program finds this player through the shared keys.
  rf::ui::PlayerKeys keys = rf::ui::PlayerKeysFor(QCoreApplication::applicationFilePath(), RF_BUILD_DATE);
  keys.wndClass = options.wndClass;
  rf::ui::PlayerWriteKeys(rf::ui::PlayerKeysFile(), keys);
  QMainWindow window;
  auto* player = new PlayerWidget(&window);
  window.setCentralWidget(player);
  rf::ui::InstallMessageHooks(&window);
  BuildMenu(window, *player);
  QObject::connect(player, &PlayerWidget::FileChanged, &window,
                   [&](const QString& name) { window.setWindowTitle(name + " - Vistrel"); });
  QObject::connect(&link, &rf::ui::PlayerLinkServer::OpenFile, player, [&](const QString& name) {
    if (player->Open(name)) player->Play();
  });
  QObject::connect(&link, &rf::ui::PlayerLinkServer::CloseFile, player, &PlayerWidget::CloseFile);
  QObject::connect(&link, &rf::ui::PlayerLinkServer::Activated, &window, [&] {
    window.raise();
    window.activateWindow();
  });
  if (options.closeAtEnd) QObject::connect(player, &PlayerWidget::Finished, &window, &QMainWindow::close);
  window.setWindowTitle("Vistrel");
  window.resize(640, 480);
  window.show();
  player->setFocus();
  if (!options.file.isEmpty() && player->Open(options.file) && options.play) player->Play();
  return app.exec();
}
