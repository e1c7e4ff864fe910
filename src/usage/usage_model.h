// A program's command line as data: its commands, each command's options with argument,
// range, default and description, examples, exit codes and files. One table per command
// serves the parser, the terminal help, the man page and the shell completion, so they
// cannot drift apart. Plain C++, no dependencies.
#pragma once

#include <string>
#include <vector>

namespace clipvane::usage {

enum class TValueKind {
  vkSwitch,   // takes no value
  vkText,     // any text; the command checks it (RangeText says what is accepted)
  vkInteger,  // a whole number from Low to High
  vkChoice,   // one of Choices
};

struct TOptionSpec {
  std::string Name;         // "--range"
  std::string ShortName{};  // "-q", or empty
  std::string Argument{};   // "FROM-TO"; empty for a switch
  TValueKind Kind = TValueKind::vkSwitch;
  int Low = 0, High = 0;               // vkInteger
  std::vector<std::string> Choices{};  // vkChoice
  std::string RangeText{};             // vkText: what values are accepted, for the help
  std::string Default{};               // as the help shows it; empty: no default worth saying
  std::string Description{};           // what the option does, one sentence or two
};

struct TExample {
  std::string CommandLine;  // without the program name
  std::string Explanation;
};

struct TCommandUsage {
  std::string Name;      // "gif"
  std::string Operands;  // "VIDEO OUT.gif"
  std::string Summary;   // one line for the list of commands
  std::string Description;
  std::vector<TOptionSpec> Options;
  std::vector<TExample> Examples;
};

struct TNamedText {
  std::string Name, Text;
};

struct TProgramUsage {
  std::string Program;   // "clipvane-cli"
  std::string Summary;   // the NAME line of the man page
  std::string Synopsis;  // for a program without commands: "[VIDEO]"
  std::string Description;
  std::vector<TCommandUsage> Commands;      // empty for a program without commands
  std::vector<TOptionSpec> CommonOptions;   // accepted by the program and by every command
  std::vector<TOptionSpec> ProgramOptions;  // accepted only before a command ("--version")
  std::vector<TExample> Examples;
  std::vector<TNamedText> ExitStatus;  // "0" -> "done"
  std::vector<TNamedText> Files;
  std::vector<std::string> SeeAlso;  // "clipvane(1)"
};

// The range column of the help: "1 to 10", "bmp, jpeg or tiff", RangeText, or empty.
std::string RangeText(const TOptionSpec& option);

// "a, b or c".
std::string JoinAlternatives(const std::vector<std::string>& items);

}  // namespace clipvane::usage
