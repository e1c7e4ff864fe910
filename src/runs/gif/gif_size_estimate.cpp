// Sampling a GIF run and scaling the sample's bytes to the whole GIF.
#include "runs/gif/gif_size_estimate.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/error.h"
#include "runs/gif/byte_size_text.h"
#include "runs/gif/frame_sampling.h"
#include "runs/gif/gif_frame_sample.h"

namespace clipvane {

namespace {

double Mean(const std::vector<double>& values) {
  return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

std::string GroupedDigits(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

TSamplePlan EstimateSamplePlan(int gifFrames) {
  const int wanted = std::clamp(gifFrames / 10, std::min(gifFrames, 16), 200);
  TSamplePlan plan;
  if (wanted >= gifFrames) {
    plan.Length = std::max(gifFrames, 1);
    return plan;
  }
  plan.Length = 4;
  plan.Runs = std::clamp(wanted / plan.Length, 1, 50);
  return plan;
}

TGifSizeEstimate ExtrapolateSample(const TSampleMeasure& measure, int gifFrames, bool bestQuality) {
  TGifSizeEstimate estimate;
  estimate.GifFrames = gifFrames;
  estimate.SampledFrames = measure.Frames;
  estimate.GifWidth = measure.GifWidth;
  estimate.GifHeight = measure.GifHeight;
  if (measure.FirstFrameBytes.empty() || gifFrames <= 0) return estimate;

  std::vector<double> firsts(measure.FirstFrameBytes.begin(), measure.FirstFrameBytes.end());
  // What a frame adds, run by run: the later frames (Best quality writes changes), or all.
  std::vector<double> perRun;
  std::vector<double> all;
  for (std::size_t r = 0; r < measure.LaterFrameBytes.size(); ++r) {
    std::vector<double> frames(measure.LaterFrameBytes[r].begin(), measure.LaterFrameBytes[r].end());
    if (!bestQuality) frames.push_back(firsts[r]);
    if (frames.empty()) continue;
    perRun.push_back(Mean(frames));
    all.insert(all.end(), frames.begin(), frames.end());
  }
  const double frameBytes = all.empty() ? Mean(firsts) : Mean(all);
  double bytes = static_cast<double>(measure.HeaderBytes);
  double spread = 0;
  const int scaled = bestQuality ? gifFrames - 1 : gifFrames;
  if (bestQuality) bytes += Mean(firsts);
  bytes += scaled * frameBytes;
  if (measure.Frames < gifFrames && perRun.size() >= 2) {
    double variance = 0;
    const double mean = Mean(perRun);
    for (const double value : perRun) variance += (value - mean) * (value - mean);
    variance /= static_cast<double>(perRun.size() - 1);
    spread = 2 * std::sqrt(variance / static_cast<double>(perRun.size())) * scaled;
  }
  estimate.Bytes = static_cast<std::uint64_t>(std::llround(std::max(bytes, 0.0)));
  estimate.Uncertainty = estimate.Bytes > 0 ? spread / static_cast<double>(estimate.Bytes) : 0;
  return estimate;
}

TGifSizeEstimate EstimateGifSize(const TVideoState& state, TFrameSource& source, const TGifOptions& options,
                                 const TRunHooks& hooks) {
  std::vector<int> planned;
  for (const int n : SampledFrames(state))
    if (n < state.LastFrame) planned.push_back(n);
  const int gifFrames = GifFrameCount(state, options);
  const TSamplePlan plan = EstimateSamplePlan(static_cast<int>(planned.size()));
  const std::vector<std::vector<int>> runs = SpreadRuns(planned, plan.Runs, plan.Length);
  int total = 0;
  for (const auto& run : runs) total += static_cast<int>(run.size());

  source.Open(state.FilePath);
  const TFrameSourceCloser closer(source);
  TSampleMeasure measure;
  int done = 0;
  hooks.Progress(0, total);
  for (const std::vector<int>& run : runs) {
    // One run's frames at a time: memory follows a run, not the sample.
    TCapturedFrames frames;
    if (!frames.Read(source, run, state.CaptureRect, hooks)) throw EClipvaneError("Aborted");
    std::vector<int> kept;
    for (const int n : run)
      if (frames.Find(n) != nullptr) kept.push_back(n);
    if (kept.empty()) break;
    const TSampleMeasure part = ConvertSample(state, frames, std::span(&kept, 1), options, 0);
    if (measure.FirstFrameBytes.empty()) {
      measure.HeaderBytes = part.HeaderBytes;
      measure.GifWidth = part.GifWidth;
      measure.GifHeight = part.GifHeight;
    }
    measure.FirstFrameBytes.insert(measure.FirstFrameBytes.end(), part.FirstFrameBytes.begin(),
                                   part.FirstFrameBytes.end());
    measure.LaterFrameBytes.insert(measure.LaterFrameBytes.end(), part.LaterFrameBytes.begin(),
                                   part.LaterFrameBytes.end());
    measure.Frames += part.Frames;
    done += static_cast<int>(run.size());
    hooks.Progress(done, total);
    // A frame the source could not give ends the video there, as it ends the run.
    if (kept.size() < run.size()) break;
  }
  return ExtrapolateSample(measure, gifFrames, options.BestQuality);
}

std::string GifSizeEstimateText(const TGifSizeEstimate& estimate) {
  std::string text = "about " + ByteSizeWords(estimate.Bytes) + " (" + GroupedDigits(estimate.Bytes) + " bytes)";
  if (estimate.Uncertainty > 0) {
    const int percent = std::max(1, static_cast<int>(std::lround(estimate.Uncertainty * 100)));
    text += ", within about " + std::to_string(percent) + " %";
  }
  return text;
}

}  // namespace clipvane
