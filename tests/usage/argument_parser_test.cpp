// The option-table parser: what it accepts, how it names what it refuses, and that a command
// cannot read an option its table (and so its help) does not list.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "usage/argument_parser.h"

namespace clipvane::usage {
namespace {

class ArgumentParser : public ::testing::Test {
 protected:
  ArgumentParser() {
    table_ = {{.Name = "--range", .Argument = "FROM-TO", .Kind = TValueKind::vkText},
              {.Name = "--sampling", .Argument = "N", .Kind = TValueKind::vkInteger, .Low = 1, .High = 10},
              {.Name = "--mode", .Argument = "BITS", .Kind = TValueKind::vkChoice, .Choices = {"24", "8", "1"}},
              {.Name = "--backward"},
              {.Name = "--quiet", .ShortName = "-q"}};
    for (const auto& option : table_) options_.push_back(&option);
  }

  TParsedArguments Parse(const std::vector<std::string>& args) { return ParseArguments(options_, args); }

  // The message of the usage error the arguments raise; fails the test when they parse.
  std::string Refusal(const std::vector<std::string>& args) {
    try {
      Parse(args);
    } catch (const TUsageError& error) {
      return error.what();
    }
    ADD_FAILURE() << "accepted: " << ::testing::PrintToString(args);
    return {};
  }

  std::vector<TOptionSpec> table_;
  std::vector<const TOptionSpec*> options_;
};

TEST_F(ArgumentParser, ReadsValuesSwitchesShortNamesAndOperands) {
  const TParsedArguments parsed =
      Parse({"in.avi", "--range", "3-9", "--sampling=4", "-q", "--backward", "-", "-7", "--", "--mode"});
  EXPECT_EQ(parsed.Operands, (std::vector<std::string>{"in.avi", "-", "-7", "--mode"}));
  EXPECT_EQ(parsed.Text("--range"), "3-9");
  EXPECT_EQ(parsed.Integer("--sampling"), 4);
  EXPECT_TRUE(parsed.Has("--quiet"));
  EXPECT_TRUE(parsed.Has("--backward"));
  EXPECT_FALSE(parsed.Has("--mode"));
  EXPECT_EQ(parsed.Text("--mode"), std::nullopt);
}

TEST_F(ArgumentParser, TheLastOfARepeatedOptionWins) {
  const TParsedArguments parsed = Parse({"--mode", "8", "--mode=1", "--sampling", "10", "--sampling", "1"});
  EXPECT_EQ(parsed.Text("--mode"), "1");
  EXPECT_EQ(parsed.Integer("--sampling"), 1);
}

TEST_F(ArgumentParser, RefusalsNameTheOptionAndWhatItTakes) {
  EXPECT_EQ(Refusal({"--rnage", "1-2"}), "unknown option --rnage; did you mean --range?");
  EXPECT_EQ(Refusal({"--samp", "2"}), "unknown option --samp; did you mean --sampling?");
  EXPECT_EQ(Refusal({"--colour", "2"}), "unknown option --colour");
  EXPECT_EQ(Refusal({"-x"}), "unknown option -x");
  EXPECT_EQ(Refusal({"--sampling", "11"}), "--sampling takes a whole number from 1 to 10, not \"11\"");
  EXPECT_EQ(Refusal({"--sampling", "0"}), "--sampling takes a whole number from 1 to 10, not \"0\"");
  EXPECT_EQ(Refusal({"--sampling", "2x"}), "--sampling takes a whole number from 1 to 10, not \"2x\"");
  EXPECT_EQ(Refusal({"--mode", "16"}), "--mode takes 24, 8 or 1, not \"16\"");
  EXPECT_EQ(Refusal({"in.avi", "--range"}), "--range needs a value");
  EXPECT_EQ(Refusal({"--backward=yes"}), "--backward takes no value");
}

TEST_F(ArgumentParser, TheEndsOfAnIntegerRangeAreAccepted) {
  EXPECT_EQ(Parse({"--sampling", "1"}).Integer("--sampling"), 1);
  EXPECT_EQ(Parse({"--sampling", "10"}).Integer("--sampling"), 10);
}

TEST_F(ArgumentParser, ReadingAnOptionOutsideTheTableIsAProgrammingError) {
  const TParsedArguments parsed = Parse({});
  EXPECT_THROW(parsed.Has("--threads"), std::logic_error);
  EXPECT_THROW(parsed.Text("--threads"), std::logic_error);
  EXPECT_THROW(parsed.Integer("--range"), std::logic_error);  // not a whole-number option
}

TEST(ClosestName, SuggestsOnlyLikelyTypos) {
  const std::vector<std::string> names = {"--range", "--region", "--quality", "--quiet"};
  EXPECT_EQ(ClosestName("--qiet", names), "--quiet");
  EXPECT_EQ(ClosestName("--qualty", names), "--quality");
  EXPECT_EQ(ClosestName("--regoin", names), "--region");
  EXPECT_EQ(ClosestName("--qual", names), "--quality");
  EXPECT_EQ(ClosestName("--verbose", names), "");
  EXPECT_EQ(ClosestName("gif", {"info", "frame", "extract", "gif", "transition"}), "gif");
  EXPECT_EQ(ClosestName("gfi", {"info", "frame", "extract", "gif", "transition"}), "gif");
  EXPECT_EQ(ClosestName("convert", {"info", "frame", "extract", "gif", "transition"}), "");
}

}  // namespace
}  // namespace clipvane::usage
