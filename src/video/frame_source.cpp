// The frame source of a file: the opened video's reader, at once or when a run opens it.
#include "video/frame_source.h"

#include "core/error.h"
#include "video/opened_video.h"

namespace clipvane {

namespace {

// The source a run opens and closes itself.
class TVideoFrameSource : public TFrameSource {
 public:
  explicit TVideoFrameSource(THdrMode hdr) : hdr_(hdr) {}
  void Open(const std::string& path) override {
    reader_.reset();
    reader_ = OpenFrameSource(path, nullptr, hdr_);
  }
  bool ReadFrame(int frameNumber) override { return Reader().ReadFrame(frameNumber); }
  const TBitmap& DecodeBitmap() const override { return Reader().DecodeBitmap(); }
  void Close() override { reader_.reset(); }

 private:
  TFrameSource& Reader() const {
    if (!reader_) throw EClipvaneError("The video reader is not open");
    return *reader_;
  }

  THdrMode hdr_;
  std::unique_ptr<TFrameSource> reader_;
};

}  // namespace

std::unique_ptr<TFrameSource> OpenFrameSource(const std::string& path, TAviReaderSeam* seam, THdrMode hdr) {
  return video::OpenVideo(path)->Frames(seam, hdr);
}

std::unique_ptr<TFrameSource> MakeFrameSource() { return MakeFrameSourceFor(THdrMode::hdrToSdr); }

std::unique_ptr<TFrameSource> MakeFrameSourceFor(THdrMode hdr) { return std::make_unique<TVideoFrameSource>(hdr); }

}  // namespace clipvane
