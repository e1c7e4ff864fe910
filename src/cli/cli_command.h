// The subcommands of clipvane-cli. Each command is its usage table (operands, options with
// argument, range, default and description, examples) and a run function; the parser, the
// help, the man page and the shell completion all read the same table, so an option cannot
// be accepted without being documented. The commands are listed in command_table.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "core/run_hooks.h"
#include "usage/argument_parser.h"
#include "usage/usage_model.h"
#include "video/frame_source.h"

namespace clipvane::cli {

using usage::TUsageError;

// What a command's run gets: its parsed command line, the progress hooks (a bar on a
// terminal, nothing when quiet) and where its results go.
struct TCommandContext {
  const usage::TParsedArguments& Arguments;
  TRunHooks Hooks;
  TCliOutput& Output;
  std::chrono::steady_clock::time_point Started = std::chrono::steady_clock::now();

  // Seconds since the command started, for --json.
  double Seconds() const;
};

// The progress of opening a video, for ProbeVideo: shown on the command's bar only when the
// open has taken more than half a second (a long video without an index of its own).
std::function<void(int position, int maximum)> OpenProgress(const TCommandContext& context);

struct TCliCommand {
  usage::TCommandUsage Usage;
  // Returns the exit status; throws TUsageError for a wrong command line, anything else
  // derived from std::exception for a failure.
  std::function<int(TCommandContext& context)> Run;
};

// Each command file's table and run.
TCliCommand InfoCommand();
TCliCommand FrameCommand();
TCliCommand ExtractCommand();
TCliCommand GifCommand();
TCliCommand TransitionCommand();

// The commands in the order the help lists them.
const std::vector<TCliCommand>& CliCommands();
// clipvane-cli's whole usage: the commands' tables, the common options, exit status, files.
const usage::TProgramUsage& CliUsage();
// "clipvane-cli 4.3.0" and the libraries it runs on, one per line.
std::string CliVersionText();

// Options shared by the commands' parsers.
using usage::ParseWholeNumber;
// Splits "A-B", "WxH" or "A,B,C,D" style values; throws TUsageError naming the option.
std::vector<int> ParseIntList(const std::string& option, const std::string& text, char separator, std::size_t count);

// The --best switch of the two GIF commands.
usage::TOptionSpec BestOption();
// The --lossy LEVEL option of the two GIF commands (a level above 0 means --best).
usage::TOptionSpec LossyOption();
// The --json switch that every command with results to report has.
usage::TOptionSpec JsonOption();
// --range FROM-TO over the video's frame numbers.
usage::TOptionSpec FrameRangeOption(const std::string& description);
// --hdr sdr|raw of the commands that make pictures from a video, and what it asks for.
usage::TOptionSpec HdrOption();
THdrMode HdrModeOf(const usage::TParsedArguments& arguments);

}  // namespace clipvane::cli
