// The 24 transition effects: how step k of N blends the source and destination pictures
// into the output frame, the effect names of the effect list, and the process-wide random generator.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/bitmap.h"

namespace clipvane {

// Stored as a small integer; values outside 0..23 can occur (typed text that matches no
// entry of the effect list reads as -1) and draw nothing.
enum class TTransitionEffect : int {
  CrossDissolve,
  FadeOutIn,
  LeftRight,
  RightLeft,
  UpDown,
  DownUp,
  FromUpLeft,
  FromUpRight,
  FromBottomLeft,
  FromBottomRight,
  MoveLeftRight1,
  MoveLeftRight2,
  MoveRightLeft1,
  MoveRightLeft2,
  MoveUpDown1,
  MoveUpDown2,
  MoveDownUp1,
  MoveDownUp2,
  RandomPoints,
  RandomBoxes,
  Center1,
  Center2,
  CenterZoom1,
  CenterZoom2,
};

inline constexpr int TransitionEffectCount = 24;

// The effect list's item texts, in effect order.
const std::array<std::string_view, TransitionEffectCount>& TransitionEffectNames();
// The effect whose name equals text regardless of case; -1 (no effect) when none does.
TTransitionEffect TransitionEffectFromName(std::string_view text);

// The pictures of one run, all W x H (W, H >= 1) and 24 bits per pixel.
struct TTransitionFrames {
  TBitmap Source;       // S: never written by the effects
  TBitmap Destination;  // D: never written
  TBitmap Middle;       // M: every pixel the source slot's colour; read by FadeOutIn only
  TBitmap Output;       // O: the frame being drawn; it carries over from step to step
};

// 32-bit linear congruential generator: seed := seed * 134775813 + 1 (mod 2^32); a draw below
// R is the upper half of the 64-bit product R * seed.
class TRandom32 {
 public:
  static constexpr std::uint32_t Multiplier = 134775813u;

  explicit TRandom32(std::uint32_t seed = 0) : seed_(seed) {}

  std::uint32_t Seed() const { return seed_; }
  void SetSeed(std::uint32_t seed) { seed_ = seed; }

  // A number from 0 to range - 1; range must be at least 1.
  std::uint32_t Below(std::uint32_t range) {
    seed_ = seed_ * Multiplier + 1u;
    return static_cast<std::uint32_t>((std::uint64_t{range} * seed_) >> 32);
  }

 private:
  std::uint32_t seed_;
};

// Milliseconds since midnight UTC, now: ((hour * 60 + minute) * 60 + second) * 1000 + ms.
std::uint32_t TimeOfDaySeed();

// The process's one generator, seeded from TimeOfDaySeed on first use and never reseeded,
// so two runs of a random effect give different patterns. Tests set its seed. UI thread only.
TRandom32& TransitionRandom();

// Draws step k (0..n) of an n-step run (n >= 1) of the effect into frames.Output.
// placedCount is the number of random points or boxes placed so far in the run (0 before
// step 0); only RandomPoints and RandomBoxes read and change it. An effect outside 0..23
// leaves Output as it was. Throws EClipvaneError when n, k or the pictures are unfit
// (sizes differ, empty, not 24 bits per pixel); nothing is drawn then.
void RenderTransitionStep(TTransitionEffect effect, int k, int n, TTransitionFrames& frames, std::int64_t& placedCount);

}  // namespace clipvane
