// THdrColourMap: an HDR picture's pixels made into SDR colours. Each of R', G', B' becomes
// light by the video's transfer (PQ: its nits over SDR white; HLG: scene light, then the OOTF
// of a 1000-nit display, which puts HLG's reference white at SDR white), moves to BT.709's
// primaries in linear light, is brought into BT.709's gamut towards the grey of the same
// luminance (so it keeps its hue), goes through the tone curve by the brightest of the three
// (so the three keep their ratios), and leaves in BT.709's display transfer (BT.1886, gamma
// 2.4) as 8 bits. Plain C++: the tables are made once, and a row is mapped without a call.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "video/hdr_tone_curve.h"

namespace clipvane::video {

enum class THdrTransfer { htPq, htHlg };

class THdrColourMap {
 public:
  // `toBt709`: the 3 x 3 matrix, row by row, from linear light in the video's primaries to
  // linear light in BT.709's. `peakNits`: the video's brightest light (HLG: 1000).
  THdrColourMap(THdrTransfer transfer, const std::array<float, 9>& toBt709, double peakNits);

  // Maps `count` pixels from planes of R', G', B' (0 to 1, a little beyond after filtering)
  // and, when `alpha` is not null, of opacity (0 to 1) into blue, green, red bytes (and an
  // opacity byte after them when `alpha` is given) from `out` on.
  void MapRow(const float* red, const float* green, const float* blue, const float* alpha, int count,
              std::uint8_t* out) const;

  const THdrToneCurve& ToneCurve() const { return curve_; }

 private:
  template <bool Hlg>
  void Map(const float* red, const float* green, const float* blue, const float* alpha, int count,
           std::uint8_t* out) const;

  // A function of a float from 2^-24 on, one entry for each 1/1024 of a doubling, found by
  // the float's bits: no call, no logarithm.
  template <typename T>
  struct TOctaveTable {
    float Low = 0, High = 0;
    T Below{}, Above{};
    std::uint32_t Base = 0;
    std::vector<T> Values;
    T operator()(float x) const;
  };
  template <typename T, typename F>
  static TOctaveTable<T> MakeOctaveTable(int lowExponent, int highExponent, T below, T above, F function);

  THdrTransfer transfer_;
  std::array<float, 9> matrix_;
  THdrToneCurve curve_;
  float knee_;
  // The transfer's light at 4096 even steps of the signal, and one past the last.
  std::vector<float> light_;
  TOctaveTable<float> ootfGain_;    // HLG: the OOTF's gain for a luminance
  TOctaveTable<float> toneGain_;    // the tone curve's gain for the brightest channel
  TOctaveTable<std::uint8_t> sdr_;  // linear light to BT.709's 8-bit code
};

}  // namespace clipvane::video
