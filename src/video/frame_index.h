// TFrameIndex: where every picture of a container's video stream lies, found by reading the
// packets without decoding them (a container's own complete index, such as MP4 sample
// tables, is what the demuxer reads them from). Frame n is the n-th picture in presentation
// order, whatever the decoding order; plain data, shared read-only by the readers of a file.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/video_frame_times.h"

namespace clipvane {

// How the decoded pictures are turned upright and square.
struct TPictureGeometry {
  int CodedWidth = 0;  // the picture as the decoder gives it
  int CodedHeight = 0;
  // Degrees to turn the decoded picture clockwise for showing: 0, 90, 180 or 270.
  int Rotation = 0;
  // The picture as shown: square pixels, turned. Rotation 90 or 270 swaps the sides.
  int DisplayWidth = 0;
  int DisplayHeight = 0;
  // The colour matrix when the pictures do not say: the stream's tag, else BT.601 below 720
  // lines and BT.709 from 720 (FFmpeg's AVColorSpace numbers).
  int DefaultColorSpace = 0;
  // The brightest light of a PQ video in nits, as its metadata says; 0 when it does not.
  int PeakNits = 0;
};

// How the first picture says its colours are coded (FFmpeg's numbers; 2 is "unspecified").
struct TPictureColour {
  int Matrix = 2;     // AVColorSpace
  int Transfer = 2;   // AVColorTransferCharacteristic
  int Primaries = 2;  // AVColorPrimaries
  bool FullRange = false;
  int BitDepth = 8;  // bits of each sample of the decoded picture
};

// A timestamp the packet did not have.
inline constexpr std::int64_t kNoTimestamp = INT64_MIN;

struct TIndexedPacket {
  std::int64_t Position = -1;       // byte position in the file, -1 when the demuxer gives none
  std::int64_t Pts = kNoTimestamp;  // presentation timestamp (the decoding one when it had none)
  std::int64_t Dts = kNoTimestamp;  // decoding timestamp
  bool Key = false;
};

class TFrameIndex {
 public:
  // Timestamps are in ticks of TimeBase.
  TTimeBase TimeBase;
  // The video stream's packets in decoding order.
  std::vector<TIndexedPacket> Packets;
  // Frame n: its picture's presentation timestamp and its packet (index into Packets).
  std::vector<std::int64_t> FramePts;
  std::vector<std::int32_t> FramePacket;
  // Frame n can be decoded from the key packet StartKey[n] on (index into Packets).
  std::vector<std::int32_t> StartKey;
  // Where the last frame ends.
  std::int64_t EndPts = 0;
  // The timestamps do not tell the pictures apart (missing, repeated, or jumping back): frame
  // n is then the n-th picture the decoder gives from the start of the file, and a jump
  // decodes again from there.
  bool Counted = false;
  // The frames do not come at one rate.
  bool VariableRate = false;
  TPictureGeometry Geometry;
  TPictureColour Colour;

  int FrameCount() const { return static_cast<int>(FramePts.size()); }
  // Ticks from the first frame's start to the end of the last.
  std::int64_t SpanTicks() const { return FramePts.empty() ? 0 : EndPts - FramePts.front(); }
  // The presentation span in milliseconds, to the nearest (halves away from zero).
  std::int64_t LengthMs() const;
  // Frame of the picture with this timestamp, or -1 when no frame has it.
  std::int64_t FrameOfPts(std::int64_t pts) const;
  // The packet at this byte position (or, when the position is unknown, with these
  // timestamps), or -1 when none is.
  std::int64_t PacketAt(std::int64_t position, std::int64_t pts, std::int64_t dts) const;
  // The frame start times for a variable rate (empty for one rate).
  TVideoFrameTimes FrameTimes() const;

  // Fills FramePts, FramePacket, StartKey, EndPts, Counted, VariableRate and the lookup
  // tables from Packets (which must be complete). `discarded[i]` marks a packet decoded
  // only to reach others (MP4 edit lists), `durations[i]` its duration (0: unknown);
  // `nominalDuration` is the stream's frame duration in ticks (0: unknown); `containerEnd`
  // where the container says the video ends (kNoTimestamp: it does not), which gives the last
  // frame's duration when its packet has none and the end lies within two frames of it.
  void Complete(const std::vector<bool>& discarded, const std::vector<std::int64_t>& durations,
                std::int64_t nominalDuration, std::int64_t containerEnd = kNoTimestamp);

 private:
  // (position, packet) and (pts, packet), each in rising order, for PacketAt.
  std::vector<std::pair<std::int64_t, std::int32_t>> byPosition_;
  std::vector<std::pair<std::int64_t, std::int32_t>> byPts_;
};

}  // namespace clipvane
