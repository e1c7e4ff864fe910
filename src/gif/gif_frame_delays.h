// The delay of every frame of a GIF stream, read from its blocks without decoding any
// picture: what a caller needs to report a GIF it has just written.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace clipvane {

// One entry per image, in hundredths of a second (0 for an image without a graphic control
// extension). Stops quietly at the trailer or where the stream ends or stops making sense;
// never reads outside `bytes`.
std::vector<int> GifFrameDelays(std::span<const std::uint8_t> bytes);

}  // namespace clipvane
