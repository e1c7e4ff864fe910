// TFakeFrameSource: the one stand-in for a video's frame source in the tests. Frames 0 to
// Readable - 1 exist and show their number (NumberFrame) in 24 bits, or in 8 bits with the
// fixture's colour table, or whatever Paint draws; the failures a test chooses come where it
// says; what the run asked for is recorded. Given a real source (a video file's), it passes
// the reads on and only watches them and fails where told.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "video/frame_source.h"

namespace clipvane::fixtures {

class TFakeFrameSource : public TFrameSource {
 public:
  // Reads go to `inner` when given (opened and closed with this source).
  explicit TFakeFrameSource(std::unique_ptr<TFrameSource> inner = nullptr);

  // The frames.
  int Readable = 1000;
  int Width = 64, Height = 48;
  bool Palette = false;
  std::function<TBitmap(int frameNumber)> Paint;

  // The failures: Open throws EClipvaneError(OpenError); reading ErrorAt throws
  // EClipvaneError(ErrorText) and leaves the source closed, as a reader does; reading
  // OutOfMemoryAt throws std::bad_alloc. A read while the source is not open throws.
  std::optional<std::string> OpenError;
  std::optional<int> ErrorAt;
  std::string ErrorText = "Bitmap image is not valid";
  std::optional<int> OutOfMemoryAt;
  // Called before each read with its frame number (a test presses "Abort", looks at buttons).
  std::function<void(int frameNumber)> BeforeRead;

  // What happened: the frames given, in order; the path opened; Open and Close calls.
  std::vector<int> Read;
  std::string OpenedPath;
  int Opens = 0, Closes = 0;

  // Open and not closed since, nor by a failing read.
  bool IsOpen() const { return open_; }

  void Open(const std::string& path) override;
  bool ReadFrame(int frameNumber) override;
  const TBitmap& DecodeBitmap() const override;
  void Close() override;

 private:
  std::unique_ptr<TFrameSource> inner_;
  bool open_ = false;
  TBitmap bitmap_;
};

// A factory for the runs that make their own sources: each fake is set up by `setUp`.
std::function<std::unique_ptr<TFrameSource>()> FakeSources(std::function<void(TFakeFrameSource&)> setUp);

}  // namespace clipvane::fixtures
