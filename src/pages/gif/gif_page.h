// TGifPage: the controls of the "AVI to animated GIF" page with their initial states, what
// opening a video applies to them, their handlers (options, region, range, size) and the
// conversion run with "Abort", "Clear GIF" and "Save".
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/video_state.h"
#include "runs/gif/gif_conversion.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QTimer;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QFrame;

namespace clipvane {

class TForm2;
class TForm3;
class TFrameSource;
class TProgressBar;
class TBackgroundJob;

// The main window's parts the page drives around a run, and the "Video" and "GIF preview"
// windows.
struct TGifPageLinks {
  TProgressBar* ProgressBar = nullptr;
  QPushButton* OpenAvi = nullptr;
  QPushButton* Play = nullptr;
  QPushButton* Pause = nullptr;
  QPushButton* Reset = nullptr;
  TForm2* Video = nullptr;
  TForm3* Preview = nullptr;
  // Seeks the media device to the start of the video.
  std::function<void()> SeekToStart;
  // Empties the frames page's results together with its list (a conversion discards them).
  std::function<void()> ClearFrameResults;
  // The ticks of FrameSelected changed (the frame check list shows them).
  std::function<void()> FrameTicksChanged;
  // The other pages' start buttons, held disabled while a run works.
  std::vector<QPushButton*> OtherRunStarts;
  // The other pages' clear buttons: enabled while that page holds results its run made.
  std::vector<QPushButton*> OtherClears;
};

class TGifPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kAsAviWindowSize = " As AVI window size";
  static constexpr const char* kScale = " Scale";
  static constexpr const char* kSpecifiedSize = " Specified size";

  TGifPage(TVideoState& state, QWidget* parent = nullptr);
  ~TGifPage() override;

  // "Open AVI" has filled TVideoState with a new video: the capture size shown, the range "to"
  // boxes at its ends, "Convert" and the GIF size list enabled with " As AVI window size".
  void VideoOpened();
  // A failed open has left no video: the capture labels, the region, the range and the GIF
  // size controls as at start; "Convert" off.
  void VideoClosed();
  // "Width = <w> pixels" and "Height = <h> pixels", enabled.
  void ShowCaptureSize(int width, int height);
  // The frame range "to" box becomes LastFrame and the time range "to" box LengthSeconds; the
  // limits follow first, so a limit left by an earlier video does not clamp them.
  void SetRangeEnds(int lastFrame, int lengthSeconds);
  // Shows the controls of the chosen GIF size rule.
  void ComboBox2Change();

  void SetLinks(TGifPageLinks links);

  // Handlers.
  void Button5Click();       // "Convert"
  void Button7Click();       // "Abort"
  void Button4Click();       // "Clear GIF"
  void Button6Click();       // "Save"
  void RadioButton1Click();  // "Full window"
  void RadioButton2Click();  // "Window part"
  void Button8Click();       // "Pick window"
  void SpinEdit1Change();    // "Frame sampling rate:"
  void RadioButton3Click();  // "All frames"
  void RadioButton4Click();  // "Frames range"
  void RadioButton5Click();  // "Time range"
  void Button19Click();      // "Update frames list"
  void SpinEdit8Change();    // "Width (pixels)"
  void SpinEdit9Change();    // "Height (pixels)"

  // The options the next run reads from the controls.
  TGifOptions RunOptions() const;
  // "Fit under [ ] MB": the limit in bytes when the box is ticked.
  std::optional<std::uint64_t> FitLimit() const;
  // Something the GIF's size depends on changed: the estimate is worked out again in the
  // background, shortly (a burst of changes starts one estimate).
  void EstimateChanged();
  // Works the estimate out now, in the background.
  void StartEstimate();
  // An estimate is being worked out.
  bool Estimating() const;
  bool Running() const { return running_; }

  // The frame reader of a run; tests give their own.
  std::function<std::unique_ptr<TFrameSource>()> MakeSource;

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
  QCheckBox* CheckBoxBest = nullptr;  // "Best quality", beside the described controls
  QLabel* LabelKeepSpeed = nullptr;   // "keep a play speed"
  // Not described either: "Fit under [ ] MB" (off at start) and the size the GIF will have,
  // worked out in the background ("about 12.4 MB").
  QCheckBox* CheckBoxFit = nullptr;
  QDoubleSpinBox* SpinFitMegabytes = nullptr;
  QLabel* LabelFitUnit = nullptr;  // "MB"
  QLabel* LabelEstimate = nullptr;
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
  // Runs a handler under the error box guard when the control's signal fires.
  template <class Sender, class Signal, class Handler>
  void Wire(Sender* sender, Signal signal, Handler handler);
  void Apply(const TGifControlChange& change);
  void ResetRangeBoxes();
  void SetRangeControls(bool frameRange, bool timeRange);
  void PickEnded();
  // A result held from before a video was opened goes: the page's buttons and status line as
  // at the start, the preview hidden.
  void DropResult();

  // "Convert" with "Fit under" ticked: the run made again as the fit chooses, into `result`.
  void RunFitted(TGifOptions options, std::uint64_t limit, const TRunHooks& hooks, TGifConversionResult& result);

  TVideoState& state_;
  TGifPageLinks links_;
  TBackgroundJob* estimate_ = nullptr;
  QTimer* estimateTimer_ = nullptr;
  bool running_ = false;
  bool coupling_ = false;
};

}  // namespace clipvane
