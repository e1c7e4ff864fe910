// Terminal help: plain text in 80 columns, the same words as the man page.
#include "usage/help_text.h"

#include <algorithm>

namespace clipvane::usage {

namespace {

constexpr std::size_t kWidth = 79;
constexpr std::size_t kOptionColumn = 26;

std::string OptionLabel(const TOptionSpec& option) {
  std::string label = option.ShortName.empty() ? option.Name : option.ShortName + ", " + option.Name;
  if (!option.Argument.empty()) label += " " + option.Argument;
  return label;
}

// "range: 1 to 10; default: 1", or whichever half exists.
std::string RangeAndDefault(const TOptionSpec& option) {
  std::string text;
  if (const std::string range = RangeText(option); !range.empty()) text = "range: " + range;
  if (!option.Default.empty()) text += (text.empty() ? "" : "; ") + std::string("default: ") + option.Default;
  return text;
}

void AppendOption(std::string& out, const TOptionSpec& option) {
  std::string label = "  " + OptionLabel(option);
  std::string text = option.Description;
  if (const std::string extra = RangeAndDefault(option); !extra.empty()) text += " (" + extra + ")";
  if (label.size() + 2 > kOptionColumn) {
    out += label + "\n" + std::string(kOptionColumn, ' ');
  } else {
    out += label + std::string(kOptionColumn - label.size(), ' ');
  }
  out += Wrap(text, kWidth - kOptionColumn, kOptionColumn) + "\n";
}

void AppendExamples(std::string& out, const std::string& program, const std::vector<TExample>& examples) {
  if (examples.empty()) return;
  out += "\nexamples:\n";
  for (const TExample& example : examples) {
    out += "  " + program + " " + example.CommandLine + "\n";
    if (!example.Explanation.empty()) out += "      " + Wrap(example.Explanation, kWidth - 6, 6) + "\n";
  }
}

}  // namespace

std::string Wrap(const std::string& text, std::size_t width, std::size_t indent) {
  std::string out, line;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return out + line;
}

std::string UsageLine(const TProgramUsage& program, const TCommandUsage& command) {
  std::string line = "usage: " + program.Program + " " + command.Name;
  if (!command.Operands.empty()) line += " " + command.Operands;
  return line + " [options]";
}

std::string ProgramHelp(const TProgramUsage& program) {
  std::string out;
  if (program.Commands.empty()) {
    out += "usage: " + program.Program + (program.Synopsis.empty() ? "" : " " + program.Synopsis) + "\n";
  } else {
    out += "usage: " + program.Program + " COMMAND ARGUMENTS [options]\n";
  }
  // Appended piece by piece: GCC 12 warns falsely about "literal" + string here.
  out.append("\n").append(Wrap(program.Description, kWidth, 0)).append("\n");
  if (!program.Commands.empty()) {
    out += "\ncommands:\n";
    std::size_t width = 0;
    for (const TCommandUsage& command : program.Commands) width = std::max(width, command.Name.size());
    for (const TCommandUsage& command : program.Commands)
      out += "  " + command.Name + std::string(width + 2 - command.Name.size(), ' ') + command.Summary + "\n";
  }
  out += "\noptions:\n";
  for (const TOptionSpec& option : program.CommonOptions) AppendOption(out, option);
  for (const TOptionSpec& option : program.ProgramOptions) AppendOption(out, option);
  AppendExamples(out, program.Program, program.Examples);
  if (!program.Commands.empty()) out += "\nRun '" + program.Program + " help COMMAND' for the options of a command.\n";
  return out;
}

std::string CommandHelp(const TProgramUsage& program, const TCommandUsage& command) {
  std::string out = UsageLine(program, command) + "\n\n" + Wrap(command.Description, kWidth, 0) + "\n\noptions:\n";
  for (const TOptionSpec& option : command.Options) AppendOption(out, option);
  for (const TOptionSpec& option : program.CommonOptions) AppendOption(out, option);
  AppendExamples(out, program.Program, command.Examples);
  return out;
}

}  // namespace clipvane::usage
