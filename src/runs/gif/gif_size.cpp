// GIF size rules and the coupling of the two size boxes.
#include "runs/gif/gif_size.h"

#include <algorithm>
#include <array>

#include "core/conversions.h"

namespace clipvane {

namespace {

constexpr std::array<std::string_view, kScaleItemCount> kScaleItems = {" 5:1", " 4:1", " 3:1", " 2:1", " 1:1",
                                                                       " 1:2", " 1:3", " 1:4", " 1:5"};
// Held as single precision on purpose: the truncated sizes depend on the float values.
constexpr std::array<float, kScaleItemCount> kScaleFactors = {5.0f, 4.0f, 3.0f, 2.0f, 1.0f, 0.5f, 0.333f, 0.25f, 0.2f};

// One side scaled: the product in double precision of the float factor, truncated.
int ScaleSide(int side, float factor) {
  return std::max(trunc(static_cast<double>(side) * static_cast<double>(factor)), 0);
}

}  // namespace

TGifSizeRule GifSizeRuleFromText(std::string_view text) {
  if (text == kGifSizeScale) return TGifSizeRule::gsScale;
  if (text == kGifSizeSpecified) return TGifSizeRule::gsSpecifiedSize;
  return TGifSizeRule::gsAsAviWindowSize;
}

std::string_view GifSizeRuleText(TGifSizeRule rule) {
  switch (rule) {
    case TGifSizeRule::gsScale:
      return kGifSizeScale;
    case TGifSizeRule::gsSpecifiedSize:
      return kGifSizeSpecified;
    case TGifSizeRule::gsAsAviWindowSize:
      break;
  }
  return kGifSizeAsAviWindow;
}

std::string_view ScaleItemText(int position) {
  if (position < 0 || position >= kScaleItemCount) return {};
  return kScaleItems[static_cast<std::size_t>(position)];
}

int ScalePositionFromText(std::string_view text) {
  const auto found = std::find(kScaleItems.begin(), kScaleItems.end(), text);
  return found == kScaleItems.end() ? -1 : static_cast<int>(found - kScaleItems.begin());
}

float ScaleFactor(int position) {
  if (position < 0 || position >= kScaleItemCount) return 1.0f;
  return kScaleFactors[static_cast<std::size_t>(position)];
}

TFrameSize GifSize(const TGifSizeChoice& choice, int captureWidth, int captureHeight) {
  captureWidth = std::max(captureWidth, 0);
  captureHeight = std::max(captureHeight, 0);
  switch (choice.Rule) {
    case TGifSizeRule::gsScale: {
      const float factor = ScaleFactor(choice.ScalePosition);
      return {ScaleSide(captureWidth, factor), ScaleSide(captureHeight, factor)};
    }
    case TGifSizeRule::gsSpecifiedSize:
      return {std::max(choice.SpecifiedWidth, 0), std::max(choice.SpecifiedHeight, 0)};
    case TGifSizeRule::gsAsAviWindowSize:
      break;
  }
  return {captureWidth, captureHeight};
}

TFrameSize CoupleGifSize(TFrameSize boxes, TSizeBox changed, bool maintainAspect, int frameWidth, int frameHeight) {
  if (!maintainAspect) return boxes;
  return CoupleFrameSize(boxes, changed, frameWidth, frameHeight);
}

TFrameSize SpecifiedSizeBoxes(TFrameSize boxes, int captureWidth, int captureHeight, bool maintainAspect,
                              int frameWidth, int frameHeight) {
  captureWidth = std::clamp(captureWidth, 0, kGifSizeBoxMaximum);
  captureHeight = std::clamp(captureHeight, 0, kGifSizeBoxMaximum);
  if (boxes.Width != captureWidth) {
    boxes.Width = captureWidth;
    boxes = CoupleGifSize(boxes, TSizeBox::sbWidth, maintainAspect, frameWidth, frameHeight);
  }
  if (boxes.Height != captureHeight) {
    boxes.Height = captureHeight;
    boxes = CoupleGifSize(boxes, TSizeBox::sbHeight, maintainAspect, frameWidth, frameHeight);
  }
  return boxes;
}

}  // namespace clipvane
