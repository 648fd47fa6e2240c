// The file table behind FOpen, TXTOpen and their companions (trace labels "Basic.*").
#include "foundation/trackedfile.h"

#include <string>

#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/trace.h"
#include "os/kernel.h"

namespace rf {
namespace {

struct FileEntry {
  int32_t handle = NOT_SET;
  bool text = false;
  std::string name;
  int fd = -1;
  std::string pending;  // text read ahead but not yet returned as a line
  bool eof = false;
};

FileEntry g_files[FILE_MAX_HANDLES];
int32_t g_count = 0;
int32_t g_nextHandle = 1;

int32_t Find(int32_t handle) {
  for (int32_t i = 0; i < g_count; ++i)
    if (g_files[i].handle == handle) return i;
  return NOT_SET;
}

// Opens through the kernel and registers the file; returns the error code.
int32_t OpenTracked(int32_t& handle, std::string_view name, kernel::Access access, int32_t mode, bool text) {
  handle = NOT_SET;
  SetLastFileName(name);
  const std::string path(name);
  int fd = -1;
  const int32_t failure = (mode & FM_CREATE) ? 2 : (mode & FM_APPEND) ? 7 : 1;
  // An injected failure happens before the kernel is asked, as a refused open would: nothing is
  // created.
  if (detail::FaultHit(Fault::Open)) return failure;
  // A full table is found before anything is created.
  if (g_count >= FILE_MAX_HANDLES) return 11;
  if (mode & FM_CREATE) {
    fd = kernel::OpenFile(path, access, kernel::Disposition::CreateTruncate);
  } else if (mode & FM_APPEND) {
    fd = kernel::OpenFile(path, access, kernel::Disposition::OpenAppend);
    if (fd >= 0 && kernel::SeekEnd(fd) < 0) {
      kernel::CloseFile(fd);
      return 5;
    }
  } else {
    fd = kernel::OpenFile(path, access, kernel::Disposition::OpenExisting);
  }
  if (fd < 0) return failure;
  g_files[g_count] = FileEntry{g_nextHandle, text, path.substr(0, 255), fd, {}, false};
  handle = g_nextHandle++;
  ++g_count;
  return 0;
}

// Closes an entry and moves the last entry into its slot; false when the close failed.
bool CloseEntry(int32_t index) {
  const bool ok = kernel::CloseFile(g_files[index].fd);
  --g_count;
  if (index != g_count) g_files[index] = std::move(g_files[g_count]);
  g_files[g_count] = FileEntry{};
  return ok;
}

int32_t Finish(int32_t result, Site site = {}) {
  ErrSet(6, result, site);
  return result;
}

}  // namespace

int32_t FOpen(int32_t& handle, std::string_view name, int32_t mode) {
  TraceLabel scope("Basic.FOpen");
  const auto access = (mode & FM_READ)    ? kernel::Access::ReadOnly
                      : (mode & FM_WRITE) ? kernel::Access::WriteOnly
                                          : kernel::Access::ReadWrite;
  return Finish(OpenTracked(handle, name, access, mode, false));
}

void FReadCount(int32_t handle, void* buffer, int32_t count, int32_t& done) {
  done = 0;
  const int32_t i = Find(handle);
  if (i == NOT_SET || count < 1) return;
  if (detail::FaultHit(Fault::Read)) return;
  const int64_t n = kernel::ReadFile(g_files[i].fd, buffer, count);
  done = n > 0 ? int32_t(n) : 0;
}

int32_t FRead(int32_t handle, void* buffer, int32_t count) {
  TraceLabel scope("Basic.FRead");
  if (Find(handle) == NOT_SET || count < 1) return Finish(0);
  int32_t done;
  FReadCount(handle, buffer, count, done);
  return Finish(done < count ? 3 : 0);
}

int32_t FWrite(int32_t handle, const void* buffer, int32_t count) {
  TraceLabel scope("Basic.FWrite");
  const int32_t i = Find(handle);
  if (i == NOT_SET || count < 1) return Finish(0);
  if (detail::FaultHit(Fault::Write)) return Finish(4);
  return Finish(kernel::WriteFile(g_files[i].fd, buffer, count) < count ? 4 : 0);
}

int32_t FSeek(int32_t handle, int64_t position) {
  TraceLabel scope("Basic.FSeek");
  const int32_t i = Find(handle);
  if (i == NOT_SET) return Finish(0);
  g_files[i].pending.clear();
  g_files[i].eof = false;
  return Finish(kernel::SeekFile(g_files[i].fd, position) ? 0 : 5);
}

int64_t FSize(int32_t handle) {
  const int32_t i = Find(handle);
  if (i == NOT_SET) return FILE_NOT_SET;
  const int64_t size = kernel::FileSize(g_files[i].fd);
  return size < 0 ? FILE_NOT_SET : size;
}

int64_t FPos(int32_t handle) {
  const int32_t i = Find(handle);
  if (i == NOT_SET) return FILE_NOT_SET;
  const int64_t pos = kernel::FilePosition(g_files[i].fd);
  return pos < 0 ? FILE_NOT_SET : pos - int64_t(g_files[i].pending.size());
}

void FClose(int32_t handle) {
  TraceLabel scope("Basic.FClose");
  WarnClear();
  const int32_t i = Find(handle);
  if (i == NOT_SET) return;
  if (!CloseEntry(i)) WarnSet(6, 8);
}

int32_t FDelete(std::string_view name) {
  TraceLabel scope("Basic.FDelete");
  SetLastFileName(name);
  const std::string path(name);
  if (!kernel::FileExists(path)) return Finish(0);
  kernel::MakeWritable(path);
  return Finish(kernel::DeleteFile(path) ? 0 : 6);
}

int32_t FRename(std::string_view oldName, std::string_view newName) {
  TraceLabel scope("Basic.FRename");
  SetLastFileName(oldName);
  const std::string from(oldName), to(newName);
  const bool ok = kernel::FileExists(from) && !kernel::FileExists(to) && kernel::RenameFile(from, to);
  Finish(ok ? 0 : 10);
  return 0;
}

int32_t TXTOpen(int32_t& handle, std::string_view name, int32_t mode) {
  TraceLabel scope("Basic.TXTOpen");
  const auto access = (mode & (FM_CREATE | FM_APPEND)) ? kernel::Access::WriteOnly : kernel::Access::ReadOnly;
  return Finish(OpenTracked(handle, name, access, mode & (FM_CREATE | FM_APPEND), true));
}

int32_t TXTWrite(int32_t handle, std::string_view line) {
  TraceLabel scope("Basic.TXTWrite");
  const int32_t i = Find(handle);
  if (i == NOT_SET) return Finish(0);
  std::string text(line);
  text += "\r\n";
  if (detail::FaultHit(Fault::Write)) return Finish(4);
  return Finish(kernel::WriteFile(g_files[i].fd, text.data(), int64_t(text.size())) < int64_t(text.size()) ? 4 : 0);
}

bool TXTReadLn(int32_t handle, std::string& line) {
  line.clear();
  const int32_t i = Find(handle);
  if (i == NOT_SET) return false;
  FileEntry& f = g_files[i];
  size_t nl;
  while ((nl = f.pending.find('\n')) == std::string::npos && !f.eof) {
    char chunk[4096];
    const int64_t n = kernel::ReadFile(f.fd, chunk, sizeof chunk);
    if (n <= 0)
      f.eof = true;
    else
      f.pending.append(chunk, size_t(n));
  }
  if (nl == std::string::npos) {
    if (f.pending.empty()) return false;
    line.swap(f.pending);
    f.pending.clear();
  } else {
    line.assign(f.pending, 0, nl);
    f.pending.erase(0, nl + 1);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void TXTClose(int32_t handle) { FClose(handle); }

int32_t FCount() { return g_count; }

std::string FName(int32_t handle) {
  const int32_t i = Find(handle);
  return i == NOT_SET ? std::string() : g_files[i].name;
}

void FCloseFrom(int32_t first) {
  for (int32_t i = g_count - 1; i >= first && i >= 0; --i) {
    if (g_files[i].text)
      TXTClose(g_files[i].handle);
    else
      FClose(g_files[i].handle);
  }
}

void FReportOpen() {
  if (g_count == 0) return;
  std::string text = "Files not closed: " + std::to_string(g_count) + "\r\n";
  for (int32_t i = g_count - 1; i >= 0; --i) {
    text += "  " + g_files[i].name + "\r\n";
    CloseEntry(i);
  }
  TraceWriteText(text);
}

}  // namespace rf
