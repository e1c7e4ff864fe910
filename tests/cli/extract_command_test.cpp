// clipvane-cli extract, run as the user runs it: the files it writes, its options, and the
// command lines and inputs it must refuse without writing anything.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_runner.h"
#include "core/bitmap.h"
#include "support/avi_fixtures.h"
#include "support/png_libpng_read.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using fixtures::TTempFolder;

std::string CliPath() { return CLIPVANE_CLI_PATH; }

using cli_test::RangeNamedIn;
using cli_test::RangeText;
using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;

class ExtractCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(CliPath())) << CliPath() << " is missing: build clipvane-cli";
    video_ = temp_.File("clip.avi");
    fixtures::TFixtureAvi avi;
    avi.Width = 64;
    avi.Height = 48;
    avi.FrameCount = 12;
    fixtures::WriteFixtureAvi(video_, avi);
    fs::create_directory(out_);
  }

  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }

  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string video_;
  std::string out_ = temp_.File("out");
};

TEST_F(ExtractCommand, WritesEveryFrameOfTheVideo) {
  const TCliRun run = Run({"extract", video_, out_});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto names = Written();
  ASSERT_EQ(names.size(), 12u);  // frame 12, one past the stream, ends the run quietly
  for (int n = 0; n < 12; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame%04d.bmp", n);
    ASSERT_EQ(names[static_cast<std::size_t>(n)], name);
    TBitmap frame;
    frame.LoadFromFile(out_ + "/" + name);
    EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(frame.Width(), 64);
    EXPECT_EQ(frame.Height(), 48);
    EXPECT_EQ(fixtures::DecodeFrameNumber(frame), n);
  }
  // stdout stays clean for scripts; the summary follows the progress on stderr.
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "12 frames written to " + out_ + "\n");
}

TEST_F(ExtractCommand, RangeModeWidthAndName) {
  const TCliRun run =
      Run({"extract", video_, out_, "--range", "5-7", "--mode", "8", "--width", "32", "--name", "shot"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Written(), (std::vector<std::string>{"shot0005.bmp", "shot0006.bmp", "shot0007.bmp"}));
  TBitmap frame;
  frame.LoadFromFile(out_ + "/shot0006.bmp");
  EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(frame.Width(), 32);
  EXPECT_EQ(frame.Height(), 24);  // the height follows the width as "Maintain aspect ratio" keeps it
}

TEST_F(ExtractCommand, HeightAloneKeepsTheRatioAndSizeSetsBoth) {
  ASSERT_EQ(Run({"extract", video_, out_, "--range", "0-0", "--height", "96"}).status, 0);
  TBitmap frame;
  frame.LoadFromFile(out_ + "/frame0000.bmp");
  EXPECT_EQ(frame.Width(), 128);
  EXPECT_EQ(fixtures::DecodeFrameNumber(frame), 0);
  ASSERT_EQ(Run({"extract", video_, out_, "--range", "1-1", "--size", "40x10", "--mode", "16"}).status, 0);
  frame.LoadFromFile(out_ + "/frame0001.bmp");
  EXPECT_EQ(frame.Width(), 40);
  EXPECT_EQ(frame.Height(), 10);
  EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf16bit);
}

TEST_F(ExtractCommand, EveryRangeItsOwnMessageNamesIsAccepted) {
  const TCliRun refused = Run({"extract", video_, out_, "--range", "0-13"});
  ASSERT_EQ(refused.status, 2);
  const auto [first, last] = RangeNamedIn(refused.err);
  ASSERT_EQ(first, 0) << refused.err;
  ASSERT_EQ(last, 12) << refused.err;  // the device counts one frame past the 12 pictures
  // The last number has no picture: the command line is right, but a run that writes nothing
  // fails and says why.
  TCliRun run = Run({"extract", video_, out_, "--range", RangeText(last, last)});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Written().empty());
  run = Run({"extract", video_, out_, "--range", RangeText(last - 1, last)});
  EXPECT_EQ(run.status, 0) << run.err;
  run = Run({"extract", video_, out_, "--range", RangeText(first, first)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Written(), (std::vector<std::string>{"frame0000.bmp", "frame0011.bmp"}));
}

TEST_F(ExtractCommand, JpegAndTiffFiles) {
  ASSERT_EQ(Run({"extract", video_, out_, "--range", "2-3", "--format", "jpeg", "--quality", "75"}).status, 0);
  ASSERT_EQ(Run({"extract", video_, out_, "--range", "4-4", "--format", "tiff", "--mode", "1"}).status, 0);
  EXPECT_EQ(Written(), (std::vector<std::string>{"frame0002.jpg", "frame0003.jpg", "frame0004.tif"}));
  const std::string jpeg = Slurp(out_ + "/frame0002.jpg");
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
  const std::string tiff = Slurp(out_ + "/frame0004.tif");
  ASSERT_GT(tiff.size(), 8u);
  EXPECT_TRUE(tiff.substr(0, 4) == std::string("II*\0", 4) || tiff.substr(0, 4) == std::string("MM\0*", 4));
}

TEST_F(ExtractCommand, PngFilesHoldThePixelsOfTheBmpFilesInEveryMode) {
  const std::string bmpFolder = temp_.File("bmp");
  for (const std::string mode : {"32", "24", "16", "15", "8", "4", "1"}) {
    SCOPED_TRACE(mode);
    fs::remove_all(out_);
    fs::remove_all(bmpFolder);
    const TCliRun png = Run({"extract", video_, out_, "--mode", mode, "--format", "png", "--json"});
    ASSERT_EQ(png.status, 0) << png.err;
    ASSERT_EQ(Run({"extract", video_, bmpFolder, "--mode", mode}).status, 0);
    const auto names = Written();
    ASSERT_EQ(names.size(), 12u);
    std::string files;  // the JSON list, in frame order whatever thread wrote each
    for (int n = 0; n < 12; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "frame%04d", n);
      ASSERT_EQ(names[static_cast<std::size_t>(n)], std::string(name) + ".png");
      files.append(files.empty() ? "" : ", ").append("\"" + out_ + "/" + name + ".png\"");
      TBitmap bmp;
      bmp.LoadFromFile(bmpFolder + "/" + name + ".bmp");
      const auto picture = png_check::ReadPngFile(out_ + "/" + name + ".png");
      ASSERT_TRUE(picture.Ok) << picture.Error;
      EXPECT_EQ(picture.ColorType,
                mode == "8" || mode == "4" || mode == "1" ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB);
      ASSERT_EQ(picture.Width, bmp.Width());
      ASSERT_EQ(picture.Height, bmp.Height());
      for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x)
          ASSERT_EQ(picture.ColorAt(x, y), static_cast<long long>(bmp.GetPixel(x, y))) << name << " " << x << "," << y;
    }
    EXPECT_NE(png.out.find("\"files\": [" + files + "]"), std::string::npos) << png.out;
  }
}

TEST_F(ExtractCommand, AFileThatCannotBeWrittenIsNamedAndTheFramesBeforeItStay) {
  // A folder where frame 5's file would go: it cannot be replaced by a file.
  fs::create_directories(out_ + "/frame0005.png/inside");
  const TCliRun run = Run({"extract", video_, out_, "--format", "png"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("clipvane-cli: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(out_ + "/frame0005.png"), std::string::npos) << run.err;
  for (int n = 0; n < 5; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%04d.png", n);
    EXPECT_TRUE(png_check::ReadPngFile(out_ + name).Ok) << name;
  }
  // Only complete pictures: no temporary file is left.
  for (const std::string& name : Written()) EXPECT_EQ(name.rfind(".clipvane-", 0), std::string::npos) << name;
}

TEST_F(ExtractCommand, WrongCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> wrong{
      {"extract", video_, out_, "--format", "tiff"},
      {"extract", video_, out_, "--format", "tiff", "--mode", "8"},
      {"extract", video_, out_, "--format", "gif"},
      {"extract", video_, out_, "--quality", "0"},
      {"extract", video_, out_, "--quality", "101"},
      {"extract", video_, out_, "--mode", "7"},
      {"extract", video_, out_, "--size", "10x"},
      {"extract", video_, out_, "--size", "0x10"},
      {"extract", video_, out_, "--width", "20", "--height", "20"},
      {"extract", video_, out_, "--range", "3"},
      {"extract", video_, out_, "--range", "0-13"},  // past LastFrame (12)
      {"extract", video_, out_, "--name", "a/b"},
      {"extract", video_, out_, "--colour", "8"},
      {"extract", video_, out_, "--width"},
      {"extract", video_},
  };
  for (const auto& args : wrong) {
    const TCliRun run = Run(args);
    EXPECT_EQ(run.status, 2) << args[3 < args.size() ? 3 : args.size() - 1] << ": " << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(Written().empty());
}

TEST_F(ExtractCommand, BadInputFailsWithoutWriting) {
  fixtures::WriteTextFile(temp_.File("notes.avi"), "not a video at all");
  TCliRun run = Run({"extract", temp_.File("notes.avi"), out_});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("clipvane-cli: ", 0), 0u) << run.err;
  run = Run({"extract", temp_.File("missing.avi"), out_});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Written().empty());
  // An output "folder" that is a file.
  run = Run({"extract", video_, video_});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("not a folder"), std::string::npos) << run.err;
}

// A run that writes nothing is a failure that says why, not "0 frames written".
TEST_F(ExtractCommand, ARangeThatHoldsNoFrameWritesNothingAndFails) {
  const std::vector<std::pair<std::string, std::string>> ranges = {
      {"7-3", "the range 7-3 holds no frame"},
      {"12-12", "frame 12 is past the last frame, 11"},  // LastFrame: one past the stream
  };
  for (const auto& [range, why] : ranges) {
    const TCliRun run = Run({"extract", video_, out_, "--range", range});
    EXPECT_EQ(run.status, 1) << range;
    EXPECT_EQ(run.err, "clipvane-cli: " + video_ + ": " + why + "; no frame written.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Written().empty());
  }
  // A range that reaches one real frame still writes it.
  const TCliRun run = Run({"extract", video_, out_, "--range", "11-12"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Written(), std::vector<std::string>{"frame0011.bmp"});
}

}  // namespace
}  // namespace clipvane
