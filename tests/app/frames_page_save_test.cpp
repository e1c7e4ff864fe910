// "Save" on the frames page: the files written for each format (PNG beside the described
// ones), Cancel writing nothing, the
// one question before files are replaced, nothing to save said before any dialog, a failure that names the file and
// keeps the files before it; the folder chooser TForm4 itself.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "pages/frames/folder_chooser_form.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "support/png_libpng_read.h"
#include "ui/progress_bar.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

namespace fs = std::filesystem;

class FramesSaveTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Target = Folder.File("out");
    fs::create_directories(Target);
    Page().ChooseFolder = [this] { return FolderAnswer; };
    FolderAnswer = QString::fromStdString(Target);
    Page().Confirm = [this](const QString& question) {
      Questions.push_back(question);
      return ConfirmAnswer;
    };
  }
  TFramesPage& Page() { return *Form().FramesPage; }
  void Extract(int frames, const QString& mode = QStringLiteral("24 bit")) {
    OpenAvi(Video("clip.avi", frames));
    Page().ComboBox1->setCurrentText(mode);
    Page().Button12->click();
    ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(Target)) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Head(const std::string& name, std::size_t bytes) {
    std::ifstream file(Target + "/" + name, std::ios::binary);
    std::string head(bytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(bytes));
    return head;
  }

  std::string Target;
  QString FolderAnswer;
  bool ConfirmAnswer = true;
  std::vector<QString> Questions;
};

TEST_F(FramesSaveTest, BmpFilesHoldTheExtractedFrames) {
  Extract(3);
  Page().FileNameEdit->setText(QStringLiteral("shot"));
  Page().Button15->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(Files(), (std::vector<std::string>{"shot0000.bmp", "shot0001.bmp", "shot0002.bmp"}));
  TBitmap back;
  back.LoadFromFile(Target + "/shot0002.bmp");
  EXPECT_EQ(back, *State().FrameResults[2]);
  EXPECT_TRUE(Questions.empty());
  EXPECT_EQ(Form().ProgressBar1->Position(), 0);
}

TEST_F(FramesSaveTest, JpegAtTheChosenQualityAndTiffForOneBit) {
  Extract(2);
  Page().RadioButton9->click();
  Page().QualityEdit->setValue(90);
  Page().Button15->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(Files(), (std::vector<std::string>{"frame0000.jpg", "frame0001.jpg"}));
  EXPECT_EQ(Head("frame0000.jpg", 3), std::string("\xFF\xD8\xFF"));

  Page().Button14->click();
  fs::remove_all(Target);
  fs::create_directories(Target);
  Page().ComboBox1->setCurrentText(QStringLiteral("1 bit"));
  Page().Button12->click();
  ASSERT_EQ(Page().RadioButton9->text(), QStringLiteral("TIFF"));
  Page().Button15->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(Files(), (std::vector<std::string>{"frame0000.tif", "frame0001.tif"}));
  const std::string head = Head("frame0001.tif", 4);
  EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4));
}

TEST_F(FramesSaveTest, PngBesideTheDescribedChoicesKeepsEachModesPixels) {
  ExpectCoversNoSibling(*Page().RadioButtonPng);
  Extract(2, QStringLiteral("4 bit"));
  Page().RadioButton9->click();
  ASSERT_TRUE(Page().QualityEdit->isEnabled());
  Page().RadioButtonPng->click();
  EXPECT_FALSE(Page().RadioButton8->isChecked());
  EXPECT_FALSE(Page().RadioButton9->isChecked());
  EXPECT_FALSE(Page().QualityEdit->isEnabled());
  EXPECT_FALSE(Page().LabelQuality->isEnabled());
  // A format without options, as "BMP": the colour mode only switches the second caption.
  for (const auto& [mode, caption] :
       {std::pair{"8 bit", "JPEG"}, std::pair{"1 bit", "TIFF"}, std::pair{"4 bit", "JPEG"}}) {
    Page().ComboBox1->setCurrentText(QString::fromLatin1(mode));
    EXPECT_EQ(Page().RadioButton9->text(), QString::fromLatin1(caption)) << mode;
    EXPECT_TRUE(Page().RadioButtonPng->isChecked()) << mode;
    EXPECT_FALSE(Page().QualityEdit->isEnabled()) << mode;
    EXPECT_FALSE(Page().LabelQuality->isEnabled()) << mode;
  }
  Page().Button15->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(Files(), (std::vector<std::string>{"frame0000.png", "frame0001.png"}));
  const TBitmap& frame = *State().FrameResults[1];
  const auto png = png_check::ReadPngFile(Target + "/frame0001.png");
  ASSERT_TRUE(png.Ok) << png.Error;
  EXPECT_EQ(png.ColorType, PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(png.BitDepth, 4);
  ASSERT_EQ(png.Width, frame.Width());
  ASSERT_EQ(png.Height, frame.Height());
  for (int y = 0; y < frame.Height(); ++y)
    for (int x = 0; x < frame.Width(); ++x) ASSERT_EQ(png.ColorAt(x, y), static_cast<long long>(frame.GetPixel(x, y)));

  // The described choices are as they were.
  Page().RadioButton9->click();
  EXPECT_FALSE(Page().RadioButtonPng->isChecked());
  EXPECT_TRUE(Page().QualityEdit->isEnabled());
  Page().RadioButton8->click();
  EXPECT_FALSE(Page().QualityEdit->isEnabled());
  Page().Button15->click();
  EXPECT_EQ(Files(), (std::vector<std::string>{"frame0000.bmp", "frame0000.png", "frame0001.bmp", "frame0001.png"}));
}

TEST_F(FramesSaveTest, CancelInTheFolderChooserWritesNothing) {
  Extract(3);
  FolderAnswer.clear();
  Page().Button15->click();
  EXPECT_TRUE(Files().empty());
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(FramesSaveTest, NothingToSaveIsSaidBeforeTheFolderChooser) {
  Extract(3);
  int chooserShown = 0;
  Page().ChooseFolder = [&] {
    ++chooserShown;
    return FolderAnswer;
  };
  // A GIF conversion empties the frames page's results; its "Save" stays offered.
  Form().GifPage->Button5->click();
  ASSERT_TRUE(State().ExtractedFrames.empty());
  ASSERT_TRUE(Page().Button15->isEnabled());
  Page().Button15->click();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts[0], "There are no frames to save.");
  EXPECT_EQ(chooserShown, 0);
  EXPECT_TRUE(Files().empty());
}

TEST_F(FramesSaveTest, OneQuestionBeforeReplacingAndCancelKeepsTheOldFiles) {
  Extract(3);
  std::ofstream(Target + "/frame0001.bmp") << "old";
  std::ofstream(Target + "/frame0002.bmp") << "old";
  ConfirmAnswer = false;
  Page().Button15->click();
  ASSERT_EQ(Questions.size(), 1u);
  EXPECT_TRUE(Questions[0].startsWith(QStringLiteral("2 files"))) << Questions[0].toStdString();
  EXPECT_EQ(Files(), (std::vector<std::string>{"frame0001.bmp", "frame0002.bmp"}));
  EXPECT_EQ(Head("frame0001.bmp", 3), "old");

  ConfirmAnswer = true;
  Page().Button15->click();
  EXPECT_EQ(Questions.size(), 2u);
  EXPECT_EQ(Files().size(), 3u);
  EXPECT_EQ(Head("frame0001.bmp", 2), "BM");
}

TEST_F(FramesSaveTest, FailureNamesTheFileAndKeepsTheFilesBefore) {
  Extract(4);
  // A folder in the way of the third file.
  fs::create_directories(Target + "/frame0002.bmp");
  Page().Button15->click();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_NE(ErrorTexts[0].find("frame0002.bmp"), std::string::npos) << ErrorTexts[0];
  EXPECT_TRUE(fs::is_regular_file(Target + "/frame0000.bmp"));
  EXPECT_TRUE(fs::is_regular_file(Target + "/frame0001.bmp"));
  EXPECT_FALSE(fs::exists(Target + "/frame0003.bmp"));
  EXPECT_EQ(Form().ProgressBar1->Position(), 0);
}

TEST_F(FramesSaveTest, BaseNameWithASlashIsRefusedAndNothingWritten) {
  Extract(2);
  Page().FileNameEdit->setText(QStringLiteral("../frame"));
  Page().Button15->click();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_TRUE(Files().empty());
  EXPECT_FALSE(fs::exists(Folder.File("frame0000.bmp")));
}

TEST(FolderChooser, ShowsTheChosenFolderAndTheRootVolume) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  TForm4 chooser;
  EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Choose a folder"));
  // Roomier than the old box, and never smaller than it.
  EXPECT_GT(chooser.width(), 366);
  EXPECT_GT(chooser.height(), 253);
  EXPECT_EQ(chooser.minimumSize(), QSize(366, 253));
  EXPECT_GE(chooser.DriveComboBox1->findData(QStringLiteral("/")), 0);
  EXPECT_EQ(chooser.LabelDestination->text(), QStringLiteral("Destination folder:"));
  chooser.SetFolder(QString::fromStdString(folder.Path()));
  EXPECT_EQ(chooser.SelectedFolder(), QString::fromStdString(fs::absolute(folder.Path()).string()));
  EXPECT_EQ(chooser.LabelFolder->toolTip(), chooser.SelectedFolder());
  chooser.ButtonCancel->click();
  EXPECT_EQ(chooser.result(), QDialog::Rejected);
  chooser.ButtonOK->click();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
}

TEST(FolderChooser, ATypedFolderIsChosenAndOneThatIsNoFolderIsNamed) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  const QString base = QString::fromStdString(fs::absolute(folder.Path()).string());
  fs::create_directories(folder.File("shots/day 1"));
  std::ofstream(folder.File("notes.txt")) << "x";
  TForm4 chooser;
  EXPECT_EQ(chooser.focusWidget(), chooser.PathEdit);
  chooser.show();
  chooser.SetFolder(base);
  ExpectCoversNoSibling(*chooser.PathEdit);
  struct TCase {
    QString Typed;
    QString Chosen;   // empty: refused, the dialog stays open
    QString Message;  // what the refusal says
  };
  const TCase cases[] = {
      {QStringLiteral("shots/day 1"), base + QStringLiteral("/shots/day 1"), {}},  // from the folder chosen
      {base + QStringLiteral("/shots/"), base + QStringLiteral("/shots"), {}},     // absolute
      {QStringLiteral("~"), QDir::homePath(), {}},                                 // home
      {QStringLiteral("  ../shots  "), {}, QStringLiteral("There is no folder")},  // from home now
      {base + QStringLiteral("/missing"), {}, base + QStringLiteral("/missing")},  // names what is missing
      {base + QStringLiteral("/notes.txt"), {}, QStringLiteral("is a file, not a folder")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Typed.toStdString());
    chooser.setResult(QDialog::Rejected);
    const QString before = chooser.SelectedFolder();
    chooser.PathEdit->setText(c.Typed);
    chooser.ButtonOK->click();
    if (c.Chosen.isEmpty()) {
      EXPECT_EQ(chooser.result(), QDialog::Rejected);
      EXPECT_EQ(chooser.SelectedFolder(), before);
      EXPECT_TRUE(chooser.PathMessage->isVisible());
      EXPECT_TRUE(chooser.PathMessage->text().contains(c.Message)) << chooser.PathMessage->text().toStdString();
      // Typing again takes the message away.
      chooser.PathEdit->clear();
      emit chooser.PathEdit->textEdited(QString());
      EXPECT_FALSE(chooser.PathMessage->isVisible());
    } else {
      EXPECT_EQ(chooser.result(), QDialog::Accepted);
      EXPECT_EQ(chooser.SelectedFolder(), c.Chosen);
      EXPECT_TRUE(chooser.PathEdit->text().isEmpty());
      chooser.show();
    }
  }
}

}  // namespace
}  // namespace clipvane::testing
