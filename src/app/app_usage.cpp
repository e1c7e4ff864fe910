// The window program's usage table and the reading of its command line.
#include "app/app_usage.h"

#include "usage/argument_parser.h"

namespace clipvane {

const usage::TProgramUsage& AppUsage() {
  static const usage::TProgramUsage program = [] {
    usage::TProgramUsage usage;
    usage.Program = "clipvane";
    usage.Summary = "turn video clips into pictures and looping animated GIFs";
    usage.Synopsis = "[VIDEO]";
    usage.Description =
        "Clipvane opens a video, plays it in its \"Video\" window and shows its frame size, frame count and "
        "length. Its three pages extract chosen frames as BMP, JPEG, TIFF or PNG pictures, turn every n-th frame of a "
        "range into a looping animated GIF that keeps the play speed, and blend two pictures with one of 24 "
        "transition effects into a looping GIF. A VIDEO named on the command line is opened at start, as \"Open "
        "AVI\" opens it. Qt's own options (such as -platform or -style) are also accepted.";
    usage.CommonOptions = {{.Name = "--help", .ShortName = "-h", .Description = "show this help and exit"},
                           {.Name = "--version",
                            .ShortName = "-V",
                            .Description = "print the version and the libraries it runs on, and exit"}};
    usage.ExitStatus = {{"0", "the main window was closed"}, {"2", "wrong command line"}};
    usage.Files = {{"PREFIX/share/clipvane/help/index.html",
                    "the help page that \"Help\" opens; PREFIX is /usr for the Debian package, /usr/local for make "
                    "install"},
                   {"PREFIX/share/applications/clipvane.desktop", "the menu entry"}};
    usage.Examples = {{"clip.avi", "start with clip.avi open"}};
    usage.SeeAlso = {"clipvane-cli(1)"};
    return usage;
  }();
  return program;
}

TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args) {
  std::vector<const usage::TOptionSpec*> options;
  for (const auto& option : AppUsage().CommonOptions) options.push_back(&option);
  const usage::TParsedArguments parsed = usage::ParseArguments(options, args);
  if (parsed.Operands.size() > 1) throw usage::TUsageError{"give at most one video"};
  TAppCommandLine line;
  line.Help = parsed.Has("--help");
  line.Version = parsed.Has("--version");
  if (!parsed.Operands.empty()) line.Video = parsed.Operands.front();
  return line;
}

}  // namespace clipvane
