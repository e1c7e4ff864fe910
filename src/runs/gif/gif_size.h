// The size of the GIF frames: the three rules of the "GIF window size" list, the nine scale
// factors, and the "Width (pixels)" / "Height (pixels)" boxes of " Specified size".
#pragma once

#include <string_view>

#include "runs/frames/frame_conversion.h"

namespace clipvane {

// The items of the "GIF window size" list (each begins with a blank).
inline constexpr std::string_view kGifSizeAsAviWindow = " As AVI window size";
inline constexpr std::string_view kGifSizeScale = " Scale";
inline constexpr std::string_view kGifSizeSpecified = " Specified size";

enum class TGifSizeRule { gsAsAviWindowSize, gsScale, gsSpecifiedSize };

// The rule of a list text: an exact match of one of the three items. The list is editable;
// any other text keeps the GIF at the capture size, as if nothing had been chosen.
TGifSizeRule GifSizeRuleFromText(std::string_view text);
std::string_view GifSizeRuleText(TGifSizeRule rule);

// The scale list's items " 5:1" ... " 1:5", and the position " Scale" selects.
inline constexpr int kScaleItemCount = 9;
inline constexpr int kScaleOneToOne = 4;
std::string_view ScaleItemText(int position);
// The position of a scale item text, -1 for any other text.
int ScalePositionFromText(std::string_view text);

// The factor of a scale list position, as single precision: 0.333 is 0.33300000429 and 0.2
// is 0.20000000298. A position outside 0..8 (text typed into the list) scales by 1.
float ScaleFactor(int position);

// Limits of the "Width (pixels)" and "Height (pixels)" boxes.
inline constexpr int kGifSizeBoxMaximum = 10000;

struct TGifSizeChoice {
  TGifSizeRule Rule = TGifSizeRule::gsAsAviWindowSize;
  int ScalePosition = kScaleOneToOne;  // " Scale"
  int SpecifiedWidth = 0;              // " Specified size": the two boxes
  int SpecifiedHeight = 0;
};

// GifWidth x GifHeight for a capture of captureWidth x captureHeight. " Scale" multiplies
// each side by the factor and truncates toward zero (320 x 240 at " 1:3" gives 106 x 79).
// Negative values read as 0.
TFrameSize GifSize(const TGifSizeChoice& choice, int captureWidth, int captureHeight);

// The two boxes of " Specified size" after the list was set to it: the width box is set to
// the capture width, then the height box to the capture height, each setting running the
// aspect coupling (the video frame's ratio) when "Maintain aspect ratio" is ticked. A box
// set to the value it already holds does not couple; a box keeps to 0..10000 as the boxes
// do. `boxes` holds the values before.
// Example: 320 x 240 video, 100 x 100 capture, boxes 0 x 0: they end at 133 x 100.
TFrameSize SpecifiedSizeBoxes(TFrameSize boxes, int captureWidth, int captureHeight, bool maintainAspect,
                              int frameWidth, int frameHeight);

// One box changed by the user (or by the other box): the coupling of "Maintain aspect
// ratio", the same rule as the frames page's (nearest, halves to even, until a box keeps
// its value). Without the tick the boxes stay as given.
TFrameSize CoupleGifSize(TFrameSize boxes, TSizeBox changed, bool maintainAspect, int frameWidth, int frameHeight);

}  // namespace clipvane
