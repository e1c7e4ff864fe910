// The main window before any video is opened: every control's start state, the windows
// created at start, Help, About, Exit and closing, and the error box for a failing handler.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "app/about_form.h"
#include "app/frame_check_model.h"
#include "app/main_window.h"
#include "app/splash_form.h"
#include "app/splash_picture.h"
#include "core/error.h"
#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "ui/gif_preview_window.h"
#include "ui/image_view.h"
#include "ui/progress_bar.h"
#include "ui/video_window.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

using StartState = WindowTest;

void ExpectSpin(const QSpinBox* box, int value, int minimum, int maximum) {
  EXPECT_EQ(box->value(), value);
  EXPECT_EQ(box->minimum(), minimum);
  EXPECT_EQ(box->maximum(), maximum);
}

TEST_F(StartState, MainWindowFormAndPages) {
  TForm1& form = *Windows->Form1;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Clipvane 4.3"));
  EXPECT_EQ(form.size(), QSize(608, 486));
  EXPECT_FALSE(form.isVisible());
  ASSERT_EQ(form.PageControl1->count(), 3);
  EXPECT_EQ(form.PageControl1->tabText(0), QStringLiteral("frames extract"));
  EXPECT_EQ(form.PageControl1->tabText(1), QStringLiteral("AVI to animated GIF"));
  EXPECT_EQ(form.PageControl1->tabText(2), QStringLiteral("Transition effects"));
  EXPECT_EQ(form.PageControl1->currentIndex(), 0);
  EXPECT_EQ(form.CheckListBox1->width(), 121);
  EXPECT_EQ(form.GroupBoxVideoControl->size(), QSize(313, 118));
  EXPECT_EQ(form.TrackBarPanel->size(), QSize(297, 33));
  EXPECT_EQ(form.TrackBar1->width(), 289);
  EXPECT_EQ(form.ProgressBar1->Min(), 0);
  EXPECT_EQ(form.ProgressBar1->Max(), 0);
  EXPECT_EQ(form.ProgressBar1->Step(), 1);
  EXPECT_EQ(form.ProgressBar1->height(), 10);
  EXPECT_EQ(form.CheckListBox1->model()->rowCount(), 0);
}

TEST_F(StartState, TopBarIsEnabled) {
  TForm1& form = *Windows->Form1;
  for (QPushButton* button : {form.Button3, form.Button1, form.Button2, form.Button18}) {
    EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
    EXPECT_EQ(button->size(), QSize(90, 20));
  }
  EXPECT_EQ(form.Button3->text(), QStringLiteral("Open AVI"));
  EXPECT_EQ(form.Button1->x() + 100, form.Button2->x());
  EXPECT_EQ(form.Button2->x() + 100, form.Button18->x());
}

TEST_F(StartState, VideoControlIsDisabled) {
  TForm1& form = *Windows->Form1;
  for (QWidget* control :
       {static_cast<QWidget*>(form.Button9), static_cast<QWidget*>(form.Button10), static_cast<QWidget*>(form.Button11),
        static_cast<QWidget*>(form.BitBtn1), static_cast<QWidget*>(form.BitBtn2), static_cast<QWidget*>(form.TrackBar1),
        static_cast<QWidget*>(form.UpDown1), static_cast<QWidget*>(form.LabelFramePosition),
        static_cast<QWidget*>(form.LabelTimePosition), static_cast<QWidget*>(form.LabelStep)})
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  EXPECT_EQ(form.TrackBar1->value(), 0);
  EXPECT_EQ(form.TrackBar1->tickPosition(), QSlider::NoTicks);
  EXPECT_EQ(form.TrackBar1->pageStep(), 1);
  EXPECT_EQ(form.UpDown1->text(), QStringLiteral("1"));
  EXPECT_EQ(form.UpDown1->minimum(), 1);
  EXPECT_EQ(form.LabelFramePosition->text(), QStringLiteral("Frame position:"));
  EXPECT_EQ(form.LabelTimePosition->text(), QStringLiteral("Time position:"));
  EXPECT_EQ(form.LabelStep->text(), QStringLiteral("Step"));
  EXPECT_EQ(form.BitBtn1->toolTip(), QStringLiteral("Frame -"));
  EXPECT_EQ(form.BitBtn2->toolTip(), QStringLiteral("Frame +"));
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_EQ(form.Timer1->interval(), 100);
}

TEST_F(StartState, FileInfoLabelsAreDisabled) {
  TForm1& form = *Windows->Form1;
  EXPECT_EQ(form.LabelFrameWidth->text(), QStringLiteral("Frame width:"));
  EXPECT_EQ(form.LabelFrameHeight->text(), QStringLiteral("Frame height:"));
  EXPECT_EQ(form.LabelFramesCount->text(), QStringLiteral("Frames count:"));
  EXPECT_EQ(form.LabelTimeLength->text(), QStringLiteral("Time length:"));
  for (QLabel* label : {form.LabelFrameWidth, form.LabelFrameHeight, form.LabelFramesCount, form.LabelTimeLength})
    EXPECT_FALSE(label->isEnabled());
}

TEST_F(StartState, FramesExtractPage) {
  const TFramesPage& page = *Windows->Form1->FramesPage;
  EXPECT_TRUE(page.ComboBox1->isEnabled());
  EXPECT_EQ(page.ComboBox1->currentText(), QStringLiteral("24 bit"));
  EXPECT_EQ(page.ComboBox1->count(), 7);
  EXPECT_TRUE(page.GroupBoxSaveTo->isEnabled());
  EXPECT_TRUE(page.RadioButton8->isChecked());
  EXPECT_EQ(page.RadioButton8->text(), QStringLiteral("BMP"));
  EXPECT_EQ(page.RadioButton9->text(), QStringLiteral("JPEG"));
  EXPECT_TRUE(page.FileNameEdit->isEnabled());
  EXPECT_EQ(page.FileNameEdit->text(), QStringLiteral("frame"));
  EXPECT_TRUE(page.GroupBoxFrameSize->isEnabled());
  EXPECT_TRUE(page.RadioButton10->isChecked());
  EXPECT_TRUE(page.RadioButton10->isEnabled());
  EXPECT_TRUE(page.RadioButton11->isEnabled());

  for (QPushButton* button : {page.Button12, page.Button13, page.Button14, page.Button15, page.Button16})
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
  EXPECT_FALSE(page.GroupBoxFramesSelect->isEnabled());
  EXPECT_TRUE(page.RadioButton6->isChecked());
  EXPECT_FALSE(page.RadioButton6->isEnabled());
  ExpectSpin(page.SpinEdit6, 0, 0, 0);
  ExpectSpin(page.SpinEdit7, 0, 0, 0);
  EXPECT_FALSE(page.SpinEdit6->isEnabled());
  EXPECT_FALSE(page.LabelQuality->isEnabled());
  EXPECT_FALSE(page.QualityEdit->isEnabled());
  ExpectSpin(page.QualityEdit, 50, 1, 100);
  EXPECT_EQ(page.QualityEdit->text(), QStringLiteral("50"));
  for (QWidget* control : {static_cast<QWidget*>(page.LabelWidth), static_cast<QWidget*>(page.SpinEdit10),
                           static_cast<QWidget*>(page.LabelHeight), static_cast<QWidget*>(page.SpinEdit11),
                           static_cast<QWidget*>(page.CheckBoxAspect)})
    EXPECT_FALSE(control->isEnabled());
  ExpectSpin(page.SpinEdit10, 0, 0, 10000);
  ExpectSpin(page.SpinEdit11, 0, 0, 10000);
  EXPECT_TRUE(page.CheckBoxAspect->isChecked());
  EXPECT_EQ(page.lbAVI->size(), QSize(275, 223));
  EXPECT_EQ(page.lbAVI->toolTip(), QStringLiteral("Frames list - Double click for preview"));
}

TEST_F(StartState, AviToAnimatedGifPage) {
  const TGifPage& page = *Windows->Form1->GifPage;
  for (QWidget* control : {static_cast<QWidget*>(page.RadioButton1), static_cast<QWidget*>(page.RadioButton2),
                           static_cast<QWidget*>(page.SpinEdit1), static_cast<QWidget*>(page.RadioForward),
                           static_cast<QWidget*>(page.RadioBackward), static_cast<QWidget*>(page.RadioButton3),
                           static_cast<QWidget*>(page.RadioButton4), static_cast<QWidget*>(page.RadioButton5)})
    EXPECT_TRUE(control->isEnabled());
  EXPECT_TRUE(page.RadioButton1->isChecked());
  ExpectSpin(page.SpinEdit1, 1, 1, 10);
  EXPECT_TRUE(page.RadioForward->isChecked());
  EXPECT_TRUE(page.RadioButton3->isChecked());

  for (QWidget* control : {static_cast<QWidget*>(page.Button5),
                           static_cast<QWidget*>(page.Button7),
                           static_cast<QWidget*>(page.Button4),
                           static_cast<QWidget*>(page.Button6),
                           static_cast<QWidget*>(page.Button8),
                           static_cast<QWidget*>(page.LabelCaptureWidth),
                           static_cast<QWidget*>(page.LabelCaptureHeight),
                           static_cast<QWidget*>(page.ComboBox2),
                           static_cast<QWidget*>(page.CheckBoxKeepSpeed),
                           static_cast<QWidget*>(page.LabelKeepSpeed),
                           static_cast<QWidget*>(page.FrameFromBox),
                           static_cast<QWidget*>(page.FrameToBox),
                           static_cast<QWidget*>(page.TimeFromBox),
                           static_cast<QWidget*>(page.TimeToBox),
                           static_cast<QWidget*>(page.LabelFrameFrom),
                           static_cast<QWidget*>(page.LabelFrameTo),
                           static_cast<QWidget*>(page.LabelFrameUnit),
                           static_cast<QWidget*>(page.LabelTimeFrom),
                           static_cast<QWidget*>(page.LabelTimeTo),
                           static_cast<QWidget*>(page.LabelTimeUnit),
                           static_cast<QWidget*>(page.Button19)})
    EXPECT_FALSE(control->isEnabled()) << control->metaObject()->className();
  EXPECT_EQ(page.ComboBox2->currentText(), QStringLiteral(" As AVI window size"));
  EXPECT_TRUE(page.CheckBoxKeepSpeed->isChecked());
  for (const QSpinBox* box : {page.FrameFromBox, page.FrameToBox, page.TimeFromBox, page.TimeToBox})
    ExpectSpin(box, 0, 0, 0);
  EXPECT_EQ(page.LabelCaptureWidth->text(), QStringLiteral("Width ="));
  EXPECT_EQ(page.LabelCaptureHeight->text(), QStringLiteral("Height ="));

  for (const QWidget* control :
       {static_cast<QWidget*>(page.ComboBoxScale), static_cast<QWidget*>(page.CheckBoxGifAspect),
        static_cast<QWidget*>(page.LabelGifWidth), static_cast<QWidget*>(page.SpinEdit8),
        static_cast<QWidget*>(page.LabelGifHeight), static_cast<QWidget*>(page.SpinEdit9)})
    EXPECT_TRUE(control->isHidden());
  EXPECT_EQ(page.ComboBoxScale->currentText(), QStringLiteral(" 1:1"));
  EXPECT_TRUE(page.CheckBoxGifAspect->isChecked());
  ExpectSpin(page.SpinEdit8, 0, 0, 10000);
  ExpectSpin(page.SpinEdit9, 0, 0, 10000);
  EXPECT_EQ(page.StatusPanel0->text(), QStringLiteral("GIF"));
  EXPECT_EQ(page.StatusPanel0->width(), 50);
}

TEST_F(StartState, TransitionEffectsPage) {
  const TTransitionsPage& page = *Windows->Form1->TransitionsPage;
  for (QWidget* control :
       {static_cast<QWidget*>(page.ConvertButton), static_cast<QWidget*>(page.EffectBox),
        static_cast<QWidget*>(page.StepEdit), static_cast<QWidget*>(page.DurationEdit),
        static_cast<QWidget*>(page.SourceView), static_cast<QWidget*>(page.DestinationView),
        static_cast<QWidget*>(page.OpenSourceButton), static_cast<QWidget*>(page.OpenDestinationButton),
        static_cast<QWidget*>(page.EmptySourceButton), static_cast<QWidget*>(page.EmptyDestinationButton),
        static_cast<QWidget*>(page.SourceColorPanel), static_cast<QWidget*>(page.DestinationColorPanel)})
    EXPECT_TRUE(control->isEnabled());
  EXPECT_EQ(page.StepEdit->text(), QStringLiteral("10"));
  ExpectSpin(page.StepEdit, 10, 1, 50);
  EXPECT_EQ(page.DurationEdit->text(), QStringLiteral("1000"));
  EXPECT_EQ(TTransitionsPage::PanelColor(page.SourceColorPanel), clWhite);
  EXPECT_EQ(TTransitionsPage::PanelColor(page.DestinationColorPanel), clWhite);
  for (QPushButton* button : {page.AbortButton, page.ClearGifButton, page.SaveButton})
    EXPECT_FALSE(button->isEnabled());
  EXPECT_TRUE(page.SourceSizeLabel->isHidden());
  EXPECT_TRUE(page.DestinationSizeLabel->isHidden());
  EXPECT_EQ(page.SourceView->size(), QSize(200, 144));
  EXPECT_TRUE(page.SourceView->Fit());
  EXPECT_TRUE(page.SourceView->Centre());
  EXPECT_EQ(page.OpenSourceButton->toolTip(), QStringLiteral("Open image"));
  EXPECT_EQ(page.EmptyDestinationButton->toolTip(), QStringLiteral("Empty image"));
  EXPECT_EQ(page.SourceColorPanel->toolTip(), QStringLiteral("Background color - Double Click to Edit"));
}

TEST_F(StartState, FormCreateSetsTheStateRecord) {
  const TVideoState& state = Windows->State;
  EXPECT_FALSE(state.Paused);
  EXPECT_TRUE(state.SourceEmpty);
  EXPECT_TRUE(state.DestinationEmpty);
  EXPECT_EQ(state.TransitionDurationMs, 1000);
  const TTransitionsPage& page = *Windows->Form1->TransitionsPage;
  EXPECT_EQ(page.SourceView->Bitmap().PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(page.DestinationView->Bitmap().PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(page.EffectBox->currentIndex(), 0);
  EXPECT_EQ(page.EffectBox->currentText(), QStringLiteral("CrossDissolve"));
  EXPECT_EQ(page.EffectBox->count(), 24);
}

TEST_F(StartState, SecondaryWindowsAreCreatedHidden) {
  EXPECT_EQ(Windows->Form2->windowTitle(), QStringLiteral("Video"));
  EXPECT_EQ(Windows->Form2->size(), QSize(194, 146));
  EXPECT_TRUE(Windows->Form2->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(Windows->Form2->isVisible());
  EXPECT_EQ(Windows->Form3->windowTitle(), QStringLiteral("GIF preview"));
  EXPECT_EQ(Windows->Form3->size(), QSize(172, 124));
  EXPECT_FALSE(Windows->Form3->isVisible());
  EXPECT_FALSE(Windows->Form5->isVisible());
  EXPECT_EQ(Windows->AboutForm->windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(Windows->AboutForm->size(), QSize(412, 464));
  EXPECT_FALSE(Windows->AboutForm->isVisible());
  // Only the main window ends the program when it closes.
  EXPECT_TRUE(Windows->Form1->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(Windows->Form2->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(Windows->Form3->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(Windows->AboutForm->testAttribute(Qt::WA_QuitOnClose));
}

// Frames results, frames list and check list as a finished extraction leaves them.
void FillResults(TVideoState& state, TFrameCheckModel& model) {
  model.Reload([&] {
    state.LastFrame = 4;
    state.FrameSelected.assign(5, true);
  });
  state.ResetResults();
  state.FrameResults[2] = std::make_unique<TBitmap>(8, 8);
  state.ExtractedFrames.push_back({"Frame 2", 2, state.FrameResults[2].get()});
}

using ClosingTheMainWindow = WindowTest;

TEST_F(ClosingTheMainWindow, ExitReleasesResultsAndEmptiesTheLists) {
  TForm1& form = *Windows->Form1;
  form.show();
  FillResults(Windows->State, *form.FrameCheckModel);
  ASSERT_EQ(form.CheckListBox1->model()->rowCount(), 5);
  form.Button18->click();
  EXPECT_TRUE(Windows->State.FrameResults.empty());
  EXPECT_TRUE(Windows->State.ExtractedFrames.empty());
  EXPECT_TRUE(Windows->State.FrameSelected.empty());
  EXPECT_EQ(form.CheckListBox1->model()->rowCount(), 0);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(ClosingTheMainWindow, SystemMenuCloseDoesWhatExitDoes) {
  TForm1& form = *Windows->Form1;
  form.show();
  FillResults(Windows->State, *form.FrameCheckModel);
  form.close();
  EXPECT_TRUE(Windows->State.FrameResults.empty());
  EXPECT_TRUE(Windows->State.ExtractedFrames.empty());
  EXPECT_EQ(form.CheckListBox1->model()->rowCount(), 0);
}

using HelpAndAbout = WindowTest;

TEST_F(HelpAndAbout, AboutLoadsThePictureOnlyWhileShown) {
  TAboutForm& about = *Windows->AboutForm;
  EXPECT_FALSE(about.PictureLoaded());
  bool loadedWhileShown = false;
  QSize pictureSize;
  QTimer::singleShot(0, &about, [&] {
    loadedWhileShown = about.PictureLoaded();
    pictureSize = about.Image1->size();
    about.OKButton->click();
  });
  Windows->Form1->Button2->click();
  EXPECT_TRUE(loadedWhileShown);
  EXPECT_EQ(pictureSize, QSize(400, 266));
  EXPECT_FALSE(about.PictureLoaded());
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.ProductName->text(), QStringLiteral("Clipvane 4.3"));
  EXPECT_EQ(about.ProductName->font().pixelSize(), 24);
  // A second showing loads it again.
  QTimer::singleShot(0, &about, [&] {
    loadedWhileShown = about.PictureLoaded();
    about.OKButton->click();
  });
  Windows->Form1->Button2->click();
  EXPECT_TRUE(loadedWhileShown);
  EXPECT_FALSE(about.PictureLoaded());
}

TEST_F(HelpAndAbout, AboutLinksOpenTheHomePageAndAMailMessage) {
  TAboutForm& about = *Windows->AboutForm;
  about.show();
  for (QLabel* link : {about.HomePageLink, about.SupportLink}) {
    const QPointF point(6, link->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, point, link->mapToGlobal(point), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, point, link->mapToGlobal(point), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(link, &press);
    QCoreApplication::sendEvent(link, &release);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  }
  about.hide();
  ASSERT_EQ(OpenedUrls.size(), 2u);
  EXPECT_EQ(OpenedUrls[0], QUrl(QString::fromLatin1(TAboutForm::kHomePage)));
  EXPECT_EQ(OpenedUrls[1].scheme(), QStringLiteral("mailto"));
  EXPECT_EQ(OpenedUrls[1].path(), QString::fromLatin1(TAboutForm::kSupportAddress));
}

TEST(SplashPicture, IsOurJpegDecodedAtTheSplashSize) {
  const QByteArray data = SplashJpegData();
  ASSERT_GT(data.size(), 2);
  EXPECT_EQ(static_cast<unsigned char>(data[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(data[1]), 0xD8);
  const QImage picture = DecodeJpeg(data);
  EXPECT_EQ(picture.size(), QSize(400, 266));
  // Not a blank picture: the title is lighter than the background around it.
  EXPECT_NE(picture.pixel(5, 5), picture.pixel(200, 182));
}

TEST(SplashPicture, DataThatIsNoJpegIsAnError) {
  EXPECT_THROW(DecodeJpeg(QByteArray("this is not a picture")), EClipvaneError);
  EXPECT_THROW(DecodeJpeg(QByteArray()), EClipvaneError);
  EXPECT_THROW(DecodeJpeg(SplashJpegData().left(40)), EClipvaneError);
}

TEST(SplashWindow, IsBorderlessOnTopAndOfThePictureSize) {
  TSplashForm splash;
  EXPECT_EQ(splash.size(), QSize(400, 266));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(splash.Image1->pixmap().isNull());
}

using ErrorBox = WindowTest;

TEST_F(ErrorBox, AnErrorLeavingAHandlerIsShownWithTheFullStop) {
  RunHandler(nullptr, [] { throw EClipvaneError("Failed to open AVI file"); });
  RunHandler(nullptr, [] { throw EClipvaneError("Already a sentence."); });
  ASSERT_EQ(ErrorTexts.size(), 2u);
  EXPECT_EQ(ErrorTexts[0], "Failed to open AVI file.");
  EXPECT_EQ(ErrorTexts[1], "Already a sentence.");
}

}  // namespace
}  // namespace clipvane::testing
