// Tracked files: every open file is registered under a handle so that guarded blocks can close
// what they opened and files left open are reported at the end. Files are read and written
// through a buffer, and a created file is written under a temporary name that replaces the real
// one only when the file is closed normally (or, inside an output group, when the group commits),
// so that a failure never damages a file the user had.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

// Open mode flags of FOpen and TXTOpen.
inline constexpr int32_t FM_READ = 1;     // read-only access
inline constexpr int32_t FM_WRITE = 2;    // write-only access (neither: read and write)
inline constexpr int32_t FM_CREATE = 4;   // create, truncating an existing file
inline constexpr int32_t FM_APPEND = 8;   // open an existing file at its end
inline constexpr int32_t FM_DIRECT = 16;  // with FM_CREATE: write under the real name, visible at once

inline constexpr int32_t FILE_MAX_HANDLES = 64;
inline constexpr int64_t FILE_NOT_SET = NOT_SET;

int32_t FOpen(int32_t& handle, std::string_view name, int32_t mode);
int32_t FRead(int32_t handle, void* buffer, int32_t count);
void FReadCount(int32_t handle, void* buffer, int32_t count, int32_t& done);
int32_t FWrite(int32_t handle, const void* buffer, int32_t count);
int32_t FSeek(int32_t handle, int64_t position);
int64_t FSize(int32_t handle);
int64_t FPos(int32_t handle);
// Closes a file; a created one replaces its real name (or waits in the output group). A write
// that failed, now or earlier, is error 6/4 and the created file is removed instead.
void FClose(int32_t handle);
// Undoes a create: the file is closed and removed if still open, or dropped from the output group
// if it waits there; a file that already replaced its real name stays.
void FAbandon(int32_t handle);
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
// Closes every entry from the last down to index first; created files are removed.
void FCloseFrom(int32_t first);
// Writes the files left open to the trace and closes them; created files are removed.
void FReportOpen();

// The output group of a run: created files keep their temporary names after closing until the
// group commits (each replaces its real name, in the order they were created) or is discarded
// (every temporary removed). Opening a name that waits in the group opens what was written.
// Begin returns false when a group is open already: that one goes on, and its opener ends it.
bool FGroupBegin();
// A failed rename is error 6/10; the other files still replace theirs.
void FGroupCommit();
void FGroupDiscard();
// Removes what waits in the group under name; the file the name had before stays.
void FGroupDrop(std::string_view name);

}  // namespace rf
