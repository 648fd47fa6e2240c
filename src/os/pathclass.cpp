// Path classification by stat and an access check with the effective ids.
#include "os/pathclass.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rf::kernel {

PathClass ClassifyPath(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return errno == EACCES ? PathClass::NoPermission : PathClass::Missing;
  if (S_ISDIR(st.st_mode)) return PathClass::Folder;
  if (!S_ISREG(st.st_mode)) return PathClass::NotRegular;
  if (::faccessat(AT_FDCWD, name.c_str(), R_OK, AT_EACCESS) != 0) return PathClass::NoPermission;
  return st.st_size == 0 ? PathClass::Empty : PathClass::Readable;
}

}  // namespace rf::kernel
