// The GIF run on several threads, as the window and the CLI run it: the next frame is decoded
// ahead; described frames are reduced and LZW-encoded by workers a few at once, "Best quality"
// frames are encoded on a thread of their own while the run reduces the next; so the GIF holds
// its frames encoded. And the GIF file bytes of a run. One thread gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/run_hooks.h"
#include "core/video_state.h"
#include "runs/gif/gif_conversion.h"
#include "video/frame_source.h"

namespace clipvane {

using TFrameSourceFactory = std::function<std::unique_ptr<TFrameSource>()>;

// A frame source that decodes on a thread of its own, one frame ahead of the caller, in the
// order of `plan` (the frame numbers the caller is expected to ask for). A request off the
// plan stops reading ahead and reads in the caller's thread from then on. Results, errors
// and the end of the video arrive at the same ReadFrame as without reading ahead.
class TReadAheadFrameSource : public TFrameSource {
 public:
  TReadAheadFrameSource(std::unique_ptr<TFrameSource> inner, std::vector<int> plan);
  ~TReadAheadFrameSource() override;
  TReadAheadFrameSource(const TReadAheadFrameSource&) = delete;
  TReadAheadFrameSource& operator=(const TReadAheadFrameSource&) = delete;

  void Open(const std::string& path) override;
  bool ReadFrame(int frameNumber) override;
  const TBitmap& DecodeBitmap() const override;
  void Close() override;

 private:
  struct TShared;
  void StopWorker();

  std::unique_ptr<TFrameSource> inner_;
  std::vector<int> plan_;
  std::unique_ptr<TShared> shared_;
  std::size_t next_ = 0;  // the plan entry the caller asks for next
  bool ahead_ = false;    // the worker is reading ahead
  bool own_ = false;      // current_ holds the last frame (else the inner source does)
  TBitmap current_;
};

struct TGifFileResult {
  std::vector<std::uint8_t> Bytes;  // the GIF89a stream
  int FrameCount = 0;
  int GifWidth = 0;
  int GifHeight = 0;
  std::uint16_t FrameDelay = 0;
  std::string StatusText;
};

// The frame numbers a run reads, in order: the sampled frames, and for "Best quality"
// backward the same again, last first (see RunGifConversion).
std::vector<int> GifReadPlan(const TVideoState& state, const TGifOptions& options);

// RunGifConversion with every frame encoded as it is made (options.FrameEncoding is set
// here): with twoThreads the source reads ahead (GifReadPlan) and frames are made and encoded
// on other threads (see TGifFrameEncoding), else all happens on the caller's. The GIF is the
// same either way, and its frames hold the bytes a save writes, not their pixels.
void RunGifPipeline(TVideoState& state, std::unique_ptr<TFrameSource> source, const TGifOptions& options,
                    const TRunHooks& hooks, TGifConversionResult& result, bool twoThreads);

// RunGifPipeline over a source made by makeSource, and the document written as a GIF
// stream (what TGIFImage::SaveToStream writes). Errors of the run are thrown; no bytes come
// out of a failed run, so running out of memory says so instead of the window's "the GIF keeps
// the frames made so far". A run that gathered no frame gives no bytes.
TGifFileResult ConvertToGifBytes(TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                                 const TRunHooks& hooks, bool twoThreads);

}  // namespace clipvane
