// Time per rendered step of each transition effect in 50-step runs on a 640 x 480 pair.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "runs/transitions/transition_effects.h"

namespace {

using namespace clipvane;

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Steps = 50;

// Smooth gradients with some texture, so blends see many byte pairs.
TBitmap Picture(int seed) {
  TBitmap picture(Width, Height);
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>((x + seed * 37) ^ y);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / Height + seed);
      row[3 * x + 2] = static_cast<std::uint8_t>(x * 255 / Width - seed * 11);
    }
  }
  return picture;
}

// One benchmark iteration renders one step; the steps cycle 0..50 as runs do, so the time
// per iteration is the time per rendered step averaged over whole runs.
void RenderStep(benchmark::State& state) {
  const auto effect = static_cast<TTransitionEffect>(state.range(0));
  TTransitionFrames frames;
  frames.Source = Picture(1);
  frames.Destination = Picture(2);
  frames.Middle = TBitmap(Width, Height);
  frames.Middle.FillRect(TRect{0, 0, Width, Height}, clWhite);
  frames.Output = TBitmap(Width, Height);
  TransitionRandom().SetSeed(12345);
  std::int64_t placed = 0;
  int k = 0;
  for (auto _ : state) {
    if (k == 0) placed = 0;
    RenderTransitionStep(effect, k, Steps, frames, placed);
    benchmark::DoNotOptimize(frames.Output.Bits().data());
    k = k == Steps ? 0 : k + 1;
  }
  state.SetLabel(std::string(TransitionEffectNames()[static_cast<std::size_t>(state.range(0))]));
}

// Whole runs only: 51 steps times some number of runs.
BENCHMARK(RenderStep)
    ->DenseRange(0, TransitionEffectCount - 1)
    ->Iterations((Steps + 1) * 4)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
