// clipvane-cli info VIDEO: the four lines of the "AVI file info" group, frame count and all.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "video/video_probe.h"

namespace clipvane::cli {

namespace {

int RunInfo(const std::vector<std::string>& args, const TRunHooks&) {
  if (args.size() != 1) throw TUsageError{"info takes one video file"};
  const TVideoInfo info = ProbeVideo(args[0]);
  char length[32];
  std::snprintf(length, sizeof length, "%.1f", info.LengthMs / 1000.0);
  // The true number of frames: frames 0 to FrameCount - 1.
  std::cout << "Frame width: " << info.FrameWidth << " pixels\n"
            << "Frame height: " << info.FrameHeight << " pixels\n"
            << "Frames count: " << info.FrameCount << "\n"
            << "Time length: " << length << " s\n";
  return 0;
}

const TCliCommandRegistration registration{{"info", "VIDEO", RunInfo}};

}  // namespace

}  // namespace clipvane::cli
