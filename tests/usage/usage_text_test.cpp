// The help, man page and completion writers on a small program of two commands: every option
// with its description, range and default; the man page's sections and its escaping.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "usage/bash_completion.h"
#include "usage/help_text.h"
#include "usage/man_page.h"

namespace clipvane::usage {
namespace {

TProgramUsage SampleProgram() {
  TProgramUsage program;
  program.Program = "tool";
  program.Summary = "does things";
  program.Description = "Does things to files.";
  program.Commands = {
      {"grow",
       "IN OUT",
       "make a picture larger",
       "Makes IN larger and writes OUT.",
       {{.Name = "--factor",
         .Argument = "N",
         .Kind = TValueKind::vkInteger,
         .Low = 2,
         .High = 8,
         .Default = "2",
         .Description = "how many times larger"},
        {.Name = "--filter",
         .Argument = "KIND",
         .Kind = TValueKind::vkChoice,
         .Choices = {"box", "cubic"},
         .Description = "how pixels are mixed"},
        {.Name = ".hidden-dot", .Description = ".a line roff must not take for a request, with a \\ in it"}},
       {{"grow a.png b.png --factor 3", "three times larger"}}},
      {"shrink", "IN OUT", "make a picture smaller", "Makes IN smaller.", {}, {}}};
  program.CommonOptions = {{.Name = "--quiet", .ShortName = "-q", .Description = "say nothing"}};
  program.ProgramOptions = {{.Name = "--version", .Description = "print the version"}};
  program.ExitStatus = {{"0", "done"}, {"2", "wrong command line"}};
  program.Files = {{"/tmp/x", "scratch"}};
  program.SeeAlso = {"other(1)", "more(5)"};
  return program;
}

int CountLines(const std::string& text, const std::string& piece) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.find(piece) != std::string::npos;
  return count;
}

TEST(HelpText, ACommandsHelpGivesEachOptionALineWithRangeAndDefault) {
  const TProgramUsage program = SampleProgram();
  const std::string help = CommandHelp(program, program.Commands[0]);
  EXPECT_EQ(help.rfind("usage: tool grow IN OUT [options]\n", 0), 0u) << help;
  EXPECT_EQ(CountLines(help, "  --factor N "), 1) << help;
  EXPECT_NE(help.find("how many times larger (range: 2 to 8; default: 2)"), std::string::npos) << help;
  EXPECT_NE(help.find("how pixels are mixed (range: box or cubic)"), std::string::npos) << help;
  EXPECT_EQ(CountLines(help, "-q, --quiet"), 1) << help;
  EXPECT_EQ(help.find("--version"), std::string::npos) << "only before a command: " << help;
  EXPECT_NE(help.find("examples:\n  tool grow a.png b.png --factor 3\n      three times larger\n"), std::string::npos)
      << help;
  EXPECT_EQ(help.find("shrink"), std::string::npos) << "another command's words: " << help;
}

TEST(HelpText, TheProgramsHelpListsEachCommandOnOneLine) {
  const std::string help = ProgramHelp(SampleProgram());
  EXPECT_EQ(CountLines(help, "  grow    make a picture larger"), 1) << help;
  EXPECT_EQ(CountLines(help, "  shrink  make a picture smaller"), 1) << help;
  EXPECT_EQ(CountLines(help, "--version"), 1) << help;
  EXPECT_EQ(help.find("--factor"), std::string::npos) << help;
}

TEST(HelpText, LongDescriptionsWrapWithinTheWidthUnderTheirColumn) {
  const std::string wrapped = Wrap("one two three four five six seven", 10, 4);
  EXPECT_EQ(wrapped, "one two\n    three four\n    five six\n    seven");
  std::istringstream lines(Wrap(std::string(30, 'x') + " short", 10, 0));
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first, std::string(30, 'x'));  // a word longer than the line stays whole
}

TEST(ManPage, HoldsTheSectionsAndEscapesEveryText) {
  const std::string page = ManPage(SampleProgram(), "Tool 1.2");
  EXPECT_EQ(page.rfind(".TH TOOL 1 \"\" \"Tool 1.2\" \"User Commands\"\n.SH NAME\ntool \\- does things\n", 0), 0u)
      << page;
  for (const char* section : {".SH SYNOPSIS", ".SH DESCRIPTION", ".SH COMMANDS", ".SH OPTIONS", ".SH EXIT STATUS",
                              ".SH FILES", ".SH SEE ALSO"})
    EXPECT_EQ(CountLines(page, section), 1) << section;
  EXPECT_NE(page.find(".TP\n\\fB\\-\\-factor\\fR \\fIN\\fR\nhow many times larger\n.br\nRange: 2 to 8. Default: 2.\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find(".BR other (1) ,\n.BR more (5)\n"), std::string::npos) << page;
  // No line of text may start a request by accident.
  EXPECT_NE(page.find("\\fB\\&.hidden\\-dot\\fR\n\\&.a line roff must not take for a request, with a \\e in it\n"),
            std::string::npos)
      << page;
  EXPECT_EQ(RoffEscape(".start"), "\\&.start");
  EXPECT_EQ(RoffEscape("'quote"), "\\&'quote");
  EXPECT_EQ(RoffEscape("a-b\\c"), "a\\-b\\ec");
}

TEST(BashCompletion, OffersCommandsOptionsAndChoices) {
  const std::string script = BashCompletion(SampleProgram());
  EXPECT_NE(script.find("compgen -W 'grow shrink help --quiet -q --version'"), std::string::npos) << script;
  EXPECT_NE(script.find("--filter) COMPREPLY=($(compgen -W 'box cubic' -- \"$cur\")); return ;;"), std::string::npos)
      << script;
  EXPECT_NE(script.find("compgen -W '--factor --filter .hidden-dot --quiet -q'"), std::string::npos) << script;
  EXPECT_NE(script.find("complete -o filenames -F _tool tool\n"), std::string::npos) << script;
}

}  // namespace
}  // namespace clipvane::usage
