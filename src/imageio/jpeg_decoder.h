// JPEG pictures (baseline, progressive, grey, colour, CMYK) decoded through libjpeg.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"

namespace clipvane {

// Grey pictures come as pf8bit with the grey table, all others as pf24bit. A broken or
// truncated stream throws EClipvaneError("Invalid JPEG file: ...") with libjpeg's reason.
TBitmap DecodeJpeg(std::span<const std::uint8_t> data);

}  // namespace clipvane
