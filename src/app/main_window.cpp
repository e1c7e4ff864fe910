// TForm1: layout and start-up states of the main window, Help, About, Exit and closing.
#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/about_form.h"
#include "app/control_tips.h"
#include "app/frame_check_model.h"
#include "app/help_window.h"
#include "app/position_text.h"
#include "core/error.h"
#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_list_page.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "ui/error_box.h"
#include "ui/gif_preview_window.h"
#include "ui/image_view.h"
#include "ui/progress_bar.h"
#include "ui/run_scope.h"
#include "ui/video_window.h"
#include "ui/widget_placement.h"

namespace clipvane {

template <class Sender, class Signal, class Handler>
void TForm1::Wire(Sender* sender, Signal signal, Handler handler) {
  connect(sender, signal, this, [this, handler] { RunHandler(this, [this, handler] { (this->*handler)(); }); });
}

TForm1::TForm1(TVideoState& state, std::shared_ptr<TPlayerClock> clock, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      MediaPlayer1(std::move(clock)),
      state_(state) {
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setFixedSize(608, 486);

  BuildTopBar();

  CheckListBox1 = Place<QListView>(this, 0, 30, 121, 444);
  FrameCheckModel = new TFrameCheckModel(state_, this);
  CheckListBox1->setModel(FrameCheckModel);
  CheckListBox1->setUniformItemSizes(true);

  BuildVideoControl();
  BuildFileInfo();
  BuildPages();
  SetControlTips(*this);

  BottomBar = Place<QFrame>(this, 0, 474, 608, 12);
  ProgressBar1 = Place<TProgressBar>(BottomBar, 1, 1, 606, 10);

  OpenDialog1 = [this] {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QString::fromUtf8(kVideoFilesFilter), QStringLiteral("AVI files (*.avi)"), QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("avi"));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
  };

  // A long open (a video without an index of its own) shows its progress on the bar, which
  // is empty again once the video is open.
  MediaPlayer1.SetOpenProgress([this](int position, int maximum) {
    ProgressBarHook(ProgressBar1)(position >= maximum ? 0 : position, maximum);
    ProgressBar1->repaint();
  });
  setAcceptDrops(true);

  FormCreate();
}

TForm1::~TForm1() {
  // The device is closed before any window it draws into goes.
  MediaPlayer1.SetDisplay(nullptr);
  MediaPlayer1.Close();
}

void TForm1::BuildTopBar() {
  TopBar = Place<QFrame>(this, 0, 0, 608, 30);
  TopBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Button3 = Place<QPushButton>(TopBar, 8, 5, 90, 20, QStringLiteral("Open AVI"));
  Button1 = Place<QPushButton>(TopBar, 108, 5, 90, 20, QStringLiteral("Help"));
  Button2 = Place<QPushButton>(TopBar, 208, 5, 90, 20, QStringLiteral("About"));
  Button18 = Place<QPushButton>(TopBar, 308, 5, 90, 20, QStringLiteral("Exit"));
  Wire(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  Wire(Button1, &QPushButton::clicked, &TForm1::Button1Click);
  Wire(Button2, &QPushButton::clicked, &TForm1::Button2Click);
  Wire(Button18, &QPushButton::clicked, &TForm1::Button18Click);
}

void TForm1::BuildVideoControl() {
  GroupBoxVideoControl = Place<QGroupBox>(this, 125, 30, 313, 118, QStringLiteral("Video control"));
  TrackBarPanel = Place<QFrame>(GroupBoxVideoControl, 8, 18, 297, 33);
  TrackBarPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  TrackBarPanel->setMouseTracking(true);
  TrackBar1 = Place<QSlider>(TrackBarPanel, 4, 4, 289, 25, Qt::Horizontal);
  TrackBar1->setRange(0, 0);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickPosition(QSlider::NoTicks);
  TrackBar1->setEnabled(false);
  // The slider covers most of its panel. Qt drops a move without a button over a widget that
  // does not track the mouse; tracking, the slider passes such a move on to the panel.
  TrackBar1->setMouseTracking(true);

  Button9 = Place<QPushButton>(GroupBoxVideoControl, 8, 56, 50, 20, QStringLiteral("Play"));
  Button10 = Place<QPushButton>(GroupBoxVideoControl, 62, 56, 50, 20, QStringLiteral("Pause"));
  Button11 = Place<QPushButton>(GroupBoxVideoControl, 116, 56, 50, 20, QStringLiteral("Reset"));
  BitBtn1 = Place<QPushButton>(GroupBoxVideoControl, 201, 56, 50, 20);
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_MediaSeekBackward));
  BitBtn1->setToolTip(QStringLiteral("Frame -"));
  BitBtn2 = Place<QPushButton>(GroupBoxVideoControl, 255, 56, 50, 20);
  BitBtn2->setIcon(style()->standardIcon(QStyle::SP_MediaSeekForward));
  BitBtn2->setToolTip(QStringLiteral("Frame +"));

  LabelFramePosition = Place<QLabel>(GroupBoxVideoControl, 8, 78, 186, 18, QStringLiteral("Frame position:"));
  LabelTimePosition = Place<QLabel>(GroupBoxVideoControl, 8, 96, 186, 18, QStringLiteral("Time position:"));
  LabelStep = Place<QLabel>(GroupBoxVideoControl, 201, 84, 32, 22, QStringLiteral("Step"));
  UpDown1 = Place<QSpinBox>(GroupBoxVideoControl, 235, 84, 70, 22);
  UpDown1->setRange(1, 1);
  UpDown1->setValue(1);
  for (QWidget* control :
       {static_cast<QWidget*>(Button9), static_cast<QWidget*>(Button10), static_cast<QWidget*>(Button11),
        static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2), static_cast<QWidget*>(LabelFramePosition),
        static_cast<QWidget*>(LabelTimePosition), static_cast<QWidget*>(LabelStep), static_cast<QWidget*>(UpDown1)})
    control->setEnabled(false);

  Timer1 = new QTimer(this);
  Timer1->setInterval(100);

  Wire(Button9, &QPushButton::clicked, &TForm1::Button9Click);
  Wire(Button10, &QPushButton::clicked, &TForm1::Button10Click);
  Wire(Button11, &QPushButton::clicked, &TForm1::Button11Click);
  Wire(BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
  Wire(BitBtn2, &QPushButton::clicked, &TForm1::BitBtn2Click);
  Wire(TrackBar1, &QSlider::valueChanged, &TForm1::TrackBar1Change);
  Wire(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
  TrackBarPanel->installEventFilter(this);
}

void TForm1::BuildFileInfo() {
  GroupBoxFileInfo = Place<QGroupBox>(this, 442, 30, 162, 118, QStringLiteral("AVI file info"));
  LabelFrameWidth = Place<QLabel>(GroupBoxFileInfo, 8, 22, 150, 18, QStringLiteral("Frame width:"));
  LabelFrameHeight = Place<QLabel>(GroupBoxFileInfo, 8, 46, 150, 18, QStringLiteral("Frame height:"));
  LabelFramesCount = Place<QLabel>(GroupBoxFileInfo, 8, 70, 150, 18, QStringLiteral("Frames count:"));
  LabelTimeLength = Place<QLabel>(GroupBoxFileInfo, 8, 94, 150, 18, QStringLiteral("Time length:"));
  for (QLabel* label : {LabelFrameWidth, LabelFrameHeight, LabelFramesCount, LabelTimeLength}) label->setEnabled(false);
  // In the title's row, right of it: the four labels keep their places.
  LabelHdr = Place<QLabel>(GroupBoxFileInfo, 92, 0, 66, 16);
  LabelHdr->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LabelHdr->hide();
}

void TForm1::BuildPages() {
  PageControl1 = Place<QTabWidget>(this, 123, 150, 483, 322);
  PageControl1->tabBar()->setAttribute(Qt::WA_Hover);
  FramesPage = new TFramesPage(state_);
  GifPage = new TGifPage(state_);
  TransitionsPage = new TTransitionsPage(state_);
  PageControl1->addTab(FramesPage, QStringLiteral("frames extract"));
  PageControl1->addTab(GifPage, QStringLiteral("AVI to animated GIF"));
  PageControl1->addTab(TransitionsPage, QStringLiteral("Transition effects"));
  PageControl1->setCurrentIndex(0);
  FramesPage->OnFrameTicksChanged = [this] { FrameCheckModel->TicksChanged(); };
}

void TForm1::SetSecondaryWindows(TForm2* form2, TForm3* form3, TForm5* form5, TAboutForm* aboutForm) {
  form2_ = form2;
  form3_ = form3;
  form5_ = form5;
  aboutForm_ = aboutForm;
  // Each page's run holds the other two pages' start and clear buttons disabled while it
  // works: a clear re-enables its page's start, which would open the way to a nested run.
  QPushButton* getFrames = FramesPage->Button12;
  QPushButton* gifConvert = GifPage->Button5;
  QPushButton* transitionConvert = TransitionsPage->ConvertButton;
  QPushButton* clearResults = FramesPage->Button14;
  QPushButton* gifClear = GifPage->Button4;
  QPushButton* transitionClear = TransitionsPage->ClearGifButton;
  FramesPage->SetLinks(TFramesPageLinks{ProgressBar1,
                                        Button3,
                                        Button9,
                                        Button10,
                                        Button11,
                                        form5_,
                                        {gifConvert, gifClear, transitionConvert, transitionClear},
                                        {gifClear, transitionClear}});
  GifPage->SetLinks(TGifPageLinks{ProgressBar1,
                                  Button3,
                                  Button9,
                                  Button10,
                                  Button11,
                                  form2_,
                                  form3_,
                                  [this] { MediaPlayer1.Seek(0); },
                                  [this] { FramesPage->FramesListModel->Reload([this] { state_.ResetResults(); }); },
                                  [this] { FrameCheckModel->TicksChanged(); },
                                  {getFrames, clearResults, transitionConvert, transitionClear},
                                  {clearResults, transitionClear}});
  TransitionsPage->SetLinks(TTransitionsPageLinks{
      ProgressBar1, Button3, form3_, {getFrames, clearResults, gifConvert, gifClear}, {clearResults, gifClear}});
}

void TForm1::FormCreate() {
  state_.Paused = false;
  state_.SourceEmpty = true;
  state_.DestinationEmpty = true;
  state_.TransitionDurationMs = 1000;
  TransitionsPage->SourceView->Bitmap().SetPixelFormat(TPixelFormat::pf24bit);
  TransitionsPage->DestinationView->Bitmap().SetPixelFormat(TPixelFormat::pf24bit);
  TransitionsPage->EffectBox->setCurrentIndex(0);
}

QString TForm1::HelpFilePath() {
  const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html");
  if (QFileInfo::exists(besideProgram)) return besideProgram;
  // Installed: bin/clipvane finds share/clipvane/help/index.html, whatever the prefix.
  const QString installed =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/clipvane/help/index.html");
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
  const QString inSources = QStringLiteral(CLIPVANE_SOURCE_DIR "/docs/help/index.html");
  if (QFileInfo::exists(inSources)) return inSources;
  return {};
}

void TForm1::Button1Click() {
  const QString path = HelpFilePath();
  if (path.isEmpty()) throw EClipvaneError("The help page help/index.html was not found beside the program");
  // A window of our own: a desktop without a web browser would show nothing at all. Shown
  // again, it keeps the place the user had reached.
  if (!helpWindow_) {
    helpWindow_ = new THelpWindow(this);
    helpWindow_->ShowPage(path);
  }
  helpWindow_->show();
  helpWindow_->raise();
  helpWindow_->activateWindow();
}

void TForm1::Button2Click() {
  if (aboutForm_) aboutForm_->exec();
}

void TForm1::Button18Click() {
  FormClose();
  close();
}

void TForm1::FormClose() {
  state_.ClearResults();
  FrameCheckModel->Reload([this] { state_.FrameSelected.clear(); });
}

void TForm1::Button3Click() {
  form2_->hide();
  form3_->hide();
  const QString path = OpenDialog1 ? OpenDialog1() : QString();
  if (path.isEmpty()) return;
  OpenVideo(path);
}

QString DroppedFilePath(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile()) return {};
  const QString path = data->urls().first().toLocalFile();
  // The filter's patterns, "(*.avi *.mp4 ...)".
  const QString filter = QString::fromUtf8(kVideoFilesFilter);
  const int open = filter.indexOf(QLatin1Char('(')), close = filter.indexOf(QLatin1Char(')'));
  const QStringList patterns = filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '));
  return patterns.contains(QStringLiteral("*.") + QFileInfo(path).suffix().toLower()) ? path : QString();
}

void TForm1::FormDragDrop(const QString& path) {
  if (path.isEmpty() || !Button3->isEnabled()) return;
  form2_->hide();
  form3_->hide();
  OpenVideo(path);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (Button3->isEnabled() && !DroppedFilePath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString path = DroppedFilePath(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  RunHandler(this, [this, path] { FormDragDrop(path); });
}

void TForm1::OpenVideo(const QString& path) {
  try {
    // Whatever fails, the error box names the file.
    ForFile(path.toStdString(), [&] { OpenVideoFile(path); });
  } catch (...) {
    // Half an open is worse than none: the old video's controls would drive a closed device
    // and "Get frames" would read a file that does not play.
    ShowNoVideo();
    throw;
  }
}

void TForm1::ShowNoVideo() {
  Timer1->stop();
  MediaPlayer1.Close();
  form2_->hide();
  form2_->ShowNoVideo();
  if (form5_) form5_->hide();
  for (auto [label, text] :
       {std::pair{LabelFrameWidth, "Frame width:"}, std::pair{LabelFrameHeight, "Frame height:"},
        std::pair{LabelFramesCount, "Frames count:"}, std::pair{LabelTimeLength, "Time length:"},
        std::pair{LabelFramePosition, "Frame position:"}, std::pair{LabelTimePosition, "Time position:"}}) {
    label->setText(QString::fromLatin1(text));
    label->setEnabled(false);
  }
  LabelHdr->hide();
  {
    // Quietly: with no device open, the slider's change handler would report it.
    const QSignalBlocker slider(TrackBar1), step(UpDown1);
    TrackBar1->setRange(0, 0);
    TrackBar1->setValue(0);
    UpDown1->setRange(1, 1);
    UpDown1->setValue(1);
  }
  for (QWidget* control :
       {static_cast<QWidget*>(TrackBar1), static_cast<QWidget*>(UpDown1), static_cast<QWidget*>(LabelStep),
        static_cast<QWidget*>(Button9), static_cast<QWidget*>(Button10), static_cast<QWidget*>(Button11),
        static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2)})
    control->setEnabled(false);
  FramesPage->VideoClosed();
  GifPage->VideoClosed();
  FrameCheckModel->Reload([this] { FramesPage->FramesListModel->Reload([this] { state_.ForgetVideo(); }); });
}

void TForm1::OpenVideoFile(const QString& path) {
  state_.FilePath = path.toStdString();
  state_.FileTitle = QFileInfo(path).fileName().toStdString();
  MediaPlayer1.SetFileName(state_.FilePath);
  MediaPlayer1.Open();

  const TRect display = MediaPlayer1.DisplayRect();  // left, top, width, height
  state_.DisplayRect = TRect{0, 0, display.Right, display.Bottom};
  state_.FrameWidth = display.Right;
  state_.FrameHeight = display.Bottom;

  const QString title = QString::fromStdString(state_.FileTitle);
  form2_->setWindowTitle(title + QStringLiteral(" --- LOADING..."));
  form2_->show();
  MediaPlayer1.SetDisplay(form2_);
  form2_->SetClientSize(state_.FrameWidth, state_.FrameHeight);

  MediaPlayer1.SetTimeFormat(TMPTimeFormats::tfMilliseconds);
  state_.LengthMs = MediaPlayer1.Length();
  state_.LengthSeconds = state_.LengthMs / 1000;
  MediaPlayer1.SetTimeFormat(TMPTimeFormats::tfFrames);
  state_.LastFrame = MediaPlayer1.Length();
  state_.FrameTimes = MediaPlayer1.FrameTimes();

  state_.ExtractedFrames.clear();
  FrameCheckModel->Reload(
      [this] { state_.FrameSelected.assign(static_cast<std::size_t>(state_.LastFrame) + 1, true); });

  MediaPlayer1.SetTimeFormat(TMPTimeFormats::tfFrames);
  MediaPlayer1.SetStartPos(0);
  MediaPlayer1.SetEndPos(0);
  MediaPlayer1.Play();

  for (QLabel* label : {LabelFrameWidth, LabelFrameHeight, LabelFramesCount, LabelTimeLength}) label->setEnabled(true);
  LabelFrameWidth->setText(QStringLiteral("Frame width: %1 pixels").arg(state_.FrameWidth));
  LabelFrameHeight->setText(QStringLiteral("Frame height: %1 pixels").arg(state_.FrameHeight));
  // The true number of frames: positions run from 0 to LastFrame, but the last position is
  // the end of the video, not a frame of its own.
  LabelFramesCount->setText(QStringLiteral("Frames count: %1").arg(state_.LastFrame));
  LabelTimeLength->setText(TimeLengthText(state_.LengthMs));
  const QString hdr = QString::fromStdString(MediaPlayer1.Hdr());
  LabelHdr->setText(hdr.isEmpty() ? QString() : QStringLiteral("HDR (%1)").arg(hdr));
  LabelHdr->setVisible(!hdr.isEmpty());

  state_.RangeFirst = 0;
  state_.RangeLast = state_.LastFrame;
  state_.SamplingRate = 1;
  state_.CaptureWidth = state_.FrameWidth;
  state_.CaptureHeight = state_.FrameHeight;
  state_.CaptureRect = state_.DisplayRect;
  state_.PickAnchorX = 0;
  state_.PickAnchorY = 0;
  state_.PickCornerX = state_.FrameWidth;
  state_.PickCornerY = state_.FrameHeight;
  // The pages set their own controls from the record just filled; each starts afresh.
  FramesPage->VideoOpened();
  GifPage->VideoOpened();
  TransitionsPage->DropClip();
  // No page holds results now, so nothing keeps "Open AVI" off.
  Button3->setEnabled(true);

  Button9->setEnabled(true);
  BitBtn1->setEnabled(true);
  BitBtn2->setEnabled(true);

  LabelFramePosition->setEnabled(true);
  LabelTimePosition->setEnabled(true);
  Timer1->start();
  LabelStep->setEnabled(true);
  UpDown1->setEnabled(true);
  // A video of fewer than 10 frames still steps by 1: the box cannot go below its minimum.
  UpDown1->setMaximum(std::max(1, state_.LastFrame / 10));
  UpDown1->setValue(1);

  TrackBar1->setEnabled(true);
  TrackBar1->setMaximum(state_.LastFrame);

  MediaPlayer1.SetStartPos(0);
  MediaPlayer1.SetEndPos(state_.LastFrame);
  MediaPlayer1.Play();

  Button9->setEnabled(false);
  Button10->setEnabled(true);
  Button11->setEnabled(true);
  state_.Paused = false;

  form2_->setWindowTitle(title);
}

void TForm1::Button9Click() {
  form2_->show();
  MediaPlayer1.Play();
  Button9->setEnabled(false);
  Button10->setEnabled(true);
  Button11->setEnabled(true);
  state_.Paused = false;
}

void TForm1::PauseVideo() {
  MediaPlayer1.Pause();
  Button9->setEnabled(true);
  Button10->setEnabled(false);
  Button11->setEnabled(true);
  state_.Paused = true;
}

void TForm1::Button10Click() { PauseVideo(); }

void TForm1::Button11Click() {
  MediaPlayer1.Stop();
  MediaPlayer1.Seek(0);
  Button9->setEnabled(true);
  Button10->setEnabled(false);
  Button11->setEnabled(false);
  state_.Paused = true;
}

void TForm1::TrackBar1Change() {
  const TMPModes mode = MediaPlayer1.Mode();
  if (state_.Paused || mode == TMPModes::mpStopped || mode == TMPModes::mpPaused) MediaPlayer1.Seek(TrackBar1->value());
}

void TForm1::TrackBarPanelMouseMove() {
  if (MediaPlayer1.Mode() == TMPModes::mpPlaying) PauseVideo();
}

// A step beyond either end is refused by the device; the position then stays.
void TForm1::BitBtn1Click() { MediaPlayer1.Seek(MediaPlayer1.Position() - UpDown1->value()); }

void TForm1::BitBtn2Click() { MediaPlayer1.Seek(MediaPlayer1.Position() + UpDown1->value()); }

void TForm1::Timer1Timer() {
  // One reading for the labels, the slider and the step buttons: a second one, taken while
  // the video plays on, could put the slider a frame past the label.
  const int position = MediaPlayer1.Position();
  const int tenths = TimePositionTenths(state_.FrameTimes, state_.LengthMs, state_.LastFrame, position);
  LabelFramePosition->setText(QStringLiteral("Frame position: %1").arg(position));
  LabelTimePosition->setText(TimePositionText(tenths));
  // Changing the slider runs TrackBar1Change, which seeks only when paused or stopped, to
  // the position the device already has.
  TrackBar1->setValue(std::clamp(position, TrackBar1->minimum(), TrackBar1->maximum()));
  if (position == state_.LastFrame) {
    Button9->setEnabled(true);
    BitBtn2->setEnabled(false);
  }
  if (position == 0) BitBtn1->setEnabled(false);
  if (position != state_.LastFrame && position != 0) {
    BitBtn1->setEnabled(true);
    BitBtn2->setEnabled(true);
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TrackBarPanel && event->type() == QEvent::MouseMove)
    RunHandler(this, [this] { TrackBarPanelMouseMove(); });
  return QWidget::eventFilter(watched, event);
}

void TForm1::CloseSecondaryWindows() {
  if (form2_) form2_->hide();
  if (form3_) {
    form3_->StopAnimation();
    form3_->hide();
  }
  if (form5_) form5_->hide();
  if (helpWindow_) helpWindow_->hide();
}

void TForm1::closeEvent(QCloseEvent* event) {
  RunHandler(this, [this] { FormClose(); });
  // The other windows go with the main window, also the "Video" window, which has no close
  // button of its own.
  CloseSecondaryWindows();
  if (TRunScope::AnyRun()) {
    // Closed from inside a run's message processing: the run stops before its next frame and
    // nothing is written; its end may show the preview again, so the windows are closed once
    // more when it has unwound, and then the event loop ends.
    TRunScope::AbortAll();
    TRunScope::WhenNoRun([this] {
      CloseSecondaryWindows();
      QCoreApplication::quit();
    });
  }
  event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  QWidget::showEvent(event);
}

}  // namespace clipvane
