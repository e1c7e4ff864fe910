// A program's usage tables as a roff man page (section 1): the same words as its --help,
// plus the exit status, files and examples sections a man page is expected to have.
#pragma once

#include <string>

#include "usage/usage_model.h"

namespace clipvane::usage {

// `source` is the footer's package line, e.g. "Clipvane 4.3.0". No date, so builds repeat.
std::string ManPage(const TProgramUsage& program, const std::string& source);

// Text made safe for roff: backslashes, hyphens and a leading dot or quote escaped.
std::string RoffEscape(const std::string& text);

}  // namespace clipvane::usage
