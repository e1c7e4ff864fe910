// An AVI's decoded picture as the packed device-independent bitmap the frame reader loads:
// the decoder's natural pixel format (palette pictures with their table, grey with a grey
// table, 1, 15, 16, 24 and 32 bits as they come), anything else as 24 bits through the
// picture converter. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <span>

#include "video/packed_frame.h"
#include "video/picture_converter.h"

namespace clipvane::video {

// Writes the picture as a packed bitmap (information header, colour table or bit-field masks,
// bottom-up rows padded with zeros) straight into the decode stream, and returns it. Throws
// EClipvaneError("Invalid image dimensions") for a picture no bitmap can hold.
std::span<std::uint8_t> PackPicture(const AVFrame* picture, TDecodeStream& stream, TPictureConverter& converter);

}  // namespace clipvane::video
