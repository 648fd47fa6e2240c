// The work a session holds and a run reads: the edit list, the effect chain and the output
// definition, with the few ways every front end adds to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "editlist/mmedit.h"
#include "effects/fnchain.h"
#include "engine/outdef.h"

namespace rf {

struct Project {
  Project();
  ~Project();
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  MMList list;
  QFnChain chain;  // entries allocated by ProjectInsertEffect, owned by the project
  OutputDef output{};
  // The tracked variables of the blocks the project allocated: a failing guarded block releases
  // a block through its variable, so every variable lives as long as the project.
  std::deque<MMBlockRec*> blockVariables;
};

// A tracked copy of rec for insertion into one of the project's block lists.
MMBlockRec* ProjectNewBlock(Project& project, const MMBlockRec& rec);

// Appends a file: a video block and a linked audio block when it carries both. first and last
// trim it in frames (0-based, inclusive; NOT_SET keeps that end) and cut the sound at the same
// times. False with the error register set when the file gives nothing to put in a list.
bool ProjectAddFile(Project& project, const std::string& name, bool sequences, int32_t first = NOT_SET,
                    int32_t last = NOT_SET);
// Appends a silence block of that many seconds to the audio list.
void ProjectAddSilence(Project& project, double seconds);

// Inserts a copy of entry (with a copy of params, which may be nil) into the chain at position
// (clamped to the chain) and returns the project's entry.
QFnEntry& ProjectInsertEffect(Project& project, size_t position, const QFnEntry& entry, const QFnParams* params);
// An entry for effect id with the given values (the rest at their defaults, each clamped to its
// range) and the frame range first..last, appended to the chain.
QFnEntry& ProjectAddEffect(Project& project, int32_t id, const double* values, int32_t valueCount, int32_t first,
                           int32_t last);
void ProjectDeleteEffect(Project& project, size_t position);

// Empties the edit list and the chain; the output definition is left alone.
void ProjectClear(Project& project);

}  // namespace rf
