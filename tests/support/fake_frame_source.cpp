// The fake frame source: its frames, its failures and its record.
#include "support/fake_frame_source.h"

#include <new>

#include "core/error.h"
#include "support/avi_fixtures.h"

namespace clipvane::fixtures {

TFakeFrameSource::TFakeFrameSource(std::unique_ptr<TFrameSource> inner) : inner_(std::move(inner)) {}

void TFakeFrameSource::Open(const std::string& path) {
  if (OpenError) throw EClipvaneError(*OpenError);
  if (inner_) inner_->Open(path);
  OpenedPath = path;
  open_ = true;
  ++Opens;
}

bool TFakeFrameSource::ReadFrame(int frameNumber) {
  if (!open_) throw EClipvaneError("read while closed");
  if (BeforeRead) BeforeRead(frameNumber);
  if (ErrorAt == frameNumber) {
    open_ = false;
    if (inner_) inner_->Close();
    throw EClipvaneError(ErrorText);
  }
  if (OutOfMemoryAt == frameNumber) throw std::bad_alloc();
  if (inner_) {
    if (!inner_->ReadFrame(frameNumber)) return false;
    Read.push_back(frameNumber);
    return true;
  }
  if (frameNumber < 0 || frameNumber >= Readable) return false;
  Read.push_back(frameNumber);
  if (Paint) {
    bitmap_ = Paint(frameNumber);
  } else {
    bitmap_ = NumberFrame(frameNumber, Width, Height);
    if (!Palette) bitmap_.SetPixelFormat(TPixelFormat::pf24bit);
  }
  return true;
}

const TBitmap& TFakeFrameSource::DecodeBitmap() const { return inner_ ? inner_->DecodeBitmap() : bitmap_; }

void TFakeFrameSource::Close() {
  if (inner_) inner_->Close();
  open_ = false;
  ++Closes;
}

std::function<std::unique_ptr<TFrameSource>()> FakeSources(std::function<void(TFakeFrameSource&)> setUp) {
  return [setUp = std::move(setUp)]() -> std::unique_ptr<TFrameSource> {
    auto source = std::make_unique<TFakeFrameSource>();
    if (setUp) setUp(*source);
    return source;
  };
}

}  // namespace clipvane::fixtures
