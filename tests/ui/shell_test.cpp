// Shell integration: the desktop program's command line, the MIME types of the entries, and the
// verb and shortcut written into (and removed from) the user's folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <set>

#include "formats/ffdesc.h"
#include "ui/shell.h"
#include "ui/shell_cmdline.h"

namespace rf::ui {
namespace {

TEST(ShellCommandLine, OpenSwitchesAndUninstall) {
  const struct {
    std::string line;
    std::vector<std::string> files;
    bool uninstall;
  } cases[] = {
      {R"(reelforge /Open:"a.avi" /open:"c:\x y\b.gif")", {"a.avi", "c:\\x y\\b.gif"}, false},
      {R"(reelforge /OPEN:"a.avi" /Open:"broken.avi)", {"a.avi"}, false},
      {R"(reelforge /Open:no-quotes.avi)", {}, false},
      {R"(reelforge /UnInst)", {}, true},
      {R"(reelforge /Open:"/uninst.avi")", {"/uninst.avi"}, false},  // cut out before the switch is looked for
      {R"(/Open:"1"/Open:"2"/Open:"")", {"1", "2", ""}, false},
  };
  for (const auto& c : cases) {
    const ShellCommand got = ParseShellCommandLine(c.line);
    EXPECT_EQ(got.files, c.files) << c.line;
    EXPECT_EQ(got.uninstall, c.uninstall) << c.line;
  }
}

TEST(ShellCommandLine, ArgumentsAsTheShellPassesThem) {
  const ShellCommand got =
      ParseShellArguments({"/Open:/home/u/my clip.avi", "/home/u/b.gif", "/OPEN:\"q.hav\"", "", "/home/u/uninst"});
  EXPECT_EQ(got.files, (std::vector<std::string>{"/home/u/my clip.avi", "/home/u/b.gif", "q.hav", "/home/u/uninst"}));
  EXPECT_FALSE(got.uninstall);
  EXPECT_TRUE(ParseShellArguments({"/uninst"}).uninstall);
}

std::set<std::string> EntryMimeTypes(const QString& path) {
  QFile entry(path);
  std::set<std::string> types;
  if (!entry.open(QIODevice::ReadOnly | QIODevice::Text)) return types;
  for (const QByteArray& line : entry.readAll().split('\n'))
    if (line.startsWith("MimeType="))
      for (const QByteArray& t : line.mid(9).split(';'))
        if (!t.isEmpty()) types.insert(t.toStdString());
  return types;
}

TEST(ShellMime, EveryReadableExtensionHasATypeAndTheEntriesListThemAll) {
  QffDesc desc;
  for (int32_t i = 0; FFGetDescByIndex(i, FF_LOAD_TABLE, desc); ++i) {
    for (size_t at = 0; at < desc.extensions.size();) {
      const size_t next = std::min(desc.extensions.find('.', at + 1), desc.extensions.size());
      const std::string ext = desc.extensions.substr(at + 1, next - at - 1);
      const auto& table = ShellMimeTable();
      EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&](const ShellMimeRow& r) { return ext == r.extension; }))
          << ext;
      at = next;
    }
  }
  const std::vector<std::string> all = ShellMimeTypes();
  std::set<std::string> played(all.begin(), all.end());
  played.erase(SHELL_SESSION_TYPE);
  EXPECT_EQ(EntryMimeTypes(RF_SOURCE_DIR "/data/reelforge.desktop"), std::set<std::string>(all.begin(), all.end()));
  EXPECT_EQ(EntryMimeTypes(RF_SOURCE_DIR "/data/vistrel.desktop"), played);
  // Our MIME package declares every glob the shared database lacks.
  QFile xml(RF_SOURCE_DIR "/data/reelforge-mime.xml");
  ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
  const QByteArray text = xml.readAll();
  for (const ShellMimeRow& r : ShellMimeTable())
    EXPECT_EQ(text.contains("pattern=\"*." + QByteArray(r.extension) + "\""), r.ours) << r.extension;
}

TEST(ShellIntegration, VerbIsCreatedAndRemovedAndTheShortcutGoesOnTheDesktop) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QByteArray oldData = qgetenv("XDG_DATA_HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
  QDir().mkpath(home.filePath("config"));
  QFile dirs(home.filePath("config/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write(("XDG_DESKTOP_DIR=\"" + home.filePath("Schreibtisch") + "\"\n").toLocal8Bit());
  dirs.close();

  ASSERT_EQ(ShellVerbPath(), home.filePath("data/applications/reelforge-open.desktop").toStdString());
  ASSERT_TRUE(ShellCreateVerb("/opt/rf/bin/reelforge"));
  const QString verb = QString::fromStdString(ShellVerbPath());
  const std::vector<std::string> all = ShellMimeTypes();
  EXPECT_EQ(EntryMimeTypes(verb), std::set<std::string>(all.begin(), all.end()));
  EXPECT_EQ(QProcess::execute("desktop-file-validate", {verb}), 0);
  ASSERT_TRUE(ShellRemoveVerb());
  EXPECT_FALSE(QFile::exists(verb));
  EXPECT_TRUE(ShellRemoveVerb());  // removing what is not there is no failure

  EXPECT_EQ(ShellDesktopFolder(), home.filePath("Schreibtisch").toStdString());
  ASSERT_TRUE(ShellCreateDesktopShortcut("/opt/rf/bin/reelforge"));
  const QString shortcut = home.filePath("Schreibtisch/reelforge.desktop");
  EXPECT_TRUE(QFileInfo(shortcut).isExecutable());
  EXPECT_EQ(QProcess::execute("desktop-file-validate", {shortcut}), 0);
  for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", oldData}, std::pair{"XDG_CONFIG_HOME", oldConfig}})
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
}

}  // namespace
}  // namespace rf::ui
