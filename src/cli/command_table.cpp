// The one list of clipvane-cli's commands, in the order the help shows them, and the parts
// of its usage that belong to no single command: common options, exit status, files.
#include <string>

#include "cli/cli_command.h"
#include "core/version.h"
#include "gif/lossy_lzw.h"
#include "imageio/image_library_versions.h"
#include "video/ffmpeg_versions.h"

namespace clipvane::cli {

const std::vector<TCliCommand>& CliCommands() {
  static const std::vector<TCliCommand> commands = {InfoCommand(), FrameCommand(), ExtractCommand(), GifCommand(),
                                                    TransitionCommand()};
  return commands;
}

usage::TOptionSpec FrameRangeOption(const std::string& description) {
  return {.Name = "--range",
          .Argument = "FROM-TO",
          .Kind = usage::TValueKind::vkText,
          .RangeText = "frame numbers from 0 to the video's last frame",
          .Default = "all frames",
          .Description = description};
}

usage::TOptionSpec HdrOption() {
  return {.Name = "--hdr",
          .Argument = "WAY",
          .Kind = usage::TValueKind::vkChoice,
          .Choices = {"sdr", "raw"},
          .Default = "sdr",
          .Description =
              "pictures of an HDR video (PQ or HLG, as phones record): sdr shows them as an SDR screen "
              "would (BT.709, HDR's reference white at SDR white, highlights rolled off); raw converts "
              "their values as if they were SDR, as earlier versions did"};
}

THdrMode HdrModeOf(const usage::TParsedArguments& arguments) {
  const auto way = arguments.Text("--hdr");
  return way && *way == "raw" ? THdrMode::hdrRaw : THdrMode::hdrToSdr;
}

usage::TOptionSpec BestOption() {
  return {.Name = "--best",
          .Description =
              "Best quality: each frame its own palette (its exact colours when it has 256 or fewer), "
              "dithered over the nearest colours; frames after the first hold only what changed; every "
              "frame starts at its true time, so the GIF lasts as long as the frames it stands for "
              "(a frame that would show for less than 2 hundredths is left out of a video, lengthened in "
              "a transition)"};
}

usage::TOptionSpec LossyOption() {
  return {.Name = "--lossy",
          .Argument = "LEVEL",
          .Kind = usage::TValueKind::vkInteger,
          .Low = 0,
          .High = kLossyLevelMaximum,
          .Default = "0 (off)",
          .Description =
              "lossy LZW for --best (a level above 0 turns --best on): a string of the compressor runs on "
              "through pixels whose colour lies within a tolerance, 0.45 x LEVEL apart in RGB at most; "
              "a smaller file for a little noise"};
}

usage::TOptionSpec JsonOption() {
  return {.Name = "--json",
          .Description =
              "print the results as one JSON object on stdout: sizes, frame count, delays, files "
              "written, seconds taken"};
}

const usage::TProgramUsage& CliUsage() {
  static const usage::TProgramUsage program = [] {
    usage::TProgramUsage usage;
    usage.Program = "clipvane-cli";
    usage.Summary = "turn videos into pictures and looping animated GIFs from the command line";
    usage.Description =
        "clipvane-cli runs the same code as the Clipvane windows, for batch work and scripts. Results go to "
        "stdout; the progress bar (when stderr is a terminal) and the closing summary go to stderr. Errors are "
        "printed as \"clipvane-cli: FILE: what is wrong\" (\"clipvane-cli: message\" when no file is at "
        "fault). Every file is written to a temporary file in its folder and "
        "renamed over the target when complete, so a failure leaves no half-written file.";
    for (const TCliCommand& command : CliCommands()) usage.Commands.push_back(command.Usage);
    usage.CommonOptions = {
        {.Name = "--quiet", .ShortName = "-q", .Description = "print nothing but errors (a --json object still)"},
        {.Name = "--help", .ShortName = "-h", .Description = "show the help of the program or of the command"}};
    usage.ProgramOptions = {
        {.Name = "--version", .ShortName = "-V", .Description = "print the version and the libraries it runs on"}};
    usage.ExitStatus = {{"0", "done"},
                        {"1", "failed; the message on stderr says why"},
                        {"2", "wrong command line (unknown command or option, value out of range)"},
                        {"130", "interrupted by Ctrl-C"}};
    usage.Files = {{".clipvane-XXXXXX", "the temporary file in the target's folder while a file is being written"}};
    usage.Examples = {{"info clip.avi", "frame size, frame count and length"},
                      {"gif clip.avi clip.gif --sampling 2", "every second frame as a GIF at the video's speed"},
                      {"gif --quiet --json clip.avi clip.gif", "nothing but one JSON line on stdout"},
                      {"help gif", "the options of the gif command"}};
    usage.SeeAlso = {"clipvane(1)"};
    return usage;
  }();
  return program;
}

std::string CliVersionText() {
  std::string text = std::string("clipvane-cli ") + kVersion + "\n";
  text += "FFmpeg: " + FfmpegVersions() + "\n";
  text += "zimg: " + ZimgVersion() + "\n";
  text += "libjpeg: " + JpegLibraryVersion() + "\n";
  text += "libpng: " + PngLibraryVersion() + "\n";
  text += "libtiff: " + TiffLibraryVersion() + "\n";
#ifdef CLIPVANE_QT_VERSION
  // The command line itself has no Qt; the window program of the same build uses this one.
  text += "Qt: " CLIPVANE_QT_VERSION " (the window program, clipvane)\n";
#endif
  return text;
}

std::function<void(int position, int maximum)> OpenProgress(const TCommandContext& context) {
  if (!context.Hooks.progress) return {};
  return [progress = context.Hooks.progress, started = std::chrono::steady_clock::now(), shown = false](
             int position, int maximum) mutable {
    shown = shown || std::chrono::steady_clock::now() - started > std::chrono::milliseconds(500);
    if (shown) progress(position, maximum);
  };
}

double TCommandContext::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
}

std::vector<int> ParseIntList(const std::string& option, const std::string& text, char separator, std::size_t count) {
  std::vector<int> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    values.push_back(usage::ParseWholeNumber(option, text.substr(start, end - start), -1000000, 1000000));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (values.size() != count)
    throw TUsageError{option + " takes " + std::to_string(count) + " numbers separated by '" + separator + "'"};
  return values;
}

}  // namespace clipvane::cli
