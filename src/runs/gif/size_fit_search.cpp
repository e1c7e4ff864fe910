// The model behind the fit: bytes = bytes at the scale x sampling factor x lossy factor, PSNR
// = PSNR at the scale - sampling drop - lossy drop; then the model's best point, measured and
// moved until it fits.
#include "runs/gif/size_fit_search.h"

#include <algorithm>
#include <cmath>

namespace clipvane {

namespace {

// The small picture the effects of sampling and lossy compression are measured on: this share
// of the base sides (a sixth of the pixels), so measuring them costs little.
constexpr double kProbeScale = 0.4;
// Measures of the chosen point before the next best choice is tried.
constexpr int kSettleSteps = 3;
// A measured point this close under the target is as close as the sample can tell.
constexpr double kCloseEnough = 0.94;

double SquaredErrorOf(double psnr) { return 255.0 * 255.0 / std::pow(10.0, psnr / 10); }

double PsnrOf(double squaredError) { return squaredError > 0 ? 10 * std::log10(255.0 * 255.0 / squaredError) : 99.0; }

}  // namespace

TFitSearch::TFitSearch(TFitSpace space, TEvaluate evaluate) : space_(std::move(space)), evaluate_(std::move(evaluate)) {
  if (space_.Samplings.empty()) space_.Samplings = {1};
  if (space_.LossyLevels.empty()) space_.LossyLevels = {0};
}

double TFitSearch::MinScale() const {
  if (!space_.SizeFree) return 1;
  const int shorter = std::max(std::min(space_.BaseWidth, space_.BaseHeight), 1);
  return std::min(1.0, static_cast<double>(space_.MinSide) / shorter);
}

TFitPoint TFitSearch::AtScale(double scale, int sampling, int lossy, int colors) const {
  TFitPoint point;
  const double s = space_.SizeFree ? std::clamp(scale, MinScale(), 1.0) : 1.0;
  point.Width = std::max(1, static_cast<int>(std::lround(space_.BaseWidth * s)));
  point.Height = std::max(1, static_cast<int>(std::lround(space_.BaseHeight * s)));
  point.Sampling = sampling;
  point.Lossy = lossy;
  point.MaxColors = colors;
  return point;
}

TFitMeasure TFitSearch::Measure(const TFitPoint& point) {
  const auto key = std::make_tuple(point.Width, point.Height, point.Sampling, point.Lossy, point.MaxColors);
  const auto found = measured_.find(key);
  if (found != measured_.end()) return found->second;
  const TFitMeasure measure = evaluate_(point);
  measured_.emplace(key, measure);
  return measure;
}

void TFitSearch::Probe() {
  if (probed_) return;
  probed_ = true;
  const int sampling = space_.Samplings.front(), lossy = space_.LossyLevels.front();
  const double probe = space_.SizeFree ? std::max(kProbeScale, MinScale()) : 1.0;
  // The sizes: the probe, the whole, and two between (the error of a natural picture jumps
  // as soon as it is scaled at all, then grows slowly).
  std::vector<double> scales = {1.0};
  if (probe < 1) scales = {probe, std::sqrt(probe), 0.85, 1.0};
  for (const double scale : scales) {
    const TFitPoint point = AtScale(scale, sampling, lossy, 255);
    const double exact = std::min(1.0, static_cast<double>(point.Width) / std::max(space_.BaseWidth, 1));
    if (!curve_.empty() && exact <= curve_.back().first + 1e-9) continue;
    const TFitMeasure measure = Measure(point);
    curve_.emplace_back(exact, TFitMeasure{measure.Bytes, SquaredErrorOf(measure.Psnr)});
  }
  probeScale_ = curve_.front().first;
  const auto effect = [&](double scale, int withSampling, int withLossy) {
    const TFitMeasure base = Measure(AtScale(scale, sampling, lossy, 255));
    const TFitMeasure measure = Measure(AtScale(scale, withSampling, withLossy, 255));
    return TEffect{measure.Bytes / std::max(base.Bytes, 1.0),
                   std::max(SquaredErrorOf(measure.Psnr) - SquaredErrorOf(base.Psnr), 0.0)};
  };
  samplingEffects_[sampling] = TEffect{};
  lossyEffects_[lossy] = TEffect{};
  // On the small picture only: fewer frames cost a moving picture more at its whole size, and
  // a point the model takes for better than it is shows itself when it is settled.
  for (std::size_t i = 1; i < space_.Samplings.size(); ++i)
    samplingEffects_[space_.Samplings[i]] = effect(probeScale_, space_.Samplings[i], lossy);
  for (std::size_t i = 1; i < space_.LossyLevels.size(); ++i)
    lossyEffects_[space_.LossyLevels[i]] = effect(probeScale_, sampling, space_.LossyLevels[i]);
}

TFitMeasure TFitSearch::AtScaleModel(double scale) const {
  if (curve_.size() == 1) return curve_.front().second;
  // Bytes follow a power of the scale, the error a line, segment by segment; below the
  // smallest size the first segment goes on.
  std::size_t upper = 1;
  while (upper + 1 < curve_.size() && curve_[upper].first < scale) ++upper;
  const auto& [s0, m0] = curve_[upper - 1];
  const auto& [s1, m1] = curve_[upper];
  const double t = std::log(scale / s0) / std::log(s1 / s0);
  const double exponent = std::log(std::max(m1.Bytes, 1.0) / std::max(m0.Bytes, 1.0));
  const double line = (scale - s0) / (s1 - s0);
  return {std::max(m0.Bytes, 1.0) * std::exp(exponent * t), std::max(m0.Psnr + (m1.Psnr - m0.Psnr) * line, 0.0)};
}

std::optional<TFitSearch::TPrediction> TFitSearch::Predict(double target, const TEffect& sampling,
                                                           const TEffect& lossy) const {
  const auto bytes = [&](double scale) { return AtScaleModel(scale).Bytes * sampling.ByteFactor * lossy.ByteFactor; };
  const double lowest = MinScale();
  if (bytes(lowest) > target) return std::nullopt;
  double low = lowest, high = 1;
  if (bytes(high) <= target) {
    low = high;
  } else {
    for (int i = 0; i < 40; ++i) {
      const double middle = std::sqrt(low * high);
      (bytes(middle) <= target ? low : high) = middle;
    }
  }
  const double error = AtScaleModel(low).Psnr + sampling.AddedError + lossy.AddedError;
  return TPrediction{low, PsnrOf(error)};
}

std::optional<std::pair<TFitPoint, TFitMeasure>> TFitSearch::Settle(double target, double scale, int sampling,
                                                                    int lossy, int colors) {
  std::optional<std::pair<TFitPoint, TFitMeasure>> fits;
  TFitPoint point = AtScale(scale, sampling, lossy, colors);
  for (int step = 0; step < kSettleSteps; ++step) {
    const TFitMeasure measure = Measure(point);
    if (measure.Bytes <= target && (!fits || point.Width > fits->first.Width)) fits = std::pair{point, measure};
    if (!space_.SizeFree || (measure.Bytes <= target && measure.Bytes >= kCloseEnough * target)) break;
    // Bytes go about as the pixels: move the size by the square root of how far off it is.
    const double current = static_cast<double>(point.Width) / space_.BaseWidth;
    const double next = std::clamp(current * std::sqrt(target * 0.98 / std::max(measure.Bytes, 1.0)), MinScale(), 1.0);
    const TFitPoint nextPoint = AtScale(next, sampling, lossy, colors);
    if (nextPoint == point || (fits && nextPoint.Width <= fits->first.Width)) break;
    point = nextPoint;
  }
  return fits;
}

std::optional<std::pair<TFitPoint, TFitMeasure>> TFitSearch::Choose(double target) {
  Probe();
  // Every setting's best size by the model, best first.
  struct TCandidate {
    double Psnr;
    double Scale;
    int Sampling;
    int Lossy;
  };
  std::vector<TCandidate> candidates;
  for (const auto& [sampling, samplingEffect] : samplingEffects_)
    for (const auto& [lossy, lossyEffect] : lossyEffects_)
      if (const auto predicted = Predict(target, samplingEffect, lossyEffect))
        candidates.push_back({predicted->Psnr, predicted->Scale, sampling, lossy});
  std::sort(candidates.begin(), candidates.end(),
            [](const TCandidate& a, const TCandidate& b) { return a.Psnr > b.Psnr; });
  // The model is right about the order more often than about the bytes: the first two that
  // fit are settled and the better one taken; a setting the model puts below the best
  // measured is not tried.
  std::optional<std::pair<TFitPoint, TFitMeasure>> best;
  int settled = 0;
  bool plainSettled = false;
  const auto plain = [&](const TCandidate& candidate) {
    return candidate.Sampling == space_.Samplings.front() && candidate.Lossy == space_.LossyLevels.front();
  };
  const auto settle = [&](const TCandidate& candidate) {
    plainSettled = plainSettled || plain(candidate);
    const auto found = Settle(target, candidate.Scale, candidate.Sampling, candidate.Lossy, 255);
    if (found && (!best || found->second.Psnr > best->second.Psnr)) best = found;
    return found.has_value();
  };
  for (const TCandidate& candidate : candidates) {
    if (best && candidate.Psnr < best->second.Psnr) break;
    if (settle(candidate) && ++settled == 2) break;
  }
  // The effects of sampling and lossy compression are measured on a small picture, where they
  // cost less than at a larger size: the GIF that gives up nothing but size is always measured
  // too, so a model that overrates them cannot pass it by.
  if (!plainSettled)
    for (const TCandidate& candidate : candidates)
      if (plain(candidate)) {
        settle(candidate);
        break;
      }
  if (best) return best;
  // Nothing fits with every colour: fewer colours at the smallest settings.
  for (const int colors : space_.FewerColors) {
    const auto fewer = Settle(target, MinScale(), space_.Samplings.back(), space_.LossyLevels.back(), colors);
    if (fewer) return fewer;
  }
  return std::nullopt;
}

std::pair<TFitPoint, TFitMeasure> TFitSearch::Smallest() {
  const int colors = space_.FewerColors.empty() ? 255 : space_.FewerColors.back();
  const TFitPoint point = AtScale(MinScale(), space_.Samplings.back(), space_.LossyLevels.back(), colors);
  return {point, Measure(point)};
}

}  // namespace clipvane
