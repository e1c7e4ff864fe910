// clipvane-cli gif: the "AVI to animated GIF" page's run and "Save" in one go. By default
// the next frame is decoded and the finished frames are LZW-encoded on a second thread;
// the file is byte for byte the one the single-threaded run writes.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/video_state.h"
#include "pages/frames/extraction_run.h"
#include "pages/gif/gif_conversion.h"
#include "pages/gif/gif_pipeline.h"
#include "video/video_probe.h"

namespace clipvane::cli {

namespace {

struct TGifArguments {
  std::string video;
  std::string output;
  std::optional<std::pair<int, int>> range;
  std::optional<std::pair<int, int>> time;
  int sampling = 1;
  bool keepSpeed = true;
  bool backward = false;
  std::optional<TRect> region;
  TGifSizeChoice size;
  int threads = 2;
};

TGifArguments Parse(const std::vector<std::string>& args) {
  TGifArguments parsed;
  std::vector<std::string> positional;
  bool scaleGiven = false, sizeGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--no-keep-speed") {
      parsed.keepSpeed = false;
      continue;
    }
    if (arg == "--backward") {
      parsed.backward = true;
      continue;
    }
    if (i + 1 >= args.size()) throw TUsageError{arg + " needs a value"};
    const std::string& value = args[++i];
    if (arg == "--range" || arg == "--time") {
      const auto bounds = ParseIntList(arg, value, '-', 2);
      (arg == "--range" ? parsed.range : parsed.time) = std::pair{bounds[0], bounds[1]};
    } else if (arg == "--sampling") {
      parsed.sampling = ParseIntOption(arg, value, kMinSamplingRate, kMaxSamplingRate);
    } else if (arg == "--region") {
      const auto sides = ParseIntList(arg, value, ',', 4);
      parsed.region = NormalizedRect(sides[0], sides[1], sides[2], sides[3]);
    } else if (arg == "--scale") {
      const int position = ScalePositionFromText(" " + value);
      if (position < 0) throw TUsageError{"--scale takes 5:1, 4:1, 3:1, 2:1, 1:1, 1:2, 1:3, 1:4 or 1:5, not \"" + value + "\""};
      parsed.size.Rule = TGifSizeRule::gsScale;
      parsed.size.ScalePosition = position;
      scaleGiven = true;
    } else if (arg == "--size") {
      const auto sides = ParseIntList(arg, value, 'x', 2);
      for (const int side : sides)
        if (side < 1 || side > kGifSizeBoxMaximum)
          throw TUsageError{"--size takes sides from 1 to 10000, not \"" + value + "\""};
      parsed.size.Rule = TGifSizeRule::gsSpecifiedSize;
      parsed.size.SpecifiedWidth = sides[0];
      parsed.size.SpecifiedHeight = sides[1];
      sizeGiven = true;
    } else if (arg == "--threads") {
      parsed.threads = ParseIntOption(arg, value, 1, 2);
    } else {
      throw TUsageError{"unknown option " + arg};
    }
  }
  if (positional.size() != 2) throw TUsageError{"gif takes a video and an output GIF file"};
  parsed.video = positional[0];
  parsed.output = positional[1];
  if (parsed.range && parsed.time) throw TUsageError{"give only one of --range and --time"};
  if (scaleGiven && sizeGiven) throw TUsageError{"give only one of --scale and --size"};
  if (parsed.region && (parsed.region->Width() == 0 || parsed.region->Height() == 0))
    throw TUsageError{"--region must enclose at least one pixel"};
  return parsed;
}

// The state as "Open AVI" fills it. The media device counts frames 0 to LastFrame, one more
// than the stream holds, so the last read finds no frame and the walk ends quietly there.
TVideoState OpenedState(const std::string& video) {
  const TVideoInfo info = ProbeVideo(video);
  TVideoState state;
  state.FilePath = video;
  state.FrameWidth = info.FrameWidth;
  state.FrameHeight = info.FrameHeight;
  state.DisplayRect = TRect{0, 0, info.FrameWidth, info.FrameHeight};
  state.LengthMs = info.LengthMs;
  state.LengthSeconds = info.LengthMs / 1000;
  state.LastFrame = info.FrameCount;
  state.SamplingRate = 1;
  SelectAllFrames(state);
  SelectFullWindow(state);
  return state;
}

void ApplyRange(TVideoState& state, const TGifArguments& parsed) {
  if (parsed.range) {
    const auto [from, to] = *parsed.range;
    if (from < 0 || from > state.LastFrame || to < 0 || to > state.LastFrame)
      throw TUsageError{"--range takes frame numbers from 0 to " + std::to_string(state.LastFrame)};
    if (to < from) throw TUsageError{"--range " + std::to_string(from) + "-" + std::to_string(to) + " holds no frame"};
    UpdateFramesList(state, TRangeChoice::rcFramesRange, from, to);
  } else if (parsed.time) {
    const auto [from, to] = *parsed.time;
    if (from < 0 || from > state.LengthSeconds || to < 0 || to > state.LengthSeconds)
      throw TUsageError{"--time takes whole seconds from 0 to " + std::to_string(state.LengthSeconds)};
    if (to < from) throw TUsageError{"--time " + std::to_string(from) + "-" + std::to_string(to) + " holds no frame"};
    UpdateFramesList(state, TRangeChoice::rcTimeRange, from, to);
  }
}

int RunGif(const std::vector<std::string>& args, const TRunHooks& hooks) {
  const TGifArguments parsed = Parse(args);
  TVideoState state = OpenedState(parsed.video);
  ApplyRange(state, parsed);
  SetSamplingRate(state, parsed.sampling);
  if (parsed.region) {
    // As a pick in the "Video" window from one corner to the other.
    state.PickArmed = true;
    PickMouseDown(state, parsed.region->Left, parsed.region->Top);
    PickMouseUp(state, parsed.region->Right, parsed.region->Bottom);
  }
  TGifOptions options;
  options.Direction = parsed.backward ? TGifDirection::gdBackward : TGifDirection::gdForward;
  options.KeepPlaySpeed = parsed.keepSpeed;
  options.Size = parsed.size;
  const TFrameSize size = GifSize(options.Size, state.CaptureWidth, state.CaptureHeight);
  if (size.Width < 1 || size.Height < 1 || size.Width > 65535 || size.Height > 65535)
    throw TUsageError{"the GIF size " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                      " is outside 1 to 65535 pixels a side"};

  // The window's bar goes back to empty after the run; a terminal's stays full once there.
  TRunHooks runHooks = hooks;
  if (hooks.progress)
    runHooks.progress = [&hooks, full = false](int position, int maximum) mutable {
      if (full) return;
      hooks.progress(position, maximum);
      full = position >= maximum;
    };
  const TGifFileResult result =
      ConvertToGifBytes(state, MakeAviFrameSource, options, runHooks, parsed.threads > 1);
  if (result.FrameCount == 0)
    throw EClipvaneError("No frame of \"" + parsed.video + "\" could be converted; no GIF written");
  WriteFileAtomically(parsed.output, result.Bytes);
  std::cout << result.StatusText << "\n";
  return 0;
}

const TCliCommandRegistration registration{TCliCommand{
    "gif",
    "VIDEO OUT.gif [--range FROM-TO | --time FROM-TO] [--sampling 1-10]\n"
    "        [--no-keep-speed] [--backward] [--region LEFT,TOP,RIGHT,BOTTOM]\n"
    "        [--scale 5:1|4:1|3:1|2:1|1:1|1:2|1:3|1:4|1:5 | --size WxH] [--threads 1|2]",
    RunGif}};

}  // namespace

}  // namespace clipvane::cli
