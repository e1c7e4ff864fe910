// THdrToneCurve: how the light of an HDR picture above SDR white is brought into SDR: light
// up to a knee stays as it is, light from there to the video's peak rolls off smoothly to SDR
// white (BT.2390's EETF, worked in the PQ signal). Plain C++, no FFmpeg.
#pragma once

namespace clipvane::video {

// SDR white in an HDR picture: BT.2408's reference white, in nits (cd/m2).
inline constexpr double kSdrWhiteNits = 203;

// SMPTE ST 2084 (PQ): the light of a signal from 0 to 1 in nits (0 to 10000), and back.
double PqNits(double signal);
double PqSignal(double nits);

class THdrToneCurve {
 public:
  // For a video whose brightest light is `peakNits`; a peak at or below SDR white leaves
  // every light below white as it is.
  explicit THdrToneCurve(double peakNits);

  // Light in units of SDR white (1 = 203 nits) to the light SDR shows, from 0 to 1: the same
  // up to Knee(), then rising ever more slowly to 1 at the peak; above the peak, 1.
  double Map(double light) const;
  // The light, in units of SDR white, below which Map changes nothing.
  double Knee() const { return knee_; }

 private:
  double peakSignal_;  // the PQ signal of the peak
  double kneeSpan_;    // the knee in the signal scaled to the peak (0 to 1)
  double whiteSpan_;   // SDR white the same way
  double knee_;
};

}  // namespace clipvane::video
