// ProbeVideo: the frame size, frame count and length of a video file's first video stream,
// as the media device reports them when a video is opened: an AVI's from its header and
// index, any other container's from its frame index (the pictures in presentation order).
// Only the local file of that name is read, whatever the name looks like.
#pragma once

#include <functional>
#include <string>

#include "core/video_frame_times.h"

namespace clipvane {

// How a video's pictures code their colours, as the video says.
struct TVideoColour {
  // FFmpeg's names ("bt709", "bt2020nc", "smpte2084", "arib-std-b67", "bt2020", ...), or
  // "unspecified" where the video does not say.
  std::string Matrix = "unspecified";
  std::string Transfer = "unspecified";
  std::string Primaries = "unspecified";
  bool FullRange = false;
  int BitDepth = 8;  // bits of each sample
  // "PQ" or "HLG" for an HDR video (whose pictures are made SDR), else empty.
  std::string Hdr;
};

struct TVideoInfo {
  // The picture as shown: upright, square pixels.
  int FrameWidth = 0;   // pixels
  int FrameHeight = 0;  // pixels
  // Number of video frames of the stream (an AVI's drop frames included).
  int FrameCount = 0;
  // Frames per second = FrameRateNumerator / FrameRateDenominator (the average for a
  // container's frames: the frame count over the presentation span).
  int FrameRateNumerator = 0;
  int FrameRateDenominator = 1;
  // Milliseconds one frame lasts.
  double FrameDurationMs = 0;
  // An AVI: FrameCount x the frame duration; another container: the presentation span of the
  // pictures (first to last, plus the last one's duration). Rounded to the nearest
  // millisecond (halves away from 0).
  int LengthMs = 0;

  // The AVI way (AVI files keep their own numbering and messages).
  bool IsAvi = true;
  std::string Container;  // "avi", "mp4", "matroska", ...
  std::string Codec;      // "h264", "hevc", "rawvideo", ...
  // The picture as the decoder gives it, and the degrees it is turned clockwise for showing.
  int CodedWidth = 0;
  int CodedHeight = 0;
  int Rotation = 0;
  // Each frame's start, for a video whose frames do not come at one rate; empty otherwise.
  TVideoFrameTimes FrameTimes;
  // Any container but AVI: how the pictures code their colours.
  TVideoColour Colour;
};

// Progress of a long open: position of maximum.
using TOpenProgress = std::function<void(int position, int maximum)>;

// Throws EClipvaneError("\"PATH\" is a folder") for a folder.
// AVI: reads the stream header and index (every packet when the file has no index, so the
// count is exact for a file cut short). The frame count is what the index or the packets
// prove, the frame size what the decoder makes of the first pictures; the header's claims of
// either only stand in when nothing better is known. Throws EClipvaneError with FFmpeg's
// text for the failure (a file that cannot be opened as an AVI, "Stream not found" for one
// without a video stream, "Invalid data found when processing input" for absurd dimensions,
// frame rates or frame counts), and the file with what is wrong with it in words.
// Any other container: the frame count is the pictures its packets hold, the size that of its
// first decoded picture (upright, square pixels): reads every packet of the video stream once
// (reported to `progress`; a file read before and unchanged since is not read again) and
// decodes the first picture. Throws EClipvaneError naming the file ("clip.xyz: not a video
// file this program can read").
TVideoInfo ProbeVideo(const std::string& path, const TOpenProgress& progress = {});

}  // namespace clipvane
