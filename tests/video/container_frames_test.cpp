// Every container the program reads, one table: for each test video its frame count, length
// and shown size, and every frame in forward, backward and random order showing its own
// number (B-frames, edit lists, open groups of pictures, hidden frames, variable rates,
// rotation and non-square pixels included). Reading forward never seeks; reading backward
// seeks about once a group of pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/video_fixture_cases.h"
#include "video/avi_frame_reader.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

using fixtures::TContainerCase;
using fixtures::TFixtureVideo;

class ContainerFrames : public ::testing::TestWithParam<TContainerCase> {
 protected:
  ContainerFrames() : folder_(CLIPVANE_TEST_TMP) {}

  std::string Write() {
    const std::string path = folder_.File(GetParam().FileName);
    fixtures::WriteFixtureVideo(path, GetParam().Video);
    return path;
  }

  // Counts the reader's seeks.
  class TSeekCount : public TAviReaderSeam {
   public:
    void Seeking(std::int64_t) override { ++Seeks; }
    int Seeks = 0;
  };

  // Reads the frames in the given order; each must show its own number.
  void ExpectFrames(const std::string& path, const std::vector<int>& order, TSeekCount* seeks = nullptr) {
    const TFixtureVideo& video = GetParam().Video;
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path, seeks);
    for (const int n : order) {
      ASSERT_TRUE(reader->ReadFrame(n)) << "frame " << n;
      const TBitmap& bitmap = reader->DecodeBitmap();
      ASSERT_EQ(bitmap.Width(), video.DisplayWidth());
      ASSERT_EQ(bitmap.Height(), video.DisplayHeight());
      ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
      ASSERT_EQ(fixtures::DecodeFrameNumber(bitmap), n) << "frame " << n;
    }
  }

  std::vector<int> AllFrames() const {
    std::vector<int> order(static_cast<std::size_t>(GetParam().Video.FrameCount));
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    return order;
  }

  fixtures::TTempFolder folder_;
};

TEST_P(ContainerFrames, ProbeGivesTheCountLengthAndShownSize) {
  const TFixtureVideo& video = GetParam().Video;
  const TVideoInfo info = ProbeVideo(Write());
  EXPECT_FALSE(info.IsAvi);
  EXPECT_EQ(info.FrameCount, video.FrameCount);
  const int lengthMs = video.StartsMs.empty() ? video.FrameCount * 1000 * video.RateDenominator / video.RateNumerator
                                              : video.StartsMs.back() - video.StartsMs.front();
  EXPECT_EQ(info.LengthMs, lengthMs);
  EXPECT_EQ(info.FrameWidth, video.DisplayWidth());
  EXPECT_EQ(info.FrameHeight, video.DisplayHeight());
  EXPECT_EQ(info.CodedWidth, video.Width);
  EXPECT_EQ(info.CodedHeight, video.Height);
  EXPECT_EQ(info.Rotation, video.Rotation);
  EXPECT_EQ(info.Container, GetParam().Container);
  EXPECT_EQ(info.Codec, GetParam().Codec);
  // Only a video whose frames do not come at one rate has frame times, and they are its own.
  if (video.StartsMs.empty()) {
    EXPECT_TRUE(info.FrameTimes.Empty());
  } else {
    ASSERT_EQ(info.FrameTimes.Starts.size(), video.StartsMs.size());
    for (std::size_t n = 0; n < video.StartsMs.size(); ++n)
      EXPECT_EQ(info.FrameTimes.StartMs(static_cast<std::int64_t>(n)), video.StartsMs[n]) << "frame " << n;
  }
}

TEST_P(ContainerFrames, ForwardReadsEveryFrameWithoutSeeking) {
  const std::string path = Write();
  TSeekCount seeks;
  ExpectFrames(path, AllFrames(), &seeks);
  EXPECT_EQ(seeks.Seeks, 0);
  const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
  EXPECT_FALSE(reader->ReadFrame(GetParam().Video.FrameCount));
  EXPECT_FALSE(reader->ReadFrame(-1));
}

TEST_P(ContainerFrames, BackwardReadsEveryFrameDecodingEachGroupOnce) {
  std::vector<int> order = AllFrames();
  std::reverse(order.begin(), order.end());
  TSeekCount seeks;
  ExpectFrames(Write(), order, &seeks);
  const TFixtureVideo& video = GetParam().Video;
  // One seek a group of pictures, and one more where an open group needs the one before.
  const int groups = (video.FrameCount + video.KeyFrameInterval - 1) / video.KeyFrameInterval;
  EXPECT_LE(seeks.Seeks, 2 * groups);
}

TEST_P(ContainerFrames, RandomOrderGivesEachFrame) {
  std::vector<int> order = AllFrames();
  std::mt19937 random(2024);
  std::shuffle(order.begin(), order.end(), random);
  order.insert(order.end(), {0, GetParam().Video.FrameCount - 1, 1, 1, 0});
  ExpectFrames(Write(), order);
}

INSTANTIATE_TEST_SUITE_P(EveryContainer, ContainerFrames, ::testing::ValuesIn(fixtures::ContainerCases()),
                         [](const ::testing::TestParamInfo<TContainerCase>& param) { return param.param.Name; });

}  // namespace
}  // namespace clipvane
