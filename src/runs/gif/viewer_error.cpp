// Bilinear scaling to the source's size, and the squared error against it.
#include "runs/gif/viewer_error.h"

#include <algorithm>
#include <cmath>

namespace clipvane {

namespace {

// The picture as 24 bits: itself, or drawn into `scratch`.
const TBitmap& As24Bit(const TBitmap& picture, TBitmap& scratch) {
  if (picture.PixelFormat() == TPixelFormat::pf24bit) return picture;
  if (scratch.Width() != picture.Width() || scratch.Height() != picture.Height() ||
      scratch.PixelFormat() != TPixelFormat::pf24bit)
    scratch = TBitmap(picture.Width(), picture.Height(), TPixelFormat::pf24bit);
  scratch.Draw(0, 0, picture);
  return scratch;
}

// Pixel centres line up: target pixel t lies at (t + 0.5) * from / to - 0.5 in the source.
void ScalingTable(int from, int to, std::vector<int>& first, std::vector<int>& weight) {
  first.resize(static_cast<std::size_t>(to));
  weight.resize(static_cast<std::size_t>(to));
  for (int t = 0; t < to; ++t) {
    const double at = std::clamp((t + 0.5) * from / to - 0.5, 0.0, static_cast<double>(from - 1));
    const int left = std::min(static_cast<int>(at), std::max(from - 2, 0));
    first[static_cast<std::size_t>(t)] = left;
    weight[static_cast<std::size_t>(t)] = from > 1 ? static_cast<int>(std::lround((at - left) * 256)) : 0;
  }
}

}  // namespace

void TViewerError::PrepareScaling(int fromWidth, int fromHeight, int toWidth, int toHeight) {
  if (fromWidth == fromWidth_ && fromHeight == fromHeight_ && toWidth == toWidth_ && toHeight == toHeight_) return;
  fromWidth_ = fromWidth;
  fromHeight_ = fromHeight;
  toWidth_ = toWidth;
  toHeight_ = toHeight;
  ScalingTable(fromWidth, toWidth, columns_, columnWeights_);
  ScalingTable(fromHeight, toHeight, rows_, rowWeights_);
  upper_.resize(static_cast<std::size_t>(toWidth) * 3);
  lower_.resize(static_cast<std::size_t>(toWidth) * 3);
}

void TViewerError::Add(const TBitmap& shown, const TBitmap& source, int rowStep) {
  if (shown.Empty() || source.Empty()) return;
  const TBitmap& from = As24Bit(shown, shown24_);
  const TBitmap& to = As24Bit(source, source24_);
  const int width = to.Width(), height = to.Height();
  const int step = std::max(rowStep, 1);
  PrepareScaling(from.Width(), from.Height(), width, height);
  const bool sameSize = from.Width() == width && from.Height() == height;
  const bool wide = from.Width() > 1;

  // One source row scaled across to the target width, 256 times its values.
  const auto across = [&](int row, std::vector<std::int32_t>& out) {
    const std::uint8_t* in = from.ScanLine(row);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* a = in + 3 * columns_[static_cast<std::size_t>(x)];
      const std::uint8_t* b = wide ? a + 3 : a;
      const int w = columnWeights_[static_cast<std::size_t>(x)];
      for (int c = 0; c < 3; ++c) out[static_cast<std::size_t>(3 * x + c)] = a[c] * (256 - w) + b[c] * w;
    }
  };
  double sum = 0;
  std::uint64_t rows = 0;
  int upperRow = -1, lowerRow = -1;
  for (int y = step / 2; y < height; y += step, ++rows) {
    const std::uint8_t* target = to.ScanLine(y);
    std::int64_t rowSum = 0;
    if (sameSize) {
      const std::uint8_t* in = from.ScanLine(y);
      for (int i = 0; i < 3 * width; ++i) {
        const int d = in[i] - target[i];
        rowSum += d * d;
      }
    } else {
      const int top = rows_[static_cast<std::size_t>(y)];
      const int bottom = from.Height() > 1 ? top + 1 : top;
      if (upperRow != top) {
        if (lowerRow == top) std::swap(upper_, lower_), std::swap(upperRow, lowerRow);
        else across(top, upper_);
        upperRow = top;
      }
      if (lowerRow != bottom) {
        across(bottom, lower_);
        lowerRow = bottom;
      }
      const std::int64_t w = rowWeights_[static_cast<std::size_t>(y)];
      for (int i = 0; i < 3 * width; ++i) {
        // 256 x 256 times the value, rounded back to a whole byte as a display would.
        const std::int64_t value =
            (upper_[static_cast<std::size_t>(i)] * (256 - w) + lower_[static_cast<std::size_t>(i)] * w + 32768) >> 16;
        const std::int64_t d = value - target[i];
        rowSum += d * d;
      }
    }
    sum += static_cast<double>(rowSum);
  }
  squaredError_ += sum;
  channels_ += rows * static_cast<std::uint64_t>(width) * 3;
}

void TViewerError::Add(const TViewerError& other) {
  squaredError_ += other.squaredError_;
  channels_ += other.channels_;
}

double TViewerError::Psnr() const {
  if (channels_ == 0 || squaredError_ <= 0) return kViewerPsnrCeiling;
  const double mean = squaredError_ / static_cast<double>(channels_);
  return std::min(10 * std::log10(255.0 * 255.0 / mean), kViewerPsnrCeiling);
}

}  // namespace clipvane
