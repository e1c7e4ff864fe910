// clipvane-cli gif: the "AVI to animated GIF" page's run and "Save" in one go. By default
// the next frame is decoded and the finished frames are LZW-encoded on a second thread;
// the file is byte for byte the one the single-threaded run writes.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_output.h"
#include "cli/size_estimate_output.h"
#include "core/error.h"
#include "core/video_state.h"
#include "gif/gif_frame_delays.h"
#include "runs/gif/byte_size_text.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_pipeline.h"
#include "runs/gif/gif_size_estimate.h"
#include "runs/gif/gif_size_fit.h"
#include "video/frame_source.h"
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
  bool best = false;
  int lossy = 0;
  bool estimate = false;
  std::optional<std::uint64_t> maxSize;
  TGifFitFixed fixed;  // with --max-size: what the command line fixed
};

TGifArguments Parse(const usage::TParsedArguments& arguments) {
  TGifArguments parsed;
  parsed.keepSpeed = !arguments.Has("--no-keep-speed");
  parsed.backward = arguments.Has("--backward");
  parsed.best = arguments.Has("--best");
  for (const char* option : {"--range", "--time"}) {
    if (const auto value = arguments.Text(option)) {
      const auto bounds = ParseIntList(option, *value, '-', 2);
      (std::string(option) == "--range" ? parsed.range : parsed.time) = std::pair{bounds[0], bounds[1]};
    }
  }
  if (const auto sampling = arguments.Integer("--sampling")) parsed.sampling = *sampling;
  if (const auto region = arguments.Text("--region")) {
    const auto sides = ParseIntList("--region", *region, ',', 4);
    parsed.region = NormalizedRect(sides[0], sides[1], sides[2], sides[3]);
  }
  const auto scale = arguments.Text("--scale");
  if (scale) {
    parsed.size.Rule = TGifSizeRule::gsScale;
    parsed.size.ScalePosition = ScalePositionFromText(" " + *scale);
  }
  const auto size = arguments.Text("--size");
  if (size) {
    const auto sides = ParseIntList("--size", *size, 'x', 2);
    for (const int side : sides)
      if (side < 1 || side > kGifSizeBoxMaximum)
        throw TUsageError{"--size takes sides from 1 to 10000, not \"" + *size + "\""};
    parsed.size.Rule = TGifSizeRule::gsSpecifiedSize;
    parsed.size.SpecifiedWidth = sides[0];
    parsed.size.SpecifiedHeight = sides[1];
  }
  if (const auto threads = arguments.Integer("--threads")) parsed.threads = *threads;
  if (const auto lossy = arguments.Integer("--lossy")) parsed.lossy = *lossy;
  parsed.best = parsed.best || parsed.lossy > 0;
  parsed.estimate = arguments.Has("--estimate");
  if (const auto limit = arguments.Text("--max-size")) {
    parsed.maxSize = ParseByteSize(*limit);
    if (!parsed.maxSize)
      throw TUsageError{"--max-size takes a size such as 5MB, 800KB, 2.5M or 3MiB, not \"" + *limit + "\""};
    parsed.fixed.Size = scale.has_value() || size.has_value();
    parsed.fixed.Sampling = arguments.Integer("--sampling").has_value() || !parsed.keepSpeed;
    parsed.fixed.Lossy = arguments.Integer("--lossy").has_value();
    parsed.best = true;
  }
  // An estimate writes nothing, so the output file may be left out.
  if (arguments.Operands.size() != 2 && !(parsed.estimate && arguments.Operands.size() == 1))
    throw TUsageError{"gif takes a video and an output GIF file"};
  parsed.video = arguments.Operands[0];
  if (arguments.Operands.size() == 2) parsed.output = arguments.Operands[1];
  if (parsed.range && parsed.time) throw TUsageError{"give only one of --range and --time"};
  if (scale && size) throw TUsageError{"give only one of --scale and --size"};
  if (parsed.region && (parsed.region->Width() == 0 || parsed.region->Height() == 0))
    throw TUsageError{"--region must enclose at least one pixel"};
  if (IsStandardOutput(parsed.output) && arguments.Has("--json"))
    throw TUsageError{"--json and - both write to standard output; name a GIF file"};
  return parsed;
}

// The state as "Open AVI" fills it. The media device counts frames 0 to LastFrame, one more
// than the stream holds, so the last read finds no frame and the walk ends quietly there.
TVideoState OpenedState(const std::string& video, const TCommandContext& context) {
  const TVideoInfo info = ForFile(video, [&] { return ProbeVideo(video, OpenProgress(context)); });
  TVideoState state;
  state.FilePath = video;
  state.FrameWidth = info.FrameWidth;
  state.FrameHeight = info.FrameHeight;
  state.DisplayRect = TRect{0, 0, info.FrameWidth, info.FrameHeight};
  state.LengthMs = info.LengthMs;
  state.LengthSeconds = info.LengthMs / 1000;
  state.LastFrame = info.FrameCount;
  state.FrameTimes = info.FrameTimes;
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

// --estimate: the size the command would write, from a sample of the frames; nothing is written.
int PrintEstimate(TCommandContext& context, const TGifArguments& parsed, const TVideoState& state,
                  const TGifOptions& options, const TFrameSourceFactory& makeSource) {
  const std::unique_ptr<TFrameSource> source = makeSource();
  const TGifSizeEstimate estimate =
      ForFile(parsed.video, [&] { return EstimateGifSize(state, *source, options, context.Hooks); });
  if (estimate.GifFrames == 0)
    throw EClipvaneError("No frame of \"" + parsed.video + "\" would be converted", parsed.video,
                         "no frame would be converted");
  PrintSizeEstimate(context, estimate);
  return 0;
}

// What a fit chose, for the summary: "Fitted under 5 MB: 320 x 180, every 2nd frame, lossy 40".
std::string FitText(const TGifFitChoice& fit, std::uint64_t limit) {
  std::string text = "Fitted under " + ByteSizeWords(limit) + ": " + std::to_string(fit.Point.Width) + " x " +
                     std::to_string(fit.Point.Height);
  if (fit.Point.Sampling > 1) {
    const int n = fit.Point.Sampling;
    text += ", every " + std::to_string(n) + (n == 2 ? "nd" : n == 3 ? "rd" : "th") + " frame";
  }
  if (fit.Point.Lossy > 0) text += ", lossy " + std::to_string(fit.Point.Lossy);
  if (fit.Point.MaxColors < 255) text += ", " + std::to_string(fit.Point.MaxColors) + " colours";
  return text;
}

// --estimate with --max-size: the size of the GIF the fit would choose.
int PrintFitEstimate(TCommandContext& context, const TGifArguments& parsed, const TVideoState& state,
                     const TGifOptions& options, const TFrameSourceFactory& makeSource) {
  TGifFitChoice choice;
  try {
    choice = ChooseGifFit(state, makeSource, options, parsed.fixed, *parsed.maxSize, context.Hooks);
  } catch (const EGifCannotFit&) {
    throw;
  } catch (...) {
    RethrowForFile(parsed.video);
  }
  TGifSizeEstimate estimate;
  estimate.Bytes = choice.EstimatedBytes;
  context.Output.Result(GifSizeEstimateText(estimate) + "\n");
  context.Output.Summary(FitText(choice, *parsed.maxSize));
  if (context.Arguments.Has("--json"))
    context.Output.Json(TJsonObject()
                            .Add("estimate", static_cast<long long>(choice.EstimatedBytes))
                            .Add("width", choice.Point.Width)
                            .Add("height", choice.Point.Height)
                            .Add("sampling", choice.Point.Sampling)
                            .Add("lossy", choice.Point.Lossy)
                            .Add("colors", choice.Point.MaxColors)
                            .Add("seconds", context.Seconds()));
  return 0;
}

int RunGif(TCommandContext& context) {
  const TGifArguments parsed = Parse(context.Arguments);
  if (!parsed.estimate) CheckOutputTarget(parsed.output);
  const TRunHooks& hooks = context.Hooks;
  TVideoState state = OpenedState(parsed.video, context);
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
  options.BestQuality = parsed.best;
  options.LossyLevel = parsed.lossy;
  options.KeepPlaySpeed = parsed.keepSpeed;
  options.FrameTimes = state.FrameTimes;
  options.Size = parsed.size;
  const TFrameSize size = GifSize(options.Size, state.CaptureWidth, state.CaptureHeight);
  if (size.Width < 1 || size.Height < 1 || size.Width > 65535 || size.Height > 65535)
    throw TUsageError{"the GIF size " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                      " is outside 1 to 65535 pixels a side"};

  const TFrameSourceFactory makeSource = [hdr = HdrModeOf(context.Arguments)] { return MakeFrameSourceFor(hdr); };
  if (parsed.maxSize && parsed.estimate) return PrintFitEstimate(context, parsed, state, options, makeSource);
  if (parsed.estimate) return PrintEstimate(context, parsed, state, options, makeSource);

  // The window's bar goes back to empty after the run; a terminal's stays full once there.
  TRunHooks runHooks = hooks;
  if (hooks.progress)
    runHooks.progress = [&hooks, full = false](int position, int maximum) mutable {
      if (full) return;
      hooks.progress(position, maximum);
      full = position >= maximum;
    };
  TGifFileResult result;
  std::optional<TGifFitChoice> fit;
  if (parsed.maxSize) {
    try {
      fit = FitGifToSize(state, makeSource, options, parsed.fixed, *parsed.maxSize, runHooks,
                         GifBytesConverter(makeSource, runHooks, parsed.threads > 1, result));
    } catch (const EGifCannotFit&) {
      throw;  // the limit's failure, not the video's
    } catch (...) {
      RethrowForFile(parsed.video);
    }
  } else {
    result = ForFile(parsed.video,
                     [&] { return ConvertToGifBytes(state, makeSource, options, runHooks, parsed.threads > 1); });
  }
  if (result.FrameCount == 0)
    throw EClipvaneError("No frame of \"" + parsed.video + "\" could be converted; no GIF written", parsed.video,
                         "no frame could be converted; no GIF written");
  WriteOutputFile(parsed.output, result.Bytes);
  context.Output.Summary(result.StatusText);
  if (fit) context.Output.Summary(FitText(*fit, *parsed.maxSize));
  if (context.Arguments.Has("--json")) {
    TJsonObject json;
    json.Add("file", parsed.output)
        .Add("width", result.GifWidth)
        .Add("height", result.GifHeight)
        .Add("frames", result.FrameCount)
        .Add("delays", GifFrameDelays(result.Bytes))
        .Add("bytes", static_cast<long long>(result.Bytes.size()));
    if (fit)
      json.Add("sampling", fit->Point.Sampling).Add("lossy", fit->Point.Lossy).Add("colors", fit->Point.MaxColors);
    context.Output.Json(json.Add("seconds", context.Seconds()));
  }
  return 0;
}

}  // namespace

TCliCommand GifCommand() {
  using usage::TValueKind;
  return {{"gif",
           "VIDEO OUT.gif",
           "turn a video's frames into a looping animated GIF",
           "Turns every N-th frame of a frame or time range into a looping animated GIF of 256 colours whose "
           "frame delay keeps the play speed, as the \"AVI to animated GIF\" page does. OUT.gif may be - for "
           "standard output.",
           {FrameRangeOption("convert the frames FROM to TO only"),
            {.Name = "--time",
             .Argument = "FROM-TO",
             .Kind = TValueKind::vkText,
             .RangeText = "whole seconds from 0 to the video's length",
             .Default = "all frames",
             .Description = "convert the frames from second FROM to second TO only"},
            {.Name = "--sampling",
             .Argument = "N",
             .Kind = TValueKind::vkInteger,
             .Low = kMinSamplingRate,
             .High = kMaxSamplingRate,
             .Default = "1",
             .Description = "take every N-th frame"},
            {.Name = "--no-keep-speed",
             .Description = "base the delay on the length in whole seconds alone, so a sampled GIF plays faster"},
            {.Name = "--backward", .Description = "play the frames from last to first"},
            {.Name = "--region",
             .Argument = "LEFT,TOP,RIGHT,BOTTOM",
             .Kind = TValueKind::vkText,
             .RangeText = "frame pixels",
             .Default = "the whole frame",
             .Description = "cut this rectangle from every frame"},
            {.Name = "--scale",
             .Argument = "RATIO",
             .Kind = TValueKind::vkChoice,
             .Choices = {"5:1", "4:1", "3:1", "2:1", "1:1", "1:2", "1:3", "1:4", "1:5"},
             .Default = "1:1",
             .Description = "GIF size as a ratio of the captured size"},
            {.Name = "--size",
             .Argument = "WxH",
             .Kind = TValueKind::vkText,
             .RangeText = "sides from 1 to 10000",
             .Default = "the captured size",
             .Description = "GIF size in pixels"},
            {.Name = "--threads",
             .Argument = "N",
             .Kind = TValueKind::vkInteger,
             .Low = 1,
             .High = 2,
             .Default = "2",
             .Description = "with 2, decode ahead and encode on a second thread; the file is the same either way"},
            BestOption(),
            LossyOption(),
            {.Name = "--max-size",
             .Argument = "SIZE",
             .Kind = TValueKind::vkText,
             .RangeText = "a size such as 5MB, 800KB, 2.5M (KB, MB, GB: powers of 10; KiB, MiB, GiB: of 2)",
             .Default = "no limit",
             .Description = "write the Best quality GIF that looks best among those within SIZE, never a larger "
                            "file: the fit may lower the GIF size (keeping the aspect), the frame rate (keeping the "
                            "play time) and the colours, and add lossy compression, but keeps what the command line "
                            "gives (range, region, direction, --size or --scale, --sampling, --lossy)"},
            {.Name = "--estimate",
             .Description = "print the size the GIF would have, in bytes and in words, from a sample of the "
                            "frames, and write nothing (OUT.gif may then be left out)"},
            HdrOption(),
            JsonOption()},
           {{"gif clip.avi clip.gif --sampling 2 --scale 1:2", "every second frame at half size, at the video's speed"},
            {"gif clip.avi - --time 2-4 --region 0,0,160,120 | gifsicle -O3 > small.gif",
             "seconds 2 to 4 of the top-left corner, written to a pipe"}}},
          RunGif};
}

}  // namespace clipvane::cli
