// Where the frames list draws one entry: the text area, the 3D frame, the thumbnail (unscaled
// up to 150 x 70, else shrunk to 70 high or 150 wide) and the caption. Plain arithmetic.
#pragma once

#include "core/color.h"

namespace clipvane {

inline constexpr int kFrameEntryHeight = 74;

struct TFrameEntryLayout {
  TRect TextArea;   // filled with the entry's background before anything else
  TRect Inner;      // the entry shrunk by the 1-pixel 3D frame
  TRect Thumbnail;  // where the frame's picture goes (empty for an empty picture)
  bool Scaled = false;
  int CaptionX = 0;  // top-left corner of the caption text
  int CaptionY = 0;
};

// The layout of an entry drawn in `entry` for a picture of width x height, with a caption
// whose text is textHeight pixels high.
TFrameEntryLayout ComputeFrameEntryLayout(const TRect& entry, int width, int height, int textHeight);

}  // namespace clipvane
