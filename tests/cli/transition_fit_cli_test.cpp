// clipvane-cli transition with a size limit, a size estimate and lossy compression, on two
// natural-looking pictures: the file is never over the limit, an impossible limit writes
// nothing, the estimate comes close and writes nothing, --lossy 0 changes nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"
#include "support/natural_picture.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

void WritePpm(const std::string& path, const TBitmap& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << picture.Width() << " " << picture.Height() << "\n255\n";
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const TColor c = picture.GetPixel(x, y);
      out.put(static_cast<char>(GetRValue(c)))
          .put(static_cast<char>(GetGValue(c)))
          .put(static_cast<char>(GetBValue(c)));
    }
}

class TransitionFitCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(CLIPVANE_CLI_PATH)) << CLIPVANE_CLI_PATH << " is missing: build clipvane-cli";
    WritePpm(first_, fixtures::NaturalPicture(120, 80));
    WritePpm(second_, fixtures::NaturalPicture(120, 80, 37.5));
  }

  TCliRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"transition", first_, second_});
    return RunCli(args, temp_);
  }

  static std::uint64_t EstimatedBytes(const std::string& out) {
    std::smatch match;
    if (!std::regex_search(out, match, std::regex(R"(^about [0-9.]+ (bytes|KB|MB) \(([0-9,]+) bytes\))"))) return 0;
    std::string digits = match[2];
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    return std::stoull(digits);
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string first_ = temp_.File("first.ppm"), second_ = temp_.File("second.ppm");
  std::string out_ = temp_.File("out.gif");
};

TEST_F(TransitionFitCommand, TheLimitIsNeverExceeded) {
  ASSERT_EQ(Run({out_, "--best"}).status, 0);
  const auto whole = static_cast<std::uint64_t>(fs::file_size(out_));
  for (const std::uint64_t limit : {whole, whole - 1, whole / 3, whole / 10}) {
    SCOPED_TRACE(limit);
    fs::remove(out_);
    const TCliRun run = Run({out_, "--max-size", std::to_string(limit), "--effect", "LeftRight"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LE(fs::file_size(out_), limit);
    const std::string bytes = Slurp(out_);
    const auto gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_TRUE(gif.Ok);
    EXPECT_EQ(gif.Frames.size(), 11u);  // the steps stay
    int delay = 0;
    for (const auto& frame : gif.Frames) delay += frame.Delay;
    EXPECT_EQ(delay, 110);  // 1 s over 10 steps, 11 frames of a tenth
    EXPECT_NEAR(gif.Width * 80, gif.Height * 120, 120);
  }
}

TEST_F(TransitionFitCommand, AnImpossibleLimitFailsAndLeavesTheTargetAlone) {
  fixtures::WriteTextFile(out_, "kept");
  const TCliRun run = Run({out_, "--max-size", "500"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(std::regex_search(run.err, std::regex("cannot fit in 500 bytes: the smallest GIF of these frames is "
                                                    "about [0-9.]+ (KB|bytes)")))
      << run.err;
  EXPECT_EQ(Slurp(out_), "kept");
}

TEST_F(TransitionFitCommand, TheEstimateComesCloseAndWritesNothing) {
  const std::vector<std::vector<std::string>> commands = {
      {},
      {"--steps", "30", "--effect", "FadeOutIn"},
      {"--best"},
      {"--best", "--steps", "25", "--effect", "LeftRight"},
      {"--lossy", "40", "--steps", "12"},
      {"--best", "--steps", "3"},
  };
  for (const auto& options : commands) {
    std::vector<std::string> convert = {out_};
    convert.insert(convert.end(), options.begin(), options.end());
    std::vector<std::string> estimate = options;
    estimate.push_back("--estimate");
    SCOPED_TRACE(options.empty() ? "described" : options[0] + " " + options[options.size() - 1]);
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
}

TEST_F(TransitionFitCommand, LossyLevelZeroChangesNothingAndWrongValuesAreUsageErrors) {
  ASSERT_EQ(Run({out_, "--best"}).status, 0);
  const std::string best = Slurp(out_);
  ASSERT_EQ(Run({out_, "--best", "--lossy", "0"}).status, 0);
  EXPECT_TRUE(Slurp(out_) == best);
  ASSERT_EQ(Run({out_, "--lossy", "70"}).status, 0);
  EXPECT_LT(Slurp(out_).size(), best.size());
  fs::remove(out_);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {out_, "--max-size", "lots"}, {out_, "--lossy", "101"}, {"--max-size", "1MB"}}) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 2) << args.back() << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(out_));
}

}  // namespace
}  // namespace clipvane
