// The command line conventions, run as a script runs the program: --quiet prints nothing but
// errors, the summary goes to stderr, --json prints one object on stdout, `-` writes the GIF
// to standard output (never to a terminal), extract makes its output folder, --version.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "core/version.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"

extern char** environ;

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

// The numbers of a JSON array member `"key": [1, 2, 3]`; fails the test when it is missing.
std::vector<int> JsonNumbers(const std::string& json, const std::string& key) {
  const std::string opening = "\"" + key + "\": [";
  const std::size_t start = json.find(opening);
  EXPECT_NE(start, std::string::npos) << key << " in " << json;
  std::vector<int> numbers;
  if (start == std::string::npos) return numbers;
  std::size_t position = start + opening.size();
  while (json[position] != ']') {
    std::size_t used = 0;
    numbers.push_back(std::stoi(json.substr(position), &used));
    position += used;
    if (json[position] == ',') position += 2;
  }
  return numbers;
}

std::vector<int> GiflibDelays(const std::string& path) {
  const std::string bytes = Slurp(path);
  const giflib_check::TGiflibGif gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_TRUE(gif.Ok) << path;
  std::vector<int> delays;
  for (const auto& frame : gif.Frames) delays.push_back(frame.Delay);
  return delays;
}

class CliConventions : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::TFixtureAvi avi;
    avi.FrameCount = 12;  // 64 x 48, 480 ms at 25 frames a second
    fixtures::WriteFixtureAvi(video_, avi);
  }

  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }

  // Runs with stdout on a pseudo-terminal; returns the status, and in `shown` what reached it.
  int RunOnTerminal(const std::vector<std::string>& args, std::string& shown) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, ptsname(master), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, temp_.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {CLIPVANE_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, CLIPVANE_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Drain the terminal while waiting, so a wrong program writing there cannot block.
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      pollfd ready{master, POLLIN, 0};
      if (poll(&ready, 1, 20) > 0 && (ready.revents & POLLIN)) {
        char buffer[4096];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) shown.append(buffer, static_cast<std::size_t>(count));
      }
    }
    close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string video_ = temp_.File("clip.avi");
  std::string gif_ = temp_.File("out.gif");
};

TEST_F(CliConventions, QuietPrintsNothingButErrors) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"info", "--quiet", video_},
      {"-q", "gif", video_, gif_},
      {"extract", video_, temp_.File("frames"), "-q", "--range", "0-1"},
      {"transition", "empty", "empty", temp_.File("t.gif"), "--steps", "2", "--quiet"}};
  for (const auto& args : commandLines) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_EQ(run.err, "") << args[0];
  }
  EXPECT_TRUE(fs::exists(gif_));
  const TCliRun failed = Run({"info", "--quiet", temp_.File("missing.avi")});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err.rfind("clipvane-cli: ", 0), 0u) << failed.err;
}

TEST_F(CliConventions, JsonReportsWhatWasWritten) {
  TCliRun run = Run({"info", "--json", video_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"file\": \"" + video_ +
                              "\", \"width\": 64, \"height\": 48, \"frames\": 12, \"length_ms\": 480, \"seconds\": ",
                          0),
            0u)
      << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);

  run = Run({"gif", "--json", "--quiet", video_, gif_, "--sampling", "3"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<int> delays = GiflibDelays(gif_);
  EXPECT_EQ(delays.size(), 4u);
  EXPECT_EQ(JsonNumbers(run.out, "delays"), delays) << run.out;
  EXPECT_NE(run.out.find("\"frames\": 4, "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"bytes\": " + std::to_string(fs::file_size(gif_)) + ", "), std::string::npos) << run.out;

  const std::string folder = temp_.File("frames");
  run = Run({"extract", "--json", video_, folder, "--range", "3-5", "--width", "32"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"frames\": 3, \"width\": 32, \"height\": 24, \"files\": [\"" + folder +
                         "/frame0003.bmp\", \"" + folder + "/frame0004.bmp\", \"" + folder + "/frame0005.bmp\"], "),
            std::string::npos)
      << run.out;
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);

  const std::string clip = temp_.File("clip.gif");
  run = Run({"transition", "empty", "empty", clip, "--steps", "4", "--duration", "900", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(JsonNumbers(run.out, "delays"), GiflibDelays(clip)) << run.out;
  EXPECT_EQ(GiflibDelays(clip).size(), 5u);
}

TEST_F(CliConventions, DashWritesTheSameGifToStandardOutput) {
  TCliRun run = Run({"gif", video_, gif_, "--scale", "1:2"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = Run({"gif", video_, "-", "--scale", "1:2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Slurp(gif_));
  EXPECT_EQ(run.err, "Size: 32 x 24 pixels  Frames: 12\n");
  EXPECT_FALSE(fs::exists("-"));

  const std::string clip = temp_.File("clip.gif");
  run = Run({"transition", "empty", "empty", clip, "--dest-color", "#204080"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = Run({"transition", "empty", "empty", "-", "--dest-color", "#204080"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Slurp(clip));

  // stdout cannot carry both.
  run = Run({"gif", video_, "-", "--json"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
}

TEST_F(CliConventions, DashRefusesATerminal) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"gif", video_, "-"}, {"transition", "empty", "empty", "-"}}) {
    std::string shown;
    EXPECT_EQ(RunOnTerminal(args, shown), 1) << args[0];
    EXPECT_EQ(shown, "") << args[0];
    EXPECT_NE(Slurp(temp_.File("stderr")).find("Standard output is a terminal"), std::string::npos)
        << Slurp(temp_.File("stderr"));
  }
}

TEST_F(CliConventions, ExtractMakesItsFolderButNeverReplacesAFile) {
  const std::string nested = temp_.File("a/b/c");
  TCliRun run = Run({"extract", video_, nested, "--range", "2-3"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(nested + "/frame0002.bmp"));
  EXPECT_TRUE(fs::exists(nested + "/frame0003.bmp"));

  const std::string file = temp_.File("notes.txt");
  fixtures::WriteTextFile(file, "keep me");
  run = Run({"extract", video_, file});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "clipvane-cli: Output folder \"" + file + "\" is a file, not a folder.\n");
  EXPECT_EQ(Slurp(file), "keep me");
  // A folder under a file cannot be made either.
  run = Run({"extract", video_, file + "/frames"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot create the output folder"), std::string::npos) << run.err;
  EXPECT_EQ(Slurp(file), "keep me");
}

TEST_F(CliConventions, VersionNamesTheProgramAndItsLibraries) {
  const TCliRun run = Run({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind(std::string("clipvane-cli ") + kVersion + "\n", 0), 0u) << run.out;
  for (const char* line :
       {"\nFFmpeg: libavformat ", ", libavcodec ", "\nzimg: 3.", "\nlibjpeg: ", "\nlibpng: 1.", "\nlibtiff: 4."})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << " in " << run.out;
  EXPECT_EQ(Run({"-V"}).out, run.out);
}

}  // namespace
}  // namespace clipvane
