// A sample of a GIF run's frames for estimating it: a few runs of consecutive frames spread
// over the range, each frame read once and kept cut to the capture region, and the state a
// run over those kept frames is made with. Memory: the frames kept, which the caller bounds.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/run_hooks.h"
#include "core/video_state.h"
#include "video/frame_source.h"

namespace clipvane {

// The fields of a state that a GIF run reads (the video, its ticks and range, sampling,
// capture region, frame times), without the frames page's results.
TVideoState CopyRunState(const TVideoState& state);

// The ticked frames from RangeFirst to RangeLast that a source can give (below LastFrame,
// which the media device counts one past the stream), in order: what the run reads at
// sampling 1.
std::vector<int> TickedRangeFrames(const TVideoState& state);

// `count` runs of `length` consecutive entries of `frames`, one in each of `count` equal
// parts of it, at a place in its part that varies from part to part (so that the runs do not
// keep step with a pattern that repeats along a video); one run of everything when there
// are not more frames than that; none for no frames. The same arguments give the same runs.
std::vector<std::vector<int>> SpreadRuns(std::span<const int> frames, int count, int length);

// Frames of a video kept by number, cut to the capture region at its size in the pixel
// format and palette they were decoded in; a frame source that gives them again (Open and
// Close do nothing; a frame not kept cannot be read).
class TCapturedFrames : public TFrameSource {
 public:
  // Reads `numbers` (increasing) from `source`, already open, keeping each cut to
  // captureRect. Messages are processed and the abort flag tested before each frame: false
  // when aborted. A frame the source cannot give ends the reading quietly.
  bool Read(TFrameSource& source, std::span<const int> numbers, const TRect& captureRect, const TRunHooks& hooks);
  // A frame kept, or none.
  const TBitmap* Find(int number) const;
  std::size_t Count() const { return frames_.size(); }
  std::uint64_t Bytes() const { return bytes_; }

  void Open(const std::string& path) override;
  bool ReadFrame(int frameNumber) override;
  const TBitmap& DecodeBitmap() const override;
  void Close() override;

 private:
  std::map<int, TBitmap> frames_;
  std::uint64_t bytes_ = 0;
  const TBitmap* current_ = nullptr;
  TBitmap empty_;
};

// The state of a run over kept frames `first`..`last` of `state` at `sampling`: the same
// video, ticks and timing, but the frames are the capture region itself (frame size =
// capture size, capture rectangle = the whole frame).
TVideoState SampleRunState(const TVideoState& state, int first, int last, int sampling);

}  // namespace clipvane
