// How long a painter shows each frame: the delay rules in 12 ms units and the wait before a
// frame after an overrun, at a playback speed. Pure arithmetic over a frame's control block.
#pragma once

#include <cstdint>

namespace clipvane {

class TGIFSubImage;

// Timing rules. A delay unit (hundredth of a second) is played as 12 ms; a frame without a
// graphic control extension, or with delay 0, shows for 10 units; shorter delays than 3 units
// become 3; a non-threaded painter caps a delay at 1000 units.
inline constexpr int kGIFDelayUnitMs = 12;
inline constexpr int kGIFDefaultDelay = 10;
inline constexpr int kGIFMinimumDelay = 3;
inline constexpr int kGIFMaximumInlineDelay = 1000;
// The wait used when the wait cannot be computed, and a non-threaded painter's wait at a
// speed of 0 or below, in milliseconds.
inline constexpr int kGIFFallbackWaitMs = 12000;
// A non-threaded painter sleeps in slices of at most this many milliseconds.
inline constexpr int kGIFSleepSliceMs = 100;

// The units a frame is shown for (see the rules above).
int GIFPlaybackDelay(const TGIFSubImage& frame, bool threaded);
// The wait in milliseconds before a frame shown for delayUnits after an overrun of
// overrunMs: (delayUnits x 12 - overrunMs / 2) x 100 / speedPercent, the halving truncating
// toward zero, the scaling over a 64-bit product rounded to nearest (halves away from zero).
// False when speedPercent is not positive or the result does not fit an int.
bool GIFFrameWait(int delayUnits, std::int64_t overrunMs, int speedPercent, int& waitMs);

}  // namespace clipvane
