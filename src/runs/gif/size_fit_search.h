// The search behind "Fit under": over the GIF size (keeping the aspect), the sampling rate,
// the lossy level and the colours of a frame, for the point a viewer sees best (highest PSNR)
// among those whose size stays within a target. Measuring a point means converting a sample,
// so the search measures few: what each sampling rate and lossy level does to the bytes and
// the error is measured once on a small picture, what the size does at four sizes,
// and the best point of that model is then measured itself and its size corrected until it
// fits. Points are remembered, so asking again costs nothing more.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace clipvane {

struct TFitPoint {
  int Width = 0;  // GIF size in pixels
  int Height = 0;
  int Sampling = 1;
  int Lossy = 0;
  int MaxColors = 255;
  friend bool operator==(const TFitPoint&, const TFitPoint&) = default;
};

struct TFitMeasure {
  double Bytes = 0;  // the whole GIF's, estimated
  double Psnr = 0;   // what a viewer sees against the source
};

// Where the search may go. A size not free keeps BaseWidth x BaseHeight; otherwise the scale
// runs from 1 down to the scale whose shorter side is MinSide pixels.
struct TFitSpace {
  int BaseWidth = 0;
  int BaseHeight = 0;
  bool SizeFree = true;
  int MinSide = 16;
  std::vector<int> Samplings = {1};    // the first: what a GIF that gives nothing up has
  std::vector<int> LossyLevels = {0};  // likewise
  // Tried only when nothing fits otherwise, fewest colours last.
  std::vector<int> FewerColors;
};

class TFitSearch {
 public:
  using TEvaluate = std::function<TFitMeasure(const TFitPoint&)>;
  TFitSearch(TFitSpace space, TEvaluate evaluate);

  // The point the search chooses for `target` bytes, with its measure (its bytes at most the
  // target); none when nothing in the space fits.
  std::optional<std::pair<TFitPoint, TFitMeasure>> Choose(double target);
  // The smallest GIF the space holds (smallest size, largest sampling, highest lossy level,
  // fewest colours) and its measure.
  std::pair<TFitPoint, TFitMeasure> Smallest();
  // The measure of a point (measured once).
  TFitMeasure Measure(const TFitPoint& point);
  int Measured() const { return static_cast<int>(measured_.size()); }
  // The point at `scale` of the base size (held to the space), sides at least 1.
  TFitPoint AtScale(double scale, int sampling, int lossy, int colors) const;

 private:
  // What one setting does against the same size with nothing given up: the factor on the
  // bytes and the squared error it adds (errors add, decibels do not).
  struct TEffect {
    double ByteFactor = 1;
    double AddedError = 0;
  };
  struct TPrediction {
    double Scale = 1;
    double Psnr = 0;
  };
  // Measures the bytes and PSNR at a few sizes, and the effects of the sampling rates and the
  // lossy levels on the smallest; once.
  void Probe();
  // Bytes and mean squared error at a scale with nothing given up, between the sizes measured.
  TFitMeasure AtScaleModel(double scale) const;
  // The largest scale at which the model puts the GIF of these settings within target.
  std::optional<TPrediction> Predict(double target, const TEffect& sampling, const TEffect& lossy) const;
  // Measures the point the model chose and moves its size until its bytes fit.
  std::optional<std::pair<TFitPoint, TFitMeasure>> Settle(double target, double scale, int sampling, int lossy,
                                                          int colors);
  double MinScale() const;

  TFitSpace space_;
  TEvaluate evaluate_;
  std::map<std::tuple<int, int, int, int, int>, TFitMeasure> measured_;
  bool probed_ = false;
  // (scale, bytes and mean squared error), rising scale.
  std::vector<std::pair<double, TFitMeasure>> curve_;
  double probeScale_ = 1;
  std::map<int, TEffect> samplingEffects_;
  std::map<int, TEffect> lossyEffects_;
};

}  // namespace clipvane
