// The memory a "Get frames" run will hold (one bitmap per processed frame until the results
// are cleared) against the memory the system has available, and the question asked when
// the estimate is larger.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/video_state.h"
#include "runs/frames/frame_conversion.h"

namespace clipvane {

// Frames the run will read: ticked and inside RangeFirst..RangeLast (and 0..LastFrame).
int FramesToExtract(const TVideoState& state);

// frames x pixel bytes of one width x height bitmap in the mode (rows padded as stored).
std::uint64_t EstimateResultBytes(int frames, int width, int height, TColorMode mode);

// "MemAvailable" of a /proc/meminfo text, in bytes; nothing when the line is missing.
std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo);
// The memory available now; nothing when the system does not say.
std::optional<std::uint64_t> AvailableMemoryBytes();

// "The frames will take about 1200 MB of memory, but only 800 MB are available. Get the
// frames anyway?"
std::string MemoryQuestionText(std::uint64_t estimate, std::uint64_t available);

}  // namespace clipvane
