// GIF pictures: the first frame of the file, read through our GIF library's reader.
#pragma once

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// A first frame that fills the logical screen comes as pf8bit with its colour table, the
// transparent entry (if any) replaced by `background`; a frame placed inside a larger
// screen comes as pf24bit on a screen of `background`. Damage the GIF reader can only warn
// about (cut data, a missing trailer, stray blocks) is refused here like its errors:
// EClipvaneError("Invalid GIF file: ...").
TBitmap DecodeGif(std::span<const std::uint8_t> data, TColor background);

}  // namespace clipvane
