// Drawing a GIF's frames in order onto one screen, as a viewer shows them.
#include "gif/gif_shown_picture.h"

#include <algorithm>
#include <cstring>

#include "gif/gif_extensions.h"

namespace clipvane {

TGifShownPicture::TGifShownPicture(const TGIFImage& document) : document_(document) {
  const TGIFColorMap& global = document.Header().ColorMap();
  const int background = document.Header().Descriptor().BackgroundColorIndex;
  if (background < global.Count()) background_ = global.Entries()[static_cast<std::size_t>(background)];
  screen_ = TBitmap(std::max(document.Width(), 1), std::max(document.Height(), 1), TPixelFormat::pf24bit);
  screen_.FillRect(TRect{0, 0, screen_.Width(), screen_.Height()},
                   RGB(background_.Red, background_.Green, background_.Blue));
}

const TBitmap& TGifShownPicture::Show(int index) {
  if (index <= shown_) {
    shown_ = -1;
    disposal_ = 0;
    screen_.FillRect(TRect{0, 0, screen_.Width(), screen_.Height()},
                     RGB(background_.Red, background_.Green, background_.Blue));
  }
  for (int next = shown_ + 1; next <= index && next < document_.Images().Count(); ++next) {
    // What the frame shown before asked to be done with its area.
    if (disposal_ == dmBackground) screen_.FillRect(area_, RGB(background_.Red, background_.Green, background_.Blue));
    else if (disposal_ == dmPrevious && !saved_.Empty()) screen_.Draw(0, 0, saved_);
    Draw(*document_.Images()[next]);
    shown_ = next;
  }
  return screen_;
}

void TGifShownPicture::Draw(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* control = frame.GraphicControlExtension();
  disposal_ = control != nullptr ? control->Disposal() : 0;
  area_ = TRect{frame.Left(), frame.Top(), frame.Left() + frame.Width(), frame.Top() + frame.Height()};
  if (disposal_ == dmPrevious) saved_ = screen_;
  if (frame.Empty()) return;
  const int transparent = control != nullptr && control->Transparent() ? control->TransparentColorIndex() : -1;
  frame.AssignTo(indices_);
  const std::span<const TGIFColor> colors = frame.ActiveColorMap().Entries();
  const int x0 = std::max(frame.Left(), 0), x1 = std::min(frame.Left() + frame.Width(), screen_.Width());
  const int y0 = std::max(frame.Top(), 0), y1 = std::min(frame.Top() + frame.Height(), screen_.Height());
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* in = indices_.ScanLine(y - frame.Top());
    std::uint8_t* out = screen_.ScanLine(y);
    for (int x = x0; x < x1; ++x) {
      const int index = in[x - frame.Left()];
      // An index beyond the table shows nothing, as browsers do.
      if (index == transparent || index >= static_cast<int>(colors.size())) continue;
      const TGIFColor& colour = colors[static_cast<std::size_t>(index)];
      out[3 * x] = colour.Blue;
      out[3 * x + 1] = colour.Green;
      out[3 * x + 2] = colour.Red;
    }
  }
}

}  // namespace clipvane
