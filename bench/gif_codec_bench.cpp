// GIF codec speed against giflib on the same data: LZW encoding of 1280 x 720 index frames
// (video-like pictures reduced to 256 colours with Floyd-Steinberg), and loading the
// multi-frame GIF made of them. Each pair's time ratio is ours / giflib's.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/gif_writer.h"
#include "gif/palette_reduction.h"

namespace {

using namespace clipvane;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFrames = 6;

std::uint8_t Channel(double value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0)); }

// A made-up outdoor scene panning sideways: sky gradient, sun, textured hills, sensor grain.
TBitmap SceneFrame(int number) {
  TBitmap picture(kWidth, kHeight, TPixelFormat::pf24bit);
  std::mt19937 random(static_cast<std::uint32_t>(1000 + number));
  std::normal_distribution<double> grain(0.0, 3.0);
  const double pan = number * 9.0;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      const double sx = x + pan;
      const double fy = static_cast<double>(y) / kHeight;
      double r = 90 + 110 * fy, g = 140 + 70 * fy, b = 235 - 60 * fy;
      const double sun = std::hypot(x - 960.0, y - 170.0);
      if (sun < 90) {
        const double glow = std::clamp((90 - sun) / 12, 0.0, 1.0);
        r += (255 - r) * glow, g += (230 - g) * glow, b += (150 - b) * glow;
      }
      const double ridge = 420 + 60 * std::sin(sx / kWidth * 7.0) + 25 * std::sin(sx / kWidth * 23.0 + 1.3);
      if (y > ridge) {
        const double depth = (y - ridge) / (kHeight - ridge + 1.0);
        const double stripe = 0.5 + 0.5 * std::sin(sx * 0.05 + y * 0.11) * std::sin(y * 0.031);
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
}

// The frames as GIF documents build them: reduced to the framed octree palette.
struct TFrames {
  std::vector<std::vector<std::uint8_t>> Indices;
  std::vector<std::vector<GifColorType>> Palettes;
  std::vector<std::uint8_t> Gif;  // all frames, written by us
};

const TFrames& Frames() {
  static const TFrames frames = [] {
    TFrames result;
    TGIFImage image;
    image.ReductionMethod = reduceOctreeSystem;
    image.DitherKind = ditherFloydSteinberg;
    for (int i = 0; i < kFrames; ++i) {
      image.AddFrame(SceneFrame(i));
      TGIFSubImage* frame = image.Images()[i];
      auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
      control->SetDelay(4);
      frame->Extensions().Add(std::move(control));
      result.Indices.emplace_back(frame->Data(), frame->Data() + frame->DataSize());
      std::vector<GifColorType> palette;
      for (const TGIFColor& c : frame->ColorMap().Entries()) palette.push_back({c.Red, c.Green, c.Blue});
      palette.resize(256, GifColorType{0, 0, 0});
      result.Palettes.push_back(std::move(palette));
    }
    TGIFMemoryStream stream;
    image.SaveToStream(stream);
    result.Gif = stream.TakeBytes();
    return result;
  }();
  return frames;
}

void OursLzwEncode(benchmark::State& state) {
  const TFrames& frames = Frames();
  std::size_t bytes = 0;
  int frame = 0;
  for (auto _ : state) {
    TGIFMemoryStream stream;
    TLZWEncoder encoder;
    encoder.Compress(stream, 8, kWidth, kHeight, false, frames.Indices[static_cast<std::size_t>(frame)].data(), 256);
    bytes = stream.Bytes().size();
    benchmark::DoNotOptimize(bytes);
    frame = (frame + 1) % kFrames;
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

int GiflibWrite(GifFileType* file, const GifByteType* data, int count) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  bytes->insert(bytes->end(), data, data + count);
  return count;
}

void GiflibLzwEncode(benchmark::State& state) {
  const TFrames& frames = Frames();
  std::size_t bytes = 0;
  int frame = 0;
  // EGifPutLine takes writable lines (it leaves 8-bit pixels as they are).
  std::vector<std::vector<std::uint8_t>> indices = frames.Indices;
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* file = EGifOpen(&out, &GiflibWrite, &error);
    ColorMapObject* map = GifMakeMapObject(256, frames.Palettes[static_cast<std::size_t>(frame)].data());
    EGifPutScreenDesc(file, kWidth, kHeight, 8, 0, nullptr);
    EGifPutImageDesc(file, 0, 0, kWidth, kHeight, false, map);
    std::uint8_t* pixels = indices[static_cast<std::size_t>(frame)].data();
    for (int y = 0; y < kHeight; ++y) EGifPutLine(file, pixels + static_cast<std::size_t>(y) * kWidth, kWidth);
    EGifCloseFile(file, &error);
    GifFreeMapObject(map);
    bytes = out.size();
    benchmark::DoNotOptimize(bytes);
    frame = (frame + 1) % kFrames;
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void OursLoad(benchmark::State& state) {
  const TFrames& frames = Frames();
  for (auto _ : state) {
    TGIFImage image;
    TGIFSpanStream stream(frames.Gif);
    image.LoadFromStream(stream);
    benchmark::DoNotOptimize(image.Images()[kFrames - 1]->Data());
  }
  state.counters["gif_bytes"] = static_cast<double>(frames.Gif.size());
  state.SetItemsProcessed(state.iterations() * kFrames * kWidth * kHeight);
}

struct TGiflibInput {
  const std::vector<std::uint8_t>* Bytes;
  std::size_t Position;
};

int GiflibRead(GifFileType* file, GifByteType* buffer, int count) {
  auto* input = static_cast<TGiflibInput*>(file->UserData);
  const std::size_t n = std::min(static_cast<std::size_t>(count), input->Bytes->size() - input->Position);
  std::memcpy(buffer, input->Bytes->data() + input->Position, n);
  input->Position += n;
  return static_cast<int>(n);
}

void GiflibLoad(benchmark::State& state) {
  const TFrames& frames = Frames();
  for (auto _ : state) {
    TGiflibInput input{&frames.Gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&input, &GiflibRead, &error);
    if (DGifSlurp(file) != GIF_OK) state.SkipWithError("giflib could not read the GIF");
    benchmark::DoNotOptimize(file->SavedImages[kFrames - 1].RasterBits);
    DGifCloseFile(file, &error);
  }
  state.SetItemsProcessed(state.iterations() * kFrames * kWidth * kHeight);
}

BENCHMARK(OursLzwEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(GiflibLzwEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(OursLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(GiflibLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
