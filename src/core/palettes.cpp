// The fixed colour tables.
#include "core/palettes.h"

namespace clipvane {

const std::array<TRGBQuad, 20>& SystemPalette20() {
  static const std::array<TRGBQuad, 20> table = [] {
    const TColor colors[20] = {RGB(0, 0, 0),       RGB(128, 0, 0),     RGB(0, 128, 0),     RGB(128, 128, 0),
                               RGB(0, 0, 128),     RGB(128, 0, 128),   RGB(0, 128, 128),   RGB(192, 192, 192),
                               RGB(192, 220, 192), RGB(166, 202, 240), RGB(255, 251, 240), RGB(160, 160, 164),
                               RGB(128, 128, 128), RGB(255, 0, 0),     RGB(0, 255, 0),     RGB(255, 255, 0),
                               RGB(0, 0, 255),     RGB(255, 0, 255),   RGB(0, 255, 255),   RGB(255, 255, 255)};
    std::array<TRGBQuad, 20> result{};
    for (int i = 0; i < 20; ++i) result[i] = TRGBQuad::FromColor(colors[i]);
    return result;
  }();
  return table;
}

const std::array<TRGBQuad, 16>& StandardColors16() {
  static const std::array<TRGBQuad, 16> table = [] {
    const TColor colors[16] = {RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
                               RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(128, 128, 128),
                               RGB(192, 192, 192), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
                               RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
    std::array<TRGBQuad, 16> result{};
    for (int i = 0; i < 16; ++i) result[i] = TRGBQuad::FromColor(colors[i]);
    return result;
  }();
  return table;
}

const std::array<TRGBQuad, 256>& HalftonePalette256() {
  static const std::array<TRGBQuad, 256> table = [] {
    std::array<TRGBQuad, 256> result{};
    const auto& statics = SystemPalette20();
    int index = 0;
    for (int i = 0; i < 10; ++i) result[index++] = statics[i];
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) result[index++] = TRGBQuad::FromColor(RGB(r * 51, g * 51, b * 51));
    // Greys between the cube's six grey levels: 4 in each of the 5 gaps.
    for (int gap = 0; gap < 5; ++gap)
      for (int k = 1; k <= 4; ++k) {
        const int level = gap * 51 + (k * 51) / 5;
        result[index++] = TRGBQuad::FromColor(RGB(level, level, level));
      }
    for (int i = 10; i < 20; ++i) result[index++] = statics[i];
    return result;
  }();
  return table;
}

std::vector<TRGBQuad> BlackWhitePalette() { return {TRGBQuad::FromColor(clBlack), TRGBQuad::FromColor(clWhite)}; }

}  // namespace clipvane
