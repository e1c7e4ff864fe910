// The frame extraction run: the ticked frames of the range are read one by one, converted to
// the chosen size and colour mode, and kept in TVideoState (the window) or handed on one at a
// time and freed (the command line). Also the frame selection rules of the "Frames select"
// group and "Clear results".
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/run_hooks.h"
#include "core/video_state.h"
#include "runs/frames/frame_conversion.h"
#include "video/frame_source.h"

namespace clipvane {

struct TExtractionOptions {
  TColorMode Mode = TColorMode::cm24bit;
  // Asked before each frame is converted: the window's "Width" and "Height" boxes may change
  // while the run processes messages. Empty: the video's frame size.
  std::function<TFrameSize()> FrameSize;
};

struct TExtractionResult {
  int FramesExtracted = 0;
  bool Aborted = false;      // stopped by the abort flag before reading a frame
  bool OutOfFrames = false;  // a frame could not be read: the run ended quietly there
};

// Receives each converted frame of a streaming run; the frame is freed when it returns.
using TFrameSink = std::function<void(int frameNumber, const TBitmap& frame)>;

// Ticked entries of FrameSelected over all frames 0 to LastFrame (not only the range): the
// progress maximum of a run.
int CountTickedFrames(const TVideoState& state);

// The run of "Get frames": empties ExtractedFrames, re-creates FrameResults with LastFrame + 1
// empty slots, clears ExtractAbort, then walks RangeFirst..RangeLast. Each ticked frame n is
// read, converted, stored in FrameResults[n] and listed as "Frame n". Before each ticked frame
// the progress advances, messages are processed and the abort flag (ExtractAbort or
// hooks.aborted) is tested; an abort leaves that frame unread. A frame that cannot be read
// ends the run quietly. At a normal end the progress goes to its maximum, then to 0. The
// source is opened on FilePath and closed at the end, also when an error travels out; the
// frames extracted until then stay. Running out of memory ends the run with a "Not enough
// memory" error instead of failing half-way through a frame. A video frame size whose
// processing would need more than the working-memory budget is refused before the source is
// opened, an output size before the frame is converted (CheckVideoRunMemory).
TExtractionResult RunFrameExtraction(TVideoState& state, TFrameSource& source, const TExtractionOptions& options,
                                     const TRunHooks& hooks);

// The same walk, but each converted frame goes to sink and is freed at once, so memory stays
// flat whatever the number of frames; FrameResults and ExtractedFrames are left alone.
TExtractionResult StreamFrameExtraction(TVideoState& state, TFrameSource& source, const TExtractionOptions& options,
                                        const TRunHooks& hooks, const TFrameSink& sink);

// "Clear results": releases the extracted bitmaps and empties the frames list.
void ClearExtractionResults(TVideoState& state);

// The range rule, run when the from or the to box changes: when to >= from only the frames
// from..to stay ticked; the range becomes from..to in any case (empty when to < from, the
// ticks then stay as they were). Ticks outside 0..LastFrame do not exist and are skipped.
void ApplyFrameRange(TVideoState& state, int from, int to);

// Ticks every frame 0 to LastFrame.
void TickAllFrames(TVideoState& state);

// Panel 1 of the preview window's status bar at the start of a run:
// "Size: 320x240 pixels  Color: 24 bit".
std::string ExtractionStatusText(int width, int height, TColorMode mode);

}  // namespace clipvane
