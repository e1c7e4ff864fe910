// TIndexCursor: a container's frames as the decode cursor numbers them, by the file's frame
// index. Frame n is the n-th picture in presentation order; pictures are known by their
// timestamps, so those the index does not number (edit-list leaders, pictures that cannot be
// decoded) are passed over. A jump seeks to the key packet the frame decodes from, checks
// where the demuxer really landed and goes back further when it landed late. Private to the
// video layer.
#pragma once

#include <memory>
#include <string>

#include "video/decode_cursor.h"
#include "video/frame_index.h"
#include "video/video_input.h"

namespace clipvane::video {

class TIndexCursor : public TDecodeCursor {
 public:
  // Opens its own demuxer and decoder on the file (`threads` decoding threads, 0: one a
  // core). Throws EClipvaneError naming the file when it cannot.
  TIndexCursor(const std::string& path, std::shared_ptr<const TFrameIndex> index, int threads);
  ~TIndexCursor() override;

  const TFrameIndex& Index() const { return *index_; }

 protected:
  std::optional<std::int64_t> FrameOf(const AVFrame* picture) override;
  bool Feeds(const AVPacket* packet) override;
  bool MoveTowards(std::int64_t n) override;
  TGoBack GoBackFurther(std::int64_t n) override;

 private:
  // The demuxer at the start of the file, which every format can give: opened afresh.
  void Restart();
  void SeekToKey(std::int32_t key);

  std::string path_;
  std::shared_ptr<const TFrameIndex> index_;
  int threads_;
  TInput input_;
  // The packet the demuxer gives next (index into the frame index's packets); -1: unknown.
  std::int64_t nextPacket_ = -1;
  // Pictures before this timestamp come from before the key packet decoding started at.
  std::int64_t floorPts_ = kNoTimestamp;
  // Pictures given since decoding started at the start of the file (counted numbering).
  std::int64_t counted_ = 0;
  // Whether the jump to the current request has gone back further already.
  bool wentBack_ = false;
};

}  // namespace clipvane::video
