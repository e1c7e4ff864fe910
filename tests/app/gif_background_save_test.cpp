// "Save" of the GIF pages writes on a thread of its own: the window answers while the file is
// written, shows the progress once the save has taken half a second, and a save cancelled
// there, or still running when the program quits, leaves no file and the target as it was.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "gif/gif_stream.h"
#include "pages/gif/gif_page.h"
#include "ui/gif_preview_window.h"
#include "ui/gif_save_form.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

class GifBackgroundSaveTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Target = Folder.File("walk.gif");
    SetGifSaveDialog([this](QWidget*, const QString&) { return QString::fromStdString(Target); });
    SetGifOverwriteQuestion([](const QString&) { return true; });
    // Every save waits at its first write until the test lets it go or it is cancelled.
    SetGifSaveWriteHook([this](const TGIFBackgroundSave& save) {
      Held = true;
      while (!Released && !save.CancelRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    OpenAvi(Video("walk.avi", 8));
    Form().GifPage->Button5->click();
    ASSERT_NE(Windows->Form3->Document(), nullptr);
    std::ofstream(Target) << "mine";
  }
  void TearDown() override {
    Released = true;
    WaitForGifSaves();
    SetGifSaveWriteHook({});
    SetGifSaveDialog({});
    SetGifOverwriteQuestion({});
    WindowTest::TearDown();
  }

  QProgressDialog* ShownProgress() {
    for (QProgressDialog* dialog : Form().findChildren<QProgressDialog*>())
      if (dialog->isVisible()) return dialog;
    return nullptr;
  }
  std::string TargetText() {
    QFile file(QString::fromStdString(Target));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
  }
  int FilesInFolder() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Folder.Path())) ++count;
    return count;
  }

  std::string Target;
  std::atomic<bool> Held = false;
  std::atomic<bool> Released = false;
};

TEST_F(GifBackgroundSaveTest, TheWindowAnswersWhileTheFileIsWrittenAndShowsProgress) {
  Form().GifPage->Button6->click();
  EXPECT_EQ(RunningGifSaves(), 1);
  EXPECT_TRUE(ProcessUntil([&] { return Held.load(); }));
  EXPECT_EQ(TargetText(), "mine");
  // A click is handled while the file is written: "Clear GIF" gives "Convert" back.
  Form().GifPage->Button4->click();
  EXPECT_TRUE(Form().GifPage->Button5->isEnabled());
  EXPECT_EQ(ShownProgress(), nullptr);  // not before half a second
  EXPECT_TRUE(ProcessUntil([&] { return ShownProgress() != nullptr; }));
  Released = true;
  ASSERT_TRUE(WaitForGifSaves());
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_EQ(ShownProgress(), nullptr);
  TGIFMemoryStream stream;
  TGIFImage copy;
  copy.Assign(*Windows->Form3->Document());
  copy.SaveToStream(stream);
  EXPECT_EQ(TargetText(), std::string(stream.Bytes().begin(), stream.Bytes().end()));
  EXPECT_EQ(FilesInFolder(), 2);  // the video and the GIF
}

TEST_F(GifBackgroundSaveTest, CancelInTheProgressWindowLeavesTheTargetAsItWas) {
  Form().GifPage->Button6->click();
  ASSERT_TRUE(ProcessUntil([&] { return ShownProgress() != nullptr; }));
  QPushButton* cancel = ShownProgress()->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
  cancel->click();
  ASSERT_TRUE(WaitForGifSaves());
  EXPECT_TRUE(ErrorTexts.empty());  // the user's own cancel needs no box
  EXPECT_EQ(TargetText(), "mine");
  EXPECT_EQ(FilesInFolder(), 2);
}

TEST_F(GifBackgroundSaveTest, QuittingWhileTheFileIsWrittenLeavesNoFile) {
  Form().GifPage->Button6->click();
  ASSERT_TRUE(ProcessUntil([&] { return Held.load(); }));
  Windows.reset();  // the program quits: its pages, and the saves they started, go
  EXPECT_EQ(RunningGifSaves(), 0);
  EXPECT_EQ(TargetText(), "mine");
  EXPECT_EQ(FilesInFolder(), 2);
}

}  // namespace
}  // namespace clipvane::testing
