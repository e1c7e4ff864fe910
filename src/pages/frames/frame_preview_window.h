// TForm5: the frame preview window (400 x 320 at first, resizable): a tool bar with
// "Previous", "Next", "Zoom in", "Zoom out" and "Exit", the teal image view, and a status bar
// with the zoom and the size/colour line. It shows entries of TVideoState::ExtractedFrames.
#pragma once

#include <QWidget>

#include "core/video_state.h"

class QLabel;
class QToolButton;

namespace clipvane {

class TImageView;

class TForm5 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm5(TVideoState& state, QWidget* parent = nullptr);
  ~TForm5() override;

  // Shows entry `index` of the frames list in a view of at least boxWidth x boxHeight (the
  // "Frame size" boxes) at 100 %, and shows the window; nothing when there is no such entry.
  void ShowEntry(int index, int boxWidth, int boxHeight);
  // Panel 1 of the status bar ("Size: 320x240 pixels  Color: 24 bit").
  void SetSizeText(const QString& text);
  // "Previous" and "Next" for the shown entry in the current frames list.
  void UpdateStepButtons();

  void FormShow();
  void FormResize();
  void SpeedButton1Click();  // "Previous"
  void SpeedButton2Click();  // "Next"
  void SpeedButton3Click();  // "Zoom in"
  void SpeedButton4Click();  // "Zoom out"
  void SpeedButton5Click();  // "Exit"

  QWidget* ToolBar = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  TImageView* ImageView1 = nullptr;
  QWidget* StatusBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;  // "Zoom: 100%"
  QLabel* StatusPanel1 = nullptr;  // size and colour

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Draws entry PreviewIndex into the view, unscaled at the top-left corner, on teal.
  void DrawEntry();
  void SetZoom(int zoom);

  TVideoState& state_;
};

}  // namespace clipvane
