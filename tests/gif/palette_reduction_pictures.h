// Small 24-bit pictures for the colour reduction tests, built pixel by pixel.
#pragma once

#include <cstdint>
#include <functional>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane::testing {

// A 24-bit picture whose pixel (x, y) is colourAt(x, y).
inline TBitmap MakePicture(int width, int height, const std::function<TColor(int, int)>& colourAt) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const TColor colour = colourAt(x, y);
      row[3 * x] = static_cast<std::uint8_t>(GetBValue(colour));
      row[3 * x + 1] = static_cast<std::uint8_t>(GetGValue(colour));
      row[3 * x + 2] = static_cast<std::uint8_t>(GetRValue(colour));
    }
  }
  return picture;
}

inline TBitmap OneColourPicture(int width, int height, TColor colour) {
  return MakePicture(width, height, [colour](int, int) { return colour; });
}

// The colour table entry a pixel of an 8-bit picture refers to.
inline TColor IndexedColour(const TBitmap& picture, int x, int y) {
  return picture.Palette().at(picture.ScanLine(y)[x]).ToColor();
}

}  // namespace clipvane::testing
