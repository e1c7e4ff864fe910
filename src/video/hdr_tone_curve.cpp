// BT.2390's EETF from the video's peak down to SDR white, with the black level at 0 on both
// sides (so its black lift is nothing).
#include "video/hdr_tone_curve.h"

#include <algorithm>
#include <cmath>

namespace clipvane::video {

namespace {

// SMPTE ST 2084's constants.
constexpr double kM1 = 2610.0 / 16384;
constexpr double kM2 = 2523.0 / 4096 * 128;
constexpr double kC1 = 3424.0 / 4096;
constexpr double kC2 = 2413.0 / 4096 * 32;
constexpr double kC3 = 2392.0 / 4096 * 32;
constexpr double kPqPeakNits = 10000;

}  // namespace

double PqNits(double signal) {
  const double power = std::pow(std::clamp(signal, 0.0, 1.0), 1 / kM2);
  return kPqPeakNits * std::pow(std::max(power - kC1, 0.0) / (kC2 - kC3 * power), 1 / kM1);
}

double PqSignal(double nits) {
  const double power = std::pow(std::clamp(nits / kPqPeakNits, 0.0, 1.0), kM1);
  return std::pow((kC1 + kC2 * power) / (1 + kC3 * power), kM2);
}

THdrToneCurve::THdrToneCurve(double peakNits) {
  peakSignal_ = PqSignal(std::clamp(peakNits, kSdrWhiteNits, kPqPeakNits));
  whiteSpan_ = PqSignal(kSdrWhiteNits) / peakSignal_;
  kneeSpan_ = std::min(1.0, 1.5 * whiteSpan_ - 0.5);
  knee_ = std::min(1.0, PqNits(kneeSpan_ * peakSignal_) / kSdrWhiteNits);
}

double THdrToneCurve::Map(double light) const {
  if (light <= knee_) return std::max(light, 0.0);
  if (kneeSpan_ >= 1) return std::min(light, 1.0);
  const double span = PqSignal(light * kSdrWhiteNits) / peakSignal_;
  if (span >= 1) return 1;
  // The Hermite spline from the knee (slope 1) to SDR white at the peak (slope 0).
  const double t = (span - kneeSpan_) / (1 - kneeSpan_);
  const double t2 = t * t, t3 = t2 * t;
  const double mapped =
      (2 * t3 - 3 * t2 + 1) * kneeSpan_ + (t3 - 2 * t2 + t) * (1 - kneeSpan_) + (-2 * t3 + 3 * t2) * whiteSpan_;
  return std::min(1.0, PqNits(mapped * peakSignal_) / kSdrWhiteNits);
}

}  // namespace clipvane::video
