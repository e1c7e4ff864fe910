// TTransitionsPage: the "Transition effects" page: the two picture slots with their image views,
// colour panels and size labels, the effect, step and duration settings, and "Convert" with
// "Abort", "Clear GIF" and "Save" around the transition run shown in the "GIF preview" window.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "core/color.h"
#include "core/video_state.h"
#include "runs/transitions/transition_effects.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

namespace clipvane {

class TBackgroundJob;

class TForm3;
class TImageView;
class TProgressBar;

// Controls of the main window and the preview window that the page's run drives.
struct TTransitionsPageLinks {
  TProgressBar* ProgressBar = nullptr;
  QPushButton* OpenAvi = nullptr;
  TForm3* Preview = nullptr;
  // The other pages' start buttons, held disabled while a run works.
  std::vector<QPushButton*> OtherRunStarts;
  // The other pages' clear buttons: enabled while that page holds results its run made.
  std::vector<QPushButton*> OtherClears;
};

enum class TTransitionSlotId { tsSource, tsDestination };

class TTransitionsPage : public QWidget {
  Q_OBJECT

 public:
  TTransitionsPage(TVideoState& state, QWidget* parent = nullptr);

  // A slot's colour panel shows this colour (white at start).
  static void SetPanelColor(QFrame* panel, TColor color);
  static TColor PanelColor(const QFrame* panel);

  void SetLinks(const TTransitionsPageLinks& links) { links_ = links; }

  // Handlers.
  void OpenImageClick(TTransitionSlotId slot);   // "Open image"
  void EmptyImageClick(TTransitionSlotId slot);  // "Empty image"
  void ColorPanelDblClick(TTransitionSlotId slot);
  void DurationEditChange();
  void ConvertClick();   // "Convert"
  void AbortClick();     // "Abort"
  void ClearGifClick();  // "Clear GIF"
  void SaveClick();      // "Save"
  // Opening a video starts every page afresh: a clip held from before goes (the preview is
  // hidden, "Convert" on, "Clear GIF" and "Save" off), as "Clear GIF" would let it go.
  void DropClip();

  // Loads the picture file into the slot (what "Open image" and a dropped file do). A file
  // that cannot be decoded throws and leaves the slot as it was.
  void OpenImageFile(TTransitionSlotId slot, const QString& path);

  // The effect the box names now: the entry whose text equals the box's text, regardless of
  // case; -1 when the typed text matches no entry.
  TTransitionEffect SelectedEffect() const;

  bool Running() const { return running_; }

  // Seams the tests answer. The open-picture dialog gets its filter and returns the chosen
  // path (empty: cancelled); the colour dialog gets the panel's colour and returns the chosen
  // one (nothing: cancelled). Empty functions use the system dialogs.
  std::function<QString(const QString& filter)> OpenPictureDialog;
  std::function<std::optional<TColor>(TColor initial)> ChooseColor;

  QLabel* LabelSource = nullptr;  // "Source image"
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
  QLabel* LabelStep = nullptr;      // "Step"
  QSpinBox* StepEdit = nullptr;     // the step edit with its up-down, 1 to 50
  QLabel* LabelDuration = nullptr;  // "Duration (10...5000 ms)"
  QLineEdit* DurationEdit = nullptr;
  QCheckBox* CheckBoxBest = nullptr;  // "Best quality", beside the described controls
  // Not described either: the size the clip's GIF will have ("about 1.2 MB"), worked out in
  // the background shortly after a change of the pictures, colours, effect, steps or duration.
  QLabel* LabelEstimate = nullptr;
  // An estimate is being worked out.
  bool Estimating() const;
  // Something the clip's size depends on changed.
  void EstimateChanged();

  QPushButton* ConvertButton = nullptr;
  QPushButton* AbortButton = nullptr;
  QPushButton* ClearGifButton = nullptr;
  QPushButton* SaveButton = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TSlotControls {
    TImageView* View;
    QToolButton* Open;
    QToolButton* Empty;
    QFrame* Panel;
    QLabel* Size;
    bool& EmptyFlag;
  };
  TSlotControls Slot(TTransitionSlotId slot);
  void ShowSizeLabel(TTransitionSlotId slot);
  // Connects a control's signal to a handler run under the error box guard.
  template <class Sender, class Signal, class Handler>
  void Wire(Sender* sender, Signal signal, Handler handler);

  void StartEstimate();

  TVideoState& state_;
  TTransitionsPageLinks links_;
  bool running_ = false;
  TBackgroundJob* estimate_ = nullptr;
  QTimer* estimateTimer_ = nullptr;
};

}  // namespace clipvane
