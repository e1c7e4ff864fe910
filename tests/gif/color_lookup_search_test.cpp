// The vector palette scan of the fast colour lookup against a plain scan, on every
// instruction set it is compiled for: same first entry at the least sum of differences.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "core/color.h"
#include "gif/color_lookup_search.h"
#include "hwy/targets.h"

namespace clipvane {
namespace {

int PlainFirstNearest(const std::vector<TRGBQuad>& palette, int red, int green, int blue) {
  int best = 0, bestSum = 1 << 30;
  for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
    const int sum =
        std::abs(red - palette[i].Red) + std::abs(green - palette[i].Green) + std::abs(blue - palette[i].Blue);
    if (sum < bestSum) bestSum = sum, best = static_cast<int>(i);
  }
  return best;
}

// Palettes of every awkward size; duplicates, ties and the channel extremes included.
std::vector<std::vector<TRGBQuad>> Palettes() {
  std::mt19937 random(17);
  auto randomPalette = [&random](std::size_t size, unsigned range) {
    std::vector<TRGBQuad> palette(size);
    for (TRGBQuad& e : palette)
      e = TRGBQuad::FromColor(RGB(static_cast<int>(random() % range), static_cast<int>(random() % range),
                                  static_cast<int>(random() % range)));
    return palette;
  };
  std::vector<std::vector<TRGBQuad>> palettes;
  for (std::size_t size : {1, 2, 3, 15, 16, 17, 31, 33, 64, 200, 255, 256, 300}) {
    palettes.push_back(randomPalette(size, 256));
    palettes.push_back(randomPalette(size, 4));  // few distinct colours: duplicates and ties
  }
  std::vector<TRGBQuad> extremes(256, TRGBQuad::FromColor(RGB(255, 255, 255)));
  extremes[0] = TRGBQuad::FromColor(RGB(0, 0, 0));
  extremes[255] = TRGBQuad::FromColor(RGB(255, 0, 255));
  palettes.push_back(extremes);
  // The nearest entry last of all, behind 255 entries at the same, larger distance.
  std::vector<TRGBQuad> lastWins(256, TRGBQuad::FromColor(RGB(100, 100, 100)));
  lastWins[255] = TRGBQuad::FromColor(RGB(101, 100, 100));
  palettes.push_back(lastWins);
  return palettes;
}

TEST(PaletteChannels, FirstNearestMatchesAPlainScanOnEveryInstructionSet) {
  const auto palettes = Palettes();
  std::mt19937 random(5);
  std::vector<int> colours;
  for (int c : {0, 1, 101, 127, 128, 254, 255})
    for (int g : {0, 128, 255}) colours.insert(colours.end(), {c, g, 255 - c});
  for (int i = 0; i < 300; ++i)
    colours.insert(colours.end(), {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                                   static_cast<int>(random() % 256)});
  const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_FALSE(targets.empty());
  for (const std::int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    for (const auto& palette : palettes) {
      const TPaletteChannels channels(palette);
      ASSERT_EQ(channels.Count(), static_cast<int>(std::min<std::size_t>(palette.size(), 256)));
      for (std::size_t i = 0; i < colours.size(); i += 3)
        ASSERT_EQ(channels.FirstNearest(colours[i], colours[i + 1], colours[i + 2]),
                  PlainFirstNearest(palette, colours[i], colours[i + 1], colours[i + 2]))
            << hwy::TargetName(target) << ", " << palette.size() << " entries, colour " << colours[i] << ","
            << colours[i + 1] << "," << colours[i + 2];
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

TEST(PaletteChannels, AnEmptyPaletteAnswersZero) {
  const TPaletteChannels channels(std::vector<TRGBQuad>{});
  EXPECT_EQ(channels.Count(), 0);
  EXPECT_EQ(channels.FirstNearest(10, 20, 30), 0);
}

}  // namespace
}  // namespace clipvane
