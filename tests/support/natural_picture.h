// A natural-looking test picture: smooth shading, a saturated patch and fine texture, with no
// edges that line up with pixel, chroma or palette grids. `shift` pans the scene to the left
// by that many pixels (fractions too), so consecutive frames of a pan differ everywhere.
#pragma once

#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane::fixtures {

inline TBitmap NaturalPicture(int width, int height, double shift = 0) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  const auto channel = [](double value) { return static_cast<int>(std::clamp(value, 0.0, 255.0)); };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double sx = x + shift;
      const double u = (sx + 0.5) / width, v = (y + 0.5) / height;
      const double texture = 18 * std::sin(sx * 1.7 + y * 0.9) * std::cos(y * 2.3 - sx * 0.4);
      const double patch = std::exp(-((u - 0.62) * (u - 0.62) + (v - 0.4) * (v - 0.4)) * 30);
      const double hills = 40 * std::sin(u * 7.1 + 0.3) * std::cos(v * 5.3 - u * 2.2);
      picture.SetPixel(x, y,
                       RGB(channel(60 + 150 * std::fabs(std::sin(u * 1.3)) + texture + 90 * patch + hills),
                           channel(40 + 170 * v * (1 - std::fabs(std::cos(u * 2.1))) + texture - hills * 0.5),
                           channel(200 - 120 * v + texture * 0.5 - 160 * patch + hills * 0.3)));
    }
  return picture;
}

}  // namespace clipvane::fixtures
