// Exact colours, the palette with its reuse rule, and the serpentine dither that keeps what
// the screen already shows.
#include "gif/best_quantizer.h"

#include <algorithm>
#include <utility>

namespace clipvane {

namespace {

constexpr std::size_t kColorSlots = 1024;          // four times the 257 colours that end the count
constexpr std::size_t kFineHistogramBelow = 1024;  // cells of 5 bits, for 255 entries

std::size_t SlotOf(std::uint32_t key) { return (key * 2654435761u) >> 22; }

// Colour + 1 of a blue, green, red pixel, so that 0 can mean "no colour".
std::uint32_t KeyOf(const std::uint8_t* bgr) {
  return (static_cast<std::uint32_t>(bgr[2]) | (static_cast<std::uint32_t>(bgr[1]) << 8) |
          (static_cast<std::uint32_t>(bgr[0]) << 16)) +
         1;
}

int Clamp(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }

// Grows rect to hold (x, y); an empty rect (Right <= Left) becomes that one pixel.
void Include(TRect& rect, int x, int y) {
  if (rect.Right <= rect.Left) {
    rect = {x, y, x + 1, y + 1};
    return;
  }
  rect.Left = std::min(rect.Left, x);
  rect.Right = std::max(rect.Right, x + 1);
  rect.Top = std::min(rect.Top, y);
  rect.Bottom = std::max(rect.Bottom, y + 1);
}

}  // namespace

void TBestPaletteChooser::Choose(const TBitmap& picture, TFrameColors& colors) {
  colors.Indices.resize(static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height()));
  colors.Exact = CollectColors(picture, colors.Indices.data());
  if (colors.Exact) {
    colors.Colors = colors_;
    colors.Search.reset();
    return;
  }
  ChoosePalette(picture);
  colors.Colors.clear();
  colors.Search = mapping_;
}

void TBestQuantizer::Map(const TBitmap& picture, const TBitmap* screen, TFrameColors& colors, TQuantizedFrame& frame) {
  frame.Width = picture.Width();
  frame.Height = picture.Height();
  frame.Changed = TRect{};
  if (colors.Exact) {
    frame.Indices.swap(colors.Indices);
    MapExactly(picture, screen, colors.Colors, frame);
  } else {
    frame.Indices.resize(static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height));
    Dither(picture, screen, *colors.Search, frame);
  }
  if (!screen) frame.Changed = TRect{0, 0, frame.Width, frame.Height};
}

bool TBestPaletteChooser::CollectColors(const TBitmap& picture, std::uint8_t* indices) {
  colorKeys_.assign(kColorSlots, 0);
  colorIndices_.assign(kColorSlots, 0);
  colors_.clear();
  const auto width = static_cast<std::size_t>(picture.Width());
  std::uint32_t last = 0;
  std::uint8_t lastIndex = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint8_t* row = picture.ScanLine(y);
    std::uint8_t* out = indices + static_cast<std::size_t>(y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t key = KeyOf(row + 3 * x);
      if (key != last) {  // runs of one colour skip the table
        last = key;
        std::size_t slot = SlotOf(key);
        while (colorKeys_[slot] != 0 && colorKeys_[slot] != key) slot = (slot + 1) & (kColorSlots - 1);
        if (colorKeys_[slot] != key) {
          if (colors_.size() == 256) return false;
          colorKeys_[slot] = key;
          colorIndices_[slot] = static_cast<std::uint8_t>(colors_.size());
          colors_.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
        lastIndex = colorIndices_[slot];
      }
      out[x] = lastIndex;
    }
  }
  return true;
}

void TBestQuantizer::MapExactly(const TBitmap& picture, const TBitmap* screen, const std::vector<TGIFColor>& colors,
                                TQuantizedFrame& frame) {
  frame.Lossless = true;
  frame.Palette = colors;
  // A 256th colour leaves no index free to mean "keep"; such a frame writes what changed.
  frame.KeepIndex = (screen && colors.size() < 256) ? static_cast<int>(colors.size()) : -1;
  if (!screen) return;
  const auto width = static_cast<std::size_t>(frame.Width);
  const auto keep = static_cast<std::uint8_t>(frame.KeepIndex);
  for (int y = 0; y < frame.Height; ++y) {
    const std::uint8_t* row = picture.ScanLine(y);
    const std::uint8_t* shown = screen->ScanLine(y);
    std::uint8_t* out = frame.Indices.data() + static_cast<std::size_t>(y) * width;
    int changedLow = frame.Width, changedHigh = -1;
    // Exactly what the screen shows: kept even alone, since the colours of a frame this simple
    // compress well either way and a kept pixel leaves less to write. Chosen without branches:
    // kept and changed pixels mix without a pattern.
    const bool keeps = frame.KeepIndex >= 0;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t* pixel = row + 3 * x;
      const std::uint8_t* on = shown + 3 * x;
      const bool same = (pixel[0] == on[0]) & (pixel[1] == on[1]) & (pixel[2] == on[2]);
      out[x] = same && keeps ? keep : out[x];
      changedLow = same ? changedLow : std::min(changedLow, static_cast<int>(x));
      changedHigh = same ? changedHigh : static_cast<int>(x);
    }
    if (changedHigh >= 0) {
      Include(frame.Changed, changedLow, y);
      Include(frame.Changed, changedHigh, y);
    }
  }
}

void TBestPaletteChooser::ChoosePalette(const TBitmap& picture) {
  histogram_.SetBits(5);
  histogram_.AddPicture(picture, settings_.SampleStep);
  if (histogram_.CellCount() < kFineHistogramBelow) {
    // So few cells could not place the entries well (a grey picture fills only 32): every
    // colour gets a cell of its own.
    histogram_.SetBits(8);
    histogram_.AddPicture(picture, settings_.SampleStep);
  }
  if (search_ && builtBits_ == histogram_.Bits()) {
    const double error = PaletteFitError(histogram_, *search_);
    if (error <= builtError_ * settings_.ReuseTolerance + 1.0) return;
  }
  // One entry stays free for "keep".
  search_.emplace(BuildMedianCutPalette(histogram_, std::clamp(settings_.MaxColors, 1, 255), settings_.Refinements));
  builtError_ = PaletteFitError(histogram_, *search_);
  builtBits_ = histogram_.Bits();
  ++palettesBuilt_;
  // A copy with the candidate lists the fit just built: the colours of this picture's cells.
  mapping_ = std::make_shared<TNearestColorSearch>(*search_);
}

void TBestQuantizer::Dither(const TBitmap& picture, const TBitmap* screen, TNearestColorSearch& search,
                            TQuantizedFrame& frame) {
  const int width = frame.Width;
  frame.Lossless = false;
  frame.Palette.assign(search.Palette().begin(), search.Palette().end());
  frame.KeepIndex = screen ? search.Count() : -1;
  const int limit = settings_.ErrorLimit;
  const int slack = settings_.KeepSlack;

  // Errors of this row and the next, in sixteenths, three channels a pixel, one pixel of
  // margin at either end so the kernel never needs a test. The kernel's terms for the pixel
  // ahead and for the row below run along in registers: the pixel ahead is owed 7 d, and a
  // cell below is final (d of the pixel before it, 5 d of its own, 3 d of the one after) once
  // the walk has passed it, so it is written once instead of added to three times.
  const std::size_t rowSize = static_cast<std::size_t>(width + 2) * 3;
  errors_.assign(2 * rowSize, 0);
  std::int32_t* current = errors_.data();
  std::int32_t* next = current + rowSize;

  for (int y = 0; y < frame.Height; ++y) {
    const std::uint8_t* row = picture.ScanLine(y);
    const std::uint8_t* shown = screen ? screen->ScanLine(y) : nullptr;
    std::uint8_t* out = frame.Indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    const int step = (y & 1) == 0 ? 1 : -1;
    const int behind = -3 * step;
    int x = step > 0 ? 0 : width - 1;
    int changedLow = width, changedHigh = -1;
    keptRuns_.clear();
    int runStart = -1;  // first pixel (in walking order) of the kept run going on, -1: none
    // Owed, as a pixel comes: to it by the pixel before; so far to the cell below it; so far to
    // the cell below the pixel before (final once this pixel has added its 3 d).
    int aheadRed = 0, aheadGreen = 0, aheadBlue = 0;
    int cellRed = 0, cellGreen = 0, cellBlue = 0;
    int lastRed = 0, lastGreen = 0, lastBlue = 0;
    for (int i = 0; i < width; ++i, x += step) {
      const std::int32_t* error = current + 3 * (x + 1);
      std::int32_t* below = next + 3 * (x + 1);
      const std::uint8_t* pixel = row + 3 * x;
      // The wanted colour: the pixel plus the error diffused to it.
      const int red = Clamp(pixel[2] + ((error[0] + aheadRed + 8) >> 4), 0, 255);
      const int green = Clamp(pixel[1] + ((error[1] + aheadGreen + 8) >> 4), 0, 255);
      const int blue = Clamp(pixel[0] + ((error[2] + aheadBlue + 8) >> 4), 0, 255);
      int shownRed, shownGreen, shownBlue;
      bool keep = false;
      if (shown) {
        const std::uint8_t* s = shown + 3 * x;
        shownRed = s[2];
        shownGreen = s[1];
        shownBlue = s[0];
        const int sr = red - shownRed, sg = green - shownGreen, sb = blue - shownBlue;
        const int toScreen = sr * sr + sg * sg + sb * sb;
        const int allowance = runStart >= 0 ? slack : 0;
        // Within the allowance alone the screen wins whatever the palette offers.
        keep = toScreen <= allowance;
        if (!keep) {
          const int index = search.Nearest(red, green, blue);
          const TGIFColor& entry = search.Entry(index);
          const int er = red - entry.Red, eg = green - entry.Green, eb = blue - entry.Blue;
          keep = toScreen <= er * er + eg * eg + eb * eb + allowance;
          if (!keep) {
            out[x] = static_cast<std::uint8_t>(index);
            shownRed = entry.Red;
            shownGreen = entry.Green;
            shownBlue = entry.Blue;
          }
        }
        if (keep) {
          if (runStart < 0) runStart = x;
        } else {
          if (runStart >= 0) keptRuns_.push_back({runStart, x - step});
          runStart = -1;
          changedLow = std::min(changedLow, x);
          changedHigh = std::max(changedHigh, x);
        }
      } else {
        const int index = search.Nearest(red, green, blue);
        const TGIFColor& entry = search.Entry(index);
        out[x] = static_cast<std::uint8_t>(index);
        shownRed = entry.Red;
        shownGreen = entry.Green;
        shownBlue = entry.Blue;
      }
      const int dr = Clamp(red - shownRed, -limit, limit);
      const int dg = Clamp(green - shownGreen, -limit, limit);
      const int db = Clamp(blue - shownBlue, -limit, limit);
      aheadRed = 7 * dr;
      aheadGreen = 7 * dg;
      aheadBlue = 7 * db;
      below[behind] = lastRed + 3 * dr;
      below[behind + 1] = lastGreen + 3 * dg;
      below[behind + 2] = lastBlue + 3 * db;
      lastRed = cellRed + 5 * dr;
      lastGreen = cellGreen + 5 * dg;
      lastBlue = cellBlue + 5 * db;
      cellRed = dr;
      cellGreen = dg;
      cellBlue = db;
    }
    // The cell below the last pixel (the one past it is the margin, which is never read).
    std::int32_t* below = next + 3 * (x - step + 1);
    below[0] = lastRed;
    below[1] = lastGreen;
    below[2] = lastBlue;
    if (shown) {
      if (runStart >= 0) keptRuns_.push_back({runStart, x - step});
      WriteKeptRuns(search, shown, out, frame.KeepIndex);
      if (changedHigh >= 0) {
        if (frame.Changed.Right <= frame.Changed.Left) frame.Changed = {changedLow, y, changedHigh + 1, y + 1};
        frame.Changed.Left = std::min(frame.Changed.Left, changedLow);
        frame.Changed.Right = std::max(frame.Changed.Right, changedHigh + 1);
        frame.Changed.Bottom = y + 1;
      }
    }
    std::swap(current, next);
  }
}

void TBestQuantizer::WriteKeptRuns(TNearestColorSearch& search, const std::uint8_t* shown, std::uint8_t* out,
                                   int keepIndex) {
  for (const auto& [from, to] : keptRuns_) {
    const int low = std::min(from, to), high = std::max(from, to);
    const bool longRun = high - low + 1 >= settings_.KeepRun;
    for (int x = low; x <= high; ++x) {
      out[x] = static_cast<std::uint8_t>(keepIndex);
      if (longRun) continue;
      const std::uint8_t* s = shown + 3 * x;
      const int index = search.Nearest(s[2], s[1], s[0]);
      const TGIFColor& entry = search.Entry(index);
      if (entry.Red == s[2] && entry.Green == s[1] && entry.Blue == s[0]) out[x] = static_cast<std::uint8_t>(index);
    }
  }
}

}  // namespace clipvane
