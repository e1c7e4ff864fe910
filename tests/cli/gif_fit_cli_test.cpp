// clipvane-cli gif with a size limit, a size estimate and lossy compression, on a short pan
// over a natural-looking scene: the file is never over the limit, an impossible limit writes
// nothing, the estimate comes close and writes nothing, and without the new options the
// file is the one the command has always written.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

class GifFitCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(CLIPVANE_CLI_PATH)) << CLIPVANE_CLI_PATH << " is missing: build clipvane-cli";
    video_ = temp_.File("pan.avi");
    fixtures::TFixtureAvi avi;
    avi.Width = 96;
    avi.Height = 64;
    avi.FrameCount = 40;
    avi.Picture = fixtures::TFixturePicture::fpPan;
    fixtures::WriteFixtureAvi(video_, avi);
  }

  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }

  // The bytes --estimate prints: "about 1.23 MB (1,234,567 bytes)...".
  static std::uint64_t EstimatedBytes(const std::string& out) {
    std::smatch match;
    if (!std::regex_search(out, match, std::regex(R"(^about [0-9.]+ (bytes|KB|MB) \(([0-9,]+) bytes\))"))) return 0;
    std::string digits = match[2];
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    return std::stoull(digits);
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string video_;
  std::string out_ = temp_.File("out.gif");
};

TEST_F(GifFitCommand, TheLimitIsNeverExceeded) {
  ASSERT_EQ(Run({"gif", video_, out_, "--best"}).status, 0);
  const auto whole = static_cast<std::uint64_t>(fs::file_size(out_));
  for (const std::uint64_t limit : {whole, whole - 1, whole / 3, whole / 10}) {
    SCOPED_TRACE(limit);
    fs::remove(out_);
    const TCliRun run = Run({"gif", video_, out_, "--max-size", std::to_string(limit)});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(out_));
    EXPECT_LE(fs::file_size(out_), limit);
    EXPECT_NE(run.err.find("Fitted under "), std::string::npos) << run.err;
    const std::string bytes = Slurp(out_);
    const giflib_check::TGiflibGif gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_TRUE(gif.Ok);
    int delay = 0;
    for (const auto& frame : gif.Frames) delay += frame.Delay;
    EXPECT_EQ(delay, 160);  // 40 frames at 25 a second, whatever the fit chose
  }
  // A size the command line fixes stays.
  ASSERT_EQ(Run({"gif", video_, out_, "--max-size", std::to_string(whole / 2), "--size", "48x32"}).status, 0);
  EXPECT_LE(fs::file_size(out_), whole / 2);
  const std::string bytes = Slurp(out_);
  const auto gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_EQ(gif.Width, 48);
  EXPECT_EQ(gif.Height, 32);
}

TEST_F(GifFitCommand, AnImpossibleLimitFailsAndLeavesTheTargetAlone) {
  fixtures::WriteTextFile(out_, "kept");
  const TCliRun run = Run({"gif", video_, out_, "--max-size", "1KB"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(std::regex_search(
      run.err, std::regex("cannot fit in 1 KB: the smallest GIF of these frames is about [0-9.]+ (KB|bytes)")))
      << run.err;
  EXPECT_EQ(Slurp(out_), "kept");
  const TCliRun estimate = Run({"gif", video_, "--max-size", "1KB", "--estimate"});
  EXPECT_EQ(estimate.status, 1);
  EXPECT_NE(estimate.err.find("cannot fit in 1 KB"), std::string::npos) << estimate.err;
}

TEST_F(GifFitCommand, TheEstimateComesCloseAndWritesNothing) {
  const std::vector<std::vector<std::string>> commands = {
      {}, {"--sampling", "2"}, {"--best"}, {"--best", "--lossy", "40", "--scale", "1:2"}};
  for (const auto& options : commands) {
    std::vector<std::string> convert = {"gif", video_, out_};
    convert.insert(convert.end(), options.begin(), options.end());
    std::vector<std::string> estimate = convert;
    estimate.push_back("--estimate");
    SCOPED_TRACE(options.empty() ? "described" : options[0]);
    fs::remove(out_);
    const TCliRun guessed = Run(estimate);
    ASSERT_EQ(guessed.status, 0) << guessed.err;
    EXPECT_FALSE(fs::exists(out_));
    const std::uint64_t bytes = EstimatedBytes(guessed.out);
    ASSERT_GT(bytes, 0u) << guessed.out;
    ASSERT_EQ(Run(convert).status, 0);
    const auto actual = static_cast<double>(fs::file_size(out_));
    EXPECT_NEAR(static_cast<double>(bytes), actual, 0.15 * actual) << guessed.out;
  }
  // The output file may be left out; with a limit, the estimate is of the GIF the fit makes.
  const TCliRun alone = Run({"gif", video_, "--estimate"});
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_GT(EstimatedBytes(alone.out), 0u) << alone.out;
  ASSERT_EQ(Run({"gif", video_, out_, "--best"}).status, 0);
  const std::string limit = std::to_string(fs::file_size(out_) / 3);
  const TCliRun fitted = Run({"gif", video_, "--max-size", limit, "--estimate"});
  ASSERT_EQ(fitted.status, 0) << fitted.err;
  EXPECT_LE(EstimatedBytes(fitted.out), std::stoull(limit)) << fitted.out;
  EXPECT_GT(EstimatedBytes(fitted.out), std::stoull(limit) / 2) << fitted.out;
}

TEST_F(GifFitCommand, LossyIsSmallerAndLevelZeroChangesNothing) {
  ASSERT_EQ(Run({"gif", video_, out_}).status, 0);
  const std::string described = Slurp(out_);
  ASSERT_EQ(Run({"gif", video_, out_, "--lossy", "0"}).status, 0);
  EXPECT_TRUE(Slurp(out_) == described);
  ASSERT_EQ(Run({"gif", video_, out_, "--best"}).status, 0);
  const std::string best = Slurp(out_);
  ASSERT_EQ(Run({"gif", video_, out_, "--best", "--lossy", "0"}).status, 0);
  EXPECT_TRUE(Slurp(out_) == best);
  // A level turns Best quality on.
  ASSERT_EQ(Run({"gif", video_, out_, "--lossy", "60"}).status, 0);
  const std::string lossy = Slurp(out_);
  ASSERT_EQ(Run({"gif", video_, out_, "--best", "--lossy", "60"}).status, 0);
  EXPECT_TRUE(Slurp(out_) == lossy);
  EXPECT_LT(lossy.size(), best.size() * 9 / 10);
}

TEST_F(GifFitCommand, WrongValuesAreUsageErrors) {
  const std::vector<std::vector<std::string>> wrong{
      {"gif", video_, out_, "--max-size", "5 parsecs"}, {"gif", video_, out_, "--max-size", "0"},
      {"gif", video_, out_, "--max-size", "-3MB"},      {"gif", video_, out_, "--max-size"},
      {"gif", video_, out_, "--lossy", "101"},          {"gif", video_, out_, "--lossy", "-1"},
      {"gif", video_, out_, "--lossy", "much"},
  };
  for (const auto& args : wrong) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 2) << args.back() << ": " << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(out_));
}

}  // namespace
}  // namespace clipvane
