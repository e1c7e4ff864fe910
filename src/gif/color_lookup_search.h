// The palette scan of the fast colour lookup: the first entry at the least sum of channel
// differences, all entries compared at once with the widest vectors the processor has.
#pragma once

#include <cstdint>
#include <span>

#include "core/color.h"

namespace clipvane {

// A palette of up to 256 entries laid out a channel at a time for vector compares. Slots
// past the palette's entries hold a colour no channel sum can reach, so the scan may run
// over whole vectors.
class TPaletteChannels {
 public:
  // Takes at most the first 256 entries.
  explicit TPaletteChannels(std::span<const TRGBQuad> palette);

  // Index of the first entry with the least |red - R| + |green - G| + |blue - B| (channels
  // 0..255); 0 when the palette is empty.
  int FirstNearest(int red, int green, int blue) const;

  int Count() const { return count_; }

 private:
  alignas(64) std::int16_t red_[256];
  alignas(64) std::int16_t green_[256];
  alignas(64) std::int16_t blue_[256];
  int count_ = 0;
};

}  // namespace clipvane
