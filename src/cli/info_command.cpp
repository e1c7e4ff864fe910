// clipvane-cli info VIDEO: the four lines of the "AVI file info" group, frame count and all.
#include <cstdio>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_output.h"
#include "video/video_probe.h"

namespace clipvane::cli {

namespace {

int RunInfo(TCommandContext& context) {
  const auto& operands = context.Arguments.Operands;
  if (operands.size() != 1) throw TUsageError{"info takes one video file"};
  const TVideoInfo info = ProbeVideo(operands[0]);
  if (context.Arguments.Has("--json")) {
    context.Output.Json(TJsonObject()
                            .Add("file", operands[0])
                            .Add("width", info.FrameWidth)
                            .Add("height", info.FrameHeight)
                            .Add("frames", info.FrameCount)
                            .Add("length_ms", info.LengthMs)
                            .Add("seconds", context.Seconds()));
    return 0;
  }
  char length[32];
  std::snprintf(length, sizeof length, "%.1f", info.LengthMs / 1000.0);
  // The true number of frames: frames 0 to FrameCount - 1.
  context.Output.Result("Frame width: " + std::to_string(info.FrameWidth) + " pixels\n" +
                        "Frame height: " + std::to_string(info.FrameHeight) + " pixels\n" +
                        "Frames count: " + std::to_string(info.FrameCount) + "\n" + "Time length: " + length +
                        " s\n");
  return 0;
}

}  // namespace

TCliCommand InfoCommand() {
  return {{"info",
           "VIDEO",
           "print a video's frame size, frame count and length",
           "Prints the four lines of the window's \"AVI file info\" group: frame width and height in "
           "pixels, the number of frames and the length in seconds.",
           {JsonOption()},
           {{"info clip.avi", ""}, {"info --json clip.avi", "the same as one JSON object, with the length in ms"}}},
          RunInfo};
}

}  // namespace clipvane::cli
