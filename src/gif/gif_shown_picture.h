// The picture a viewer shows while each frame of a GIF document is on screen: every frame is
// drawn over what the frames before left (its transparent pixels keep it), after the disposal
// of the frame before. Pictures are 24 bits, the logical screen's size.
#pragma once

#include "core/bitmap.h"
#include "gif/gif_image.h"

namespace clipvane {

class TGifShownPicture {
 public:
  // Starts with a screen of the document's size in the background colour (black without a
  // global table).
  explicit TGifShownPicture(const TGIFImage& document);

  // Draws frame `index` of the document (after disposing of the one shown before) and
  // returns what the screen shows then. Frames are shown in order; a frame index at or
  // before the last one shown starts again from the first frame.
  const TBitmap& Show(int index);

  const TBitmap& Picture() const { return screen_; }

 private:
  void Draw(const TGIFSubImage& frame);

  const TGIFImage& document_;
  TBitmap screen_;
  TBitmap saved_;  // the screen before a frame that is to be restored to what it covered
  TGIFColor background_{};
  int shown_ = -1;
  int disposal_ = 0;  // of the frame shown
  TRect area_;        // of the frame shown, on the screen
  TBitmap indices_;   // a frame's indices, reused
};

}  // namespace clipvane
