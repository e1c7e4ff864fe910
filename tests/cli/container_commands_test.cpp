// clipvane-cli info, frame, extract and gif on every container test video, run as the user
// runs them, and the messages naming the file for what cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "core/bitmap.h"
#include "support/gif_giflib_decode.h"
#include "support/video_fixture_cases.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;
using fixtures::TContainerCase;

class ContainerCommands : public ::testing::TestWithParam<TContainerCase> {
 protected:
  void SetUp() override {
    video_ = temp_.File(GetParam().FileName);
    fixtures::WriteFixtureVideo(video_, GetParam().Video);
  }

  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }

  int LengthMs() const {
    const auto& video = GetParam().Video;
    return video.StartsMs.empty() ? video.FrameCount * 1000 * video.RateDenominator / video.RateNumerator
                                  : video.StartsMs.back() - video.StartsMs.front();
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string video_;
};

TEST_P(ContainerCommands, InfoNamesTheContainerAndShowsTheUprightSize) {
  const auto& video = GetParam().Video;
  const TCliRun run = Run({"info", video_});
  ASSERT_EQ(run.status, 0) << run.err;
  char length[32];
  std::snprintf(length, sizeof length, "%.1f", LengthMs() / 1000.0);
  std::string expected = "Frame width: " + std::to_string(video.DisplayWidth()) + " pixels\n" +
                         "Frame height: " + std::to_string(video.DisplayHeight()) + " pixels\n" +
                         "Frames count: " + std::to_string(video.FrameCount) + "\n" + "Time length: " + length +
                         " s\n" + "Format: " + GetParam().Container + ", " + GetParam().Codec + "\n";
  if (video.DisplayWidth() != video.Width || video.DisplayHeight() != video.Height)
    expected += "Coded size: " + std::to_string(video.Width) + " x " + std::to_string(video.Height) + " pixels\n";
  if (video.Rotation != 0) expected += "Rotation: " + std::to_string(video.Rotation) + " degrees clockwise\n";
  expected += "Colour: " + GetParam().Colour + "\n";
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
}

TEST_P(ContainerCommands, FrameAndExtractGiveTheNumberedFrames) {
  const int last = GetParam().Video.FrameCount - 1;
  const std::string one = temp_.File("one.bmp");
  TCliRun run = Run({"frame", video_, std::to_string(last), one});
  ASSERT_EQ(run.status, 0) << run.err;
  TBitmap bitmap;
  bitmap.LoadFromFile(one);
  EXPECT_EQ(fixtures::DecodeFrameNumber(bitmap), last);

  const std::string folder = temp_.File("frames");
  run = Run({"extract", video_, folder, "--range", "2-5"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (int n = 2; n <= 5; ++n) {
    const std::string file = folder + "/frame" + std::string(n < 10 ? "000" : "00") + std::to_string(n) + ".bmp";
    ASSERT_TRUE(fs::exists(file)) << file;
    bitmap.LoadFromFile(file);
    EXPECT_EQ(bitmap.Width(), GetParam().Video.DisplayWidth());
    EXPECT_EQ(fixtures::DecodeFrameNumber(bitmap), n);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
}

TEST_P(ContainerCommands, GifHoldsEveryFrameAndLastsAsLongAsTheVideo) {
  const std::string out = temp_.File("out.gif");
  const TCliRun run = Run({"gif", video_, out, "--best"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string bytes = Slurp(out);
  const auto gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_TRUE(gif.Ok) << gif.Error;
  ASSERT_EQ(static_cast<int>(gif.Frames.size()), GetParam().Video.FrameCount);
  int hundredths = 0;
  for (std::size_t n = 0; n < gif.Frames.size(); ++n) {
    EXPECT_EQ(fixtures::DecodeFrameNumber(gif.Frames[n].Picture), static_cast<int>(n));
    hundredths += gif.Frames[n].Delay;
  }
  // Delays in hundredths of a second: each rounding moves the end by at most half of one.
  EXPECT_NEAR(hundredths * 10, LengthMs(), 5);
}

INSTANTIATE_TEST_SUITE_P(EveryContainer, ContainerCommands, ::testing::ValuesIn(fixtures::ContainerCases()),
                         [](const auto& param) { return param.param.Name; });

class UnreadableVideos : public ::testing::Test {
 protected:
  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }
  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

// Every command that opens a video says the same about a file it cannot read, and writes nothing.
TEST_F(UnreadableVideos, EachCommandNamesTheFile) {
  const std::string text = temp_.File("notes.xyz");
  fixtures::WriteTextFile(text, "not a video at all, just some words\n");
  const std::string song = temp_.File("song.wav");
  fixtures::WriteAudioOnlyFile(song);
  const std::string missing = temp_.File("missing.mp4");
  const std::string cover = temp_.File("song.mka");
  fixtures::WriteSongWithCover(cover);
  const std::string out = temp_.File("out");
  const std::vector<std::pair<std::string, std::string>> files = {
      {text, "not a video file this program can read"},
      {song, "the file has no video stream"},
      {cover, "the file has no video stream"},  // its cover picture is not a video
      {missing, "No such file or directory"}};
  for (const auto& [file, message] : files) {
    const std::string expected = "clipvane-cli: " + file + ": " + message + ".\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", file},
                                                 {"frame", file, "0", out + ".bmp"},
                                                 {"extract", file, out},
                                                 {"gif", file, out + ".gif"}}) {
      const TCliRun run = Run(args);
      EXPECT_EQ(run.status, 1) << args[0] << " " << file;
      EXPECT_EQ(run.err, expected) << args[0];
    }
  }
  EXPECT_FALSE(fs::exists(out + ".bmp"));
  EXPECT_FALSE(fs::exists(out + ".gif"));
}

TEST_F(UnreadableVideos, AnUnknownCodecIsNamed) {
  // An MP4 whose sample description names a codec nobody has.
  const std::string video = temp_.File("odd.mp4");
  fixtures::WriteFixtureVideo(video, fixtures::ContainerCase("Mp4Rotated90").Video);
  std::string bytes = Slurp(video);
  const std::size_t at = bytes.find("avc1", bytes.find("stsd"));
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 4, "qqv1");
  fixtures::WriteTextFile(video, bytes);
  const TCliRun run = Run({"info", video});
  EXPECT_EQ(run.status, 1);
  // Ending in a quote, the message takes no full stop.
  EXPECT_EQ(run.err, "clipvane-cli: " + video + ": no decoder for the video codec \"qqv1\"\n");
}

}  // namespace
}  // namespace clipvane
