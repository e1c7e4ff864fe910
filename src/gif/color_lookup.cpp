// The palette-searching colour lookup with its 5-5-5 cell cache.
#include "gif/color_lookup.h"

#include <algorithm>

namespace clipvane {

TFastColorLookup::TFastColorLookup(std::span<const TRGBQuad> palette)
    : TColorLookup(static_cast<std::int32_t>(std::min<std::size_t>(palette.size(), 256))), channels_(palette) {
  for (int i = 0; i < colorCount_; ++i) {
    const TRGBQuad& quad = palette[static_cast<std::size_t>(i)];
    entries_[static_cast<std::size_t>(i)] = {quad.Red, quad.Green, quad.Blue};
  }
  unknown_ = Packed(0) ^ 1u;
  cache_.assign(32768, unknown_);
  for (int i = 0; i < colorCount_; ++i) {
    const TLookupColor& e = entries_[static_cast<std::size_t>(i)];
    std::uint32_t& cell = cache_[static_cast<std::size_t>(CellOf(e.Red, e.Green, e.Blue))];
    if (cell == unknown_) cell = Packed(i);
  }
}

std::uint32_t TFastColorLookup::Packed(int index) const {
  const TLookupColor& e = entries_[static_cast<std::size_t>(index)];
  return static_cast<std::uint32_t>(e.Red) | (static_cast<std::uint32_t>(e.Green) << 8) |
         (static_cast<std::uint32_t>(e.Blue) << 16) | (static_cast<std::uint32_t>(index) << 24);
}

std::uint32_t TFastColorLookup::SearchNearest(int cell, int red, int green, int blue) {
  // Once per cell and picture, but a dithered picture reaches most cells.
  const std::uint32_t packed = Packed(channels_.FirstNearest(red, green, blue));
  cache_[static_cast<std::size_t>(cell)] = packed;
  return packed;
}

}  // namespace clipvane
