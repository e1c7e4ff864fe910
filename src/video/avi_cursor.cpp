// An AVI's numbering for the decode cursor: index ticks, drop frames, and seeks to the key
// frames of the demuxer's index.
#include "video/avi_cursor.h"

#include "core/error.h"
#include "video/avi_input.h"

namespace clipvane::video {

namespace {

// Decoded pictures kept for reading back, in bytes: a run reading backwards then decodes each
// group of pictures once instead of once a frame.
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
// A key frame this many frames or fewer past the next packet is not worth a seek: decoding
// on is about as cheap and keeps the decoder's threads busy.
constexpr std::int64_t kForwardSeekSlack = 2;

}  // namespace

TAviCursor::TAviCursor(std::string path) : TDecodeCursor(kKeptBytes), path_(std::move(path)) {}

std::optional<std::int64_t> TAviCursor::FrameOf(const AVFrame* picture) {
  std::int64_t index = 0;
  if (calibrated_) {
    const std::int64_t ts = picture->best_effort_timestamp;
    // The last pictures of a stream with B-frames come out of the drained decoder unstamped.
    index = ts == AV_NOPTS_VALUE ? lastPictureIndex_ + 1 : ts - firstPictureTs_;
  }
  lastPictureIndex_ = index;
  return index;
}

bool TAviCursor::Feeds(const AVPacket* packet) {
  if (!sawFirstPacket_) {
    sawFirstPacket_ = true;
    startDts_ = packet->dts != AV_NOPTS_VALUE ? packet->dts : 0;
  }
  lastPacketDts_ = packet->dts != AV_NOPTS_VALUE      ? packet->dts
                   : lastPacketDts_ != AV_NOPTS_VALUE ? lastPacketDts_ + 1
                                                      : startDts_;
  return packet->size != 0;  // a drop frame: nothing to decode
}

void TAviCursor::Calibrate() {
  std::int64_t ignored = 0;
  const bool gotPicture = ReceivePicture(ignored);
  calibrated_ = true;
  lastSeekDts_ = startDts_;
  if (!gotPicture) {
    firstPictureTs_ = startDts_;
    seekFloor_ = 0;
    return;
  }
  const std::int64_t ts = Received()->best_effort_timestamp;
  firstPictureTs_ = ts != AV_NOPTS_VALUE ? ts : startDts_;
  lastPictureIndex_ = 0;
  TakeAsCurrent(0);
}

// The demuxer reports an index entry of an impossible size as a failed allocation; say what
// it really is.
void TAviCursor::DemuxerOutOfMemory() const {
  if (avi::HasImpossibleIndexEntry(Input(), avi::FileBytes(Input())))
    throw EClipvaneError("Corrupt index in \"" + path_ + "\"", path_, "the file's index is corrupt");
}

std::int64_t TAviCursor::KeyDtsAtOrBefore(std::int64_t dts) const {
  if (dts <= startDts_) return startDts_;
  AVStream* stream = Input()->streams[StreamIndex()];
  const int entry = av_index_search_timestamp(stream, dts, AVSEEK_FLAG_BACKWARD);
  if (entry < 0) return startDts_;
  const AVIndexEntry* found = avformat_index_get_entry(stream, entry);
  return found && found->timestamp > startDts_ ? found->timestamp : startDts_;
}

bool TAviCursor::SeekTo(std::int64_t keyDts) {
  if (OnSeek) OnSeek(keyDts - startDts_);
  if (av_seek_frame(Input(), StreamIndex(), keyDts, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(Input(), StreamIndex(), INT64_MIN, keyDts, keyDts, 0) < 0)
    return false;
  ResetDecoding();
  lastSeekDts_ = keyDts;
  lastPacketDts_ = keyDts - 1;
  lastPictureIndex_ = keyDts - startDts_ - 1;
  seekFloor_ = keyDts - startDts_;
  return true;
}

bool TAviCursor::MoveTowards(std::int64_t n) {
  bool seek = n < Floor();
  if (!seek && frameLimit_ >= 0) {
    const std::int64_t key = KeyDtsAtOrBefore(startDts_ + n);
    const std::int64_t nextDts = lastPacketDts_ == AV_NOPTS_VALUE ? startDts_ : lastPacketDts_ + 1;
    seek = key > nextDts + kForwardSeekSlack;
  }
  return !seek || SeekTo(KeyDtsAtOrBefore(startDts_ + n));
}

TDecodeCursor::TGoBack TAviCursor::GoBackFurther(std::int64_t) {
  // From the key frame before the last seek's.
  if (lastSeekDts_ == AV_NOPTS_VALUE || lastSeekDts_ <= startDts_) return TGoBack::gbCannot;
  return SeekTo(KeyDtsAtOrBefore(lastSeekDts_ - 1)) ? TGoBack::gbWent : TGoBack::gbFailed;
}

bool TAviCursor::LastStandsFor(std::int64_t n) const {
  // Frames the index or the packets still cover are drop frames, and the last picture stands
  // for them.
  return frameLimit_ >= 0 || (lastPacketDts_ != AV_NOPTS_VALUE && n <= lastPacketDts_ - startDts_);
}

}  // namespace clipvane::video
