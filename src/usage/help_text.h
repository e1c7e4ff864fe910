// The terminal help of a program and of each of its commands, from its usage tables: every
// option on a line of its own with what it does, its range and its default, then examples.
#pragma once

#include <string>

#include "usage/usage_model.h"

namespace clipvane::usage {

// "usage: clipvane-cli gif VIDEO OUT.gif [options]" (no newline).
std::string UsageLine(const TProgramUsage& program, const TCommandUsage& command);

// The program's help: its synopsis, the commands one line each, the common options.
std::string ProgramHelp(const TProgramUsage& program);

// One command's help: usage line, description, options, examples.
std::string CommandHelp(const TProgramUsage& program, const TCommandUsage& command);

// `text` broken at spaces into lines of at most `width` characters, each but the first
// indented by `indent` spaces.
std::string Wrap(const std::string& text, std::size_t width, std::size_t indent);

}  // namespace clipvane::usage
