// clipvane-cli info and frame, run as the user runs them: the four information lines, one
// frame written in its natural format, and the errors and exit codes of bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "core/bitmap.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

using cli_test::TCliRun;
using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

class CliVideoCommands : public ::testing::Test {
 protected:
  CliVideoCommands() : folder_(CLIPVANE_TEST_TMP) {}

  TCliRun Run(const std::vector<std::string>& args) { return cli_test::RunCli(args, folder_); }

  std::string Write(const TFixtureAvi& avi, const std::string& name) {
    const std::string path = folder_.File(name);
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }

  fixtures::TTempFolder folder_;
};

TEST_F(CliVideoCommands, InfoPrintsTheFourLinesWithTheTrueFrameCount) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.Width = 320;
  avi.Height = 240;
  avi.FrameCount = 250;
  avi.Picture = fixtures::TFixturePicture::fpSample;
  const TCliRun run = Run({"info", Write(avi, "ten-seconds.avi")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Frame width: 320 pixels\nFrame height: 240 pixels\nFrames count: 250\nTime length: 10.0 s\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(CliVideoCommands, InfoShowsTheLengthToOneDecimal) {
  TFixtureAvi avi;
  avi.FrameCount = 63;  // 2520 ms at 25 frames a second
  const TCliRun run = Run({"info", Write(avi, "short.avi")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Frame width: 64 pixels\nFrame height: 48 pixels\nFrames count: 63\nTime length: 2.5 s\n");
}

TEST_F(CliVideoCommands, InfoOfBadFilesFails) {
  TCliRun run = Run({"info", folder_.File("missing.avi")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "clipvane-cli: " + folder_.File("missing.avi") + ": No such file or directory.\n");
  EXPECT_EQ(run.out, "");
  const std::string audio = folder_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(audio);
  run = Run({"info", audio});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "clipvane-cli: " + audio + ": the file has no video stream.\n");
  run = Run({"info"});
  EXPECT_EQ(run.status, 2);
  run = Run({"info", audio, "extra"});
  EXPECT_EQ(run.status, 2);
}

TEST_F(CliVideoCommands, FrameWritesTheFrameInItsNaturalFormat) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcRawPal8;
  avi.FrameCount = 20;
  const std::string video = Write(avi, "pal8.avi");
  const std::string out = folder_.File("frame13.bmp");
  const TCliRun run = Run({"frame", video, "13", out});
  ASSERT_EQ(run.status, 0) << run.err;
  TBitmap bitmap;
  bitmap.LoadFromFile(out);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap, fixtures::ExpectedFrame(TFixtureCodec::fcRawPal8, 13, 64, 48));
  EXPECT_EQ(fixtures::DecodeFrameNumber(bitmap), 13);
}

TEST_F(CliVideoCommands, FrameOfACompressedVideo) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.FrameCount = 30;
  const std::string out = folder_.File("frame.bmp");
  const TCliRun run = Run({"frame", Write(avi, "mpeg4.avi"), "27", out});
  ASSERT_EQ(run.status, 0) << run.err;
  TBitmap bitmap;
  bitmap.LoadFromFile(out);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(fixtures::DecodeFrameNumber(bitmap), 27);
}

TEST_F(CliVideoCommands, FrameErrorsLeaveNoFileBehind) {
  TFixtureAvi avi;
  avi.FrameCount = 5;
  const std::string video = Write(avi, "five.avi");
  const std::string out = folder_.File("none.bmp");
  TCliRun run = Run({"frame", video, "5", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "clipvane-cli: " + video + ": the video has no frame 5.\n");
  run = Run({"frame", folder_.File("missing.avi"), "0", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "clipvane-cli: " + folder_.File("missing.avi") + ": No such file or directory.\n");
  run = Run({"frame", video, "-1", out});
  EXPECT_EQ(run.status, 2);
  run = Run({"frame", video, "two", out});
  EXPECT_EQ(run.status, 2);
  run = Run({"frame", video, "1"});
  EXPECT_EQ(run.status, 2);
  EXPECT_FALSE(std::filesystem::exists(out));
  // Only the output file and the captured streams are in the folder: no temporary left over.
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "five.avi" || name == "stdout" || name == "stderr") << name;
  }
}

}  // namespace
}  // namespace clipvane
