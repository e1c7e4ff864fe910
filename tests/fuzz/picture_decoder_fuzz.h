// What the fuzz targets of the picture decoders check beyond the sanitizers: a decoded picture
// lies within the decoders' limits and has at most 256 colours in its table.
#pragma once

#include "core/bitmap.h"
#include "imageio/picture_decoders.h"

namespace clipvane::fuzzing {

inline void CheckDecodedPicture(const TBitmap& picture) {
  const bool sane = !picture.Empty() && picture.Width() <= MaxPictureSide && picture.Height() <= MaxPictureSide &&
                    static_cast<long long>(picture.Width()) * picture.Height() <= MaxPicturePixels &&
                    picture.Palette().size() <= 256;
  if (!sane) __builtin_trap();
}

}  // namespace clipvane::fuzzing
