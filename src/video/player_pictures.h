// The media player's own decoders: the picture showing at any frame number as a 24-bit bitmap
// of the display size. An AVI's is decoded as before any other container was read; any other
// container's through its frame index, upright and with square pixels. Private to the video
// layer.
#pragma once

#include <memory>
#include <string>

#include "core/bitmap.h"

namespace clipvane::video {

class TPlayerPictures {
 public:
  virtual ~TPlayerPictures() = default;
  // The picture showing at frame `number` (the last picture at or before it), or null when
  // the stream has none there.
  virtual std::shared_ptr<const TBitmap> Picture(int number) = 0;
};

// Throws EClipvaneError with FFmpeg's text when the file cannot be opened.
std::unique_ptr<TPlayerPictures> OpenAviPictures(const std::string& path, int width, int height);
// Uses the file's frame index (made when it was probed); throws EClipvaneError naming the file.
std::unique_ptr<TPlayerPictures> OpenContainerPictures(const std::string& path);

}  // namespace clipvane::video
