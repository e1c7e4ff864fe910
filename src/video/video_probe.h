// ProbeVideo: the frame size, frame count and length of an AVI file's first video stream,
// as the media device reports them when a video is opened.
#pragma once

#include <string>

namespace clipvane {

struct TVideoInfo {
  int FrameWidth = 0;   // pixels
  int FrameHeight = 0;  // pixels
  // Number of video frames of the stream, drop frames included.
  int FrameCount = 0;
  // Frames per second = FrameRateNumerator / FrameRateDenominator.
  int FrameRateNumerator = 0;
  int FrameRateDenominator = 1;
  // Milliseconds one frame lasts.
  double FrameDurationMs = 0;
  // FrameCount x the frame duration, rounded to the nearest millisecond (halves away from 0).
  int LengthMs = 0;
};

// Reads the stream header and index (every packet when the file has no index, so the count
// is exact for a file cut short). The frame count is what the index or the packets prove, the
// frame size what the decoder makes of the first pictures; the header's claims of either
// only stand in when nothing better is known. Throws EClipvaneError: "\"PATH\" is a folder",
// else FFmpeg's text for the failure: a file that cannot be opened as an AVI, "Stream not
// found" for one without a video stream, "Invalid data found when processing input" for
// absurd dimensions, frame rates or frame counts.
TVideoInfo ProbeVideo(const std::string& path);

}  // namespace clipvane
