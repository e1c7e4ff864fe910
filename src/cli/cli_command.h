// The subcommands of clipvane-cli. Each command file registers itself with a static
// TCliCommandRegistration, so adding a command touches no other file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/run_hooks.h"

namespace clipvane::cli {

// Thrown for a malformed command line: exit status 2 with the usage text.
struct TUsageError {
  std::string message;
};

struct TCliCommand {
  std::string name;
  std::string usage;  // one or more lines, without the program name
  // Runs with the arguments after the command name; returns the exit status.
  std::function<int(const std::vector<std::string>& args, const TRunHooks& hooks)> run;
};

struct TCliCommandRegistration {
  explicit TCliCommandRegistration(TCliCommand command);
};

const std::vector<TCliCommand>& CliCommands();

// Options shared by the commands' parsers.
int ParseIntOption(const std::string& option, const std::string& text, int low, int high);
// Splits "A-B", "WxH" or "A,B,C,D" style values; throws TUsageError naming the option.
std::vector<int> ParseIntList(const std::string& option, const std::string& text, char separator,
                              std::size_t count);

}  // namespace clipvane::cli
