// TPictureConverter: a decoded picture of a container's video as a player shows it, in a
// 24-bit bitmap: colours by the picture's matrix and range (the stream's default when the
// picture names none), alpha laid over black, square pixels, turned upright. Every picture
// comes out at the display size fixed when the video was opened, whatever size a picture has.
// Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "video/frame_index.h"

struct SwsContext;

namespace clipvane::video {

class TPictureConverter {
 public:
  explicit TPictureConverter(const TPictureGeometry& geometry) : geometry_(geometry) {}
  ~TPictureConverter();
  TPictureConverter(const TPictureConverter&) = delete;
  TPictureConverter& operator=(const TPictureConverter&) = delete;

  // Fills `bitmap` (made 24-bit at the display size) from the picture. Throws EClipvaneError
  // when the picture's format cannot be converted.
  void Convert(const AVFrame* picture, TBitmap& bitmap);

 private:
  void Prepare(const AVFrame* picture);

  TPictureGeometry geometry_;
  SwsContext* scaler_ = nullptr;
  // What the scaler was made for.
  int width_ = 0, height_ = 0, format_ = -1, space_ = -1, range_ = -1;
  bool alpha_ = false;
  // The picture scaled to square pixels, before turning: BGR (or BGRA with alpha) rows.
  std::vector<std::uint8_t> scaled_;
  int scaledStride_ = 0;
};

}  // namespace clipvane::video
