// The file table behind FOpen, TXTOpen and their companions (trace labels "Basic.*"): buffered
// access, temporaries for created files and the output group.
#include "foundation/trackedfile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/trace.h"
#include "os/kernel.h"

namespace rf {
namespace {

// A file's first window is small, as most opens read a header only; a window that continues the
// last one is large, so that a whole picture moves in a few calls.
constexpr int32_t kSmallWindow = 64 * 1024;
constexpr int32_t kLargeWindow = 1024 * 1024;
// Buffers of closed files kept for the next ones: a run opens and closes files frame by frame.
constexpr size_t kSpareBuffers = 4;

struct Buffer {
  std::unique_ptr<uint8_t[]> data;
  int32_t capacity = 0;
  int64_t start = 0;                   // the file position of data[0]
  int32_t length = 0;                  // the bytes of data that hold the file's content
  int32_t dirtyFrom = 0, dirtyTo = 0;  // the part not yet written to the file; empty when equal
};

struct FileEntry {
  int32_t handle = NOT_SET;
  bool text = false;
  std::string name;    // as opened, for messages (at most 255 characters)
  std::string target;  // the file a created one replaces
  std::string temp;    // where a created file is written; empty when written in place
  int fd = -1;
  int64_t pos = 0, size = 0;
  bool failed = false;  // a write was lost: the file must not replace its target
  Buffer buf;
};

// A created file closed inside the output group, waiting for the group's end.
struct Pending {
  int32_t handle;
  std::string name, target, temp;
};

FileEntry g_files[FILE_MAX_HANDLES];
int32_t g_count = 0;
int32_t g_nextHandle = 1;
bool g_group = false;
std::vector<Pending> g_pending;
std::vector<std::unique_ptr<uint8_t[]>> g_spare[2];

int32_t Find(int32_t handle) {
  for (int32_t i = 0; i < g_count; ++i)
    if (g_files[i].handle == handle) return i;
  return NOT_SET;
}

int32_t Finish(int32_t result, Site site = {}) {
  ErrSet(6, result, site);
  return result;
}

// ---- buffers

std::vector<std::unique_ptr<uint8_t[]>>& SpareOf(int32_t capacity) { return g_spare[capacity == kLargeWindow]; }

void GiveBack(Buffer& b) {
  if (b.data && SpareOf(b.capacity).size() < kSpareBuffers) SpareOf(b.capacity).push_back(std::move(b.data));
  b = Buffer{};
}

void Reserve(Buffer& b, int32_t capacity) {
  if (b.capacity == capacity) return;
  GiveBack(b);
  auto& spare = SpareOf(capacity);
  if (spare.empty()) {
    b.data.reset(new uint8_t[size_t(capacity)]);
  } else {
    b.data = std::move(spare.back());
    spare.pop_back();
  }
  b.capacity = capacity;
}

// Writes out what the buffer holds for the file; false (and the file failed) when that fails.
bool Flush(FileEntry& e) {
  Buffer& b = e.buf;
  if (b.dirtyTo <= b.dirtyFrom) return true;
  const int64_t count = b.dirtyTo - b.dirtyFrom;
  const bool ok = kernel::WriteFileAt(e.fd, b.data.get() + b.dirtyFrom, count, b.start + b.dirtyFrom) == count;
  b.dirtyFrom = b.dirtyTo = 0;
  if (!ok) e.failed = true;
  return ok;
}

// Moves the buffer's window to the current position, empty. What the old one held for the file
// is written out first; a failure there marks the file failed.
void MoveWindow(FileEntry& e) {
  Buffer& b = e.buf;
  const bool continues = b.data && e.pos == b.start + b.length;
  Flush(e);
  Reserve(b, continues ? kLargeWindow : kSmallWindow);
  b.start = e.pos;
  b.length = 0;
}

int64_t Readable(const FileEntry& e) {
  const Buffer& b = e.buf;
  return e.pos >= b.start && e.pos < b.start + b.length ? b.start + b.length - e.pos : 0;
}

// Fills the window from the current position; false at the end of the file or on failure.
bool Refill(FileEntry& e) {
  MoveWindow(e);
  const int64_t n = kernel::ReadFileAt(e.fd, e.buf.data.get(), e.buf.capacity, e.pos);
  e.buf.length = int32_t(std::max<int64_t>(n, 0));
  return e.buf.length > 0;
}

// Reads up to count bytes; what the buffer holds is served from it, large reads go straight to
// the caller's memory.
int64_t ReadBuffered(FileEntry& e, uint8_t* out, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    if (const int64_t n = std::min(Readable(e), count - done); n > 0) {
      std::memcpy(out + done, e.buf.data.get() + (e.pos - e.buf.start), size_t(n));
      e.pos += n;
      done += n;
      continue;
    }
    if (count - done >= kLargeWindow) {
      Flush(e);
      const int64_t n = kernel::ReadFileAt(e.fd, out + done, count - done, e.pos);
      if (n > 0) {
        e.pos += n;
        done += n;
      }
      break;
    }
    if (!Refill(e)) break;
  }
  return done;
}

// Room in the window for a write at the current position, without leaving a gap in it.
int64_t Writable(const FileEntry& e) {
  const Buffer& b = e.buf;
  if (!b.data || e.pos < b.start || e.pos > b.start + b.length) return 0;
  return b.start + b.capacity - e.pos;
}

bool WriteBuffered(FileEntry& e, const uint8_t* in, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    if (const int64_t n = std::min(Writable(e), count - done); n > 0) {
      Buffer& b = e.buf;
      const auto at = int32_t(e.pos - b.start);
      std::memcpy(b.data.get() + at, in + done, size_t(n));
      b.dirtyFrom = b.dirtyTo > b.dirtyFrom ? std::min(b.dirtyFrom, at) : at;
      b.dirtyTo = std::max(b.dirtyTo, at + int32_t(n));
      b.length = std::max(b.length, b.dirtyTo);
      e.pos += n;
      done += n;
    } else if (count - done >= kLargeWindow) {
      Flush(e);
      // The window may overlap what goes straight to the file: it is dropped.
      e.buf.length = 0;
      const int64_t rest = count - done;
      if (kernel::WriteFileAt(e.fd, in + done, rest, e.pos) != rest) e.failed = true;
      e.pos += rest;
      done += rest;
    } else {
      MoveWindow(e);
    }
    e.size = std::max(e.size, e.pos);
  }
  return !e.failed;
}

// ---- the output group

std::vector<Pending>::iterator PendingOf(std::string_view name) {
  return std::find_if(g_pending.begin(), g_pending.end(),
                      [&](const Pending& p) { return p.name == name || p.target == name; });
}

void DropPending(std::vector<Pending>::iterator it) {
  kernel::DeleteFile(it->temp);
  g_pending.erase(it);
}

// Puts a temporary in the place of its target; false when the rename failed (the temporary is
// then removed).
bool Replace(const std::string& temp, const std::string& target) {
  if (kernel::RenameFile(temp, target)) return true;
  kernel::DeleteFile(temp);
  return false;
}

// ---- opening and closing

// Opens a file to be created under a temporary beside its target; false when it cannot be made.
bool OpenCreated(FileEntry& e, const std::string& path) {
  uint32_t mode = 0;
  switch (kernel::KindOf(path, &mode, &e.target)) {
    case kernel::NameKind::Other:
      return false;
    case kernel::NameKind::Regular:
      // The new file takes the old one's permissions, as an overwrite in place would keep them.
      e.fd = kernel::CreateTempBeside(e.target, e.temp, &mode);
      break;
    case kernel::NameKind::Missing:
      e.fd = kernel::CreateTempBeside(e.target, e.temp);
      break;
  }
  return e.fd >= 0;
}

// Writes out what is buffered for other handles of the file, so that this one sees it.
void FlushOthers(const std::string& path) {
  for (int32_t i = 0; i < g_count; ++i)
    if (g_files[i].name == path || g_files[i].temp == path) Flush(g_files[i]);
}

// Opens through the kernel and registers the file; returns the error code.
int32_t OpenTracked(int32_t& handle, std::string_view name, kernel::Access access, int32_t mode, bool text) {
  handle = NOT_SET;
  SetLastFileName(name);
  const std::string path(name);
  const int32_t failure = (mode & FM_CREATE) ? 2 : (mode & FM_APPEND) ? 7 : 1;
  // An injected failure happens before the kernel is asked, as a refused open would: nothing is
  // created.
  if (detail::FaultHit(Fault::Open)) return failure;
  // A full table is found before anything is created.
  if (g_count >= FILE_MAX_HANDLES) return 11;
  FileEntry e;
  e.text = text;
  e.name = path.substr(0, 255);
  if ((mode & FM_CREATE) && !(mode & FM_DIRECT)) {
    if (!OpenCreated(e, path)) return failure;
  } else {
    // A later step of a run reads what an earlier one wrote.
    const auto pending = PendingOf(path);
    const std::string& real = pending == g_pending.end() ? path : pending->temp;
    FlushOthers(real);
    const auto disposition = (mode & FM_CREATE)   ? kernel::Disposition::CreateTruncate
                             : (mode & FM_APPEND) ? kernel::Disposition::OpenAppend
                                                  : kernel::Disposition::OpenExisting;
    e.fd = kernel::OpenFile(real, access, disposition, &e.size);
    if (e.fd < 0) return failure;
    if (mode & FM_APPEND) e.pos = e.size;
  }
  e.handle = g_nextHandle++;
  handle = e.handle;
  g_files[g_count++] = std::move(e);
  return 0;
}

// Takes an entry out of the table, its buffer back to the spares.
FileEntry TakeOut(int32_t index) {
  FileEntry e = std::move(g_files[index]);
  --g_count;
  if (index != g_count) g_files[index] = std::move(g_files[g_count]);
  g_files[g_count] = FileEntry{};
  GiveBack(e.buf);
  return e;
}

// Closes an entry without keeping what it created; a file written in place keeps its writes.
void Discard(int32_t index) {
  FileEntry& f = g_files[index];
  if (f.temp.empty()) Flush(f);
  FileEntry e = TakeOut(index);
  kernel::CloseFile(e.fd);
  if (!e.temp.empty()) kernel::DeleteFile(e.temp);
}

// A created file closed normally: it replaces its target now, or waits in the group.
bool Settle(const FileEntry& e) {
  if (!g_group) return Replace(e.temp, e.target);
  // A name made again in the same run: the newer file is the one to keep.
  if (const auto older = PendingOf(e.target); older != g_pending.end()) DropPending(older);
  g_pending.push_back(Pending{e.handle, e.name, e.target, e.temp});
  return true;
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
  done = int32_t(ReadBuffered(g_files[i], static_cast<uint8_t*>(buffer), count));
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
  if (detail::FaultHit(Fault::Write)) {
    g_files[i].failed = true;
    return Finish(4);
  }
  return Finish(WriteBuffered(g_files[i], static_cast<const uint8_t*>(buffer), count) ? 0 : 4);
}

int32_t FSeek(int32_t handle, int64_t position) {
  TraceLabel scope("Basic.FSeek");
  const int32_t i = Find(handle);
  if (i == NOT_SET) return Finish(0);
  if (position < 0) return Finish(5);
  g_files[i].pos = position;
  return Finish(0);
}

int64_t FSize(int32_t handle) {
  const int32_t i = Find(handle);
  return i == NOT_SET ? FILE_NOT_SET : g_files[i].size;
}

int64_t FPos(int32_t handle) {
  const int32_t i = Find(handle);
  return i == NOT_SET ? FILE_NOT_SET : g_files[i].pos;
}

void FClose(int32_t handle) {
  TraceLabel scope("Basic.FClose");
  WarnClear();
  const int32_t i = Find(handle);
  if (i == NOT_SET) return;
  const bool flushed = Flush(g_files[i]);
  const bool written = flushed && !g_files[i].failed;
  FileEntry e = TakeOut(i);
  const bool closed = kernel::CloseFile(e.fd);
  if (e.temp.empty()) {
    if (!flushed) Finish(4);
    if (!closed) WarnSet(6, 8);
    return;
  }
  // A created file that may have lost data never replaces anything.
  if (!written || !closed) {
    kernel::DeleteFile(e.temp);
    Finish(4);
  } else if (!Settle(e)) {
    SetLastFileName(e.name);
    Finish(10);
  }
}

void FAbandon(int32_t handle) {
  if (const int32_t i = Find(handle); i != NOT_SET) {
    Discard(i);
    return;
  }
  const auto it =
      std::find_if(g_pending.begin(), g_pending.end(), [&](const Pending& p) { return p.handle == handle; });
  if (it != g_pending.end()) DropPending(it);
}

int32_t FDelete(std::string_view name) {
  TraceLabel scope("Basic.FDelete");
  SetLastFileName(name);
  if (const auto it = PendingOf(name); it != g_pending.end()) DropPending(it);
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
  return Finish(OpenTracked(handle, name, access, mode & (FM_CREATE | FM_APPEND | FM_DIRECT), true));
}

int32_t TXTWrite(int32_t handle, std::string_view line) {
  TraceLabel scope("Basic.TXTWrite");
  const int32_t i = Find(handle);
  if (i == NOT_SET) return Finish(0);
  std::string text(line);
  text += "\r\n";
  if (detail::FaultHit(Fault::Write)) {
    g_files[i].failed = true;
    return Finish(4);
  }
  return Finish(WriteBuffered(g_files[i], reinterpret_cast<const uint8_t*>(text.data()), int64_t(text.size())) ? 0 : 4);
}

bool TXTReadLn(int32_t handle, std::string& line) {
  line.clear();
  const int32_t i = Find(handle);
  if (i == NOT_SET) return false;
  FileEntry& f = g_files[i];
  bool any = false;
  for (;;) {
    if (Readable(f) == 0 && !Refill(f)) break;
    const auto* at = f.buf.data.get() + (f.pos - f.buf.start);
    const auto available = size_t(Readable(f));
    const auto* nl = static_cast<const uint8_t*>(std::memchr(at, '\n', available));
    const size_t n = nl ? size_t(nl - at) : available;
    line.append(reinterpret_cast<const char*>(at), n);
    f.pos += int64_t(n) + (nl ? 1 : 0);
    any = true;
    if (nl) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

void TXTClose(int32_t handle) { FClose(handle); }

int32_t FCount() { return g_count; }

std::string FName(int32_t handle) {
  const int32_t i = Find(handle);
  return i == NOT_SET ? std::string() : g_files[i].name;
}

void FCloseFrom(int32_t first) {
  for (int32_t i = g_count - 1; i >= first && i >= 0; --i) Discard(i);
}

void FReportOpen() {
  if (g_count == 0) return;
  std::string text = "Files not closed: " + std::to_string(g_count) + "\r\n";
  for (int32_t i = g_count - 1; i >= 0; --i) {
    text += "  " + g_files[i].name + "\r\n";
    Discard(i);
  }
  TraceWriteText(text);
}

bool FGroupBegin() {
  if (g_group) return false;
  g_group = true;
  return true;
}

void FGroupCommit() {
  TraceLabel scope("Basic.FGroupCommit");
  std::vector<Pending> pending;
  pending.swap(g_pending);
  g_group = false;
  std::sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) { return a.handle < b.handle; });
  std::string failed;
  for (const Pending& p : pending)
    if (!Replace(p.temp, p.target) && failed.empty()) failed = p.name;
  if (failed.empty()) return;
  SetLastFileName(failed);
  Finish(10);
}

void FGroupDiscard() {
  for (const Pending& p : g_pending) kernel::DeleteFile(p.temp);
  g_pending.clear();
  g_group = false;
}

void FGroupDrop(std::string_view name) {
  if (const auto it = PendingOf(name); it != g_pending.end()) DropPending(it);
}

}  // namespace rf
