// The frame extraction run over TVideoState, and the frame selection rules.
#include "runs/frames/extraction_run.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/error.h"
#include "core/memory_budget.h"

namespace clipvane {

namespace {

// Closes the source on every way out of the run; a failing Close must not hide the error
// that is already travelling.
class TSourceGuard {
 public:
  explicit TSourceGuard(TFrameSource& source) : source_(source) {}
  ~TSourceGuard() {
    if (!open_) return;
    try {
      source_.Close();
    } catch (...) {
    }
  }
  TSourceGuard(const TSourceGuard&) = delete;
  TSourceGuard& operator=(const TSourceGuard&) = delete;
  void Close() {
    open_ = false;
    source_.Close();
  }

 private:
  TFrameSource& source_;
  bool open_ = true;
};

// Calls keep(n, frame) for every frame read and converted; see RunFrameExtraction.
template <class Keep>
TExtractionResult WalkFrames(TVideoState& state, TFrameSource& source, const TExtractionOptions& options,
                             const TRunHooks& hooks, Keep&& keep) {
  const int maximum = CountTickedFrames(state);
  int position = 0;
  hooks.Progress(position, maximum);

  // The frames are decoded at the video's size; each output size is checked as it is read.
  CheckVideoRunMemory(state.FrameWidth, state.FrameHeight, 0, 0);
  source.Open(state.FilePath);
  TSourceGuard guard(source);
  TExtractionResult result;
  // The range may reach past the frames that exist when the state was filled carelessly;
  // such numbers have no tick and no slot, so they are not visited.
  const int first = std::max(state.RangeFirst, 0);
  const int last = std::min({state.RangeLast, state.LastFrame, static_cast<int>(state.FrameSelected.size()) - 1});
  for (int n = first; n <= last; ++n) {
    if (!state.FrameSelected[static_cast<std::size_t>(n)]) continue;
    if (position < maximum) ++position;
    hooks.Progress(position, maximum);
    hooks.ProcessMessages();
    if (state.ExtractAbort || hooks.Aborted()) {
      result.Aborted = true;
      break;
    }
    try {
      if (!source.ReadFrame(n)) {
        result.OutOfFrames = true;
        break;
      }
      const TFrameSize size = options.FrameSize ? options.FrameSize() : TFrameSize{state.FrameWidth, state.FrameHeight};
      CheckVideoRunMemory(state.FrameWidth, state.FrameHeight, size.Width, size.Height);
      keep(n, ConvertFrame(source.DecodeBitmap(), size.Width, size.Height, options.Mode));
    } catch (const std::bad_alloc&) {
      // A long run at a large size can exhaust memory; the frames so far are complete and
      // stay, so say so instead of failing with a bare allocation error.
      throw EClipvaneError("Not enough memory for frame " + std::to_string(n) + ": the " +
                           std::to_string(result.FramesExtracted) + " frames before it are kept");
    }
    ++result.FramesExtracted;
  }
  hooks.Progress(maximum, maximum);
  hooks.Progress(0, maximum);
  guard.Close();
  return result;
}

}  // namespace

int CountTickedFrames(const TVideoState& state) {
  const std::size_t frames = state.FrameSlots();
  const std::size_t count = std::min(frames, state.FrameSelected.size());
  return static_cast<int>(
      std::count(state.FrameSelected.begin(), state.FrameSelected.begin() + static_cast<long>(count), true));
}

TExtractionResult RunFrameExtraction(TVideoState& state, TFrameSource& source, const TExtractionOptions& options,
                                     const TRunHooks& hooks) {
  state.ResetResults();
  state.ExtractAbort = false;
  return WalkFrames(state, source, options, hooks, [&state](int n, std::unique_ptr<TBitmap> frame) {
    // Listed first: if the list cannot grow, the frame is freed and the results stay
    // consistent (every listed frame has its bitmap in FrameResults).
    state.ExtractedFrames.push_back(TExtractedFrame{"Frame " + std::to_string(n), n, frame.get()});
    state.FrameResults[static_cast<std::size_t>(n)] = std::move(frame);
  });
}

TExtractionResult StreamFrameExtraction(TVideoState& state, TFrameSource& source, const TExtractionOptions& options,
                                        const TRunHooks& hooks, const TFrameSink& sink) {
  state.ExtractAbort = false;
  return WalkFrames(state, source, options, hooks, [&sink](int n, std::unique_ptr<TBitmap> frame) { sink(n, *frame); });
}

void ClearExtractionResults(TVideoState& state) { state.ClearResults(); }

void ApplyFrameRange(TVideoState& state, int from, int to) {
  if (to >= from) {
    std::fill(state.FrameSelected.begin(), state.FrameSelected.end(), false);
    const int last = std::min(to, static_cast<int>(state.FrameSelected.size()) - 1);
    for (int n = std::max(from, 0); n <= last; ++n) state.FrameSelected[static_cast<std::size_t>(n)] = true;
  }
  state.RangeFirst = from;
  state.RangeLast = to;
}

void TickAllFrames(TVideoState& state) { state.FrameSelected.assign(state.FrameSlots(), true); }

std::string ExtractionStatusText(int width, int height, TColorMode mode) {
  return "Size: " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels  Color: " + std::string(ColorModeText(mode));
}

}  // namespace clipvane
