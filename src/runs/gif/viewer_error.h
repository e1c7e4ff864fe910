// How far what a viewer sees is from the video: a GIF picture shown at the source's size
// (scaled bilinearly, as a browser scales a picture up) against the source picture, as the
// squared error of every channel, summed over many pictures into one PSNR.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

// PSNR of a perfect match.
inline constexpr double kViewerPsnrCeiling = 99.0;

class TViewerError {
 public:
  // Adds `shown` (any pixel format, any size) scaled to the size of `source` (any pixel
  // format) against `source`, over every rowStep-th row (1: all rows; the rows are spread so
  // that each picture is sampled alike). Pictures without pixels add nothing.
  void Add(const TBitmap& shown, const TBitmap& source, int rowStep = 1);
  // Adds another sum.
  void Add(const TViewerError& other);

  double SquaredError() const { return squaredError_; }
  std::uint64_t Channels() const { return channels_; }
  // 10 log10(255^2 / mean squared error of a channel); kViewerPsnrCeiling for no error or
  // nothing added.
  double Psnr() const;

 private:
  // The scaling tables for one pair of sizes: for each target column or row the first of
  // the two source pixels it lies between and the weight (0..256) of the second.
  void PrepareScaling(int fromWidth, int fromHeight, int toWidth, int toHeight);

  double squaredError_ = 0;
  std::uint64_t channels_ = 0;
  int fromWidth_ = 0, fromHeight_ = 0, toWidth_ = 0, toHeight_ = 0;
  std::vector<int> columns_, columnWeights_, rows_, rowWeights_;
  TBitmap shown24_, source24_;
  std::vector<std::int32_t> upper_, lower_;  // two source rows scaled across, 3 channels x 256
};

}  // namespace clipvane
