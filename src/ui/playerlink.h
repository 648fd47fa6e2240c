// The link to the player program: a local socket named after the player's window class that
// carries the window-message byte protocol, and the operations that start and drive the player.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

class QLocalServer;

namespace rf::ui {

// Message number of every posted message of the channel, and the high parts of its wParam.
inline constexpr uint32_t IPC_MESSAGE = 1075;
inline constexpr uint32_t IPC_ANNOUNCE = 0x100;
inline constexpr uint32_t IPC_DATA = 0x200;
inline constexpr int32_t IPC_RECORD_SIZE = 12;  // message, wParam, lParam, each little-endian 32-bit
// Channel 1 carries a file to open, channel 2 the integer -1 that closes the current file.
inline constexpr int32_t IPC_CHANNEL_OPEN = 1;
inline constexpr int32_t IPC_CHANNEL_CLOSE = 2;
inline constexpr char PLAYER_DEFAULT_CLASS[] = "Vistrel-WndClass";

// The keys the two programs share; the player fills them in, the program only reads them.
struct PlayerKeys {
  QString path;      // "Vistrel-Path"
  QString date;      // "Vistrel-Date"
  QString wndClass;  // "Vistrel-WndClass"
  QString cmdOpen;   // "Vistrel-CmdOpen", one "%s" for the file
  QString cmdPlay;
  QString cmdPlayClose;
};

// The keys of the player program at programPath, its date the day the program was built.
PlayerKeys PlayerKeysFor(const QString& programPath, const QString& date);
// Keys of a player found beside the running program, else on PATH (path empty when neither).
PlayerKeys PlayerDefaultKeys();
// The file both programs share the keys through, its section "velmora".
QString PlayerKeysFile();
// Keys missing from the file are empty; the player's own keys are rewritten in place, every
// other line of the file kept.
PlayerKeys PlayerReadKeys(const QString& file);
bool PlayerWriteKeys(const QString& file, const PlayerKeys& keys);
// Where the socket of a window class lives: the user's runtime folder, else the temporary one.
QString PlayerSocketPath(const QString& wndClass);

// The posted messages of one block, as the records the socket carries.
QByteArray IpcEncode(int32_t channel, const void* data, int32_t count);
// Sends a block to the player listening under wndClass; false (nothing sent) when none listens.
bool IpcDataSend(const QString& wndClass, int32_t channel, const void* data, int32_t count);
bool IpcSendInt(const QString& wndClass, int32_t channel, int32_t value);
bool IpcSendString(const QString& wndClass, int32_t channel, const std::string& text);

// Reassembles blocks from the records of one connection. Records may arrive split anywhere; each
// channel collects its own block, and an announcement restarts that channel's block.
class IpcDecoder {
 public:
  using BlockFn = std::function<void(int32_t channel, const QByteArray& block)>;
  explicit IpcDecoder(BlockFn onBlock) : onBlock_(std::move(onBlock)) {}
  void Feed(const QByteArray& bytes);

 private:
  struct Pending {
    int32_t expected = -1;
    QByteArray data;
  };
  void Record(uint32_t message, uint32_t wParam, uint32_t lParam);
  BlockFn onBlock_;
  QByteArray carry_;
  std::map<int32_t, Pending> channels_;
};

// The player's side: listens under its window class (removing the socket a dead player left)
// and reports opened and closed files.
class PlayerLinkServer : public QObject {
  Q_OBJECT
 public:
  explicit PlayerLinkServer(QObject* parent = nullptr);
  // False when another player already listens under that class.
  bool Listen(const QString& wndClass);
  QString SocketPath() const;

 signals:
  void OpenFile(const QString& name);
  void CloseFile();
  void Activated();

 private:
  void Accept();
  QLocalServer* server_;
};

// Brings a running player to the front, else starts the program of keys.path with arguments;
// asks about downloading when it is old or missing. True when a player runs or was started.
bool PlayerStartOrActivate(const PlayerKeys& keys, const QStringList& arguments, bool activateFirst);
// Sends name to a running player, else starts one through the "open" command template.
bool PlayerPlayFile(const PlayerKeys& keys, const std::string& name);
bool PlayerCloseFile(const PlayerKeys& keys);

// Player choices of the association table.
inline constexpr int32_t PLAYER_CHOICE_VISTREL = 1;
inline constexpr int32_t PLAYER_CHOICE_SYSTEM = 2;
// Plays an existing file with the player chosen for its extension (".AVI").
using PlayerChoiceFn = std::function<int32_t(const std::string& extension)>;
void PlayFileByChoice(const PlayerKeys& keys, const std::string& name, const PlayerChoiceFn& choiceOf);
// The function the run calls to play previews and results (RunSettings::play), safe to call from
// the run's worker thread: the file is played from the application's thread. Without choiceOf
// every file goes to the player.
std::function<void(const std::string&)> PlayerPlayFunction(const PlayerKeys& keys, PlayerChoiceFn choiceOf = {});

}  // namespace rf::ui
