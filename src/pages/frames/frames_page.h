// TFramesPage: the "frames extract" page: frame selection, "Get frames" with "Abort" and
// "Clear results", the colour mode, the frame size with its coupling, the "Save to ..." group
// and "Save", and the frames list that opens the preview window.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/video_state.h"
#include "pages/frames/frames_list_page.h"
#include "runs/frames/extraction_run.h"
#include "runs/frames/save_format_switch.h"

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

class TForm5;
class TFramesListDelegate;
class TFramesListModel;
class TProgressBar;

// Controls of the main window and the preview window that the page's runs drive.
struct TFramesPageLinks {
  TProgressBar* ProgressBar = nullptr;
  QPushButton* OpenAvi = nullptr;
  QPushButton* Play = nullptr;
  QPushButton* Pause = nullptr;
  QPushButton* Reset = nullptr;
  TForm5* Preview = nullptr;
  // The other pages' start buttons, held disabled while a run works.
  std::vector<QPushButton*> OtherRunStarts;
  // The other pages' clear buttons: enabled while that page holds results its run made.
  std::vector<QPushButton*> OtherClears;
};

class TFramesPage : public QWidget {
  Q_OBJECT

 public:
  TFramesPage(TVideoState& state, QWidget* parent = nullptr);

  // "Open AVI" has filled TVideoState with a new video: "All frames" and "Original" chosen,
  // the "Frames select" group and "Get frames" enabled, results of an earlier run dropped.
  void VideoOpened();
  // A failed open has left no video: the page's video controls as at start (the range and
  // size boxes 0, "All frames" and "Original" chosen, "Frames select" and "Get frames" off).
  void VideoClosed();

  // "All frames": both range boxes 0 to LastFrame and disabled, every frame ticked, the range
  // the whole video.
  void RadioButton6Click();
  // "Original": the size boxes show the frame size and are disabled with their labels.
  void RadioButton10Click();

  void SetLinks(const TFramesPageLinks& links) { links_ = links; }

  void Button12Click();        // "Get frames"
  void Button13Click();        // "Abort"
  void Button14Click();        // "Clear results"
  void Button15Click();        // "Save"
  void Button16Click();        // "Frames preview"
  void RadioButton7Click();    // "Frames range"
  void SpinEdit6Change();      // the from or the to box changed
  void RadioButton11Click();   // "Specified"
  void SpinEdit10Change();     // "Width"
  void SpinEdit11Change();     // "Height"
  void ComboBox1Change();      // "Color mode"
  void RadioButton8Click();    // "BMP"
  void RadioButton9Click();    // "JPEG" / "TIFF"
  void RadioButtonPngClick();  // "PNG"
  void lbAVIDblClick();

  // Seams the tests answer. The folder for "Save" (empty: cancelled); a yes/no question;
  // the memory available now (nothing: unknown); the frame source of a run.
  std::function<QString()> ChooseFolder;
  std::function<bool(const QString& question)> Confirm;
  std::function<std::optional<std::uint64_t>()> AvailableMemory;
  std::function<std::unique_ptr<TFrameSource>()> MakeSource;

  TFramesListModel* FramesListModel = nullptr;
  TFramesListDelegate* FramesListDelegate = nullptr;

  // Called after this page changed the ticks of FrameSelected (the check list repaints).
  std::function<void()> OnFrameTicksChanged;

  // Frames list.
  TFramesListView* lbAVI = nullptr;
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
  QRadioButton* RadioButton8 = nullptr;    // "BMP"
  QRadioButton* RadioButton9 = nullptr;    // "JPEG" / "TIFF"
  QRadioButton* RadioButtonPng = nullptr;  // "PNG", beside the described choices
  QLabel* LabelQuality = nullptr;          // "Compression" / "quality (1...100)"
  QSpinBox* QualityEdit = nullptr;         // the quality edit with its up-down
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
  template <class Signal, class Sender>
  void Wire(Sender* sender, Signal signal, void (TFramesPage::*handler)());
  void ApplySaveGroup(const TSaveGroupState& group);
  TSaveGroupState SaveGroup() const;
  // The list catches up with the results; when they were dropped, so are the thumbnails.
  void SyncFramesList();
  // Opening a video empties the list: results an earlier run left are released and the
  // buttons that would act on them are off, as at the start.
  void DropResults();

  TVideoState& state_;
  TFramesPageLinks links_;
  QString lastFolder_;
  bool running_ = false;
};

}  // namespace clipvane
