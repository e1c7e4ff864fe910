// TForm2: the always-on-top "Video" window into which the media player draws the video at its
// natural size from the top-left corner, so a client point is the frame pixel of that place.
// The GIF page's region pick is dragged over it with a dotted inverting rubber band.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "core/bitmap.h"
#include "core/video_state.h"
#include "video/media_player.h"

namespace clipvane {

class TForm2 : public QWidget, public TDisplaySink {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  // The client area is the frame size of the opened video.
  void SetClientSize(int width, int height);
  // As before any video: caption "Video", 194 x 146, no picture and no band.
  void ShowNoVideo();

  // Called by the player on its own thread: the picture is handed over to the window's thread
  // and painted there.
  void ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) override;

  // The frame on show (-1 before the first) and its picture, as painted last.
  int ShownFrame() const { return shownFrame_; }
  std::shared_ptr<const TBitmap> ShownPicture() const { return shown_; }

  // The state the region pick reads and writes; none: the mouse does nothing here.
  void SetPickState(TVideoState* state) { pickState_ = state; }
  // Called after a pick has set the capture region.
  std::function<void()> OnPickEnded;

  // Handlers, in client coordinates (a drag may report points outside the window).
  void FormActivate();
  void FormMouseDown(int x, int y);
  void FormMouseMove(int x, int y);
  void FormMouseUp(int x, int y);

  // The rubber band on the screen, if any.
  std::optional<TRect> Band() const { return band_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void TakeDeliveredFrame();

  std::mutex deliveryMutex_;
  std::shared_ptr<const TBitmap> delivered_;  // handed over, not yet taken by the window
  int deliveredFrame_ = -1;
  bool takePosted_ = false;

  std::shared_ptr<const TBitmap> shown_;
  int shownFrame_ = -1;

  TVideoState* pickState_ = nullptr;
  std::optional<TRect> band_;
  // A mouse button went down in the window and is not up yet.
  bool buttonHeld_ = false;
};

}  // namespace clipvane
