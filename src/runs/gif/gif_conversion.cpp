// The rules of the GIF conversion: its frame delay, the cut-and-stretch of each frame, the
// status line and the page's control states (the run itself is in gif_conversion_run.cpp).
#include "runs/gif/gif_conversion.h"

#include <algorithm>
#include <cstring>

namespace clipvane {

namespace {

bool InsideFrame(const TRect& rect, const TBitmap& frame) {
  return rect.Left >= 0 && rect.Top >= 0 && rect.Left < rect.Right && rect.Top < rect.Bottom &&
         rect.Right <= frame.Width() && rect.Bottom <= frame.Height();
}

}  // namespace

std::uint16_t GifFrameDelay(int lengthMs, int samplingRate, int lastFrame, bool keepPlaySpeed) {
  if (lastFrame <= 0) return 10;
  const std::int64_t numerator =
      static_cast<std::int64_t>(std::max(lengthMs, 0)) * (keepPlaySpeed ? std::max(samplingRate, 1) : 1);
  const std::int64_t denominator = std::int64_t{10} * lastFrame;
  const std::int64_t delay = (numerator + denominator / 2) / denominator;
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(delay, 1, 65535));
}

TColorReduction GifReductionMethod(TGifDirection direction) {
  return direction == TGifDirection::gdBackward ? reduceWebCube : reduceOctreeSystem;
}

std::string GifStatusText(int gifWidth, int gifHeight, int frameCount) {
  return "Size: " + std::to_string(gifWidth) + " x " + std::to_string(gifHeight) +
         " pixels  Frames: " + std::to_string(frameCount);
}

std::string ClearedGifStatusText() { return " "; }

void AbortGifRun(TVideoState& state) { state.ConvertAbort = true; }

TGifControlChange GifRunStartControls() {
  TGifControlChange change;
  change.Abort = true;
  change.Convert = false;
  change.OpenAvi = false;
  change.Play = false;
  change.Pause = false;
  change.Reset = false;
  return change;
}

TGifControlChange GifRunEndControls(const TGifConversionResult& result, bool failed) {
  TGifControlChange change;
  change.StatusText = result.StatusText;
  change.ClearGif = true;
  change.Save = true;
  change.Abort = false;
  change.Play = true;
  change.Pause = false;
  change.Reset = false;
  // A run that failed never reached the step that shows the preview; one that ended by an
  // abort or at the end of the video did, with or without frames.
  if (!failed) change.Preview = true;
  return change;
}

TGifControlChange ClearGifControls() {
  TGifControlChange change;
  change.OpenAvi = true;
  change.ClearGif = false;
  change.Convert = true;
  change.Save = false;
  change.Preview = false;
  change.StatusText = ClearedGifStatusText();
  return change;
}

void CutAndStretch(const TBitmap& decoded, const TRect& captureRect, TBitmap& picture) {
  if (picture.Empty()) return;
  // Rows and columns of the rectangle outside the frame are left undrawn: black, not what
  // the previous frame left there.
  if (!InsideFrame(captureRect, decoded)) std::memset(picture.Bits().data(), 0, picture.Bits().size());
  picture.StretchDraw(TRect{0, 0, picture.Width(), picture.Height()}, decoded, captureRect);
}

}  // namespace clipvane
