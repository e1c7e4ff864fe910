// Dither engines of colour reduction: a serpentine scan that maps each pixel to a palette
// index through a colour lookup, optionally diffusing each channel's error to the pixels not
// yet mapped. One engine serves one picture; rows alternate direction, starting left to right.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gif/color_lookup.h"

namespace clipvane {

inline int ClampChannel(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Floyd-Steinberg's row terms after a pixel whose channel error is d: the error row entry,
// BelowPrev and Below move on when d is not 0 and stay as they are when it is.
inline void KeepUnlessError(std::int32_t d, std::int32_t& error, std::int32_t& belowPrevious, std::int32_t& below) {
  const std::int32_t moves = -static_cast<std::int32_t>(d != 0);  // all ones or 0
  error ^= (error ^ (belowPrevious + 3 * d)) & moves;
  belowPrevious ^= (belowPrevious ^ (below + 5 * d)) & moves;
  below ^= (below ^ d) & moves;
}

// Nearest colour, no diffusion. The caller maps the pixels of a row at Column() while it lies
// in 0..width-1 (each MapPixel moves it by Direction()), then calls EndRow.
class TDitherEngine {
 public:
  // The lookup is not owned and must outlive the engine. width > 0.
  TDitherEngine(int width, TColorLookup& lookup) : lookup_(lookup), width_(width) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;

  // Palette index for the pixel at Column(); moves the column by the direction.
  virtual int MapPixel(int red, int green, int blue) {
    TLookupColor entry;
    return LookupAndStep(red, green, blue, entry);
  }
  // Reverses the direction and puts the column at the start of the next row.
  virtual void EndRow() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
  }

  // Maps the rest of the current row from Column() on, as MapPixel would pixel by pixel:
  // source is the row's 24-bit blue, green, red pixels, target receives one index a pixel.
  // lookup is the engine's own lookup named by its concrete type, so that the per-pixel
  // call is bound at compile time.
  template <class Lookup>
  void MapRow(Lookup& lookup, const std::uint8_t* source, std::uint8_t* target) {
    TLookupColor entry;
    int x = column_;
    for (; x >= 0 && x < width_; x += direction_) {
      const std::uint8_t* pixel = source + 3 * static_cast<std::ptrdiff_t>(x);
      target[x] = static_cast<std::uint8_t>(lookup.Lookup::FindIndex(pixel[2], pixel[1], pixel[0], entry));
    }
    column_ = x;
  }

  int Width() const { return width_; }
  int Direction() const { return direction_; }
  int Column() const { return column_; }

 protected:
  int LookupAndStep(int red, int green, int blue, TLookupColor& entry) {
    const int index = lookup_.FindIndex(red, green, blue, entry);
    column_ += direction_;
    return index;
  }

  TColorLookup& lookup_;
  std::int32_t width_;
  std::int32_t direction_ = 1;
  std::int32_t column_ = 0;
};

// Floyd-Steinberg (7, 3, 5, 1 sixteenths) with running terms: per channel an error row of
// width + 2 entries read and rewritten at one moving position, and the terms Cur (for the
// next pixel), Below and BelowPrev (for the row below). A channel whose error is 0 leaves its
// error row and row terms untouched.
class TFloydSteinbergDitherer final : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(int width, TColorLookup& lookup);

  int MapPixel(int red, int green, int blue) override;
  void EndRow() override;

  // MapPixel for the rest of the current row with the terms held in registers; see
  // TDitherEngine::MapRow.
  template <class Lookup>
  void MapRow(Lookup& lookup, const std::uint8_t* source, std::uint8_t* target);

  // The current entry of the error rows (the same for all channels), 0..width+1.
  int Position() const { return position_; }
  // Entry i (0..width+1) of a channel's error row; channel 0 red, 1 green, 2 blue.
  std::int32_t ErrorEntry(int channel, int i) const { return errors_[static_cast<std::size_t>(i) * 3 + channel]; }

 private:
  // Error rows of the three channels interleaved: entry i of channel c at 3 i + c.
  std::vector<std::int32_t> errors_;
  int position_ = 0;
  std::array<std::int32_t, 3> current_{};
  std::array<std::int32_t, 3> below_{};
  std::array<std::int32_t, 3> belowPrevious_{};
};

// A lookup's answers in the packed form of TFastColorLookup::FindPacked, bound at compile
// time. The fast lookup's cells are read straight from its table, whose address stays in a
// register: a store of an index could otherwise alias it.
template <class Lookup>
class TPackedLookup {
 public:
  explicit TPackedLookup(Lookup& lookup) : lookup_(lookup) {}
  std::uint32_t operator()(int red, int green, int blue) {
    TLookupColor entry;
    const int index = lookup_.Lookup::FindIndex(red, green, blue, entry);
    return static_cast<std::uint32_t>(entry.Red) | (static_cast<std::uint32_t>(entry.Green) << 8) |
           (static_cast<std::uint32_t>(entry.Blue) << 16) | (static_cast<std::uint32_t>(index) << 24);
  }

 private:
  Lookup& lookup_;
};

template <>
class TPackedLookup<TFastColorLookup> {
 public:
  explicit TPackedLookup(TFastColorLookup& lookup)
      : lookup_(lookup), cells_(lookup.Cells()), unknown_(lookup.UnknownCell()) {}
  std::uint32_t operator()(int red, int green, int blue) {
    const int cell = TFastColorLookup::CellOf(red, green, blue);
    const std::uint32_t packed = cells_[cell];
    return packed != unknown_ ? packed : lookup_.SearchNearest(cell, red, green, blue);
  }

 private:
  TFastColorLookup& lookup_;
  const std::uint32_t* cells_;
  std::uint32_t unknown_;
};

// GCC would put two of the three channels into one vector register at places, and moving
// values between the two kinds of register lengthens the chain from pixel to pixel.
#if defined(__GNUC__) && !defined(__clang__)
#define CLIPVANE_SCALAR_CHANNELS __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define CLIPVANE_SCALAR_CHANNELS
#endif

template <class Lookup>
CLIPVANE_SCALAR_CHANNELS void TFloydSteinbergDitherer::MapRow(Lookup& lookup, const std::uint8_t* source,
                                                              std::uint8_t* target) {
  // One pixel waits for the one before it (its Cur terms and the cells it filled), so what
  // counts is the chain from Cur to the next Cur: the terms stay in registers, the entry comes
  // with its colour in one read, and nothing else waits on a branch.
  const int step = direction_;
  const int count = column_ < 0 || column_ >= width_ ? 0 : (step > 0 ? width_ - column_ : column_ + 1);
  // The error each channel passes to the next pixel (Cur is 7 of it).
  std::int32_t dRed = current_[0] / 7, dGreen = current_[1] / 7, dBlue = current_[2] / 7;
  std::int32_t belowRed = below_[0], belowGreen = below_[1], belowBlue = below_[2];
  std::int32_t prevRed = belowPrevious_[0], prevGreen = belowPrevious_[1], prevBlue = belowPrevious_[2];
  const std::uint8_t* pixel = source + 3 * static_cast<std::ptrdiff_t>(column_);
  std::uint8_t* out = target + column_;
  std::int32_t* error = errors_.data() + 3 * static_cast<std::ptrdiff_t>(position_);
  const std::ptrdiff_t pixelStep = 3 * step;
  TPackedLookup<Lookup> find(lookup);
  for (int i = 0; i < count; ++i, pixel += pixelStep, out += step, error += pixelStep) {
    // E + 7 d + 8 as (E + 8 - d) + 8 d: one step after d instead of two.
    const int red = ClampChannel(pixel[2] + (error[0] + 8 - dRed + 8 * dRed) / 16);
    const int green = ClampChannel(pixel[1] + (error[1] + 8 - dGreen + 8 * dGreen) / 16);
    const int blue = ClampChannel(pixel[0] + (error[2] + 8 - dBlue + 8 * dBlue) / 16);
    const std::uint32_t packed = find(red, green, blue);
    *out = static_cast<std::uint8_t>(packed >> 24);
    dRed = red - static_cast<int>(packed & 0xFF);
    dGreen = green - static_cast<int>((packed >> 8) & 0xFF);
    dBlue = blue - static_cast<int>((packed >> 16) & 0xFF);
    // A channel without error keeps its row terms (Cur becomes 7 d = 0 either way). Chosen
    // by masks, not branches: whether d is 0 follows no pattern a predictor could learn.
    KeepUnlessError(dRed, error[0], prevRed, belowRed);
    KeepUnlessError(dGreen, error[1], prevGreen, belowGreen);
    KeepUnlessError(dBlue, error[2], prevBlue, belowBlue);
  }
  column_ += count * step;
  position_ += count * step;
  current_ = {7 * dRed, 7 * dGreen, 7 * dBlue};
  below_ = {belowRed, belowGreen, belowBlue};
  belowPrevious_ = {prevRed, prevGreen, prevBlue};
}

#undef CLIPVANE_SCALAR_CHANNELS

// One tap of a diffusion kernel: dx columns ahead in the scan direction, dy rows below.
struct TKernelTap {
  int dx;
  int dy;
  int weight;
};

// The errors a kernel ditherer owes to the current row and the rows below it, kept as
// weighted sums (divided by the kernel's divisor only when read, so nothing is lost to
// rounding on the way). Rows have a margin on both sides so a kernel may reach past the edges.
class TErrorDiffusion {
 public:
  TErrorDiffusion(int width, int rows, int margin, int divisor);
  // Adds the rounded error owed to column x of the current row to each channel of value
  // (red, green, blue) and clamps it to 0..255.
  void Correct(int x, std::array<int, 3>& value) const;
  // Spreads one channel's error of the pixel at column x over the taps, mirrored when the
  // row is walked right to left (direction -1).
  void Spread(const TKernelTap* taps, std::size_t count, int channel, int x, int direction, int error);
  // The next row becomes the current one; the last row starts empty.
  void Advance();

 private:
  std::int32_t& At(int channel, int dy, int x) {
    const std::size_t row = static_cast<std::size_t>((first_ + dy) % rows_);
    const std::size_t column = static_cast<std::size_t>(x + margin_);
    return values_[(row * stride_ + column) * 3 + static_cast<std::size_t>(channel)];
  }

  int rows_;
  int margin_;
  int divisor_;
  std::size_t stride_;
  int first_ = 0;
  std::vector<std::int32_t> values_;
};

// A ditherer that spreads each channel's remaining error over a fixed kernel; the five
// published kernels differ only in their taps, rows, reach and divisor.
class TKernelDitherer : public TDitherEngine {
 public:
  int MapPixel(int red, int green, int blue) override;
  void EndRow() override;

 protected:
  // taps must outlive the ditherer (the kernels are constants).
  TKernelDitherer(int width, TColorLookup& lookup, const TKernelTap* taps, std::size_t tapCount, int rows, int margin,
                  int divisor);

 private:
  const TKernelTap* taps_;
  std::size_t tapCount_;
  TErrorDiffusion diffusion_;
};

// Stevenson-Arce: 4 rows, 7 columns, divisor 200.
class TSteveArcheDitherer final : public TKernelDitherer {
 public:
  TSteveArcheDitherer(int width, TColorLookup& lookup);
};

// Burkes: 2 rows, 5 columns, divisor 32.
class TBurkesDitherer final : public TKernelDitherer {
 public:
  TBurkesDitherer(int width, TColorLookup& lookup);
};

// Stucki: 3 rows, 5 columns, divisor 42.
class TStuckiDitherer final : public TKernelDitherer {
 public:
  TStuckiDitherer(int width, TColorLookup& lookup);
};

// Sierra (three rows): 5 columns, divisor 32.
class TSierraDitherer final : public TKernelDitherer {
 public:
  TSierraDitherer(int width, TColorLookup& lookup);
};

// Jarvis, Judice and Ninke: 3 rows, 5 columns, divisor 48.
class TJaJuNiDitherer final : public TKernelDitherer {
 public:
  TJaJuNiDitherer(int width, TColorLookup& lookup);
};

}  // namespace clipvane
