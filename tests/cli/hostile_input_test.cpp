// clipvane-cli on files made to hurt it: header claims of billions of frames or of a huge
// frame or picture, an index entry no file can back, a folder given as a picture. Each run
// ends cleanly, within memory that has nothing to do with the claims, with a message that
// names the real cause.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::Slurp;

constexpr std::uint64_t kAddressLimit = std::uint64_t{500} << 20;

class HostileInput : public ::testing::Test {
 protected:
  struct TRun {
    fixtures::TBoundedRun ended;
    std::string out, err;
  };

  // The CLI in a child whose address space is limited (not under AddressSanitizer).
  TRun Run(const std::vector<std::string>& args) {
    TRun run;
    run.ended =
        fixtures::RunProgramBounded(CLIPVANE_CLI_PATH, args, kAddressLimit, temp_.File("stdout"), temp_.File("stderr"));
    run.out = Slurp(temp_.File("stdout"));
    run.err = Slurp(temp_.File("stderr"));
    return run;
  }

  std::string Avi(const std::string& name, const fixtures::TFixtureAvi& avi, const fixtures::TAviHeaderClaims& claims) {
    const std::string path = temp_.File(name);
    fixtures::WriteFixtureAvi(path, avi);
    fixtures::OverwriteAviHeader(path, claims);
    return path;
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(HostileInput, BillionsOfClaimedFramesCostNothing) {
  fixtures::TFixtureAvi avi;
  avi.FrameCount = 3;
  for (const auto& [claimed, rate] : {std::pair{2147483647u, 1000000u}, std::pair{200000000u, 25u}}) {
    fixtures::TAviHeaderClaims claims;
    claims.FrameCount = claimed;
    claims.RateAndScale = std::pair{rate, 1u};
    const std::string video = Avi("claims" + std::to_string(claimed) + ".avi", avi, claims);
    TRun run = Run({"gif", video, temp_.File("out.gif")});
    EXPECT_EQ(run.ended.ExitCode, 0) << claimed << ": " << run.err;
    EXPECT_NE(run.err.find("Frames: 3"), std::string::npos) << run.err;
    // A run over three tiny frames holds some tens of MB; the claims would need gigabytes.
    EXPECT_LT(run.ended.PeakResidentBytes, std::uint64_t{300} << 20) << claimed;

    const std::string folder = temp_.File("frames" + std::to_string(claimed));
    fs::create_directory(folder);
    run = Run({"extract", video, folder});
    EXPECT_EQ(run.ended.ExitCode, 0) << claimed << ": " << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
    EXPECT_LT(run.ended.PeakResidentBytes, std::uint64_t{300} << 20) << claimed;
  }
}

TEST_F(HostileInput, AClaimedFrameSizeMakesNoLargerFrames) {
  fixtures::TFixtureAvi avi;
  avi.Codec = fixtures::TFixtureCodec::fcMjpeg;
  avi.Width = 96;
  avi.Height = 64;
  avi.FrameCount = 2;
  fixtures::TAviHeaderClaims claims;
  claims.FrameSize = std::pair{26000, 26000};
  const std::string video = Avi("wide.avi", avi, claims);
  const TRun run = Run({"extract", video, temp_.Path()});
  EXPECT_EQ(run.ended.ExitCode, 0) << run.err;
  // 54 bytes of headers and 64 rows of 96 pixels of 3 bytes.
  EXPECT_EQ(fs::file_size(temp_.File("frame0000.bmp")), 54u + 64 * 96 * 3);
  EXPECT_EQ(fs::file_size(temp_.File("frame0001.bmp")), 54u + 64 * 96 * 3);
}

TEST_F(HostileInput, ACorruptIndexIsNamedAndNoGifIsClaimed) {
  fixtures::TFixtureAvi avi;
  avi.Codec = fixtures::TFixtureCodec::fcMpeg4;
  avi.FrameCount = 8;
  avi.WithAudio = true;
  const std::string video = temp_.File("corrupt.avi");
  fixtures::WriteFixtureAvi(video, avi);
  fixtures::OverwriteIndexEntrySize(video, 1, 4, 0x3FFFFFFF);
  for (const std::string threads : {"1", "2"}) {
    const TRun run = Run({"gif", video, temp_.File("out.gif"), "--threads", threads});
    EXPECT_EQ(run.ended.ExitCode, 1);
    EXPECT_EQ(run.err, "clipvane-cli: " + video + ": the file's index is corrupt.\n");
    EXPECT_FALSE(fs::exists(temp_.File("out.gif")));
  }
}

TEST_F(HostileInput, AFolderGivenAsAPictureIsNamedAsOne) {
  const std::string folder = temp_.File("holiday.png");
  fs::create_directory(folder);
  const TRun run = Run({"transition", folder, "empty", temp_.File("out.gif")});
  EXPECT_EQ(run.ended.ExitCode, 1);
  EXPECT_EQ(run.err, "clipvane-cli: " + folder + ": a folder, not a file.\n");
}

// A 16384 x 16384 RLE8 bitmap of a few bytes: it ends at once with its end-of-picture mark.
std::vector<std::uint8_t> HugeRunLengthBitmap() {
  std::vector<std::uint8_t> bmp(14 + 40 + 1024, 0);
  auto put32 = [&bmp](std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bmp[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(10, 14 + 40 + 1024);
  put32(14, 40);
  put32(18, 16384);
  put32(22, 16384);
  bmp[26] = 1;
  bmp[28] = 8;
  put32(30, 1);  // RLE8
  bmp.insert(bmp.end(), {0, 1});
  return bmp;
}

TEST_F(HostileInput, APictureTooLargeToProcessIsRefusedWithItsSize) {
  const std::string picture = temp_.File("huge.bmp");
  const auto bytes = HugeRunLengthBitmap();
  std::ofstream(picture, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // The picture itself (8 bits a pixel) takes 268 MB; processing it would take over 9 GB.
  const fixtures::TBoundedRun ended =
      fixtures::RunProgramBounded(CLIPVANE_CLI_PATH, {"transition", picture, "empty", temp_.File("out.gif")}, 0,
                                  temp_.File("stdout"), temp_.File("stderr"));
  const std::string err = Slurp(temp_.File("stderr"));
  EXPECT_EQ(ended.ExitCode, 1);
  EXPECT_EQ(err.rfind("clipvane-cli: The picture is 16384 x 16384: it needs ", 0), 0u) << err;
  EXPECT_NE(err.find(" GB of memory to process"), std::string::npos) << err;
  EXPECT_LT(ended.PeakResidentBytes, std::uint64_t{1} << 30);
  EXPECT_FALSE(fs::exists(temp_.File("out.gif")));
}

}  // namespace
}  // namespace clipvane
