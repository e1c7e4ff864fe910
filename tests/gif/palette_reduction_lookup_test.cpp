// Colour lookups: the cached nearest-colour search and the computed web cube, grey and
// black-and-white lookups.
#include <gtest/gtest.h>

#include <vector>

#include "core/color.h"
#include "gif/color_lookup.h"

namespace clipvane {
namespace {

std::vector<TRGBQuad> Palette(std::initializer_list<TColor> colours) {
  std::vector<TRGBQuad> palette;
  for (TColor colour : colours) palette.push_back(TRGBQuad::FromColor(colour));
  return palette;
}

TColor ColourOf(const TLookupColor& entry) { return RGB(entry.Red, entry.Green, entry.Blue); }

TEST(FastColorLookup, FirstOfEquallyNearEntriesWins) {
  TLookupColor entry;
  TFastColorLookup darkFirst(Palette({RGB(0, 0, 0), RGB(40, 40, 40)}));
  EXPECT_EQ(darkFirst.FindIndex(20, 20, 20, entry), 0);
  TFastColorLookup lightFirst(Palette({RGB(40, 40, 40), RGB(0, 0, 0)}));
  EXPECT_EQ(lightFirst.FindIndex(20, 20, 20, entry), 0);
  EXPECT_EQ(ColourOf(entry), RGB(40, 40, 40));
}

TEST(FastColorLookup, DistanceIsTheSumOfChannelDifferences) {
  // By squared distance (30, 30, 30) would win; by the sum of differences (0, 0, 80) does.
  TFastColorLookup lookup(Palette({RGB(30, 30, 30), RGB(0, 0, 80)}));
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(0, 0, 16, entry), 1);  // sums 74 and 64
  EXPECT_EQ(ColourOf(entry), RGB(0, 0, 80));
}

TEST(FastColorLookup, LaterColoursOfACellGetTheFirstAnswer) {
  TFastColorLookup lookup(Palette({RGB(0, 0, 0), RGB(20, 0, 0)}));
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(8, 0, 0, entry), 0);  // 8 from black, 12 from (20, 0, 0)
  // (15, 0, 0) lies in the same cell: nearer to entry 1, but the cell already answers 0.
  EXPECT_EQ(lookup.FindIndex(15, 0, 0, entry), 0);
  EXPECT_EQ(ColourOf(entry), RGB(0, 0, 0));
}

TEST(FastColorLookup, ACellHoldingAPaletteColourGivesThatEntry) {
  // (8, 0, 0) is nearer to black, but its cell holds the palette colour (15, 7, 7).
  TFastColorLookup lookup(Palette({RGB(0, 0, 0), RGB(15, 7, 7)}));
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(8, 0, 0, entry), 1);
  EXPECT_EQ(ColourOf(entry), RGB(15, 7, 7));
}

TEST(FastColorLookup, DuplicateEntriesAnswerWithTheEarliest) {
  TFastColorLookup lookup(Palette({RGB(9, 9, 9), RGB(50, 60, 70), RGB(50, 60, 70)}));
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(50, 60, 70, entry), 1);
  EXPECT_EQ(lookup.FindIndex(200, 200, 200, entry), 1);
}

TEST(FastColorLookup, ReadsAtMost256Entries) {
  std::vector<TRGBQuad> palette(300, TRGBQuad::FromColor(RGB(1, 2, 3)));
  palette[280] = TRGBQuad::FromColor(RGB(255, 255, 255));
  TFastColorLookup lookup(palette);
  EXPECT_EQ(lookup.ColorCount(), 256);
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(255, 255, 255, entry), 0);
  EXPECT_EQ(TFastColorLookup(std::vector<TRGBQuad>{}).ColorCount(), 0);
}

TEST(NetscapeColorLookup, RoundsEachChannelToTheCube) {
  TNetscapeColorLookup lookup;
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(24, 25, 255, entry), 5);
  EXPECT_EQ(ColourOf(entry), RGB(0, 0, 255));
  EXPECT_EQ(lookup.FindIndex(255, 255, 255, entry), 215);
  EXPECT_EQ(lookup.FindIndex(47, 0, 0, entry), 0);
  EXPECT_EQ(lookup.FindIndex(48, 0, 0, entry), 36);  // (48 + 3) div 51 = 1
  EXPECT_EQ(ColourOf(entry), RGB(51, 0, 0));
  EXPECT_EQ(lookup.FindIndex(0, 100, 0, entry), 12);  // 103 div 51 = 2
  EXPECT_EQ(ColourOf(entry), RGB(0, 102, 0));
}

TEST(GrayScaleLookup, WeighsChannels77To150To29) {
  TGrayScaleLookup lookup;
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(255, 255, 255, entry), 255);
  EXPECT_EQ(ColourOf(entry), RGB(255, 255, 255));
  EXPECT_EQ(lookup.FindIndex(255, 0, 0, entry), 76);
  EXPECT_EQ(lookup.FindIndex(0, 255, 0, entry), 149);
  EXPECT_EQ(lookup.FindIndex(0, 0, 255, entry), 28);
  EXPECT_EQ(ColourOf(entry), RGB(28, 28, 28));
}

TEST(MonochromeLookup, WhiteFromWeightedBrightness32513) {
  TMonochromeLookup lookup;
  TLookupColor entry;
  EXPECT_EQ(lookup.FindIndex(0, 198, 97, entry), 1);  // exactly 32513
  EXPECT_EQ(ColourOf(entry), RGB(255, 255, 255));
  EXPECT_EQ(lookup.FindIndex(0, 198, 96, entry), 0);  // 32484
  EXPECT_EQ(ColourOf(entry), RGB(0, 0, 0));
  EXPECT_EQ(lookup.FindIndex(127, 127, 127, entry), 0);
  EXPECT_EQ(lookup.FindIndex(128, 128, 128, entry), 1);
}

TEST(FastColorLookup, EveryAnswerIsRememberedWhateverItsIndexAndColour) {
  // Answers packed as index and colour: the first and the last index, black and white, must
  // never be mistaken for a cell not searched yet (a new search would answer the later colour).
  struct Case {
    int answer;  // the index a cell's first colour gets
    TColor far;  // the colour of every other entry
  };
  for (const TColor extreme : {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 255)}) {
    for (const Case c : {Case{0, RGB(128, 128, 128)}, Case{255, RGB(128, 128, 128)}, Case{1, RGB(60, 60, 60)}}) {
      std::vector<TRGBQuad> palette(256, TRGBQuad::FromColor(c.far));
      palette[static_cast<std::size_t>(c.answer)] = TRGBQuad::FromColor(extreme);
      // A second entry near the cell's other corner: nearer to its later colour.
      const int r = GetRValue(extreme), g = GetGValue(extreme), b = GetBValue(extreme);
      const auto inward = [](int v) { return v == 0 ? 7 : v - 7; };
      palette[100] = TRGBQuad::FromColor(RGB(inward(r) + (r == 0 ? 4 : -4), inward(g), inward(b)));
      TFastColorLookup lookup(palette);
      TLookupColor entry;
      const int first = r == 0 ? 2 : 253;  // in the extreme's cell, not the extreme itself
      ASSERT_EQ(lookup.FindIndex(first, g == 0 ? 2 : 253, b == 0 ? 2 : 253, entry), c.answer);
      EXPECT_EQ(lookup.FindIndex(inward(r), inward(g), inward(b), entry), c.answer)
          << "answer " << c.answer << ", extreme " << std::hex << extreme;
      EXPECT_EQ(ColourOf(entry), extreme);
    }
  }
}

}  // namespace
}  // namespace clipvane
