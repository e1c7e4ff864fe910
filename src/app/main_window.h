// TForm1: the main window. Fixed layout (608 x 486 client): the top bar, the frame check list,
// "Video control", "AVI file info", the three pages and the progress bar; Help, About, Exit.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "core/video_state.h"
#include "video/media_player.h"

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QMimeData;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimer;

namespace clipvane {

class TAboutForm;
class TForm2;
class TForm3;
class TForm5;
class TFrameCheckModel;
class TFramesPage;
class TGifPage;
class THelpWindow;
class TProgressBar;
class TTransitionsPage;

// The open dialog's first filter: every video container the program reads.
inline constexpr char kVideoFilesFilter[] =
    "Video files (*.avi *.mp4 *.m4v *.mov *.mkv *.webm *.mpg *.mpeg *.ts *.m2ts *.wmv *.flv *.ogv *.3gp)";

// The one local video file a drag carries (by the extensions of kVideoFilesFilter), or an
// empty text when it carries anything else: other files go to what lies under the mouse.
QString DroppedFilePath(const QMimeData* data);

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // The media device plays on `clock`, the steady clock unless one is given.
  explicit TForm1(TVideoState& state, std::shared_ptr<TPlayerClock> clock = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  // The secondary windows, created after this one and living as long as the program.
  void SetSecondaryWindows(TForm2* form2, TForm3* form3, TForm5* form5, TAboutForm* aboutForm);

  // The help page: next to the program, else where the install puts it (share/clipvane/help),
  // else in the source tree; empty when none exists.
  static QString HelpFilePath();
  // The help window, made by the first "Help"; none before.
  THelpWindow* HelpWindow() const { return helpWindow_; }

  // Handlers.
  void FormCreate();
  void Button1Click();   // "Help"
  void Button2Click();   // "About"
  void Button18Click();  // "Exit"
  void FormClose();
  void Button3Click();  // "Open AVI"
  // A video file dropped onto the window: opened as "Open AVI" opens the chosen one, while
  // "Open AVI" is enabled.
  void FormDragDrop(const QString& path);
  // What "Open AVI" does once its dialog has given `path`; also the program's VIDEO argument.
  void OpenVideo(const QString& path);
  void Button9Click();   // "Play"
  void Button10Click();  // "Pause"
  void Button11Click();  // "Reset"
  void TrackBar1Change();
  void TrackBarPanelMouseMove();
  void BitBtn1Click();  // "Frame -"
  void BitBtn2Click();  // "Frame +"
  void Timer1Timer();

  // The open dialog for videos: returns the chosen path, or an empty text when cancelled.
  // Tests replace it to answer the dialog.
  std::function<QString()> OpenDialog1;
  // The media device; the "Video" window is its display.
  TMediaPlayer MediaPlayer1;

  TVideoState& State() { return state_; }

  // Top bar.
  QFrame* TopBar = nullptr;
  QPushButton* Button3 = nullptr;   // "Open AVI"
  QPushButton* Button1 = nullptr;   // "Help"
  QPushButton* Button2 = nullptr;   // "About"
  QPushButton* Button18 = nullptr;  // "Exit"
  // Frame check list.
  QListView* CheckListBox1 = nullptr;
  TFrameCheckModel* FrameCheckModel = nullptr;
  // "Video control".
  QGroupBox* GroupBoxVideoControl = nullptr;
  QFrame* TrackBarPanel = nullptr;
  QSlider* TrackBar1 = nullptr;
  QPushButton* Button9 = nullptr;   // "Play"
  QPushButton* Button10 = nullptr;  // "Pause"
  QPushButton* Button11 = nullptr;  // "Reset"
  QPushButton* BitBtn1 = nullptr;   // "Frame -"
  QPushButton* BitBtn2 = nullptr;   // "Frame +"
  QLabel* LabelFramePosition = nullptr;
  QLabel* LabelTimePosition = nullptr;
  QLabel* LabelStep = nullptr;
  QSpinBox* UpDown1 = nullptr;  // the step edit with its up-down
  QTimer* Timer1 = nullptr;
  // "AVI file info".
  QGroupBox* GroupBoxFileInfo = nullptr;
  QLabel* LabelFrameWidth = nullptr;
  QLabel* LabelFrameHeight = nullptr;
  QLabel* LabelFramesCount = nullptr;
  QLabel* LabelTimeLength = nullptr;
  // "HDR (PQ)" or "HDR (HLG)" beside the group's title while such a video is open.
  QLabel* LabelHdr = nullptr;
  // Pages.
  QTabWidget* PageControl1 = nullptr;
  TFramesPage* FramesPage = nullptr;
  TGifPage* GifPage = nullptr;
  TTransitionsPage* TransitionsPage = nullptr;
  // Bottom bar.
  QFrame* BottomBar = nullptr;
  TProgressBar* ProgressBar1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildTopBar();
  void BuildVideoControl();
  void BuildFileInfo();
  void BuildPages();
  void PauseVideo();
  // The steps of "Open AVI" after its dialog; an error leaves the window half set.
  void OpenVideoFile(const QString& path);
  // After a failed open: every control, the lists, the "Video" window and the state record as
  // they were before any video was opened.
  void ShowNoVideo();
  // Hides the windows that belong to the main window (the "Video", "GIF preview", frame
  // preview and help windows), stopping the preview's animation.
  void CloseSecondaryWindows();
  // Connects a control's signal to a handler run under the error box guard.
  template <class Sender, class Signal, class Handler>
  void Wire(Sender* sender, Signal signal, Handler handler);

  TVideoState& state_;
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
  TForm5* form5_ = nullptr;
  TAboutForm* aboutForm_ = nullptr;
  THelpWindow* helpWindow_ = nullptr;  // a child window of this one
  bool centred_ = false;
};

}  // namespace clipvane
