// TAviCursor: an AVI's frames as the decode cursor numbers them. Frame n is the picture whose
// timestamp lies n frame durations (index ticks) after the first picture's, and a number whose
// packet is a drop frame (no picture of its own) gives the picture before it. Reading forward
// never seeks; a jump back or far ahead seeks to the nearest earlier key frame of the demuxer's
// index, and to the one before that when the decoder can show nothing at or before n from
// there (B-frames displayed before their key frame). Private to the video layer.
#pragma once

#include <string>

#include "video/decode_cursor.h"

namespace clipvane::video {

class TAviCursor : public TDecodeCursor {
 public:
  // `path` names the file in the error about a corrupt index.
  explicit TAviCursor(std::string path);

  // Frames the index proves (drop frames included), or -1 when the file has no index: then
  // the frames past the packets read are unknown.
  void SetFrameLimit(std::int64_t frames) { frameLimit_ = frames; }
  // False for a number below 0 or past the frames the index proves.
  bool Numbers(std::int64_t n) const { return n >= 0 && (frameLimit_ < 0 || n < frameLimit_); }

  // Right after the input is given, the demuxer stands at the first packet: the first picture
  // that comes out is frame 0, whatever timestamp the decoder's delay gives it. Called once,
  // before the first Picture.
  bool Calibrated() const { return calibrated_; }
  void Calibrate();

 protected:
  std::optional<std::int64_t> FrameOf(const AVFrame* picture) override;
  bool Feeds(const AVPacket* packet) override;
  bool MoveTowards(std::int64_t n) override;
  TGoBack GoBackFurther(std::int64_t n) override;
  bool LastStandsFor(std::int64_t n) const override;
  void DemuxerOutOfMemory() const override;

 private:
  std::int64_t KeyDtsAtOrBefore(std::int64_t dts) const;
  bool SeekTo(std::int64_t keyDts);
  // No frame below this can come out without a seek.
  std::int64_t Floor() const { return HasCurrent() ? CurrentFrame() : seekFloor_; }

  std::string path_;
  std::int64_t frameLimit_ = -1;
  // Set by the first decoded picture: the first packet's decoding timestamp and the first
  // picture's presentation timestamp, which is frame 0.
  bool calibrated_ = false;
  bool sawFirstPacket_ = false;
  std::int64_t startDts_ = 0;
  std::int64_t firstPictureTs_ = 0;
  std::int64_t lastPictureIndex_ = -1;           // the last picture the decoder gave
  std::int64_t seekFloor_ = 0;                   // the floor when no picture is current
  std::int64_t lastPacketDts_ = AV_NOPTS_VALUE;  // of the last packet read
  std::int64_t lastSeekDts_ = AV_NOPTS_VALUE;    // the key frame of the last seek
};

}  // namespace clipvane::video
