// Colour reduction of one 1280 x 720 video-like frame, as each GIF frame is reduced: the
// octree palette framed by the system colours, and the web cube, both with Floyd-Steinberg.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "core/bitmap.h"
#include "gif/dib_access.h"
#include "gif/octree_palette.h"
#include "gif/palette_reduction.h"

namespace {

using namespace clipvane;

std::uint8_t Channel(double value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0)); }

// A made-up outdoor scene: a sky gradient, a sun with a soft edge, textured hills and a
// grain of sensor noise, so that colours vary smoothly with many near neighbours, as in a
// decoded video frame.
const TBitmap& VideoLikeFrame() {
  static const TBitmap frame = [] {
    const int width = 1280, height = 720;
    TBitmap picture(width, height, TPixelFormat::pf24bit);
    std::mt19937 random(1234);
    std::normal_distribution<double> grain(0.0, 3.0);
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = picture.ScanLine(y);
      for (int x = 0; x < width; ++x) {
        const double fy = static_cast<double>(y) / height, fx = static_cast<double>(x) / width;
        double r = 90 + 110 * fy, g = 140 + 70 * fy, b = 235 - 60 * fy;  // sky
        const double sun = std::hypot(x - 960.0, y - 170.0);
        if (sun < 90) {
          const double glow = std::clamp((90 - sun) / 12, 0.0, 1.0);
          r += (255 - r) * glow, g += (230 - g) * glow, b += (150 - b) * glow;
        }
        const double ridge = 420 + 60 * std::sin(fx * 7.0) + 25 * std::sin(fx * 23.0 + 1.3);
        if (y > ridge) {  // hills: green-brown with stripes of fields and shade with depth
          const double depth = (y - ridge) / (height - ridge + 1.0);
          const double stripe = 0.5 + 0.5 * std::sin(x * 0.05 + y * 0.11) * std::sin(y * 0.031);
          r = 70 + 60 * stripe - 30 * depth;
          g = 110 + 70 * stripe - 40 * depth;
          b = 40 + 20 * stripe;
        }
        row[3 * x] = Channel(b + grain(random));
        row[3 * x + 1] = Channel(g + grain(random));
        row[3 * x + 2] = Channel(r + grain(random));
      }
    }
    return picture;
  }();
  return frame;
}

void Reduce(benchmark::State& state, TColorReduction method, TDitherMode dither) {
  const TBitmap& frame = VideoLikeFrame();
  for (auto _ : state) {
    TBitmap reduced = ReduceBitmap(frame, method, dither);
    benchmark::DoNotOptimize(reduced.Bits().data());
  }
  state.SetItemsProcessed(state.iterations() * frame.Width() * frame.Height());
}

void BM_ReduceOctreeSystemFloydSteinberg(benchmark::State& state) {
  Reduce(state, reduceOctreeSystem, ditherFloydSteinberg);
}
void BM_ReduceWebCubeFloydSteinberg(benchmark::State& state) { Reduce(state, reduceWebCube, ditherFloydSteinberg); }
void BM_ReduceOctreeSystemNoDither(benchmark::State& state) { Reduce(state, reduceOctreeSystem, ditherNone); }

// The palette alone: the share of the octree in the first figure.
void BM_OctreePaletteOnly(benchmark::State& state) {
  const TBitmap& frame = VideoLikeFrame();
  for (auto _ : state) {
    auto palette = BuildOctreePalette(TDIBReader(frame), 256, 8, true);
    benchmark::DoNotOptimize(palette.data());
  }
  state.SetItemsProcessed(state.iterations() * frame.Width() * frame.Height());
}

}  // namespace

BENCHMARK(BM_ReduceOctreeSystemFloydSteinberg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceWebCubeFloydSteinberg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceOctreeSystemNoDither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OctreePaletteOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
