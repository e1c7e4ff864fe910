// TForm3: the "GIF preview" window; one picture fills its client area. It shows the frames of a
// run as they are appended, then holds a copy of the finished GIF document and animates it.
#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <memory>

#include "core/bitmap.h"
#include "gif/gif_image.h"
#include "gif/gif_painter.h"

namespace clipvane {

// QImage (RGB32) of any bitmap; empty for an empty bitmap.
QImage BitmapToQImage(const TBitmap& bitmap);

// Painter threads hand their work to the GUI thread through a queued call on a window; the
// window's destruction drops calls still queued.
class TQtUIDispatcher : public TUIDispatcher {
 public:
  explicit TQtUIDispatcher(QObject* receiver) : receiver_(receiver) {}

 protected:
  void Notify() override;

 private:
  QObject* receiver_;
};

// The window's image control: paints one picture at its own size from the top-left corner.
class TGifImageControl : public QWidget {
  Q_OBJECT

 public:
  explicit TGifImageControl(QWidget* parent = nullptr);
  // A still picture; the control stops drawing any document.
  void SetPicture(QImage picture);
  // A still picture held as a copy of the bitmap, converted only when painted or asked for:
  // a run hands over every frame, and a hidden window paints none of them.
  void SetStill(const TBitmap& picture);
  // The document stops being drawn; the picture it showed last stays.
  void KeepLastPicture();
  // The document drawn on every repaint (it animates itself and asks for repaints); none: the
  // still picture. Not owned.
  void SetDocument(TGIFImage* document);
  // The picture on show, as painted last.
  const QImage& Picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  mutable QImage picture_;
  mutable TBitmap still_;  // a still not yet converted into picture_
  mutable bool stillPending_ = false;
  TGIFImage* document_ = nullptr;
  TBitmap surface_;  // what the document draws into
};

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm3(QWidget* parent = nullptr);
  ~TForm3() override;

  void SetClientSize(int width, int height);

  // A copy of the picture shown at once and repainted immediately (a run's newest frame).
  void ShowStill(const TBitmap& picture);
  // The window keeps this document and animates it; any earlier one is stopped and replaced.
  void SetDocument(std::unique_ptr<TGIFImage> document);
  // The document held (what "Save" writes); none before the first run.
  const TGIFImage* Document() const { return document_.get(); }
  // Stops the animation; the picture on show stays.
  void StopAnimation();
  // Painters playing the document (1 while it animates).
  int PainterCount() { return document_ ? document_->PainterCount() : 0; }

  TGifImageControl* Image1 = nullptr;

 private:
  // Declared before the document: painters hand work to it until the document is gone.
  TQtUIDispatcher dispatcher_;
  std::unique_ptr<TGIFImage> document_;
};

}  // namespace clipvane
