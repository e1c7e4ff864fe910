// PCX pictures: 1 bit in 1 to 4 planes, 2, 4 and 8 bits in one plane, 24 bits in three
// planes (a fourth plane is ignored); run-length encoded or plain.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"

namespace clipvane {

// Palette pictures come as pf1bit (one bit, black and white), pf4bit (header table) or
// pf8bit (the 256-colour table at the end of the file); three planes as pf24bit. A broken
// file throws EClipvaneError("Invalid PCX file: ...").
TBitmap DecodePcx(std::span<const std::uint8_t> data);

}  // namespace clipvane
