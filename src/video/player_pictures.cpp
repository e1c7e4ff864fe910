// The media player's pictures: a frame read, in 24 bits at the display size.
#include "video/player_pictures.h"

#include <exception>

namespace clipvane::video {

TPlayerPictures::TPlayerPictures(std::unique_ptr<TFrameSource> frames,
                                 std::function<std::unique_ptr<TFrameSource>()> reopen, int width, int height)
    : frames_(std::move(frames)), reopen_(std::move(reopen)), width_(width), height_(height) {}

std::shared_ptr<const TBitmap> TPlayerPictures::Picture(int number) {
  try {
    if (!frames_) frames_ = reopen_();
    if (!frames_->ReadFrame(number)) return nullptr;
    const TBitmap& frame = frames_->DecodeBitmap();
    auto picture = std::make_shared<TBitmap>(width_, height_, TPixelFormat::pf24bit);
    // A frame whose size differs from the one the video was opened with is fitted to it.
    if (frame.Width() == width_ && frame.Height() == height_) picture->Draw(0, 0, frame);
    else picture->StretchDraw(TRect{0, 0, width_, height_}, frame, TRect{0, 0, frame.Width(), frame.Height()});
    return picture;
  } catch (const std::exception&) {
    frames_.reset();
    return nullptr;
  }
}

}  // namespace clipvane::video
