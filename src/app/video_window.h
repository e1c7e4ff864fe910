// TForm2: the always-on-top "Video" window into which the media player draws the video at its
// natural size from the top-left corner, so a client point is the frame pixel of that place.
#pragma once

#include <QImage>
#include <QWidget>

namespace clipvane {

class TForm2 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  // The client area is the frame size of the opened video.
  void SetClientSize(int width, int height);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace clipvane
