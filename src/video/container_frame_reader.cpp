// The container reader: frame index, decoder and picture converter together.
#include "video/container_frame_reader.h"

#include "video/frame_decoder.h"
#include "video/frame_index_scan.h"
#include "video/picture_converter.h"
#include "video/video_input.h"

namespace clipvane {

struct TContainerFrameReader::TState {
  std::shared_ptr<const TFrameIndex> Index;
  std::unique_ptr<video::TFrameDecoder> Decoder;
  std::unique_ptr<video::TPictureConverter> Converter;
};

TContainerFrameReader::TContainerFrameReader(THooks hooks) : hooks_(std::move(hooks)) {}

TContainerFrameReader::~TContainerFrameReader() = default;

void TContainerFrameReader::Open(const std::string& path, AVFormatContext* opened) {
  video::TInput input(opened);
  auto state = std::make_unique<TState>();
  state->Index = video::CachedFrameIndex(path);
  if (!state->Index) {
    if (!input) input = video::OpenContainer(path);
    state->Index = video::FrameIndexOf(path, input.get(), video::VideoStreamOf(input.get(), path));
  }
  input.reset();
  state->Decoder = std::make_unique<video::TFrameDecoder>(path, state->Index, 0);
  if (hooks_.Seeking) state->Decoder->OnSeek = hooks_.Seeking;
  state->Converter = std::make_unique<video::TPictureConverter>(state->Index->Geometry);
  state_ = std::move(state);
}

int TContainerFrameReader::FrameCount() const { return state_ ? state_->Index->FrameCount() : 0; }

bool TContainerFrameReader::ReadFrame(int frameNumber) {
  if (!state_) return false;
  const AVFrame* picture = state_->Decoder->Picture(frameNumber);
  if (!picture) return false;
  if (hooks_.LoadingFrame) hooks_.LoadingFrame(frameNumber);
  state_->Converter->Convert(picture, bitmap_);
  return true;
}

}  // namespace clipvane
