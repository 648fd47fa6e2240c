// XDG shell integration: desktop entries written into the user's folders.
#include "ui/shell.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <set>

#include "formats/ffdesc.h"
#include "foundation/errors.h"

namespace rf::ui {
namespace {

constexpr char kVerbFile[] = "reelforge-open.desktop";
constexpr char kShortcutFile[] = "reelforge.desktop";

// Splits ".gif.giff" into its extensions without dots.
std::vector<std::string> SplitExtensions(const std::string& list) {
  std::vector<std::string> out;
  for (size_t at = 0; at < list.size();) {
    const size_t next = list.find('.', at + 1);
    out.push_back(list.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
    at = next == std::string::npos ? list.size() : next;
  }
  return out;
}

std::string MimeList(const std::vector<std::string>& types) {
  std::string out;
  for (const std::string& t : types) out += t + ";";
  return out;
}

bool WriteText(const QString& path, const std::string& text, bool executable) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const bool ok = file.write(text.data(), qint64(text.size())) == qint64(text.size());
  if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
  return ok;
}

// Lets the desktop see a changed applications folder; a missing tool only delays that.
void RefreshApplications(const QString& folder) {
  if (!QStandardPaths::findExecutable("update-desktop-database").isEmpty())
    QProcess::execute("update-desktop-database", {folder});
}

}  // namespace

const std::vector<ShellMimeRow>& ShellMimeTable() {
  static const std::vector<ShellMimeRow> table = {
      {"hav", "video/x-hav", true},
      {"gif", "image/gif", false},
      {"giff", "image/gif", true},
      {"bmp", "image/bmp", false},
      {"dib", "image/bmp", false},
      {"rle", "image/rle", false},
      {"flc", "video/x-flic", false},
      {"fli", "video/x-flic", false},
      {"ras", "image/x-cmu-raster", false},
      {"sun", "image/x-sun-raster", false},
      {"rgb", "image/x-rgb", false},
      {"rgba", "image/x-sgi", true},
      {"bw", "image/x-sgi", true},
      {"sgi", "image/x-sgi", false},
      {"pnm", "image/x-portable-anymap", false},
      {"ppm", "image/x-portable-pixmap", false},
      {"pgm", "image/x-portable-graymap", false},
      {"pbm", "image/x-portable-bitmap", false},
      {"pcx", "image/vnd.zbrush.pcx", false},
      {"png", "image/png", false},
      {"avi", "video/x-msvideo", false},
      {"wav", "audio/x-wav", false},
      {"jpg", "image/jpeg", false},
      {"jpeg", "image/jpeg", false},
      {"jif", "image/jpeg", true},
      {"jfif", "image/jpeg", true},
      {"jpe", "image/jpeg", false},
      {"J", "image/jpeg", true},
      {"tif", "image/tiff", false},
      {"tiff", "image/tiff", false},
      {"mpg", "video/mpeg", false},
      {"mpeg", "video/mpeg", false},
      {"m1v", "video/mpeg", true},
      {"m2v", "video/mpeg", true},
      {"mpe", "video/mpeg", false},
      {"tga", "image/x-tga", false},
      {"bay", "image/x-bay", true},
      {"xpm", "image/x-xpixmap", false},
      {"mp3", "audio/mpeg", false},
      {"mpa", "audio/mpeg", true},
      {"mp2", "audio/mp2", false},
      {"mp4", "video/mp4", false},
      {"m4v", "video/mp4", false},
      {"mov", "video/quicktime", false},
      {"mkv", "video/x-matroska", false},
      {"webm", "video/webm", false},
      {"3gp", "video/3gpp", false},
      {"ts", "video/mp2t", false},
      {"rfs", SHELL_SESSION_TYPE, true},
  };
  return table;
}

std::vector<std::string> ShellMimeTypes() {
  std::set<std::string> types = {SHELL_SESSION_TYPE};
  QffDesc desc;
  for (int32_t i = 0; FFGetDescByIndex(i, FF_LOAD_TABLE, desc); ++i) {
    for (const std::string& ext : SplitExtensions(desc.extensions)) {
      const auto& table = ShellMimeTable();
      const auto row =
          std::find_if(table.begin(), table.end(), [&](const ShellMimeRow& r) { return ext == r.extension; });
      if (row != table.end()) types.insert(row->mimeType);
    }
  }
  return {types.begin(), types.end()};
}

std::string ShellVerbEntry(const std::string& programPath) {
  return "[Desktop Entry]\nType=Application\nName=Open with Reelforge\nIcon=reelforge\nExec=\"" + programPath +
         "\" /Open:%f\nMimeType=" + MimeList(ShellMimeTypes()) + "\nNoDisplay=true\nTerminal=false\n";
}

std::string ShellVerbPath() {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return QDir(data).filePath(QString("applications/") + kVerbFile).toStdString();
}

std::string ShellDesktopFolder() {
  QProcess ask;
  ask.start("xdg-user-dir", {"DESKTOP"});
  if (ask.waitForFinished(5000) && ask.exitCode() == 0) {
    const QString folder = QString::fromLocal8Bit(ask.readAllStandardOutput()).trimmed();
    if (!folder.isEmpty()) return folder.toStdString();
  }
  return QDir::home().filePath("Desktop").toStdString();
}

bool ShellCreateVerb(const std::string& programPath) {
  const QString path = QString::fromStdString(ShellVerbPath());
  if (!WriteText(path, ShellVerbEntry(programPath), false)) return false;
  RefreshApplications(QFileInfo(path).absolutePath());
  return true;
}

bool ShellRemoveVerb() {
  const QString path = QString::fromStdString(ShellVerbPath());
  if (QFile::exists(path) && !QFile::remove(path)) return false;
  RefreshApplications(QFileInfo(path).absolutePath());
  return true;
}

bool ShellCreateDesktopShortcut(const std::string& programPath) {
  const std::string entry = "[Desktop Entry]\nType=Application\nName=Reelforge\nIcon=reelforge\nExec=\"" + programPath +
                            "\" %F\nTerminal=false\n";
  return WriteText(QDir(QString::fromStdString(ShellDesktopFolder())).filePath(kShortcutFile), entry, true);
}

void ShellCreateVerbCommand(const std::string& programPath) {
  if (ShellCreateVerb(programPath))
    ShowInfoBox(
        "Shell extension created. When you right-click a media file in Windows Explorer you will now find "
        "\"Open with Reelforge\" command.");
}

void ShellRemoveVerbCommand() {
  if (ShellRemoveVerb()) ShowInfoBox("Shell extensions removed.");
}

}  // namespace rf::ui
