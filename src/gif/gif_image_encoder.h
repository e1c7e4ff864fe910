// TGIFFrameEncoder: encodes the image data of frames as they are made, on a thread of its
// own (or at once on the caller's), so that a document built frame by frame holds each frame
// as a save writes it instead of its pixels: memory follows the size of the GIF.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "gif/gif_image.h"

namespace clipvane {

class TGIFFrameEncoder {
 public:
  // With secondThread, frames are encoded on a thread of the encoder's while the caller
  // builds the next one; otherwise Submit encodes at once.
  explicit TGIFFrameEncoder(bool secondThread);
  // Waits for the thread. Data encoded but not yet handed over is dropped: those frames keep
  // their pixels.
  ~TGIFFrameEncoder();
  TGIFFrameEncoder(const TGIFFrameEncoder&) = delete;
  TGIFFrameEncoder& operator=(const TGIFFrameEncoder&) = delete;

  // Caller's thread. Queues the frame, encoded in its DataFormat() as it is now; an empty
  // frame is passed over. The frame's indices must not change, and the frame must not go,
  // until a Collect has handed it its data or the encoder is gone. A frame that holds its
  // data encoded in that format already is left as it is. Waits while two frames
  // are still being encoded, so few frames hold their pixels at a time.
  void Submit(TGIFSubImage& frame);
  // Caller's thread: every frame encoded since the last call takes its data and lets its
  // pixels go (SetEncodedData), in the order submitted. With wait, first waits until every
  // frame submitted is encoded. A frame that could not be encoded keeps its pixels.
  void Collect(bool wait);

 private:
  struct TJob {
    TGIFSubImage* Frame = nullptr;
    TGIFImageDataFormat Format;
    int Width = 0;
    int Height = 0;
    const std::uint8_t* Pixels = nullptr;
    bool Started = false;
    bool Done = false;
    TGIFEncodedImageRef Result;
  };

  static TGIFEncodedImageRef EncodeJob(const TJob& job);
  void Loop();
  std::size_t Unfinished() const;

  const bool secondThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Submitted and not yet handed over, in order; elements keep their place while others come
  // and go at the ends.
  std::deque<TJob> jobs_;
  bool closing_ = false;
  std::thread worker_;  // last: starts once everything it uses exists
};

}  // namespace clipvane
