// The "Video control" group: the button state table, the position timer and its texts, the
// slider, the automatic pause over the slider's panel, frame stepping and its refused seeks,
// and the picture in the "Video" window.
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <memory>
#include <optional>

#include "app/position_text.h"
#include "ui/video_window.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

using namespace std::chrono_literals;

class VideoControl : public WindowTest {
 protected:
  // Opens a video; the test ticks the position timer itself.
  void OpenVideo(int frames, int rate = 25, int width = 64, int height = 48) {
    OpenAvi(Video("clip.avi", frames, width, height, rate));
    ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
    ASSERT_TRUE(Form().Timer1->isActive());
    Form().Timer1->stop();
  }
  void ExpectButtons(bool play, bool pause, bool reset, bool paused) {
    EXPECT_EQ(Form().Button9->isEnabled(), play);
    EXPECT_EQ(Form().Button10->isEnabled(), pause);
    EXPECT_EQ(Form().Button11->isEnabled(), reset);
    EXPECT_EQ(State().Paused, paused);
  }
  void MoveMouseOverSliderPanel() {
    const QPointF point(1, 1);
    QMouseEvent move(QEvent::MouseMove, point, Form().TrackBarPanel->mapToGlobal(point), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(Form().TrackBarPanel, &move);
  }
  TMediaPlayer& Player() { return Form().MediaPlayer1; }
};

TEST_F(VideoControl, ButtonsFollowTheStateTable) {
  OpenVideo(20);
  ExpectButtons(false, true, true, false);

  Form().Button10->click();  // "Pause"
  ExpectButtons(true, false, true, true);
  EXPECT_EQ(Player().Mode(), TMPModes::mpPaused);

  Form().Button9->click();  // "Play"
  ExpectButtons(false, true, true, false);
  EXPECT_EQ(Player().Mode(), TMPModes::mpPlaying);

  Step(200ms);
  Form().Button11->click();  // "Reset"
  ExpectButtons(true, false, false, true);
  EXPECT_EQ(Player().Mode(), TMPModes::mpStopped);
  EXPECT_EQ(Player().Position(), 0);

  Form().Button9->click();
  Step(5000ms);
  Form().Timer1Timer();  // a tick at the last frame enables "Play" only
  ExpectButtons(true, true, true, false);
  EXPECT_FALSE(Form().BitBtn2->isEnabled());
  EXPECT_TRUE(Form().BitBtn1->isEnabled());
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(VideoControl, PlayShowsTheVideoWindowAgain) {
  OpenVideo(20);
  Form().Button10->click();
  Windows->Form2->hide();
  Form().Button9->click();
  EXPECT_TRUE(Windows->Form2->isVisible());
}

TEST_F(VideoControl, PlayAtTheEndStartsAgainFromTheFirstFrame) {
  OpenVideo(20);
  Step(1000ms);
  ASSERT_EQ(Player().Mode(), TMPModes::mpStopped);
  ASSERT_EQ(Player().Position(), 20);
  Form().Timer1Timer();  // the tick at the end enables "Play"
  ASSERT_TRUE(Form().Button9->isEnabled());
  Form().Button9->click();
  EXPECT_EQ(Player().Position(), 0);
  EXPECT_EQ(Player().Mode(), TMPModes::mpPlaying);
}

TEST_F(VideoControl, TimerAtFrame125OfATenSecondVideo) {
  OpenVideo(250, 25, 32, 16);
  ASSERT_EQ(State().LengthMs, 10000);
  ASSERT_EQ(State().LastFrame, 250);
  Step(5000ms);
  ASSERT_EQ(Player().Position(), 125);
  Form().Timer1Timer();
  EXPECT_EQ(Form().LabelFramePosition->text(), QStringLiteral("Frame position: 125"));
  EXPECT_EQ(Form().LabelTimePosition->text(), QStringLiteral("Time position: 5 s"));
  EXPECT_EQ(Form().TrackBar1->value(), 125);
  EXPECT_TRUE(Form().BitBtn1->isEnabled());
  EXPECT_TRUE(Form().BitBtn2->isEnabled());
  EXPECT_EQ(Player().Mode(), TMPModes::mpPlaying);  // following the slider did not stop it
}

TEST_F(VideoControl, TimerAtFrame1OfAOneSecondVideo) {
  OpenVideo(30, 30, 32, 16);
  ASSERT_EQ(State().LengthMs, 1000);
  ASSERT_EQ(State().LastFrame, 30);
  Step(34ms);
  ASSERT_EQ(Player().Position(), 1);
  Form().Timer1Timer();
  EXPECT_EQ(Form().LabelFramePosition->text(), QStringLiteral("Frame position: 1"));
  EXPECT_EQ(Form().LabelTimePosition->text(), QStringLiteral("Time position: 0 s"));
}

// Time that passes between any two readings of the device, as real time does while a video
// plays: every reading while Moving is set is one 25 fps frame later than the one before.
class TMovingPlayerClock final : public TPlayerClock {
 public:
  std::int64_t NowMicroseconds() const override { return Moving ? now_ += 40000 : now_.load(); }
  std::optional<std::chrono::microseconds> RealWait(std::int64_t) const override { return std::nullopt; }
  std::atomic<bool> Moving{false};

 private:
  mutable std::atomic<std::int64_t> now_{0};
};

TEST_F(VideoControl, OneTickShowsOnePositionInTheLabelAndTheSlider) {
  auto clock = std::make_shared<TMovingPlayerClock>();
  Windows = std::make_unique<TAppWindows>(clock);
  Windows->Form1->OpenDialog1 = [this] { return DialogAnswer; };
  OpenVideo(250);
  ASSERT_EQ(Player().Mode(), TMPModes::mpPlaying);
  clock->Moving = true;
  Form().Timer1Timer();
  clock->Moving = false;
  const int slider = Form().TrackBar1->value();
  EXPECT_GT(slider, 0);  // the video did move while the tick read it
  EXPECT_EQ(Form().LabelFramePosition->text(), QStringLiteral("Frame position: %1").arg(slider));
}

TEST_F(VideoControl, TimerAtTheFirstFrameDisablesFrameMinus) {
  OpenVideo(20);
  Form().Timer1Timer();
  EXPECT_EQ(Form().LabelFramePosition->text(), QStringLiteral("Frame position: 0"));
  EXPECT_FALSE(Form().BitBtn1->isEnabled());
  EXPECT_TRUE(Form().BitBtn2->isEnabled());
  Step(200ms);  // frame 5: 800 / 20 x 5 / 100 = 2 tenths
  Form().Timer1Timer();
  EXPECT_TRUE(Form().BitBtn1->isEnabled());
  EXPECT_EQ(Form().LabelTimePosition->text(), QStringLiteral("Time position: 0.2 s"));
}

TEST_F(VideoControl, SteppingOutsideTheVideoIsRefusedQuietly) {
  OpenVideo(60);
  Form().Button10->click();
  Form().UpDown1->setValue(5);
  ASSERT_TRUE(Player().Seek(3));
  Form().BitBtn1->click();  // "Frame -" to -2
  EXPECT_EQ(Player().Position(), 3);
  EXPECT_TRUE(ErrorTexts.empty());
  Form().BitBtn2->click();  // "Frame +" to 8
  EXPECT_EQ(Player().Position(), 8);
  ASSERT_TRUE(Player().Seek(58));
  Form().BitBtn2->click();  // to 63, beyond the end
  EXPECT_EQ(Player().Position(), 58);
  // Stepping leaves the buttons and the pause as they were.
  ExpectButtons(true, false, true, true);
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(VideoControl, MouseOverTheSliderPanelPausesOnlyWhilePlaying) {
  OpenVideo(20);
  Step(120ms);
  MoveMouseOverSliderPanel();
  EXPECT_EQ(Player().Mode(), TMPModes::mpPaused);
  ExpectButtons(true, false, true, true);
  // While paused the mouse does nothing (a second pause would resume).
  MoveMouseOverSliderPanel();
  EXPECT_EQ(Player().Mode(), TMPModes::mpPaused);
  Step(200ms);
  EXPECT_EQ(Player().Position(), 3);
}

// As the window system delivers a move without a button: to the main window, which hands it
// to the control under the mouse. Most of the panel is the slider itself.
TEST_F(VideoControl, AMoveWithoutAButtonAnywhereOnThePanelPausesThePlayingVideo) {
  Form().show();
  OpenVideo(40);
  QWidget* panel = Form().TrackBarPanel;
  QSlider* slider = Form().TrackBar1;
  const QPoint sliderCentre = slider->geometry().center();
  for (const QPoint& onPanel : {sliderCentre, QPoint(slider->geometry().left() + 3, sliderCentre.y()),
                                QPoint(slider->geometry().right() - 3, sliderCentre.y()), QPoint(1, 1)}) {
    SCOPED_TRACE(std::to_string(onPanel.x()) + "," + std::to_string(onPanel.y()));
    Form().Button9->click();  // "Play"
    ASSERT_EQ(Player().Mode(), TMPModes::mpPlaying);
    const QPointF inWindow = panel->mapTo(&Form(), onPanel);
    QMouseEvent move(QEvent::MouseMove, inWindow, inWindow, Form().mapToGlobal(inWindow), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(Form().windowHandle(), &move);
    EXPECT_EQ(Player().Mode(), TMPModes::mpPaused);
    ExpectButtons(true, false, true, true);
  }
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(VideoControl, TheSliderSeeksOnlyWhenPausedOrStopped) {
  OpenVideo(40);
  Form().TrackBar1->setValue(20);
  EXPECT_EQ(Player().Position(), 0);
  EXPECT_EQ(Player().Mode(), TMPModes::mpPlaying);
  Form().Button10->click();
  Form().TrackBar1->setValue(25);
  EXPECT_EQ(Player().Position(), 25);
  Form().Button9->click();
  Step(1000ms);
  ASSERT_EQ(Player().Mode(), TMPModes::mpStopped);
  State().Paused = false;
  Form().TrackBar1->setValue(7);  // stopped at the end: the slider seeks
  EXPECT_EQ(Player().Position(), 7);
}

TEST_F(VideoControl, TheVideoWindowShowsTheFrameAtThePosition) {
  OpenVideo(20);
  const TForm2& video = *Windows->Form2;
  Step(200ms);
  ASSERT_EQ(Player().Position(), 5);
  ASSERT_TRUE(ProcessUntil([&] { return video.ShownFrame() == 5; }));
  const QImage screen = const_cast<TForm2&>(video).grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(screen.size(), QSize(64, 48));
  TBitmap painted(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const QRgb pixel = screen.pixel(x, y);
      painted.SetPixel(x, y, RGB(qRed(pixel), qGreen(pixel), qBlue(pixel)));
    }
  EXPECT_EQ(fixtures::DecodeFrameNumber(painted), 5);
}

TEST(PositionTexts, TimePositionInTenthsTruncated) {
  EXPECT_EQ(TimePositionTenths(10000, 250, 125), 50);
  EXPECT_EQ(TimePositionTenths(1000, 30, 1), 0);
  EXPECT_EQ(TimePositionTenths(1000, 30, 29), 9);
  EXPECT_EQ(TimePositionTenths(5000, 0, 3), 0);
}

TEST(PositionTexts, ShortestFormWithTheUsersDecimalSeparator) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QLocale german(QLocale::German, QLocale::Germany);
  EXPECT_EQ(TimePositionText(50, english), QStringLiteral("Time position: 5 s"));
  EXPECT_EQ(TimePositionText(25, english), QStringLiteral("Time position: 2.5 s"));
  EXPECT_EQ(TimePositionText(25, german), QStringLiteral("Time position: 2,5 s"));
  EXPECT_EQ(TimePositionText(0, german), QStringLiteral("Time position: 0 s"));
  EXPECT_EQ(TimeLengthText(2500, english), QStringLiteral("Time length: 2.5 s"));
  EXPECT_EQ(TimeLengthText(3960, german), QStringLiteral("Time length: 4,0 s"));
  EXPECT_EQ(TimeLengthText(12345678, english), QStringLiteral("Time length: 12345.7 s"));
}

}  // namespace
}  // namespace clipvane::testing
