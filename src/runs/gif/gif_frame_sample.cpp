// Choosing the sampled runs, keeping their frames, and the state of a run over them.
#include "runs/gif/gif_frame_sample.h"

#include <algorithm>
#include <cmath>

#include "runs/gif/gif_conversion.h"

namespace clipvane {

TVideoState CopyRunState(const TVideoState& state) {
  TVideoState copy;
  copy.FilePath = state.FilePath;
  copy.FileTitle = state.FileTitle;
  copy.DisplayRect = state.DisplayRect;
  copy.FrameWidth = state.FrameWidth;
  copy.FrameHeight = state.FrameHeight;
  copy.LengthMs = state.LengthMs;
  copy.LengthSeconds = state.LengthSeconds;
  copy.LastFrame = state.LastFrame;
  copy.FrameTimes = state.FrameTimes;
  copy.FrameSelected = state.FrameSelected;
  copy.RangeFirst = state.RangeFirst;
  copy.RangeLast = state.RangeLast;
  copy.SamplingRate = state.SamplingRate;
  copy.CaptureWidth = state.CaptureWidth;
  copy.CaptureHeight = state.CaptureHeight;
  copy.CaptureRect = state.CaptureRect;
  return copy;
}

std::vector<int> TickedRangeFrames(const TVideoState& state) {
  std::vector<int> frames;
  const int last = std::min({state.RangeLast, state.LastFrame - 1, static_cast<int>(state.FrameSelected.size()) - 1});
  for (int n = std::max(state.RangeFirst, 0); n <= last; ++n)
    if (state.FrameSelected[static_cast<std::size_t>(n)]) frames.push_back(n);
  return frames;
}

std::vector<std::vector<int>> SpreadRuns(std::span<const int> frames, int count, int length) {
  std::vector<std::vector<int>> runs;
  if (frames.empty()) return runs;
  const auto total = static_cast<std::int64_t>(frames.size());
  count = std::max(count, 1);
  length = std::max(length, 1);
  if (total <= std::int64_t{count} * length) {
    runs.emplace_back(frames.begin(), frames.end());
    return runs;
  }
  // One run in each of `count` equal parts, at a place in the part that moves from part to
  // part by the golden ratio: runs do not keep step with a pattern that repeats along the
  // video (key frames every so many frames), and the sample is the same every time.
  for (int k = 0; k < count; ++k) {
    const std::int64_t begin = total * k / count, end = total * (k + 1) / count;
    const std::int64_t room = std::max<std::int64_t>(end - begin - length, 0);
    const double place = std::fmod(0.5 + 0.6180339887 * k, 1.0);
    const std::int64_t start =
        std::min(begin + static_cast<std::int64_t>(place * static_cast<double>(room + 1)), total - length);
    runs.emplace_back(frames.begin() + start, frames.begin() + start + length);
  }
  return runs;
}

bool TCapturedFrames::Read(TFrameSource& source, std::span<const int> numbers, const TRect& captureRect,
                           const TRunHooks& hooks) {
  for (const int number : numbers) {
    hooks.ProcessMessages();
    if (hooks.Aborted()) return false;
    if (frames_.count(number) != 0) continue;
    if (!source.ReadFrame(number)) break;
    const TBitmap& decoded = source.DecodeBitmap();
    TBitmap cut(captureRect.Width(), captureRect.Height(), decoded.PixelFormat());
    if (IsPaletteFormat(decoded.PixelFormat())) cut.SetPalette(decoded.Palette());
    CutAndStretch(decoded, captureRect, cut);
    bytes_ += cut.Bits().size();
    frames_.emplace(number, std::move(cut));
  }
  return true;
}

const TBitmap* TCapturedFrames::Find(int number) const {
  const auto found = frames_.find(number);
  return found == frames_.end() ? nullptr : &found->second;
}

void TCapturedFrames::Open(const std::string&) { current_ = nullptr; }

bool TCapturedFrames::ReadFrame(int frameNumber) {
  const TBitmap* frame = Find(frameNumber);
  if (frame == nullptr) return false;
  current_ = frame;
  return true;
}

const TBitmap& TCapturedFrames::DecodeBitmap() const { return current_ != nullptr ? *current_ : empty_; }

void TCapturedFrames::Close() { current_ = nullptr; }

TVideoState SampleRunState(const TVideoState& state, int first, int last, int sampling) {
  TVideoState run = CopyRunState(state);
  run.FrameWidth = state.CaptureWidth;
  run.FrameHeight = state.CaptureHeight;
  run.DisplayRect = TRect{0, 0, state.CaptureWidth, state.CaptureHeight};
  run.CaptureRect = TRect{0, 0, state.CaptureWidth, state.CaptureHeight};
  run.RangeFirst = first;
  run.RangeLast = last;
  run.SamplingRate = sampling;
  return run;
}

}  // namespace clipvane
