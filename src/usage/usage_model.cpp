// The range text of an option, shared by the help, the man page and the parser's messages.
#include "usage/usage_model.h"

namespace clipvane::usage {

std::string JoinAlternatives(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
    text += items[i];
  }
  return text;
}

std::string RangeText(const TOptionSpec& option) {
  switch (option.Kind) {
    case TValueKind::vkInteger:
      return std::to_string(option.Low) + " to " + std::to_string(option.High);
    case TValueKind::vkChoice:
      return JoinAlternatives(option.Choices);
    case TValueKind::vkText:
      return option.RangeText;
    case TValueKind::vkSwitch:
      break;
  }
  return {};
}

}  // namespace clipvane::usage
