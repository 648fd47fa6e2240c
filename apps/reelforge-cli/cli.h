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

// The commands that run a job: what they take and what they do with it.
enum class JobCommand { Render, Convert, CountColors, Average };

int CmdInfo(int argc, char** argv);
int CmdRender(int argc, char** argv, JobCommand command);
int CmdDemo(int argc, char** argv);
int CmdCodecs(int argc, char** argv);
int CmdSession(int argc, char** argv);

// Reads the preferences the desktop program shares: default frame rate, extensions, temporary
// folder.
void ApplyPreferences();
// render SESSION.rfs or render --list FILE.vfl: the arguments name saved work, not inputs.
bool RendersSaved(int argc, char** argv);
int RenderSaved(int argc, char** argv);
// session new: the project render builds is saved to the session instead of run.
bool BuildsSession();
int SaveBuiltSession(const Project& project);
// name with the preferred video (pictures) or audio extension when it has none.
std::string WithDefaultExtension(const std::string& name, bool pictures);

}  // namespace rf::cli
