// clipvane-cli transition: two pictures (or empty slots of a colour) blended by one of the
// 24 effects into a looping animated GIF, as the "Transition effects" page's "Convert" does.
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_output.h"
#include "cli/size_estimate_output.h"
#include "core/error.h"
#include "core/video_state.h"
#include "gif/gif_frame_delays.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "imageio/picture_decoders.h"
#include "runs/gif/byte_size_text.h"
#include "runs/gif/gif_size_fit.h"
#include "runs/transitions/transition_clip.h"
#include "runs/transitions/transition_effects.h"
#include "runs/transitions/transition_size_fit.h"

namespace clipvane::cli {

namespace {

std::string EffectNames() {
  std::string names;
  for (const auto name : TransitionEffectNames()) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
}

TTransitionEffect ParseEffect(const std::string& text) {
  const TTransitionEffect byName = TransitionEffectFromName(text);
  if (static_cast<int>(byName) >= 0) return byName;
  if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0])))
    return static_cast<TTransitionEffect>(ParseWholeNumber("--effect", text, 0, TransitionEffectCount - 1));
  throw TUsageError{"--effect takes an effect name or an index from 0 to 23, not \"" + text + "\"; the effects are " +
                    EffectNames()};
}

// "#RRGGBB" (the # may be left out) as a colour with red in the low byte.
TColor ParseColor(const std::string& option, const std::string& text) {
  const std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  bool valid = digits.size() == 6;
  for (char c : digits) valid = valid && std::isxdigit(static_cast<unsigned char>(c));
  if (!valid) throw TUsageError{option + " takes a colour as #RRGGBB, not \"" + text + "\""};
  const unsigned long value = std::stoul(digits, nullptr, 16);
  return RGB(static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
             static_cast<int>(value & 0xFF));
}

int RunTransition(TCommandContext& context) {
  const usage::TParsedArguments& arguments = context.Arguments;
  const std::vector<std::string>& positional = arguments.Operands;
  TTransitionEffect effect = TTransitionEffect::CrossDissolve;
  int steps = 10;
  int duration = DefaultTransitionDurationMs;
  TColor sourceColor = clWhite, destinationColor = clWhite;
  if (const auto value = arguments.Text("--effect")) effect = ParseEffect(*value);
  if (const auto value = arguments.Integer("--steps")) steps = *value;
  if (const auto value = arguments.Integer("--duration")) duration = *value;
  if (const auto value = arguments.Text("--source-color")) sourceColor = ParseColor("--source-color", *value);
  if (const auto value = arguments.Text("--dest-color")) destinationColor = ParseColor("--dest-color", *value);
  const int lossy = arguments.Integer("--lossy").value_or(0);
  const bool estimate = arguments.Has("--estimate");
  std::optional<std::uint64_t> maxSize;
  if (const auto limit = arguments.Text("--max-size")) {
    maxSize = ParseByteSize(*limit);
    if (!maxSize) throw TUsageError{"--max-size takes a size such as 5MB, 800KB, 2.5M or 3MiB, not \"" + *limit + "\""};
  }
  // An estimate writes nothing, so the output file may be left out.
  if (positional.size() != 3 && !(estimate && positional.size() == 2))
    throw TUsageError{"transition takes SOURCE, DEST and OUT.gif"};
  const std::string output = positional.size() == 3 ? positional[2] : std::string();
  if (!estimate) {
    if (IsStandardOutput(output) && arguments.Has("--json"))
      throw TUsageError{"--json and - both write to standard output; name a GIF file"};
    CheckOutputTarget(output);
  }

  TVideoState state;
  state.TransitionDurationMs = duration;
  TTransitionSlot source{TBitmap(), sourceColor};
  TTransitionSlot destination{TBitmap(), destinationColor};
  state.SourceEmpty = positional[0] == "empty";
  state.DestinationEmpty = positional[1] == "empty";
  // A picture that cannot be read is named in the failure.
  const auto load = [](const std::string& path, TColor background) {
    return ForFile(path, [&] { return LoadPictureFile(path, background); });
  };
  if (!state.SourceEmpty) source.Picture = load(positional[0], sourceColor);
  if (!state.DestinationEmpty) destination.Picture = load(positional[1], destinationColor);

  // The run ends by moving the bar back to 0; a terminal bar would start over, so stop at the end.
  const TRunHooks& hooks = context.Hooks;
  TRunHooks runHooks = hooks;
  if (hooks.progress)
    runHooks.progress = [&hooks, done = false](int position, int maximum) mutable {
      if (done) return;
      hooks.Progress(position, maximum);
      done = position >= maximum;
    };
  TTransitionGifRequest request;
  request.Steps = steps;
  request.Effect = [effect] { return effect; };
  request.BestQuality = arguments.Has("--best") || lossy > 0;
  request.LossyLevel = lossy;
  if (estimate && !maxSize) {
    const TGifSizeEstimate size = EstimateTransitionGifSize(state, source, destination, request, runHooks);
    PrintSizeEstimate(context, size);
    return 0;
  }

  std::vector<std::uint8_t> bytes;
  int width = 0, height = 0, frames = 0;
  if (maxSize) {
    // The fit makes the GIF itself, so with --estimate its size is exact.
    TTransitionGifBytes fitted = FitTransitionToSize(state, source, destination, request,
                                                     arguments.Integer("--lossy").has_value(), *maxSize, runHooks);
    if (estimate) {
      TGifSizeEstimate size;
      size.Bytes = fitted.Bytes.size();
      context.Output.Result(GifSizeEstimateText(size) + "\n");
      return 0;
    }
    bytes = std::move(fitted.Bytes);
    width = fitted.Width;
    height = fitted.Height;
    frames = fitted.FrameCount;
    std::string text =
        "Fitted under " + ByteSizeWords(*maxSize) + ": " + std::to_string(width) + " x " + std::to_string(height);
    if (fitted.Point.Lossy > 0) text += ", lossy " + std::to_string(fitted.Point.Lossy);
    if (fitted.Point.MaxColors < 255) text += ", " + std::to_string(fitted.Point.MaxColors) + " colours";
    context.Output.Summary(text);
  } else {
    const TTransitionClip clip = BuildTransitionClip(state, source, destination, steps, request.Effect, runHooks, {},
                                                     request.BestQuality, lossy);
    TGIFMemoryStream stream;
    clip.Document->SaveToStream(stream);
    bytes = stream.Bytes();
    width = clip.Width;
    height = clip.Height;
    frames = clip.FrameCount;
  }
  WriteOutputFile(output, bytes);
  context.Output.Summary("Size: " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels  Frames: " + std::to_string(frames));
  if (arguments.Has("--json"))
    context.Output.Json(TJsonObject()
                            .Add("file", output)
                            .Add("width", width)
                            .Add("height", height)
                            .Add("frames", frames)
                            .Add("delays", GifFrameDelays(bytes))
                            .Add("bytes", static_cast<long long>(bytes.size()))
                            .Add("seconds", context.Seconds()));
  return 0;
}

}  // namespace

TCliCommand TransitionCommand() {
  using usage::TValueKind;
  return {{"transition",
           "SOURCE DEST OUT.gif",
           "blend two pictures into a looping animated GIF",
           "Blends the SOURCE picture into the DEST picture by one of the 24 transition effects, as the "
           "\"Transition effects\" page does. SOURCE or DEST may be the word empty for a slot filled with its "
           "colour; OUT.gif may be - for standard output. Pictures: BMP, JPEG, PNG, GIF, TIFF, PNM, TGA, PCX, ICO.",
           {{.Name = "--effect",
             .Argument = "NAME|INDEX",
             .Kind = TValueKind::vkText,
             .RangeText = "0 to 23, or one of " + EffectNames(),
             .Default = "CrossDissolve",
             .Description = "the transition effect"},
            {.Name = "--steps",
             .Argument = "N",
             .Kind = TValueKind::vkInteger,
             .Low = MinTransitionSteps,
             .High = MaxTransitionSteps,
             .Default = "10",
             .Description = "steps between the pictures (N + 1 frames)"},
            {.Name = "--duration",
             .Argument = "MS",
             .Kind = TValueKind::vkInteger,
             .Low = MinTransitionDurationMs,
             .High = MaxTransitionDurationMs,
             .Default = std::to_string(DefaultTransitionDurationMs),
             .Description = "length of the transition in milliseconds"},
            {.Name = "--source-color",
             .Argument = "#RRGGBB",
             .Kind = TValueKind::vkText,
             .RangeText = "six hex digits, the # may be left out",
             .Default = "#FFFFFF",
             .Description = "background colour of the source slot"},
            {.Name = "--dest-color",
             .Argument = "#RRGGBB",
             .Kind = TValueKind::vkText,
             .RangeText = "six hex digits, the # may be left out",
             .Default = "#FFFFFF",
             .Description = "background colour of the destination slot"},
            BestOption(),
            LossyOption(),
            {.Name = "--max-size",
             .Argument = "SIZE",
             .Kind = TValueKind::vkText,
             .RangeText = "a size such as 5MB, 800KB, 2.5M (KB, MB, GB: powers of 10; KiB, MiB, GiB: of 2)",
             .Default = "no limit",
             .Description = "write the Best quality GIF that looks best among those within SIZE, never a larger "
                            "file: the fit may make the pictures smaller (keeping their aspect), add lossy "
                            "compression and use fewer colours, but keeps the effect, steps, duration and a --lossy "
                            "given"},
            {.Name = "--estimate",
             .Description = "print the size the GIF would have, in bytes and in words, from a few of its frames, and "
                            "write nothing (OUT.gif may then be left out)"},
            JsonOption()},
           {{"transition first.jpg second.png blend.gif --effect FadeOutIn --duration 2000", ""},
            {"transition empty logo.png intro.gif --source-color '#000000' --steps 20",
             "the logo appears out of black in 21 frames"}}},
          RunTransition};
}

}  // namespace clipvane::cli
