// The window program's command line: a video named there is opened as "Open AVI" opens it,
// without asking the dialog; --help and --version; what is refused.
#include <QLabel>
#include <QPushButton>

#include "app/app_usage.h"
#include "usage/argument_parser.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

TEST(AppCommandLine, ReadsOneVideoAndTheHelpAndVersionSwitches) {
  EXPECT_EQ(ParseAppCommandLine({"clip.avi"}).Video, "clip.avi");
  EXPECT_EQ(ParseAppCommandLine({}).Video, "");
  EXPECT_TRUE(ParseAppCommandLine({"-h"}).Help);
  EXPECT_TRUE(ParseAppCommandLine({"--version"}).Version);
  EXPECT_FALSE(ParseAppCommandLine({"clip.avi"}).Help);
  // A file whose name starts with '-' comes after "--".
  EXPECT_EQ(ParseAppCommandLine({"--", "-odd.avi"}).Video, "-odd.avi");
  EXPECT_THROW(ParseAppCommandLine({"a.avi", "b.avi"}), usage::TUsageError);
  EXPECT_THROW(ParseAppCommandLine({"--fullscreen"}), usage::TUsageError);
}

using OpenVideoArgument = WindowTest;

TEST_F(OpenVideoArgument, OpensAsOpenAviDoesWithoutTheDialog) {
  const std::string path = Video("named.avi", 20);
  bool asked = false;
  Form().OpenDialog1 = [&asked] {
    asked = true;
    return QString();
  };
  Form().OpenVideo(QString::fromStdString(path));
  EXPECT_FALSE(asked);
  EXPECT_EQ(State().FilePath, path);
  EXPECT_EQ(State().FileTitle, "named.avi");
  EXPECT_EQ(State().LastFrame, 20);
  EXPECT_EQ(Form().LabelFramesCount->text(), QStringLiteral("Frames count: 20"));
  EXPECT_TRUE(Form().Button10->isEnabled());  // "Pause": the video plays
}

}  // namespace
}  // namespace clipvane::testing
