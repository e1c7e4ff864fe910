// The octree colour quantizer and the palettes built from it. Colours are sorted into a tree
// by their bits, top bit first; when there are more leaves than colours wanted, the deepest
// most recently created branch is folded into one leaf holding the average of its colours.
#pragma once

#include <cstdint>
#include <vector>

#include "core/color.h"
#include "gif/dib_access.h"

namespace clipvane {

struct TOctreeNode {
  bool Leaf = false;
  std::uint8_t Level = 0;  // depth in the tree, the root at 0
  // Sums are 64-bit: a 32-bit sum overflows once a leaf holds about 8 million white pixels.
  std::uint64_t PixelCount = 0;
  std::uint64_t RedSum = 0;
  std::uint64_t GreenSum = 0;
  std::uint64_t BlueSum = 0;
  // Next reducible node of the same level (index into the quantizer's nodes), or -1.
  std::int32_t NextReducible = -1;
  // Children by index (red bit) * 4 + (green bit) * 2 + (blue bit); -1 where there is none.
  std::int32_t Children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

class TColorQuantizer {
 public:
  // maxColors >= 1; colorBits 1..8 is the depth of the leaves (8: leaves are exact colours).
  // Errors: GIFException for values outside those ranges.
  TColorQuantizer(int maxColors, int colorBits);

  // Inserts every pixel of the picture, row by row, left to right, merging after each pixel
  // that takes the leaf count above the maximum.
  void FeedImage(const TDIBReader& reader);
  void InsertColour(int red, int green, int blue);
  // Folds the first reducible node of the deepest level that has one into a leaf.
  void MergeDeepest();
  // Leaf colours depth first, children in index order: each the average of its pixels.
  std::vector<TRGBQuad> ListLeafColours() const;

  int LeafCount() const { return leafCount_; }

 private:
  std::int32_t NewNode(int level);
  void FreeNode(std::int32_t node);
  // Descends from the root to the leaf of the colour, creating nodes on the way.
  std::int32_t LeafFor(int red, int green, int blue);

  // All nodes live in one pool and refer to each other by index; freed slots are reused.
  std::vector<TOctreeNode> nodes_;
  // Where the descent of a colour may start: the node its top shortcutLevel_ bits of each
  // channel lead to (or the leaf above it), remembered until the next merge, the only step
  // that destroys nodes. Starting lower on the same path reaches the same leaf.
  int shortcutLevel_;
  std::vector<std::int32_t> shortcutNode_;
  std::vector<std::uint32_t> shortcutAge_;
  std::uint32_t age_ = 1;  // advanced by every merge
  std::vector<std::int32_t> freeNodes_;
  std::int32_t root_ = -1;
  int leafCount_ = 0;
  std::int32_t reducible_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int maxColors_;
  int colorBits_;
};

// A palette from the picture's colours. Framed: 256 entries, the 10 first and 10 last system
// colours around at most 236 computed ones (colorCount is then not used). Otherwise
// colorCount entries (1..256), all computed. Entries the picture does not fill are black.
// Errors: GIFException for a colorCount or colorBits out of range.
std::vector<TRGBQuad> BuildOctreePalette(const TDIBReader& reader, int colorCount, int colorBits, bool framed);

}  // namespace clipvane
