// POSIX implementations of the kernel services the system asks of its platform.
#include "os/kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace rf::kernel {

namespace {

// Keeps a temporary's name within the file-name limit whatever the length of the target's name.
constexpr size_t kMaxTempBase = 200;

int OpenRetrying(const std::string& name, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The process's file mask, read once: setting it is the only way to read it.
mode_t ProcessMask() {
  static const mode_t mask = [] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
  }();
  return mask;
}

// Six letters and digits, different for every call of this process and between processes.
std::string UniqueTag() {
  static uint64_t counter = 0;
  static const uint64_t pid = uint64_t(::getpid());
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t v = (pid << 40) ^ uint64_t(ts.tv_nsec) ^ (++counter * 0x9E3779B97F4A7C15ull);
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string tag(6, '0');
  for (char& c : tag) {
    c = digits[v % 36];
    v /= 36;
  }
  return tag;
}

}  // namespace

int OpenFile(const std::string& name, Access access, Disposition disposition, int64_t* size) {
  // Non-blocking, so that a pipe without a writer or a device cannot hold the open; a regular file
  // ignores the flag.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (access) {
    case Access::ReadOnly:
      flags |= O_RDONLY;
      break;
    case Access::WriteOnly:
      flags |= O_WRONLY;
      break;
    case Access::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  // Truncating needs write access whatever the caller asked for.
  if (disposition == Disposition::CreateTruncate) {
    if (access == Access::ReadOnly) flags = (flags & ~O_ACCMODE) | O_RDWR;
    flags |= O_CREAT | O_TRUNC;
  }
  const int fd = OpenRetrying(name, flags, 0644);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    return -1;
  }
  if (size) *size = int64_t(st.st_size);
  return fd;
}

int CreateTempBeside(const std::string& target, std::string& tempName, const uint32_t* exactMode) {
  const size_t slash = target.rfind('/');
  const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string stem = target.substr(0, baseStart) + "." + target.substr(baseStart, kMaxTempBase) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem + UniqueTag();
    const mode_t mode = exactMode ? mode_t(*exactMode) : 0644;
    const int fd = OpenRetrying(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (fd >= 0) {
      // The mask only takes bits away: a call is needed only when it took some.
      if (exactMode && (mode & ProcessMask()) != 0) ::fchmod(fd, mode);
      tempName = std::move(name);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

int64_t ReadFileAt(int fd, void* buffer, int64_t count, int64_t position) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, p + done, size_t(count - done), off_t(position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? done : -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t WriteFileAt(int fd, const void* buffer, int64_t count, int64_t position) {
  const auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd, p + done, size_t(count - done), off_t(position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += n;
  }
  return done;
}

bool CloseFile(int fd) { return ::close(fd) == 0; }

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

NameKind KindOf(const std::string& name, uint32_t* mode, std::string* target) {
  struct stat st {};
  if (target) *target = name;
  if (::lstat(name.c_str(), &st) != 0) return NameKind::Missing;
  if (S_ISLNK(st.st_mode)) {
    if (target) {
      if (char* real = ::realpath(name.c_str(), nullptr)) {
        *target = real;
        std::free(real);
      }
    }
    if (::stat(name.c_str(), &st) != 0) return NameKind::Missing;
  }
  if (mode) *mode = uint32_t(st.st_mode & 07777);
  return S_ISREG(st.st_mode) ? NameKind::Regular : NameKind::Other;
}

bool MakeWritable(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return false;
  return ::chmod(name.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool DeleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool RenameFile(const std::string& oldName, const std::string& newName) {
  return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

namespace {

// One value in kB from /proc/meminfo, or -1 when the key is missing.
int64_t MemInfoKB(const char* key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  int64_t value;
  std::string unit;
  while (in >> name >> value) {
    std::getline(in, unit);
    if (name == key) return value;
  }
  return -1;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

std::string StripSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string ConfigHome() { return StripSlash(EnvOr("XDG_CONFIG_HOME", EnvOr("HOME", "/tmp") + "/.config")); }

}  // namespace

MemoryStatus GetMemoryStatus() {
  MemoryStatus m;
  struct sysinfo si {};
  if (::sysinfo(&si) == 0) {
    const uint64_t unit = si.mem_unit ? si.mem_unit : 1;
    m.totalPhysKB = uint64_t(si.totalram) * unit / 1024;
    m.availPhysKB = uint64_t(si.freeram) * unit / 1024;
    m.totalSwapKB = uint64_t(si.totalswap) * unit / 1024;
    m.availSwapKB = uint64_t(si.freeswap) * unit / 1024;
  }
  // The kernel's own estimate of what can be had without swapping is the truer "available".
  if (int64_t avail = MemInfoKB("MemAvailable:"); avail >= 0) m.availPhysKB = uint64_t(avail);
  return m;
}

DiskStatus GetDiskStatus(const std::string& path) {
  DiskStatus d;
  struct statvfs sv {};
  if (::statvfs(path.c_str(), &sv) == 0) {
    d.valid = true;
    d.totalKB = uint64_t(sv.f_blocks) * sv.f_frsize / 1024;
    d.freeKB = uint64_t(sv.f_bavail) * sv.f_frsize / 1024;
  }
  return d;
}

SystemVersion GetSystemVersion() {
  SystemVersion v;
  struct utsname u {};
  if (::uname(&u) != 0) {
    v.name = "N/A";
    return v;
  }
  v.name = u.sysname;
  unsigned parts[3] = {0, 0, 0};
  std::sscanf(u.release, "%u.%u.%u", &parts[0], &parts[1], &parts[2]);
  v.major = parts[0];
  v.minor = parts[1];
  v.build = parts[2];
  return v;
}

std::string ProcessorName() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    auto colon = line.find(':');
    if (colon == std::string::npos) break;
    auto start = line.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? "N/A" : line.substr(start);
  }
  return "N/A";
}

uint32_t ProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? uint32_t(n) : 1;
}

uint32_t TickCount() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

std::string ConfigDir() {
  if (const char* v = std::getenv("REELFORGE_CONFIG_DIR"); v && *v) return StripSlash(v);
  return ConfigHome() + "/reelforge";
}

std::string SharedIniPath() { return ConfigHome() + "/velmora.ini"; }

std::string TempDir() { return StripSlash(EnvOr("TMPDIR", "/tmp")); }

bool MakeDirs(const std::string& path) {
  if (path.empty()) return false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace rf::kernel
