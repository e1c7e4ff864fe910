// clipvane-cli: batch front end over the same runs as the windows.
// Exit status: 0 done, 1 failed (message on stderr), 2 usage error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/error.h"
#include "core/interrupt_cleanup.h"
#include "core/malloc_arenas.h"
#include "usage/help_text.h"

namespace clipvane::cli {

namespace {

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

const usage::TOptionSpec* FindOption(const std::vector<usage::TOptionSpec>& options, const std::string& arg) {
  for (const auto& option : options)
    if (option.Name == arg || option.ShortName == arg) return &option;
  return nullptr;
}

const TCliCommand* FindCommand(const std::string& name) {
  for (const auto& command : CliCommands())
    if (command.Usage.Name == name) return &command;
  return nullptr;
}

int UnknownCommand(const std::string& name) {
  std::vector<std::string> names;
  for (const auto& command : CliCommands()) names.push_back(command.Usage.Name);
  const std::string closest = usage::ClosestName(name, names);
  std::cerr << "clipvane-cli: unknown command \"" << name << "\""
            << (closest.empty() ? "" : "; did you mean \"" + closest + "\"?") << "\n"
            << "Run 'clipvane-cli --help' for the list of commands.\n";
  return 2;
}

// `help`, `help COMMAND`.
int Help(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cout << usage::ProgramHelp(CliUsage());
    return 0;
  }
  const TCliCommand* command = FindCommand(args.front());
  if (!command) return UnknownCommand(args.front());
  std::cout << usage::CommandHelp(CliUsage(), command->Usage);
  return 0;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

int RunCommand(const TCliCommand& command, const std::vector<std::string>& args, bool quiet) {
  const usage::TProgramUsage& program = CliUsage();
  try {
    std::vector<const usage::TOptionSpec*> options;
    for (const auto& option : command.Usage.Options) options.push_back(&option);
    for (const auto& option : program.CommonOptions) options.push_back(&option);
    const usage::TParsedArguments parsed = usage::ParseArguments(options, args);
    quiet = quiet || parsed.Has("--quiet");
    TCliOutput output(quiet);
    TCommandContext context{parsed, TerminalProgress(quiet), output};
    return command.Run(context);
  } catch (const TUsageError& error) {
    std::cerr << "clipvane-cli: " << error.what() << "\n"
              << usage::UsageLine(program, command.Usage) << "\n"
              << "Run 'clipvane-cli help " << command.Usage.Name << "' for its options.\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "clipvane-cli: " << clipvane::ErrorBoxText(clipvane::CommandLineMessageOf(error)) << "\n";
    return 1;
  }
}

}  // namespace

// Options before the command (--quiet, --help, --version), then the command and its own.
int RunCli(const std::vector<std::string>& args) {
  const usage::TProgramUsage& program = CliUsage();
  bool quiet = false;
  std::size_t next = 0;
  for (; next < args.size() && args[next].size() > 1 && args[next][0] == '-'; ++next) {
    const std::string& arg = args[next];
    const usage::TOptionSpec* option = FindOption(program.CommonOptions, arg);
    if (!option) option = FindOption(program.ProgramOptions, arg);
    if (!option) {
      std::vector<std::string> names;
      for (const auto* list : {&program.CommonOptions, &program.ProgramOptions})
        for (const auto& known : *list) names.push_back(known.Name);
      const std::string closest = usage::ClosestName(arg, names);
      std::cerr << "clipvane-cli: unknown option " << arg << (closest.empty() ? "" : "; did you mean " + closest + "?")
                << "\nRun 'clipvane-cli --help' for the list of commands.\n";
      return 2;
    }
    if (option->Name == "--help") return Help({});
    if (option->Name == "--version") {
      std::cout << CliVersionText();
      return 0;
    }
    if (option->Name == "--quiet") quiet = true;
  }
  if (next == args.size()) {
    std::cerr << usage::ProgramHelp(program);
    return 2;
  }
  const std::string& name = args[next];
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(next) + 1, args.end());
  if (name == "help") return Help(rest);
  const TCliCommand* command = FindCommand(name);
  if (!command) return UnknownCommand(name);
  if (AsksForHelp(rest)) return Help({name});
  return RunCommand(*command, rest, quiet);
}

}  // namespace clipvane::cli

int main(int argc, char** argv) {
  // Ctrl-C, a kill or a closed terminal in the middle of a save leaves no partial file.
  clipvane::RemoveTemporaryFilesOnInterrupt();
  clipvane::ShareMallocArenas();
  return clipvane::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
