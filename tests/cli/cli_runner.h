// Runs the built clipvane-cli as a user would, capturing its exit status and both outputs.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/avi_fixtures.h"

namespace clipvane::cli_test {

struct TCliRun {
  int status = -1;
  std::string out, err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Each argument is passed single-quoted; stdout and stderr go through files in `temp`.
inline TCliRun RunCli(const std::vector<std::string>& args, const fixtures::TTempFolder& temp) {
  // Appended piece by piece: GCC 12 warns falsely about chained string + here.
  std::string command = "'";
  command.append(CLIPVANE_CLI_PATH).append("'");
  for (const auto& arg : args) command.append(" '").append(arg).append("'");
  command.append(" >'").append(temp.File("stdout")).append("' 2>'").append(temp.File("stderr")).append("'");
  TCliRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(temp.File("stdout"));
  run.err = Slurp(temp.File("stderr"));
  return run;
}

// The same, run from `folder` with standard input read from `input` (/dev/null when empty),
// so that an argument can be a name relative to that folder.
inline TCliRun RunCliIn(const std::vector<std::string>& args, const fixtures::TTempFolder& temp,
                        const std::string& folder, const std::string& input = "") {
  std::string command = "cd '";
  // A program that waits on a network peer would hang the test: it is stopped after 30 s.
  command.append(folder).append("' && timeout 30 '").append(CLIPVANE_CLI_PATH).append("'");
  for (const auto& arg : args) command.append(" '").append(arg).append("'");
  command.append(" <'").append(input.empty() ? "/dev/null" : input).append("'");
  command.append(" >'").append(temp.File("stdout")).append("' 2>'").append(temp.File("stderr")).append("'");
  TCliRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(temp.File("stdout"));
  run.err = Slurp(temp.File("stderr"));
  return run;
}

// The bounds a usage message names as "from A to B"; {-1, -1} when it names none.
inline std::pair<int, int> RangeNamedIn(const std::string& message) {
  const std::size_t at = message.find("from ");
  int low = -1, high = -1;
  if (at == std::string::npos || std::sscanf(message.c_str() + at, "from %d to %d", &low, &high) != 2) return {-1, -1};
  return {low, high};
}

inline std::string RangeText(int from, int to) { return std::to_string(from) + "-" + std::to_string(to); }

}  // namespace clipvane::cli_test
