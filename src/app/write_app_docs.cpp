// Build tool: writes the window program's man page from its usage table, the one its --help
// prints.
#include <fstream>
#include <iostream>
#include <string>

#include "app/app_usage.h"
#include "core/version.h"
#include "usage/man_page.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: write-app-docs MAN_PAGE\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << clipvane::usage::ManPage(clipvane::AppUsage(), std::string("Clipvane ") + clipvane::kVersion);
  return out ? 0 : 1;
}
