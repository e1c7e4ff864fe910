// Portable pixmaps: PBM, PGM and PPM, plain (P1-P3) and raw (P4-P6), maximum value up to 65535.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"

namespace clipvane {

// PBM comes as pf1bit (white, black), PGM as pf8bit with the grey table, PPM as pf24bit;
// samples are scaled from the file's maximum value to 0..255 with rounding. Only the first
// picture of a multi-picture file is read. A broken file throws
// EClipvaneError("Invalid PNM file: ...").
TBitmap DecodePnm(std::span<const std::uint8_t> data);

}  // namespace clipvane
