// clipvane-cli transition: two pictures (or empty slots of a colour) blended by one of the
// 24 effects into a looping animated GIF, as the "Transition effects" page's "Convert" does.
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/error.h"
#include "core/video_state.h"
#include "gif/gif_image.h"
#include "imageio/picture_decoders.h"
#include "pages/transitions/transition_clip.h"
#include "pages/transitions/transition_effects.h"

namespace clipvane::cli {

namespace {

constexpr const char* Usage =
    "SOURCE DEST OUT.gif [--effect NAME|INDEX] [--steps 1-50] [--duration 10-5000]\n"
    "        [--source-color #RRGGBB] [--dest-color #RRGGBB]\n"
    "        (SOURCE or DEST may be the word `empty`; effects: CrossDissolve, FadeOutIn, LeftRight, ...)";

TTransitionEffect ParseEffect(const std::string& text) {
  const TTransitionEffect byName = TransitionEffectFromName(text);
  if (static_cast<int>(byName) >= 0) return byName;
  if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0])))
    return static_cast<TTransitionEffect>(ParseIntOption("--effect", text, 0, TransitionEffectCount - 1));
  std::string names;
  for (const auto name : TransitionEffectNames()) names += (names.empty() ? "" : ", ") + std::string(name);
  throw TUsageError{"--effect takes an effect name or an index from 0 to 23, not \"" + text + "\"; the effects are " +
                    names};
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

int RunTransition(const std::vector<std::string>& args, const TRunHooks& hooks) {
  std::vector<std::string> positional;
  TTransitionEffect effect = TTransitionEffect::CrossDissolve;
  int steps = 10;
  int duration = DefaultTransitionDurationMs;
  TColor sourceColor = clWhite, destinationColor = clWhite;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i], value;
    if (option.rfind("--", 0) != 0) {
      positional.push_back(option);
      continue;
    }
    if (const auto equals = option.find('='); equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    } else {
      if (i + 1 >= args.size()) throw TUsageError{option + " needs a value"};
      value = args[++i];
    }
    if (option == "--effect") {
      effect = ParseEffect(value);
    } else if (option == "--steps") {
      steps = ParseIntOption(option, value, MinTransitionSteps, MaxTransitionSteps);
    } else if (option == "--duration") {
      duration = ParseIntOption(option, value, MinTransitionDurationMs, MaxTransitionDurationMs);
    } else if (option == "--source-color") {
      sourceColor = ParseColor(option, value);
    } else if (option == "--dest-color") {
      destinationColor = ParseColor(option, value);
    } else {
      throw TUsageError{"unknown option " + option};
    }
  }
  if (positional.size() != 3) throw TUsageError{"transition takes SOURCE, DEST and OUT.gif"};

  TVideoState state;
  state.TransitionDurationMs = duration;
  TTransitionSlot source{TBitmap(), sourceColor};
  TTransitionSlot destination{TBitmap(), destinationColor};
  state.SourceEmpty = positional[0] == "empty";
  state.DestinationEmpty = positional[1] == "empty";
  if (!state.SourceEmpty) source.Picture = LoadPictureFile(positional[0], sourceColor);
  if (!state.DestinationEmpty) destination.Picture = LoadPictureFile(positional[1], destinationColor);

  // The run ends by moving the bar back to 0; a terminal bar would start over, so stop at the end.
  TRunHooks runHooks = hooks;
  if (hooks.progress)
    runHooks.progress = [&hooks, done = false](int position, int maximum) mutable {
      if (done) return;
      hooks.Progress(position, maximum);
      done = position >= maximum;
    };
  const TTransitionClip clip =
      BuildTransitionClip(state, source, destination, steps, [effect] { return effect; }, runHooks);
  clip.Document->SaveToFile(positional[2]);
  std::cout << "Size: " << clip.Width << " x " << clip.Height << " pixels  Frames: " << clip.FrameCount << "\n";
  return 0;
}

const TCliCommandRegistration registration{TCliCommand{"transition", Usage, RunTransition}};

}  // namespace

}  // namespace clipvane::cli
