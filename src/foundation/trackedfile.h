// Tracked files: every open file is registered under a handle so that guarded blocks can close
// what they opened and files left open are reported at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

// Open mode flags of FOpen and TXTOpen.
inline constexpr int32_t FM_READ = 1;    // read-only access
inline constexpr int32_t FM_WRITE = 2;   // write-only access (neither: read and write)
inline constexpr int32_t FM_CREATE = 4;  // create, truncating an existing file
inline constexpr int32_t FM_APPEND = 8;  // open an existing file at its end

inline constexpr int32_t FILE_MAX_HANDLES = 64;
inline constexpr int64_t FILE_NOT_SET = NOT_SET;

int32_t FOpen(int32_t& handle, std::string_view name, int32_t mode);
int32_t FRead(int32_t handle, void* buffer, int32_t count);
void FReadCount(int32_t handle, void* buffer, int32_t count, int32_t& done);
int32_t FWrite(int32_t handle, const void* buffer, int32_t count);
int32_t FSeek(int32_t handle, int64_t position);
int64_t FSize(int32_t handle);
int64_t FPos(int32_t handle);
void FClose(int32_t handle);
int32_t FDelete(std::string_view name);
int32_t FRename(std::string_view oldName, std::string_view newName);

// Text files: lines end in CR LF when written; reading accepts CR LF and LF.
int32_t TXTOpen(int32_t& handle, std::string_view name, int32_t mode);
int32_t TXTWrite(int32_t handle, std::string_view line);
// Reads the next line without its line end; false at the end of the file or on a bad handle.
bool TXTReadLn(int32_t handle, std::string& line);
void TXTClose(int32_t handle);

int32_t FCount();
// The name a handle was opened with, empty when the handle is unknown.
std::string FName(int32_t handle);
// Closes every entry from the last down to index first.
void FCloseFrom(int32_t first);
// Writes the files left open to the trace and closes them.
void FReportOpen();

}  // namespace rf
