// Child processes for memory-bound tests: fork, limit, run, and wait4 for the peak memory.
#include "support/bounded_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace clipvane::fixtures {

namespace {

void LimitAddressSpace(std::uint64_t bytes) {
  if (bytes == 0 || UnderAddressSanitizer()) return;
  const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(98);
}

TBoundedRun WaitFor(pid_t child) {
  if (child < 0) throw std::runtime_error("cannot fork a child process");
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0) {
  }
  TBoundedRun run;
  if (WIFEXITED(status)) run.ExitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.PeakResidentBytes = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
  return run;
}

}  // namespace

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

TBoundedRun RunBounded(const std::function<int()>& body, std::uint64_t addressSpaceBytes) {
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t child = ::fork();
  if (child == 0) {
    LimitAddressSpace(addressSpaceBytes);
    int code = 99;
    try {
      code = body();
    } catch (...) {
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  return WaitFor(child);
}

TBoundedRun RunProgramBounded(const std::string& program, const std::vector<std::string>& args,
                              std::uint64_t addressSpaceBytes, const std::string& outPath, const std::string& errPath) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(97);
    LimitAddressSpace(addressSpaceBytes);
    ::execv(argv[0], argv.data());
    ::_exit(96);
  }
  return WaitFor(child);
}

}  // namespace clipvane::fixtures
