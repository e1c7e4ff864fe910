// Candidate lists of the exact nearest-colour search. The distances from many entries to a
// cube are worked out at once, compiled for each instruction set Highway knows and chosen at
// run time for the processor it runs on.
#include "gif/nearest_color_search.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "gif/gif_exception.h"
#include "gif/gif_types.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "gif/nearest_color_search.cpp"
#include "hwy/foreach_target.h"  // must come before highway.h
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace clipvane {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// For each of `count` entries (a multiple of 16) the least squared distance to the cube
// [low, low + side) on each channel, stored to lower; the result is the least over them of
// the greatest squared distance to the cube.
std::int32_t CubeDistances(const std::int32_t* reds, const std::int32_t* greens, const std::int32_t* blues,
                           std::size_t count, std::int32_t lowRed, std::int32_t lowGreen, std::int32_t lowBlue,
                           std::int32_t side, std::int32_t* lower) {
  const hn::CappedTag<std::int32_t, 16> d;
  const std::size_t lanes = hn::Lanes(d);
  const auto zero = hn::Zero(d);
  const auto lowR = hn::Set(d, lowRed), lowG = hn::Set(d, lowGreen), lowB = hn::Set(d, lowBlue);
  const auto highR = hn::Set(d, lowRed + side - 1), highG = hn::Set(d, lowGreen + side - 1),
             highB = hn::Set(d, lowBlue + side - 1);
  auto bound = hn::Set(d, std::numeric_limits<std::int32_t>::max());
  for (std::size_t i = 0; i < count; i += lanes) {
    const auto r = hn::LoadU(d, reds + i), g = hn::LoadU(d, greens + i), b = hn::LoadU(d, blues + i);
    // Outside the cube one of the two differences is positive, inside neither.
    const auto nearR = hn::Add(hn::Max(hn::Sub(lowR, r), zero), hn::Max(hn::Sub(r, highR), zero));
    const auto nearG = hn::Add(hn::Max(hn::Sub(lowG, g), zero), hn::Max(hn::Sub(g, highG), zero));
    const auto nearB = hn::Add(hn::Max(hn::Sub(lowB, b), zero), hn::Max(hn::Sub(b, highB), zero));
    hn::StoreU(hn::Add(hn::Add(hn::Mul(nearR, nearR), hn::Mul(nearG, nearG)), hn::Mul(nearB, nearB)), d, lower + i);
    const auto farR = hn::Max(hn::Sub(r, lowR), hn::Sub(highR, r));
    const auto farG = hn::Max(hn::Sub(g, lowG), hn::Sub(highG, g));
    const auto farB = hn::Max(hn::Sub(b, lowB), hn::Sub(highB, b));
    bound = hn::Min(bound, hn::Add(hn::Add(hn::Mul(farR, farR), hn::Mul(farG, farG)), hn::Mul(farB, farB)));
  }
  return hn::GetLane(hn::MinOfLanes(d, bound));
}

}  // namespace HWY_NAMESPACE
}  // namespace clipvane
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace clipvane {

HWY_EXPORT(CubeDistances);

namespace {

constexpr int kFineSide = 8;     // 32 cubes a channel
constexpr int kCoarseSide = 32;  // 8 cubes a channel
// Entries are kept in runs of whole vectors of the widest kind (16 lanes).
constexpr std::size_t kVector = 16;
// A channel value no cube comes near: its squares stay far above any real distance, and
// three of them still fit 32 bits.
constexpr std::int32_t kFiller = 0x2000;

std::size_t WholeVectors(std::size_t count) { return (count + kVector - 1) / kVector * kVector; }

}  // namespace

void TNearestColorSearch::TEntries::Add(int red, int green, int blue, int index) {
  Red.push_back(red);
  Green.push_back(green);
  Blue.push_back(blue);
  Index.push_back(index);
}

TNearestColorSearch::TNearestColorSearch(std::span<const TGIFColor> palette)
    : palette_(palette.begin(),
               palette.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(palette.size(), 256))),
      fine_(32 * 32 * 32) {
  if (palette_.empty()) throw GIFException(sGIFColorTableEmpty);
  for (std::size_t i = 0; i < palette_.size(); ++i)
    all_.Add(palette_[i].Red, palette_[i].Green, palette_[i].Blue, static_cast<int>(i));
  while (all_.Size() % kVector != 0) all_.Add(kFiller, kFiller, kFiller, 0);
  lower_.resize(WholeVectors(palette_.size()));
}

int TNearestColorSearch::CubeBound(const TEntries& from, std::size_t offset, std::size_t count, int lowRed,
                                   int lowGreen, int lowBlue, int side) {
  return HWY_DYNAMIC_DISPATCH(CubeDistances)(from.Red.data() + offset, from.Green.data() + offset,
                                             from.Blue.data() + offset, WholeVectors(count), lowRed, lowGreen, lowBlue,
                                             side, lower_.data());
}

void TNearestColorSearch::BuildFine(int cube) {
  const int red = (cube >> 10) & 31, green = (cube >> 5) & 31, blue = cube & 31;
  const int coarse = ((red >> 2) << 6) | ((green >> 2) << 3) | (blue >> 2);
  TList& parent = coarse_[static_cast<std::size_t>(coarse)];
  if (parent.Offset < 0) {
    // Whatever colour of the cube is asked for, the entry whose farthest point of the cube is
    // nearest bounds the nearest distance: no entry that is always farther can win.
    const int bound = CubeBound(all_, 0, palette_.size(), (red >> 2) * kCoarseSide, (green >> 2) * kCoarseSide,
                                (blue >> 2) * kCoarseSide, kCoarseSide);
    parent.Offset = static_cast<std::int32_t>(coarseEntries_.Size());
    for (std::size_t i = 0; i < palette_.size(); ++i)
      if (lower_[i] <= bound) coarseEntries_.Add(all_.Red[i], all_.Green[i], all_.Blue[i], all_.Index[i]);
    parent.Count = static_cast<std::int32_t>(coarseEntries_.Size()) - parent.Offset;
    while (coarseEntries_.Size() % kVector != 0) coarseEntries_.Add(kFiller, kFiller, kFiller, 0);
  }
  const auto offset = static_cast<std::size_t>(parent.Offset);
  const auto count = static_cast<std::size_t>(parent.Count);
  const int bound =
      CubeBound(coarseEntries_, offset, count, red * kFineSide, green * kFineSide, blue * kFineSide, kFineSide);
  TList list;
  list.Offset = static_cast<std::int32_t>(pool_.size());
  for (std::size_t i = 0; i < count; ++i)
    if (lower_[i] <= bound)
      pool_.push_back({lower_[i], static_cast<std::uint8_t>(coarseEntries_.Red[offset + i]),
                       static_cast<std::uint8_t>(coarseEntries_.Green[offset + i]),
                       static_cast<std::uint8_t>(coarseEntries_.Blue[offset + i]),
                       static_cast<std::uint8_t>(coarseEntries_.Index[offset + i])});
  list.Count = static_cast<std::int32_t>(pool_.size()) - list.Offset;
  // By rising lower bound, then index. Lists are short: a plain insertion does best there.
  const auto before = [](const TCandidate& a, const TCandidate& b) {
    return a.LowerBound != b.LowerBound ? a.LowerBound < b.LowerBound : a.Index < b.Index;
  };
  TCandidate* const first = pool_.data() + list.Offset;
  TCandidate* const last = pool_.data() + pool_.size();
  if (list.Count > 32) {
    std::sort(first, last, before);
  } else {
    for (TCandidate* at = first + 1; at < last; ++at) {
      const TCandidate moving = *at;
      TCandidate* to = at;
      for (; to > first && before(moving, to[-1]); --to) *to = to[-1];
      *to = moving;
    }
  }
  fine_[static_cast<std::size_t>(cube)] = list;
}

}  // namespace clipvane
#endif  // HWY_ONCE
