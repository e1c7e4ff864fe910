// Palettes of the "Best quality" reduction: a histogram of a picture's colours in cells of 5
// or 8 bits a channel (each cell keeping the exact sums of its colours), cut by median cut
// into boxes where the squared error drops most, then refined by k-means (Lloyd) iterations.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_color_map.h"
#include "gif/nearest_color_search.h"

namespace clipvane {

class TColorHistogram {
 public:
  struct TCell {
    std::uint32_t Key = 0;  // red level << 2 bits | green level << bits | blue level
    std::uint64_t Count = 0;
    std::uint64_t Red = 0, Green = 0, Blue = 0;  // sums of the channels
  };

  // bits: 5 (cells of 8 x 8 x 8 colours) or 8 (every colour a cell of its own).
  explicit TColorHistogram(int bits = 5);

  // Empties the histogram and sets its cell size (5 or 8 bits a channel).
  void SetBits(int bits);
  int Bits() const { return bits_; }
  // Empties the histogram.
  void Clear();
  void Add(int red, int green, int blue) {
    if (bits_ == 8) {
      AddExact(red, green, blue);
      return;
    }
    const std::uint32_t key = static_cast<std::uint32_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
    TSums& sums = cells_[key];
    if (sums.Count++ == 0) used_.push_back(key);
    sums.Red += static_cast<std::uint64_t>(red);
    sums.Green += static_cast<std::uint64_t>(green);
    sums.Blue += static_cast<std::uint64_t>(blue);
  }
  // Adds every step-th pixel of a 24-bit picture, row after row (the count runs on across
  // rows, so a step that divides the width still visits every column in turn).
  void AddPicture(const TBitmap& picture, int step);

  // The cells holding colours, in the order they were first met.
  std::vector<TCell> Cells() const;
  std::size_t CellCount() const { return used_.size(); }
  bool Empty() const { return used_.empty(); }

 private:
  struct TSums {
    std::uint64_t Count = 0, Red = 0, Green = 0, Blue = 0;
  };
  void AddExact(int red, int green, int blue);
  TSums& ExactSums(std::uint32_t key);

  int bits_ = 5;
  // 5 bits: one entry a cell, by key; allocated once and kept at 0 but for the cells in used_,
  // so that a new picture need not clear a megabyte. 8 bits: one entry a colour met, in order
  // of arrival, found through the open-addressing table of key + 1 (0: free) and entry index.
  std::vector<TSums> cells_;
  std::vector<TSums> sums_;
  std::vector<std::uint32_t> used_;
  std::vector<std::uint32_t> slotKeys_;
  std::vector<std::uint32_t> slotEntries_;
};

// Up to maxColors (1..256) entries for the histogram's colours: boxes of cells are split,
// always the box and cut that lower the summed squared error most, until there are
// maxColors boxes or no box can be cut; each entry is its box's mean colour; then
// `refinements` k-means iterations move each entry to the mean of the cells nearest to it.
// Fewer entries come back when the histogram has fewer cells. An empty histogram gives none.
std::vector<TGIFColor> BuildMedianCutPalette(const TColorHistogram& histogram, int maxColors, int refinements);

// Mean squared error (the three channels summed) of the histogram's cells, each at the mean
// of its colours, when they are mapped to their nearest entries of the search's palette.
double PaletteFitError(const TColorHistogram& histogram, TNearestColorSearch& search);

}  // namespace clipvane
