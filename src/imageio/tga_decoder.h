// Targa pictures: uncompressed and run-length encoded, colour-mapped, grey and true colour
// of 15, 16, 24 and 32 bits, bottom-up or top-down.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// Colour-mapped pictures come as pf8bit with their map, grey ones of 8 bits as pf8bit with
// the grey table, all others as pf24bit. An alpha channel (32 bits, or grey with alpha, when
// the header announces 8 alpha bits) is flattened onto `background`. A broken file throws
// EClipvaneError("Invalid Targa file: ...").
TBitmap DecodeTga(std::span<const std::uint8_t> data, TColor background);

}  // namespace clipvane
