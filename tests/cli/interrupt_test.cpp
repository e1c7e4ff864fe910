// clipvane-cli stopped by Ctrl-C in the middle of a run: it ends as SIGINT ends a program (a
// shell reports 130), and the output folder holds only complete frames, no temporary file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

TEST(InterruptedRun, LeavesOnlyCompleteFrames) {
  fixtures::TTempFolder temp(CLIPVANE_TEST_TMP);
  const std::string video = temp.File("clip.avi");
  fixtures::TFixtureAvi avi;
  avi.FrameCount = 60;
  fixtures::WriteFixtureAvi(video, avi);
  const std::string folder = temp.File("frames");
  fs::create_directory(folder);

  // Large frames, so that much of the run is spent writing them.
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(CLIPVANE_CLI_PATH, CLIPVANE_CLI_PATH, "extract", video.c_str(), folder.c_str(), "--size", "1500x1500",
            "--quiet", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(folder + "/frame0002.bmp") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ::kill(child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);

  ASSERT_TRUE(WIFSIGNALED(status)) << "the run was not stopped by the signal, status " << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  int frames = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.rfind(".clipvane-", 0), std::string::npos) << "a temporary file was left: " << name;
    EXPECT_EQ(fs::file_size(entry.path()), 54u + 1500u * 1500u * 3u) << name;
    ++frames;
  }
  EXPECT_GE(frames, 2);
  EXPECT_LT(frames, 60);
}

}  // namespace
}  // namespace clipvane
