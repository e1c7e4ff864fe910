// Reads a command line against an option table: `--name value`, `--name=value`, short
// names, switches, `--` before operands that start with '-', and `-` as an operand (standard
// output). Only options of the table are accepted; an unknown one is named with the closest
// known one, so a typo gets a hint instead of a bare refusal.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "usage/usage_model.h"

namespace clipvane::usage {

// A malformed command line: the program prints the message and the usage, exit status 2.
class TUsageError : public EClipvaneError {
 public:
  using EClipvaneError::EClipvaneError;
};

class TParsedArguments {
 public:
  std::vector<std::string> Operands;

  // Whether the option was given. `name` must be in the table (a logic error otherwise, so
  // a command cannot read an option that its help does not list).
  bool Has(const std::string& name) const;
  // The last value given, or nothing.
  std::optional<std::string> Text(const std::string& name) const;
  // The last value of a vkInteger option, already checked against its range.
  std::optional<int> Integer(const std::string& name) const;

 private:
  friend TParsedArguments ParseArguments(const std::vector<const TOptionSpec*>& options,
                                         const std::vector<std::string>& args);
  const TOptionSpec& Spec(const std::string& name) const;

  std::vector<const TOptionSpec*> options_;
  std::map<std::string, std::string> values_;  // by long name; a switch has an empty value
};

// Throws TUsageError for an unknown option, a missing or surplus value, an integer out of
// range or a value that is not one of the choices. The table must outlive the result.
TParsedArguments ParseArguments(const std::vector<const TOptionSpec*>& options, const std::vector<std::string>& args);

// `text` as a whole number from low to high; throws TUsageError naming `name` otherwise
// ("--steps takes a whole number from 1 to 50, not \"0\"").
int ParseWholeNumber(const std::string& name, const std::string& text, int low, int high);

// The entry of `candidates` nearest to `typed` in edit distance, when it is near enough to be
// a likely typo (or `typed` starts it); empty otherwise.
std::string ClosestName(const std::string& typed, const std::vector<std::string>& candidates);

}  // namespace clipvane::usage
