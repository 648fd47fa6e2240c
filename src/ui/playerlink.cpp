// The player link: the window-message byte protocol over a local socket, and starting the player.
#include "ui/playerlink.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QtEndian>
#include <algorithm>
#include <iterator>
#include <memory>

#include "foundation/errors.h"

namespace rf::ui {
namespace {

constexpr char kProgramName[] = "vistrel";
constexpr char kDownloadPage[] = "https://vistrel.example.org/download";
constexpr char kOldestGoodDate[] = "2000-06-01";
constexpr int kConnectMs = 1000;
constexpr char kKeysFile[] = "velmora.ini";
constexpr char kKeysSection[] = "velmora";

struct KeyField {
  const char* name;
  QString PlayerKeys::*field;
};
constexpr KeyField kKeyFields[] = {
    {"Vistrel-Path", &PlayerKeys::path},         {"Vistrel-Date", &PlayerKeys::date},
    {"Vistrel-WndClass", &PlayerKeys::wndClass}, {"Vistrel-CmdOpen", &PlayerKeys::cmdOpen},
    {"Vistrel-CmdPlay", &PlayerKeys::cmdPlay},   {"Vistrel-CmdPlayClose", &PlayerKeys::cmdPlayClose},
};

void PutRecord(QByteArray& out, uint32_t wParam, uint32_t lParam) {
  for (uint32_t v : {IPC_MESSAGE, wParam, lParam}) {
    char le[4];
    qToLittleEndian(v, le);
    out.append(le, 4);
  }
}

// A connected socket to the player of that class, or none.
std::unique_ptr<QLocalSocket> Connect(const QString& wndClass) {
  auto socket = std::make_unique<QLocalSocket>();
  socket->connectToServer(PlayerSocketPath(wndClass));
  if (!socket->waitForConnected(kConnectMs)) return nullptr;
  return socket;
}

bool WriteAll(QLocalSocket& socket, const QByteArray& bytes) {
  if (socket.write(bytes) != bytes.size()) return false;
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(kConnectMs)) return false;
  socket.disconnectFromServer();
  return true;
}

void OfferDownload(const char* question) {
  if (AskQuestion(Buttons::YesNo, question) == Answer::Yes) QDesktopServices::openUrl(QUrl(kDownloadPage));
}

}  // namespace

QString PlayerSocketPath(const QString& wndClass) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return QDir(runtime).filePath(wndClass);
  return QDir(QDir::tempPath()).filePath(wndClass + "-" + QString::number(getuid()));
}

PlayerKeys PlayerKeysFor(const QString& programPath, const QString& date) {
  PlayerKeys keys;
  keys.wndClass = PLAYER_DEFAULT_CLASS;
  keys.path = programPath;
  if (programPath.isEmpty()) return keys;
  keys.date = date;
  const QString quoted = "\"" + programPath + "\"";
  keys.cmdOpen = quoted + " \"%s\"";
  keys.cmdPlay = quoted + " --play \"%s\"";
  keys.cmdPlayClose = quoted + " --play --close \"%s\"";
  return keys;
}

PlayerKeys PlayerDefaultKeys() {
  const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(kProgramName);
  const QString path = QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(kProgramName);
  return PlayerKeysFor(path, path.isEmpty() ? QString() : QFileInfo(path).lastModified().toString("yyyy-MM-dd"));
}

QString PlayerKeysFile() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(kKeysFile);
}

PlayerKeys PlayerReadKeys(const QString& file) {
  PlayerKeys keys;
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
  bool inSection = false;
  for (const QString& line : QString::fromUtf8(in.readAll()).split('\n')) {
    const QString t = line.trimmed();
    if (t.startsWith('[')) inSection = t.compare(QString("[") + kKeysSection + "]", Qt::CaseInsensitive) == 0;
    const qsizetype eq = t.indexOf('=');
    if (!inSection || eq <= 0) continue;
    for (const KeyField& k : kKeyFields)
      if (t.left(eq).trimmed().compare(k.name, Qt::CaseInsensitive) == 0) keys.*k.field = t.mid(eq + 1);
  }
  return keys;
}

bool PlayerWriteKeys(const QString& file, const PlayerKeys& keys) {
  QFile io(file);
  QStringList lines;
  if (io.open(QIODevice::ReadOnly | QIODevice::Text)) lines = QString::fromUtf8(io.readAll()).split('\n');
  io.close();
  while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
  // Drop the section's old player keys, then put the new ones right after its header.
  qsizetype header = -1;
  bool inSection = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString t = lines[i].trimmed();
    if (t.startsWith('[')) {
      inSection = t.compare(QString("[") + kKeysSection + "]", Qt::CaseInsensitive) == 0;
      if (inSection) header = i;
      continue;
    }
    const QString name = t.left(t.indexOf('=')).trimmed();
    const auto ours = [&](const KeyField& k) { return name.compare(k.name, Qt::CaseInsensitive) == 0; };
    if (inSection && std::any_of(std::begin(kKeyFields), std::end(kKeyFields), ours)) lines.removeAt(i--);
  }
  if (header < 0) {
    lines.append(QString("[") + kKeysSection + "]");
    header = lines.size() - 1;
  }
  for (const KeyField& k : kKeyFields) lines.insert(++header, QString(k.name) + "=" + keys.*k.field);
  QDir().mkpath(QFileInfo(file).absolutePath());
  if (!io.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
  return io.write((lines.join('\n') + '\n').toUtf8()) >= 0;
}

QByteArray IpcEncode(int32_t channel, const void* data, int32_t count) {
  const uint32_t ch = uint32_t(channel) % 256;
  const auto* bytes = static_cast<const uint8_t*>(data);
  QByteArray out;
  PutRecord(out, IPC_ANNOUNCE + ch, uint32_t(count));
  int32_t at = 0;
  for (; at + 4 <= count; at += 4) PutRecord(out, IPC_DATA + ch, qFromLittleEndian<uint32_t>(bytes + at));
  if (at < count) {
    uint8_t rest[4] = {};
    std::copy(bytes + at, bytes + count, rest);
    PutRecord(out, IPC_DATA + ch, qFromLittleEndian<uint32_t>(rest));
  }
  return out;
}

bool IpcDataSend(const QString& wndClass, int32_t channel, const void* data, int32_t count) {
  auto socket = Connect(wndClass);
  return socket && WriteAll(*socket, IpcEncode(channel, data, count));
}

bool IpcSendInt(const QString& wndClass, int32_t channel, int32_t value) {
  char le[4];
  qToLittleEndian(value, le);
  return IpcDataSend(wndClass, channel, le, 4);
}

bool IpcSendString(const QString& wndClass, int32_t channel, const std::string& text) {
  return IpcDataSend(wndClass, channel, text.c_str(), int32_t(text.size()) + 1);
}

void IpcDecoder::Feed(const QByteArray& bytes) {
  carry_.append(bytes);
  qsizetype at = 0;
  for (; at + IPC_RECORD_SIZE <= carry_.size(); at += IPC_RECORD_SIZE) {
    const char* r = carry_.constData() + at;
    Record(qFromLittleEndian<uint32_t>(r), qFromLittleEndian<uint32_t>(r + 4), qFromLittleEndian<uint32_t>(r + 8));
  }
  carry_.remove(0, at);
}

void IpcDecoder::Record(uint32_t message, uint32_t wParam, uint32_t lParam) {
  if (message != IPC_MESSAGE) return;
  const int32_t channel = int32_t(wParam & 0xFF);
  Pending& p = channels_[channel];
  if ((wParam & ~0xFFu) == IPC_ANNOUNCE) {
    p.expected = int32_t(lParam);
    p.data.clear();
  } else if ((wParam & ~0xFFu) == IPC_DATA && p.expected >= 0) {
    char le[4];
    qToLittleEndian(lParam, le);
    p.data.append(le, std::min<qsizetype>(4, p.expected - p.data.size()));
  } else {
    return;
  }
  if (p.expected >= 0 && p.data.size() == p.expected) {
    const QByteArray block = p.data;
    p = Pending{};
    onBlock_(channel, block);
  }
}

PlayerLinkServer::PlayerLinkServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, &PlayerLinkServer::Accept);
}

bool PlayerLinkServer::Listen(const QString& wndClass) {
  const QString path = PlayerSocketPath(wndClass);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (Connect(wndClass)) return false;
  // A socket nobody answers on is what a crashed player leaves behind.
  QLocalServer::removeServer(path);
  return server_->listen(path);
}

QString PlayerLinkServer::SocketPath() const { return server_->fullServerName(); }

void PlayerLinkServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    emit Activated();
    auto decoder = std::make_shared<IpcDecoder>([this](int32_t channel, const QByteArray& block) {
      if (channel == IPC_CHANNEL_OPEN) {
        emit OpenFile(QString::fromLocal8Bit(block.left(block.indexOf('\0'))));
      } else if (channel == IPC_CHANNEL_CLOSE && block.size() == 4 &&
                 qFromLittleEndian<int32_t>(block.constData()) == -1) {
        emit CloseFile();
      }
    });
    connect(socket, &QLocalSocket::readyRead, socket, [socket, decoder] { decoder->Feed(socket->readAll()); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  }
}

bool PlayerStartOrActivate(const PlayerKeys& keys, const QStringList& arguments, bool activateFirst) {
  if (activateFirst && Connect(keys.wndClass)) return true;
  if (keys.path.isEmpty() || !QFileInfo(keys.path).isExecutable()) {
    OfferDownload(
        "Reelforge requires Vistrel to play preview movies, but the player is not found on your system. Would you "
        "like to download it now?");
    return false;
  }
  if (QRandomGenerator::global()->bounded(5) == 0 && keys.date < kOldestGoodDate)
    OfferDownload("This version of Vistrel is pretty old. Would you like to dowload the latest one?");
  return QProcess::startDetached(keys.path, arguments);
}

bool PlayerPlayFile(const PlayerKeys& keys, const std::string& name) {
  if (IpcSendString(keys.wndClass, IPC_CHANNEL_OPEN, name)) return true;
  if (keys.cmdOpen.isEmpty()) {
    ShowErrorBox("Error in Vistrel settings. Please start Vistrel manually to fix this error.");
    return false;
  }
  QStringList words = QProcess::splitCommand(QString(keys.cmdOpen).replace("%s", QString::fromStdString(name)));
  if (words.isEmpty()) return false;
  words.removeFirst();  // the program itself, which keys.path names
  return PlayerStartOrActivate(keys, words, false);
}

bool PlayerCloseFile(const PlayerKeys& keys) { return IpcSendInt(keys.wndClass, IPC_CHANNEL_CLOSE, -1); }

void PlayFileByChoice(const PlayerKeys& keys, const std::string& name, const PlayerChoiceFn& choiceOf) {
  const QFileInfo file(QString::fromStdString(name));
  if (!file.isFile()) return;
  const std::string extension = ("." + file.suffix().toUpper()).toStdString();
  switch (choiceOf(extension)) {
    case PLAYER_CHOICE_VISTREL:
      PlayerPlayFile(keys, name);
      break;
    case PLAYER_CHOICE_SYSTEM:
      QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
      break;
    default:
      ShowErrorBox("Internal player association for " + extension + " is invalid. " +
                   "Please change this in the Tools/Options/Playing dialog.");
  }
}

std::function<void(const std::string&)> PlayerPlayFunction(const PlayerKeys& keys, PlayerChoiceFn choiceOf) {
  if (!choiceOf) choiceOf = [](const std::string&) { return PLAYER_CHOICE_VISTREL; };
  return [keys, choiceOf](const std::string& name) {
    QCoreApplication* app = QCoreApplication::instance();
    const auto play = [keys, choiceOf, name] { PlayFileByChoice(keys, name, choiceOf); };
    if (app && QThread::currentThread() != app->thread())
      QMetaObject::invokeMethod(app, play, Qt::QueuedConnection);
    else
      play();
  };
}

}  // namespace rf::ui
