// TForm2: the always-on-top "Video" window into which the media player draws the video at its
// natural size from the top-left corner, so a client point is the frame pixel of that place.
#pragma once

#include <QWidget>
#include <memory>
#include <mutex>

#include "core/bitmap.h"
#include "video/media_player.h"

namespace clipvane {

class TForm2 : public QWidget, public TDisplaySink {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  // The client area is the frame size of the opened video.
  void SetClientSize(int width, int height);

  // Called by the player on its own thread: the picture is handed over to the window's thread
  // and painted there.
  void ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) override;

  // The frame on show (-1 before the first) and its picture, as painted last.
  int ShownFrame() const { return shownFrame_; }
  std::shared_ptr<const TBitmap> ShownPicture() const { return shown_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void TakeDeliveredFrame();

  std::mutex deliveryMutex_;
  std::shared_ptr<const TBitmap> delivered_;  // handed over, not yet taken by the window
  int deliveredFrame_ = -1;
  bool takePosted_ = false;

  std::shared_ptr<const TBitmap> shown_;
  int shownFrame_ = -1;
};

}  // namespace clipvane
