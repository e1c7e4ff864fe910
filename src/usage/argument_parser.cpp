// The option table reader and its typo hint.
#include "usage/argument_parser.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace clipvane::usage {

namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

bool LooksNumeric(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
}

std::string UnknownOption(const std::string& name, const std::vector<const TOptionSpec*>& options) {
  std::vector<std::string> names;
  for (const TOptionSpec* option : options) names.push_back(option->Name);
  const std::string closest = ClosestName(name, names);
  return "unknown option " + name + (closest.empty() ? "" : "; did you mean " + closest + "?");
}

void CheckValue(const TOptionSpec& option, const std::string& value) {
  if (option.Kind == TValueKind::vkChoice &&
      std::find(option.Choices.begin(), option.Choices.end(), value) == option.Choices.end())
    throw TUsageError{option.Name + " takes " + JoinAlternatives(option.Choices) + ", not \"" + value + "\""};
  if (option.Kind == TValueKind::vkInteger) ParseWholeNumber(option.Name, value, option.Low, option.High);
}

}  // namespace

int ParseWholeNumber(const std::string& name, const std::string& text, int low, int high) {
  std::size_t used = 0;
  long number = 0;
  try {
    number = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || number < low || number > high)
    throw TUsageError{name + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                      ", not \"" + text + "\""};
  return static_cast<int>(number);
}

std::string ClosestName(const std::string& typed, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = std::string::npos;
  for (const std::string& candidate : candidates) {
    // A shortened name ("--qual") is as good a guess as a one-letter slip.
    const std::size_t distance = typed.size() > 2 && candidate.rfind(typed, 0) == 0 ? 1
                                                                                    : EditDistance(typed, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  const std::size_t allowed = std::max<std::size_t>(2, typed.size() / 3);
  return bestDistance <= allowed ? best : std::string();
}

const TOptionSpec& TParsedArguments::Spec(const std::string& name) const {
  for (const TOptionSpec* option : options_)
    if (option->Name == name) return *option;
  throw std::logic_error("the option " + name + " is not in the command's option table");
}

bool TParsedArguments::Has(const std::string& name) const { return values_.count(Spec(name).Name) != 0; }

std::optional<std::string> TParsedArguments::Text(const std::string& name) const {
  const auto found = values_.find(Spec(name).Name);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::optional<int> TParsedArguments::Integer(const std::string& name) const {
  const TOptionSpec& option = Spec(name);
  if (option.Kind != TValueKind::vkInteger) throw std::logic_error(name + " does not take a whole number");
  const auto text = Text(name);
  if (!text) return std::nullopt;
  return std::stoi(*text);
}

TParsedArguments ParseArguments(const std::vector<const TOptionSpec*>& options, const std::vector<std::string>& args) {
  TParsedArguments parsed;
  parsed.options_ = options;
  bool operandsOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (operandsOnly || arg == "-" || arg.empty() || arg[0] != '-' || LooksNumeric(arg)) {
      parsed.Operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      operandsOnly = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const std::size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const auto found = std::find_if(options.begin(), options.end(), [&](const TOptionSpec* option) {
      return option->Name == name || (!option->ShortName.empty() && option->ShortName == name);
    });
    if (found == options.end()) throw TUsageError{UnknownOption(name, options)};
    const TOptionSpec& option = **found;
    if (option.Kind == TValueKind::vkSwitch) {
      if (value) throw TUsageError{option.Name + " takes no value"};
      parsed.values_[option.Name] = "";
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size()) throw TUsageError{option.Name + " needs a value"};
      value = args[++i];
    }
    CheckValue(option, *value);
    parsed.values_[option.Name] = *value;
  }
  return parsed;
}

}  // namespace clipvane::usage
