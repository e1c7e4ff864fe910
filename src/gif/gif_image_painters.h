// TGIFImagePainters: the animations of one GIF document, above both the document and its
// painters: it makes the painters of the document's draws, stops and waits for them, and keeps
// the composite picture they paint. The document owns it (TGIFImage::Playback) and knows it
// only through TGIFImagePlayback; it runs on the UI thread, its list is shared with the
// painter threads under the list's lock.
#pragma once

#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "gif/gif_image.h"
#include "gif/gif_painter.h"
#include "gif/gif_painter_list.h"

namespace clipvane {

class TGIFImagePainters : public TGIFImagePlayback {
 public:
  // The document's, made and handed to the document when it has none yet.
  static TGIFImagePainters& Of(TGIFImage& image);

  explicit TGIFImagePainters(TGIFImage& image) : image_(image) {}
  ~TGIFImagePainters() override;
  TGIFImagePainters(const TGIFImagePainters&) = delete;
  TGIFImagePainters& operator=(const TGIFImagePainters&) = delete;

  // One frame, or poAnimate clear: frame 0 as a still. Otherwise a painter plays the
  // animation into the composite picture (or, with poPaintDirect, straight onto the surface),
  // and later draws copy the composite. A nested call is ignored. A non-threaded playback
  // runs inside this call and its error is raised here.
  void Draw(TBitmap& surface, const TRect& rect) override;
  void StopOnScreen() override;
  void StopAll() override;
  void DocumentGone() override;
  int PainterCount() override;
  const TBitmap* Composite() const override { return list_.Composite.get(); }

  // A painter of the document on the surface's rectangle, entered in its list (see
  // TGIFPainter::Create).
  TGIFPainter* CreatePainter(std::uint16_t options, const TRect& rect, TBitmap& surface,
                             TGIFPainter** ownerReference = nullptr);

 private:
  // Stops the painter on display and waits for it to end before a new one is made. False
  // when the document was destroyed meanwhile.
  bool StopOnScreenAndWait();
  // Joins the threads of painters that have ended.
  void JoinEndedPainters();
  // Draw of an animated document once no still picture would do.
  void DrawAnimated(TBitmap& surface, const TRect& rect);

  TGIFImage& image_;
  TGIFPainterList list_;
  bool drawing_ = false;
  // Cleared when the document goes: Draw's waits run hooks, and a hook may destroy the
  // document (and this with it).
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace clipvane
