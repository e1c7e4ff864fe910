// Checks on a path the user gave, made before the file is opened, so that the message names
// what is really wrong instead of what the reading trips over later.
#pragma once

#include <string>

namespace clipvane {

// Throws EClipvaneError("\"PATH\" is a folder"; problem "a folder, not a file") when the path
// names a folder.
void RefuseFolder(const std::string& path);

}  // namespace clipvane
