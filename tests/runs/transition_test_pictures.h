// Picture helpers for the transition tests: labelled pictures whose every pixel tells which
// picture and which position it came from, and solid pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "runs/transitions/transition_effects.h"

namespace clipvane::testing {

// Pixel (x, y) of a labelled picture: blue = base + 10 y + x, green = blue + 50, red = blue + 100.
// Source pictures use base 0, destination pictures base 80 (so W <= 10 and H <= 7).
inline TBitmap Labelled(int width, int height, int base) {
  TBitmap picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int blue = base + 10 * y + x;
      picture.SetPixel(x, y, RGB(blue + 100, blue + 50, blue));
    }
  return picture;
}

inline TBitmap Solid(int width, int height, TColor color) {
  TBitmap picture(width, height);
  picture.FillRect(TRect{0, 0, width, height}, color);
  return picture;
}

// "S3.1" for the source pixel (3, 1), "D0.2" for a destination pixel, "?" for anything else.
inline std::string Origin(const TBitmap& picture, int x, int y) {
  const TColor color = picture.GetPixel(x, y);
  const int blue = GetBValue(color);
  if (GetGValue(color) != blue + 50 || GetRValue(color) != blue + 100) return "?";
  const char name = blue < 80 ? 'S' : 'D';
  const int label = blue < 80 ? blue : blue - 80;
  return std::string(1, name) + std::to_string(label % 10) + "." + std::to_string(label / 10);
}

// One string per row: the origins of its pixels separated by spaces.
inline std::vector<std::string> Origins(const TBitmap& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.Height(); ++y) {
    std::string row;
    for (int x = 0; x < picture.Width(); ++x) {
      if (x) row += ' ';
      row += Origin(picture, x, y);
    }
    rows.push_back(row);
  }
  return rows;
}

// Labelled S (base 0) and D (base 80), M of the given colour, O black.
inline TTransitionFrames LabelledFrames(int width, int height, TColor middle = clWhite) {
  TTransitionFrames frames;
  frames.Source = Labelled(width, height, 0);
  frames.Destination = Labelled(width, height, 80);
  frames.Middle = Solid(width, height, middle);
  frames.Output = TBitmap(width, height);
  return frames;
}

// Runs steps 0 to last of an n-step run, as the clip does, and returns the placed count.
inline std::int64_t RunSteps(TTransitionEffect effect, int last, int n, TTransitionFrames& frames) {
  std::int64_t placed = 0;
  for (int k = 0; k <= last; ++k) RenderTransitionStep(effect, k, n, frames, placed);
  return placed;
}

}  // namespace clipvane::testing
