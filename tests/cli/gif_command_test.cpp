// clipvane-cli gif, run as the user runs it: the GIF it writes (read back with giflib), its
// options, the same file from one thread and from two, and the command lines and inputs it
// refuses without writing anything.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using giflib_check::DecodeGif;
using giflib_check::TGiflibGif;

using cli_test::RangeNamedIn;
using cli_test::RangeText;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

class GifCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(CLIPVANE_CLI_PATH)) << CLIPVANE_CLI_PATH << " is missing: build clipvane-cli";
    video_ = temp_.File("clip.avi");
    fixtures::TFixtureAvi avi;
    avi.FrameCount = 12;  // 480 ms at 25 frames a second
    fixtures::WriteFixtureAvi(video_, avi);
  }

  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }

  TGiflibGif Gif(const std::string& path) const {
    const std::string bytes = Slurp(path);
    const TGiflibGif gif = DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_TRUE(gif.Ok) << "giflib error " << gif.Error;
    return gif;
  }

  static std::vector<int> Numbers(const TGiflibGif& gif) {
    std::vector<int> numbers;
    for (const auto& frame : gif.Frames) numbers.push_back(fixtures::DecodeFrameNumber(frame.Picture));
    return numbers;
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string video_;
  std::string out_ = temp_.File("out.gif");
};

TEST_F(GifCommand, WholeVideoLoopsAtItsOwnSpeed) {
  const TCliRun run = Run({"gif", video_, out_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Size: 64 x 48 pixels  Frames: 12\n");
  const TGiflibGif gif = Gif(out_);
  EXPECT_EQ(gif.Width, 64);
  EXPECT_EQ(gif.Height, 48);
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(gif.LoopBlockFrame, 0);
  EXPECT_EQ(gif.LoopCount, 0);
  EXPECT_EQ(Numbers(gif), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  for (const auto& frame : gif.Frames) EXPECT_EQ(frame.Delay, 4);
}

TEST_F(GifCommand, RangeSamplingAndDirection) {
  ASSERT_EQ(Run({"gif", video_, out_, "--range", "2-7", "--sampling", "2"}).status, 0);
  TGiflibGif gif = Gif(out_);
  EXPECT_EQ(Numbers(gif), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(gif.Frames[0].Delay, 8);
  ASSERT_EQ(Run({"gif", video_, out_, "--range", "2-7", "--sampling", "2", "--no-keep-speed", "--backward"}).status, 0);
  gif = Gif(out_);
  EXPECT_EQ(Numbers(gif), (std::vector<int>{6, 4, 2}));
  EXPECT_EQ(gif.Frames[0].Delay, 4);
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(gif.LoopBlockFrame, 0);
}

TEST_F(GifCommand, RegionScaleAndSize) {
  ASSERT_EQ(Run({"gif", video_, out_, "--region", "40,30,8,6", "--scale", "2:1", "--range", "0-0"}).status, 0);
  TGiflibGif gif = Gif(out_);
  EXPECT_EQ(gif.Width, 64);  // a 32 x 24 region doubled
  EXPECT_EQ(gif.Height, 48);
  ASSERT_EQ(Run({"gif", video_, out_, "--size", "30x20", "--range", "0-0"}).status, 0);
  gif = Gif(out_);
  EXPECT_EQ(gif.Width, 30);
  EXPECT_EQ(gif.Height, 20);
  ASSERT_EQ(Run({"gif", video_, out_, "--scale", "1:3", "--range", "0-0"}).status, 0);
  EXPECT_EQ(Gif(out_).Width, 21);
}

TEST_F(GifCommand, TwoThreadsWriteTheFileOfOne) {
  fixtures::TFixtureAvi avi;
  avi.Codec = fixtures::TFixtureCodec::fcMpeg4;
  avi.Width = 96;
  avi.Height = 64;
  avi.FrameCount = 30;
  const std::string video = temp_.File("mpeg4.avi");
  fixtures::WriteFixtureAvi(video, avi);
  const std::vector<std::vector<std::string>> optionSets{
      {},
      {"--sampling", "3", "--region", "50,-10,130,50", "--scale", "1:2"},
      {"--backward", "--time", "0-1", "--no-keep-speed"},
  };
  for (const auto& options : optionSets) {
    std::vector<std::string> one{"gif", video, temp_.File("one.gif"), "--threads", "1"};
    std::vector<std::string> two{"gif", video, temp_.File("two.gif")};
    one.insert(one.end(), options.begin(), options.end());
    two.insert(two.end(), options.begin(), options.end());
    ASSERT_EQ(Run(one).status, 0);
    ASSERT_EQ(Run(two).status, 0);
    const std::string a = Slurp(temp_.File("one.gif")), b = Slurp(temp_.File("two.gif"));
    EXPECT_GT(a.size(), 100u);
    EXPECT_TRUE(a == b) << "options " << options.size() << ": " << a.size() << " and " << b.size() << " bytes";
  }
}

TEST_F(GifCommand, BestQualityFramesShowEveryFrameForItsOwnTime) {
  // 12 frames at 25 a second: 4 hundredths each, 48 in all; what a viewer shows after each
  // frame is that frame, one thread or two giving the same file.
  ASSERT_EQ(Run({"gif", video_, out_, "--best", "--threads", "1"}).status, 0);
  const TGiflibGif gif = Gif(out_);
  ASSERT_EQ(gif.Frames.size(), 12u);
  int total = 0;
  for (const auto& frame : gif.Frames) total += frame.Delay;
  EXPECT_EQ(total, 48);
  std::vector<int> shown;
  for (const TBitmap& picture : giflib_check::ComposedFrames(gif))
    shown.push_back(fixtures::DecodeFrameNumber(picture));
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  ASSERT_EQ(Run({"gif", video_, temp_.File("two.gif"), "--best"}).status, 0);
  EXPECT_TRUE(Slurp(out_) == Slurp(temp_.File("two.gif")));
  // Without the switch the described GIF is written: one delay for every frame.
  ASSERT_EQ(Run({"gif", video_, out_}).status, 0);
  for (const auto& frame : Gif(out_).Frames) EXPECT_EQ(frame.Delay, Gif(out_).Frames[0].Delay);
}

TEST_F(GifCommand, WrongCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> wrong{
      {"gif", video_, out_, "--range", "3"},
      {"gif", video_, out_, "--range", "0-13"},  // past LastFrame (12)
      {"gif", video_, out_, "--range", "7-3"},   // converts nothing
      {"gif", video_, out_, "--time", "0-1"},    // the video lasts 0.48 s
      {"gif", video_, out_, "--range", "0-3", "--time", "0-0"},
      {"gif", video_, out_, "--sampling", "0"},
      {"gif", video_, out_, "--sampling", "11"},
      {"gif", video_, out_, "--scale", "1:6"},
      {"gif", video_, out_, "--scale", "2:1", "--size", "8x8"},
      {"gif", video_, out_, "--size", "0x10"},
      {"gif", video_, out_, "--size", "10001x10"},
      {"gif", video_, out_, "--region", "1,2,3"},
      {"gif", video_, out_, "--region", "5,5,5,9"},  // no pixel wide
      {"gif", video_, out_, "--region", "0,0,20000,10", "--scale", "5:1"},
      {"gif", video_, out_, "--threads", "3"},
      {"gif", video_, out_, "--loop", "2"},
      {"gif", video_, out_, "--sampling"},
      {"gif", video_},
  };
  for (const auto& args : wrong) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 2) << args.back() << ": " << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(GifCommand, EveryRangeItsOwnMessageNamesIsAccepted) {
  TCliRun refused = Run({"gif", video_, out_, "--range", "0-13"});
  ASSERT_EQ(refused.status, 2);
  const auto [first, last] = RangeNamedIn(refused.err);
  ASSERT_EQ(first, 0) << refused.err;
  ASSERT_EQ(last, 12) << refused.err;  // the device counts one frame past the 12 pictures
  ASSERT_EQ(Run({"gif", video_, out_, "--range", RangeText(first, last)}).status, 0);
  EXPECT_EQ(Numbers(Gif(out_)).size(), 12u);
  ASSERT_EQ(Run({"gif", video_, out_, "--range", RangeText(first, first)}).status, 0);
  EXPECT_EQ(Numbers(Gif(out_)), (std::vector<int>{0}));
  ASSERT_EQ(Run({"gif", video_, out_, "--range", RangeText(last - 1, last)}).status, 0);
  EXPECT_EQ(Numbers(Gif(out_)), (std::vector<int>{11}));
  // The last number has no picture: the run converts nothing, yet the command line is right.
  const TCliRun end = Run({"gif", video_, out_, "--range", RangeText(last, last)});
  EXPECT_EQ(end.status, 1) << end.err;
  EXPECT_EQ(end.err, "clipvane-cli: " + video_ + ": no frame could be converted; no GIF written.\n");

  refused = Run({"gif", video_, out_, "--time", "0-1"});
  ASSERT_EQ(refused.status, 2);
  const auto [from, to] = RangeNamedIn(refused.err);
  ASSERT_EQ(from, 0) << refused.err;
  ASSERT_EQ(to, 0) << refused.err;  // 480 ms hold no whole second
  ASSERT_EQ(Run({"gif", video_, out_, "--time", RangeText(from, to)}).status, 0);
  EXPECT_EQ(Numbers(Gif(out_)), (std::vector<int>{0}));
}

TEST_F(GifCommand, BadInputFailsWithoutTouchingTheTarget) {
  {
    std::ofstream old(out_);
    old << "the GIF that was there";
  }
  fixtures::WriteTextFile(temp_.File("notes.avi"), "not a video at all");
  TCliRun run = Run({"gif", temp_.File("notes.avi"), out_});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("clipvane-cli: ", 0), 0u) << run.err;
  run = Run({"gif", temp_.File("missing.avi"), out_});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Slurp(out_), "the GIF that was there");
  // A target in a folder that does not exist.
  run = Run({"gif", video_, temp_.File("nowhere/out.gif")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "clipvane-cli: " + temp_.File("nowhere/out.gif") + ": cannot be created: No such file or directory.\n");
  // Nothing half-written is left beside the target either.
  for (const auto& entry : fs::directory_iterator(temp_.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind(".clipvane-", 0), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace clipvane
