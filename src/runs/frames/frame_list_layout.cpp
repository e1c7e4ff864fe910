// The geometry of one entry of the frames list.
#include "runs/frames/frame_list_layout.h"

namespace clipvane {

namespace {
constexpr int kMaxThumbWidth = 150;
constexpr int kMaxThumbHeight = 70;
}  // namespace

TFrameEntryLayout ComputeFrameEntryLayout(const TRect& entry, int width, int height, int textHeight) {
  TFrameEntryLayout layout;
  layout.TextArea = TRect{entry.Left + 155, entry.Top + 2, entry.Left + 155 + (entry.Width() - 157),
                          entry.Top + 2 + (entry.Height() - 4)};
  layout.Inner = TRect{entry.Left + 1, entry.Top + 1, entry.Right - 1, entry.Bottom - 1};
  const TRect& r = layout.Inner;
  const int innerHeight = r.Height();

  if (width > 0 && height > 0) {
    int thumbWidth = width;
    int thumbHeight = height;
    int x = r.Left + 1;
    if (width > kMaxThumbWidth || height > kMaxThumbHeight) {
      layout.Scaled = true;
      const double ratio = static_cast<double>(width) / height;
      if (ratio <= static_cast<double>(kMaxThumbWidth) / kMaxThumbHeight) {
        thumbHeight = kMaxThumbHeight;
        thumbWidth = static_cast<int>(ratio * kMaxThumbHeight);
      } else {
        thumbWidth = kMaxThumbWidth;
        thumbHeight = static_cast<int>(static_cast<double>(height) / width * kMaxThumbWidth);
      }
      x = r.Left + 2;
    }
    const int y = r.Top + (innerHeight - thumbHeight) / 2;
    layout.Thumbnail = TRect{x, y, x + thumbWidth, y + thumbHeight};
  }
  layout.CaptionX = r.Left + 160;
  layout.CaptionY = r.Top + (innerHeight - textHeight) / 2 + 1;
  return layout;
}

}  // namespace clipvane
