// The runs' frame source over the AVI frame reader.
#include <memory>

#include "video/avi_frame_reader.h"
#include "video/frame_source.h"

namespace clipvane {

namespace {

class TAviFrameSource : public TFrameSource {
 public:
  void Open(const std::string& path) override { reader_.Open(path); }
  bool ReadFrame(int frameNumber) override { return reader_.ReadFrame(frameNumber); }
  const TBitmap& DecodeBitmap() const override { return reader_.DecodeBitmap(); }
  void Close() override { reader_.Close(); }

 private:
  // The reader hands out its bitmap only through a non-const accessor.
  mutable TAviFrameReader reader_;
};

}  // namespace

std::unique_ptr<TFrameSource> MakeAviFrameSource() { return std::make_unique<TAviFrameSource>(); }

}  // namespace clipvane
