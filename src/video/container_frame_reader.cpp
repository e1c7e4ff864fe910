// The container reader: frame index, decode cursor and picture converter together.
#include "video/container_frame_reader.h"

#include "core/error.h"
#include "video/frame_index_scan.h"
#include "video/index_cursor.h"
#include "video/picture_converter.h"
#include "video/video_input.h"

namespace clipvane {

struct TContainerFrameReader::TState {
  std::shared_ptr<const TFrameIndex> Index;
  std::unique_ptr<video::TIndexCursor> Cursor;
  std::unique_ptr<video::TPictureConverter> Converter;
};

TContainerFrameReader::TContainerFrameReader(THooks hooks, THdrMode hdr) : hooks_(std::move(hooks)), hdr_(hdr) {}

TContainerFrameReader::~TContainerFrameReader() = default;

void TContainerFrameReader::Open(const std::string& path, AVFormatContext* opened) {
  Close();
  video::TInput input(opened);
  auto state = std::make_unique<TState>();
  state->Index = video::CachedFrameIndex(path);
  if (!state->Index) {
    if (!input) input = video::OpenContainer(path);
    state->Index = video::FrameIndexOf(path, input.get(), video::VideoStreamOf(input.get(), path));
  }
  input.reset();
  state->Cursor = std::make_unique<video::TIndexCursor>(path, state->Index, 0);
  if (hooks_.Seeking) state->Cursor->OnSeek = hooks_.Seeking;
  state->Converter = std::make_unique<video::TPictureConverter>(state->Index->Geometry, hdr_);
  state_ = std::move(state);
}

void TContainerFrameReader::Close() { state_.reset(); }

int TContainerFrameReader::FrameCount() const { return state_ ? state_->Index->FrameCount() : 0; }

bool TContainerFrameReader::ReadFrame(int frameNumber) {
  if (!state_) throw EClipvaneError("The video reader is not open");
  if (frameNumber < 0 || frameNumber >= state_->Index->FrameCount()) return false;
  try {
    const AVFrame* picture = state_->Cursor->Picture(frameNumber);
    if (!picture) return false;
    if (hooks_.LoadingFrame) hooks_.LoadingFrame(frameNumber);
    state_->Converter->Convert(picture, bitmap_);
    return true;
  } catch (...) {
    Close();
    throw;
  }
}

}  // namespace clipvane
