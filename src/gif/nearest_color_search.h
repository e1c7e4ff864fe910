// The exact nearest palette entry of a colour, by squared RGB distance, the lowest index
// winning a tie. Candidate lists are kept per 8x8x8 cube of colour space and built on first
// use: a cube's list holds every entry that can be nearest to some colour of that cube, so a
// search reads a handful of entries instead of the whole palette. The distances that decide
// a list are worked out for many entries at once with the widest vectors the processor has.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "gif/gif_color_map.h"

namespace clipvane {

class TNearestColorSearch {
 public:
  // palette: 1 to 256 entries (more are ignored; none raises GIFException).
  explicit TNearestColorSearch(std::span<const TGIFColor> palette);

  // Index of the entry nearest to (red, green, blue), channels 0..255; of several at the
  // same distance, the lowest index.
  int Nearest(int red, int green, int blue) {
    const int cube = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
    if (fine_[static_cast<std::size_t>(cube)].Offset < 0) BuildFine(cube);
    const TList list = fine_[static_cast<std::size_t>(cube)];
    const TCandidate* candidate = pool_.data() + list.Offset;
    const TCandidate* const end = candidate + list.Count;
    int best = kNoDistance;
    int bestIndex = candidate->Index;
    // Candidates come by their least possible distance to the cube, so once that exceeds
    // the best distance found, no later one can win (an equal one still can, by index).
    for (; candidate != end && candidate->LowerBound <= best; ++candidate) {
      const int dr = red - candidate->Red, dg = green - candidate->Green, db = blue - candidate->Blue;
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < best || (distance == best && candidate->Index < bestIndex)) {
        best = distance;
        bestIndex = candidate->Index;
      }
    }
    return bestIndex;
  }

  int Count() const { return static_cast<int>(palette_.size()); }
  const TGIFColor& Entry(int index) const { return palette_[static_cast<std::size_t>(index)]; }
  std::span<const TGIFColor> Palette() const { return palette_; }

 private:
  static constexpr int kNoDistance = 1 << 30;

  struct TCandidate {
    std::int32_t LowerBound;  // least squared distance from the entry to any colour of the cube
    std::uint8_t Red, Green, Blue, Index;
  };
  struct TList {
    std::int32_t Offset = -1;  // into pool_ (a cube of side 8) or into the entries (side 32); -1 until built
    std::int32_t Count = 0;
  };
  // Entries a channel at a time, as the distance vectors read them; room for one vector more
  // than they hold, so that a vector may run past the last entry.
  struct TEntries {
    std::vector<std::int32_t> Red, Green, Blue, Index;
    std::size_t Size() const { return Index.size(); }
    void Add(int red, int green, int blue, int index);
  };

  // The entries of `from` ([offset, offset + count)) that can be nearest somewhere in the cube
  // [low, low + side) on each channel: their least squared distances to the cube go to
  // lower_, and the result is the bound those distances must not pass.
  int CubeBound(const TEntries& from, std::size_t offset, std::size_t count, int lowRed, int lowGreen, int lowBlue,
                int side);
  void BuildFine(int cube);

  std::vector<TGIFColor> palette_;
  TEntries all_;
  // A cube of side 8 builds its list from the list of the cube of side 32 that holds it:
  // an entry that can be nearest somewhere in the small cube can be so in the large one.
  std::array<TList, 512> coarse_{};
  TEntries coarseEntries_;
  std::vector<TList> fine_;
  std::vector<TCandidate> pool_;  // the lists of the cubes of side 8, each by rising lower bound
  std::vector<std::int32_t> lower_;
};

}  // namespace clipvane
