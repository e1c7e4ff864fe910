// TVideoState: the one record of the opened video and of every value that outlives a user
// action, shared by the windows, the runs and the CLI. Plain data; created zeroed.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "core/video_frame_times.h"

namespace clipvane {

// One entry of the frames list; Bitmap is held by TVideoState::FrameResults, not owned here.
struct TExtractedFrame {
  std::string Caption;  // "Frame " + FrameNumber
  int FrameNumber = 0;
  const TBitmap* Bitmap = nullptr;
};

struct TVideoState {
  std::string FilePath;
  std::string FileTitle;
  TRect DisplayRect;
  int FrameWidth = 0;
  int FrameHeight = 0;
  int LengthMs = 0;
  int LengthSeconds = 0;
  // Frames are numbered 0 to LastFrame; every list, range and array has LastFrame + 1 entries.
  int LastFrame = 0;
  // Where each frame starts, for a video whose frames do not come at one rate (a phone or
  // screen recording); empty otherwise. The time position and the time ranges follow it.
  TVideoFrameTimes FrameTimes;
  std::vector<bool> FrameSelected;
  int RangeFirst = 0;
  int RangeLast = 0;
  int SamplingRate = 0;
  int CaptureWidth = 0;
  int CaptureHeight = 0;
  TRect CaptureRect;
  int PickAnchorX = 0;
  int PickAnchorY = 0;
  int PickCornerX = 0;  // -32000: no rubber band drawn yet
  int PickCornerY = 0;
  bool PickArmed = false;
  bool PickDragging = false;
  bool Paused = false;
  bool ExtractAbort = false;
  bool ConvertAbort = false;
  // LastFrame + 1 slots indexed by frame number; owns the extracted bitmaps.
  std::vector<std::unique_ptr<TBitmap>> FrameResults;
  std::vector<TExtractedFrame> ExtractedFrames;
  int GifFrameCount = 0;
  int PreviewIndex = 0;
  int PreviewZoom = 0;
  bool SourceEmpty = false;
  bool DestinationEmpty = false;
  int TransitionDurationMs = 0;

  // Empties the frames list first (it refers into FrameResults), then releases the bitmaps.
  void ClearResults() {
    ExtractedFrames.clear();
    FrameResults.clear();
  }
  // LastFrame + 1, the size of every per-frame list, counted where it cannot overflow
  // (none for a negative LastFrame).
  std::size_t FrameSlots() const { return LastFrame < 0 ? 0 : static_cast<std::size_t>(LastFrame) + 1; }
  // As before any video was opened: every field zeroed but those of the transition page,
  // which a video does not touch.
  void ForgetVideo() {
    TVideoState fresh;
    fresh.SourceEmpty = SourceEmpty;
    fresh.DestinationEmpty = DestinationEmpty;
    fresh.TransitionDurationMs = TransitionDurationMs;
    *this = std::move(fresh);
  }
  // Re-creates FrameResults with LastFrame + 1 empty slots; the list is emptied first.
  void ResetResults() {
    ClearResults();
    FrameResults.resize(LastFrame < 0 ? 1 : FrameSlots());
  }
};

}  // namespace clipvane
