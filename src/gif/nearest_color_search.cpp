// Candidate lists of the exact nearest-colour search.
#include "gif/nearest_color_search.h"

#include <algorithm>

#include "gif/gif_exception.h"
#include "gif/gif_types.h"

namespace clipvane {

namespace {

constexpr int kFineSide = 8;     // 32 cubes a channel
constexpr int kCoarseSide = 32;  // 8 cubes a channel

// Least and greatest squared distance along one channel from value to [low, high].
int NearSquare(int value, int low, int high) {
  const int d = value < low ? low - value : (value > high ? value - high : 0);
  return d * d;
}
int FarSquare(int value, int low, int high) {
  const int d = std::max(value - low, high - value);
  return d * d;
}

}  // namespace

TNearestColorSearch::TNearestColorSearch(std::span<const TGIFColor> palette)
    : palette_(palette.begin(),
               palette.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(palette.size(), 256))),
      fine_(32 * 32 * 32) {
  if (palette_.empty()) throw GIFException(sGIFColorTableEmpty);
  all_.reserve(palette_.size());
  for (std::size_t i = 0; i < palette_.size(); ++i)
    all_.push_back({0, palette_[i].Red, palette_[i].Green, palette_[i].Blue, static_cast<std::uint8_t>(i)});
}

TNearestColorSearch::TList TNearestColorSearch::BuildList(std::span<const TCandidate> from, int lowRed, int lowGreen,
                                                          int lowBlue, int side) {
  const int highRed = lowRed + side - 1, highGreen = lowGreen + side - 1, highBlue = lowBlue + side - 1;
  // Whatever colour of the cube is asked for, the entry that is farthest from the cube's
  // farthest corner bounds the nearest distance: no entry that is always farther can win.
  int bound = kNoDistance;
  for (const TCandidate& c : from)
    bound = std::min(bound, FarSquare(c.Red, lowRed, highRed) + FarSquare(c.Green, lowGreen, highGreen) +
                                FarSquare(c.Blue, lowBlue, highBlue));
  TList list;
  list.Offset = static_cast<std::int32_t>(pool_.size());
  for (const TCandidate& c : from) {
    const int lower = NearSquare(c.Red, lowRed, highRed) + NearSquare(c.Green, lowGreen, highGreen) +
                      NearSquare(c.Blue, lowBlue, highBlue);
    if (lower <= bound) pool_.push_back({lower, c.Red, c.Green, c.Blue, c.Index});
  }
  list.Count = static_cast<std::int32_t>(pool_.size()) - list.Offset;
  std::sort(pool_.begin() + list.Offset, pool_.end(), [](const TCandidate& a, const TCandidate& b) {
    return a.LowerBound != b.LowerBound ? a.LowerBound < b.LowerBound : a.Index < b.Index;
  });
  return list;
}

void TNearestColorSearch::BuildFine(int cube) {
  const int red = (cube >> 10) & 31, green = (cube >> 5) & 31, blue = cube & 31;
  const int coarse = ((red >> 2) << 6) | ((green >> 2) << 3) | (blue >> 2);
  TList& parent = coarse_[static_cast<std::size_t>(coarse)];
  if (parent.Offset < 0)
    parent =
        BuildList(all_, (red >> 2) * kCoarseSide, (green >> 2) * kCoarseSide, (blue >> 2) * kCoarseSide, kCoarseSide);
  // The parent's candidates are copied out first: building appends to the pool it lives in.
  scratch_.assign(pool_.begin() + parent.Offset, pool_.begin() + parent.Offset + parent.Count);
  fine_[static_cast<std::size_t>(cube)] =
      BuildList(scratch_, red * kFineSide, green * kFineSide, blue * kFineSide, kFineSide);
}

}  // namespace clipvane
