// Any bytes opened as a session end cleanly: scanned and loaded whole, they leave no tracked
// block, no open file and no guarded block behind, whatever they hold.
#include <cstdint>
#include <cstdlib>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"
#include "persistence/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "session", ".rfs");
  if (!input.ok()) return 0;
  rf::SetMessageBoxHook([](rf::MsgBox, const std::string&, const std::string&) {});
  // Yes to the newer-version question, so that every version's chunks are read.
  rf::SetQuestionHook([](rf::Buttons, const std::string&, const std::string&) { return rf::Answer::Yes; });
  {
    rf::Project project;
    rf::SessionSections present;
    rf::SessionScan(input.path(), present);
    rf::SessionLoadFromFile(input.path(), project, rf::SessionSections{true, true, true, false});
    rf::ErrClear();
  }
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
