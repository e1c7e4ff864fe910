// TContainerFrameReader: what TAviFrameReader does for every container other than AVI. Frame
// n is the n-th picture in presentation order; each comes out as a player shows it (24 bits,
// upright, square pixels, alpha over black) at the size the file's first picture gives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/bitmap.h"

struct AVFormatContext;

namespace clipvane {

class TContainerFrameReader {
 public:
  // Called before a seek with the frame number of the key picture it goes to, and before a
  // decoded frame is made into the decode bitmap (an error thrown there travels out of
  // ReadFrame like any error while reading).
  struct THooks {
    std::function<void(std::int64_t keyFrame)> Seeking;
    std::function<void(int frameNumber)> LoadingFrame;
  };

  explicit TContainerFrameReader(THooks hooks = {});
  ~TContainerFrameReader();
  TContainerFrameReader(const TContainerFrameReader&) = delete;
  TContainerFrameReader& operator=(const TContainerFrameReader&) = delete;

  // Indexes the file (or takes the index made for it before) and opens its decoder. `opened`,
  // when given, is the file opened the container way and standing at its start; the reader
  // takes it over. Throws EClipvaneError with a message that names the file.
  void Open(const std::string& path, AVFormatContext* opened = nullptr);
  // False, with the bitmap unchanged, for a number outside 0 to the frame count - 1 or when
  // the stream gives no picture. Throws on a failure while decoding.
  bool ReadFrame(int frameNumber);
  TBitmap& DecodeBitmap() { return bitmap_; }
  const TBitmap& DecodeBitmap() const { return bitmap_; }
  int FrameCount() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  THooks hooks_;
  TBitmap bitmap_;
};

}  // namespace clipvane
