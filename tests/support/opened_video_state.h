// The state "Open AVI" leaves for a video, for the tests of the runs and the CLI: its file,
// frame size and length, frames 0 to LastFrame all ticked, the whole range, the whole frame
// captured, sampling every frame.
#pragma once

#include <string>

#include "core/video_state.h"
#include "runs/frames/extraction_run.h"
#include "runs/gif/capture_region.h"
#include "runs/gif/frame_sampling.h"

namespace clipvane::fixtures {

struct TOpenedVideo {
  std::string Path = "/videos/clip.avi";
  // LastFrame is the media device's frame count: one past the stream's last picture.
  int LastFrame = 20;
  int Width = 64;
  int Height = 48;
  // Milliseconds; -1: 40 a frame.
  int LengthMs = -1;
};

inline TVideoState OpenedVideoState(const TOpenedVideo& video = {}) {
  TVideoState state;
  state.FilePath = video.Path;
  state.FrameWidth = video.Width;
  state.FrameHeight = video.Height;
  state.DisplayRect = TRect{0, 0, video.Width, video.Height};
  state.LastFrame = video.LastFrame;
  state.LengthMs = video.LengthMs >= 0 ? video.LengthMs : video.LastFrame * 40;
  state.LengthSeconds = state.LengthMs / 1000;
  state.SamplingRate = 1;
  SelectAllFrames(state);
  SelectFullWindow(state);
  return state;
}

}  // namespace clipvane::fixtures
