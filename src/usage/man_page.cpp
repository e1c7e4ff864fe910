// The roff writer. Every line of text goes through RoffEscape, so no option or example can
// be read as a request.
#include "usage/man_page.h"

#include <cctype>

namespace clipvane::usage {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string OptionTag(const TOptionSpec& option) {
  std::string tag = "\\fB" + RoffEscape(option.Name) + "\\fR";
  if (!option.ShortName.empty()) tag = "\\fB" + RoffEscape(option.ShortName) + "\\fR, " + tag;
  if (!option.Argument.empty()) tag += " \\fI" + RoffEscape(option.Argument) + "\\fR";
  return tag;
}

void AppendOptions(std::string& out, const std::vector<TOptionSpec>& options) {
  for (const TOptionSpec& option : options) {
    out += ".TP\n" + OptionTag(option) + "\n" + RoffEscape(option.Description) + "\n";
    const std::string range = RangeText(option);
    if (!range.empty() || !option.Default.empty()) {
      out += ".br\n";
      std::string line;
      if (!range.empty()) line = "Range: " + range + ".";
      if (!option.Default.empty()) {
        if (!line.empty()) line += ' ';
        line.append("Default: ").append(option.Default).append(".");
      }
      out += RoffEscape(line) + "\n";
    }
  }
}

void AppendNamedList(std::string& out, const std::string& heading, const std::vector<TNamedText>& items) {
  if (items.empty()) return;
  out += ".SH " + heading + "\n";
  for (const TNamedText& item : items) out += ".TP\n.B " + RoffEscape(item.Name) + "\n" + RoffEscape(item.Text) + "\n";
}

void AppendExamples(std::string& out, const std::string& program, const std::vector<TExample>& examples) {
  for (const TExample& example : examples) {
    out += ".TP\n\\fB" + RoffEscape(program + " " + example.CommandLine) + "\\fR\n";
    if (!example.Explanation.empty()) out += RoffEscape(example.Explanation) + "\n";
  }
}

}  // namespace

std::string RoffEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string ManPage(const TProgramUsage& program, const std::string& source) {
  const std::string name = RoffEscape(program.Program);
  std::string out = ".TH " + Upper(name) + " 1 \"\" \"" + RoffEscape(source) + "\" \"User Commands\"\n";
  out += ".SH NAME\n" + name + " \\- " + RoffEscape(program.Summary) + "\n.SH SYNOPSIS\n";
  if (program.Commands.empty()) {
    out += ".B " + name + "\n" + RoffEscape(program.Synopsis) + "\n";
  } else {
    for (const TCommandUsage& command : program.Commands)
      out += ".B " + name + " " + RoffEscape(command.Name) + "\n" + RoffEscape(command.Operands) + " [options]\n.br\n";
  }
  for (const TOptionSpec& option : program.ProgramOptions) out += ".B " + name + "\n" + OptionTag(option) + "\n.br\n";
  out += ".SH DESCRIPTION\n" + RoffEscape(program.Description) + "\n";
  if (!program.Commands.empty()) {
    out += ".SH COMMANDS\n";
    for (const TCommandUsage& command : program.Commands) {
      out += ".SS \"" + RoffEscape(command.Name + " " + command.Operands) + "\"\n" + RoffEscape(command.Description) +
             "\n";
      AppendOptions(out, command.Options);
      if (!command.Examples.empty()) {
        out += ".PP\nExamples:\n";
        AppendExamples(out, program.Program, command.Examples);
      }
    }
  }
  out += ".SH OPTIONS\n";
  AppendOptions(out, program.CommonOptions);
  AppendOptions(out, program.ProgramOptions);
  AppendNamedList(out, "EXIT STATUS", program.ExitStatus);
  AppendNamedList(out, "FILES", program.Files);
  if (!program.Examples.empty()) {
    out += ".SH EXAMPLES\n";
    AppendExamples(out, program.Program, program.Examples);
  }
  if (!program.SeeAlso.empty()) {
    out += ".SH SEE ALSO\n";
    for (std::size_t i = 0; i < program.SeeAlso.size(); ++i) {
      // "clipvane(1)": the name in bold, the section in roman.
      const std::string& page = program.SeeAlso[i];
      const std::size_t section = page.find('(');
      out.append(".BR ").append(RoffEscape(page.substr(0, section)));
      if (section != std::string::npos) out.append(" ").append(RoffEscape(page.substr(section)));
      out.append(i + 1 < program.SeeAlso.size() ? " ,\n" : "\n");
    }
  }
  return out;
}

}  // namespace clipvane::usage
