// TTransitionsPage: the controls of the "Transition effects" page with their initial states:
// the two picture slots with their image views, the effect, step and duration settings and
// the run buttons.
#pragma once

#include <QWidget>

#include "core/color.h"
#include "core/video_state.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace clipvane {

class TImageView;

class TTransitionsPage : public QWidget {
  Q_OBJECT

 public:
  TTransitionsPage(TVideoState& state, QWidget* parent = nullptr);

  // A slot's colour panel shows this colour (white at start).
  static void SetPanelColor(QFrame* panel, TColor color);
  static TColor PanelColor(const QFrame* panel);

  QLabel* LabelSource = nullptr;       // "Source image"
  TImageView* SourceView = nullptr;
  QToolButton* OpenSourceButton = nullptr;   // hint "Open image"
  QToolButton* EmptySourceButton = nullptr;  // hint "Empty image"
  QFrame* SourceColorPanel = nullptr;        // hint "Background color - Double Click to Edit"
  QLabel* SourceSizeLabel = nullptr;         // "Size:", hidden at start

  QLabel* LabelDestination = nullptr;  // "Destination image"
  TImageView* DestinationView = nullptr;
  QToolButton* OpenDestinationButton = nullptr;
  QToolButton* EmptyDestinationButton = nullptr;
  QFrame* DestinationColorPanel = nullptr;
  QLabel* DestinationSizeLabel = nullptr;

  QLabel* LabelEffect = nullptr;  // "Effect"
  QComboBox* EffectBox = nullptr;
  QLabel* LabelStep = nullptr;  // "Step"
  QSpinBox* StepEdit = nullptr;  // the step edit with its up-down, 1 to 50
  QLabel* LabelDuration = nullptr;  // "Duration (10...5000 ms)"
  QLineEdit* DurationEdit = nullptr;

  QPushButton* ConvertButton = nullptr;
  QPushButton* AbortButton = nullptr;
  QPushButton* ClearGifButton = nullptr;
  QPushButton* SaveButton = nullptr;

 private:
  TVideoState& state_;
};

}  // namespace clipvane
