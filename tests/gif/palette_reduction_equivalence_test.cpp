// The fast paths of colour reduction give the same results as the plain ones: the row walk
// with compile-time lookups against pixel-by-pixel MapPixel, and the octree with its descent
// shortcuts against a plain octree built here from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "core/palettes.h"
#include "gif/color_lookup.h"
#include "gif/dib_access.h"
#include "gif/dither_engine.h"
#include "gif/octree_palette.h"
#include "gif/palette_reduction.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

// Smooth ramps with noise and a few flat patches: runs of one colour, near neighbours and
// scattered outliers.
TBitmap MixedPicture(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  return MakePicture(width, height, [&random, width](int x, int y) {
    if ((x / 9 + y / 7) % 5 == 0) return RGB(40, 200, 90);
    const int noise = static_cast<int>(random() % 9) - 4;
    const auto channel = [noise](int v) { return std::clamp(v + noise, 0, 255); };
    if (random() % 50 == 0) return static_cast<TColor>(random() & 0xFFFFFF);
    return RGB(channel(x * 255 / width), channel(y * 3), channel(128 + (x - y) / 2));
  });
}

// Pixel by pixel through the engine's virtual MapPixel.
TBitmap MapPixelByPixel(const TBitmap& source, TDitherEngine& engine) {
  TBitmap indices(source.Width(), source.Height(), TPixelFormat::pf8bit);
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    for (int x = engine.Column(); x >= 0 && x < source.Width(); x = engine.Column())
      indices.ScanLine(y)[x] = static_cast<std::uint8_t>(engine.MapPixel(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
    engine.EndRow();
  }
  return indices;
}

void ExpectSameIndices(const TBitmap& reduced, const TBitmap& expected, const char* what) {
  ASSERT_EQ(reduced.Width(), expected.Width()) << what;
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x)
      ASSERT_EQ(reduced.ScanLine(y)[x], expected.ScanLine(y)[x]) << what << " at " << x << "," << y;
}

TEST(ReductionFastPaths, RowWalkMatchesMapPixelForEveryLookup) {
  const TBitmap source = MixedPicture(83, 41, 5);
  struct Case {
    const char* name;
    TColorReduction method;
    std::function<std::unique_ptr<TColorLookup>()> lookup;
  };
  const std::vector<Case> cases = {
      {"halftone", reduceHalftone, [] { return std::make_unique<TFastColorLookup>(HalftonePalette256()); }},
      {"octree", reduceOctreeSystem,
       [&source] { return std::make_unique<TFastColorLookup>(BuildOctreePalette(TDIBReader(source), 256, 8, true)); }},
      {"web cube", reduceWebCube, [] { return std::make_unique<TNetscapeColorLookup>(); }},
      {"grey", reduceGray256, [] { return std::make_unique<TGrayScaleLookup>(); }},
      {"black and white", reduceMonochrome, [] { return std::make_unique<TMonochromeLookup>(); }},
  };
  for (const Case& c : cases) {
    for (TDitherMode dither : {ditherNone, ditherFloydSteinberg}) {
      const auto lookup = c.lookup();
      std::unique_ptr<TDitherEngine> engine;
      if (dither == ditherNone) engine = std::make_unique<TDitherEngine>(source.Width(), *lookup);
      else engine = std::make_unique<TFloydSteinbergDitherer>(source.Width(), *lookup);
      ExpectSameIndices(ReduceBitmap(source, c.method, dither), MapPixelByPixel(source, *engine), c.name);
    }
  }
}

TEST(ReductionFastPaths, ARowWalkTakesOverInTheMiddleOfARow) {
  // The first pixels of each row by MapPixel, the rest by MapRow: the same indices as MapPixel
  // alone, so the row walk carries on from every term the pixels before it left.
  const TBitmap source = MixedPicture(29, 9, 3);
  const auto palette = BuildOctreePalette(TDIBReader(source), 256, 8, true);
  for (const int first : {1, 5, 28}) {
    TFastColorLookup plainLookup(palette), mixedLookup(palette);
    TFloydSteinbergDitherer plain(source.Width(), plainLookup), mixed(source.Width(), mixedLookup);
    const TBitmap expected = MapPixelByPixel(source, plain);
    TBitmap indices(source.Width(), source.Height(), TPixelFormat::pf8bit);
    for (int y = 0; y < source.Height(); ++y) {
      const std::uint8_t* row = source.ScanLine(y);
      for (int n = 0; n < first; ++n) {
        const int x = mixed.Column();
        indices.ScanLine(y)[x] = static_cast<std::uint8_t>(mixed.MapPixel(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
      }
      mixed.MapRow(mixedLookup, row, indices.ScanLine(y));
      mixed.EndRow();
    }
    ExpectSameIndices(indices, expected, "mixed");
  }
}

// A plain octree, written from the rules without shortcuts: nodes own their children, every
// colour descends from the root.
class PlainOctree {
 public:
  PlainOctree(int maxColors, int colorBits) : maxColors_(maxColors), colorBits_(colorBits) {}

  void Feed(const TBitmap& picture) {
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x) {
        const TColor c = picture.GetPixel(x, y);
        Insert(GetRValue(c), GetGValue(c), GetBValue(c));
        while (leaves_ > maxColors_) Merge();
      }
  }

  std::vector<TRGBQuad> Colours() const {
    std::vector<TRGBQuad> colours;
    List(root_.get(), colours);
    return colours;
  }

 private:
  struct Node {
    bool leaf = false;
    std::uint64_t count = 0, red = 0, green = 0, blue = 0;
    Node* next = nullptr;
    std::unique_ptr<Node> children[8];
  };

  std::unique_ptr<Node> Create(int level) {
    auto node = std::make_unique<Node>();
    if (level == colorBits_) {
      node->leaf = true;
      ++leaves_;
    } else {
      node->next = reducible_[level];
      reducible_[level] = node.get();
    }
    return node;
  }

  void Insert(int r, int g, int b) {
    std::unique_ptr<Node>* slot = &root_;
    for (int level = 0;; ++level) {
      if (!*slot) *slot = Create(level);
      Node* node = slot->get();
      if (node->leaf) {
        ++node->count, node->red += r, node->green += g, node->blue += b;
        return;
      }
      const int bit = 128 >> level;
      slot = &node->children[((r & bit) ? 4 : 0) + ((g & bit) ? 2 : 0) + ((b & bit) ? 1 : 0)];
    }
  }

  void Merge() {
    int level = colorBits_ - 1;
    while (level > 0 && reducible_[level] == nullptr) --level;
    Node* node = reducible_[level];
    reducible_[level] = node->next;
    int children = 0;
    for (auto& child : node->children)
      if (child) {
        node->count += child->count, node->red += child->red, node->green += child->green, node->blue += child->blue;
        child.reset();
        ++children;
      }
    node->leaf = true;
    leaves_ -= children - 1;
  }

  static void List(const Node* node, std::vector<TRGBQuad>& colours) {
    if (node == nullptr) return;
    if (node->leaf) {
      colours.push_back(TRGBQuad::FromColor(RGB(static_cast<int>(node->red / node->count),
                                                static_cast<int>(node->green / node->count),
                                                static_cast<int>(node->blue / node->count))));
      return;
    }
    for (const auto& child : node->children) List(child.get(), colours);
  }

  int maxColors_;
  int colorBits_;
  int leaves_ = 0;
  std::unique_ptr<Node> root_;
  Node* reducible_[8] = {};
};

TEST(ReductionFastPaths, OctreeMatchesAPlainOctree) {
  std::mt19937 random(9);
  const std::vector<TBitmap> pictures = {
      MixedPicture(120, 90, 1),
      MakePicture(64, 64, [&random](int, int) { return static_cast<TColor>(random() & 0xFFFFFF); }),
      MakePicture(200, 3, [](int x, int y) { return RGB(x, 255 - x, (x * y) & 0xFF); }),
      // Colours that come back after the merges their first visit caused, on a tall and a
      // narrow picture: the descent shortcuts must follow every fold above them.
      MakePicture(1, 301, [](int, int y) { return RGB((y * 37) & 0xFF, (y * 11) & 0xFF, 255 - (y * 5 & 0xFF)); }),
      MakePicture(17, 61,
                  [&random](int x, int y) {
                    const int base = (x * 15 + y * 4) % 256;
                    return RGB(base, (base + static_cast<int>(random() % 64)) & 0xFF, (y * 9) & 0xFF);
                  }),
  };
  for (const TBitmap& picture : pictures)
    for (int maxColors : {1, 2, 16, 236, 256})
      for (int colorBits : {3, 5, 8}) {
        TColorQuantizer quantizer(maxColors, colorBits);
        quantizer.FeedImage(TDIBReader(picture));
        PlainOctree plain(maxColors, colorBits);
        plain.Feed(picture);
        ASSERT_EQ(quantizer.ListLeafColours(), plain.Colours()) << maxColors << " colours, " << colorBits << " bits";
      }
}

}  // namespace
}  // namespace clipvane
