// Build tool: writes clipvane-cli's man page and bash completion from its usage tables, the
// same tables its --help prints.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/cli_command.h"
#include "core/version.h"
#include "usage/bash_completion.h"
#include "usage/man_page.h"

int main(int argc, char** argv) {
  using namespace clipvane;
  if (argc != 3) {
    std::cerr << "usage: write-cli-docs MAN_PAGE COMPLETION\n";
    return 2;
  }
  std::ofstream(argv[1], std::ios::binary) << usage::ManPage(cli::CliUsage(), std::string("Clipvane ") + kVersion);
  std::ofstream(argv[2], std::ios::binary) << usage::BashCompletion(cli::CliUsage());
  return std::ofstream(argv[1], std::ios::app) && std::ofstream(argv[2], std::ios::app) ? 0 : 1;
}
