// A stand-in player for the channel tests: listens under the class given, writes every block it
// receives as one line to the log file given, and quits when told to close its file.
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "ui/playerlink.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) return 2;
  QFile log(QString::fromLocal8Bit(argv[2]));
  if (!log.open(QIODevice::Append | QIODevice::Text)) return 2;
  rf::ui::PlayerLinkServer link;
  QObject::connect(&link, &rf::ui::PlayerLinkServer::OpenFile, [&](const QString& name) {
    QTextStream(&log) << "open " << name << "\n";
    log.flush();
  });
  QObject::connect(&link, &rf::ui::PlayerLinkServer::CloseFile, [&] {
    QTextStream(&log) << "close\n";
    log.flush();
    app.quit();
  });
  if (!link.Listen(QString::fromLocal8Bit(argv[1]))) return 1;
  std::printf("listening\n");
  std::fflush(stdout);
  return app.exec();
}
