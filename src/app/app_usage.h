// The window program's command line: `clipvane [VIDEO]`, --help and --version, as a usage
// table that its --help, its man page and its parser share. Plain C++: the man page is
// written at build time without Qt.
#pragma once

#include <string>
#include <vector>

#include "usage/usage_model.h"

namespace clipvane {

const usage::TProgramUsage& AppUsage();

struct TAppCommandLine {
  bool Help = false;
  bool Version = false;
  std::string Video;  // empty: start without a video
};

// Reads the arguments after the program name (Qt's own options already taken out); throws
// usage::TUsageError for an unknown option or more than one video.
TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args);

}  // namespace clipvane
