// Checks on user-given paths.
#include "core/file_checks.h"

#include <sys/stat.h>

#include "core/error.h"

namespace clipvane {

void RefuseFolder(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    throw EClipvaneError("\"" + path + "\" is a folder", path, "a folder, not a file");
}

}  // namespace clipvane
