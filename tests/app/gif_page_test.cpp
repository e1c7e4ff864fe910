// The "AVI to animated GIF" page driven like a user: the options' enabling and visibility
// rules, the region pick in the "Video" window with mouse events, a conversion with its
// button states, "Abort" and "Clear GIF", and "Save" through the dialog seam.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "app/control_states.h"
#include "app/window_fixture.h"
#include "gif/gif_extensions.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "runs/frames/extraction_run.h"
#include "support/fake_frame_source.h"
#include "ui/gif_preview_window.h"
#include "ui/gif_save_form.h"
#include "ui/progress_bar.h"
#include "ui/video_window.h"

namespace clipvane::testing {
namespace {

class GifPageTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    SetGifSaveDialog([this](QWidget*, const QString& name) {
      OfferedNames.push_back(name);
      return SaveAnswer;
    });
    SetGifOverwriteQuestion([this](const QString& question) {
      Questions.push_back(question);
      return ReplaceAnswer;
    });
  }
  void TearDown() override {
    SetGifSaveDialog({});
    SetGifOverwriteQuestion({});
    WindowTest::TearDown();
  }

  TGifPage& Page() { return *Form().GifPage; }
  TForm2& VideoWindow() { return *Windows->Form2; }
  TForm3& Preview() { return *Windows->Form3; }

  struct TButtons {
    bool Convert, Abort, ClearGif, Save, OpenAvi, Preview;
    friend bool operator==(const TButtons&, const TButtons&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TButtons& b) {
      return out << "convert " << b.Convert << " abort " << b.Abort << " clear " << b.ClearGif << " save " << b.Save
                 << " open " << b.OpenAvi << " preview " << b.Preview;
    }
  };
  TButtons Buttons() {
    return {Page().Button5->isEnabled(), Page().Button7->isEnabled(), Page().Button4->isEnabled(),
            Page().Button6->isEnabled(), Form().Button3->isEnabled(), Preview().isVisible()};
  }
  static constexpr TButtons kNoVideo{false, false, false, false, true, false};
  static constexpr TButtons kReady{true, false, false, false, true, false};
  static constexpr TButtons kResultShown{false, false, true, true, false, true};

  void Mouse(QEvent::Type type, int x, int y) {
    const QPointF at(x, y);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, VideoWindow().mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&VideoWindow(), &event);
  }
  void Drag(int fromX, int fromY, int toX, int toY) {
    Mouse(QEvent::MouseButtonPress, fromX, fromY);
    Mouse(QEvent::MouseMove, (fromX + toX) / 2, (fromY + toY) / 2);
    Mouse(QEvent::MouseMove, toX, toY);
    Mouse(QEvent::MouseButtonRelease, toX, toY);
  }
  void PickRegion(int fromX, int fromY, int toX, int toY) {
    Page().RadioButton2->click();
    Page().Button8->click();
    Drag(fromX, fromY, toX, toY);
  }

  // The delay of every frame of the preview's document (hundredths of a second).
  std::vector<int> Delays() {
    std::vector<int> delays;
    const TGIFImage* document = Preview().Document();
    if (!document) return delays;
    for (const auto& frame : document->Images()) {
      int delay = -1;
      for (int i = 0; i < frame->Extensions().Count(); ++i)
        if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(frame->Extensions()[i]))
          delay = control->Delay();
      delays.push_back(delay);
    }
    return delays;
  }
  int GifFrames() { return Preview().Document() ? Preview().Document()->Images().Count() : -1; }

  QString SaveAnswer;
  bool ReplaceAnswer = false;
  std::vector<QString> OfferedNames;
  std::vector<QString> Questions;
};

TEST_F(GifPageTest, SamplingRateEnablesKeepSpeedWithoutChangingItsTick) {
  OpenAvi(Video("clip.avi", 20));
  EXPECT_FALSE(Page().CheckBoxKeepSpeed->isEnabled());
  EXPECT_FALSE(Page().LabelKeepSpeed->isEnabled());
  Page().CheckBoxKeepSpeed->setChecked(false);
  Page().SpinEdit1->setValue(2);
  EXPECT_EQ(State().SamplingRate, 2);
  EXPECT_TRUE(Page().CheckBoxKeepSpeed->isEnabled());
  EXPECT_TRUE(Page().LabelKeepSpeed->isEnabled());
  EXPECT_FALSE(Page().CheckBoxKeepSpeed->isChecked());
  Page().SpinEdit1->setValue(1);
  EXPECT_FALSE(Page().CheckBoxKeepSpeed->isEnabled());
  EXPECT_FALSE(Page().CheckBoxKeepSpeed->isChecked());
  EXPECT_EQ(Page().SpinEdit1->minimum(), 1);
  EXPECT_EQ(Page().SpinEdit1->maximum(), 10);
}

TEST_F(GifPageTest, FramesRangeChangesTheRunOnlyAfterUpdateFramesList) {
  OpenAvi(Video("clip.avi", 20));
  const int last = State().LastFrame;
  Page().RadioButton4->click();
  EXPECT_TRUE(Page().Button19->isEnabled());
  EXPECT_TRUE(Page().FrameFromBox->isEnabled());
  EXPECT_FALSE(Page().TimeFromBox->isEnabled());
  EXPECT_EQ(Page().FrameToBox->maximum(), last);
  EXPECT_EQ(Page().FrameToBox->value(), last);
  Page().FrameFromBox->setValue(5);
  Page().FrameToBox->setValue(8);
  EXPECT_EQ(State().RangeFirst, 0);
  EXPECT_EQ(State().RangeLast, last);
  Page().Button19->click();
  EXPECT_EQ(State().RangeFirst, 5);
  EXPECT_EQ(State().RangeLast, 8);
  for (int n = 0; n <= last; ++n) EXPECT_EQ(State().FrameSelected[n], n >= 5 && n <= 8) << n;

  Page().Button5->click();
  EXPECT_EQ(GifFrames(), 4);

  // "All frames" turns the range controls off again and ticks everything.
  Page().Button4->click();
  Page().RadioButton3->click();
  EXPECT_FALSE(Page().Button19->isEnabled());
  EXPECT_FALSE(Page().FrameFromBox->isEnabled());
  EXPECT_FALSE(Page().LabelTimeUnit->isEnabled());
  EXPECT_EQ(State().RangeFirst, 0);
  EXPECT_EQ(State().RangeLast, last);
}

TEST_F(GifPageTest, TimeRangeOffersOnlyTheSecondBoxes) {
  OpenAvi(Video("clip.avi", 75));
  Page().RadioButton5->click();
  EXPECT_TRUE(Page().TimeFromBox->isEnabled());
  EXPECT_TRUE(Page().LabelTimeUnit->isEnabled());
  EXPECT_FALSE(Page().FrameFromBox->isEnabled());
  EXPECT_EQ(Page().TimeToBox->maximum(), State().LengthSeconds);
  Page().TimeFromBox->setValue(1);
  Page().TimeToBox->setValue(2);
  Page().Button19->click();
  const auto frameOf = [&](int seconds) {
    return static_cast<int>(static_cast<double>(seconds) * State().LastFrame * 1000 / State().LengthMs);
  };
  EXPECT_EQ(State().RangeFirst, frameOf(1));
  EXPECT_EQ(State().RangeLast, frameOf(2));
}

TEST_F(GifPageTest, ScaleShowsOneToOneWheneverChosenAnew) {
  OpenAvi(Video("clip.avi", 10));
  EXPECT_TRUE(Page().ComboBox2->isEnabled());
  EXPECT_FALSE(Page().ComboBoxScale->isVisibleTo(&Page()));
  Page().ComboBox2->setCurrentIndex(1);
  EXPECT_TRUE(Page().ComboBoxScale->isVisibleTo(&Page()));
  EXPECT_FALSE(Page().SpinEdit8->isVisibleTo(&Page()));
  Page().ComboBoxScale->setCurrentIndex(3);
  Page().ComboBox2->setCurrentIndex(0);
  EXPECT_FALSE(Page().ComboBoxScale->isVisibleTo(&Page()));
  Page().ComboBox2->setCurrentIndex(1);
  EXPECT_EQ(Page().ComboBoxScale->currentText(), QStringLiteral(" 1:1"));
}

TEST_F(GifPageTest, SpecifiedSizeCouplesBothBoxesToTheVideoRatio) {
  OpenAvi(Video("big.avi", 3, 320, 240));
  PickRegion(10, 10, 110, 110);
  ASSERT_EQ(State().CaptureWidth, 100);
  Page().ComboBox2->setCurrentIndex(2);
  EXPECT_TRUE(Page().SpinEdit8->isVisibleTo(&Page()));
  EXPECT_TRUE(Page().CheckBoxGifAspect->isVisibleTo(&Page()));
  EXPECT_FALSE(Page().ComboBoxScale->isVisibleTo(&Page()));
  EXPECT_EQ(Page().SpinEdit8->value(), 133);
  EXPECT_EQ(Page().SpinEdit9->value(), 100);
  // The user's change of the width follows the video's ratio too.
  Page().SpinEdit8->setValue(160);
  EXPECT_EQ(Page().SpinEdit9->value(), 120);
  Page().CheckBoxGifAspect->setChecked(false);
  Page().SpinEdit8->setValue(50);
  EXPECT_EQ(Page().SpinEdit9->value(), 120);
}

TEST_F(GifPageTest, PickWindowArmsThePickShowsTheVideoAndSeeksToTheStart) {
  OpenAvi(Video("clip.avi", 30, 200, 150));
  Form().MediaPlayer1.Seek(12);
  EXPECT_FALSE(Page().Button8->isEnabled());
  Page().RadioButton2->click();
  EXPECT_TRUE(Page().Button8->isEnabled());
  VideoWindow().hide();
  Page().Button8->click();
  EXPECT_TRUE(State().PickArmed);
  EXPECT_TRUE(VideoWindow().isVisible());
  EXPECT_EQ(Form().MediaPlayer1.Position(), 0);
}

TEST_F(GifPageTest, DragBackwardsGivesTheNormalisedRegionAndItsLabels) {
  OpenAvi(Video("clip.avi", 5, 200, 150));
  Page().RadioButton2->click();
  Page().Button8->click();
  Mouse(QEvent::MouseButtonPress, 150, 100);
  EXPECT_FALSE(VideoWindow().Band());
  Mouse(QEvent::MouseMove, 90, 60);
  ASSERT_TRUE(VideoWindow().Band());
  EXPECT_EQ(*VideoWindow().Band(), (TRect{90, 60, 150, 100}));
  Mouse(QEvent::MouseMove, 50, 20);
  EXPECT_EQ(*VideoWindow().Band(), (TRect{50, 20, 150, 100}));  // the last band went
  Mouse(QEvent::MouseButtonRelease, 50, 20);
  EXPECT_FALSE(VideoWindow().Band());
  EXPECT_EQ(State().CaptureRect, (TRect{50, 20, 150, 100}));
  EXPECT_EQ(State().CaptureWidth, 100);
  EXPECT_EQ(State().CaptureHeight, 80);
  EXPECT_FALSE(State().PickArmed);
  EXPECT_EQ(Page().LabelCaptureWidth->text(), QStringLiteral("Width = 100 pixels"));
  EXPECT_EQ(Page().LabelCaptureHeight->text(), QStringLiteral("Height = 80 pixels"));
}

TEST_F(GifPageTest, BandShowsWhenThePressAlsoActivatesTheVideoWindow) {
  OpenAvi(Video("clip.avi", 5, 200, 150));
  Page().RadioButton2->click();
  Page().Button8->click();
  // The window system reports the activation that the press causes after the press itself.
  Mouse(QEvent::MouseButtonPress, 20, 30);
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(&VideoWindow(), &activate);
  Mouse(QEvent::MouseMove, 80, 90);
  ASSERT_TRUE(VideoWindow().Band());
  EXPECT_EQ(*VideoWindow().Band(), (TRect{20, 30, 80, 90}));
  Mouse(QEvent::MouseButtonRelease, 80, 90);
  EXPECT_EQ(State().CaptureRect, (TRect{20, 30, 80, 90}));

  // Coming back to the window with no button held still ends a drag left behind, as before.
  Page().Button8->click();
  Mouse(QEvent::MouseButtonPress, 20, 30);
  QEvent deactivate(QEvent::WindowDeactivate);
  QCoreApplication::sendEvent(&VideoWindow(), &deactivate);
  QCoreApplication::sendEvent(&VideoWindow(), &activate);
  Mouse(QEvent::MouseMove, 60, 70);
  EXPECT_FALSE(VideoWindow().Band());
}

TEST_F(GifPageTest, ClickWithoutMovingPicksNothingWide) {
  OpenAvi(Video("clip.avi", 5, 200, 150));
  Page().RadioButton2->click();
  Page().Button8->click();
  Mouse(QEvent::MouseButtonPress, 30, 40);
  Mouse(QEvent::MouseButtonRelease, 30, 40);
  EXPECT_FALSE(VideoWindow().Band());
  EXPECT_EQ(State().CaptureRect, (TRect{30, 40, 30, 40}));
  EXPECT_EQ(Page().LabelCaptureWidth->text(), QStringLiteral("Width = 0 pixels"));
}

TEST_F(GifPageTest, MouseWithoutPickWindowChangesNothing) {
  OpenAvi(Video("clip.avi", 5, 200, 150));
  const TRect before = State().CaptureRect;
  Drag(150, 100, 50, 20);
  EXPECT_FALSE(VideoWindow().Band());
  EXPECT_EQ(State().CaptureRect, before);
  EXPECT_EQ(State().CaptureWidth, 200);
  EXPECT_EQ(Page().LabelCaptureWidth->text(), QStringLiteral("Width = 200 pixels"));
}

TEST_F(GifPageTest, FullWindowRestoresTheWholeFrameAfterAPick) {
  OpenAvi(Video("clip.avi", 5, 200, 150));
  PickRegion(150, 100, 50, 20);
  ASSERT_EQ(State().CaptureWidth, 100);
  Page().RadioButton1->click();
  EXPECT_FALSE(Page().Button8->isEnabled());
  EXPECT_EQ(State().CaptureRect, (TRect{0, 0, 200, 150}));
  EXPECT_EQ(State().CaptureWidth, 200);
  EXPECT_EQ(State().CaptureHeight, 150);
  EXPECT_EQ(Page().LabelCaptureWidth->text(), QStringLiteral("Width = 200 pixels"));
}

TEST_F(GifPageTest, ConvertGoesThroughTheStateTable) {
  EXPECT_EQ(Buttons(), kNoVideo);
  OpenAvi(Video("clip.avi", 50));
  EXPECT_EQ(Buttons(), kReady);
  std::vector<TButtons> during;
  std::vector<bool> busy;
  std::vector<bool> playOn;
  // Watched as the walk moves the bar, on the window's thread (frames are read on another).
  const QMetaObject::Connection watch = QObject::connect(Form().ProgressBar1, &QProgressBar::valueChanged, [&](int) {
    if (!Page().Running()) return;
    during.push_back(Buttons());
    busy.push_back(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor);
    playOn.push_back(Form().Button9->isEnabled());
  });
  Page().Button5->click();
  QObject::disconnect(watch);
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during.front(), (TButtons{false, true, false, false, false, false}));
  EXPECT_TRUE(busy.front());
  EXPECT_FALSE(playOn.front());
  EXPECT_EQ(Buttons(), kResultShown);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Form().Button9->isEnabled());
  EXPECT_FALSE(Form().Button10->isEnabled());
  EXPECT_FALSE(Form().Button11->isEnabled());
  EXPECT_EQ(Form().ProgressBar1->Position(), 0);

  // The device counts 50 frames and LastFrame is that count: the walk ends quietly at the
  // number past the last picture.
  const int frames = 50;
  ASSERT_EQ(State().LastFrame, 50);
  EXPECT_EQ(GifFrames(), frames);
  EXPECT_EQ(State().GifFrameCount, frames);
  // The preview holds the frames as "Save" writes them, not their pixels.
  for (const auto& frame : Preview().Document()->Images()) EXPECT_NE(frame->EncodedData(), nullptr);
  EXPECT_EQ(Page().StatusPanel1->text(), QStringLiteral("Size: 64 x 48 pixels  Frames: %1").arg(frames));
  EXPECT_EQ(Page().StatusPanel0->text(), QStringLiteral("GIF"));
  EXPECT_EQ(Preview().size(), QSize(64, 48));
  // 2 whole seconds of video over LastFrame frames, in hundredths.
  const int delay = static_cast<int>(std::lround(State().LengthMs / 1000 * 100.0 / State().LastFrame));
  EXPECT_EQ(Delays(), std::vector<int>(static_cast<std::size_t>(frames), delay));
  EXPECT_TRUE(ErrorTexts.empty());

  Page().Button4->click();
  EXPECT_EQ(Buttons(), kReady);
  EXPECT_EQ(Page().StatusPanel1->text(), QStringLiteral(" "));
  EXPECT_EQ(GifFrames(), frames);  // the preview keeps its picture
}

TEST_F(GifPageTest, ProgressStepsByTheSamplingRateAndFillsAtTheEnd) {
  OpenAvi(Video("clip.avi", 12));
  Page().SpinEdit1->setValue(3);
  std::vector<int> positions;
  QObject::connect(Form().ProgressBar1, &QProgressBar::valueChanged, [&](int value) { positions.push_back(value); });
  Page().Button5->click();
  const int ticked = State().LastFrame + 1;
  EXPECT_EQ(Form().ProgressBar1->Max(), ticked);
  ASSERT_GE(positions.size(), 3u);
  EXPECT_EQ(positions[0], 3);
  EXPECT_EQ(positions[1], 6);
  EXPECT_EQ(GifFrames(), 4);  // frames 0, 3, 6 and 9 of the 12
}

TEST_F(GifPageTest, AbortKeepsTheFramesGatheredSoFar) {
  OpenAvi(Video("clip.avi", 30));
  // "Abort" pressed as the bar reaches the fifth frame, before the run reads it.
  const QMetaObject::Connection press =
      QObject::connect(Form().ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
        if (value == 5 && Page().Button7->isEnabled()) Page().Button7->click();
      });
  Page().RadioBackward->setChecked(true);
  Page().Button5->click();
  QObject::disconnect(press);
  EXPECT_EQ(GifFrames(), 4);
  EXPECT_EQ(State().GifFrameCount, 4);
  EXPECT_EQ(Page().StatusPanel1->text(), QStringLiteral("Size: 64 x 48 pixels  Frames: 4"));
  EXPECT_EQ(Buttons(), kResultShown);
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(GifPageTest, AVideoGoneBeforeConvertLeavesThePageAsBefore) {
  const std::string path = Video("clip.avi", 10);
  OpenAvi(path);
  // A GIF made earlier stays what "Save" writes.
  Page().Button5->click();
  Page().Button4->click();
  const TGIFImage* earlier = Preview().Document();
  ASSERT_NE(earlier, nullptr);
  const std::vector<std::string> before = ControlStates(Form());
  std::filesystem::remove(path);
  Page().Button5->click();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_FALSE(Preview().isVisible());
  EXPECT_EQ(Buttons(), kReady);
  ExpectSameControls(before, ControlStates(Form()));
  EXPECT_EQ(Preview().Document(), earlier);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(GifPageTest, ConvertingEmptiesTheFramesPageResults) {
  OpenAvi(Video("clip.avi", 6));
  Form().FramesPage->Button12->click();
  ASSERT_FALSE(State().ExtractedFrames.empty());
  Page().Button5->click();
  EXPECT_TRUE(State().ExtractedFrames.empty());
  EXPECT_EQ(Form().FramesPage->lbAVI->model()->rowCount(), 0);
}

TEST_F(GifPageTest, SaveWritesThePreviewedGifUnderTheVideosName) {
  OpenAvi(Video("walk.avi", 8));
  Page().Button5->click();
  const QString target = QString::fromStdString(Folder.File("out.gif"));
  SaveAnswer = target;
  Page().Button6->click();
  ASSERT_TRUE(WaitForGifSaves());
  ASSERT_EQ(OfferedNames.size(), 1u);
  EXPECT_EQ(OfferedNames[0], QStringLiteral("walk.gif"));
  ASSERT_TRUE(QFileInfo::exists(target));
  TGIFImage back;
  back.LoadFromFile(target.toStdString());
  EXPECT_EQ(back.Images().Count(), GifFrames());
  EXPECT_TRUE(Questions.empty());
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(GifPageTest, SaveCancelledOrNotReplacingWritesNothing) {
  OpenAvi(Video("walk.avi", 4));
  Page().Button5->click();
  SaveAnswer.clear();
  Page().Button6->click();
  ASSERT_TRUE(WaitForGifSaves());
  EXPECT_TRUE(QDir(QString::fromStdString(Folder.Path())).entryList({"*.gif"}).isEmpty());

  const QString target = QString::fromStdString(Folder.File("keep.gif"));
  {
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("mine");
  }
  SaveAnswer = target;
  ReplaceAnswer = false;
  Page().Button6->click();
  ASSERT_TRUE(WaitForGifSaves());
  ASSERT_EQ(Questions.size(), 1u);
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("mine"));
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(GifPageTest, SaveOfAGifWithoutFramesSaysSo) {
  OpenAvi(Video("walk.avi", 4));
  Page().RadioButton4->click();
  Page().FrameFromBox->setValue(3);
  Page().FrameToBox->setValue(1);
  Page().Button19->click();
  Page().Button5->click();
  ASSERT_EQ(GifFrames(), 0);
  SaveAnswer = QString::fromStdString(Folder.File("none.gif"));
  Page().Button6->click();
  ASSERT_TRUE(WaitForGifSaves());
  EXPECT_EQ(ErrorTexts.size(), 1u);
  EXPECT_TRUE(OfferedNames.empty());
  EXPECT_FALSE(QFileInfo::exists(SaveAnswer));
}
TEST_F(GifPageTest, BestQualityIsOffAtStartSitsInFreeRoomAndTimesEveryFrame) {
  QCheckBox* best = Page().CheckBoxBest;
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->text(), QStringLiteral("Best quality"));
  EXPECT_FALSE(best->isChecked());
  ExpectCoversNoSibling(*best);

  OpenAvi(Video("clip.avi", 12));
  best->setChecked(true);
  Page().Button5->click();
  ASSERT_EQ(GifFrames(), 12);
  const std::vector<int> delays = Delays();
  EXPECT_EQ(std::accumulate(delays.begin(), delays.end(), 0), 48);  // 12 frames at 25 a second
  const TGIFImage& document = *Preview().Document();
  EXPECT_EQ(document.Images()[0]->ColorMap().Count(), 0);  // the global table
  for (int i = 0; i < 12; ++i) EXPECT_EQ(document.Images()[i]->GraphicControlExtension()->Disposal(), dmNoDisposal);
}

}  // namespace
}  // namespace clipvane::testing
