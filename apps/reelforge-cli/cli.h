// The commands of the command-line program and what they share.
#pragma once

#include <string>
#include <vector>

#include "engine/batchjob.h"

namespace rf::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kInterrupted = 130;

struct ProgressMode {
  bool quiet = false;
  bool machine = false;
};

// Prints "reelforge-cli: message" on standard error and returns status.
int Fail(int status, const std::string& message);
// The error register's message with the file it concerns, and clears the register.
std::string TakeError();

int CmdInfo(int argc, char** argv);
int CmdRender(int argc, char** argv, bool convertShorthand);
int CmdDemo(int argc, char** argv);
int CmdCodecs(int argc, char** argv);
int CmdSession(int argc, char** argv);

// Reads the preferences the desktop program shares: default frame rate, extensions, temporary
// folder.
void ApplyPreferences();
// name with the preferred video (pictures) or audio extension when it has none.
std::string WithDefaultExtension(const std::string& name, bool pictures);

// Runs a job with progress on standard error and the Ctrl-C handling; prints what was written.
int RunJob(const BatchJob& job, const ProgressMode& mode);

}  // namespace rf::cli
