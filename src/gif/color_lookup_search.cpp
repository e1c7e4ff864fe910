// The vector scan of TPaletteChannels, compiled once for each instruction set Highway knows
// and chosen at run time for the processor it runs on.
#include "gif/color_lookup_search.h"

#include <algorithm>
#include <cstddef>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "gif/color_lookup_search.cpp"
#include "hwy/foreach_target.h"  // must come before highway.h
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace clipvane {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Channel sums of the first `count` slots (rounded up to whole vectors), then the first slot
// holding the least of them. At most 32 lanes, so whole vectors always fit the 256 slots.
int FirstNearestVectors(const std::int16_t* reds, const std::int16_t* greens, const std::int16_t* blues, int count,
                        int red, int green, int blue) {
  const hn::CappedTag<std::int16_t, 32> d;
  const std::size_t lanes = hn::Lanes(d);
  const std::size_t limit = (static_cast<std::size_t>(count) + lanes - 1) / lanes * lanes;
  const auto r = hn::Set(d, static_cast<std::int16_t>(red));
  const auto g = hn::Set(d, static_cast<std::int16_t>(green));
  const auto b = hn::Set(d, static_cast<std::int16_t>(blue));
  HWY_ALIGN std::int16_t sums[256];
  auto least = hn::Set(d, std::int16_t{0x7FFF});
  for (std::size_t i = 0; i < limit; i += lanes) {
    const auto sum =
        hn::Add(hn::Add(hn::Abs(hn::Sub(hn::Load(d, reds + i), r)), hn::Abs(hn::Sub(hn::Load(d, greens + i), g))),
                hn::Abs(hn::Sub(hn::Load(d, blues + i), b)));
    hn::Store(sum, d, sums + i);
    least = hn::Min(least, sum);
  }
  const auto target = hn::MinOfLanes(d, least);
  for (std::size_t i = 0; i < limit; i += lanes) {
    const std::intptr_t first = hn::FindFirstTrue(d, hn::Eq(hn::Load(d, sums + i), target));
    if (first >= 0) return static_cast<int>(i + static_cast<std::size_t>(first));
  }
  return 0;  // not reached: the least sum is one of them
}

}  // namespace HWY_NAMESPACE
}  // namespace clipvane
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace clipvane {

HWY_EXPORT(FirstNearestVectors);

namespace {

// A slot past the palette: its red alone is farther from any colour than 765, the largest
// sum a real entry can have, and the three sums still fit 16 bits.
constexpr std::int16_t kFarRed = 0x2000;

}  // namespace

TPaletteChannels::TPaletteChannels(std::span<const TRGBQuad> palette)
    : count_(static_cast<int>(std::min<std::size_t>(palette.size(), 256))) {
  for (int i = 0; i < 256; ++i) {
    const bool used = i < count_;
    const TRGBQuad quad = used ? palette[static_cast<std::size_t>(i)] : TRGBQuad{};
    red_[i] = used ? quad.Red : kFarRed;
    green_[i] = quad.Green;
    blue_[i] = quad.Blue;
  }
}

int TPaletteChannels::FirstNearest(int red, int green, int blue) const {
  if (count_ == 0) return 0;
  return HWY_DYNAMIC_DISPATCH(FirstNearestVectors)(red_, green_, blue_, count_, red, green, blue);
}

}  // namespace clipvane
#endif  // HWY_ONCE
