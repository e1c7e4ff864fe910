// Lossy LZW: the string table as a tree of codes, searched for the longest string that
// stands for the next pixels within the colour tolerance.
#include "gif/lossy_lzw.h"

#include <algorithm>
#include <cmath>

#include "gif/gif_exception.h"

namespace clipvane {

namespace {

constexpr int kMaxCode = 4095;
constexpr int kTableSize = 4096;
constexpr int kChildSlotBits = 13;
constexpr std::uint32_t kChildMask = (1u << kChildSlotBits) - 1;
constexpr std::uint32_t kFreeSlot = 0xFFFFFFFFu;

std::uint32_t ChildSlot(int prefix, std::uint8_t pixel) {
  const auto key = (static_cast<std::uint32_t>(prefix) << 8) | pixel;
  return (key * 0x9E3779B1u) >> (32 - kChildSlotBits);
}
// Strings tried after the first, greedy one (exact steps first, then the nearest colours):
// enough to find a longer string where the greedy one ends early, without a search a pixel
// that grows with the table.
constexpr int kSearchBudget = 12;

int SquaredDistance(const TGIFColor& a, const TGIFColor& b) {
  const int dr = a.Red - b.Red, dg = a.Green - b.Green, db = a.Blue - b.Blue;
  return dr * dr + dg * dg + db * db;
}

}  // namespace

double LossyColorTolerance(int level) { return 0.45 * std::clamp(level, 0, kLossyLevelMaximum); }

int LossyErrorAllowance(int level) {
  const double step = 0.3 * std::clamp(level, 0, kLossyLevelMaximum);
  return static_cast<int>(step * step);
}

TLossyLZWEncoder::TLossyLZWEncoder()
    : nodes_(kTableSize),
      children_(std::size_t{1} << kChildSlotBits, kFreeSlot),
      close_(256 * 4, 0),
      nearStart_(257, 0) {}

void TLossyLZWEncoder::SetColors(std::span<const TGIFColor> colors, int transparentIndex, int level) {
  level_ = std::clamp(level, 0, kLossyLevelMaximum);
  target_ = nullptr;
  allowance_ = LossyErrorAllowance(level_);
  const double tolerance = LossyColorTolerance(level_);
  const auto limit = static_cast<int>(std::floor(tolerance * tolerance));
  const int count = static_cast<int>(std::min<std::size_t>(colors.size(), 256));
  colors_.assign(colors.begin(), colors.begin() + count);
  colors_.resize(256);
  std::fill(close_.begin(), close_.end(), 0);
  nearList_.clear();
  for (int a = 0; a < 256; ++a) {
    nearStart_[static_cast<std::size_t>(a)] = static_cast<std::uint32_t>(nearList_.size());
    if (level_ == 0 || a >= count || a == transparentIndex) continue;
    for (int b = 0; b < count; ++b) {
      if (b == a || b == transparentIndex ||
          SquaredDistance(colors_[static_cast<std::size_t>(a)], colors_[static_cast<std::size_t>(b)]) > limit)
        continue;
      close_[static_cast<std::size_t>(a) * 4 + static_cast<std::size_t>(b >> 6)] |= std::uint64_t{1} << (b & 63);
      nearList_.push_back(static_cast<std::uint8_t>(b));
    }
  }
  nearStart_[256] = static_cast<std::uint32_t>(nearList_.size());
}

void TLossyLZWEncoder::SetTarget(const TBitmap* picture, int left, int top) {
  target_ = picture;
  targetLeft_ = left;
  targetTop_ = top;
}

int TLossyLZWEncoder::Child(int prefix, std::uint8_t pixel) const {
  const std::uint32_t tagged = (static_cast<std::uint32_t>(prefix) << 20) | (static_cast<std::uint32_t>(pixel) << 12);
  for (std::uint32_t slot = ChildSlot(prefix, pixel);; slot = (slot + 1) & kChildMask) {
    const std::uint32_t value = children_[slot];
    if (value == kFreeSlot) return -1;
    if ((value & ~0xFFFu) == tagged) return static_cast<int>(value & 0xFFF);
  }
}

void TLossyLZWEncoder::StoreChild(int prefix, std::uint8_t pixel, int code) {
  std::uint32_t slot = ChildSlot(prefix, pixel);
  while (children_[slot] != kFreeSlot) slot = (slot + 1) & kChildMask;
  children_[slot] = (static_cast<std::uint32_t>(prefix) << 20) | (static_cast<std::uint32_t>(pixel) << 12) |
                    static_cast<std::uint32_t>(code);
}

void TLossyLZWEncoder::ResetTable() {
  std::fill(children_.begin(), children_.end(), kFreeSlot);
  for (int root = 0; root < clearCode_; ++root) {
    TNode& node = nodes_[static_cast<std::size_t>(root)];
    node.Parent = -1;
    node.FirstChild = -1;
    node.NextSibling = -1;
    node.Children = 0;
    node.Pixel = static_cast<std::uint8_t>(root);
  }
  nextFree_ = firstFreeCode_;
}

void TLossyLZWEncoder::AddString(int prefix, std::uint8_t pixel) {
  const int code = nextFree_++;
  TNode& parent = nodes_[static_cast<std::size_t>(prefix)];
  TNode& node = nodes_[static_cast<std::size_t>(code)];
  node.Parent = static_cast<std::int16_t>(prefix);
  node.FirstChild = -1;
  node.NextSibling = parent.FirstChild;
  node.Children = 0;
  node.Pixel = pixel;
  parent.FirstChild = static_cast<std::int16_t>(code);
  ++parent.Children;
  // A string the search stopped short of may be there already: the decoder numbers the
  // new code all the same, and either code decodes to the string.
  if (Child(prefix, pixel) < 0) StoreChild(prefix, pixel, code);
}

void TLossyLZWEncoder::Output(int code, int nextFree) {
  OutputBits(code);
  // As the decoder: it widens its codes once its next free code passes the current width.
  if (nextFree > highestCode_ || clearPending_) {
    if (clearPending_) {
      ResetWidth();
      clearPending_ = false;
    } else {
      ++codeWidth_;
      highestCode_ = codeWidth_ >= 12 ? 4096 : (1 << codeWidth_) - 1;
    }
  }
}

int TLossyLZWEncoder::LongestMatch(const std::uint8_t* pixels, std::size_t at, std::size_t count, int& length) {
  TStep best{pixels[at], 1, 0};
  std::vector<TSearchFrame>& frames = frames_;
  frames.clear();
  const bool targeted = !wanted_.empty();

  // What writing `pixel` at `position` adds to the error, or -1 when it may not go there.
  const auto costOf = [&](std::uint8_t pixel, std::size_t position) -> std::int64_t {
    const std::uint8_t own = pixels[position];
    if (pixel == own) return 0;
    if (!Close(own, pixel)) return -1;
    const int cost = SquaredDistance(colors_[pixel], targeted ? wanted_[position] : colors_[own]) -
                     (targeted ? ownError_[position] : 0);
    return cost <= allowance_ ? cost : -1;
  };
  // The next child of a frame's node that may stand for the pixel after it, or -1: the exact
  // one first, then the others as they come (made one at a time, since most are never tried).
  const auto next = [&](TSearchFrame& frame) -> int {
    const std::size_t position = at + static_cast<std::size_t>(frame.Step.Length);
    if (position >= count) return -1;
    const std::uint8_t own = pixels[position];
    if (frame.Mode == TSearchFrame::kExact) {
      const TNode& node = nodes_[static_cast<std::size_t>(frame.Step.Node)];
      const std::uint32_t nearCount = nearStart_[own + 1u] - nearStart_[own];
      if (nearCount == 0 || node.Children == 0) {
        frame.Mode = TSearchFrame::kDone;
      } else if (node.Children < nearCount) {
        frame.Mode = TSearchFrame::kSiblings;
        frame.Cursor = node.FirstChild;
      } else {
        frame.Mode = TSearchFrame::kNear;
        frame.Cursor = static_cast<int>(nearStart_[own]);
      }
      const int exact = Child(frame.Step.Node, own);
      if (exact >= 0) return exact;
    }
    if (frame.Mode == TSearchFrame::kSiblings) {
      while (frame.Cursor >= 0) {
        const int child = frame.Cursor;
        const std::uint8_t pixel = nodes_[static_cast<std::size_t>(child)].Pixel;
        frame.Cursor = nodes_[static_cast<std::size_t>(child)].NextSibling;
        if (pixel != own && costOf(pixel, position) >= 0) return child;
      }
    } else if (frame.Mode == TSearchFrame::kNear) {
      const auto end = static_cast<int>(nearStart_[own + 1u]);
      while (frame.Cursor < end) {
        const std::uint8_t pixel = nearList_[static_cast<std::size_t>(frame.Cursor++)];
        const int child = Child(frame.Step.Node, pixel);
        if (child >= 0 && costOf(pixel, position) >= 0) return child;
      }
    }
    frame.Mode = TSearchFrame::kDone;
    return -1;
  };

  frames.push_back({best, TSearchFrame::kExact, 0});
  int budget = kSearchBudget;
  bool backtracked = false;
  while (!frames.empty()) {
    const int code = next(frames.back());
    if (code < 0) {
      frames.pop_back();
      backtracked = true;
      continue;
    }
    if (backtracked && budget-- <= 0) break;
    const TStep& from = frames.back().Step;
    const std::size_t position = at + static_cast<std::size_t>(from.Length);
    const TStep step{code, from.Length + 1, from.Cost + costOf(nodes_[static_cast<std::size_t>(code)].Pixel, position)};
    if (step.Length > best.Length || (step.Length == best.Length && step.Cost < best.Cost)) best = step;
    frames.push_back({step, TSearchFrame::kExact, 0});
  }
  length = best.Length;
  return best.Node;
}

void TLossyLZWEncoder::CompressBody() {
  walk_.clear();
  wanted_.clear();
  ownError_.clear();
  const std::uint8_t* const base = pixels_;
  WalkPixels([&](const std::uint8_t* pixels, std::size_t count) { walk_.insert(walk_.end(), pixels, pixels + count); });
  for (const std::uint8_t pixel : walk_) CheckPixel(pixel);
  const std::size_t count = walk_.size();
  if (target_ != nullptr && level_ > 0 && target_->PixelFormat() == TPixelFormat::pf24bit && targetLeft_ >= 0 &&
      targetTop_ >= 0 && targetLeft_ + width_ <= target_->Width() && targetTop_ + height_ <= target_->Height()) {
    wanted_.reserve(count);
    ownError_.reserve(count);
    WalkPixels([&](const std::uint8_t* pixels, std::size_t run) {
      // A run is whole rows, or one row when interlaced.
      for (std::size_t k = 0; k < run; ++k) {
        const std::size_t offset = static_cast<std::size_t>(pixels - base) + k;
        const int x = static_cast<int>(offset % static_cast<std::size_t>(width_));
        const int y = static_cast<int>(offset / static_cast<std::size_t>(width_));
        const std::uint8_t* bgr = target_->ScanLine(targetTop_ + y) + 3 * (targetLeft_ + x);
        const TGIFColor colour{bgr[2], bgr[1], bgr[0]};
        wanted_.push_back(colour);
        ownError_.push_back(SquaredDistance(colors_[pixels[k]], colour));
      }
    });
  }
  std::vector<std::uint8_t> decodedWalk(count);

  nextFree_ = firstFreeCode_;
  ResetTable();
  clearPending_ = true;
  Output(clearCode_, nextFree_);
  std::size_t at = 0;
  while (at < count) {
    int length = 1;
    const int code = LongestMatch(walk_.data(), at, count, length);
    int node = code;
    for (std::size_t k = at + static_cast<std::size_t>(length); k-- > at;) {
      decodedWalk[k] = nodes_[static_cast<std::size_t>(node)].Pixel;
      node = nodes_[static_cast<std::size_t>(node)].Parent;
    }
    Output(code, nextFree_);
    at += static_cast<std::size_t>(length);
    if (at == count) break;
    // The decoder adds the string just written plus the first pixel of the next one, which
    // is always the pixel itself.
    if (nextFree_ < kMaxCode) {
      AddString(code, walk_[at]);
    } else {
      clearPending_ = true;
      Output(clearCode_, nextFree_);
      ResetTable();
    }
  }
  target_ = nullptr;

  // Back from walking order to rows.
  decoded_.resize(count);
  std::size_t k = 0;
  WalkPixels([&](const std::uint8_t* pixels, std::size_t run) {
    std::copy_n(decodedWalk.data() + k, run, decoded_.data() + (pixels - base));
    k += run;
  });
}

}  // namespace clipvane
