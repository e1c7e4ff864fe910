// Colours: TColor holds red in the low byte, green in the middle byte, blue in the high byte.
#pragma once

#include <cstdint>

namespace clipvane {

using TColor = std::uint32_t;

constexpr TColor RGB(int red, int green, int blue) {
  return static_cast<TColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int GetRValue(TColor color) { return static_cast<int>(color & 0xFF); }
constexpr int GetGValue(TColor color) { return static_cast<int>((color >> 8) & 0xFF); }
constexpr int GetBValue(TColor color) { return static_cast<int>((color >> 16) & 0xFF); }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);

// One colour-table entry as bitmaps store it: blue, green, red, unused.
struct TRGBQuad {
  std::uint8_t Blue = 0;
  std::uint8_t Green = 0;
  std::uint8_t Red = 0;
  std::uint8_t Reserved = 0;

  static constexpr TRGBQuad FromColor(TColor color) {
    return {static_cast<std::uint8_t>(GetBValue(color)), static_cast<std::uint8_t>(GetGValue(color)),
            static_cast<std::uint8_t>(GetRValue(color)), 0};
  }
  constexpr TColor ToColor() const { return RGB(Red, Green, Blue); }
  friend constexpr bool operator==(const TRGBQuad& a, const TRGBQuad& b) {
    return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red;
  }
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

}  // namespace clipvane
