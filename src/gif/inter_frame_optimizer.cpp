// The change rectangle, the colour table a frame is written with, and the screen that
// frames build on.
#include "gif/inter_frame_optimizer.h"

#include <algorithm>
#include <array>

namespace clipvane {

namespace {

std::uint32_t KeyOf(const TGIFColor& c) {
  return static_cast<std::uint32_t>(c.Red) | (static_cast<std::uint32_t>(c.Green) << 8) |
         (static_cast<std::uint32_t>(c.Blue) << 16);
}

}  // namespace

void TInterFrameOptimizer::Reset(bool globalTable, std::span<const TGIFColor> seed) {
  screen_ = TBitmap();
  globalAllowed_ = globalTable;
  seed_.assign(seed.begin(), seed.end());
  global_.clear();
  globalIndex_.clear();
  globalTransparent_ = -1;
}

void TInterFrameOptimizer::MakeGlobalTable(const TQuantizedFrame& frame) {
  global_.clear();
  globalIndex_.clear();
  auto add = [&](const TGIFColor& colour) {
    if (globalIndex_.emplace(KeyOf(colour), static_cast<std::uint8_t>(global_.size())).second)
      global_.push_back(colour);
  };
  for (const TGIFColor& colour : seed_) add(colour);
  for (const TGIFColor& colour : frame.Palette) add(colour);
  if (global_.size() > 255) {
    // Too many together: the frame's own colours alone.
    global_.clear();
    globalIndex_.clear();
    for (const TGIFColor& colour : frame.Palette) add(colour);
  }
  globalTransparent_ = global_.size() < 256 ? static_cast<int>(global_.size()) : -1;
  // A full table: the image data of frames without a table of their own is then coded
  // with 8 bits, whatever the other frames' tables hold.
  global_.resize(256, TGIFColor{});
}

TOptimizedFrame TInterFrameOptimizer::Optimize(const TQuantizedFrame& frame) {
  TOptimizedFrame result;
  if (screen_.Empty()) {
    screen_ = TBitmap(frame.Width, frame.Height, TPixelFormat::pf24bit);
    result.First = true;
    result.Bounds = TRect{0, 0, frame.Width, frame.Height};
    toGlobal_.assign(256, -1);
    for (std::size_t i = 0; i < frame.Palette.size() && i < 256; ++i) toGlobal_[i] = static_cast<std::int16_t>(i);
    if (globalAllowed_) {
      MakeGlobalTable(frame);
      for (std::size_t i = 0; i < frame.Palette.size() && i < 256; ++i)
        toGlobal_[i] = globalIndex_.at(KeyOf(frame.Palette[i]));
    } else {
      result.ColorTable.assign(frame.Palette.begin(),
                               frame.Palette.begin() + std::min<std::ptrdiff_t>(frame.Palette.size(), 256));
    }
    WritePixels(frame, result.Bounds, toGlobal_, -1, result);
    return result;
  }

  const TRect bounds = frame.Changed;
  if (bounds.Width() <= 0 || bounds.Height() <= 0) {
    // Nothing changed: one kept pixel, which needs a table of one colour besides.
    const std::uint8_t* corner = screen_.ScanLine(0);
    result.Bounds = TRect{0, 0, 1, 1};
    result.ColorTable = {{corner[2], corner[1], corner[0]}, {0, 0, 0}};
    result.TransparentIndex = 1;
    result.Pixels = {1};
    return result;
  }
  result.Bounds = bounds;

  // Which indices the rectangle holds (a store a pixel, nothing to predict), whether it keeps
  // any pixel, and then the entries it uses in order of first use: that walk ends as soon as
  // it has met them all.
  std::array<std::uint8_t, 256> present{};
  for (int y = bounds.Top; y < bounds.Bottom; ++y) {
    const std::uint8_t* in = frame.Indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.Width);
    for (int x = bounds.Left; x < bounds.Right; ++x) present[in[x]] = 1;
  }
  const bool keptAny = frame.KeepIndex >= 0 && present[static_cast<std::size_t>(frame.KeepIndex & 0xFF)] != 0;
  const std::size_t distinct =
      static_cast<std::size_t>(std::count(present.begin(), present.end(), std::uint8_t{1})) - (keptAny ? 1 : 0);
  local_.assign(256, -1);
  std::vector<TGIFColor> used;
  for (int y = bounds.Top; y < bounds.Bottom && used.size() < distinct; ++y) {
    const std::uint8_t* in = frame.Indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.Width);
    for (int x = bounds.Left; x < bounds.Right; ++x) {
      const int index = in[x];
      if (index != frame.KeepIndex && local_[static_cast<std::size_t>(index)] < 0) {
        local_[static_cast<std::size_t>(index)] = static_cast<std::int16_t>(used.size());
        used.push_back(frame.Palette[static_cast<std::size_t>(index)]);
      }
    }
  }

  // The global table serves when it holds every colour used (and an entry for
  // transparency, if needed) and a local table would need 8 bits anyway.
  const std::size_t localCount = used.size() + (keptAny ? 1 : 0);
  bool global = !global_.empty() && localCount > 128 && (!keptAny || globalTransparent_ >= 0);
  if (global) {
    toGlobal_.assign(256, -1);
    for (std::size_t i = 0; i < frame.Palette.size() && global; ++i) {
      if (local_[i] < 0) continue;
      const auto found = globalIndex_.find(KeyOf(frame.Palette[i]));
      if (found == globalIndex_.end()) global = false;
      else toGlobal_[i] = found->second;
    }
  }
  if (global) {
    WritePixels(frame, bounds, toGlobal_, keptAny ? globalTransparent_ : -1, result);
    result.TransparentIndex = keptAny ? globalTransparent_ : -1;
    return result;
  }
  result.ColorTable = std::move(used);
  if (keptAny) {
    result.TransparentIndex = static_cast<int>(result.ColorTable.size());
    // Any colour will do for the transparent entry.
    result.ColorTable.push_back(result.ColorTable.empty() ? TGIFColor{} : result.ColorTable.back());
  }
  WritePixels(frame, bounds, local_, result.TransparentIndex, result);
  return result;
}

void TInterFrameOptimizer::WritePixels(const TQuantizedFrame& frame, const TRect& bounds,
                                       const std::vector<std::int16_t>& map, int transparent, TOptimizedFrame& result) {
  // What each index writes, and whether it changes the screen (a kept pixel with a
  // transparent index to write does not): tables, so that no pixel waits on a branch.
  std::array<std::uint8_t, 256> code{};
  std::array<std::uint8_t, 256> draws{};
  std::array<TGIFColor, 256> colours{};
  for (std::size_t i = 0; i < 256 && i < frame.Palette.size(); ++i) {
    code[i] = static_cast<std::uint8_t>(map[i]);
    draws[i] = 0xFF;
    colours[i] = frame.Palette[i];
  }
  if (frame.KeepIndex >= 0 && frame.KeepIndex < 256 && transparent >= 0) {
    code[static_cast<std::size_t>(frame.KeepIndex)] = static_cast<std::uint8_t>(transparent);
    draws[static_cast<std::size_t>(frame.KeepIndex)] = 0;
  }
  const std::size_t width = static_cast<std::size_t>(bounds.Width());
  result.Pixels.resize(width * static_cast<std::size_t>(bounds.Height()));
  for (int y = bounds.Top; y < bounds.Bottom; ++y) {
    const std::uint8_t* in = frame.Indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.Width);
    std::uint8_t* out = result.Pixels.data() + static_cast<std::size_t>(y - bounds.Top) * width;
    std::uint8_t* shown = screen_.ScanLine(y);
    for (int x = bounds.Left; x < bounds.Right; ++x, ++out) {
      const std::size_t index = in[x];
      *out = code[index];
      const std::uint8_t draw = draws[index];
      const TGIFColor& colour = colours[index];
      std::uint8_t* pixel = shown + 3 * x;
      pixel[0] = static_cast<std::uint8_t>((pixel[0] & ~draw) | (colour.Blue & draw));
      pixel[1] = static_cast<std::uint8_t>((pixel[1] & ~draw) | (colour.Green & draw));
      pixel[2] = static_cast<std::uint8_t>((pixel[2] & ~draw) | (colour.Red & draw));
    }
  }
}

void TInterFrameOptimizer::Reshow(const TOptimizedFrame& frame, std::span<const TGIFColor> colors) {
  const TRect& bounds = frame.Bounds;
  const auto width = static_cast<std::size_t>(bounds.Width());
  if (screen_.Empty() || frame.Pixels.size() != width * static_cast<std::size_t>(bounds.Height())) return;
  for (int y = bounds.Top; y < bounds.Bottom && y < screen_.Height(); ++y) {
    const std::uint8_t* in = frame.Pixels.data() + static_cast<std::size_t>(y - bounds.Top) * width;
    std::uint8_t* shown = screen_.ScanLine(y);
    for (int x = bounds.Left; x < bounds.Right && x < screen_.Width(); ++x, ++in) {
      if (*in == frame.TransparentIndex || *in >= colors.size()) continue;
      const TGIFColor& colour = colors[*in];
      shown[3 * x] = colour.Blue;
      shown[3 * x + 1] = colour.Green;
      shown[3 * x + 2] = colour.Red;
    }
  }
}

}  // namespace clipvane
