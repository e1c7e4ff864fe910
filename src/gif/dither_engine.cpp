// The Floyd-Steinberg engine with running terms, and the kernel ditherers.
#include "gif/dither_engine.h"

#include <algorithm>
#include <iterator>

#include "core/error.h"

namespace clipvane {

namespace {

inline int Clamp255(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Rounds a weighted error sum to whole steps, halves away from zero.
inline int RoundedQuotient(int sum, int divisor) {
  return sum >= 0 ? (sum + divisor / 2) / divisor : -((-sum + divisor / 2) / divisor);
}

// A pixel outside the row would read and write outside the error rows.
inline void CheckColumn(int column, int width) {
  if (column < 0 || column >= width) throw EClipvaneError("Dither column out of range");
}

constexpr TKernelTap kStevensonArce[] = {{2, 0, 32},                                        //
                                         {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},  //
                                         {-2, 2, 12}, {0, 2, 26},  {2, 2, 12},              //
                                         {-3, 3, 5},  {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}};
constexpr TKernelTap kBurkes[] = {{1, 0, 8},  {2, 0, 4},  //
                                  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
constexpr TKernelTap kStucki[] = {{1, 0, 8},  {2, 0, 4},                                    //
                                  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},  //
                                  {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}};
constexpr TKernelTap kSierra[] = {{1, 0, 5},  {2, 0, 3},                                    //
                                  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},  //
                                  {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
constexpr TKernelTap kJarvisJudiceNinke[] = {{1, 0, 7},  {2, 0, 5},                                    //
                                             {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},  //
                                             {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}};

}  // namespace

// ---- Floyd-Steinberg ------------------------------------------------------------------

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), errors_((static_cast<std::size_t>(width) + 2) * 3, 0) {}

int TFloydSteinbergDitherer::MapPixel(int red, int green, int blue) {
  CheckColumn(column_, width_);
  std::int32_t* error = &errors_[static_cast<std::size_t>(position_) * 3];
  const int value[3] = {red, green, blue};
  for (int c = 0; c < 3; ++c) current_[c] = Clamp255(value[c] + (error[c] + current_[c] + 8) / 16);

  TLookupColor entry;
  const int index = LookupAndStep(current_[0], current_[1], current_[2], entry);

  const int chosen[3] = {entry.Red, entry.Green, entry.Blue};
  for (int c = 0; c < 3; ++c) {
    const std::int32_t d = current_[c] - chosen[c];
    if (d == 0) {
      current_[c] = 0;
      continue;
    }
    error[c] = belowPrevious_[c] + 3 * d;
    belowPrevious_[c] = below_[c] + 5 * d;
    below_[c] = d;
    current_[c] = 7 * d;
  }
  position_ += direction_;
  return index;
}

void TFloydSteinbergDitherer::EndRow() {
  for (int c = 0; c < 3; ++c) {
    errors_[static_cast<std::size_t>(position_) * 3 + static_cast<std::size_t>(c)] = belowPrevious_[c];
    current_[c] = below_[c] = belowPrevious_[c] = 0;
  }
  TDitherEngine::EndRow();
  position_ = direction_ > 0 ? 0 : width_ + 1;
}

// ---- Kernel ditherers -----------------------------------------------------------------

TErrorDiffusion::TErrorDiffusion(int width, int rows, int margin, int divisor)
    : rows_(rows),
      margin_(margin),
      divisor_(divisor),
      stride_(static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(margin)),
      values_(stride_ * static_cast<std::size_t>(rows) * 3, 0) {}

void TErrorDiffusion::Correct(int x, std::array<int, 3>& value) const {
  const std::size_t column = static_cast<std::size_t>(x + margin_);
  const std::int32_t* owed = &values_[(static_cast<std::size_t>(first_) * stride_ + column) * 3];
  for (int c = 0; c < 3; ++c) value[c] = Clamp255(value[c] + RoundedQuotient(owed[c], divisor_));
}

void TErrorDiffusion::Spread(const TKernelTap* taps, std::size_t count, int channel, int x, int direction, int error) {
  for (std::size_t i = 0; i < count; ++i) At(channel, taps[i].dy, x + taps[i].dx * direction) += taps[i].weight * error;
}

void TErrorDiffusion::Advance() {
  const auto row = values_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(first_) * stride_ * 3);
  std::fill(row, row + static_cast<std::ptrdiff_t>(stride_ * 3), 0);
  first_ = (first_ + 1) % rows_;
}

namespace {

// What is left of each channel of the corrected colour after the lookup chose its entry.
std::array<int, 3> RemainingError(const std::array<int, 3>& value, const TLookupColor& entry) {
  return {value[0] - entry.Red, value[1] - entry.Green, value[2] - entry.Blue};
}

}  // namespace

TKernelDitherer::TKernelDitherer(int width, TColorLookup& lookup, const TKernelTap* taps, std::size_t tapCount,
                                 int rows, int margin, int divisor)
    : TDitherEngine(width, lookup), taps_(taps), tapCount_(tapCount), diffusion_(width, rows, margin, divisor) {}

int TKernelDitherer::MapPixel(int red, int green, int blue) {
  CheckColumn(column_, width_);
  const int x = column_;
  std::array<int, 3> value = {red, green, blue};
  diffusion_.Correct(x, value);
  TLookupColor entry;
  const int index = LookupAndStep(value[0], value[1], value[2], entry);
  const std::array<int, 3> error = RemainingError(value, entry);
  for (int c = 0; c < 3; ++c)
    if (error[c] != 0) diffusion_.Spread(taps_, tapCount_, c, x, direction_, error[c]);
  return index;
}

void TKernelDitherer::EndRow() {
  diffusion_.Advance();
  TDitherEngine::EndRow();
}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : TKernelDitherer(width, lookup, kStevensonArce, std::size(kStevensonArce), 4, 3, 200) {}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : TKernelDitherer(width, lookup, kBurkes, std::size(kBurkes), 2, 2, 32) {}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : TKernelDitherer(width, lookup, kStucki, std::size(kStucki), 3, 2, 42) {}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : TKernelDitherer(width, lookup, kSierra, std::size(kSierra), 3, 2, 32) {}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : TKernelDitherer(width, lookup, kJarvisJudiceNinke, std::size(kJarvisJudiceNinke), 3, 2, 48) {}

}  // namespace clipvane
