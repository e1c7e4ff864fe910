// TFramesPage: the controls of the "frames extract" page with their initial states, and what
// opening a video applies to them ("All frames" and "Original").
#pragma once

#include <QWidget>
#include <functional>

#include "core/video_state.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace clipvane {

class TFramesPage : public QWidget {
  Q_OBJECT

 public:
  TFramesPage(TVideoState& state, QWidget* parent = nullptr);

  // "All frames": both range boxes 0 to LastFrame and disabled, every frame ticked, the range
  // the whole video.
  void RadioButton6Click();
  // "Original": the size boxes show the frame size and are disabled with their labels.
  void RadioButton10Click();

  // Called after this page changed the ticks of FrameSelected (the check list repaints).
  std::function<void()> OnFrameTicksChanged;

  // Frames list.
  QListView* lbAVI = nullptr;
  // "Frames select".
  QGroupBox* GroupBoxFramesSelect = nullptr;
  QRadioButton* RadioButton6 = nullptr;  // "All frames"
  QRadioButton* RadioButton7 = nullptr;  // "Frames range"
  QSpinBox* SpinEdit6 = nullptr;         // from
  QLabel* LabelRangeDots = nullptr;      // ". . ."
  QSpinBox* SpinEdit7 = nullptr;         // to
  // Colour mode.
  QLabel* LabelColorMode = nullptr;
  QComboBox* ComboBox1 = nullptr;
  // "Save to ...".
  QGroupBox* GroupBoxSaveTo = nullptr;
  QRadioButton* RadioButton8 = nullptr;  // "BMP"
  QRadioButton* RadioButton9 = nullptr;  // "JPEG" / "TIFF"
  QLabel* LabelQuality = nullptr;        // "Compression" / "quality (1...100)"
  QSpinBox* QualityEdit = nullptr;       // the quality edit with its up-down
  QLabel* LabelFileName = nullptr;
  QLineEdit* FileNameEdit = nullptr;
  QLabel* LabelHash = nullptr;
  // "Frame size".
  QGroupBox* GroupBoxFrameSize = nullptr;
  QRadioButton* RadioButton10 = nullptr;  // "Original"
  QRadioButton* RadioButton11 = nullptr;  // "Specified"
  QLabel* LabelWidth = nullptr;
  QSpinBox* SpinEdit10 = nullptr;
  QLabel* LabelHeight = nullptr;
  QSpinBox* SpinEdit11 = nullptr;
  QCheckBox* CheckBoxAspect = nullptr;  // "Maintain aspect ratio"
  // Buttons.
  QPushButton* Button12 = nullptr;  // "Get frames"
  QPushButton* Button13 = nullptr;  // "Abort"
  QPushButton* Button14 = nullptr;  // "Clear results"
  QPushButton* Button15 = nullptr;  // "Save"
  QPushButton* Button16 = nullptr;  // "Frames preview"

 private:
  TVideoState& state_;
};

}  // namespace clipvane
