// Colour histogram, median cut by the largest drop of squared error, k-means refinement.
#include "gif/median_cut_palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace clipvane {

namespace {

// The cell's level on a channel (axis 0 red, 1 green, 2 blue) for cells of `bits` bits.
int Level(const TColorHistogram::TCell& cell, int axis, int bits) {
  return static_cast<int>((cell.Key >> (bits * (2 - axis))) & ((1u << bits) - 1));
}

std::array<double, 3> SumsOf(const TColorHistogram::TCell& cell) {
  return {static_cast<double>(cell.Red), static_cast<double>(cell.Green), static_cast<double>(cell.Blue)};
}

double SquaredNorm(const std::array<double, 3>& v) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

// A box: cells [Begin, End) of the cell list, their pixel count and channel sums, and the
// best cut found for it (Gain 0 when it cannot be cut).
struct TBox {
  std::size_t Begin = 0, End = 0;
  double Count = 0;
  std::array<double, 3> Sums{};
  double Gain = 0;
  int Axis = 0;
  int Cut = 0;  // cells below this level go to the first half
};

// The squared error of a set of colours is sum |c|^2 - |S|^2 / n, so cutting it into two
// parts lowers the error by |S1|^2 / n1 + |S2|^2 / n2 - |S|^2 / n.
void FindBestCut(const std::vector<TColorHistogram::TCell>& cells, int bits, TBox& box) {
  box.Gain = 0;
  if (box.End - box.Begin < 2) return;
  const double whole = SquaredNorm(box.Sums) / box.Count;
  std::array<double, 256> counts;
  std::array<std::array<double, 3>, 256> sums;
  for (int axis = 0; axis < 3; ++axis) {
    // Count and sums of the box's cells at each level of this channel, over the levels the
    // box spans: a cut below or above them leaves one side empty.
    std::size_t first = 255, last = 0;
    for (std::size_t i = box.Begin; i < box.End; ++i) {
      const auto level = static_cast<std::size_t>(Level(cells[i], axis, bits));
      first = std::min(first, level);
      last = std::max(last, level);
    }
    std::fill(counts.begin() + static_cast<std::ptrdiff_t>(first),
              counts.begin() + static_cast<std::ptrdiff_t>(last + 1), 0.0);
    std::fill(sums.begin() + static_cast<std::ptrdiff_t>(first), sums.begin() + static_cast<std::ptrdiff_t>(last + 1),
              std::array<double, 3>{});
    for (std::size_t i = box.Begin; i < box.End; ++i) {
      const auto level = static_cast<std::size_t>(Level(cells[i], axis, bits));
      counts[level] += static_cast<double>(cells[i].Count);
      const auto s = SumsOf(cells[i]);
      for (std::size_t c = 0; c < 3; ++c) sums[level][c] += s[c];
    }
    double lowCount = 0;
    std::array<double, 3> low{};
    for (std::size_t cut = first + 1; cut <= last; ++cut) {
      lowCount += counts[cut - 1];
      for (std::size_t c = 0; c < 3; ++c) low[c] += sums[cut - 1][c];
      const double highCount = box.Count - lowCount;
      if (lowCount <= 0 || highCount <= 0) continue;
      const std::array<double, 3> high{box.Sums[0] - low[0], box.Sums[1] - low[1], box.Sums[2] - low[2]};
      const double gain = SquaredNorm(low) / lowCount + SquaredNorm(high) / highCount - whole;
      if (gain > box.Gain) {
        box.Gain = gain;
        box.Axis = axis;
        box.Cut = static_cast<int>(cut);
      }
    }
  }
}

TBox MakeBox(const std::vector<TColorHistogram::TCell>& cells, int bits, std::size_t begin, std::size_t end) {
  TBox box;
  box.Begin = begin;
  box.End = end;
  for (std::size_t i = begin; i < end; ++i) {
    box.Count += static_cast<double>(cells[i].Count);
    const auto s = SumsOf(cells[i]);
    for (std::size_t c = 0; c < 3; ++c) box.Sums[c] += s[c];
  }
  FindBestCut(cells, bits, box);
  return box;
}

std::uint8_t ToChannel(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// Nearest entry of a small, changing palette for the k-means steps: entries ordered by
// green, searched outwards from the query's green until the green gap alone exceeds the
// best distance found.
class TSortedSearch {
 public:
  explicit TSortedSearch(const std::vector<std::array<double, 3>>& entries)
      : entries_(entries), order_(entries.size()) {
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::sort(order_.begin(), order_.end(),
              [&](std::size_t a, std::size_t b) { return entries[a][1] < entries[b][1]; });
  }

  std::size_t Nearest(const std::array<double, 3>& q) const {
    const auto start = std::lower_bound(order_.begin(), order_.end(), q[1],
                                        [&](std::size_t i, double g) { return entries_[i][1] < g; });
    std::size_t best = order_.front();
    double bestDistance = INFINITY;
    auto consider = [&](std::size_t i) {
      const auto& e = entries_[i];
      const double d = (e[0] - q[0]) * (e[0] - q[0]) + (e[1] - q[1]) * (e[1] - q[1]) + (e[2] - q[2]) * (e[2] - q[2]);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    };
    for (auto up = start; up != order_.end(); ++up) {
      const double gap = entries_[*up][1] - q[1];
      if (gap * gap > bestDistance) break;
      consider(*up);
    }
    for (auto down = start; down != order_.begin();) {
      --down;
      const double gap = q[1] - entries_[*down][1];
      if (gap * gap > bestDistance) break;
      consider(*down);
    }
    return best;
  }

 private:
  const std::vector<std::array<double, 3>>& entries_;
  std::vector<std::size_t> order_;
};

}  // namespace

TColorHistogram::TColorHistogram(int bits) { SetBits(bits); }

void TColorHistogram::SetBits(int bits) {
  Clear();
  bits_ = bits == 8 ? 8 : 5;
  if (bits_ == 5 && cells_.empty()) cells_.assign(32 * 32 * 32, TSums{});
}

void TColorHistogram::Clear() {
  if (bits_ == 5) {
    for (const std::uint32_t key : used_) cells_[key] = TSums{};
  } else {
    sums_.clear();
    std::fill(slotKeys_.begin(), slotKeys_.end(), 0u);
  }
  used_.clear();
}

void TColorHistogram::AddExact(int red, int green, int blue) {
  const std::uint32_t key = static_cast<std::uint32_t>((red << 16) | (green << 8) | blue);
  TSums& sums = ExactSums(key);
  ++sums.Count;
  sums.Red += static_cast<std::uint64_t>(red);
  sums.Green += static_cast<std::uint64_t>(green);
  sums.Blue += static_cast<std::uint64_t>(blue);
}

TColorHistogram::TSums& TColorHistogram::ExactSums(std::uint32_t key) {
  // Kept at most half full, so a probe always ends at the key or a free slot.
  if (2 * (used_.size() + 1) > slotKeys_.size()) {
    const std::size_t size = std::max<std::size_t>(1024, 2 * slotKeys_.size());
    slotKeys_.assign(size, 0);
    slotEntries_.assign(size, 0);
    for (std::size_t entry = 0; entry < used_.size(); ++entry) {
      std::size_t slot = (used_[entry] * 2654435761u) & (size - 1);
      while (slotKeys_[slot] != 0) slot = (slot + 1) & (size - 1);
      slotKeys_[slot] = used_[entry] + 1;
      slotEntries_[slot] = static_cast<std::uint32_t>(entry);
    }
  }
  const std::size_t mask = slotKeys_.size() - 1;
  std::size_t slot = (key * 2654435761u) & mask;
  while (slotKeys_[slot] != 0 && slotKeys_[slot] != key + 1) slot = (slot + 1) & mask;
  if (slotKeys_[slot] == 0) {
    slotKeys_[slot] = key + 1;
    slotEntries_[slot] = static_cast<std::uint32_t>(used_.size());
    used_.push_back(key);
    sums_.push_back(TSums{});
  }
  return sums_[slotEntries_[slot]];
}

void TColorHistogram::AddPicture(const TBitmap& picture, int step) {
  step = std::max(step, 1);
  int skip = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint8_t* row = picture.ScanLine(y);
    int x = skip;
    for (; x < picture.Width(); x += step) Add(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    skip = x - picture.Width();
  }
}

std::vector<TColorHistogram::TCell> TColorHistogram::Cells() const {
  std::vector<TCell> cells;
  cells.reserve(used_.size());
  for (std::size_t i = 0; i < used_.size(); ++i) {
    const TSums& s = bits_ == 5 ? cells_[used_[i]] : sums_[i];
    cells.push_back({used_[i], s.Count, s.Red, s.Green, s.Blue});
  }
  return cells;
}

std::vector<TGIFColor> BuildMedianCutPalette(const TColorHistogram& histogram, int maxColors, int refinements) {
  std::vector<TColorHistogram::TCell> cells = histogram.Cells();
  if (cells.empty() || maxColors < 1) return {};
  maxColors = std::min(maxColors, 256);

  const int bits = histogram.Bits();
  std::vector<TBox> boxes{MakeBox(cells, bits, 0, cells.size())};
  while (static_cast<int>(boxes.size()) < maxColors) {
    const auto widest =
        std::max_element(boxes.begin(), boxes.end(), [](const TBox& a, const TBox& b) { return a.Gain < b.Gain; });
    if (widest->Gain <= 0) break;
    const TBox box = *widest;
    const auto middle = std::partition(
        cells.begin() + static_cast<std::ptrdiff_t>(box.Begin), cells.begin() + static_cast<std::ptrdiff_t>(box.End),
        [&](const TColorHistogram::TCell& cell) { return Level(cell, box.Axis, bits) < box.Cut; });
    const auto split = static_cast<std::size_t>(middle - cells.begin());
    *widest = MakeBox(cells, bits, box.Begin, split);
    boxes.push_back(MakeBox(cells, bits, split, box.End));
  }

  std::vector<std::array<double, 3>> entries;
  entries.reserve(boxes.size());
  for (const TBox& box : boxes)
    entries.push_back({box.Sums[0] / box.Count, box.Sums[1] / box.Count, box.Sums[2] / box.Count});

  // Lloyd iterations over the cells, each taken at the mean of its colours.
  std::vector<std::array<double, 3>> means(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double n = static_cast<double>(cells[i].Count);
    const auto s = SumsOf(cells[i]);
    means[i] = {s[0] / n, s[1] / n, s[2] / n};
  }
  for (int iteration = 0; iteration < refinements; ++iteration) {
    std::vector<double> counts(entries.size());
    std::vector<std::array<double, 3>> sums(entries.size());
    const TSortedSearch search(entries);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::size_t e = search.Nearest(means[i]);
      counts[e] += static_cast<double>(cells[i].Count);
      const auto s = SumsOf(cells[i]);
      for (std::size_t c = 0; c < 3; ++c) sums[e][c] += s[c];
    }
    for (std::size_t e = 0; e < entries.size(); ++e)
      if (counts[e] > 0) entries[e] = {sums[e][0] / counts[e], sums[e][1] / counts[e], sums[e][2] / counts[e]};
  }

  std::vector<TGIFColor> palette;
  palette.reserve(entries.size());
  for (const auto& e : entries) palette.push_back({ToChannel(e[0]), ToChannel(e[1]), ToChannel(e[2])});
  return palette;
}

double PaletteFitError(const TColorHistogram& histogram, TNearestColorSearch& search) {
  double error = 0, count = 0;
  for (const TColorHistogram::TCell& cell : histogram.Cells()) {
    const double n = static_cast<double>(cell.Count);
    const double r = static_cast<double>(cell.Red) / n, g = static_cast<double>(cell.Green) / n,
                 b = static_cast<double>(cell.Blue) / n;
    const TGIFColor& e = search.Entry(search.Nearest(ToChannel(r), ToChannel(g), ToChannel(b)));
    error += n * ((r - e.Red) * (r - e.Red) + (g - e.Green) * (g - e.Green) + (b - e.Blue) * (b - e.Blue));
    count += n;
  }
  return count > 0 ? error / count : 0;
}

}  // namespace clipvane
