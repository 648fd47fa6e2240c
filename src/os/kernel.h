// Stand-in for the Windows kernel services: files, memory and disk status, processor, clock, folders.
#pragma once

#include <cstdint>
#include <string>

namespace rf::kernel {

enum class Access { ReadWrite, ReadOnly, WriteOnly };
enum class Disposition { OpenExisting, CreateTruncate, OpenAppend };

// A POSIX file descriptor; -1 when an open fails. Only regular files open: a pipe, a device or a
// folder is refused at once, without waiting for a writer or a device. size, when given, receives
// the file's size.
int OpenFile(const std::string& name, Access access, Disposition disposition, int64_t* size = nullptr);
// Creates a new, hidden file in the folder of target, named after it with a unique ending, for
// reading and writing; returns its descriptor and sets tempName, or -1. Its permission bits are
// exactMode when given, whatever the process's file mask, else those of any new file.
int CreateTempBeside(const std::string& target, std::string& tempName, const uint32_t* exactMode = nullptr);
// Reads or writes up to count bytes at position, retrying on interruption; returns the bytes moved
// or -1.
int64_t ReadFileAt(int fd, void* buffer, int64_t count, int64_t position);
int64_t WriteFileAt(int fd, const void* buffer, int64_t count, int64_t position);
bool CloseFile(int fd);

bool FileExists(const std::string& name);
// What a name holds, following links; target, when given, receives the file a link points at
// (else the name itself).
enum class NameKind { Missing, Regular, Other };
NameKind KindOf(const std::string& name, uint32_t* mode = nullptr, std::string* target = nullptr);
bool MakeWritable(const std::string& name);
bool DeleteFile(const std::string& name);
bool RenameFile(const std::string& oldName, const std::string& newName);

struct MemoryStatus {
  uint64_t totalPhysKB = 0, availPhysKB = 0, totalSwapKB = 0, availSwapKB = 0;
};
MemoryStatus GetMemoryStatus();

struct DiskStatus {
  bool valid = false;
  uint64_t totalKB = 0, freeKB = 0;
};
DiskStatus GetDiskStatus(const std::string& path);

struct SystemVersion {
  std::string name;  // kernel name, "Linux"
  uint32_t major = 0, minor = 0, build = 0;
};
SystemVersion GetSystemVersion();
std::string ProcessorName();
uint32_t ProcessorCount();

// Milliseconds from an arbitrary fixed point, never going backwards.
uint32_t TickCount();

// The folder for "Reelforge.ini" and "Reelforge.log": $REELFORGE_CONFIG_DIR, else
// $XDG_CONFIG_HOME/reelforge, else ~/.config/reelforge (without the final "/").
std::string ConfigDir();
// The file shared with the player: velmora.ini in $XDG_CONFIG_HOME (or its fallback).
std::string SharedIniPath();
// $TMPDIR, else /tmp (without the final "/").
std::string TempDir();
// Creates the folder and its parents; true when it exists afterwards.
bool MakeDirs(const std::string& path);

}  // namespace rf::kernel
