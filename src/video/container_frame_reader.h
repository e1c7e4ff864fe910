// TContainerFrameReader: the frames of every container FFmpeg reads other than AVI (MP4, MOV,
// MKV, WebM, MPEG-TS, ...), beside TAviFrameReader. Frame n is the n-th picture in
// presentation order; each comes out as a player shows it (24 bits, upright, square pixels,
// alpha over black) at the size the file's first picture gives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "video/frame_source.h"

struct AVFormatContext;

namespace clipvane {

class TContainerFrameReader : public TFrameSource {
 public:
  // Called before a seek with the frame number of the key picture it goes to, and before a
  // decoded frame is made into the decode bitmap (an error thrown there travels out of
  // ReadFrame like any error while reading).
  struct THooks {
    std::function<void(std::int64_t keyFrame)> Seeking;
    std::function<void(int frameNumber)> LoadingFrame;
  };

  // `hdr` says what becomes of the pictures of an HDR video.
  explicit TContainerFrameReader(THooks hooks = {}, THdrMode hdr = THdrMode::hdrToSdr);
  ~TContainerFrameReader() override;
  TContainerFrameReader(const TContainerFrameReader&) = delete;
  TContainerFrameReader& operator=(const TContainerFrameReader&) = delete;

  // Indexes the file (or takes the index made for it before) and opens its decoder. `opened`,
  // when given, is the file opened the container way and standing at its start; the reader
  // takes it over. Throws EClipvaneError with a message that names the file.
  void Open(const std::string& path) override { Open(path, nullptr); }
  void Open(const std::string& path, AVFormatContext* opened);
  // False, with the bitmap unchanged, for a number outside 0 to the frame count - 1 or when
  // the stream gives no picture. An error while decoding closes the reader and throws.
  bool ReadFrame(int frameNumber) override;
  TBitmap& DecodeBitmap() { return bitmap_; }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override;
  int FrameCount() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  THooks hooks_;
  THdrMode hdr_;
  TBitmap bitmap_;
};

}  // namespace clipvane
