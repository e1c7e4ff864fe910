// The octree quantizer and the palettes built from it: exact leaves, merging, listing order,
// and the frame of system colours.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/palettes.h"
#include "gif/gif_exception.h"
#include "gif/octree_palette.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;
using testing::OneColourPicture;

TEST(OctreeQuantizer, OneLeafHoldsTheAverageOfEverythingFolded) {
  TColorQuantizer quantizer(1, 8);
  quantizer.InsertColour(0, 0, 0);
  for (int i = 0; i < 3; ++i) quantizer.InsertColour(200, 100, 40);
  EXPECT_EQ(quantizer.LeafCount(), 2);
  while (quantizer.LeafCount() > 1) quantizer.MergeDeepest();
  const auto colours = quantizer.ListLeafColours();
  ASSERT_EQ(colours.size(), 1u);
  EXPECT_EQ(colours[0].ToColor(), RGB(150, 75, 30));
}

TEST(OctreeQuantizer, FoldsLevelByLevelFromTheDeepest) {
  TColorQuantizer quantizer(2, 8);
  const TBitmap picture = MakePicture(4, 1, [](int x, int) {
    const TColor colours[] = {RGB(10, 10, 10), RGB(200, 200, 200), RGB(100, 100, 100), RGB(101, 100, 100)};
    return colours[x];
  });
  quantizer.FeedImage(TDIBReader(picture));
  // The third colour makes a third leaf. Folding starts at level 7 and takes every branch
  // of a level before the next one up, so the leaves only become fewer at level 1, where
  // 10 and 100 share a node: that node ends up holding 10, 100 and then 101.
  const auto colours = quantizer.ListLeafColours();
  ASSERT_EQ(quantizer.LeafCount(), 2);
  ASSERT_EQ(colours.size(), 2u);
  EXPECT_EQ(colours[0].ToColor(), RGB(70, 70, 70));  // 211 div 3, 210 div 3, 210 div 3
  EXPECT_EQ(colours[1].ToColor(), RGB(200, 200, 200));
}

TEST(OctreeQuantizer, NeverKeepsMoreLeavesThanColoursAsked) {
  std::mt19937 random(7);
  const TBitmap noise = MakePicture(64, 64, [&random](int, int) { return random() & 0xFFFFFF; });
  for (int maxColors : {1, 2, 16, 236}) {
    TColorQuantizer quantizer(maxColors, 8);
    quantizer.FeedImage(TDIBReader(noise));
    EXPECT_LE(quantizer.LeafCount(), maxColors);
    EXPECT_EQ(quantizer.ListLeafColours().size(), static_cast<std::size_t>(quantizer.LeafCount()));
  }
}

TEST(OctreeQuantizer, RefusesImpossibleSettings) {
  EXPECT_THROW(TColorQuantizer(0, 8), GIFException);
  EXPECT_THROW(TColorQuantizer(16, 0), GIFException);
  EXPECT_THROW(TColorQuantizer(16, 9), GIFException);
}

TEST(OctreePalette, ListsLeavesDepthFirstInChildOrder) {
  // At level 0 red is child 4, green child 2, blue child 1.
  const TBitmap picture = MakePicture(3, 1, [](int x, int) {
    const TColor colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
    return colours[x];
  });
  const auto palette = BuildOctreePalette(TDIBReader(picture), 4, 8, false);
  ASSERT_EQ(palette.size(), 4u);
  EXPECT_EQ(palette[0].ToColor(), RGB(0, 0, 255));
  EXPECT_EQ(palette[1].ToColor(), RGB(0, 255, 0));
  EXPECT_EQ(palette[2].ToColor(), RGB(255, 0, 0));
  EXPECT_EQ(palette[3].ToColor(), RGB(0, 0, 0));  // not filled by the picture
}

TEST(OctreePalette, FramedBySystemColours) {
  const TBitmap picture = OneColourPicture(5, 5, RGB(100, 150, 200));
  const auto palette = BuildOctreePalette(TDIBReader(picture), 256, 8, true);
  ASSERT_EQ(palette.size(), 256u);
  const auto& system = SystemPalette20();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(palette[static_cast<std::size_t>(i)], system[static_cast<std::size_t>(i)]);
    EXPECT_EQ(palette[static_cast<std::size_t>(246 + i)], system[static_cast<std::size_t>(10 + i)]);
  }
  EXPECT_EQ(palette[10].ToColor(), RGB(100, 150, 200));
  for (const TRGBQuad& entry : palette) EXPECT_EQ(entry.Reserved, 0);
}

TEST(OctreePalette, At236ColoursTheComputedBlockIsExactlyThePicturesColours) {
  std::set<TColor> wanted;
  std::mt19937 random(11);
  while (wanted.size() < 236) wanted.insert(random() & 0xFFFFFF);
  const std::vector<TColor> colours(wanted.begin(), wanted.end());
  const TBitmap picture = MakePicture(236, 2, [&colours](int x, int y) { return colours[(x * 7 + y) % 236]; });
  const auto palette = BuildOctreePalette(TDIBReader(picture), 256, 8, true);
  std::set<TColor> computed;
  for (int i = 10; i < 246; ++i) computed.insert(palette[static_cast<std::size_t>(i)].ToColor());
  EXPECT_EQ(computed, wanted);
}

TEST(OctreePalette, RefusesCountsOutsideAColourTable) {
  const TBitmap picture = OneColourPicture(2, 2, RGB(1, 2, 3));
  EXPECT_THROW(BuildOctreePalette(TDIBReader(picture), 0, 8, false), GIFException);
  EXPECT_THROW(BuildOctreePalette(TDIBReader(picture), 257, 8, false), GIFException);
  EXPECT_THROW(BuildOctreePalette(TDIBReader(picture), 16, 9, false), GIFException);
}

}  // namespace
}  // namespace clipvane
