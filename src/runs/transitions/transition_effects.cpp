// The 24 transition effects. Blends go through a per-step table of every byte pair, so the
// extended-precision formula is evaluated 65536 times a step instead of once per channel.
#include "runs/transitions/transition_effects.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/error.h"

namespace clipvane {

namespace {

// Divisions of the formulas are done in extended precision where the machine has it; the
// quotient can decide a trunc or a half, so the type matters.
using Real = long double;

constexpr int MaxRenderSteps = 65535;

int Saturate(Real value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<Real>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<Real>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// Halves go to the even neighbour (the default rounding mode).
int Nearest(Real value) { return Saturate(std::nearbyint(value)); }
std::int64_t Nearest64(Real value) {
  const Real rounded = std::nearbyint(value);
  if (!(rounded < static_cast<Real>(std::numeric_limits<std::int64_t>::max())))
    return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(rounded);
}
int Trunc(Real value) { return Saturate(std::trunc(value)); }

// Rounds 0 <= value < 2^62 to the nearest integer, halves to even, without a library call:
// adding 1.5 * 2^63 leaves no fraction bits, so the addition itself rounds.
std::uint8_t NearestByte(Real value) {
  if (!(value > 0)) return 0;
  if (value >= 255) return 255;
  constexpr Real magic = 0x1.8p63L;
  const Real rounded = (value + magic) - magic;
  return static_cast<std::uint8_t>(static_cast<double>(rounded));
}

using TPairTable = std::vector<std::uint8_t>;

// table[(a << 8) | b] = nearest(first[a] + second[b]), the sum formed in extended precision.
void BuildPairTable(TPairTable& table, const Real (&first)[256], const Real (&second)[256]) {
  table.resize(65536);
  for (int a = 0; a < 256; ++a) {
    std::uint8_t* out = table.data() + (a << 8);
    const Real term = first[a];
    for (int b = 0; b < 256; ++b) out[b] = NearestByte(term + second[b]);
  }
}

// Every channel of every pixel of O from the same channel of A and B through the table.
void BlendPictures(TBitmap& output, const TBitmap& a, const TBitmap& b, const TPairTable& table) {
  const std::size_t bytes = static_cast<std::size_t>(output.Width()) * 3;
  const std::uint8_t* lookup = table.data();
  for (int y = 0; y < output.Height(); ++y) {
    std::uint8_t* out = output.ScanLine(y);
    const std::uint8_t* rowA = a.ScanLine(y);
    const std::uint8_t* rowB = b.ScanLine(y);
    for (std::size_t i = 0; i < bytes; ++i) out[i] = lookup[(static_cast<unsigned>(rowA[i]) << 8) | rowB[i]];
  }
}

void CopyWhole(TBitmap& output, const TBitmap& from) {
  std::memcpy(output.Bits().data(), from.Bits().data(), output.Bits().size());
}

void CopySameRect(TBitmap& output, const TBitmap& from, int left, int top, int width, int height) {
  if (width <= 0 || height <= 0) return;
  output.CopyRect(left, top, from, TRect{left, top, left + width, top + height});
}

void CrossDissolve(TTransitionFrames& f, int k, int n) {
  Real sourceTerm[256], destinationTerm[256];
  for (int v = 0; v < 256; ++v) {
    sourceTerm[v] = static_cast<Real>(v * (n - k)) / n;
    destinationTerm[v] = static_cast<Real>(v * k) / n;
  }
  TPairTable table;
  BuildPairTable(table, sourceTerm, destinationTerm);
  BlendPictures(f.Output, f.Source, f.Destination, table);
}

// S fades to the solid middle colour by step trunc(n / 2), then the middle colour to D.
void FadeOutIn(TTransitionFrames& f, int k, int n) {
  const int h = n / 2;
  const Real half = static_cast<Real>(n) / 2;
  if (k == h) {
    CopyWhole(f.Output, f.Middle);
    return;
  }
  Real first[256], second[256];
  TPairTable table;
  if (k < h) {
    for (int v = 0; v < 256; ++v) {
      first[v] = (half - k) * v * 2 / n;
      second[v] = static_cast<Real>(v * k * 2) / n;
    }
    BuildPairTable(table, first, second);
    BlendPictures(f.Output, f.Source, f.Middle, table);
  } else {
    for (int v = 0; v < 256; ++v) {
      first[v] = static_cast<Real>(v * (n - k) * 2) / n;
      second[v] = (k - half) * v * 2 / n;
    }
    BuildPairTable(table, first, second);
    BlendPictures(f.Output, f.Middle, f.Destination, table);
  }
}

// Quotient of an integer product by n, as the formulas form it.
Real Ratio(std::int64_t product, int n) { return static_cast<Real>(product) / n; }

void Wipe(TTransitionEffect effect, TTransitionFrames& f, int k, int n) {
  const int width = f.Output.Width(), height = f.Output.Height();
  if (k == 0) CopyWhole(f.Output, f.Source);
  switch (effect) {
    case TTransitionEffect::LeftRight:
      CopySameRect(f.Output, f.Destination, 0, 0, Trunc(Ratio(std::int64_t{width} * k, n)), height);
      break;
    case TTransitionEffect::RightLeft: {
      const int left = Nearest(Ratio(std::int64_t{width} * (n - k), n));
      CopySameRect(f.Output, f.Destination, left, 0, Nearest(Ratio(std::int64_t{width} * k, n)), height);
      break;
    }
    case TTransitionEffect::UpDown:
      CopySameRect(f.Output, f.Destination, 0, 0, width, Nearest(Ratio(std::int64_t{height} * k, n)));
      break;
    default: {  // DownUp
      const int top = Nearest(Ratio(std::int64_t{height} * (n - k), n));
      CopySameRect(f.Output, f.Destination, 0, top, width, Nearest(Ratio(std::int64_t{height} * k, n)));
      break;
    }
  }
}

void SlideFromCorner(TTransitionEffect effect, TTransitionFrames& f, int k, int n) {
  if (k == 0) CopyWhole(f.Output, f.Source);
  const Real remaining = static_cast<Real>(n - k) / n;
  const int dx = Trunc(remaining * f.Output.Width());
  const int dy = Trunc(remaining * f.Output.Height());
  const bool fromLeft = effect == TTransitionEffect::FromUpLeft || effect == TTransitionEffect::FromBottomLeft;
  const bool fromTop = effect == TTransitionEffect::FromUpLeft || effect == TTransitionEffect::FromUpRight;
  f.Output.Draw(fromLeft ? -dx : dx, fromTop ? -dy : dy, f.Destination);
}

// Row y of O: columns [0, w) from `left` starting at column leftFrom, the rest from `right`
// starting at column rightFrom.
void ComposeRows(TTransitionFrames& f, int w, const TBitmap& left, int leftFrom, const TBitmap& right, int rightFrom) {
  const int width = f.Output.Width();
  const std::size_t leftBytes = static_cast<std::size_t>(w) * 3;
  const std::size_t rightBytes = static_cast<std::size_t>(width - w) * 3;
  for (int y = 0; y < f.Output.Height(); ++y) {
    std::uint8_t* out = f.Output.ScanLine(y);
    if (leftBytes > 0) std::memcpy(out, left.ScanLine(y) + static_cast<std::size_t>(leftFrom) * 3, leftBytes);
    if (rightBytes > 0)
      std::memcpy(out + leftBytes, right.ScanLine(y) + static_cast<std::size_t>(rightFrom) * 3, rightBytes);
  }
}

void MoveHorizontally(TTransitionEffect effect, TTransitionFrames& f, int k, int n) {
  const int width = f.Output.Width();
  const Real done = static_cast<Real>(k) / n;
  const Real remaining = static_cast<Real>(n - k) / n;
  // The products of a ratio and the width can reach the width only at the ends; keep w in range
  // whatever the rounding.
  auto clamp = [width](int w) { return std::clamp(w, 0, width); };
  switch (effect) {
    case TTransitionEffect::MoveLeftRight1: {
      const int w = clamp(Trunc(done * width));
      ComposeRows(f, w, f.Destination, width - w, f.Source, 0);
      break;
    }
    case TTransitionEffect::MoveLeftRight2: {
      const int w = clamp(Trunc(done * width));
      ComposeRows(f, w, f.Destination, 0, f.Source, 0);
      break;
    }
    case TTransitionEffect::MoveRightLeft1: {
      const int w = clamp(Trunc(remaining * width));
      ComposeRows(f, w, f.Source, width - w, f.Destination, 0);
      break;
    }
    default: {  // MoveRightLeft2
      const int w = clamp(Nearest(remaining * width));
      ComposeRows(f, w, f.Source, 0, f.Destination, 0);
      break;
    }
  }
}

void MoveVertically(TTransitionEffect effect, TTransitionFrames& f, int k, int n) {
  const int height = f.Output.Height();
  const std::size_t stride = f.Output.Stride();
  const bool down = effect == TTransitionEffect::MoveUpDown1 || effect == TTransitionEffect::MoveUpDown2;
  const int h = std::clamp(Trunc(Ratio(std::int64_t{height} * (down ? k : n - k), n)), 0, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = nullptr;
    switch (effect) {
      case TTransitionEffect::MoveUpDown1:
        from = y < h ? f.Destination.ScanLine(height - h + y) : f.Source.ScanLine(y - h);
        break;
      case TTransitionEffect::MoveUpDown2:
        from = y < h ? f.Destination.ScanLine(y) : f.Source.ScanLine(y - h);
        break;
      case TTransitionEffect::MoveDownUp1:
        from = y < h ? f.Source.ScanLine(height - h + y) : f.Destination.ScanLine(y - h);
        break;
      default:  // MoveDownUp2
        from = y < h ? f.Source.ScanLine(height - h + y) : f.Destination.ScanLine(y);
        break;
    }
    std::memcpy(f.Output.ScanLine(y), from, stride);
  }
}

void RandomPoints(TTransitionFrames& f, int k, int n, std::int64_t& placedCount) {
  if (k == 0) {
    CopyWhole(f.Output, f.Source);
    return;
  }
  const int width = f.Output.Width();
  const std::int64_t target = Nearest64(Ratio(std::int64_t{width} * k * k, n));
  const std::int64_t count = target - placedCount;
  placedCount = target;
  if (count <= 0) return;
  TRandom32& random = TransitionRandom();
  for (int y = 0; y < f.Output.Height(); ++y) {
    std::uint8_t* out = f.Output.ScanLine(y);
    const std::uint8_t* destination = f.Destination.ScanLine(y);
    for (std::int64_t i = 0; i < count; ++i) {
      const std::size_t offset = static_cast<std::size_t>(random.Below(static_cast<std::uint32_t>(width))) * 3;
      out[offset] = destination[offset];
      out[offset + 1] = destination[offset + 1];
      out[offset + 2] = destination[offset + 2];
    }
  }
}

void RandomBoxes(TTransitionFrames& f, int k, int n, std::int64_t& placedCount) {
  if (k == 0) {
    CopyWhole(f.Output, f.Source);
    return;
  }
  const int width = f.Output.Width(), height = f.Output.Height();
  const std::int64_t boxesPerPass = (std::int64_t{width} * height) / 64;
  const std::int64_t target = Nearest64(Ratio(boxesPerPass * k * k, n));
  const std::int64_t count = target - placedCount;
  placedCount = target;
  TRandom32& random = TransitionRandom();
  for (std::int64_t i = 0; i < count; ++i) {
    const int x = static_cast<int>(random.Below(static_cast<std::uint32_t>(width)) & ~7u);
    const int y = static_cast<int>(random.Below(static_cast<std::uint32_t>(height)) & ~7u);
    CopySameRect(f.Output, f.Destination, x, y, 8, 8);
  }
}

void CentreEffect(TTransitionEffect effect, TTransitionFrames& f, int k, int n) {
  const int width = f.Output.Width(), height = f.Output.Height();
  const int cx = width / 2, cy = height / 2;
  const bool growing = effect == TTransitionEffect::Center1 || effect == TTransitionEffect::CenterZoom1;
  const int step = growing ? k : n - k;
  const int a = Trunc(Ratio(std::int64_t{step} * cx, n));
  const int b = Trunc(Ratio(std::int64_t{step} * cy, n));
  const int w = Trunc(Ratio(std::int64_t{step} * width, n));
  const int h = Trunc(Ratio(std::int64_t{step} * height, n));
  const TBitmap& inner = growing ? f.Destination : f.Source;
  if (growing) {
    if (k == 0) CopyWhole(f.Output, f.Source);
  } else {
    CopyWhole(f.Output, f.Destination);
  }
  if (w <= 0 || h <= 0) return;
  if (effect == TTransitionEffect::Center1 || effect == TTransitionEffect::Center2) {
    CopySameRect(f.Output, inner, cx - a, cy - b, w, h);
  } else {
    f.Output.StretchDraw(TRect{cx - a, cy - b, cx - a + w, cy - b + h}, inner, TRect{0, 0, width, height});
  }
}

void CheckFrames(int k, int n, const TTransitionFrames& f) {
  // The step count is at most 50 in the program; the bound keeps every product in range.
  if (n < 1 || n > MaxRenderSteps)
    throw EClipvaneError("Transition step count " + std::to_string(n) + " is outside 1 to " +
                         std::to_string(MaxRenderSteps));
  if (k < 0 || k > n)
    throw EClipvaneError("Transition step " + std::to_string(k) + " is outside 0 to " + std::to_string(n));
  const TBitmap& o = f.Output;
  if (o.Empty()) throw EClipvaneError("Transition pictures are empty");
  for (const TBitmap* picture : {&f.Source, &f.Destination, &f.Middle, &f.Output}) {
    if (picture->Width() != o.Width() || picture->Height() != o.Height())
      throw EClipvaneError("Transition pictures differ in size");
    if (picture->PixelFormat() != TPixelFormat::pf24bit)
      throw EClipvaneError("Transition pictures must have 24 bits per pixel");
  }
}

}  // namespace

const std::array<std::string_view, TransitionEffectCount>& TransitionEffectNames() {
  static constexpr std::array<std::string_view, TransitionEffectCount> names = {
      "CrossDissolve",  "FadeOutIn",      "LeftRight",      "RightLeft",       "UpDown",         "DownUp",
      "FromUpLeft",     "FromUpRight",    "FromBottomLeft", "FromBottomRight", "MoveLeftRight1", "MoveLeftRight2",
      "MoveRightLeft1", "MoveRightLeft2", "MoveUpDown1",    "MoveUpDown2",     "MoveDownUp1",    "MoveDownUp2",
      "RandomPoints",   "RandomBoxes",    "Center1",        "Center2",         "CenterZoom1",    "CenterZoom2",
  };
  return names;
}

TTransitionEffect TransitionEffectFromName(std::string_view text) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  const auto& names = TransitionEffectNames();
  for (int i = 0; i < TransitionEffectCount; ++i) {
    const std::string_view name = names[static_cast<std::size_t>(i)];
    if (name.size() == text.size() &&
        std::equal(name.begin(), name.end(), text.begin(), [&](char x, char y) { return lower(x) == lower(y); }))
      return static_cast<TTransitionEffect>(i);
  }
  return static_cast<TTransitionEffect>(-1);
}

std::uint32_t TimeOfDaySeed() {
  using namespace std::chrono;
  // The system clock counts days of exactly 86400 s since midnight UTC, so the remainder is
  // the UTC time of day.
  const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  constexpr long long millisecondsPerDay = 86400LL * 1000;
  long long ofDay = sinceEpoch % millisecondsPerDay;
  if (ofDay < 0) ofDay += millisecondsPerDay;
  return static_cast<std::uint32_t>(ofDay);
}

TRandom32& TransitionRandom() {
  static TRandom32 generator(TimeOfDaySeed());
  return generator;
}

void RenderTransitionStep(TTransitionEffect effect, int k, int n, TTransitionFrames& frames,
                          std::int64_t& placedCount) {
  CheckFrames(k, n, frames);
  switch (effect) {
    case TTransitionEffect::CrossDissolve:
      CrossDissolve(frames, k, n);
      break;
    case TTransitionEffect::FadeOutIn:
      FadeOutIn(frames, k, n);
      break;
    case TTransitionEffect::LeftRight:
    case TTransitionEffect::RightLeft:
    case TTransitionEffect::UpDown:
    case TTransitionEffect::DownUp:
      Wipe(effect, frames, k, n);
      break;
    case TTransitionEffect::FromUpLeft:
    case TTransitionEffect::FromUpRight:
    case TTransitionEffect::FromBottomLeft:
    case TTransitionEffect::FromBottomRight:
      SlideFromCorner(effect, frames, k, n);
      break;
    case TTransitionEffect::MoveLeftRight1:
    case TTransitionEffect::MoveLeftRight2:
    case TTransitionEffect::MoveRightLeft1:
    case TTransitionEffect::MoveRightLeft2:
      MoveHorizontally(effect, frames, k, n);
      break;
    case TTransitionEffect::MoveUpDown1:
    case TTransitionEffect::MoveUpDown2:
    case TTransitionEffect::MoveDownUp1:
    case TTransitionEffect::MoveDownUp2:
      MoveVertically(effect, frames, k, n);
      break;
    case TTransitionEffect::RandomPoints:
      RandomPoints(frames, k, n, placedCount);
      break;
    case TTransitionEffect::RandomBoxes:
      RandomBoxes(frames, k, n, placedCount);
      break;
    case TTransitionEffect::Center1:
    case TTransitionEffect::Center2:
    case TTransitionEffect::CenterZoom1:
    case TTransitionEffect::CenterZoom2:
      CentreEffect(effect, frames, k, n);
      break;
    default:
      break;  // no such effect: O keeps what it held
  }
}

}  // namespace clipvane
