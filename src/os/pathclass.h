// What a path names, told from its metadata alone: nothing is opened, so a pipe never blocks.
#pragma once

#include <string>

namespace rf::kernel {

enum class PathClass {
  Readable,      // a regular file with content that this process may read
  Missing,       // nothing by that name (or a path through something that is no folder)
  Folder,        // a directory
  NotRegular,    // a pipe, a device or a socket
  NoPermission,  // this process may not read it, or not look into a folder on the way
  Empty,         // a regular file of no bytes
};

PathClass ClassifyPath(const std::string& name);

}  // namespace rf::kernel
