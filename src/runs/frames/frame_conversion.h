// The seven colour modes of the frames page, the conversion of one decoded frame into a
// mode and size, and the width/height coupling of "Maintain aspect ratio".
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// In the order of the "Color mode" list.
enum class TColorMode { cm32bit, cm24bit, cm16bit, cm15bit, cm8bit, cm4bit, cm1bit };

// The mode of a "Color mode" list text: an exact, case-sensitive match of one of the seven
// items; any other text (the list is editable) is "24 bit".
TColorMode ColorModeFromText(std::string_view text);
// The list item of a mode ("24 bit", ...).
std::string_view ColorModeText(TColorMode mode);

TPixelFormat ColorModePixelFormat(TColorMode mode);
// Black/white for "1 bit", the 16 standard colours for "4 bit", the halftone table for
// "8 bit"; empty for the direct-colour modes.
std::vector<TRGBQuad> ColorModePalette(TColorMode mode);

// A new width x height bitmap in the mode's pixel format and colour table holding the whole
// source stretched onto it without smoothing; colours go to the nearest table colour
// (no dithering) or keep their top 5 (6) bits. A side of 0 gives an empty bitmap.
// Throws EClipvaneError for a negative or too large size, std::bad_alloc when memory runs out.
std::unique_ptr<TBitmap> ConvertFrame(const TBitmap& source, int width, int height, TColorMode mode);

struct TFrameSize {
  int Width = 0;
  int Height = 0;
  friend constexpr bool operator==(const TFrameSize&, const TFrameSize&) = default;
};

enum class TSizeBox { sbWidth, sbHeight };

// The "Width" and "Height" boxes (0 to 10000) after the user changed one of them, with
// "Maintain aspect ratio" ticked: each change sets the other box to the value that keeps the
// video's ratio (nearest, halves to even), which counts as a change of that box in turn,
// until a box is set to the value it already holds. A frame size of 0 couples nothing.
TFrameSize CoupleFrameSize(TFrameSize boxes, TSizeBox changed, int frameWidth, int frameHeight);

}  // namespace clipvane
