// PNG pictures of every colour type and depth decoded through libpng.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// Palette pictures keep their table (pf1bit for 1 bit, pf4bit for 2 and 4 bits, pf8bit)
// with transparent entries blended onto `background`; grey pictures without transparency
// come as pf1bit (1 bit) or pf8bit with the grey table; all others, 16-bit ones included,
// as pf24bit with alpha flattened onto `background`. A broken file throws
// EClipvaneError("Invalid PNG file: ...").
TBitmap DecodePng(std::span<const std::uint8_t> data, TColor background);

}  // namespace clipvane
