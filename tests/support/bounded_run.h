// Runs part of a test in a child process, optionally under an address-space limit, and tells
// how it ended and how much memory it held at most: the way to check that a hostile file is
// refused without the memory its header claims.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace clipvane::fixtures {

struct TBoundedRun {
  int ExitCode = -1;  // -1 when the child did not exit by itself
  int Signal = 0;     // the signal that ended it, 0 when it exited
  std::uint64_t PeakResidentBytes = 0;
};

// True in an AddressSanitizer build. Its shadow memory reserves terabytes of address space,
// so an address-space limit cannot be set there; the peak resident memory still tells.
bool UnderAddressSanitizer();

// Runs body() in a forked child; its result is the child's exit code (an exception that
// leaves it gives 99). When addressSpaceBytes is not 0 and the build is not under
// AddressSanitizer, the child's address space is limited to that many bytes first.
TBoundedRun RunBounded(const std::function<int()>& body, std::uint64_t addressSpaceBytes);

// Runs a program with its arguments the same way, its standard output and error going to
// the given files.
TBoundedRun RunProgramBounded(const std::string& program, const std::vector<std::string>& args,
                              std::uint64_t addressSpaceBytes, const std::string& outPath, const std::string& errPath);

}  // namespace clipvane::fixtures
