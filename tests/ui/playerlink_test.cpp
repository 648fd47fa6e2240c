// The player channel: the byte protocol's records, reassembly from any split, and two processes
// talking over a real local socket (a player started on demand, a dead player's socket reused).
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <thread>
#include <vector>

#include "foundation/errors.h"
#include "ui/playerlink.h"

namespace rf::ui {
namespace {

struct Rec {
  uint32_t wParam, lParam;
  bool operator==(const Rec&) const = default;
};

std::vector<Rec> Records(const QByteArray& bytes) {
  std::vector<Rec> out;
  for (qsizetype at = 0; at + 12 <= bytes.size(); at += 12) {
    EXPECT_EQ(qFromLittleEndian<uint32_t>(bytes.constData() + at), 1075u);
    out.push_back({qFromLittleEndian<uint32_t>(bytes.constData() + at + 4),
                   qFromLittleEndian<uint32_t>(bytes.constData() + at + 8)});
  }
  EXPECT_EQ(bytes.size() % 12, 0);
  return out;
}

TEST(PlayerLink, BlocksGoOutAsAnAnnouncementAndGroupsOfFourBytes) {
  const int32_t minusOne = -1;
  const struct {
    int32_t channel;
    QByteArray data;
    std::vector<Rec> records;
  } cases[] = {
      // a.avi: count 6, "a.av" whole, then "i" and the terminating zero in the low bytes.
      {1, QByteArray("a.avi", 6), {{0x101, 6}, {0x201, 0x76612E61}, {0x201, 0x69}}},
      {257, QByteArray("abcd"), {{0x101, 4}, {0x201, 0x64636261}}},
      {2, QByteArray(reinterpret_cast<const char*>(&minusOne), 4), {{0x102, 4}, {0x202, 0xFFFFFFFF}}},
      {1, QByteArray("xyzuvwq", 7), {{0x101, 7}, {0x201, 0x757A7978}, {0x201, 0x717776}}},
      {3, QByteArray(), {{0x103, 0}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Records(IpcEncode(c.channel, c.data.constData(), int32_t(c.data.size()))), c.records)
        << c.data.constData();
}

TEST(PlayerLink, DecoderReassemblesInterleavedChannelsFromAnySplit) {
  // Channel 2's block arrives inside channel 1's; a stray data record before any announcement
  // and a record of another message number are ignored; a new announcement restarts a block.
  const QByteArray stray = IpcEncode(5, "zzzz", 4).mid(12);
  QByteArray foreign = IpcEncode(1, "qqqq", 4).mid(12);
  qToLittleEndian<uint32_t>(1076, foreign.data());
  const QByteArray first = IpcEncode(1, "/tmp/movie name.hav", 20);
  const QByteArray second = IpcEncode(2, "\xFF\xFF\xFF\xFF", 4);
  const QByteArray restarted = IpcEncode(1, "oldname.avi", 12).left(24) + IpcEncode(1, "b.gif", 6);
  const QByteArray stream = stray + foreign + first.left(36) + second + first.mid(36) + restarted;
  for (int split : {1, 5, 7, 12, 13, int(stream.size())}) {
    std::vector<std::pair<int32_t, QByteArray>> blocks;
    IpcDecoder decoder([&](int32_t channel, const QByteArray& block) { blocks.emplace_back(channel, block); });
    for (qsizetype at = 0; at < stream.size(); at += split) decoder.Feed(stream.mid(at, split));
    const std::vector<std::pair<int32_t, QByteArray>> expected = {{2, QByteArray("\xFF\xFF\xFF\xFF", 4)},
                                                                  {1, QByteArray("/tmp/movie name.hav", 20)},
                                                                  {1, QByteArray("b.gif", 6)}};
    EXPECT_EQ(blocks, expected) << "split " << split;
  }
}

TEST(PlayerLink, SharedKeysAreRewrittenInPlaceAndReadAsWritten) {
  QTemporaryDir dir;
  const QString file = dir.filePath("cfg/velmora.ini");
  QDir().mkpath(dir.filePath("cfg"));
  QFile seed(file);
  ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
  seed.write(
      "[other]\nVistrel-Path=keep me\n[Velmora]\nReelforge-Path=/usr/bin/reelforge\nvistrel-path=/old\n"
      "Vistrel-CmdOpen=old %s\n[last]\nx=1\n");
  seed.close();
  const PlayerKeys old = PlayerReadKeys(file);
  EXPECT_EQ(old.path, "/old");
  EXPECT_EQ(old.cmdOpen, "old %s");
  EXPECT_TRUE(old.date.isEmpty());
  const PlayerKeys keys = PlayerKeysFor("/opt/v b/vistrel", "2026-12-07");
  ASSERT_TRUE(PlayerWriteKeys(file, keys));
  const PlayerKeys back = PlayerReadKeys(file);
  for (auto field : {&PlayerKeys::path, &PlayerKeys::date, &PlayerKeys::wndClass, &PlayerKeys::cmdOpen,
                     &PlayerKeys::cmdPlay, &PlayerKeys::cmdPlayClose})
    EXPECT_EQ(back.*field, keys.*field);
  EXPECT_EQ(back.cmdOpen, "\"/opt/v b/vistrel\" \"%s\"");
  QFile written(file);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(written.readAll());
  EXPECT_TRUE(text.startsWith("[other]\nVistrel-Path=keep me\n[Velmora]\nVistrel-Path=/opt/v b/vistrel\n"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("Reelforge-Path=/usr/bin/reelforge\n[last]\nx=1\n")) << text.toStdString();
  EXPECT_EQ(text.count("Vistrel-Path="), 2);
  ASSERT_TRUE(PlayerWriteKeys(dir.filePath("new/velmora.ini"), keys));  // a missing file and folder
  EXPECT_EQ(PlayerReadKeys(dir.filePath("new/velmora.ini")).wndClass, PLAYER_DEFAULT_CLASS);
}

TEST(PlayerLink, FilesArePlayedByTheChoiceOfTheirExtension) {
  QTemporaryDir dir;
  const QString movie = dir.filePath("clip.avi");
  QFile(movie).open(QIODevice::WriteOnly);
  std::vector<std::string> shown, asked;
  const auto previous =
      SetMessageBoxHook([&](MsgBox, const std::string&, const std::string& text) { shown.push_back(text); });
  const auto choice = [&](int32_t value) {
    return [&asked, value](const std::string& extension) {
      asked.push_back(extension);
      return value;
    };
  };
  PlayerKeys keys;
  keys.wndClass = "rf-test-nobody-listens";
  PlayFileByChoice(keys, dir.filePath("missing.avi").toStdString(), choice(PLAYER_CHOICE_VISTREL));
  PlayFileByChoice(keys, movie.toStdString(), choice(0));
  PlayFileByChoice(keys, movie.toStdString(), choice(PLAYER_CHOICE_VISTREL));
  SetMessageBoxHook(previous);
  EXPECT_EQ(asked, (std::vector<std::string>{".AVI", ".AVI"}));  // a missing file is not played at all
  EXPECT_EQ(
      shown,
      (std::vector<std::string>{
          "Internal player association for .AVI is invalid. Please change this in the Tools/Options/Playing dialog.",
          "Error in Vistrel settings. Please start Vistrel manually to fix this error."}));
}

class PlayerLinkProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    wndClass_ = "rf-test-" + QString::number(QCoreApplication::applicationPid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    log_ = dir_.filePath("peer.log");
  }
  void TearDown() override { QFile::remove(PlayerSocketPath(wndClass_)); }

  // Starts the stand-in player and waits until it listens.
  void StartPeer(QProcess& peer) {
    peer.start(RF_PLAYERLINK_PEER, {wndClass_, log_});
    ASSERT_TRUE(peer.waitForReadyRead(10000)) << "peer did not start";
    ASSERT_EQ(peer.readLine().trimmed(), "listening");
  }
  QStringList Log() const {
    QFile f(log_);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  // Waits until the log has n lines.
  QStringList WaitForLog(int n) {
    for (int i = 0; i < 500 && Log().size() < n; ++i) QTest::qWait(20);
    return Log();
  }

  QTemporaryDir dir_;
  QString wndClass_;
  QString log_;
};

TEST_F(PlayerLinkProcess, RunningPlayerReceivesBothChannelsEvenFromSplitWrites) {
  QProcess peer;
  StartPeer(peer);
  EXPECT_TRUE(IpcSendString(wndClass_, IPC_CHANNEL_OPEN, "a.avi"));
  // The same protocol written by hand, a few bytes at a time.
  QLocalSocket raw;
  raw.connectToServer(PlayerSocketPath(wndClass_));
  ASSERT_TRUE(raw.waitForConnected(2000));
  const QByteArray bytes = IpcEncode(257, "/data/clip one.hav", 19);
  for (qsizetype at = 0; at < bytes.size(); at += 5) {
    raw.write(bytes.mid(at, 5));
    raw.waitForBytesWritten(1000);
    QThread::msleep(2);
  }
  raw.disconnectFromServer();
  EXPECT_EQ(WaitForLog(2), QStringList({"open a.avi", "open /data/clip one.hav"}));
  PlayerKeys keys;
  keys.wndClass = wndClass_;
  EXPECT_TRUE(PlayerCloseFile(keys));
  ASSERT_TRUE(peer.waitForFinished(5000));
  EXPECT_EQ(Log().last(), "close");
}

TEST_F(PlayerLinkProcess, PlayerThatIsNotRunningIsStartedThroughTheOpenTemplate) {
  PlayerKeys keys;
  keys.wndClass = wndClass_;
  EXPECT_FALSE(IpcSendString(wndClass_, IPC_CHANNEL_OPEN, "x.hav"));  // nobody listens
  std::string shown;
  const auto previous = SetMessageBoxHook([&](MsgBox, const std::string&, const std::string& text) { shown = text; });
  EXPECT_FALSE(PlayerPlayFile(keys, "x.hav"));
  EXPECT_EQ(shown, "Error in Vistrel settings. Please start Vistrel manually to fix this error.");
  SetMessageBoxHook(previous);
  // The template starts the player with its class and log; the file then goes over the channel.
  keys.path = RF_PLAYERLINK_PEER;
  keys.date = "2026-01-01";
  keys.cmdOpen = "\"" + keys.path + "\" \"" + wndClass_ + "\" \"%s\"";
  ASSERT_TRUE(PlayerPlayFile(keys, log_.toStdString()));
  bool sent = false;
  for (int i = 0; i < 500 && !(sent = IpcSendString(wndClass_, IPC_CHANNEL_OPEN, "started.hav")); ++i)
    QThread::msleep(20);
  ASSERT_TRUE(sent);
  // An existing file goes to the running player, also when the run's worker thread asks.
  std::thread([&] { PlayerPlayFunction(keys)(log_.toStdString()); }).join();
  EXPECT_EQ(WaitForLog(2), QStringList({"open started.hav", "open " + log_}));
  EXPECT_TRUE(PlayerCloseFile(keys));
  EXPECT_EQ(WaitForLog(3).last(), "close");
}

TEST_F(PlayerLinkProcess, SocketOfADeadPlayerIsCleanedUpAndALiveOneIsKept) {
  QProcess peer;
  StartPeer(peer);
  PlayerLinkServer second;
  EXPECT_FALSE(second.Listen(wndClass_));  // the live player keeps its name
  ::kill(pid_t(peer.processId()), SIGKILL);
  ASSERT_TRUE(peer.waitForFinished(5000));
  ASSERT_TRUE(QFile::exists(PlayerSocketPath(wndClass_)));  // what the dead player left
  EXPECT_FALSE(IpcSendString(wndClass_, IPC_CHANNEL_OPEN, "lost.avi"));
  PlayerLinkServer fresh;
  ASSERT_TRUE(fresh.Listen(wndClass_));
  QSignalSpy opened(&fresh, &PlayerLinkServer::OpenFile);
  EXPECT_TRUE(IpcSendString(wndClass_, IPC_CHANNEL_OPEN, "found.avi"));
  ASSERT_TRUE(opened.wait(5000));
  EXPECT_EQ(opened.first().first().toString(), "found.avi");
}

}  // namespace
}  // namespace rf::ui
