// Colour lookups of colour reduction: each maps a colour to the index of a palette entry and
// gives that entry's colour. The fast lookup searches a palette, the others compute.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/color.h"
#include "gif/color_lookup_search.h"

namespace clipvane {

// A palette entry's colour as a lookup returns it.
struct TLookupColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
};

class TColorLookup {
 public:
  explicit TColorLookup(std::int32_t colorCount) : colorCount_(colorCount) {}
  virtual ~TColorLookup() = default;
  TColorLookup(const TColorLookup&) = delete;
  TColorLookup& operator=(const TColorLookup&) = delete;

  // Index of the palette entry chosen for the colour (channels 0..255); entry receives the
  // entry's colour.
  virtual int FindIndex(int red, int green, int blue, TLookupColor& entry) = 0;
  // Number of palette entries the lookup chooses from; 0 means it cannot map anything.
  std::int32_t ColorCount() const { return colorCount_; }

 protected:
  std::int32_t colorCount_;
};

// Nearest palette colour by the sum of channel differences, remembered per 5-5-5 cell: the
// first colour looked up in a cell decides the cell's index for every later colour in it,
// and a cell holding a palette colour always gives that (earliest) entry.
class TFastColorLookup final : public TColorLookup {
 public:
  // Reads at most the first 256 entries of the palette.
  explicit TFastColorLookup(std::span<const TRGBQuad> palette);

  int FindIndex(int red, int green, int blue, TLookupColor& entry) override {
    const std::uint32_t packed = FindPacked(red, green, blue);
    entry = {PackedRed(packed), PackedGreen(packed), PackedBlue(packed)};
    return PackedIndex(packed);
  }

  // FindIndex with the entry's colour and index in one word: red in bits 0-7, green 8-15,
  // blue 16-23, the index 24-31. One table read decides a colour whose cell is known.
  std::uint32_t FindPacked(int red, int green, int blue) {
    const int cell = CellOf(red, green, blue);
    const std::uint32_t packed = cache_[static_cast<std::size_t>(cell)];
    return packed != unknown_ ? packed : SearchNearest(cell, red, green, blue);
  }
  static std::uint8_t PackedRed(std::uint32_t packed) { return static_cast<std::uint8_t>(packed); }
  static std::uint8_t PackedGreen(std::uint32_t packed) { return static_cast<std::uint8_t>(packed >> 8); }
  static std::uint8_t PackedBlue(std::uint32_t packed) { return static_cast<std::uint8_t>(packed >> 16); }
  static int PackedIndex(std::uint32_t packed) { return static_cast<int>(packed >> 24); }

  static int CellOf(int red, int green, int blue) { return ((blue >> 3) << 10) | ((green >> 3) << 5) | (red >> 3); }

  // The cells for loops that read them directly: cell c holds FindPacked's answer for its
  // colours, or UnknownCell() until SearchNearest(c, ...) has filled it. The table stays where
  // it is for the lookup's life.
  const std::uint32_t* Cells() const { return cache_.data(); }
  std::uint32_t UnknownCell() const { return unknown_; }
  // Searches the palette for the colour, which lies in cell, and fills the cell.
  std::uint32_t SearchNearest(int cell, int red, int green, int blue);

 private:
  std::uint32_t Packed(int index) const;

  std::array<TLookupColor, 256> entries_{};
  TPaletteChannels channels_;
  // A cell not searched yet holds unknown_: index 0 with a colour that is not entry 0's, which
  // no answer can be.
  std::uint32_t unknown_ = 0;
  std::vector<std::uint32_t> cache_;
};

// The web colour cube, computed: each channel to the nearest of 0, 51, ... 255 by
// (value + 3) div 51, index 36 r + 6 g + b. No search.
class TNetscapeColorLookup final : public TColorLookup {
 public:
  explicit TNetscapeColorLookup(std::int32_t colorCount = 216) : TColorLookup(colorCount) {}
  int FindIndex(int red, int green, int blue, TLookupColor& entry) override {
    const int r = (red + 3) / 51, g = (green + 3) / 51, b = (blue + 3) / 51;
    entry = {static_cast<std::uint8_t>(51 * r), static_cast<std::uint8_t>(51 * g), static_cast<std::uint8_t>(51 * b)};
    return 36 * r + 6 * g + b;
  }
};

// 256 greys: the index is the colour's weighted brightness (77 red, 150 green, 29 blue, / 256).
class TGrayScaleLookup final : public TColorLookup {
 public:
  explicit TGrayScaleLookup(std::int32_t colorCount = 256) : TColorLookup(colorCount) {}
  int FindIndex(int red, int green, int blue, TLookupColor& entry) override {
    const int grey = (red * 77 + green * 150 + blue * 29) >> 8;
    const auto level = static_cast<std::uint8_t>(grey);
    entry = {level, level, level};
    return grey;
  }
};

// Black (index 0) and white (index 1), split at a weighted brightness of 32513 / 256.
class TMonochromeLookup final : public TColorLookup {
 public:
  explicit TMonochromeLookup(std::int32_t colorCount = 2) : TColorLookup(colorCount) {}
  int FindIndex(int red, int green, int blue, TLookupColor& entry) override {
    if (red * 77 + green * 150 + blue * 29 >= 32513) {
      entry = {255, 255, 255};
      return 1;
    }
    entry = {0, 0, 0};
    return 0;
  }
};

}  // namespace clipvane
