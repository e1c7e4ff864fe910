// The frame source of a file: the opened video's reader, at once or when a run opens it.
#include "video/frame_source.h"

#include "core/error.h"
#include "video/opened_video.h"

namespace clipvane {

namespace {

// The source a run opens and closes itself.
class TVideoFrameSource : public TFrameSource {
 public:
  void Open(const std::string& path) override {
    reader_.reset();
    reader_ = OpenFrameSource(path);
  }
  bool ReadFrame(int frameNumber) override { return Reader().ReadFrame(frameNumber); }
  const TBitmap& DecodeBitmap() const override { return Reader().DecodeBitmap(); }
  void Close() override { reader_.reset(); }

 private:
  TFrameSource& Reader() const {
    if (!reader_) throw EClipvaneError("The video reader is not open");
    return *reader_;
  }

  std::unique_ptr<TFrameSource> reader_;
};

}  // namespace

std::unique_ptr<TFrameSource> OpenFrameSource(const std::string& path, TAviReaderSeam* seam) {
  return video::OpenVideo(path)->Frames(seam);
}

std::unique_ptr<TFrameSource> MakeFrameSource() { return std::make_unique<TVideoFrameSource>(); }

}  // namespace clipvane
