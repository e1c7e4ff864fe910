// A save interrupted by SIGINT, SIGTERM or SIGHUP leaves no temporary file behind, and the
// program ends as the signal ends it. Each case runs in a child process that is stopped in
// the middle of a save and then sent the signal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/atomic_file.h"
#include "core/interrupt_cleanup.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

// Files in the folder whose names start with ".clipvane-": temporary files of saves.
std::vector<std::string> TemporaryFiles(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(".clipvane-", 0) == 0) found.push_back(entry.path().string());
  return found;
}

// Forks a child that runs `prepare`, then starts a save of `target`, writes some bytes, says
// so through a pipe and waits; the parent sends `signal` then. Returns the child's status
// (exit status 4: the child outlived the signal).
int InterruptSave(const std::string& target, int signal, void (*prepare)(const std::string& folder)) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    prepare(fs::path(target).parent_path().string());
    TTemporaryFile file(target);
    const std::vector<std::uint8_t> bytes(100000, 42);
    file.Write(bytes);
    const char done = 1;
    if (::write(ready[1], &done, 1) != 1) ::_exit(3);
    // The signal's handler must end the process; one that returns lets pause return.
    ::pause();
    ::_exit(4);
  }
  ::close(ready[1]);
  char done = 0;
  const bool started = ::read(ready[0], &done, 1) == 1;
  ::close(ready[0]);
  if (started) ::kill(child, signal);
  int status = 0;
  ::waitpid(child, &status, 0);
  return started ? status : -1;
}

void HandlerOnly(const std::string&) { RemoveTemporaryFilesOnInterrupt(); }

// Twenty saves completed first: each must give its registration back, or the registry fills
// up and the save in progress is no longer removed.
void HandlerAfterManySaves(const std::string& folder) {
  RemoveTemporaryFilesOnInterrupt();
  const std::vector<std::uint8_t> bytes = {1, 2, 3};
  for (int i = 0; i < 20; ++i) WriteFileAtomically(folder + "/done" + std::to_string(i) + ".bin", bytes);
  try {
    WriteFileAtomically(folder + "/nowhere/x.bin", bytes);
  } catch (...) {
  }
}

TEST(InterruptedSave, LeavesNoTemporaryFileAndEndsByTheSignal) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
    const int status = InterruptSave(folder.File("picture.bmp"), signal, HandlerOnly);
    ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << ", status " << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(TemporaryFiles(folder.Path()), std::vector<std::string>{}) << "signal " << signal;
    EXPECT_FALSE(fs::exists(folder.File("picture.bmp")));
  }
}

TEST(InterruptedSave, FinishedSavesGiveTheirPlaceBack) {
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  const int status = InterruptSave(folder.File("frame.bmp"), SIGINT, HandlerAfterManySaves);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(TemporaryFiles(folder.Path()), std::vector<std::string>{});
  // The finished files are untouched.
  EXPECT_EQ(fs::file_size(folder.File("done19.bin")), 3u);
}

// Threads that save all the time, as the command line's frame writers do: a file one of them
// creates while the handler deletes the others must not outlive the program.
TEST(InterruptedSave, SavesOnOtherThreadsLeaveNothingEither) {
  for (int round = 0; round < 20; ++round) {
    fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
    const std::string path = folder.Path();
    const pid_t child = ::fork();
    if (child == 0) {
      RemoveTemporaryFilesOnInterrupt();
      std::vector<std::thread> savers;
      for (int t = 0; t < 4; ++t)
        savers.emplace_back([path, t] {
          const std::vector<std::uint8_t> bytes(1000, 7);
          for (int i = 0;; ++i) {
            try {
              WriteFileAtomically(path + "/f" + std::to_string(t) + "_" + std::to_string(i % 4), bytes);
            } catch (const std::exception&) {
              // The handler deleted this save's file before its rename; the program is ending.
            }
          }
        });
      for (;;) ::pause();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + round));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ", status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT) << "round " << round;
    EXPECT_EQ(TemporaryFiles(path), std::vector<std::string>{}) << "round " << round;
  }
}

TEST(InterruptedSave, ASignalIgnoredAtStartStaysIgnored) {
  // As under nohup: SIGHUP ignored before the handler is installed.
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGHUP, SIG_IGN);
    RemoveTemporaryFilesOnInterrupt();
    ::raise(SIGHUP);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace clipvane
