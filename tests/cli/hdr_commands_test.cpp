// clipvane-cli on HDR videos as phones record them (HEVC 10-bit, PQ and HLG): info names the
// colours, and frame, extract and gif give pictures close to the SDR picture the video was
// made from, unless --hdr raw asks for the raw values. An SDR video is the same either way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "core/bitmap.h"
#include "support/gif_giflib_decode.h"
#include "support/hdr_fixtures.h"
#include "support/video_fixture_cases.h"

namespace clipvane {
namespace {

using cli_test::RunCli;
using cli_test::Slurp;
using cli_test::TCliRun;
using fixtures::THdrKind;

class HdrCommands : public ::testing::Test {
 protected:
  // An HEVC 10-bit MP4 of the test picture, as a phone writes it.
  std::string Phone(THdrKind kind) {
    const std::string path = temp_.File(kind == THdrKind::hkPq ? "pq.mp4" : "hlg.mp4");
    fixtures::THdrVideo video;
    video.Kind = kind;
    video.Muxer = "mp4";
    video.Encoder = "libx265";
    video.PixelFormat = "yuv420p10le";
    video.EncoderOptions = {{"preset", "ultrafast"}, {"crf", "14"}, {"x265-params", "log-level=none"}};
    video.FrameCount = 3;
    fixtures::WriteHdrVideo(path, truth_, video);
    return path;
  }
  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }
  TBitmap Load(const std::string& path) {
    TBitmap bitmap;
    bitmap.LoadFromFile(path);
    return bitmap;
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  const TBitmap truth_ = fixtures::HdrTestPicture(96, 64);
};

TEST_F(HdrCommands, InfoNamesTheColoursAndTheHdrTransfer) {
  const struct {
    THdrKind Kind;
    std::string Transfer, Hdr;
  } kinds[] = {{THdrKind::hkPq, "smpte2084", "PQ"}, {THdrKind::hkHlg, "arib-std-b67", "HLG"}};
  for (const auto& kind : kinds) {
    const std::string video = Phone(kind.Kind);
    TCliRun run = Run({"info", video});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\nColour: matrix bt2020nc, transfer " + kind.Transfer +
                           ", primaries bt2020, limited range, 10 bits, HDR (" + kind.Hdr + ")\n"),
              std::string::npos)
        << run.out;
    run = Run({"info", "--json", video});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"matrix\": \"bt2020nc\", \"transfer\": \"" + kind.Transfer +
                           "\", \"primaries\": \"bt2020\", \"range\": \"limited\", \"bit_depth\": 10, \"hdr\": \"" +
                           kind.Hdr + "\""),
              std::string::npos)
        << run.out;
  }
  const fixtures::TContainerCase sdr = fixtures::ContainerCase("MkvHevc10Bit");
  const std::string plain = temp_.File(sdr.FileName);
  fixtures::WriteFixtureVideo(plain, sdr.Video);
  const TCliRun run = Run({"info", "--json", plain});
  EXPECT_NE(run.out.find("\"bit_depth\": 10, \"hdr\": \"none\""), std::string::npos) << run.out;
}

TEST_F(HdrCommands, FrameExtractAndGifGiveTheSdrPictureUnlessRawIsAsked) {
  for (const THdrKind kind : {THdrKind::hkPq, THdrKind::hkHlg}) {
    SCOPED_TRACE(kind == THdrKind::hkPq ? "PQ" : "HLG");
    const std::string video = Phone(kind);
    for (const bool raw : {false, true}) {
      std::vector<std::string> hdr;
      if (raw) hdr = {"--hdr", "raw"};
      const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), hdr.begin(), hdr.end());
        return args;
      };
      const std::string frame = temp_.File(raw ? "raw.bmp" : "sdr.bmp");
      ASSERT_EQ(Run(with({"frame", video, "1", frame})).status, 0);
      const std::string folder = temp_.File(raw ? "raw" : "sdr");
      ASSERT_EQ(Run(with({"extract", video, folder, "--range", "2-2"})).status, 0);
      const std::string gifPath = temp_.File(raw ? "raw.gif" : "sdr.gif");
      ASSERT_EQ(Run(with({"gif", video, gifPath})).status, 0);
      const std::string bytes = Slurp(gifPath);
      const auto gif = giflib_check::DecodeGif(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
      ASSERT_TRUE(gif.Ok) << gif.Error;
      ASSERT_EQ(gif.Frames.size(), 3u);

      const double framePsnr = fixtures::Psnr(Load(frame), truth_);
      const double extractPsnr = fixtures::Psnr(Load(folder + "/frame0002.bmp"), truth_);
      // The GIF's 256 colours, dithered, cost a few dB of their own.
      const double gifPsnr = fixtures::Psnr(gif.Frames[0].Picture, truth_);
      if (raw) {
        EXPECT_LT(framePsnr, 26);
        EXPECT_LT(extractPsnr, 26);
        EXPECT_LT(gifPsnr, 26);
      } else {
        EXPECT_GE(framePsnr, 30);
        EXPECT_GE(extractPsnr, 30);
        EXPECT_GE(gifPsnr, 28);
      }
    }
  }
}

TEST_F(HdrCommands, AnSdrVideoIsTheSameWithRaw) {
  const fixtures::TContainerCase sdr = fixtures::ContainerCase("MkvHevc10Bit");
  const std::string video = temp_.File(sdr.FileName);
  fixtures::WriteFixtureVideo(video, sdr.Video);
  ASSERT_EQ(Run({"frame", video, "3", temp_.File("a.bmp")}).status, 0);
  ASSERT_EQ(Run({"frame", video, "3", temp_.File("b.bmp"), "--hdr", "raw"}).status, 0);
  EXPECT_EQ(Slurp(temp_.File("a.bmp")), Slurp(temp_.File("b.bmp")));
  const TCliRun wrong = Run({"frame", video, "3", temp_.File("c.bmp"), "--hdr", "pq"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("--hdr"), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace clipvane
