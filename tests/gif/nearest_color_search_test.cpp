// The exact nearest-colour search against a brute-force search over the whole palette.
#include "gif/nearest_color_search.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gif/gif_exception.h"

namespace clipvane {
namespace {

// The first entry at the least squared distance: what the search must find.
int BruteForceNearest(const std::vector<TGIFColor>& palette, int red, int green, int blue) {
  int best = -1, bestDistance = 0;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int dr = red - palette[i].Red, dg = green - palette[i].Green, db = blue - palette[i].Blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (best < 0 || distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

std::vector<TGIFColor> RandomPalette(std::mt19937& random, int count, int low, int high) {
  std::uniform_int_distribution<int> channel(low, high);
  std::vector<TGIFColor> palette;
  for (int i = 0; i < count; ++i)
    palette.push_back({static_cast<std::uint8_t>(channel(random)), static_cast<std::uint8_t>(channel(random)),
                       static_cast<std::uint8_t>(channel(random))});
  return palette;
}

// Every colour on a lattice of step 5 (which meets each cube of side 8 at varying places)
// plus random colours, each compared with the brute force.
void ExpectExact(const std::vector<TGIFColor>& palette, std::mt19937& random) {
  TNearestColorSearch search(palette);
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 5)
      for (int b = 0; b < 256; b += 5)
        ASSERT_EQ(search.Nearest(r, g, b), BruteForceNearest(palette, r, g, b)) << r << "," << g << "," << b;
  std::uniform_int_distribution<int> channel(0, 255);
  for (int i = 0; i < 20000; ++i) {
    const int r = channel(random), g = channel(random), b = channel(random);
    ASSERT_EQ(search.Nearest(r, g, b), BruteForceNearest(palette, r, g, b)) << r << "," << g << "," << b;
  }
}

TEST(NearestColorSearch, MatchesBruteForceOnRandomPalettes) {
  std::mt19937 random(7);
  for (const int count : {1, 2, 17, 255, 256}) ExpectExact(RandomPalette(random, count, 0, 255), random);
}

TEST(NearestColorSearch, MatchesBruteForceOnCrowdedAndSparsePalettes) {
  std::mt19937 random(11);
  // Entries crowded into one small corner: every far cube must still find them.
  ExpectExact(RandomPalette(random, 200, 100, 120), random);
  // Many entries sharing few values: ties everywhere.
  std::vector<TGIFColor> lattice;
  for (int r = 0; r < 256; r += 51)
    for (int g = 0; g < 256; g += 51)
      for (int b = 0; b < 256; b += 85)
        lattice.push_back({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
  ExpectExact(lattice, random);
}

TEST(NearestColorSearch, LongListsAndCopiesAnswerAsTheBruteForce) {
  std::mt19937 random(5);
  // Whole palettes of one colour (lists of every entry) beside one other colour.
  std::vector<TGIFColor> same(255, TGIFColor{90, 90, 90});
  same.push_back({91, 89, 90});
  ExpectExact(same, random);
  // A copy made after some lists were built goes on building its own: both stay exact.
  const std::vector<TGIFColor> palette = RandomPalette(random, 255, 0, 255);
  TNearestColorSearch search(palette);
  for (int v = 0; v < 256; v += 3)
    ASSERT_EQ(search.Nearest(v, 255 - v, v / 2), BruteForceNearest(palette, v, 255 - v, v / 2));
  TNearestColorSearch copy = search;
  for (int r = 0; r < 256; r += 7)
    for (int g = 0; g < 256; g += 9)
      for (int b = 0; b < 256; b += 11) {
        const int expected = BruteForceNearest(palette, r, g, b);
        ASSERT_EQ(copy.Nearest(r, g, b), expected) << r << "," << g << "," << b;
        ASSERT_EQ(search.Nearest(b, r, g), BruteForceNearest(palette, b, r, g)) << b << "," << r << "," << g;
      }
}

TEST(NearestColorSearch, TiesGoToTheLowestIndex) {
  // (10, 0, 0) and (0, 10, 0) are both at distance 100 from black; duplicates too.
  const std::vector<TGIFColor> palette{{200, 200, 200}, {10, 0, 0}, {0, 10, 0}, {10, 0, 0}};
  TNearestColorSearch search(palette);
  EXPECT_EQ(search.Nearest(0, 0, 0), 1);
  EXPECT_EQ(search.Nearest(10, 0, 0), 1);
  EXPECT_EQ(search.Nearest(200, 200, 200), 0);
  // (7, 7, 7) is black's farthest corner of its cube of side 8 and the nearest point of that
  // cube to (14, 14, 14): an entry that close to the cube's bound still takes its tie.
  const std::vector<TGIFColor> edge{{14, 14, 14}, {0, 0, 0}};
  EXPECT_EQ(TNearestColorSearch(edge).Nearest(7, 7, 7), 0);
}

TEST(NearestColorSearch, PaletteColoursFindThemselvesAndExtraEntriesAreIgnored) {
  std::mt19937 random(3);
  std::vector<TGIFColor> palette = RandomPalette(random, 300, 0, 255);
  TNearestColorSearch search(palette);
  EXPECT_EQ(search.Count(), 256);
  for (int i = 0; i < search.Count(); ++i) {
    const TGIFColor& c = palette[static_cast<std::size_t>(i)];
    const int found = search.Nearest(c.Red, c.Green, c.Blue);
    EXPECT_EQ(search.Entry(found), c);
    EXPECT_LE(found, i);  // an earlier duplicate may win, never a later entry
  }
}

TEST(NearestColorSearch, AnEmptyPaletteIsRefused) {
  EXPECT_THROW(TNearestColorSearch(std::vector<TGIFColor>{}), GIFException);
}

}  // namespace
}  // namespace clipvane
