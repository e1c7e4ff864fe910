// Fixed colour tables of the platform: the 20 static system colours, the 16 standard
// colours, and the 256-entry halftone table (the statics, a 6x6x6 cube and greys).
#pragma once

#include <array>
#include <vector>

#include "core/color.h"

namespace clipvane {

// The 20 static colours of the system palette, in palette order (10 low, 10 high).
const std::array<TRGBQuad, 20>& SystemPalette20();

// black, maroon, green, olive, navy, purple, teal, grey, silver, red, lime, yellow,
// blue, fuchsia, aqua, white.
const std::array<TRGBQuad, 16>& StandardColors16();

// The first 10 statics, the 216 colours of the 6x6x6 cube (levels 0, 51, ... 255,
// red slowest), 20 greys that the cube lacks, then the last 10 statics.
const std::array<TRGBQuad, 256>& HalftonePalette256();

std::vector<TRGBQuad> BlackWhitePalette();

}  // namespace clipvane
