// The help of clipvane-cli against its parser: every option a command's help lists is one
// the program accepts and every option it accepts is listed; the help's forms, typo hints,
// and the texts built from the same tables (README, man page, bash completion).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

// What a shell command prints on stdout and stderr together.
std::string Output(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return text;
  char buffer[4096];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, count);
  ::pclose(pipe);
  return text;
}

// The options a help text lists: the long names that start its option lines.
std::set<std::string> ListedOptions(const std::string& help) {
  std::set<std::string> names;
  static const std::regex line(R"(^  (?:-\w, )?(--[a-z-]+))");
  std::smatch match;
  std::istringstream lines(help);
  for (std::string text; std::getline(lines, text);)
    if (std::regex_search(text, match, line)) names.insert(match[1]);
  return names;
}

// A value the option accepts, so only the option's name can be refused.
std::vector<std::string> WithValue(const usage::TOptionSpec& option) {
  switch (option.Kind) {
    case usage::TValueKind::vkSwitch:
      return {option.Name};
    case usage::TValueKind::vkInteger:
      return {option.Name, std::to_string(option.High)};
    case usage::TValueKind::vkChoice:
      return {option.Name, option.Choices.back()};
    case usage::TValueKind::vkText:
      break;
  }
  return {option.Name, "1"};
}

class CliHelp : public ::testing::Test {
 protected:
  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }
  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(CliHelp, EachCommandsHelpListsExactlyTheOptionsItAccepts) {
  for (const cli::TCliCommand& command : cli::CliCommands()) {
    const std::string& name = command.Usage.Name;
    const TCliRun help = Run({"help", name});
    ASSERT_EQ(help.status, 0) << name;
    std::set<std::string> expected = {"--quiet", "--help"};
    for (const auto& option : command.Usage.Options) expected.insert(option.Name);
    EXPECT_EQ(ListedOptions(help.out), expected) << help.out;

    for (const auto& option : command.Usage.Options) {
      std::vector<std::string> args = {name};
      for (const auto& arg : WithValue(option)) args.push_back(arg);
      TCliRun run = Run(args);
      // Refused for its missing operands, never for the option.
      EXPECT_EQ(run.status, 2) << option.Name;
      EXPECT_EQ(run.err.find("unknown option"), std::string::npos) << run.err;
      if (option.Kind == usage::TValueKind::vkInteger || option.Kind == usage::TValueKind::vkChoice) {
        EXPECT_EQ(run.err.find(option.Name + " takes"), std::string::npos) << "a value in its range: " << run.err;
      }

      const std::string misspelt = option.Name.substr(0, option.Name.size() - 1) + "x";
      run = Run({name, misspelt});
      EXPECT_EQ(run.status, 2);
      EXPECT_NE(run.err.find("unknown option " + misspelt + "; did you mean " + option.Name + "?"), std::string::npos)
          << run.err;
    }
  }
}

TEST_F(CliHelp, TheProgramsHelpListsEveryCommandOnce) {
  const TCliRun run = Run({"--help"});
  ASSERT_EQ(run.status, 0);
  for (const cli::TCliCommand& command : cli::CliCommands()) {
    const std::regex line("\n  " + command.Usage.Name + " +" + command.Usage.Summary + "\n");
    EXPECT_TRUE(std::regex_search(run.out, line)) << command.Usage.Name << " in " << run.out;
  }
  EXPECT_EQ(ListedOptions(run.out), (std::set<std::string>{"--quiet", "--help", "--version"}));
  EXPECT_EQ(Run({"-h"}).out, run.out);
  EXPECT_EQ(Run({"help"}).out, run.out);
  const TCliRun bare = Run({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.err, run.out);
}

TEST_F(CliHelp, EveryWayOfAskingForACommandsHelpGivesTheSameText) {
  const TCliRun help = Run({"help", "gif"});
  ASSERT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: clipvane-cli gif VIDEO OUT.gif [options]\n", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("\nexamples:\n  clipvane-cli gif "), std::string::npos) << help.out;
  for (const auto& args : std::vector<std::vector<std::string>>{{"gif", "--help"},
                                                                {"gif", "-h"},
                                                                {"gif", "clip.avi", "--sampling", "99", "--help"},
                                                                {"--quiet", "gif", "-h"}}) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, help.out);
  }
}

TEST_F(CliHelp, UnknownNamesGetTheClosestKnownOne) {
  TCliRun run = Run({"gfi", "clip.avi", "out.gif"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("clipvane-cli: unknown command \"gfi\"; did you mean \"gif\"?\n", 0), 0u) << run.err;
  run = Run({"help", "extrct"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("did you mean \"extract\"?"), std::string::npos) << run.err;
  run = Run({"--verison"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown option --verison; did you mean --version?"), std::string::npos) << run.err;
  run = Run({"info", "--jsno", "clip.avi"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(
      run.err.rfind("clipvane-cli: unknown option --jsno; did you mean --json?\nusage: clipvane-cli info VIDEO", 0), 0u)
      << run.err;
}

TEST_F(CliHelp, TheReadmeShowsTheCurrentHelp) {
  const std::string readme = Slurp(CLIPVANE_SOURCE_DIR "/README.md");
  std::string block;
  std::istringstream lines(Run({"--help"}).out);
  for (std::string line; std::getline(lines, line);) block += line.empty() ? "\n" : "    " + line + "\n";
  EXPECT_NE(readme.find("\n\n" + block + "\n"), std::string::npos)
      << "README.md's command line section differs from clipvane-cli --help; run scripts/update-readme-help";
}

TEST_F(CliHelp, TheManPageRendersCleanlyAndNamesEveryOption) {
  const std::string page = CLIPVANE_CLI_DOCS_DIR "/clipvane-cli.1";
  // man's own warnings (groff's) come out on stderr; the page goes to a file.
  const std::string warnings =
      Output("LC_ALL=C MANWIDTH=80 man --warnings -l '" + page + "' > '" + temp_.File("man.txt") + "'");
  EXPECT_EQ(warnings, "");
  const std::string text = Slurp(temp_.File("man.txt"));
  for (const char* section : {"NAME", "SYNOPSIS", "COMMANDS", "EXIT STATUS", "FILES", "EXAMPLES", "SEE ALSO"})
    EXPECT_NE(text.find(std::string("\n") + section + "\n"), std::string::npos) << section;
  EXPECT_NE(text.find("\n       130    interrupted by Ctrl-C\n"), std::string::npos) << text;
  for (const cli::TCliCommand& command : cli::CliCommands())
    for (const auto& option : command.Usage.Options)
      EXPECT_NE(text.find("\n       " + option.Name), std::string::npos) << option.Name;
}

TEST_F(CliHelp, BashCompletesCommandsOptionsAndChoices) {
  const auto complete = [](const std::string& words) {
    return Output("bash -c 'source \"$0\"; COMP_WORDS=(" + words +
                  "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _clipvane_cli; echo \"${COMPREPLY[*]}\"' " +
                  CLIPVANE_CLI_DOCS_DIR "/clipvane-cli.bash-completion");
  };
  EXPECT_EQ(complete("clipvane-cli ex"), "extract\n");
  EXPECT_EQ(complete("clipvane-cli gif clip.avi --sam"), "--sampling\n");
  EXPECT_EQ(complete("clipvane-cli -q gif clip.avi --ba"), "--backward\n");
  EXPECT_EQ(complete("clipvane-cli extract clip.avi out --mode \"\""), "32 24 16 15 8 4 1\n");
  EXPECT_EQ(complete("clipvane-cli help tr"), "transition\n");
  EXPECT_EQ(complete("clipvane-cli info --"), "--json --quiet --help\n");
}

}  // namespace
}  // namespace clipvane
