// Area-average scaling in whole numbers: source pixel i spans [i * to, (i + 1) * to) and target
// pixel t spans [t * from, (t + 1) * from) on one axis, so every overlap is a whole weight and
// a target pixel's weights add up to `from`.
#include "runs/gif/smooth_scaling.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/pixel_rows.h"
#include "runs/gif/gif_conversion.h"

namespace clipvane {

namespace {

// Per target pixel, the source pixels it covers (from First, Count of them) with their weights
// in Weights[Offset ..]; the weights of a target pixel add up to the source extent `from`.
struct TSpans {
  std::vector<int> First, Count, Offset;
  std::vector<std::uint32_t> Weights;
};

TSpans Spans(int from, int to) {
  TSpans spans;
  spans.First.resize(static_cast<std::size_t>(to));
  spans.Count.resize(static_cast<std::size_t>(to));
  spans.Offset.resize(static_cast<std::size_t>(to));
  for (int t = 0; t < to; ++t) {
    const std::int64_t begin = std::int64_t{t} * from, end = begin + from;
    const auto first = static_cast<int>(begin / to);
    spans.First[static_cast<std::size_t>(t)] = first;
    spans.Offset[static_cast<std::size_t>(t)] = static_cast<int>(spans.Weights.size());
    for (std::int64_t i = first; i * to < end; ++i)
      spans.Weights.push_back(static_cast<std::uint32_t>(std::min(end, (i + 1) * to) - std::max(begin, i * to)));
    spans.Count[static_cast<std::size_t>(t)] =
        static_cast<int>(spans.Weights.size()) - spans.Offset[static_cast<std::size_t>(t)];
  }
  return spans;
}

}  // namespace

void CutAndScaleSmoothly(const TBitmap& decoded, const TRect& rect, TBitmap& picture) {
  const int sourceWidth = rect.Width(), sourceHeight = rect.Height();
  const int width = picture.Width(), height = picture.Height();
  if (picture.Empty() || sourceWidth <= 0 || sourceHeight <= 0 || decoded.Empty() || width >= sourceWidth ||
      height >= sourceHeight) {
    CutAndStretch(decoded, rect, picture);
    return;
  }
  const TSpans columns = Spans(sourceWidth, width);
  const TSpans rows = Spans(sourceHeight, height);
  // The part of the rectangle's columns inside the frame.
  const int inLeft = std::clamp(rect.Left, 0, decoded.Width()), inRight = std::clamp(rect.Right, 0, decoded.Width());

  std::vector<std::uint8_t> line(static_cast<std::size_t>(sourceWidth) * 3);
  // A source row summed across: at most 255 x sourceWidth a channel.
  std::vector<std::uint32_t> across(static_cast<std::size_t>(width) * 3);
  // Rows summed down: at most 255 x sourceWidth x sourceHeight, beyond 32 bits for large frames.
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(width) * 3);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * 3);
  TNearestColorCache cache(picture.Palette());
  const std::uint64_t total = std::uint64_t(sourceWidth) * std::uint64_t(sourceHeight);
  for (int y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const int rowCount = rows.Count[static_cast<std::size_t>(y)];
    for (int j = 0; j < rowCount; ++j) {
      const int frameRow = rect.Top + rows.First[static_cast<std::size_t>(y)] + j;
      std::fill(line.begin(), line.end(), 0);
      if (frameRow >= 0 && frameRow < decoded.Height() && inLeft < inRight)
        ReadRowBGR(decoded, frameRow, inLeft, inRight - inLeft, line.data() + 3 * (inLeft - rect.Left));
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* in = line.data() + 3 * columns.First[static_cast<std::size_t>(x)];
        const std::uint32_t* weight = columns.Weights.data() + columns.Offset[static_cast<std::size_t>(x)];
        std::uint32_t b = 0, g = 0, r = 0;
        for (int i = columns.Count[static_cast<std::size_t>(x)]; i > 0; --i, in += 3, ++weight) {
          b += *weight * in[0];
          g += *weight * in[1];
          r += *weight * in[2];
        }
        across[3 * static_cast<std::size_t>(x)] = b;
        across[3 * static_cast<std::size_t>(x) + 1] = g;
        across[3 * static_cast<std::size_t>(x) + 2] = r;
      }
      const std::uint64_t weight = rows.Weights[static_cast<std::size_t>(rows.Offset[static_cast<std::size_t>(y)] + j)];
      for (std::size_t k = 0; k < sums.size(); ++k) sums[k] += weight * across[k];
    }
    for (std::size_t k = 0; k < sums.size(); ++k) out[k] = static_cast<std::uint8_t>((sums[k] + total / 2) / total);
    if (picture.PixelFormat() == TPixelFormat::pf24bit) std::copy(out.begin(), out.end(), picture.ScanLine(y));
    else WriteRowBGR(picture, y, 0, width, out.data(), cache);
  }
}

}  // namespace clipvane
