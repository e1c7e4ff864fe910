// TGifPage: the controls of the "AVI to animated GIF" page with their initial states, and what
// opening a video applies to them (the range ends, the capture labels, the GIF size list).
#pragma once

#include <QWidget>

#include "core/video_state.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QFrame;

namespace clipvane {

class TGifPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kAsAviWindowSize = " As AVI window size";
  static constexpr const char* kScale = " Scale";
  static constexpr const char* kSpecifiedSize = " Specified size";

  TGifPage(TVideoState& state, QWidget* parent = nullptr);

  // "Width = <w> pixels" and "Height = <h> pixels", enabled.
  void ShowCaptureSize(int width, int height);
  // The frame range "to" box becomes LastFrame and the time range "to" box LengthSeconds; the
  // limits follow first, so a limit left by an earlier video does not clamp them.
  void SetRangeEnds(int lastFrame, int lengthSeconds);
  // Shows the controls of the chosen GIF size rule.
  void ComboBox2Change();

  // "AVI window size".
  QGroupBox* GroupBoxWindowSize = nullptr;
  QRadioButton* RadioButton1 = nullptr;  // "Full window"
  QRadioButton* RadioButton2 = nullptr;  // "Window part"
  QPushButton* Button8 = nullptr;        // "Pick window"
  QLabel* LabelCaptureWidth = nullptr;   // "Width ="
  QLabel* LabelCaptureHeight = nullptr;  // "Height ="
  // "Direction": item 0 "forward", item 1 "backward".
  QGroupBox* RadioGroupDirection = nullptr;
  QRadioButton* RadioForward = nullptr;
  QRadioButton* RadioBackward = nullptr;
  // Buttons.
  QPushButton* Button5 = nullptr;  // "Convert"
  QPushButton* Button7 = nullptr;  // "Abort"
  QPushButton* Button4 = nullptr;  // "Clear GIF"
  QPushButton* Button6 = nullptr;  // "Save"
  // "Frames select".
  QGroupBox* GroupBoxFramesSelect = nullptr;
  QRadioButton* RadioButton3 = nullptr;  // "All frames"
  QRadioButton* RadioButton4 = nullptr;  // "Frames range"
  QRadioButton* RadioButton5 = nullptr;  // "Time range"
  QPushButton* Button19 = nullptr;       // "Update frames list"
  QLabel* LabelFrameFrom = nullptr;
  QSpinBox* FrameFromBox = nullptr;
  QLabel* LabelFrameTo = nullptr;
  QSpinBox* FrameToBox = nullptr;
  QLabel* LabelFrameUnit = nullptr;  // "frame"
  QLabel* LabelTimeFrom = nullptr;
  QSpinBox* TimeFromBox = nullptr;
  QLabel* LabelTimeTo = nullptr;
  QSpinBox* TimeToBox = nullptr;
  QLabel* LabelTimeUnit = nullptr;  // "s"
  // Sampling.
  QLabel* LabelSamplingRate = nullptr;
  QSpinBox* SpinEdit1 = nullptr;  // "Frame sampling rate:"
  QCheckBox* CheckBoxKeepSpeed = nullptr;
  QLabel* LabelKeepSpeed = nullptr;  // "keep a play speed"
  // "GIF window size".
  QGroupBox* GroupBoxGifSize = nullptr;
  QComboBox* ComboBox2 = nullptr;  // the GIF size list
  QComboBox* ComboBoxScale = nullptr;
  QCheckBox* CheckBoxGifAspect = nullptr;  // "Maintain aspect ratio"
  QLabel* LabelGifWidth = nullptr;         // "Width (pixels)"
  QSpinBox* SpinEdit8 = nullptr;
  QLabel* LabelGifHeight = nullptr;  // "Height (pixels)"
  QSpinBox* SpinEdit9 = nullptr;
  // Status bar: panel 0 "GIF", panel 1 the result line.
  QFrame* StatusBar = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;

 private:
  TVideoState& state_;
};

}  // namespace clipvane
