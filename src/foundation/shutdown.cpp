// The end-of-run report of the foundation units, in the order they are finalised.
#include "foundation/shutdown.h"

#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {

void FoundationDone() {
  MonReportHanging();
  MemReportLeaks();
  FReportOpen();
}

}  // namespace rf
