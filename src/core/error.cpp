// The error box text rule.
#include "core/error.h"

#include <new>
#include <system_error>

namespace clipvane {

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

std::string ErrorMessageOf(const std::exception& error) {
  if (dynamic_cast<const EClipvaneError*>(&error) || dynamic_cast<const std::system_error*>(&error))
    return error.what();
  if (dynamic_cast<const std::bad_alloc*>(&error) || dynamic_cast<const std::length_error*>(&error))
    return "Not enough memory";
  return "Internal error";
}

}  // namespace clipvane
