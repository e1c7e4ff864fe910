// TIFF pictures (first page; strips or tiles, any compression libtiff knows, fax included)
// decoded through libtiff.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// Colour-mapped pictures of 1, 2, 4 or 8 bits in strips keep their table (pf1bit, pf4bit,
// pf8bit), black-and-white ones come as pf1bit; everything else as pf24bit with alpha
// flattened onto `background`. libtiff's messages never reach stderr: a broken file throws
// EClipvaneError("Invalid TIFF file: ...") with libtiff's first complaint.
TBitmap DecodeTiff(std::span<const std::uint8_t> data, TColor background);

}  // namespace clipvane
