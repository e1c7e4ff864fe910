// The octree colour quantizer and BuildOctreePalette.
#include "gif/octree_palette.h"

#include <algorithm>

#include "core/palettes.h"
#include "gif/gif_exception.h"

namespace clipvane {

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits) : maxColors_(maxColors), colorBits_(colorBits) {
  if (maxColors < 1) throw GIFException("Invalid colour count");
  if (colorBits < 1 || colorBits > 8) throw GIFException("Invalid colour bits");
  nodes_.reserve(static_cast<std::size_t>(std::min(maxColors, 4096)) * 4);
  shortcutLevel_ = std::min(colorBits, 5);
  shortcuts_.assign(std::size_t{1} << (3 * shortcutLevel_), 0);
}

std::int32_t TColorQuantizer::NewNode(int level, int red, int green, int blue) {
  std::int32_t node;
  if (!freeNodes_.empty()) {
    node = freeNodes_.back();
    freeNodes_.pop_back();
    nodes_[static_cast<std::size_t>(node)] = TOctreeNode{};
  } else {
    node = static_cast<std::int32_t>(nodes_.size());
    nodes_.emplace_back();
  }
  TOctreeNode& created = nodes_[static_cast<std::size_t>(node)];
  created.Level = static_cast<std::uint8_t>(level);
  const int path = (0xFF00 >> level) & 0xFF;
  created.PathRed = static_cast<std::uint8_t>(red & path);
  created.PathGreen = static_cast<std::uint8_t>(green & path);
  created.PathBlue = static_cast<std::uint8_t>(blue & path);
  if (level == colorBits_) {
    created.Leaf = true;
    ++leafCount_;
  } else {
    created.NextReducible = reducible_[level];
    reducible_[level] = node;
  }
  return node;
}

void TColorQuantizer::FreeNode(std::int32_t node) { freeNodes_.push_back(node); }

std::int32_t TColorQuantizer::LeafFor(int red, int green, int blue) {
  if (root_ < 0) root_ = NewNode(0, red, green, blue);
  std::uint32_t& shortcut = shortcuts_[ShortcutKey(red, green, blue)];
  const bool known = shortcut != 0;
  std::int32_t node = known ? ShortcutNode(shortcut) : root_;
  for (int level = nodes_[static_cast<std::size_t>(node)].Level; !nodes_[static_cast<std::size_t>(node)].Leaf;
       ++level) {
    if (!known && level == shortcutLevel_) shortcut = Shortcut(node, false);
    const int shift = 7 - level;
    const int slot = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
    std::int32_t child = nodes_[static_cast<std::size_t>(node)].Children[slot];
    if (child < 0) {
      child = NewNode(level + 1, red, green, blue);  // may move the pool: index it again below
      nodes_[static_cast<std::size_t>(node)].Children[slot] = child;
    }
    node = child;
  }
  // A leaf at or above the shortcut level is where every colour of the key ends (a node of
  // that level remembered before it became a leaf is marked here as well).
  if (nodes_[static_cast<std::size_t>(node)].Level <= shortcutLevel_) shortcut = Shortcut(node, true);
  return node;
}

void TColorQuantizer::PointShortcutsAt(std::int32_t node) {
  const TOctreeNode& leaf = nodes_[static_cast<std::size_t>(node)];
  const int below = shortcutLevel_ - leaf.Level;  // shortcut bits of each channel below the leaf
  if (below < 0) return;
  const int drop = 8 - shortcutLevel_;
  const std::size_t span = std::size_t{1} << below;
  const std::size_t red = leaf.PathRed >> drop, green = leaf.PathGreen >> drop, blue = leaf.PathBlue >> drop;
  const std::uint32_t shortcut = Shortcut(node, true);
  for (std::size_t r = red; r < red + span; ++r)
    for (std::size_t g = green; g < green + span; ++g)
      for (std::size_t b = blue; b < blue + span; ++b)
        shortcuts_[(r << (2 * shortcutLevel_)) | (g << shortcutLevel_) | b] = shortcut;
}

void TColorQuantizer::InsertColour(int red, int green, int blue) {
  TOctreeNode& leaf = nodes_[static_cast<std::size_t>(LeafFor(red, green, blue))];
  ++leaf.PixelCount;
  leaf.RedSum += static_cast<std::uint64_t>(red);
  leaf.GreenSum += static_cast<std::uint64_t>(green);
  leaf.BlueSum += static_cast<std::uint64_t>(blue);
}

void TColorQuantizer::FeedImage(const TDIBReader& reader) {
  const int width = reader.Width();
  // Runs of one colour go straight to the leaf found for the run's first pixel; a merge may
  // destroy that leaf, so any merge ends the shortcut.
  std::int32_t lastLeaf = -1;
  std::uint32_t lastColour = 0;
  for (int row = 0; row < reader.Height(); ++row) {
    const std::uint8_t* pixel = reader.RowAddress(row);
    for (int x = 0; x < width; ++x, pixel += 3) {
      const std::uint32_t colour = pixel[0] | (pixel[1] << 8) | (static_cast<std::uint32_t>(pixel[2]) << 16);
      if (lastLeaf < 0 || colour != lastColour) {
        const std::uint32_t shortcut = shortcuts_[ShortcutKey(pixel[2], pixel[1], pixel[0])];
        lastLeaf = (shortcut & 1) != 0 ? ShortcutNode(shortcut) : LeafFor(pixel[2], pixel[1], pixel[0]);
        lastColour = colour;
      }
      TOctreeNode& leaf = nodes_[static_cast<std::size_t>(lastLeaf)];
      ++leaf.PixelCount;
      leaf.RedSum += pixel[2];
      leaf.GreenSum += pixel[1];
      leaf.BlueSum += pixel[0];
      if (leafCount_ > maxColors_) {
        while (leafCount_ > maxColors_) MergeDeepest();
        lastLeaf = -1;
      }
    }
  }
}

void TColorQuantizer::MergeDeepest() {
  int level = colorBits_ - 1;
  while (level > 0 && reducible_[level] < 0) --level;
  const std::int32_t node = reducible_[level];
  if (node < 0) return;  // a single leaf: nothing left to fold
  TOctreeNode& merged = nodes_[static_cast<std::size_t>(node)];
  reducible_[level] = merged.NextReducible;
  merged.NextReducible = -1;
  // Deeper levels have no reducible nodes left, so every child is a leaf.
  int children = 0;
  for (std::int32_t& child : merged.Children) {
    if (child < 0) continue;
    const TOctreeNode& folded = nodes_[static_cast<std::size_t>(child)];
    merged.PixelCount += folded.PixelCount;
    merged.RedSum += folded.RedSum;
    merged.GreenSum += folded.GreenSum;
    merged.BlueSum += folded.BlueSum;
    FreeNode(child);
    child = -1;
    ++children;
  }
  merged.Leaf = true;
  leafCount_ -= children - 1;
  PointShortcutsAt(node);
}

namespace {

void ListLeaves(const std::vector<TOctreeNode>& nodes, std::int32_t node, std::vector<TRGBQuad>& colours) {
  const TOctreeNode& current = nodes[static_cast<std::size_t>(node)];
  if (current.Leaf) {
    TRGBQuad colour;  // black for a leaf without pixels
    if (current.PixelCount > 0) {
      colour.Red = static_cast<std::uint8_t>(current.RedSum / current.PixelCount);
      colour.Green = static_cast<std::uint8_t>(current.GreenSum / current.PixelCount);
      colour.Blue = static_cast<std::uint8_t>(current.BlueSum / current.PixelCount);
    }
    colours.push_back(colour);
    return;
  }
  for (std::int32_t child : current.Children)
    if (child >= 0) ListLeaves(nodes, child, colours);
}

}  // namespace

std::vector<TRGBQuad> TColorQuantizer::ListLeafColours() const {
  std::vector<TRGBQuad> colours;
  colours.reserve(static_cast<std::size_t>(leafCount_));
  if (root_ >= 0) ListLeaves(nodes_, root_, colours);
  return colours;
}

std::vector<TRGBQuad> BuildOctreePalette(const TDIBReader& reader, int colorCount, int colorBits, bool framed) {
  if (!framed && (colorCount < 1 || colorCount > 256)) throw GIFException("Invalid colour count");
  std::vector<TRGBQuad> palette(framed ? 256 : static_cast<std::size_t>(colorCount));
  std::size_t first = 0;
  int maxColors = colorCount;
  if (framed) {
    const auto& system = SystemPalette20();
    std::copy(system.begin(), system.begin() + 10, palette.begin());
    std::copy(system.begin() + 10, system.end(), palette.begin() + 246);
    first = 10;
    maxColors = 236;
  }
  TColorQuantizer quantizer(maxColors, colorBits);
  quantizer.FeedImage(reader);
  const std::vector<TRGBQuad> leaves = quantizer.ListLeafColours();
  const std::size_t used = std::min(leaves.size(), static_cast<std::size_t>(maxColors));
  std::copy(leaves.begin(), leaves.begin() + static_cast<std::ptrdiff_t>(used),
            palette.begin() + static_cast<std::ptrdiff_t>(first));
  for (TRGBQuad& entry : palette) entry.Reserved = 0;
  return palette;
}

}  // namespace clipvane
