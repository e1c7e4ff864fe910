// The tables of an HDR picture's colour mapping and the row walk over them.
#include "video/hdr_colour_map.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace clipvane::video {

namespace {

// HLG's nominal display: its OOTF's peak and system gamma (BT.2100).
constexpr double kHlgDisplayNits = 1000;
constexpr double kHlgGamma = 1.2;
constexpr float kLumaRed = kBt709Luma[0], kLumaGreen = kBt709Luma[1], kLumaBlue = kBt709Luma[2];

// ARIB STD-B67 (HLG): scene light from 0 to 1 of a signal from 0 to 1.
double HlgSceneLight(double signal) {
  constexpr double a = 0.17883277, b = 1 - 4 * a;
  const double c = 0.5 - a * std::log(4 * a);
  signal = std::clamp(signal, 0.0, 1.0);
  return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

}  // namespace

template <typename T>
T TOctaveLookup<T>::operator()(float x) const {
  x = x > Low ? x : Low;  // NaN too
  x = x < Last ? x : Last;
  return Values[(std::bit_cast<std::uint32_t>(x) >> kOctaveDroppedBits) - Base];
}

template <typename T, typename F>
TOctaveLookup<T> THdrColourMap::MakeOctaveTable(std::vector<T>& values, int lowExponent, int highExponent, F function) {
  const float low = std::ldexp(1.0f, lowExponent), high = std::ldexp(1.0f, highExponent);
  const std::uint32_t base = std::bit_cast<std::uint32_t>(low) >> kOctaveDroppedBits;
  const std::uint32_t end = std::bit_cast<std::uint32_t>(high) >> kOctaveDroppedBits;
  values.clear();
  values.reserve(end - base + 3);
  for (std::uint32_t entry = base; entry < end; ++entry) {
    // Each entry answers for the floats between two bit patterns: its value is the one at
    // their geometric middle.
    const double from = std::bit_cast<float>(entry << kOctaveDroppedBits);
    const double to = std::bit_cast<float>((entry + 1) << kOctaveDroppedBits);
    values.push_back(function(std::sqrt(from * to)));
  }
  // Vectors read whole 32-bit words at a byte table's entries: the last one's must be there.
  values.resize(values.size() + 3, values.back());
  return {values.data(), low, std::nextafter(high, 0.0f), base};
}

THdrColourMap::THdrColourMap(THdrTransfer transfer, const std::array<float, 9>& toBt709, double peakNits)
    : curve_(transfer == THdrTransfer::htHlg ? kHlgDisplayNits : peakNits) {
  light_.resize(kHdrLightSteps + 2);
  for (int i = 0; i <= kHdrLightSteps + 1; ++i) {
    const double signal = std::min(1.0, static_cast<double>(i) / kHdrLightSteps);
    light_[static_cast<std::size_t>(i)] =
        static_cast<float>(transfer == THdrTransfer::htPq ? PqNits(signal) / kSdrWhiteNits : HlgSceneLight(signal));
  }
  tables_.Light = light_.data();
  tables_.Matrix = toBt709;
  tables_.Hlg = transfer == THdrTransfer::htHlg;
  // HLG's OOTF: display light = 1000 nits x Y^(gamma - 1) x scene light, here over SDR white.
  tables_.OotfGain = MakeOctaveTable(ootfGain_, -24, 1, [](double y) {
    return static_cast<float>(kHlgDisplayNits / kSdrWhiteNits * std::pow(y, kHlgGamma - 1));
  });
  tables_.Knee = static_cast<float>(curve_.Knee());
  // From the knee up to 128 x SDR white: PQ's 10000 nits in its most saturated red, once made
  // BT.709.
  const int kneeExponent = static_cast<int>(std::floor(std::log2(std::max(curve_.Knee(), 1e-6))));
  tables_.ToneGain = MakeOctaveTable(toneGain_, kneeExponent, 7,
                                     [this](double light) { return static_cast<float>(curve_.Map(light) / light); });
  // Below 2^-24 the code is 0, from 1 on 255: the ends of the table.
  tables_.Sdr = MakeOctaveTable(sdr_, -24, 0, [](double light) {
    return static_cast<std::uint8_t>(std::lround(255 * std::pow(light, 1 / 2.4)));
  });
}

namespace {

template <bool Hlg>
void MapPixels(const THdrRowTables& tables, const float* red, const float* green, const float* blue, const float* alpha,
               int count, std::uint8_t* out) {
  // Everything the loop reads, in locals: the bytes it writes could alias any of it.
  const float* light = tables.Light;
  const std::array<float, 9> m = tables.Matrix;
  const float knee = tables.Knee;
  const TOctaveLookup<float> ootfGain = tables.OotfGain, toneGain = tables.ToneGain;
  const TOctaveLookup<std::uint8_t> sdr = tables.Sdr;
  const auto toLight = [light](float signal) {
    const float step = std::min(std::max(signal, 0.0f), 1.0f) * kHdrLightSteps;
    const int at = static_cast<int>(step);
    const float part = step - static_cast<float>(at);
    return light[at] + part * (light[at + 1] - light[at]);
  };
  const int step = alpha ? 4 : 3;
  for (int i = 0; i < count; ++i, out += step) {
    const float r = toLight(red[i]), g = toLight(green[i]), b = toLight(blue[i]);
    float rl = m[0] * r + m[1] * g + m[2] * b;
    float gl = m[3] * r + m[4] * g + m[5] * b;
    float bl = m[6] * r + m[7] * g + m[8] * b;
    if constexpr (Hlg) {
      const float gain = ootfGain(kLumaRed * rl + kLumaGreen * gl + kLumaBlue * bl);
      rl *= gain, gl *= gain, bl *= gain;
    }
    // Outside BT.709: towards the grey of the same luminance, just far enough (black when
    // there is no luminance). Chosen, not branched: textured pictures make branches miss.
    const float lowest = std::min(std::min(rl, gl), bl);
    const float luminance = kLumaRed * rl + kLumaGreen * gl + kLumaBlue * bl;
    const float keep = lowest >= 0 ? 1.0f : luminance > 0 ? luminance / (luminance - lowest) : 0.0f;
    rl = luminance + keep * (rl - luminance);
    gl = luminance + keep * (gl - luminance);
    bl = luminance + keep * (bl - luminance);
    const float highest = std::max(std::max(rl, gl), bl);
    const float gain = highest > knee ? toneGain(highest) : 1.0f;
    out[0] = sdr(bl * gain);
    out[1] = sdr(gl * gain);
    out[2] = sdr(rl * gain);
    if (alpha) out[3] = static_cast<std::uint8_t>(std::min(std::max(alpha[i], 0.0f), 1.0f) * 255 + 0.5f);
  }
}

}  // namespace

void THdrColourMap::MapRow(const float* red, const float* green, const float* blue, const float* alpha, int count,
                           std::uint8_t* out, bool vectors) const {
  const int done = vectors ? MapRowVectors(tables_, red, green, blue, alpha, count, out) : 0;
  const std::ptrdiff_t skip = static_cast<std::ptrdiff_t>(done) * (alpha ? 4 : 3);
  if (tables_.Hlg)
    MapPixels<true>(tables_, red + done, green + done, blue + done, alpha ? alpha + done : nullptr, count - done,
                    out + skip);
  else
    MapPixels<false>(tables_, red + done, green + done, blue + done, alpha ? alpha + done : nullptr, count - done,
                     out + skip);
}

}  // namespace clipvane::video
