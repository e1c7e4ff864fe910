// THdrColourMap: an HDR picture's pixels made into SDR colours. Each of R', G', B' becomes
// light by the video's transfer (PQ: its nits over SDR white; HLG: scene light, then the OOTF
// of a 1000-nit display, which puts HLG's reference white at SDR white), moves to BT.709's
// primaries in linear light, is brought into BT.709's gamut towards the grey of the same
// luminance (so it keeps its hue), goes through the tone curve by the brightest of the three
// (so the three keep their ratios), and leaves in BT.709's display transfer (BT.1886, gamma
// 2.4) as 8 bits. Plain C++: the tables are made once, and a row is mapped without a call,
// in vectors where the processor has them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "video/hdr_tone_curve.h"

namespace clipvane::video {

enum class THdrTransfer { htPq, htHlg };

// Steps of the signal (0 to 1) at which the transfer's light is tabled.
inline constexpr int kHdrLightSteps = 4096;
// Bits of a float's mantissa an octave lookup drops: 1024 entries for each doubling.
inline constexpr int kOctaveDroppedBits = 13;
// BT.709's luminance of linear R, G, B.
inline constexpr float kBt709Luma[3] = {0.2126f, 0.7152f, 0.0722f};

// A function of a float from 2^low to 2^high, one entry for each 1/1024 of a doubling, found
// by the float's bits: no call, no logarithm. Values outside take the end entries.
template <typename T>
struct TOctaveLookup {
  const T* Values = nullptr;
  float Low = 0, Last = 0;  // the smallest float of the first entry, the largest of the last
  std::uint32_t Base = 0;   // the first entry's bits, shifted
  T operator()(float x) const;
};

// What a row walk reads: the map's tables and constants, plain.
struct THdrRowTables {
  const float* Light = nullptr;  // the light at each step of the signal, and one past the last
  std::array<float, 9> Matrix{};
  bool Hlg = false;
  TOctaveLookup<float> OotfGain;  // HLG: the OOTF's gain for a luminance (over SDR white)
  float Knee = 1;
  TOctaveLookup<float> ToneGain;    // the tone curve's gain for the brightest channel
  TOctaveLookup<std::uint8_t> Sdr;  // light to BT.709's 8-bit code; 3 bytes readable past the end
};

// Maps pixels as THdrColourMap::MapRow does, whole vectors of them from the first, with the
// widest vectors the processor has; returns how many it mapped (a multiple of the lanes).
int MapRowVectors(const THdrRowTables& tables, const float* red, const float* green, const float* blue,
                  const float* alpha, int count, std::uint8_t* out);

class THdrColourMap {
 public:
  // `toBt709`: the 3 x 3 matrix, row by row, from linear light in the video's primaries to
  // linear light in BT.709's. `peakNits`: the video's brightest light (HLG: 1000).
  THdrColourMap(THdrTransfer transfer, const std::array<float, 9>& toBt709, double peakNits);
  // The tables point into the map's own storage: a copy would point into the original's.
  THdrColourMap(const THdrColourMap&) = delete;
  THdrColourMap& operator=(const THdrColourMap&) = delete;

  // Maps `count` pixels from planes of R', G', B' (0 to 1, a little beyond after filtering)
  // and, when `alpha` is not null, of opacity (0 to 1) into blue, green, red bytes (and an
  // opacity byte after them when `alpha` is given) from `out` on. `vectors` false: one pixel
  // at a time, as the pixels after the last whole vector are.
  void MapRow(const float* red, const float* green, const float* blue, const float* alpha, int count, std::uint8_t* out,
              bool vectors = true) const;

  const THdrToneCurve& ToneCurve() const { return curve_; }

 private:
  template <typename T, typename F>
  static TOctaveLookup<T> MakeOctaveTable(std::vector<T>& values, int lowExponent, int highExponent, F function);

  THdrToneCurve curve_;
  std::vector<float> light_;
  std::vector<float> ootfGain_;
  std::vector<float> toneGain_;
  std::vector<std::uint8_t> sdr_;
  THdrRowTables tables_;
};

}  // namespace clipvane::video
