// TFrameSource: the numbered frames a run reads, and its maker over the AVI frame reader. The
// runs know only this interface, so they never know which reader is behind it.
#pragma once

#include <memory>
#include <string>

#include "core/bitmap.h"

namespace clipvane {

// Where a run reads its frames: the AVI frame reader in the program, a fake in tests.
class TFrameSource {
 public:
  virtual ~TFrameSource() = default;
  // Throws EClipvaneError with the reader's message when the video cannot be opened.
  virtual void Open(const std::string& path) = 0;
  // False when no frame can be produced for that number (the run then ends quietly).
  virtual bool ReadFrame(int frameNumber) = 0;
  // The last frame read; valid until the next ReadFrame or Close.
  virtual const TBitmap& DecodeBitmap() const = 0;
  virtual void Close() = 0;
};

// A TFrameSource over TAviFrameReader.
std::unique_ptr<TFrameSource> MakeAviFrameSource();

}  // namespace clipvane
