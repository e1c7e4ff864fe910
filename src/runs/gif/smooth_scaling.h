// Making a picture smaller without dropping pixels: each pixel of the smaller picture is the
// average of the area of the larger one it covers (a box filter), so fine detail blends
// instead of breaking into the jagged noise that taking every n-th pixel gives. The fit to a
// size limit scales this way when it lowers the GIF size.
#pragma once

#include "core/bitmap.h"

namespace clipvane {

// Cuts `rect` out of `decoded` and scales it over the whole of `picture` (which keeps its
// size and format), averaging the area each picture pixel covers. The part of the rectangle
// outside the frame counts as black. A picture as large as the rectangle or larger, in either
// direction, is made by CutAndStretch instead.
void CutAndScaleSmoothly(const TBitmap& decoded, const TRect& rect, TBitmap& picture);

}  // namespace clipvane
