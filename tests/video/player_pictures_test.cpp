// The media player's pictures: a frame of the player's own frame source, in 24 bits at the
// display size; a picture that cannot be made is not shown, and the video is read afresh for
// the next one, on the player's worker where no error can be reported.
#include "video/player_pictures.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/avi_fixtures.h"
#include "support/fake_frame_source.h"

namespace clipvane {
namespace {

using fixtures::TFakeFrameSource;

class PlayerPictures : public ::testing::Test {
 protected:
  // Opens a fake of 12 frames of `width` x `height`, 8 bits with the fixture's colours, that
  // fails to read frame 3.
  std::unique_ptr<TFrameSource> Open(int width, int height) {
    auto source = std::make_unique<TFakeFrameSource>();
    source->Readable = 12;
    source->Width = width;
    source->Height = height;
    source->Palette = true;
    source->ErrorAt = 3;
    source->Open("clip.avi");
    ++opened;
    return source;
  }
  video::TPlayerPictures Pictures(int width, int height) {
    return video::TPlayerPictures(
        Open(width, height), [this, width, height] { return Open(width, height); }, 64, 32);
  }

  int opened = 0;
};

TEST_F(PlayerPictures, AFrameIn24BitsAtTheDisplaySize) {
  for (const auto& [width, height] : {std::pair{64, 32}, std::pair{32, 16}}) {
    opened = 0;
    video::TPlayerPictures pictures = Pictures(width, height);
    const std::shared_ptr<const TBitmap> picture = pictures.Picture(5);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(picture->Width(), 64);
    ASSERT_EQ(picture->Height(), 32);
    // Each frame pixel stands for a block of the shown picture when the frame is smaller.
    const TBitmap frame = fixtures::NumberFrame(5, width, height);
    const int scale = 64 / width;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(picture->GetPixel(x, y), frame.GetPixel(x / scale, y / scale)) << x << ", " << y;
    EXPECT_EQ(pictures.Picture(12), nullptr);  // past the last frame: none, and no reopening
    EXPECT_EQ(opened, 1);
  }
}

TEST_F(PlayerPictures, AFailedPictureIsSkippedAndTheVideoReadAfresh) {
  video::TPlayerPictures pictures = Pictures(64, 32);
  ASSERT_NE(pictures.Picture(2), nullptr);
  EXPECT_EQ(pictures.Picture(3), nullptr);  // the failure closed the source
  EXPECT_EQ(opened, 1);
  const std::shared_ptr<const TBitmap> next = pictures.Picture(4);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(fixtures::DecodeFrameNumber(*next), 4);
  EXPECT_EQ(opened, 2);
}

}  // namespace
}  // namespace clipvane
