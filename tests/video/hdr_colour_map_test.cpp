// The light of HDR pictures made SDR: PQ against its published anchors, the tone curve's
// shape for peaks from SDR white to PQ's 10000 nits, and the colour map's promises: both
// transfers' reference white lands on one grey, the peak on SDR white, and colours outside
// BT.709 or above the knee keep their hue (measured as CIE xy angles around D65).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/hdr_fixtures.h"
#include "video/hdr_colour_map.h"
#include "video/hdr_tone_curve.h"

namespace clipvane {
namespace {

using video::THdrColourMap;
using video::THdrToneCurve;
using video::THdrTransfer;
using TMatrix = std::array<double, 9>;
using TTriple = std::array<double, 3>;

// BT.2087: BT.709 to BT.2020 in linear light; the map is given its inverse.
constexpr TMatrix kBt709ToBt2020 = {0.6274039, 0.3292830, 0.0433131, 0.0690973, 0.9195404,
                                    0.0113623, 0.0163914, 0.0880133, 0.8955953};
// Linear RGB to CIE XYZ (BT.709 and BT.2020 primaries, D65).
constexpr TMatrix kBt709ToXyz = {0.4123908, 0.3575843, 0.1804808, 0.2126390, 0.7151687,
                                 0.0721923, 0.0193308, 0.1191948, 0.9505322};
constexpr TMatrix kBt2020ToXyz = {0.6369580, 0.1446169, 0.1688810, 0.2627002, 0.6779981,
                                  0.0593017, 0.0000000, 0.0280727, 1.0609851};

TTriple Times(const TMatrix& m, const TTriple& v) {
  return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
          m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

TMatrix Inverse(const TMatrix& m) {
  const double det =
      m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
  return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
          (m[5] * m[6] - m[3] * m[8]) / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
          (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
}

std::array<float, 9> Bt2020ToBt709() {
  const TMatrix inverse = Inverse(kBt709ToBt2020);
  std::array<float, 9> matrix{};
  for (std::size_t i = 0; i < 9; ++i) matrix[i] = static_cast<float>(inverse[i]);
  return matrix;
}

// The map's blue-green-red bytes of one pixel of R', G', B'.
std::array<int, 3> MapPixel(const THdrColourMap& map, const TTriple& signal) {
  const float red = static_cast<float>(signal[0]), green = static_cast<float>(signal[1]),
              blue = static_cast<float>(signal[2]);
  std::uint8_t out[3] = {};
  map.MapRow(&red, &green, &blue, nullptr, 1, out);
  return {out[0], out[1], out[2]};
}

// The hue of linear light as the angle of its CIE xy chromaticity around D65, in degrees.
double HueAngle(const TMatrix& toXyz, const TTriple& light) {
  const TTriple xyz = Times(toXyz, light);
  const double sum = xyz[0] + xyz[1] + xyz[2];
  return std::atan2(xyz[1] / sum - 0.3290, xyz[0] / sum - 0.3127) * 180 / M_PI;
}

TEST(HdrLight, PqMeetsItsPublishedAnchors) {
  // SMPTE ST 2084 and BT.2408: 100 nits at 50.8 %, reference white (203 nits) at 58 %,
  // 1000 nits at 75.2 %, 10000 nits at 100 %.
  const struct {
    double Nits, Signal;
  } anchors[] = {{0, 0.0000007}, {100, 0.5081}, {203, 0.5807}, {1000, 0.7518}, {10000, 1.0}};
  for (const auto& anchor : anchors) {
    EXPECT_NEAR(video::PqSignal(anchor.Nits), anchor.Signal, 5e-4) << anchor.Nits;
    EXPECT_NEAR(video::PqNits(video::PqSignal(anchor.Nits)), anchor.Nits, 1e-6 * anchor.Nits + 1e-9) << anchor.Nits;
  }
}

TEST(HdrToneCurve, KeepsLightBelowTheKneeAndRollsOffToWhiteAtThePeak) {
  for (const double peak : {203.0, 400.0, 1000.0, 4000.0, 10000.0}) {
    SCOPED_TRACE("peak " + std::to_string(peak));
    const THdrToneCurve curve(peak);
    const double top = peak / video::kSdrWhiteNits;
    EXPECT_GT(curve.Knee(), 0.05);
    EXPECT_LE(curve.Knee(), 1.0);
    for (double light = 0; light <= curve.Knee(); light += curve.Knee() / 50)
      EXPECT_NEAR(curve.Map(light), light, 1e-12) << light;
    EXPECT_NEAR(curve.Map(top), 1.0, 1e-9);
    EXPECT_EQ(curve.Map(top * 1.5), 1.0);
    // Rising all the way, without a step at the knee: it starts off at the slope it had.
    double previous = 0;
    for (double light = 0; light <= top * 1.2; light += top / 2000) {
      const double mapped = curve.Map(light);
      EXPECT_GE(mapped, previous - 1e-12) << light;
      EXPECT_LE(mapped, 1.0);
      previous = mapped;
    }
    const double step = 1e-4;
    if (peak > video::kSdrWhiteNits) {
      EXPECT_NEAR((curve.Map(curve.Knee() + step) - curve.Map(curve.Knee())) / step, 1.0, 0.01);
      // Reference white gives way to the highlights above it.
      EXPECT_LT(curve.Map(1.0), 1.0);
      EXPECT_GT(curve.Map(1.0), curve.Knee());
    } else {
      EXPECT_EQ(curve.Map(1.0), 1.0);
    }
  }
}

TEST(HdrColourMap, ReferenceWhiteOfBothTransfersIsOneGreyAndThePeakIsWhite) {
  const THdrColourMap pq(THdrTransfer::htPq, Bt2020ToBt709(), 1000);
  const THdrColourMap hlg(THdrTransfer::htHlg, Bt2020ToBt709(), 1000);
  // BT.2408: reference white is 203 nits in PQ and 75 % of HLG's signal.
  const double pqWhite = video::PqSignal(203);
  const auto fromPq = MapPixel(pq, {pqWhite, pqWhite, pqWhite});
  const auto fromHlg = MapPixel(hlg, {0.75, 0.75, 0.75});
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(fromPq[c], fromHlg[c], 1) << c;
    EXPECT_EQ(fromPq[c], fromPq[0]) << "grey stays grey";
    // White stays bright, but gives way to the highlights above it.
    EXPECT_GT(fromPq[c], 200);
    EXPECT_LT(fromPq[c], 250);
  }
  const double pqPeak = video::PqSignal(1000);
  for (const int value : MapPixel(pq, {pqPeak, pqPeak, pqPeak})) EXPECT_EQ(value, 255);
  for (const int value : MapPixel(hlg, {1, 1, 1})) EXPECT_EQ(value, 255);
  for (const int value : MapPixel(pq, {0, 0, 0})) EXPECT_EQ(value, 0);
  // A mid grey below the knee comes out as SDR shows that light: 50 nits, a quarter of white.
  const double pqQuarter = video::PqSignal(203.0 / 4);
  for (const int value : MapPixel(pq, {pqQuarter, pqQuarter, pqQuarter}))
    EXPECT_NEAR(value, 255 * std::pow(0.25, 1 / 2.4), 0.6);
}

TEST(HdrColourMap, ColoursOutsideBt709AndAboveTheKneeKeepTheirHue) {
  const TMatrix xyzOf2020 = kBt2020ToXyz;
  const THdrColourMap pq(THdrTransfer::htPq, Bt2020ToBt709(), 1000);
  // BT.2020 light in nits: its pure primaries and mixtures well outside BT.709, below the knee
  // and above it, and in-gamut colours bright enough for the roll-off.
  const TTriple colours[] = {{0, 60, 0},   {60, 0, 0},  {0, 0, 60},     {0, 600, 0},    {500, 0, 0},    {40, 70, 2},
                             {70, 10, 60}, {5, 40, 60}, {300, 500, 20}, {600, 300, 80}, {120, 700, 300}};
  for (const TTriple& nits : colours) {
    SCOPED_TRACE(std::to_string(nits[0]) + "," + std::to_string(nits[1]) + "," + std::to_string(nits[2]));
    const auto bgr = MapPixel(pq, fixtures::HdrSignalOfNits(fixtures::THdrKind::hkPq, nits));
    // Back to linear BT.709 light as an SDR screen shows the bytes.
    const TTriple shown = {std::pow(bgr[2] / 255.0, 2.4), std::pow(bgr[1] / 255.0, 2.4), std::pow(bgr[0] / 255.0, 2.4)};
    EXPECT_NEAR(HueAngle(kBt709ToXyz, shown), HueAngle(xyzOf2020, nits), 3.0);
    // Below the knee, the luminance stays where it was (the grey it moved towards has it).
    const double luminance = Times(xyzOf2020, nits)[1] / video::kSdrWhiteNits;
    if (std::max({nits[0], nits[1], nits[2]}) < 70) {
      EXPECT_NEAR(Times(kBt709ToXyz, shown)[1], luminance, 0.02 * luminance + 0.003);
    }
  }
}

}  // namespace
}  // namespace clipvane

namespace clipvane {
namespace {

// The walk in vectors and the one a pixel at a time (which maps what is left after the last
// whole vector) agree on every kind of pixel: dark, bright, out of gamut, signals a filter
// pushed past 0 or 1, with and without opacity, for rows of every length.
TEST(HdrColourMap, VectorsMapAsSinglePixelsDo) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> signal(-0.05f, 1.05f);
  for (const THdrTransfer transfer : {THdrTransfer::htPq, THdrTransfer::htHlg}) {
    const THdrColourMap map(transfer, Bt2020ToBt709(), 4000);
    for (const bool withAlpha : {false, true}) {
      std::vector<float> planes[4];
      for (auto& plane : planes)
        for (int i = 0; i < 1000; ++i) plane.push_back(signal(random));
      const int step = withAlpha ? 4 : 3;
      for (const int count : {1, 7, 8, 15, 16, 17, 31, 33, 1000}) {
        std::vector<std::uint8_t> vectors(static_cast<std::size_t>(count * step)), single(vectors.size());
        const float* alpha = withAlpha ? planes[3].data() : nullptr;
        map.MapRow(planes[0].data(), planes[1].data(), planes[2].data(), alpha, count, vectors.data());
        map.MapRow(planes[0].data(), planes[1].data(), planes[2].data(), alpha, count, single.data(), false);
        int unequal = 0;
        for (std::size_t i = 0; i < vectors.size(); ++i) {
          // Fused multiply-adds in vectors may round a value at a code's edge the other way.
          EXPECT_NEAR(vectors[i], single[i], 1) << "byte " << i << " of " << count;
          unequal += vectors[i] != single[i];
        }
        EXPECT_LE(unequal, count / 50 + 1) << count;
      }
    }
  }
}

}  // namespace
}  // namespace clipvane
