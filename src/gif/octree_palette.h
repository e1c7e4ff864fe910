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
  // The colour bits that lead here: the top Level bits of each channel, the others 0.
  std::uint8_t PathRed = 0;
  std::uint8_t PathGreen = 0;
  std::uint8_t PathBlue = 0;
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
  // A node of the level on the path of (red, green, blue).
  std::int32_t NewNode(int level, int red, int green, int blue);
  void FreeNode(std::int32_t node);
  // Descends from the root to the leaf of the colour, creating nodes on the way.
  std::int32_t LeafFor(int red, int green, int blue);
  // After a merge made node a leaf: every shortcut below it leads to it.
  void PointShortcutsAt(std::int32_t node);

  // All nodes live in one pool and refer to each other by index; freed slots are reused.
  std::vector<TOctreeNode> nodes_;
  // Where the descent of a colour may start, by the top shortcutLevel_ bits of each channel:
  // the node of the shortcut level on the colour's path, or the leaf above it. Starting there
  // reaches the same leaf, and a shortcut known to end at a leaf needs no descent. Only a
  // merge above the shortcut level destroys nodes a shortcut can lead to, and it points the
  // shortcuts below it at its new leaf; a leaf stays one until it is destroyed.
  std::size_t ShortcutKey(int red, int green, int blue) const {
    const int drop = 8 - shortcutLevel_;
    return (static_cast<std::size_t>(red >> drop) << (2 * shortcutLevel_)) |
           (static_cast<std::size_t>(green >> drop) << shortcutLevel_) | static_cast<std::size_t>(blue >> drop);
  }
  // A shortcut: 0 when not known, else (node + 1) << 1, plus 1 when the node is a leaf.
  static std::uint32_t Shortcut(std::int32_t node, bool leaf) {
    return (static_cast<std::uint32_t>(node + 1) << 1) | (leaf ? 1u : 0u);
  }
  static std::int32_t ShortcutNode(std::uint32_t shortcut) { return static_cast<std::int32_t>(shortcut >> 1) - 1; }

  int shortcutLevel_;
  std::vector<std::uint32_t> shortcuts_;
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
