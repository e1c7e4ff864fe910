// Decoding through TAviFrameReader. Two uses:
//   avi_decode_bench --decode VIDEO forward|reverse   reads every frame once (timed by
//                                                     bench/avi_decode.sh against ffmpeg)
//   avi_decode_bench [benchmark options]              Google Benchmark of the per-frame steps
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"
#include "video/video_probe.h"

namespace {

using namespace clipvane;

// Reads every frame of the video once, first to last or last to first; returns a checksum
// of the pixels so the work cannot be skipped.
int DecodeAll(const std::string& path, bool reverse) {
  const int frames = ProbeVideo(path).FrameCount;
  TAviFrameReader reader;
  reader.Open(path);
  unsigned checksum = 0;
  for (int i = 0; i < frames; ++i) {
    const int n = reverse ? frames - 1 - i : i;
    if (!reader.ReadFrame(n)) {
      std::fprintf(stderr, "avi_decode_bench: frame %d missing\n", n);
      return 1;
    }
    const TBitmap& bitmap = reader.DecodeBitmap();
    checksum = checksum * 31 + bitmap.ScanLine(bitmap.Height() / 2)[bitmap.Width()];
  }
  reader.Close();
  std::printf("%d frames, checksum %08x\n", frames, checksum);
  return 0;
}

// A packed 640 x 360 24-bit frame through the decode stream into the decode bitmap.
void BM_PackedFrameToBitmap(benchmark::State& state) {
  constexpr int kWidth = 640, kHeight = 360;
  TDecodeStream stream;
  TBitmap bitmap;
  const std::vector<std::uint8_t> format(40, 0);
  const std::size_t imageBytes = std::size_t{kWidth} * 3 * kHeight;
  for (auto _ : state) {
    const std::span<std::uint8_t> packed = stream.PrepareFrame(40 + imageBytes, 40);
    std::memset(packed.data(), 0, 40);
    packed[0] = 40;
    packed[4] = kWidth & 0xFF, packed[5] = kWidth >> 8;
    packed[8] = kHeight & 0xFF, packed[9] = kHeight >> 8;
    packed[12] = 1;
    packed[14] = 24;
    PackedFrameToBitmap(packed, format, stream, bitmap);
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PackedFrameToBitmap);

// Sequential and backward reading of a 640 x 360 MPEG-4 fixture (key frame every 10).
class TFixtureFile {
 public:
  TFixtureFile() {
    char pattern[] = "/tmp/avi-decode-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    path_ = folder_ + "/bench.avi";
    fixtures::TFixtureAvi avi;
    avi.Codec = fixtures::TFixtureCodec::fcMpeg4;
    avi.Width = 640;
    avi.Height = 360;
    avi.FrameCount = 50;
    avi.Picture = fixtures::TFixturePicture::fpSample;
    fixtures::WriteFixtureAvi(path_, avi);
  }
  ~TFixtureFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_, path_;
};

const TFixtureFile& Fixture() {
  static const TFixtureFile file;
  return file;
}

void ReadFrames(benchmark::State& state, bool reverse) {
  const std::string& path = Fixture().Path();
  for (auto _ : state) {
    TAviFrameReader reader;
    reader.Open(path);
    for (int i = 0; i < 50; ++i)
      if (!reader.ReadFrame(reverse ? 49 - i : i)) state.SkipWithError("frame missing");
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
void BM_ReadFramesForward(benchmark::State& state) { ReadFrames(state, false); }
void BM_ReadFramesBackward(benchmark::State& state) { ReadFrames(state, true); }
BENCHMARK(BM_ReadFramesForward)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFramesBackward)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--decode") == 0) {
    if (argc != 4 || (std::strcmp(argv[3], "forward") != 0 && std::strcmp(argv[3], "reverse") != 0)) {
      std::fprintf(stderr, "usage: avi_decode_bench --decode VIDEO forward|reverse\n");
      return 2;
    }
    try {
      return DecodeAll(argv[2], std::strcmp(argv[3], "reverse") == 0);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "avi_decode_bench: %s\n", error.what());
      return 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
