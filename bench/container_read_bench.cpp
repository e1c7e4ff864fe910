// Frame reads of a container video through its frame source: every frame in order, in reverse,
// and single frames at random places, each as time per frame (a 320 x 180 H.264 MP4 with
// B-frames, a key frame every 25 frames, 250 frames, written by the fixture writer). Wall
// time: the decoder runs threads of its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/video_fixtures.h"
#include "video/frame_source.h"

namespace {

using namespace clipvane;

constexpr int kFrames = 250;

class TContainerFile {
 public:
  TContainerFile() {
    char pattern[] = "/tmp/container-read-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    path_ = folder_ + "/bench.mp4";
    fixtures::TFixtureVideo video;
    video.Encoder = "libx264";
    video.EncoderOptions = {{"preset", "veryfast"}, {"crf", "23"}};
    video.Width = 320;
    video.Height = 180;
    video.FrameCount = kFrames;
    video.KeyFrameInterval = 25;
    video.BFrames = 3;
    video.Picture = fixtures::TFixturePicture::fpSample;
    fixtures::WriteFixtureVideo(path_, video);
  }
  ~TContainerFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_, path_;
};

const TContainerFile& File() {
  static const TContainerFile file;
  return file;
}

void ReadAll(benchmark::State& state, const std::vector<int>& order) {
  const std::string& path = File().Path();  // written before the clock runs
  for (auto _ : state) {
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
    for (const int n : order) {
      if (!reader->ReadFrame(n)) state.SkipWithError("frame missing");
      benchmark::DoNotOptimize(reader->DecodeBitmap().ScanLine(0));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(order.size()));
}

std::vector<int> Forward() {
  std::vector<int> order(kFrames);
  for (int n = 0; n < kFrames; ++n) order[static_cast<std::size_t>(n)] = n;
  return order;
}

void BM_ContainerForward(benchmark::State& state) { ReadAll(state, Forward()); }
BENCHMARK(BM_ContainerForward)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ContainerBackward(benchmark::State& state) {
  std::vector<int> order = Forward();
  std::reverse(order.begin(), order.end());
  ReadAll(state, order);
}
BENCHMARK(BM_ContainerBackward)->Unit(benchmark::kMillisecond)->UseRealTime();

// 25 single frames at random places: each a jump to its key frame and decoding on to it.
void BM_ContainerRandomSingleFrames(benchmark::State& state) {
  std::vector<int> order;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, kFrames - 1);
  for (int i = 0; i < 25; ++i) order.push_back(pick(random));
  ReadAll(state, order);
}
BENCHMARK(BM_ContainerRandomSingleFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
