// The end-of-run report: hanging guarded blocks, blocks not freed and files not closed.
#pragma once

namespace rf {

// Writes the report to the trace (when it is active) and releases what was left; programs call
// it last, after their own cleanup.
void FoundationDone();

}  // namespace rf
