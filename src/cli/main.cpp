// clipvane-cli: batch front end over the same runs as the windows.
// Exit status: 0 done, 1 failed (message on stderr), 2 usage error.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/error.h"

namespace clipvane::cli {

namespace {

std::vector<TCliCommand>& Registry() {
  static std::vector<TCliCommand> commands;
  return commands;
}

void PrintUsage(std::ostream& out) {
  out << "usage:\n";
  for (const auto& command : CliCommands()) out << "  clipvane-cli " << command.name << " " << command.usage << "\n";
  out << "common options: --quiet, --help\n";
}

// A one-line bar on stderr, redrawn only when the percentage changes.
TRunHooks TerminalProgress(bool quiet) {
  TRunHooks hooks;
  if (quiet || !isatty(STDERR_FILENO)) return hooks;
  hooks.progress = [last = -1](int position, int maximum) mutable {
    const int percent = maximum > 0 ? static_cast<int>(100LL * position / maximum) : 100;
    if (percent == last) return;
    last = percent;
    const int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(), percent);
    if (percent >= 100) std::fputc('\n', stderr);
    std::fflush(stderr);
  };
  return hooks;
}

}  // namespace

TCliCommandRegistration::TCliCommandRegistration(TCliCommand command) { Registry().push_back(std::move(command)); }

const std::vector<TCliCommand>& CliCommands() { return Registry(); }

int ParseIntOption(const std::string& option, const std::string& text, int low, int high) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value < low || value > high)
    throw TUsageError{option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                      ", not \"" + text + "\""};
  return static_cast<int>(value);
}

std::vector<int> ParseIntList(const std::string& option, const std::string& text, char separator,
                              std::size_t count) {
  std::vector<int> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    values.push_back(ParseIntOption(option, text.substr(start, end - start), -1000000, 1000000));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (values.size() != count)
    throw TUsageError{option + " takes " + std::to_string(count) + " numbers separated by '" + separator + "'"};
  return values;
}

}  // namespace clipvane::cli

int main(int argc, char** argv) {
  using namespace clipvane::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  bool quiet = false;
  std::vector<std::string> rest;
  for (const auto& arg : args) {
    if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return 0;
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.empty()) {
    PrintUsage(std::cerr);
    return 2;
  }
  for (const auto& command : CliCommands()) {
    if (command.name != rest.front()) continue;
    try {
      return command.run(std::vector<std::string>(rest.begin() + 1, rest.end()), TerminalProgress(quiet));
    } catch (const TUsageError& error) {
      std::cerr << "clipvane-cli: " << error.message << "\nusage: clipvane-cli " << command.name << " "
                << command.usage << "\n";
      return 2;
    } catch (const std::bad_alloc&) {
      std::cerr << "clipvane-cli: Not enough memory.\n";
      return 1;
    } catch (const std::exception& error) {
      std::cerr << "clipvane-cli: " << clipvane::ErrorBoxText(error.what()) << "\n";
      return 1;
    }
  }
  std::cerr << "clipvane-cli: unknown command \"" << rest.front() << "\"\n";
  PrintUsage(std::cerr);
  return 2;
}
