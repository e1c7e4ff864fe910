// "Open AVI": the state record, the file information, the frame check list, the pages and the
// "Video" window after opening a video; a second video while one plays; a cancelled dialog;
// a file the media device cannot open leaves the window as before any video.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "control_states.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "ui/gif_preview_window.h"
#include "ui/video_window.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

using namespace std::chrono_literals;

using OpenAviFile = WindowTest;

TEST_F(OpenAviFile, NinetyNineFramesFillTheStateAndTheFileInformation) {
  const std::string path = Video("clip.avi", 99);
  OpenAvi(path);
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();

  const TVideoState& state = State();
  EXPECT_EQ(state.FilePath, path);
  EXPECT_EQ(state.FileTitle, "clip.avi");
  EXPECT_EQ(state.DisplayRect, (TRect{0, 0, 64, 48}));
  EXPECT_EQ(state.FrameWidth, 64);
  EXPECT_EQ(state.FrameHeight, 48);
  EXPECT_EQ(state.LengthMs, 3960);
  EXPECT_EQ(state.LengthSeconds, 3);
  EXPECT_EQ(state.LastFrame, 99);
  ASSERT_EQ(state.FrameSelected.size(), 100u);
  EXPECT_EQ(std::count(state.FrameSelected.begin(), state.FrameSelected.end(), true), 100);
  EXPECT_EQ(state.RangeFirst, 0);
  EXPECT_EQ(state.RangeLast, 99);
  EXPECT_EQ(state.SamplingRate, 1);
  EXPECT_EQ(state.CaptureWidth, 64);
  EXPECT_EQ(state.CaptureHeight, 48);
  EXPECT_EQ(state.CaptureRect, (TRect{0, 0, 64, 48}));
  EXPECT_EQ(state.PickAnchorX, 0);
  EXPECT_EQ(state.PickAnchorY, 0);
  EXPECT_EQ(state.PickCornerX, 64);
  EXPECT_EQ(state.PickCornerY, 48);
  EXPECT_FALSE(state.Paused);

  TForm1& form = Form();
  EXPECT_EQ(form.LabelFrameWidth->text(), QStringLiteral("Frame width: 64 pixels"));
  EXPECT_EQ(form.LabelFrameHeight->text(), QStringLiteral("Frame height: 48 pixels"));
  // The true number of frames, not LastFrame + 1.
  EXPECT_EQ(form.LabelFramesCount->text(), QStringLiteral("Frames count: 99"));
  EXPECT_EQ(form.LabelTimeLength->text(), QStringLiteral("Time length: 4.0 s"));
  for (QLabel* label : {form.LabelFrameWidth, form.LabelFrameHeight, form.LabelFramesCount, form.LabelTimeLength})
    EXPECT_TRUE(label->isEnabled());

  const QAbstractItemModel* checks = form.CheckListBox1->model();
  ASSERT_EQ(checks->rowCount(), 100);
  EXPECT_EQ(checks->index(0, 0).data().toString(), QStringLiteral("Frame 0"));
  EXPECT_EQ(checks->index(99, 0).data().toString(), QStringLiteral("Frame 99"));
  EXPECT_EQ(checks->index(57, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);

  EXPECT_TRUE(form.TrackBar1->isEnabled());
  EXPECT_EQ(form.TrackBar1->maximum(), 99);
  EXPECT_TRUE(form.UpDown1->isEnabled());
  EXPECT_EQ(form.UpDown1->maximum(), 9);
  EXPECT_EQ(form.UpDown1->value(), 1);
  EXPECT_TRUE(form.LabelStep->isEnabled());
  EXPECT_TRUE(form.LabelFramePosition->isEnabled());
  EXPECT_TRUE(form.LabelTimePosition->isEnabled());
  EXPECT_TRUE(form.Timer1->isActive());
  EXPECT_FALSE(form.Button9->isEnabled());
  EXPECT_TRUE(form.Button10->isEnabled());
  EXPECT_TRUE(form.Button11->isEnabled());
  EXPECT_TRUE(form.BitBtn1->isEnabled());
  EXPECT_TRUE(form.BitBtn2->isEnabled());

  const TForm2& video = *Windows->Form2;
  EXPECT_TRUE(video.isVisible());
  EXPECT_EQ(video.size(), QSize(64, 48));
  EXPECT_EQ(video.windowTitle(), QStringLiteral("clip.avi"));
  EXPECT_EQ(form.MediaPlayer1.Mode(), TMPModes::mpPlaying);
  EXPECT_EQ(form.MediaPlayer1.TimeFormat(), TMPTimeFormats::tfFrames);
  EXPECT_EQ(form.MediaPlayer1.Position(), 0);
  EXPECT_TRUE(ProcessUntil([&] { return video.ShownFrame() == 0; }));
}

TEST_F(OpenAviFile, ResetsThePagesToTheNewVideo) {
  OpenAvi(Video("clip.avi", 99));
  const TGifPage& gif = *Form().GifPage;
  EXPECT_TRUE(gif.Button5->isEnabled());
  EXPECT_TRUE(gif.ComboBox2->isEnabled());
  EXPECT_EQ(gif.ComboBox2->currentText(), QStringLiteral(" As AVI window size"));
  EXPECT_TRUE(gif.ComboBoxScale->isHidden());
  EXPECT_TRUE(gif.LabelCaptureWidth->isEnabled());
  EXPECT_EQ(gif.LabelCaptureWidth->text(), QStringLiteral("Width = 64 pixels"));
  EXPECT_EQ(gif.LabelCaptureHeight->text(), QStringLiteral("Height = 48 pixels"));
  EXPECT_EQ(gif.FrameToBox->value(), 99);
  EXPECT_EQ(gif.TimeToBox->value(), 3);

  const TFramesPage& frames = *Form().FramesPage;
  EXPECT_TRUE(frames.Button12->isEnabled());
  EXPECT_TRUE(frames.GroupBoxFramesSelect->isEnabled());
  EXPECT_TRUE(frames.RadioButton6->isChecked());
  EXPECT_EQ(frames.SpinEdit6->value(), 0);
  EXPECT_EQ(frames.SpinEdit7->value(), 99);
  EXPECT_EQ(frames.SpinEdit7->maximum(), 99);
  EXPECT_FALSE(frames.SpinEdit6->isEnabled());
  EXPECT_FALSE(frames.SpinEdit7->isEnabled());
  EXPECT_EQ(frames.SpinEdit10->value(), 64);
  EXPECT_EQ(frames.SpinEdit11->value(), 48);
  EXPECT_FALSE(frames.SpinEdit10->isEnabled());
  EXPECT_FALSE(frames.CheckBoxAspect->isEnabled());
}

TEST_F(OpenAviFile, TimeLengthUsesTheUsersDecimalSeparator) {
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  OpenAvi(Video("short.avi", 50, 64, 48, 20));  // 50 frames of 50 ms: 2500 ms
  QLocale::setDefault(previous);
  EXPECT_EQ(State().LengthMs, 2500);
  EXPECT_EQ(State().LengthSeconds, 2);
  EXPECT_EQ(Form().LabelTimeLength->text(), QStringLiteral("Time length: 2,5 s"));
}

TEST_F(OpenAviFile, ASecondVideoWhilePlayingReplacesTheFirst) {
  OpenAvi(Video("first.avi", 40));
  Step(400ms);
  ASSERT_EQ(Form().MediaPlayer1.Position(), 10);
  State().Paused = true;

  OpenAvi(Video("second.avi", 30, 96, 64));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  const TForm2& video = *Windows->Form2;
  EXPECT_EQ(video.size(), QSize(96, 64));
  EXPECT_EQ(video.windowTitle(), QStringLiteral("second.avi"));
  EXPECT_TRUE(video.isVisible());
  EXPECT_EQ(Form().MediaPlayer1.Position(), 0);
  EXPECT_EQ(Form().MediaPlayer1.Mode(), TMPModes::mpPlaying);
  EXPECT_FALSE(State().Paused);
  EXPECT_EQ(State().LastFrame, 30);
  EXPECT_EQ(Form().CheckListBox1->model()->rowCount(), 31);
  EXPECT_EQ(Form().LabelFrameWidth->text(), QStringLiteral("Frame width: 96 pixels"));
  EXPECT_EQ(Form().TrackBar1->maximum(), 30);
  EXPECT_EQ(Form().UpDown1->maximum(), 3);
  EXPECT_TRUE(ProcessUntil([&] { return video.ShownPicture() && video.ShownPicture()->Width() == 96; }));
  Step(80ms);
  EXPECT_EQ(Form().MediaPlayer1.Position(), 2);
}

TEST_F(OpenAviFile, OpeningDropsTheFramesListButKeepsTheResults) {
  OpenAvi(Video("first.avi", 10));
  State().ResetResults();
  State().FrameResults[3] = std::make_unique<TBitmap>(4, 4);
  State().ExtractedFrames.push_back({"Frame 3", 3, State().FrameResults[3].get()});
  OpenAvi(Video("second.avi", 20));
  EXPECT_TRUE(State().ExtractedFrames.empty());
  EXPECT_NE(State().FrameResults[3], nullptr);
}

TEST_F(OpenAviFile, CancelledDialogChangesNothingElse) {
  const std::string path = Video("clip.avi", 20);
  OpenAvi(path);
  Windows->Form3->show();
  OpenAvi("");
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_EQ(State().FilePath, path);
  EXPECT_EQ(State().LastFrame, 20);
  EXPECT_TRUE(Form().MediaPlayer1.IsOpen());
  EXPECT_EQ(Form().MediaPlayer1.Mode(), TMPModes::mpPlaying);
  // Hiding the two windows comes before the dialog.
  EXPECT_FALSE(Windows->Form2->isVisible());
  EXPECT_FALSE(Windows->Form3->isVisible());
}

TEST_F(OpenAviFile, FromTheStartACancelledDialogLeavesEverythingDisabled) {
  OpenAvi("");
  EXPECT_TRUE(State().FilePath.empty());
  EXPECT_FALSE(Form().Button9->isEnabled());
  EXPECT_FALSE(Form().Timer1->isActive());
}

// The fields a video sets, as a record no video ever touched holds them.
void ExpectNoVideoInTheRecord(const TVideoState& state) {
  const TVideoState untouched;
  EXPECT_EQ(state.FilePath, "");
  EXPECT_EQ(state.FileTitle, "");
  EXPECT_EQ(state.DisplayRect, untouched.DisplayRect);
  EXPECT_EQ(state.FrameWidth, 0);
  EXPECT_EQ(state.FrameHeight, 0);
  EXPECT_EQ(state.LengthMs, 0);
  EXPECT_EQ(state.LengthSeconds, 0);
  EXPECT_EQ(state.LastFrame, 0);
  EXPECT_TRUE(state.FrameSelected.empty());
  EXPECT_TRUE(state.FrameResults.empty());
  EXPECT_TRUE(state.ExtractedFrames.empty());
  EXPECT_EQ(state.RangeFirst, untouched.RangeFirst);
  EXPECT_EQ(state.RangeLast, untouched.RangeLast);
  EXPECT_EQ(state.SamplingRate, untouched.SamplingRate);
  EXPECT_EQ(state.CaptureWidth, untouched.CaptureWidth);
  EXPECT_EQ(state.CaptureHeight, untouched.CaptureHeight);
  EXPECT_EQ(state.CaptureRect, untouched.CaptureRect);
  EXPECT_EQ(state.PickAnchorX, untouched.PickAnchorX);
  EXPECT_EQ(state.PickCornerX, untouched.PickCornerX);
  EXPECT_EQ(state.PickCornerY, untouched.PickCornerY);
  EXPECT_FALSE(state.PickArmed);
  EXPECT_FALSE(state.Paused);
}

class OpenAviFailure : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartControls = ControlStates(Form());
  }
  // The main window and the "Video" window as before any video.
  void ExpectTheStartState() {
    ExpectSameControls(StartControls, ControlStates(Form()));
    ExpectNoVideoInTheRecord(State());
    EXPECT_FALSE(Form().Timer1->isActive());
    EXPECT_FALSE(Form().MediaPlayer1.IsOpen());
    EXPECT_FALSE(Windows->Form2->isVisible());
    EXPECT_EQ(Windows->Form2->windowTitle(), QStringLiteral("Video"));
    EXPECT_EQ(Windows->Form2->size(), QSize(194, 146));
    EXPECT_EQ(Windows->Form2->ShownFrame(), -1);
  }
  std::vector<std::string> StartControls;
};

TEST_F(OpenAviFailure, UnreadableFileAfterAGoodOneLeavesTheStartState) {
  const std::string good = Video("good.avi", 40, 200, 150);
  OpenAvi(good);
  // Options a user changed on the old video go back too.
  Form().FramesPage->RadioButton7->click();
  Form().FramesPage->SpinEdit6->setValue(5);
  Form().GifPage->RadioButton4->click();
  ASSERT_NE(ControlStates(Form()), StartControls);
  ASSERT_TRUE(ProcessUntil([&] { return Windows->Form2->ShownFrame() >= 0; }));
  const std::string bad = Folder.File("bad.avi");
  fixtures::WriteTextFile(bad, "This is a letter, not a video.\n");

  OpenAvi(bad);
  ASSERT_EQ(ErrorTexts.size(), 1u);
  // The described text, then the file and what is wrong with it.
  EXPECT_EQ(ErrorTexts[0],
            "Invalid data found when processing input.\n" + bad + ": not a video file this program can read.");
  ExpectTheStartState();

  // The same video opens as it did the first time.
  OpenAvi(good);
  EXPECT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(State().LastFrame, 40);
  EXPECT_EQ(Form().CheckListBox1->model()->rowCount(), 41);
  EXPECT_TRUE(Form().FramesPage->Button12->isEnabled());
  EXPECT_TRUE(Windows->Form2->isVisible());
  EXPECT_EQ(Windows->Form2->size(), QSize(200, 150));
}

TEST_F(OpenAviFailure, MissingFileAtStartLeavesTheStartState) {
  const std::string missing = Folder.File("missing.avi");
  OpenAvi(missing);
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts[0], "No such file or directory.\n" + missing + ".");
  ExpectTheStartState();
}

}  // namespace
}  // namespace clipvane::testing
