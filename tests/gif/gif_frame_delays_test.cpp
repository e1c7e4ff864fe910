// Frame delays read off a GIF stream's blocks: the delays giflib reads from the same bytes,
// a frame without a graphic control block, and every truncation of the stream read safely.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gif/gif_frame_delays.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using namespace gif_test;

std::vector<std::uint8_t> ThreeFrames() {
  TGIFImage image;
  const auto palette = DistinctPalette(4);
  AddIndexedFrame(image, 5, 3, palette, NoiseIndices(15, 4, 1), 7);
  AddIndexedFrame(image, 5, 3, palette, NoiseIndices(15, 4, 2), 300);  // two bytes of delay
  AddIndexedFrame(image, 5, 3, palette, NoiseIndices(15, 4, 3), 0);
  AddLoop(image, 0);
  return SaveToBytes(image);
}

TEST(GifFrameDelays, AgreeWithGiflib) {
  const std::vector<std::uint8_t> bytes = ThreeFrames();
  TDecodedGif decoded;
  int error = 0;
  ASSERT_TRUE(DecodeWithGiflib(bytes, decoded, error)) << error;
  std::vector<int> giflib;
  for (const auto& frame : decoded.Frames) giflib.push_back(frame.Delay);
  EXPECT_EQ(GifFrameDelays(bytes), giflib);
  EXPECT_EQ(GifFrameDelays(bytes), (std::vector<int>{7, 300, 0}));
}

TEST(GifFrameDelays, AnImageWithoutGraphicControlCountsAsNoDelay) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(2, 2, DistinctPalette(2), {0, 1, 1, 0}));
  const std::vector<std::uint8_t> bytes = SaveToBytes(image);
  TDecodedGif decoded;
  int error = 0;
  ASSERT_TRUE(DecodeWithGiflib(bytes, decoded, error)) << error;
  ASSERT_EQ(decoded.Frames.size(), 1u);
  ASSERT_EQ(decoded.Frames[0].Delay, -1);  // giflib finds no graphic control block
  EXPECT_EQ(GifFrameDelays(bytes), std::vector<int>{0});
}

TEST(GifFrameDelays, EveryTruncationGivesAPrefixOfTheDelays) {
  const std::vector<std::uint8_t> bytes = ThreeFrames();
  const std::vector<int> all = GifFrameDelays(bytes);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    const std::vector<int> delays = GifFrameDelays(cut);
    ASSERT_LE(delays.size(), all.size()) << size;
    EXPECT_TRUE(std::equal(delays.begin(), delays.end(), all.begin())) << size;
  }
  EXPECT_TRUE(GifFrameDelays({}).empty());
}

}  // namespace
}  // namespace clipvane
