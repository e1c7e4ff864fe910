// TPlayerPictures: the media player's pictures, the picture showing at any frame number as a
// 24-bit bitmap of the display size. They come from a frame source of the player's own, so the
// "Video" window shows the frames the runs read. Private to the video layer.
#pragma once

#include <functional>
#include <memory>

#include "core/bitmap.h"
#include "video/frame_source.h"

namespace clipvane::video {

class TPlayerPictures {
 public:
  // `frames` is open; `reopen` opens the video again after a failure closed it.
  TPlayerPictures(std::unique_ptr<TFrameSource> frames, std::function<std::unique_ptr<TFrameSource>()> reopen,
                  int width, int height);

  // The picture showing at frame `number` (the last picture at or before it), or null when the
  // stream has none there. Runs on the player's worker, where an error has nobody to go to:
  // a picture that cannot be made is not shown, and the next one is read afresh.
  std::shared_ptr<const TBitmap> Picture(int number);

 private:
  std::unique_ptr<TFrameSource> frames_;
  std::function<std::unique_ptr<TFrameSource>()> reopen_;
  int width_, height_;
};

}  // namespace clipvane::video
