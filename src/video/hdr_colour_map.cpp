// The tables of an HDR picture's colour mapping and the row walk over them.
#include "video/hdr_colour_map.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace clipvane::video {

namespace {

constexpr int kLightSteps = 4096;
// Bits of a float's mantissa the octave tables keep: 1024 entries a doubling.
constexpr int kDroppedBits = 13;
// HLG's nominal display: its OOTF's peak and system gamma (BT.2100).
constexpr double kHlgDisplayNits = 1000;
constexpr double kHlgGamma = 1.2;
// BT.709's luminance from linear R, G, B.
constexpr float kLumaRed = 0.2126f, kLumaGreen = 0.7152f, kLumaBlue = 0.0722f;

// ARIB STD-B67 (HLG): scene light from 0 to 1 of a signal from 0 to 1.
double HlgSceneLight(double signal) {
  constexpr double a = 0.17883277, b = 1 - 4 * a;
  const double c = 0.5 - a * std::log(4 * a);
  signal = std::clamp(signal, 0.0, 1.0);
  return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

}  // namespace

template <typename T>
T THdrColourMap::TOctaveTable<T>::operator()(float x) const {
  if (!(x >= Low)) return Below;  // NaN too
  if (x >= High) return Above;
  return Values[(std::bit_cast<std::uint32_t>(x) >> kDroppedBits) - Base];
}

template <typename T, typename F>
THdrColourMap::TOctaveTable<T> THdrColourMap::MakeOctaveTable(int lowExponent, int highExponent, T below, T above,
                                                              F function) {
  TOctaveTable<T> table;
  table.Low = std::ldexp(1.0f, lowExponent);
  table.High = std::ldexp(1.0f, highExponent);
  table.Below = below;
  table.Above = above;
  table.Base = std::bit_cast<std::uint32_t>(table.Low) >> kDroppedBits;
  const std::uint32_t end = std::bit_cast<std::uint32_t>(table.High) >> kDroppedBits;
  table.Values.reserve(end - table.Base);
  for (std::uint32_t entry = table.Base; entry < end; ++entry) {
    // Each entry answers for the floats between two bit patterns: its value is the one at
    // their geometric middle.
    const double from = std::bit_cast<float>(entry << kDroppedBits);
    const double to = std::bit_cast<float>((entry + 1) << kDroppedBits);
    table.Values.push_back(function(std::sqrt(from * to)));
  }
  return table;
}

THdrColourMap::THdrColourMap(THdrTransfer transfer, const std::array<float, 9>& toBt709, double peakNits)
    : transfer_(transfer),
      matrix_(toBt709),
      curve_(transfer == THdrTransfer::htHlg ? kHlgDisplayNits : peakNits),
      knee_(static_cast<float>(curve_.Knee())) {
  light_.resize(kLightSteps + 2);
  for (int i = 0; i <= kLightSteps + 1; ++i) {
    const double signal = std::min(1.0, static_cast<double>(i) / kLightSteps);
    light_[static_cast<std::size_t>(i)] =
        static_cast<float>(transfer == THdrTransfer::htPq ? PqNits(signal) / kSdrWhiteNits : HlgSceneLight(signal));
  }
  // HLG's OOTF: display light = 1000 nits x Y^(gamma - 1) x scene light, here over SDR white.
  ootfGain_ = MakeOctaveTable<float>(-24, 1, 0.0f, static_cast<float>(kHlgDisplayNits / kSdrWhiteNits), [](double y) {
    return static_cast<float>(kHlgDisplayNits / kSdrWhiteNits * std::pow(y, kHlgGamma - 1));
  });
  // Up to 64 x SDR white, past PQ's 10000 nits; beyond it the curve is at white anyway.
  const int kneeExponent = std::min(5, static_cast<int>(std::floor(std::log2(std::max(curve_.Knee(), 1e-6)))));
  toneGain_ = MakeOctaveTable<float>(kneeExponent, 6, 1.0f, 0.0f,
                                     [this](double light) { return static_cast<float>(curve_.Map(light) / light); });
  sdr_ = MakeOctaveTable<std::uint8_t>(-24, 0, 0, 255, [](double light) {
    return static_cast<std::uint8_t>(std::lround(255 * std::pow(light, 1 / 2.4)));
  });
}

void THdrColourMap::MapRow(const float* red, const float* green, const float* blue, const float* alpha, int count,
                           std::uint8_t* out) const {
  if (transfer_ == THdrTransfer::htHlg) Map<true>(red, green, blue, alpha, count, out);
  else Map<false>(red, green, blue, alpha, count, out);
}

template <bool Hlg>
void THdrColourMap::Map(const float* red, const float* green, const float* blue, const float* alpha, int count,
                        std::uint8_t* out) const {
  const float* light = light_.data();
  const auto toLight = [light](float signal) {
    const float step = std::clamp(signal, 0.0f, 1.0f) * kLightSteps;
    const int at = static_cast<int>(step);
    const float part = step - static_cast<float>(at);
    return light[at] + part * (light[at + 1] - light[at]);
  };
  const std::array<float, 9>& m = matrix_;
  const int step = alpha ? 4 : 3;
  for (int i = 0; i < count; ++i, out += step) {
    const float r = toLight(red[i]), g = toLight(green[i]), b = toLight(blue[i]);
    float rl = m[0] * r + m[1] * g + m[2] * b;
    float gl = m[3] * r + m[4] * g + m[5] * b;
    float bl = m[6] * r + m[7] * g + m[8] * b;
    if constexpr (Hlg) {
      const float gain = ootfGain_(kLumaRed * rl + kLumaGreen * gl + kLumaBlue * bl);
      rl *= gain, gl *= gain, bl *= gain;
    }
    // Outside BT.709: towards the grey of the same luminance, just far enough.
    const float lowest = std::min({rl, gl, bl});
    if (lowest < 0) {
      const float luminance = kLumaRed * rl + kLumaGreen * gl + kLumaBlue * bl;
      if (luminance <= 0) {
        rl = gl = bl = 0;
      } else {
        const float keep = luminance / (luminance - lowest);
        rl = luminance + keep * (rl - luminance);
        gl = luminance + keep * (gl - luminance);
        bl = luminance + keep * (bl - luminance);
      }
    }
    const float highest = std::max({rl, gl, bl});
    if (highest > knee_) {
      const float gain = highest < toneGain_.High ? toneGain_(highest) : 1 / highest;
      rl *= gain, gl *= gain, bl *= gain;
    }
    out[0] = sdr_(bl);
    out[1] = sdr_(gl);
    out[2] = sdr_(rl);
    if (alpha) out[3] = static_cast<std::uint8_t>(std::lround(std::clamp(alpha[i], 0.0f, 1.0f) * 255));
  }
}

}  // namespace clipvane::video
