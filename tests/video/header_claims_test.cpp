// What a hostile or broken AVI header claims gives way to what the file holds: the frame
// count is what the index proves, the frame size what the decoder makes, and an index entry
// no file can back is reported as a corrupt index, not as a lack of memory.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

using fixtures::TAviHeaderClaims;
using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

class HeaderClaims : public ::testing::Test {
 protected:
  std::string Write(const TFixtureAvi& avi, const TAviHeaderClaims& claims) {
    const std::string path = folder_.File("claims" + std::to_string(counter_++) + ".avi");
    fixtures::WriteFixtureAvi(path, avi);
    fixtures::OverwriteAviHeader(path, claims);
    return path;
  }
  // Reads frames 0, 1, ... until the first that does not come; the frames that came.
  static int ReadableFrames(const std::string& path, int width, int height) {
    TAviFrameReader reader;
    reader.Open(path);
    int n = 0;
    for (; n < 100 && reader.ReadFrame(n); ++n) {
      EXPECT_EQ(reader.DecodeBitmap().Width(), width) << n;
      EXPECT_EQ(reader.DecodeBitmap().Height(), height) << n;
      EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), n);
    }
    return n;
  }

  fixtures::TTempFolder folder_{CLIPVANE_TEST_TMP};
  int counter_ = 0;
};

TEST_F(HeaderClaims, TheFrameCountIsWhatTheIndexProves) {
  TFixtureAvi avi;
  avi.FrameCount = 3;
  for (const auto& [claimed, rate] : {std::pair{2147483647u, 1000000u}, std::pair{200000000u, 25u}}) {
    TAviHeaderClaims claims;
    claims.FrameCount = claimed;
    claims.RateAndScale = std::pair{rate, 1u};
    const std::string path = Write(avi, claims);
    const TVideoInfo info = ProbeVideo(path);
    EXPECT_EQ(info.FrameCount, 3) << claimed;
    EXPECT_EQ(info.FrameRateNumerator, static_cast<int>(rate));
    EXPECT_EQ(ReadableFrames(path, 64, 48), 3) << claimed;
  }
}

TEST_F(HeaderClaims, TheDecodedFrameSizeWinsOverTheHeaders) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMjpeg;
  avi.Width = 96;
  avi.Height = 64;
  avi.FrameCount = 4;
  TAviHeaderClaims claims;
  claims.FrameSize = std::pair{26000, 26000};
  const std::string path = Write(avi, claims);
  const TVideoInfo info = ProbeVideo(path);
  EXPECT_EQ(info.FrameWidth, 96);
  EXPECT_EQ(info.FrameHeight, 64);
  EXPECT_EQ(ReadableFrames(path, 96, 64), 4);
}

TEST_F(HeaderClaims, AnIndexEntryNoFileCanBackIsACorruptIndex) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.FrameCount = 8;
  avi.WithAudio = true;
  const std::string path = folder_.File("corrupt.avi");
  fixtures::WriteFixtureAvi(path, avi);
  fixtures::OverwriteIndexEntrySize(path, 1, 4, 0x3FFFFFFF);  // the audio beside frame 4: 1 GB
  TAviFrameReader reader;
  reader.Open(path);
  int read = 0;
  try {
    while (read < 8 && reader.ReadFrame(read)) ++read;
    ADD_FAILURE() << "no error after " << read << " frames";
  } catch (const std::bad_alloc&) {
    ADD_FAILURE() << "reported as a lack of memory after " << read << " frames";
  } catch (const EClipvaneError& error) {
    EXPECT_EQ(std::string(error.what()), "Corrupt index in \"" + path + "\"");
  }
  EXPECT_GE(read, 1);
  EXPECT_FALSE(reader.IsOpen());
}

TEST_F(HeaderClaims, AFolderIsNamedAsOne) {
  try {
    ProbeVideo(folder_.Path());
    ADD_FAILURE() << "a folder probed as a video";
  } catch (const EClipvaneError& error) {
    EXPECT_EQ(std::string(error.what()), "\"" + folder_.Path() + "\" is a folder");
  }
}

}  // namespace
}  // namespace clipvane
