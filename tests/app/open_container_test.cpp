// "Open AVI" on videos of other containers: an upright phone video and a variable-rate one
// fill the state and play in the "Video" window frame by frame; the time position follows a
// variable-rate video's own frame times; a video file dropped on the window opens the same way.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "support/hdr_fixtures.h"
#include "support/video_fixture_cases.h"
#include "ui/video_window.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

using namespace std::chrono_literals;

class OpenContainer : public WindowTest {
 protected:
  std::string Write(const std::string& name) {
    const fixtures::TContainerCase entry = fixtures::ContainerCase(name);
    const std::string path = Folder.File(entry.FileName);
    fixtures::WriteFixtureVideo(path, entry.Video);
    return path;
  }

  int ShownNumber() {
    const TForm2& video = *Windows->Form2;
    const int position = Form().MediaPlayer1.Position();
    EXPECT_TRUE(ProcessUntil([&] { return video.ShownFrame() == position && video.ShownPicture(); }));
    return fixtures::DecodeFrameNumber(*video.ShownPicture());
  }

  // Drags `urls` onto the main window and drops them there, as a file manager does.
  void Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Form(), &enter);
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Form(), &drop);
  }
};

TEST_F(OpenContainer, APhoneVideoOpensUprightAndPlaysEachFrame) {
  OpenAvi(Write("Mp4Rotated90"));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  const TVideoState& state = State();
  // Coded 64 x 48, shown turned a quarter clockwise.
  EXPECT_EQ(state.FrameWidth, 48);
  EXPECT_EQ(state.FrameHeight, 64);
  EXPECT_EQ(state.LastFrame, 20);
  EXPECT_EQ(state.LengthMs, 800);
  EXPECT_TRUE(state.FrameTimes.Empty());
  EXPECT_EQ(Form().LabelFramesCount->text(), QStringLiteral("Frames count: 20"));
  EXPECT_EQ(Windows->Form2->windowTitle(), QStringLiteral("portrait.mp4"));

  Form().Button10->click();  // pause, then walk the frames as the slider would
  for (const int frame : {0, 7, 3, 19, 8}) {
    ASSERT_TRUE(Form().MediaPlayer1.Seek(frame));
    EXPECT_EQ(ShownNumber(), frame);
    EXPECT_EQ(Windows->Form2->ShownPicture()->Width(), 48);
  }
}

// An HDR video plays as its SDR picture, and the file info says HDR beside its title; an SDR
// video opened next does not.
TEST_F(OpenContainer, AnHdrVideoPlaysAsItsSdrPictureAndSaysSo) {
  const TBitmap truth = fixtures::HdrTestPicture(64, 48);
  const std::string hlg = Folder.File("hlg.mkv");
  fixtures::THdrVideo video;
  video.Kind = fixtures::THdrKind::hkHlg;
  video.FrameCount = 3;
  fixtures::WriteHdrVideo(hlg, truth, video);
  OpenAvi(hlg);
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_FALSE(Form().LabelHdr->isHidden());
  EXPECT_EQ(Form().LabelHdr->text(), QStringLiteral("HDR (HLG)"));
  Form().Button10->click();
  ASSERT_TRUE(Form().MediaPlayer1.Seek(2));
  const TForm2& shown = *Windows->Form2;
  ASSERT_TRUE(ProcessUntil([&] { return shown.ShownFrame() == 2 && shown.ShownPicture(); }));
  EXPECT_GE(fixtures::Psnr(*shown.ShownPicture(), truth), 30);

  OpenAvi(Write("MkvAnamorphic"));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_TRUE(Form().LabelHdr->isHidden());
}

TEST_F(OpenContainer, AVariableRateVideoShowsItsOwnTimes) {
  OpenAvi(Write("MkvVariableRate"));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  const TVideoState& state = State();
  EXPECT_EQ(state.LastFrame, 16);
  EXPECT_EQ(state.LengthMs, 1100);
  ASSERT_FALSE(state.FrameTimes.Empty());

  Form().Button10->click();
  // Frame 10 starts at 700 ms; an even rate would put it at 1100 / 16 x 10 = 687 ms.
  ASSERT_TRUE(Form().MediaPlayer1.Seek(10));
  Form().Timer1Timer();
  EXPECT_EQ(Form().LabelTimePosition->text(), QStringLiteral("Time position: 0.7 s"));
  EXPECT_EQ(ShownNumber(), 10);
  // Playing on from there: frame 14 (833 ms) is still showing at 990 ms, frame 15 at 1000.
  Form().Button9->click();
  Step(290ms);
  EXPECT_EQ(Form().MediaPlayer1.Position(), 14);
  Step(10ms);
  EXPECT_EQ(Form().MediaPlayer1.Position(), 15);
}

TEST_F(OpenContainer, ADroppedVideoOpensAsOpenAviDoes) {
  const std::string path = Write("WebmVp9HiddenFrames");
  Drop({QUrl::fromLocalFile(QString::fromStdString(path))});
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(State().FilePath, path);
  EXPECT_EQ(State().LastFrame, 24);
  EXPECT_EQ(Form().LabelFrameWidth->text(), QStringLiteral("Frame width: 64 pixels"));

  // Two files, or anything but a local file, is not a video to open.
  const std::string other = Write("MovMjpegWithAudio");
  Drop({QUrl::fromLocalFile(QString::fromStdString(other)), QUrl::fromLocalFile(QString::fromStdString(path))});
  Drop({QUrl(QStringLiteral("https://example.org/clip.mov"))});
  EXPECT_EQ(State().FilePath, path);
  // Nor is a file of another kind: the transition slots take pictures dropped on them.
  const std::string text = Folder.File("readme.txt");
  fixtures::WriteTextFile(text, "text");
  Drop({QUrl::fromLocalFile(QString::fromStdString(text))});
  EXPECT_EQ(State().FilePath, path);
  EXPECT_TRUE(ErrorTexts.empty());
  // While a run holds "Open AVI" disabled, a drop does nothing either.
  Form().Button3->setEnabled(false);
  Drop({QUrl::fromLocalFile(QString::fromStdString(other))});
  EXPECT_EQ(State().FilePath, path);
  Form().Button3->setEnabled(true);
  Drop({QUrl::fromLocalFile(QString::fromStdString(other))});
  EXPECT_EQ(State().FilePath, other);
}

TEST_F(OpenContainer, AFileThatIsNoVideoIsNamedInTheErrorBox) {
  const std::string text = Folder.File("notes.txt");
  fixtures::WriteTextFile(text, "nothing to see\n");
  OpenAvi(text);
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts.front(), text + ": not a video file this program can read.");
}

}  // namespace
}  // namespace clipvane::testing
