// Windows icons and cursors (.ico, .cur): the largest image of the file, as a bitmap entry
// with its AND mask or as an embedded PNG.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// Always pf24bit: transparent pixels (mask bit set, or the alpha of a 32-bit entry when it
// has any) take `background`. The largest entry by pixel count wins, then the deeper one.
// A broken file throws EClipvaneError("Invalid icon file: ...").
TBitmap DecodeIco(std::span<const std::uint8_t> data, TColor background);

}  // namespace clipvane
