// A bash completion script for a program with commands, from its usage tables: commands
// after the program name, each command's options after it, the choices of an option after
// the option, file names elsewhere.
#pragma once

#include <string>

#include "usage/usage_model.h"

namespace clipvane::usage {

std::string BashCompletion(const TProgramUsage& program);

}  // namespace clipvane::usage
