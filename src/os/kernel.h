// Stand-in for the Windows kernel services: files, memory and disk status, processor, clock, folders.
#pragma once

#include <cstdint>
#include <string>

namespace rf::kernel {

enum class Access { ReadWrite, ReadOnly, WriteOnly };
enum class Disposition { OpenExisting, CreateTruncate, OpenAppend };

// A POSIX file descriptor; -1 when an open fails.
int OpenFile(const std::string& name, Access access, Disposition disposition);
// Reads or writes up to count bytes, retrying on interruption; returns the bytes moved or -1.
int64_t ReadFile(int fd, void* buffer, int64_t count);
int64_t WriteFile(int fd, const void* buffer, int64_t count);
bool SeekFile(int fd, int64_t position);
int64_t SeekEnd(int fd);
int64_t FilePosition(int fd);
int64_t FileSize(int fd);
bool CloseFile(int fd);

bool FileExists(const std::string& name);
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
