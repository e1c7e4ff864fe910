// The palette-searching colour lookup with its 5-5-5 cell cache.
#include "gif/color_lookup.h"

#include <algorithm>

namespace clipvane {

TFastColorLookup::TFastColorLookup(std::span<const TRGBQuad> palette)
    : TColorLookup(static_cast<std::int32_t>(std::min<std::size_t>(palette.size(), 256))), channels_(palette) {
  cache_.fill(-1);
  for (int i = 0; i < colorCount_; ++i) {
    const TRGBQuad& quad = palette[static_cast<std::size_t>(i)];
    entries_[static_cast<std::size_t>(i)] = {quad.Red, quad.Green, quad.Blue};
    std::int16_t& cell = cache_[static_cast<std::size_t>(CellOf(quad.Red, quad.Green, quad.Blue))];
    if (cell < 0) cell = static_cast<std::int16_t>(i);
  }
}

int TFastColorLookup::SearchNearest(int cell, int red, int green, int blue) {
  // Once per cell and picture, but a dithered picture reaches most cells.
  const int best = channels_.FirstNearest(red, green, blue);
  cache_[static_cast<std::size_t>(cell)] = static_cast<std::int16_t>(best);
  return best;
}

}  // namespace clipvane
