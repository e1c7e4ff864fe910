// The program's error type and the text rule of the error box.
// Every failure travels as an exception carrying the message the user will read.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace clipvane {

class EClipvaneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message as the error box and the CLI show it: a full stop is appended when the
// last character sorts after "." (letters and digits do), so "Failed to open AVI file"
// reads "Failed to open AVI file.".
std::string ErrorBoxText(std::string_view message);

// The message the user reads for an error: ours and the system's as they are; "Not enough
// memory" for an allocation that failed or was too large to try; "Internal error" for any
// other library error, whose text ("vector::_M_range_check", ...) would mean nothing to a user.
std::string ErrorMessageOf(const std::exception& error);

}  // namespace clipvane
