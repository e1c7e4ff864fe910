// The painters' timing rules.
#include "gif/painter_timing.h"

#include <algorithm>
#include <limits>

#include "gif/gif_image.h"

namespace clipvane {

int GIFPlaybackDelay(const TGIFSubImage& frame, bool threaded) {
  const TGIFGraphicControlExtension* control = frame.GraphicControlExtension();
  if (control == nullptr || control->Delay() == 0) return kGIFDefaultDelay;
  int delay = std::max<int>(control->Delay(), kGIFMinimumDelay);
  if (!threaded && delay > kGIFMaximumInlineDelay) delay = kGIFMaximumInlineDelay;
  return delay;
}

bool GIFFrameWait(int delayUnits, std::int64_t overrunMs, int speedPercent, int& waitMs) {
  if (speedPercent <= 0) return false;
  // Keeps the product below 2^63 for any overrun a clock can give.
  constexpr std::int64_t kLimit = std::int64_t{1} << 56;
  if (overrunMs > kLimit || overrunMs < -kLimit) return false;
  const std::int64_t base = static_cast<std::int64_t>(delayUnits) * kGIFDelayUnitMs - overrunMs / 2;
  const std::int64_t product = base * 100;
  std::int64_t scaled = product / speedPercent;
  const std::int64_t remainder = product % speedPercent;
  // To nearest, halves away from zero.
  if (2 * (remainder < 0 ? -remainder : remainder) >= speedPercent) scaled += product < 0 ? -1 : 1;
  if (scaled > std::numeric_limits<int>::max() || scaled < std::numeric_limits<int>::min()) return false;
  waitMs = static_cast<int>(scaled);
  return true;
}

}  // namespace clipvane
